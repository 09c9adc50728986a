#include "engine/xtable.h"

#include "engine/cstring_list.h"
#include "engine/xt.h"
#include "platform/datetime.h"

namespace qn::engine {

void TXTableDataLink::ActiveChanged(bool active)
{
    if (active)
        owner_.tableActive();
    else
        owner_.tableInactive();
}

// The work-area bracket around every operation of the component.
class TXTable::Bracket {
public:
    explicit Bracket(TXTable &t)
    {
        if (!t.table_ && t.DataSource())
            t.table_ = t.DataSource()->DataSet();
        if (!t.table_)
            return; // no table known: nothing selected, nothing restored
        if (t.tableOpen()) {
            area_ = t.table_->Cursor().Area();
            saved_ = xt_Select(area_);
        } else {
            saved_ = xt_WorkArea("");
        }
    }
    ~Bracket()
    {
        if (saved_ != 0 && saved_ != area_)
            xt_Select(saved_);
    }
    Bracket(const Bracket &) = delete;
    Bracket &operator=(const Bracket &) = delete;

private:
    int16_t saved_ = 0;
    int16_t area_ = 0;
};

namespace {

std::string engineText()
{
    char text[512] = "";
    xt_ErrorText(text, sizeof text);
    return text;
}

} // namespace

TXTable::TXTable() : link_(*this) {}

TXTable::~TXTable()
{
    if (gaugeHook_)
        xt_SetGaugeHook(nullptr, nullptr);
}

void TXTable::SetDataSource(TXDataSource *source)
{
    if (source == DataSource())
        return;
    if (DataSource())
        DataSource()->RemoveLink(&link_);
    table_ = nullptr;
    if (source)
        source->AddLink(&link_);
}

bool TXTable::tableOpen() const
{
    return table_ && table_->Active() && table_->Cursor().IsOpen();
}

void TXTable::tableActive()
{
    table_ = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!table_)
        return;
    xt_SetTurboRead(turboRead_ ? 1 : 0);
    if (!Filter.empty())
        Query(Filter);
    for (const std::string &index : ExtraIndexes)
        IndexOpen(index);
    if (recordBuffer_.empty())
        recordBuffer_.assign(size_t(RecSize()), ' ');
}

void TXTable::tableInactive()
{
    // The table may be going away for good: look it up again next time.
    table_ = nullptr;
}

void TXTable::fail(const std::string &what)
{
    lastError_ = engineText();
    int code = xt_Error();
    throw EXTableError(code, what + (lastError_.empty() ? std::string() : ": " + lastError_));
}

void TXTable::prepare()
{
    if (tableOpen()) {
        table_->CheckBrowseMode();
        table_->SyncCursor();
    }
}

void TXTable::SetTurboRead(bool on)
{
    turboRead_ = on;
    xt_SetTurboRead(on ? 1 : 0);
}

bool TXTable::CreateNew(const std::string &path, int16_t driver, int16_t fieldCount)
{
    Bracket bracket(*this);
    TCStringList args{path, "XXXXXXXXXX"};
    createdArea_ = xt_CreateNew(args[0], args[1], driver, fieldCount);
    lastError_ = createdArea_ == 0 ? engineText() : std::string();
    return createdArea_ != 0;
}

bool TXTable::CreateField(const std::string &name, const std::string &type, int16_t width,
                          int16_t decimals)
{
    Bracket bracket(*this);
    xt_Select(createdArea_);
    TCStringList args{name, type};
    bool ok = xt_CreateField(args[0], args[1], width, decimals) == 0;
    lastError_ = ok ? std::string() : engineText();
    return ok;
}

bool TXTable::CreateExec()
{
    Bracket bracket(*this);
    xt_Select(createdArea_);
    bool ok = xt_CreateExec() != 0;
    lastError_ = ok ? std::string() : engineText();
    xt_Close();
    return ok;
}

int16_t TXTable::IndexOpen(const std::string &path)
{
    Bracket bracket(*this);
    prepare();
    TCStringList args{path};
    int16_t order = xt_IndexOpen(args[0]);
    if (order == 0)
        fail("Cannot open the index " + path);
    if (tableOpen()) {
        std::string tag = TagName(order);
        table_->Cursor().AddIndexDef(tag);
        table_->SwitchToIndex(tag);
        table_->Refresh();
    }
    return order;
}

int16_t TXTable::IndexTag(const std::string &file, const std::string &tag,
                          const std::string &expression, int16_t option, bool descending,
                          const std::string &condition)
{
    Bracket bracket(*this);
    prepare();
    TCStringList args{file, tag, expression, condition};
    int16_t order = xt_IndexTag(args[0], args[1], args[2], option, descending ? 1 : 0, args[3]);
    if (order == 0)
        fail("Cannot create the index tag " + tag);
    if (tableOpen()) {
        table_->Cursor().AddIndexDef(tag);
        table_->SwitchToIndex(tag);
        table_->Refresh();
    }
    return order;
}

int16_t TXTable::TagArea(const std::string &tag)
{
    Bracket bracket(*this);
    TCStringList args{tag};
    return xt_TagArea(args[0]);
}

std::string TXTable::TagName(int16_t order)
{
    Bracket bracket(*this);
    char name[256] = "";
    xt_TagName(order, name, sizeof name);
    return name;
}

int16_t TXTable::IndexOrd()
{
    Bracket bracket(*this);
    return xt_IndexOrd();
}

int16_t TXTable::SetOrder(int16_t order)
{
    Bracket bracket(*this);
    int16_t previous = xt_IndexOrd();
    if (tableOpen()) {
        const auto &defs = table_->Cursor().IndexDefs();
        if (order == 0)
            table_->SwitchToIndex("");
        else if (order > 0 && size_t(order) <= defs.size())
            table_->SwitchToIndex(std::string(defs[size_t(order - 1)]));
    }
    return previous;
}

void TXTable::CloseIndexes()
{
    Bracket bracket(*this);
    if (xt_CloseIndexes() != 0)
        fail("Cannot close the indexes");
    if (tableOpen()) {
        table_->Cursor().UpdateIndexDefs();
        table_->Cursor().SwitchToIndex("");
    }
}

std::string TXTable::CheckIndexes()
{
    Bracket bracket(*this);
    char text[512] = "";
    int32_t faults = xt_CheckIndexes(text, sizeof text);
    if (faults < 0)
        fail("Cannot check the indexes");
    return faults == 0 ? std::string() : std::string(text);
}

bool TXTable::RecoveredUnfinishedSave()
{
    Bracket bracket(*this);
    return xt_Recovered() != 0;
}

bool TXTable::Seek(const std::string &key)
{
    Bracket bracket(*this);
    prepare();
    TCStringList args{key};
    bool found = xt_Seek(args[0]) != 0;
    if (!found && xt_Error() != 0)
        fail("Cannot seek \"" + key + "\"");
    if (tableOpen()) {
        if (found)
            table_->ResyncFromCursor();
        else
            table_->SetPastEnd();
    }
    return found;
}

void TXTable::Pack()
{
    Bracket bracket(*this);
    prepare();
    if (xt_Pack() != 0)
        fail("Cannot pack the table");
    // Record numbers changed: the table follows the engine.
    if (tableOpen())
        table_->ResyncFromCursor();
}

void TXTable::SetPassword(const std::string &password)
{
    Bracket bracket(*this);
    TCStringList args{password};
    if (xt_SetPassword(args[0]) != 0)
        fail("Cannot set the password");
}

// Encrypts or decrypts the whole file; `what` names the failure ("Cannot ...").
void TXTable::rewriteCipher(int16_t (*call)(), const char *what)
{
    Bracket bracket(*this);
    prepare();
    int16_t rc = call();
    std::string error = rc != 0 ? engineText() : std::string();
    int32_t code = xt_Error();
    // The rewrite may move memo texts: the table's record (with its memo
    // pointers) is read again whether or not it succeeded.
    if (tableOpen())
        table_->Refresh();
    if (rc != 0) {
        lastError_ = error;
        throw EXTableError(code, what + (error.empty() ? std::string() : ": " + error));
    }
}

void TXTable::DbfEncrypt()
{
    rewriteCipher(xt_DbfEncrypt, "Cannot encrypt the table");
}

void TXTable::DbfDecrypt()
{
    rewriteCipher(xt_DbfDecrypt, "Cannot decrypt the table");
}

void TXTable::DbfChangeKey(const std::string &newPassword)
{
    Bracket bracket(*this);
    prepare();
    TCStringList args{newPassword};
    int16_t rc = xt_DbfChangeKey(args[0]);
    std::string error = rc != 0 ? engineText() : std::string();
    int32_t code = xt_Error();
    if (tableOpen())
        table_->Refresh();
    if (rc != 0) {
        lastError_ = error;
        throw EXTableError(code, "Cannot change the key of the table" +
                                     (error.empty() ? std::string() : ": " + error));
    }
}

TXTable::TKeyState TXTable::KeyState()
{
    Bracket bracket(*this);
    switch (xt_KeyState()) {
    case 0:
        return TKeyState::Clear;
    case 1:
        return TKeyState::Fits;
    case 2:
        return TKeyState::Refused;
    default:
        return TKeyState::NoTable;
    }
}

void TXTable::SetGaugeHook(GaugeHook hook)
{
    Bracket bracket(*this);
    gaugeHook_ = std::move(hook);
    if (gaugeHook_)
        xt_SetGaugeHook(
            [](void *context, int32_t value) { (*static_cast<GaugeHook *>(context))(value); },
            &gaugeHook_);
    else
        xt_SetGaugeHook(nullptr, nullptr);
}

int32_t TXTable::Query(const std::string &expression)
{
    Bracket bracket(*this);
    Filter = expression;
    if (!tableOpen())
        return 0;
    prepare();
    TCStringList args{expression};
    int32_t count = xt_Query(args[0]);
    if (count < 0)
        fail("Cannot set the filter \"" + expression + "\"");
    table_->ResyncFromCursor();
    return count;
}

std::string TXTable::DBFilter()
{
    Bracket bracket(*this);
    int32_t length = xt_DBFilter(nullptr, 0);
    if (length <= 0)
        return {};
    std::string text(size_t(length) + 1, '\0');
    xt_DBFilter(text.data(), length + 1);
    text.resize(size_t(length));
    return text;
}

int32_t TXTable::RecSize()
{
    Bracket bracket(*this);
    return xt_RecSize();
}

intptr_t TXTable::SysProp(int32_t code, intptr_t value)
{
    Bracket bracket(*this);
    return xt_SysProp(code, value);
}

// ---------------------------------------------------------- start and end

void StartTableEngine(TXVersionReader version)
{
    xt_SetStringType(1);
    xt_ErrorLevel(1);
    char text[256] = "";
    int32_t length = (version ? version : xt_Version)(text, sizeof text);
    if (length <= 0 || text[0] == '\0')
        throw EXTableError(xrOk, "xBase Table Engine Requires XTE32.DLL Version 2.40.00 or later.");
}

void StopTableEngine()
{
    xt_CloseAll();
}

// ------------------------------------------------------------ settings

namespace {

// Short date patterns of the engine's formats, two- and four-digit years.
struct DatePattern {
    char separator;
    const char *shortYear;
    const char *longYear;
};

constexpr DatePattern datePatterns[] = {
    {'/', "mm/dd/yy", "mm/dd/yyyy"}, // American
    {'.', "yy.mm.dd", "yyyy.mm.dd"}, // ANSI
    {'/', "dd/mm/yy", "dd/mm/yyyy"}, // British
    {'/', "dd/mm/yy", "dd/mm/yyyy"}, // French
    {'.', "dd.mm.yy", "dd.mm.yyyy"}, // German
    {'-', "dd-mm-yy", "dd-mm-yyyy"}, // Italian
    {'-', "dd-mm-yy", "dd-mm-yyyy"}, // Spanish
};

bool knownFormat(TXTableDateFrmt f)
{
    return int(f) >= 0 && int(f) <= 6;
}

} // namespace

void TXTableEnv::SetExact(bool on)
{
    exact_ = on;
    xt_SetExact(on ? 1 : 0);
}

void TXTableEnv::SetSoftSeek(bool on)
{
    softSeek_ = on;
    xt_SetSoftSeek(on ? 1 : 0);
}

void TXTableEnv::SetDeleted(bool on)
{
    deleted_ = on;
    xt_SetDeleted(on ? 1 : 0);
}

void TXTableEnv::SetLockTimeout(int16_t seconds)
{
    lockTimeout_ = seconds;
    xt_SetLockTimeout(seconds);
}

void TXTableEnv::SetMemoBlockSize(int16_t size)
{
    memoBlockSize_ = size;
    xt_SetMemoBlockSize(size);
}

void TXTableEnv::SetDateFormat(TXTableDateFrmt format)
{
    dateFormat_ = format;
    xt_SetDateFormat(int16_t(format));
    if (knownFormat(format)) {
        const DatePattern &p = datePatterns[int(format)];
        SetDateSeparator(p.separator);
        SetShortDateFormat(p.shortYear);
        if (century_)
            SetCentury(true);
    }
}

void TXTableEnv::SetCentury(bool on)
{
    century_ = on;
    xt_SetCentury(on ? 1 : 0);
    if (knownFormat(dateFormat_)) {
        const DatePattern &p = datePatterns[int(dateFormat_)];
        SetShortDateFormat(on ? p.longYear : p.shortYear);
    }
}

} // namespace qn::engine
