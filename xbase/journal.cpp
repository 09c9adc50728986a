#include "xbase/journal.h"

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

struct JournalFile {
    std::string name;
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

// The journal's contents when it is complete: a valid header and every
// record it announces, each with a matching checksum.
std::optional<Contents> parse(const std::string &bytes)
{
    if (bytes.size() < MagicSize || std::memcmp(bytes.data(), Magic, MagicSize) != 0)
        return std::nullopt;
    Reader in(bytes);
    std::string skip;
    uint64_t nonce = 0, fileCount = 0, recordCount = 0, v = 0;
    if (!in.take(skip, MagicSize) || !in.get(nonce, 8) || !in.get(fileCount, 4) ||
        !in.get(recordCount, 4))
        return std::nullopt;
    if (fileCount > 64)
        return std::nullopt;
    Contents c;
    for (uint64_t i = 0; i < fileCount; ++i) {
        JournalFile f;
        if (!in.get(v, 2) || !in.take(f.name, v) || !in.get(f.originalSize, 8))
            return std::nullopt;
        c.files.push_back(std::move(f));
    }
    size_t headerEnd = in.at();
    uint64_t sum = 0;
    if (!in.get(sum, 4) || uint32_t(sum) != crc32(0, bytes.data(), headerEnd))
        return std::nullopt;
    for (uint64_t i = 0; i < recordCount; ++i) {
        size_t start = in.at();
        Record r;
        uint64_t file = 0, length = 0;
        if (!in.get(file, 2) || !in.get(r.offset, 8) || !in.get(length, 4) ||
            !in.take(r.bytes, length))
            return std::nullopt;
        uint32_t expected =
            crc32(crc32(0, &nonce, sizeof nonce), bytes.data() + start, in.at() - start);
        if (!in.get(sum, 4) || uint32_t(sum) != expected || file >= c.files.size())
            return std::nullopt;
        r.file = uint16_t(file);
        c.records.push_back(std::move(r));
    }
    return c;
}

std::string readAll(BinaryFile &file)
{
    std::string bytes(size_t(file.size()), '\0');
    bytes.resize(file.readSomeAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// Names in the table's folder are kept without it, so that a moved folder
// still recovers; others in full.
std::string journalName(const fs::path &file, const fs::path &table)
{
    if (FolderOf(file) == FolderOf(table))
        return file.filename().string();
    return fs::absolute(file).string();
}

uint64_t newNonce()
{
    static std::mt19937_64 random{std::random_device{}()};
    return random();
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
    bool fresh = !fs::exists(path_);
    file_ = std::make_unique<BinaryFile>(
        path_, fresh ? BinaryFile::Mode::Create : BinaryFile::Mode::ReadWrite, fs_);
    if (fresh) // the journal's name must survive a crash as long as the files depend on it
        syncDirectory(FolderOf(path_), fs_);
}

void Journal::commit(std::vector<FileChange> &all)
{
    std::vector<FileChange *> changes;
    for (FileChange &c : all)
        if (!c.empty())
            changes.push_back(&c);
    if (changes.empty())
        return;

    // The journal: the files with their sizes, then the original bytes of
    // every range this commit overwrites or cuts off.
    const uint64_t nonce = newNonce();
    std::string names; // per file: its name and size before this commit
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
    for (size_t i = 0; i < changes.size(); ++i) {
        const FileChange &c = *changes[i];
        std::string name = journalName(c.file->path(), table_);
        put(names, name.size(), 2);
        names += name;
        put(names, c.originalSize, 8);
        for (const auto &[offset, bytes] : c.writes)
            addRecord(uint16_t(i), *c.file, offset,
                      std::min<uint64_t>(offset + bytes.size(), c.originalSize));
        if (c.size && *c.size < c.originalSize)
            addRecord(uint16_t(i), *c.file, *c.size, c.originalSize);
    }
    std::string journal(Magic, MagicSize);
    put(journal, nonce, 8);
    put(journal, changes.size(), 4);
    put(journal, recordCount, 4);
    journal += names;
    put(journal, crc32(0, journal.data(), journal.size()), 4);
    journal += records;

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

    // The commit point.
    const char cleared[MagicSize] = {};
    file_->writeAt(0, cleared, MagicSize);
    file_->sync();
    ++sequence_;
    if (!keepOpen_)
        file_.reset();
}

void Journal::close(bool remove)
{
    file_.reset();
    if (remove && fs::exists(path_))
        removeFile(path_, fs_);
}

Journal::State Journal::state(FileSystem &fs, const fs::path &table)
{
    fs::path path = pathFor(table);
    if (!fs::exists(path))
        return State::Missing;
    BinaryFile file(path, BinaryFile::Mode::ReadOnly, fs);
    char magic[MagicSize] = {};
    if (file.readSomeAt(0, magic, MagicSize) < MagicSize ||
        std::memcmp(magic, Magic, MagicSize) != 0)
        return State::Cold; // the usual case between commits: one small read
    return parse(readAll(file)) ? State::Hot : State::Cold;
}

bool Journal::recover(FileSystem &fs, const fs::path &table, bool removeCold)
{
    fs::path path = pathFor(table);
    if (!fs::exists(path))
        return false;
    std::optional<Contents> contents;
    {
        BinaryFile file(path, BinaryFile::Mode::ReadOnly, fs);
        contents = parse(readAll(file));
    }
    if (contents) {
        std::vector<std::unique_ptr<BinaryFile>> files;
        for (const JournalFile &f : contents->files) {
            fs::path p =
                fs::path(f.name).is_absolute() ? fs::path(f.name) : FolderOf(table) / f.name;
            files.push_back(fs::exists(p)
                                ? std::make_unique<BinaryFile>(p, BinaryFile::Mode::ReadWrite, fs)
                                : nullptr);
        }
        // Backwards, so that the oldest copy of any range is the one that stays.
        for (auto r = contents->records.rbegin(); r != contents->records.rend(); ++r)
            if (files[r->file])
                files[r->file]->writeAt(r->offset, r->bytes.data(), r->bytes.size());
        for (size_t i = 0; i < files.size(); ++i) {
            if (!files[i])
                continue;
            if (files[i]->size() != contents->files[i].originalSize)
                files[i]->truncate(contents->files[i].originalSize);
            files[i]->sync();
        }
        BinaryFile journal(path, BinaryFile::Mode::ReadWrite, fs);
        const char cleared[MagicSize] = {};
        journal.writeAt(0, cleared, MagicSize);
        journal.sync();
    }
    if (removeCold)
        removeFile(path, fs);
    return contents.has_value();
}

} // namespace qn::xbase
