#include "xbase/journal.h"

#include "platform/ascii_text.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <random>

namespace qn::xbase {

namespace fs = std::filesystem;

namespace {

constexpr char Magic[8] = {'Q', 'N', 'J', 'R', 'N', 'L', '\x01', '\0'};
constexpr size_t MagicSize = sizeof Magic;

uint32_t crc32(uint32_t crc, const void *data, size_t n)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto *p = static_cast<const uint8_t *>(data);
    crc = ~crc;
    for (size_t i = 0; i < n; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put(std::string &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(v >> (8 * i)));
}

class Reader {
public:
    explicit Reader(const std::string &bytes) : s_(bytes) {}
    bool get(uint64_t &v, int bytes)
    {
        if (at_ + size_t(bytes) > s_.size())
            return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t(uint8_t(s_[at_ + size_t(i)])) << (8 * i);
        at_ += size_t(bytes);
        return true;
    }
    bool take(std::string &out, uint64_t n)
    {
        if (n > s_.size() - at_)
            return false;
        out.assign(s_, at_, size_t(n));
        at_ += size_t(n);
        return true;
    }
    size_t at() const { return at_; }
    const std::string &bytes() const { return s_; }

private:
    const std::string &s_;
    size_t at_ = 0;
};

// The first journals named the files they restore; this version names the
// table's files by role. Both are read, the old one only as far as its names
// are the bare names of the table's own files.
constexpr char NamedMagic = '\x01';
constexpr char RoleMagic = '\x02';

bool isMagic(const char *bytes)
{
    return std::memcmp(bytes, Magic, MagicSize - 2) == 0 && bytes[MagicSize - 1] == '\0' &&
           (bytes[MagicSize - 2] == NamedMagic || bytes[MagicSize - 2] == RoleMagic);
}

struct JournalFile {
    FileRole role = FileRole::Table;
    uint64_t originalSize = 0;
};

struct Record {
    uint16_t file = 0;
    uint64_t offset = 0;
    std::string bytes;
};

struct Contents {
    std::vector<JournalFile> files;
    std::vector<Record> records;
};

// What a journal's bytes are: not complete (never finished, or invalidated
// at its commit point), complete, or complete but saying what no journal of
// this table can say.
struct Parsed {
    enum Outcome { Incomplete, Complete, Damaged } outcome = Incomplete;
    Contents contents;
    std::string problem; // when damaged
};

// The table's own files, by role.
fs::path fileFor(FileRole role, const fs::path &table)
{
    switch (role) {
    case FileRole::Memo:
        return siblingWithExtension(table, ".FPT");
    case FileRole::Index:
        return siblingWithExtension(table, ".CDX");
    case FileRole::Table:
        break;
    }
    return table;
}

// A name out of a file, fit for a message: short, and nothing in it that a
// terminal would take for a command.
std::string shown(const std::string &name)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < name.size() && out.size() < 80; ++i) {
        const auto c = uint8_t(name[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out.size() < 80 ? out : out + "...";
}

Parsed damaged(std::string problem)
{
    Parsed p;
    p.outcome = Parsed::Damaged;
    p.problem = std::move(problem);
    return p;
}

// A name in a journal of the first version: the role of the table's own
// file it is the bare name of, or nothing.
std::optional<FileRole> roleOfName(const std::string &name, const fs::path &table)
{
    for (FileRole role : {FileRole::Table, FileRole::Memo, FileRole::Index})
        if (AsciiSameText(name, fileFor(role, table).filename().string()))
            return role;
    return std::nullopt;
}

// The file list of the header; names are resolved later, once the header's
// checksum shows that the journal was written whole.
bool readFiles(Reader &in, bool named, uint64_t count, std::vector<JournalFile> &files,
               std::vector<std::string> &names, std::vector<uint64_t> &roles)
{
    for (uint64_t i = 0; i < count; ++i) {
        JournalFile f;
        uint64_t v = 0;
        if (named) {
            std::string name;
            if (!in.get(v, 2) || !in.take(name, v))
                return false;
            names.push_back(std::move(name));
        } else {
            if (!in.get(v, 1))
                return false;
            roles.push_back(v);
        }
        if (!in.get(f.originalSize, 8))
            return false;
        files.push_back(f);
    }
    return true;
}

// Gives every file of a complete header its role, or says why it cannot.
std::string assignRoles(std::vector<JournalFile> &files, const std::vector<std::string> &names,
                        const std::vector<uint64_t> &roles, const fs::path &table)
{
    std::vector<bool> seen(4, false);
    for (size_t i = 0; i < files.size(); ++i) {
        std::optional<FileRole> role;
        if (!names.empty()) {
            role = roleOfName(names[i], table);
            if (!role)
                return "it names a file that is not one of the table's own: \"" + shown(names[i]) +
                       "\"";
        } else {
            if (roles[i] < 1 || roles[i] > 3)
                return "it names a file of unknown role " + std::to_string(roles[i]);
            role = FileRole(roles[i]);
        }
        if (seen[size_t(*role)])
            return "it names one of the table's files twice";
        seen[size_t(*role)] = true;
        files[i].role = *role;
    }
    return {};
}

// The journal's contents when it is complete: a valid header and every
// record it announces, each with a matching checksum.
Parsed parse(const std::string &bytes, const fs::path &table)
{
    if (bytes.size() < MagicSize || !isMagic(bytes.data()))
        return {};
    const bool named = bytes[MagicSize - 2] == NamedMagic;
    Reader in(bytes);
    std::string skip;
    uint64_t nonce = 0, fileCount = 0, recordCount = 0;
    if (!in.take(skip, MagicSize) || !in.get(nonce, 8) || !in.get(fileCount, 4) ||
        !in.get(recordCount, 4))
        return {};
    if (fileCount > 64)
        return {};
    Parsed p;
    std::vector<std::string> names;
    std::vector<uint64_t> roles;
    if (!readFiles(in, named, fileCount, p.contents.files, names, roles))
        return {};
    size_t headerEnd = in.at();
    uint64_t sum = 0;
    if (!in.get(sum, 4) || uint32_t(sum) != crc32(0, bytes.data(), headerEnd))
        return {};
    if (std::string problem = assignRoles(p.contents.files, names, roles, table); !problem.empty())
        return damaged(problem);
    for (uint64_t i = 0; i < recordCount; ++i) {
        size_t start = in.at();
        Record r;
        uint64_t file = 0, length = 0;
        if (!in.get(file, 2) || !in.get(r.offset, 8) || !in.get(length, 4) ||
            !in.take(r.bytes, length))
            return {};
        uint32_t expected =
            crc32(crc32(0, &nonce, sizeof nonce), bytes.data() + start, in.at() - start);
        if (!in.get(sum, 4) || uint32_t(sum) != expected)
            return {};
        // A journal holds only bytes the files had below their recorded sizes.
        if (file >= p.contents.files.size())
            return damaged("a record names a file the journal does not list");
        if (r.offset > p.contents.files[file].originalSize ||
            length > p.contents.files[file].originalSize - r.offset)
            return damaged("a record lies beyond the size it gives its file");
        r.file = uint16_t(file);
        p.contents.records.push_back(std::move(r));
    }
    p.outcome = Parsed::Complete;
    return p;
}

std::string readAll(BinaryFile &file)
{
    std::string bytes(size_t(file.size()), '\0');
    bytes.resize(file.readSomeAt(0, bytes.data(), bytes.size()));
    return bytes;
}

uint64_t newNonce()
{
    static std::mt19937_64 random{std::random_device{}()};
    return random();
}

std::string damagedMessage(const fs::path &journal, const fs::path &table,
                           const std::string &problem)
{
    return "The journal " + journal.string() + " of table " + table.string() + " is damaged (" +
           problem + "): it was not used and nothing was changed. Move it away to open the table.";
}

// Whether the journal's name holds a regular file; a link, a folder or a
// device there is never opened (a link could lead a write anywhere).
std::optional<fs::file_type> journalType(const fs::path &path)
{
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    if (ec || status.type() == fs::file_type::not_found)
        return std::nullopt;
    return status.type();
}

} // namespace

Journal::Journal(FileSystem &fs, fs::path table, bool keepOpen)
    : fs_(fs), table_(std::move(table)), path_(pathFor(table_)), keepOpen_(keepOpen)
{
}

Journal::~Journal() = default;

fs::path Journal::pathFor(const fs::path &table)
{
    fs::path p = table;
    p += "-journal";
    return p;
}

void Journal::openFile()
{
    if (file_)
        return;
    const std::optional<fs::file_type> type = journalType(path_);
    if (type && *type != fs::file_type::regular)
        throw XbaseError::damaged(
            damagedMessage(path_, table_, "it is no regular file; a link is never followed"));
    const bool fresh = !type;
    file_ = std::make_unique<BinaryFile>(
        path_, fresh ? BinaryFile::Mode::Create : BinaryFile::Mode::ReadWrite, fs_);
    if (fresh) // the journal's name must survive a crash as long as the files depend on it
        syncDirectory(FolderOf(path_), fs_);
}

namespace {

// The journal's bytes for these changes: the files by role with their sizes,
// then the original bytes of every range the commit overwrites or cuts off.
std::string journalFor(const std::vector<FileChange *> &changes)
{
    const uint64_t nonce = newNonce();
    std::string files;
    std::string records;
    uint32_t recordCount = 0;
    auto addRecord = [&](uint16_t file, BinaryFile &f, uint64_t from, uint64_t to) {
        if (from >= to)
            return;
        std::string original(size_t(to - from), '\0');
        original.resize(f.readSomeAt(from, original.data(), original.size()));
        if (original.empty())
            return;
        std::string r;
        put(r, file, 2);
        put(r, from, 8);
        put(r, original.size(), 4);
        r += original;
        put(r, crc32(crc32(0, &nonce, sizeof nonce), r.data(), r.size()), 4);
        records += r;
        ++recordCount;
    };
    std::vector<bool> seen(4, false);
    for (size_t i = 0; i < changes.size(); ++i) {
        const FileChange &c = *changes[i];
        if (!c.role || seen[size_t(*c.role)])
            throw XbaseError::refused("A commit of " + c.file->path().string() +
                                      " does not say which of the table's files it changes");
        seen[size_t(*c.role)] = true;
        put(files, uint8_t(*c.role), 1);
        put(files, c.originalSize, 8);
        for (const auto &[offset, bytes] : c.writes)
            addRecord(uint16_t(i), *c.file, offset,
                      std::min<uint64_t>(offset + bytes.size(), c.originalSize));
        if (c.size && *c.size < c.originalSize)
            addRecord(uint16_t(i), *c.file, *c.size, c.originalSize);
    }
    std::string journal(Magic, MagicSize);
    journal[MagicSize - 2] = RoleMagic;
    put(journal, nonce, 8);
    put(journal, changes.size(), 4);
    put(journal, recordCount, 4);
    journal += files;
    put(journal, crc32(0, journal.data(), journal.size()), 4);
    journal += records;
    return journal;
}

} // namespace

void Journal::commit(std::vector<FileChange> &all)
{
    std::vector<FileChange *> changes;
    for (FileChange &c : all)
        if (!c.empty())
            changes.push_back(&c);
    if (changes.empty())
        return;

    const std::string journal = journalFor(changes);
    openFile();
    file_->writeAt(0, journal.data(), journal.size());
    file_->sync();

    for (FileChange *c : changes) {
        for (const auto &[offset, bytes] : c->writes)
            c->file->writeAt(offset, bytes.data(), bytes.size());
        if (c->size)
            c->file->truncate(*c->size);
    }
    for (FileChange *c : changes)
        c->file->sync();

    // The commit point. Once the clearing is written the commit stands: a
    // sync that fails now only leaves it to a crash to undo the commit
    // whole, so it is not reported as a failed commit.
    const char cleared[MagicSize] = {};
    file_->writeAt(0, cleared, MagicSize);
    try {
        file_->sync();
    } catch (const XbaseError &) {
    }
    ++sequence_;
    if (!keepOpen_)
        file_.reset();
}

void Journal::close(bool remove)
{
    file_.reset();
    if (remove && journalType(path_) == fs::file_type::regular)
        removeFile(path_, fs_);
}

namespace {

// A rollback cuts a file back to the size the journal gives it, which may
// grow it only by the bytes the journal restores of it (a commit that cut
// the file); anything more is no size the file ever had.
std::string sizeProblem(const Contents &c, const fs::path &table)
{
    for (size_t i = 0; i < c.files.size(); ++i) {
        std::error_code ec;
        const fs::path file = fileFor(c.files[i].role, table);
        const uintmax_t size = fs::file_size(file, ec);
        if (ec)
            continue; // a missing file is left alone
        uint64_t restored = 0;
        for (const Record &r : c.records)
            if (r.file == i)
                restored += r.bytes.size();
        if (c.files[i].originalSize > size + restored)
            return "it gives " + file.filename().string() + " a size it never had";
    }
    return {};
}

// The journal read and judged; a name that is no regular file is damaged.
Parsed inspect(FileSystem &fs, const fs::path &path, const fs::path &table)
{
    const std::optional<fs::file_type> type = journalType(path);
    if (type && *type != fs::file_type::regular)
        return damaged("it is no regular file; a link is never followed");
    BinaryFile file(path, BinaryFile::Mode::ReadOnly, fs);
    char magic[MagicSize] = {};
    if (file.readSomeAt(0, magic, MagicSize) < MagicSize || !isMagic(magic))
        return {}; // the usual case between commits: one small read
    Parsed p = parse(readAll(file), table);
    if (p.outcome == Parsed::Complete)
        if (std::string problem = sizeProblem(p.contents, table); !problem.empty())
            return damaged(problem);
    return p;
}

} // namespace

Journal::State Journal::state(FileSystem &fs, const fs::path &table, std::string *problem)
{
    const fs::path path = pathFor(table);
    if (!journalType(path))
        return State::Missing;
    Parsed p = inspect(fs, path, table);
    if (p.outcome == Parsed::Damaged && problem)
        *problem = damagedMessage(path, table, p.problem);
    return p.outcome == Parsed::Complete  ? State::Hot
           : p.outcome == Parsed::Damaged ? State::Damaged
                                          : State::Cold;
}

bool Journal::recover(FileSystem &fs, const fs::path &table, bool removeCold)
{
    const fs::path path = pathFor(table);
    if (!journalType(path))
        return false;
    Parsed p = inspect(fs, path, table);
    if (p.outcome == Parsed::Damaged)
        throw XbaseError::damaged(damagedMessage(path, table, p.problem));
    if (p.outcome == Parsed::Complete) {
        const Contents &c = p.contents;
        std::vector<std::unique_ptr<BinaryFile>> files;
        for (const JournalFile &f : c.files) {
            const fs::path file = fileFor(f.role, table);
            files.push_back(fs::exists(file) ? std::make_unique<BinaryFile>(
                                                   file, BinaryFile::Mode::ReadWrite, fs)
                                             : nullptr);
        }
        // Backwards, so that the oldest copy of any range is the one that stays.
        for (auto r = c.records.rbegin(); r != c.records.rend(); ++r)
            if (files[r->file])
                files[r->file]->writeAt(r->offset, r->bytes.data(), r->bytes.size());
        for (size_t i = 0; i < files.size(); ++i) {
            if (!files[i])
                continue;
            if (files[i]->size() != c.files[i].originalSize)
                files[i]->truncate(c.files[i].originalSize);
            files[i]->sync();
        }
        BinaryFile journal(path, BinaryFile::Mode::ReadWrite, fs);
        const char cleared[MagicSize] = {};
        journal.writeAt(0, cleared, MagicSize);
        journal.sync();
    }
    if (removeCold)
        removeFile(path, fs);
    return p.outcome == Parsed::Complete;
}

} // namespace qn::xbase
