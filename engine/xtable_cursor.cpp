#include "engine/xtable_cursor.h"

#include "engine/cstring_list.h"
#include "engine/xt.h"
#include "platform/ascii_text.h"
#include "platform/datetime.h"
#include "platform/file_lookup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace qn::engine {

namespace {

// A file beside `file` with the same stem and the extension in any case.
bool siblingExists(const std::filesystem::path &file, const std::string &extension)
{
    return FindFileNoCase(file.parent_path(), file.stem().string() + extension).has_value();
}

void calendarDate(int32_t dayNumber, int &year, int &month, int &day)
{
    DecodeDate(TDateTime(dayNumber - DateDelta), year, month, day);
}

// Fixed-point text of value with at most `decimals` decimals that fits
// `width`; false when even no decimals do not fit.
bool formatFloat(double value, int decimals, int width, std::string &out)
{
    for (int d = decimals; d >= 0; --d) {
        char buf[400];
        int n = std::snprintf(buf, sizeof buf, "%.*f", d, value);
        if (n < 0 || n >= int(sizeof buf))
            return false;
        std::string text(buf, size_t(n));
        std::replace(text.begin(), text.end(), ',', '.');
        if (int(text.size()) <= width) {
            out = text;
            return true;
        }
    }
    return false;
}

void writeRight(char *p, int width, const std::string &text)
{
    std::memset(p, ' ', size_t(width));
    std::memcpy(p + (width - int(text.size())), text.data(), text.size());
}

void writeLeft(char *p, int width, const std::string &text)
{
    std::memset(p, ' ', size_t(width));
    std::memcpy(p, text.data(), std::min(text.size(), size_t(width)));
}

} // namespace

int16_t driverFromName(const std::string &name)
{
    std::string n = AsciiUpperCase(name);
    if (n == "XTNTX")
        return 1;
    if (n == "XTFOX")
        return 2;
    if (n == "XTXSX")
        return 3;
    if (n == "RMNTX")
        return 11;
    if (n == "RMFOX")
        return 12;
    return 2;
}

int16_t driverFromFile(const std::filesystem::path &dbf)
{
    std::ifstream in(dbf, std::ios::binary);
    char first = 0;
    if (!in.get(first))
        return 2; // unreadable: the open itself reports it
    switch (static_cast<unsigned char>(first)) {
    case 0x03:
    case 0x06:
        if (siblingExists(dbf, ".CDX"))
            return 2;
        return siblingExists(dbf, ".XSX") ? 3 : 2;
    case 0xF5:
    case 0xF6:
        return 2;
    case 0x83:
    case 0x86:
        return 1;
    case 0xE5:
    case 0xE6:
        return 3;
    default:
        return 2;
    }
}

std::string aliasForStem(const std::string &stem)
{
    std::string alias = stem;
    for (size_t i = 0; i < alias.size() && i < 8; ++i)
        if (alias[i] == '~' || alias[i] == '-' || alias[i] == ' ')
            alias[i] = '_';
    return alias;
}

// Selects the cursor's area for one call and the previous area afterwards.
class TXTableCursor::AreaScope {
public:
    explicit AreaScope(int16_t area) : previous_(xt_Select(area)), area_(area) {}
    ~AreaScope()
    {
        if (previous_ != area_)
            xt_Select(previous_);
    }
    AreaScope(const AreaScope &) = delete;
    AreaScope &operator=(const AreaScope &) = delete;
    bool inUse() const { return area_ != 0 && xt_SysProp(65002, 0) != 0; }

private:
    int16_t previous_, area_;
};

TXTableCursor::~TXTableCursor()
{
    if (area_ != 0)
        Close();
}

int TXTableCursor::engineFailure(int code)
{
    char text[512];
    xt_ErrorText(text, sizeof text);
    engineText_ = text;
    int engineCode = xt_Error();
    return engineCode != 0 ? engineCode : code;
}

int TXTableCursor::Open(const OpenParams &params)
{
    if (area_ != 0)
        Close();
    engineText_.clear();
    std::filesystem::path file = params.directory / params.tableName;
    if (file.extension().empty()) {
        std::filesystem::path lower = file;
        lower += ".dbf";
        file += ".DBF";
        if (!std::filesystem::exists(file) && std::filesystem::exists(lower))
            file = lower;
    }
    int16_t driver =
        params.driverName.empty() ? driverFromFile(file) : driverFromName(params.driverName);
    std::string stem = file.stem().string();
    std::string alias = aliasForStem(stem);
    for (int counter = 1; xt_WorkArea(alias.c_str()) != 0; ++counter)
        alias = stem.substr(0, 8) + "_" + std::to_string(counter);
    int16_t mode = params.exclusive ? 2 : (params.readOnly ? 1 : 0);

    int16_t previous = xt_WorkArea("");
    int16_t area = 0;
    try {
        TCStringList args{file.string(), alias};
        area = xt_Use(args[0], args[1], mode, driver);
    } catch (const std::length_error &e) {
        engineText_ = e.what();
        return xrOpenFailed;
    }
    if (area == 0) {
        engineFailure(xrOpenFailed);
        xt_Select(previous);
        return xrOpenFailed;
    }
    area_ = area;
    driver_ = driver;
    mode_ = mode;
    alias_ = alias;
    path_ = file;
    loadStructure();
    if (!params.indexName.empty()) {
        if (driver == 1) {
            if (std::filesystem::exists(params.directory / params.indexName))
                xt_IndexOpen((params.directory / params.indexName).string().c_str());
        } else {
            xt_SetOrder(xt_TagArea(params.indexName.c_str()));
        }
    }
    UpdateIndexDefs();
    char tag[256] = "";
    int16_t order = xt_IndexOrd();
    if (order > 0)
        xt_TagName(order, tag, sizeof tag);
    activeIndex_ = tag;
    xt_Select(previous);
    return xrOk;
}

void TXTableCursor::loadStructure()
{
    fields_.clear();
    int16_t count = xt_FieldCount();
    for (int16_t i = 1; i <= count; ++i) {
        TXFieldDesc f;
        char name[64] = "";
        xt_FieldName(i, name, sizeof name);
        f.number = i;
        f.name = name;
        f.type = char(xt_FieldType(i));
        f.width = xt_FieldWidth(i);
        f.decimals = xt_FieldDecimals(i);
        f.offset = xt_FieldOffset(i);
        fields_.push_back(f);
    }
    recSize_ = xt_RecSize();
}

int TXTableCursor::Close()
{
    if (area_ == 0)
        return xrOk;
    int rc;
    {
        AreaScope scope(area_);
        rc = scope.inUse() ? xt_Close() : int(xrNotInUse);
        if (rc != 0 && rc != xrNotInUse)
            rc = engineFailure(rc);
    }
    area_ = 0;
    fields_.clear();
    indexDefs_.clear();
    activeIndex_.clear();
    recSize_ = 0;
    return rc;
}

const TXFieldDesc *TXTableCursor::Field(const std::string &name) const
{
    std::string n = AsciiUpperCase(name);
    for (const auto &f : fields_)
        if (AsciiUpperCase(f.name) == n)
            return &f;
    return nullptr;
}

int TXTableCursor::SetToBegin()
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (xt_GoTop() != 0 || xt_Skip(-1) != 0)
        return engineFailure(XT_ERR_ENGINE);
    return xrOk;
}

// Puts the engine past the last record.
int TXTableCursor::moveToEnd()
{
    if (xt_GoBottom() != 0 || xt_Skip(1) != 0)
        return engineFailure(XT_ERR_ENGINE);
    return xrOk;
}

int TXTableCursor::SetToEnd()
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    return moveToEnd();
}

int TXTableCursor::lockCurrent()
{
    if (xt_Rlock(0) == 0) {
        engineFailure(xrLocked);
        return xrLocked;
    }
    return xrOk;
}

// Reads the record the engine stands on (already checked to be one).
int TXTableCursor::readCurrent(bool lock, char *image, TXRecordInfo *info)
{
    if (lock) {
        if (int rc = lockCurrent())
            return rc;
    }
    if (image && xt_GetRecord(image) != 0)
        return engineFailure(XT_ERR_ENGINE);
    if (info) {
        info->recNo = xt_RecNo();
        info->deleted = xt_Deleted() != 0;
    }
    return xrOk;
}

int TXTableCursor::GetNextRecord(bool lock, char *image, TXRecordInfo *info)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    int16_t rc = xt_Bof() ? xt_GoTop() : xt_Skip(1);
    if (rc != 0)
        return engineFailure(rc);
    if (xt_Eof())
        return xrEndOfTable;
    return readCurrent(lock, image, info);
}

int TXTableCursor::GetPriorRecord(bool lock, char *image, TXRecordInfo *info)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (int16_t rc = xt_Skip(-1))
        return engineFailure(rc);
    if (xt_Bof())
        return xrBeginOfTable;
    if (xt_Eof())
        return xrEndOfTable;
    return readCurrent(lock, image, info);
}

int TXTableCursor::GetRecord(bool lock, char *image, TXRecordInfo *info)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (xt_Eof())
        return xrEndOfTable;
    if (xt_Bof())
        return xrBeginOfTable;
    char filter[8] = "";
    bool filtered = xt_DBFilter(filter, sizeof filter) > 0;
    if (filtered || xt_SysProp(1006, -1) == 1) {
        // A record that no longer passes the filter is skipped over by a
        // move forward and back; the cursor then returns to it.
        int32_t recNo = xt_RecNo();
        xt_Skip(1);
        xt_Skip(-1);
        if (xt_Bof() || xt_Eof() || xt_RecNo() != recNo) {
            if (recNo <= xt_RecCount()) {
                xt_Go(recNo);
            } else {
                xt_GoBottom();
                xt_Skip(1);
            }
            return xrNotVisible;
        }
    }
    return readCurrent(lock, image, info);
}

int TXTableCursor::SetToRecNo(int32_t recNo)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (recNo > xt_RecCount())
        return moveToEnd();
    if (int16_t rc = xt_Go(recNo))
        return engineFailure(rc);
    return xrOk;
}

int TXTableCursor::RecordCount(int32_t &count)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    count = xt_RecCount();
    return xrOk;
}

// One engine call in this cursor's work area; its error code is the result.
int TXTableCursor::engineCall(int16_t (*call)())
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (int16_t rc = call())
        return engineFailure(rc);
    return xrOk;
}

int TXTableCursor::Unlock()
{
    return engineCall([] { return xt_Unlock(0); });
}

int TXTableCursor::applyWrites(char *image, const std::vector<EngineWrite> &writes)
{
    for (const auto &w : writes) {
        int rc = w.memo ? WriteMemo(w.field, image, w.value.text.c_str(), w.value.text.size())
                        : replaceThroughEngine(w.field, image, w.value);
        if (rc != 0)
            return rc;
    }
    return xrOk;
}

int TXTableCursor::InsertRecord(char *image, const std::vector<EngineWrite> &before,
                                TXRecordInfo *info, bool commitFirst)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    // Whatever waits is saved first, so that a failed append can give up
    // everything since the last commit and no more.
    if (int16_t rc = commitFirst ? xt_Commit() : 0)
        return engineFailure(rc);
    if (int16_t rc = xt_AppendBlank())
        return engineFailure(rc);
    bool shared = Shared();
    if (shared) {
        if (int rc = lockCurrent())
            return rc;
    }
    int rc = applyWrites(image, before);
    if (rc == 0) {
        image[0] = ' ';
        if (xt_PutRecord(image) != 0)
            rc = engineFailure(XT_ERR_ENGINE);
    }
    if (rc != 0) {
        // Leave no half-written record behind: the blank record, its keys
        // and any memo written for it go again. A shared table has saved
        // the blank record for the others at once: it is marked deleted.
        std::string text = engineText_;
        xt_Rollback();
        if (shared)
            xt_Delete();
        engineText_ = text;
    } else if (info) {
        info->recNo = xt_RecNo();
        info->deleted = false;
    }
    if (shared)
        xt_Unlock(0);
    return rc;
}

int TXTableCursor::ModifyRecord(char *image, const std::vector<EngineWrite> &before, bool unlock)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    int rc = applyWrites(image, before);
    if (rc == 0 && xt_PutRecord(image) != 0)
        rc = engineFailure(XT_ERR_ENGINE);
    if (unlock && Shared())
        xt_Unlock(0);
    return rc;
}

int TXTableCursor::DeleteRecord()
{
    return engineCall(xt_Delete);
}

int TXTableCursor::Commit()
{
    return engineCall(xt_Commit);
}

int TXTableCursor::Rollback()
{
    return engineCall(xt_Rollback);
}

bool TXTableCursor::NeedsEngineWrite(int16_t field)
{
    if (field < 1 || size_t(field) > fields_.size())
        return false;
    char type = fields_[size_t(field - 1)].type;
    if (type == 'M' || type == 'G' || type == 'B')
        return true;
    AreaScope scope(area_);
    return xt_SysProp(65012, field) != 0;
}

int TXTableCursor::PutField(int16_t field, char *image, const TXFieldValue &value)
{
    if (area_ == 0)
        return xrNotInUse;
    if (field < 1 || size_t(field) > fields_.size()) {
        engineText_ = "Field number " + std::to_string(field) + " does not exist";
        return XT_ERR_ENGINE;
    }
    if (NeedsEngineWrite(field))
        return replaceThroughEngine(field, image, value);
    const TXFieldDesc &f = fields_[size_t(field - 1)];
    char *p = image + f.offset;
    using Kind = TXFieldValue::Kind;
    switch (value.kind) {
    case Kind::Blank:
        std::memset(p, ' ', size_t(f.width));
        break;
    case Kind::Text:
        writeLeft(p, f.width, value.text);
        break;
    case Kind::Date: {
        int y, m, d;
        calendarDate(value.day, y, m, d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        writeLeft(p, f.width, buf);
        break;
    }
    case Kind::Logical:
        writeLeft(p, f.width, value.logical ? "T" : "F");
        break;
    case Kind::Integer: {
        std::string text = std::to_string(value.integer);
        if (int(text.size()) > f.width)
            return xrNumberTooBig;
        writeRight(p, f.width, text);
        break;
    }
    case Kind::Float: {
        std::string text;
        if (!formatFloat(value.number, f.decimals, f.width, text))
            return xrNumberTooBig;
        writeRight(p, f.width, text);
        break;
    }
    }
    return xrOk;
}

// The engine writes into its own record buffer: the image goes there first
// and comes back with the engine's change.
int TXTableCursor::replaceThroughEngine(int16_t field, char *image, const TXFieldValue &value)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    const TXFieldDesc &f = fields_[size_t(field - 1)];
    char *engineBuffer = reinterpret_cast<char *>(xt_SysProp(65000, 0));
    std::string saved(engineBuffer, size_t(recSize_));
    std::memcpy(engineBuffer, image, size_t(recSize_));
    std::string text;
    const void *arg = nullptr;
    int16_t kind = XT_REPLACE_TEXT;
    int32_t logical = 0;
    using Kind = TXFieldValue::Kind;
    switch (value.kind) {
    case Kind::Blank:
        arg = "";
        break;
    case Kind::Text:
        text = value.text;
        arg = text.c_str();
        kind = (f.type == 'M') ? int16_t(XT_REPLACE_MEMO) : int16_t(XT_REPLACE_TEXT);
        break;
    case Kind::Date: {
        // Four-digit years: a two-digit year would be read back in the
        // wrong century for dates outside the engine's window.
        int y, m, d;
        calendarDate(value.day, y, m, d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y);
        text = buf;
        arg = text.c_str();
        kind = XT_REPLACE_DATE;
        break;
    }
    case Kind::Logical:
        logical = value.logical ? 1 : 0;
        arg = &logical;
        kind = XT_REPLACE_LOGICAL;
        break;
    case Kind::Integer:
        text = std::to_string(value.integer);
        arg = text.c_str();
        break;
    case Kind::Float:
        arg = &value.number;
        kind = XT_REPLACE_DOUBLE;
        break;
    }
    int rc = xt_Replace(f.name.c_str(), kind, arg) != 0 ? engineFailure(XT_ERR_ENGINE) : int(xrOk);
    if (rc == xrOk)
        std::memcpy(image, engineBuffer, size_t(recSize_));
    // The engine's own record goes back, so that no later move writes the
    // image into whatever record the engine stands on.
    std::memcpy(engineBuffer, saved.data(), saved.size());
    return rc;
}

int TXTableCursor::ReadMemo(int16_t field, const char *image, std::string &text)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (field < 1 || size_t(field) > fields_.size()) {
        engineText_ = "Field number " + std::to_string(field) + " does not exist";
        return XT_ERR_ENGINE;
    }
    char *engineBuffer = reinterpret_cast<char *>(xt_SysProp(65000, 0));
    std::string saved(engineBuffer, size_t(recSize_));
    std::memcpy(engineBuffer, image, size_t(recSize_));
    char *memo = xt_GetMemo(fields_[size_t(field - 1)].name.c_str(), 0);
    std::memcpy(engineBuffer, saved.data(), saved.size());
    if (!memo)
        return engineFailure(XT_ERR_ENGINE);
    text.assign(memo, std::strlen(memo));
    xt_MemDealloc(memo);
    return xrOk;
}

int TXTableCursor::WriteMemo(int16_t field, char *image, const char *text, size_t length)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    if (field < 1 || size_t(field) > fields_.size()) {
        engineText_ = "Field number " + std::to_string(field) + " does not exist";
        return XT_ERR_ENGINE;
    }
    std::string cut(text, ::strnlen(text, length));
    char *engineBuffer = reinterpret_cast<char *>(xt_SysProp(65000, 0));
    std::string saved(engineBuffer, size_t(recSize_));
    std::memcpy(engineBuffer, image, size_t(recSize_));
    int rc = xt_Replace(fields_[size_t(field - 1)].name.c_str(), XT_REPLACE_MEMO, cut.c_str()) != 0
                 ? engineFailure(XT_ERR_ENGINE)
                 : int(xrOk);
    if (rc == xrOk)
        std::memcpy(image, engineBuffer, size_t(recSize_));
    std::memcpy(engineBuffer, saved.data(), saved.size());
    return rc;
}

void TXTableCursor::AddIndexDef(const std::string &tag)
{
    std::string t = AsciiUpperCase(tag);
    for (const auto &d : indexDefs_)
        if (AsciiUpperCase(d) == t)
            return;
    indexDefs_.push_back(tag);
}

int TXTableCursor::UpdateIndexDefs()
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    indexDefs_.clear();
    for (int16_t order = 1; order < 32767; ++order) {
        char tag[256] = "";
        if (xt_TagName(order, tag, sizeof tag) <= 0)
            break;
        indexDefs_.push_back(tag);
    }
    return xrOk;
}

int TXTableCursor::SwitchToIndex(const std::string &tag)
{
    AreaScope scope(area_);
    if (!scope.inUse())
        return xrNotInUse;
    int16_t order = 0;
    if (!tag.empty()) {
        order = xt_TagArea(tag.c_str());
        if (order == 0) {
            engineText_ = "Index tag " + tag + " is not open";
            return XT_ERR_ENGINE;
        }
    }
    xt_SetOrder(order);
    if (xt_Error() != 0)
        return engineFailure(XT_ERR_ENGINE);
    activeIndex_ = tag;
    return xrOk;
}

void TXTableCursor::GetVchkDesc()
{
    throw EXNotSupported("GetVchkDesc");
}
void TXTableCursor::SetPrivateDir(const std::string &)
{
    throw EXNotSupported("SetPrivateDir");
}
void TXTableCursor::OpenIndex(const std::string &)
{
    throw EXNotSupported("OpenIndex");
}
void TXTableCursor::CloseIndex(const std::string &)
{
    throw EXNotSupported("CloseIndex");
}
void TXTableCursor::AddPassword(const std::string &)
{
    throw EXNotSupported("AddPassword");
}
void TXTableCursor::DropPassword(const std::string &)
{
    throw EXNotSupported("DropPassword");
}
void TXTableCursor::BeginDelayedUpdates()
{
    throw EXNotSupported("BeginDelayedUpdates");
}
void TXTableCursor::EndDelayedUpdates()
{
    throw EXNotSupported("EndDelayedUpdates");
}

} // namespace qn::engine
