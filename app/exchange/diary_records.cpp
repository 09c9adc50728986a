#include "app/exchange/diary_records.h"

#include "app/exchange/entry_document.h"
#include "engine/xt.h"
#include "engine/xtable_error.h"
#include "platform/ascii_text.h"
#include "platform/datetime.h"
#include "platform/file_lookup.h"
#include "platform/file_system.h"
#include "platform/password_scramble.h"
#include "platform/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::exchange {

namespace fs = std::filesystem;
using engine::EXTableError;

namespace {

// True when another process holds a lock of the file that keeps us out (the
// engine takes an exclusive one for every table it opens exclusively, a
// shared one for a table opened read-only). Readers share.
bool heldElsewhere(const fs::path &file, bool reading)
{
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    bool held = ::flock(fd, (reading ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::string isoDate(const std::string &key)
{
    return key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6, 2);
}

} // namespace

bool IsDateKey(const std::string &key)
{
    if (key.size() != 8 || key.find_first_not_of("0123456789") != std::string::npos)
        return false;
    TDateTime date = 0;
    return TryEncodeDate(std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                         std::stoi(key.substr(6, 2)), date);
}

namespace {

// The length of the well-formed UTF-8 sequence of a printable character
// (not a C1 control) at `at`, or 0.
size_t printableUtf8At(std::string_view bytes, size_t at)
{
    const auto c = static_cast<unsigned char>(bytes[at]);
    const size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                          : c >= 0xE0 && c <= 0xEF ? 3
                          : c >= 0xF0 && c <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    char32_t code = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(bytes[at + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (b & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000) || code < 0xA0)
        return 0;
    return length;
}

} // namespace

std::string ShownBytes(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(bytes[i++]);
        } else if (const size_t length = printableUtf8At(bytes, i); length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += "\\x";
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
            ++i;
        }
    }
    return out;
}

std::string DamagedRecord::Describe() const
{
    if (IsDateKey(Key))
        return "the entry of " + isoDate(Key) + ": " + Reason;
    return "record " + std::to_string(Record) + " (date \"" + ShownBytes(Key) + "\"): " + Reason;
}

DiaryRecords::DiaryRecords(engine::TXDataTable &table, engine::TXTable &component)
    : table_(table), component_(component)
{
}

void DiaryRecords::selectDateTag()
{
    // The order counts the table's index definitions, which need not follow
    // the tags' order in the file: the tag is looked up by name.
    const std::vector<std::string> &defs = table_.Cursor().IndexDefs();
    for (size_t i = 0; i < defs.size(); ++i)
        if (AsciiSameText(defs[i], "DATE")) {
            component_.SetOrder(static_cast<int16_t>(i + 1));
            return;
        }
    throw std::runtime_error("The diary's index has no tag DATE; choose \"Rebuild Indexes\" in "
                             "the File menu.");
}

std::vector<DiaryEntry> DiaryRecords::Entries(const std::string &fromKey, const std::string &toKey,
                                              std::vector<DamagedRecord> *damaged)
{
    // The natural order reads the file front to back (and needs no index);
    // the entries are put in date order afterwards.
    std::vector<DiaryEntry> entries;
    component_.SetOrder(0);
    engine::TXField &date = table_.FieldByName("DATE");
    for (table_.First(); !table_.Eof(); table_.Next()) {
        std::string key = date.AsString();
        const int32_t record = table_.RecNo();
        if (damaged && !IsDateKey(key)) {
            // No range can say whether it belongs: it is always told.
            damaged->push_back({record, std::move(key), "its date is not a date (yyyy-mm-dd)"});
            continue;
        }
        if ((!fromKey.empty() && key < fromKey) || (!toKey.empty() && key > toKey))
            continue;
        if (!damaged) {
            entries.push_back({std::move(key), table_.MemoText("ENTRY"), record});
            continue;
        }
        try {
            std::string rtf = table_.MemoText("ENTRY");
            entries.push_back({std::move(key), std::move(rtf), record});
        } catch (const std::exception &error) {
            damaged->push_back({record, std::move(key), error.what()});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const DiaryEntry &a, const DiaryEntry &b) { return a.Key < b.Key; });
    return entries;
}

std::vector<std::string> DiaryRecords::Keys()
{
    std::vector<std::string> keys;
    component_.SetOrder(0);
    engine::TXField &date = table_.FieldByName("DATE");
    for (table_.First(); !table_.Eof(); table_.Next())
        keys.push_back(date.AsString());
    std::sort(keys.begin(), keys.end());
    return keys;
}

int DiaryRecords::Count()
{
    return static_cast<int>(Keys().size());
}

std::optional<std::string> DiaryRecords::Entry(const std::string &key)
{
    if (scan_) {
        component_.SetOrder(0);
        engine::TXField &date = table_.FieldByName("DATE");
        for (table_.First(); !table_.Eof(); table_.Next())
            if (date.AsString() == key)
                return table_.MemoText("ENTRY");
        return std::nullopt;
    }
    selectDateTag();
    if (!component_.Seek(key))
        return std::nullopt;
    return table_.MemoText("ENTRY");
}

void DiaryRecords::Store(const std::string &key, const std::string &rtf)
{
    selectDateTag();
    if (component_.Seek(key)) {
        table_.Edit();
    } else {
        table_.Append();
        table_.FieldByName("DATE").SetAsString(key);
    }
    try {
        table_.SetMemoText("ENTRY", StoredEntryText(rtf));
        table_.Post();
    } catch (...) {
        table_.Cancel();
        throw;
    }
}

std::optional<fs::path> DiaryTableFile(const fs::path &folder)
{
    return FindFileNoCase(folder, "QUILLNK.DBF");
}

std::string StoredPassword(const fs::path &folder)
{
    auto ini = FindFileNoCase(folder, "QN.INI");
    if (!ini)
        return {};
    const std::string scrambled = TProfileFile(*ini).ReadString("Security", "Password", "");
    return scrambled.empty() ? std::string() : Decryptstring(scrambled);
}

std::string PreferencesRefused(const fs::path &folder)
{
    auto ini = FindFileNoCase(folder, "QN.INI");
    return ini ? TProfileFile(*ini).Unusable() : std::string();
}

void MakeDiaryFolder(const fs::path &folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return;
    try {
        CreatePrivateFolder(folder);
    } catch (const FileError &error) {
        throw DiaryOpenError(DiaryOpenError::Other, error.what());
    }
}

DiaryFolder::DiaryFolder(const fs::path &folder, const std::string &password, Mode mode)
    : source_(&table_), folder_(folder)
{
    // One writer at a time, for the whole time the diary is open; the
    // creation of a new diary too.
    if (mode == CreateWhenMissing)
        MakeDiaryFolder(folder);
    try {
        if (mode != ReadOnly && fs::is_directory(folder))
            lock_ = std::make_unique<DiaryLock>(folder);
        else if (mode == ReadOnly && DiaryLock::HeldElsewhere(folder))
            throw DiaryInUseError(DiaryInUseText(folder));
    } catch (const DiaryInUseError &error) {
        throw DiaryOpenError(DiaryOpenError::InUse, error.what());
    } catch (const std::runtime_error &error) {
        throw DiaryOpenError(DiaryOpenError::Other, error.what());
    }
    std::optional<fs::path> file = DiaryTableFile(folder);
    if (file && heldElsewhere(*file, mode == ReadOnly))
        throw DiaryOpenError(DiaryOpenError::InUse,
                             "The diary in " + folder.string() +
                                 " is in use by Quillnook or another program. Close it first.");
    if (!file && mode != CreateWhenMissing)
        throw DiaryOpenError(DiaryOpenError::Missing, "There is no diary in " + folder.string());
    engine::StartTableEngine();
    engineStarted_ = true;
    try {
        component_.SetDataSource(&source_);
        component_.SetPassword(password);
        if (!file) {
            const fs::path path = folder / "QUILLNK.DBF";
            bool made = component_.CreateNew(path.string(), 2, 2) &&
                        component_.CreateField("DATE", "C", 8, 0) &&
                        component_.CreateField("ENTRY", "M", 10, 0) && component_.CreateExec();
            if (!made || !fs::exists(path))
                throw DiaryOpenError(DiaryOpenError::Other,
                                     "The diary in " + folder.string() +
                                         " cannot be created: " + component_.LastError());
            file = path;
        }
        table_.TableName = file->filename().string();
        table_.DatabaseName = folder;
        // Read-only opens share the table with other readers and write
        // nothing: a diary on a read-only disk or in a folder the user may
        // not write can still be exported.
        table_.Exclusive = mode != ReadOnly;
        table_.ReadOnly = mode == ReadOnly;
        try {
            table_.Open();
        } catch (const EXTableError &error) {
            if (error.code() == XT_ERR_PASSWORD)
                throw DiaryOpenError(DiaryOpenError::Password,
                                     password.empty() ? "The diary is encrypted: its password is "
                                                        "needed."
                                                      : "Sorry, that is the wrong password");
            throw DiaryOpenError(DiaryOpenError::Other, "The diary in " + folder.string() +
                                                            " cannot be opened: " + error.what());
        }
        settings_.SetDeleted(true);
        records_ = std::make_unique<DiaryRecords>(table_, component_);
        openIndex(folder, mode);
    } catch (...) {
        try {
            Close();
        } catch (...) {
            // The failure that brought us here is the one to tell.
        }
        throw;
    }
}

bool DiaryFolder::Encrypted()
{
    return component_.KeyState() != engine::TXTable::TKeyState::Clear;
}

void DiaryFolder::ChangeKey(const std::string &password)
{
    component_.SetOrder(0);
    component_.CloseIndexes();
    component_.DbfChangeKey(password);
    component_.SetPassword(password);
}

void DiaryFolder::openIndex(const fs::path &folder, Mode mode)
{
    // The index is derived from the entries: one that does not match them
    // (or cannot be read) is written anew, as the window does. Read-only, it
    // is left as it is and not used.
    const bool indexFile = FindFileNoCase(folder, "QUILLNK.CDX").has_value();
    const std::string fault = indexFile ? component_.CheckIndexes() : std::string();
    if (mode == ReadOnly) {
        if (!fault.empty())
            notes_.push_back("The index of the diary does not match its entries (" + fault +
                             "). It is not used now; it is rebuilt when the diary is next "
                             "written.");
        if (!fault.empty() || !indexFile || component_.TagArea("DATE") == 0)
            records_->LookUpWithoutIndex();
        return;
    }
    if (!fault.empty()) {
        component_.IndexTag("", "DATE", "date", 0, false, "");
        notes_.push_back("The index of the diary did not match its entries (" + fault +
                         "). It was rebuilt.");
    } else if (!indexFile || component_.TagArea("DATE") == 0) {
        component_.IndexTag("", "DATE", "date", 0, false, "");
    }
}

void DiaryFolder::Close()
{
    records_.reset();
    if (!engineStarted_)
        return;
    engineStarted_ = false;
    try {
        if (table_.Active())
            table_.Close();
    } catch (...) {
        engine::StopTableEngine();
        throw;
    }
    engine::StopTableEngine();
}

DiaryFolder::~DiaryFolder()
{
    try {
        Close();
    } catch (...) {
        // Close() is called first where a failure matters.
    }
}

} // namespace qn::exchange
