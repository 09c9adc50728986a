#include "app/exchange/diary_records.h"

#include "app/exchange/entry_document.h"
#include "engine/xt.h"
#include "engine/xtable_error.h"
#include "platform/ascii_text.h"
#include "platform/file_lookup.h"
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

// True when another process holds the file's lock (the engine takes one for
// every table it opens exclusively).
bool heldElsewhere(const fs::path &file)
{
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

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

std::vector<DiaryEntry> DiaryRecords::Entries(const std::string &fromKey, const std::string &toKey)
{
    // The natural order reads the file front to back (and needs no index);
    // the entries are put in date order afterwards.
    std::vector<DiaryEntry> entries;
    component_.SetOrder(0);
    engine::TXField &date = table_.FieldByName("DATE");
    for (table_.First(); !table_.Eof(); table_.Next()) {
        std::string key = date.AsString();
        if ((!fromKey.empty() && key < fromKey) || (!toKey.empty() && key > toKey))
            continue;
        entries.push_back({std::move(key), table_.MemoText("ENTRY")});
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

void MakeDiaryFolder(const fs::path &folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return;
    if (!folder.parent_path().empty() && folder.parent_path() != folder)
        fs::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw DiaryOpenError(DiaryOpenError::Other, "The diary folder " + folder.string() +
                                                        " cannot be made: " + std::strerror(errno));
}

DiaryFolder::DiaryFolder(const fs::path &folder, const std::string &password, Mode mode)
    : source_(&table_)
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
    if (file && heldElsewhere(*file))
        throw DiaryOpenError(DiaryOpenError::InUse,
                             "The diary in " + folder.string() +
                                 " is in use by Quillnook or another program. Close it first.");
    if (!file && mode != CreateWhenMissing)
        throw DiaryOpenError(DiaryOpenError::Missing, "There is no diary in " + folder.string());
    engine::StartTableEngine();
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
        table_.Exclusive = true;
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
        const bool indexFile = FindFileNoCase(folder, "QUILLNK.CDX").has_value();
        if (mode != ReadOnly && (!indexFile || component_.TagArea("DATE") == 0))
            component_.IndexTag("", "DATE", "date", 0, false, "");
        settings_.SetDeleted(true);
        records_ = std::make_unique<DiaryRecords>(table_, component_);
    } catch (...) {
        if (table_.Active())
            table_.Close();
        engine::StopTableEngine();
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

DiaryFolder::~DiaryFolder()
{
    records_.reset();
    if (table_.Active())
        table_.Close();
    engine::StopTableEngine();
}

} // namespace qn::exchange
