#include "spell/dictionary_journal.h"

#include <array>
#include <cstring>
#include <filesystem>

namespace qn::spell {

namespace {

constexpr std::array<char, 8> kMagic = {'Q', 'N', 'D', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kFrame = kMagic.size() + 8 + 8; // magic, length, checksum

uint64_t checksum(const char *data, size_t size)
{
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (size_t i = 0; i < size; ++i) {
        hash ^= static_cast<uint8_t>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

void putUint64(std::string &out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t getUint64(const char *in)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(in[i]);
    return value;
}

std::string readAll(File &file)
{
    std::string bytes(static_cast<size_t>(file.size()), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t n = file.readSomeAt(done, bytes.data() + done, bytes.size() - done);
        if (n == 0)
            break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

bool removeJournal(FileSystem &fs, const std::string &dictionary)
{
    try {
        fs.remove(JournalPathFor(dictionary));
        fs.syncFolder(FolderOf(dictionary));
        return true;
    } catch (const FileError &) {
        return false;
    }
}

} // namespace

std::string JournalPathFor(const std::string &dictionary)
{
    return dictionary + "-journal";
}

bool BeginDictionaryChange(FileSystem &fs, const std::string &dictionary,
                           const std::string &contents)
{
    std::string bytes(kMagic.begin(), kMagic.end());
    putUint64(bytes, contents.size());
    bytes += contents;
    putUint64(bytes, checksum(contents.data(), contents.size()));
    try {
        auto journal = fs.open(JournalPathFor(dictionary), OpenMode::Create);
        journal->writeAt(0, bytes.data(), bytes.size());
        journal->sync();
        journal.reset();
        fs.syncFolder(FolderOf(dictionary));
        return true;
    } catch (const FileError &) {
        removeJournal(fs, dictionary);
        return false;
    }
}

bool EndDictionaryChange(FileSystem &fs, const std::string &dictionary)
{
    return removeJournal(fs, dictionary);
}

JournalRecovery RecoverDictionary(FileSystem &fs, const std::string &dictionary)
{
    const std::string path = JournalPathFor(dictionary);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return JournalRecovery::Nothing;
    std::string bytes;
    try {
        bytes = readAll(*fs.open(path, OpenMode::ReadOnly));
    } catch (const FileError &) {
        return JournalRecovery::Failed;
    }
    const bool complete = bytes.size() >= kFrame &&
                          std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) == 0 &&
                          getUint64(bytes.data() + kMagic.size()) == bytes.size() - kFrame &&
                          getUint64(bytes.data() + bytes.size() - 8) ==
                              checksum(bytes.data() + kMagic.size() + 8, bytes.size() - kFrame);
    if (!complete)
        return removeJournal(fs, dictionary) ? JournalRecovery::Discarded : JournalRecovery::Failed;
    const size_t size = bytes.size() - kFrame;
    try {
        auto file = fs.open(dictionary, OpenMode::ReadWrite);
        file->writeAt(0, bytes.data() + kMagic.size() + 8, size);
        file->truncate(size);
        file->sync();
    } catch (const FileError &) {
        return JournalRecovery::Failed;
    }
    return removeJournal(fs, dictionary) ? JournalRecovery::RolledBack : JournalRecovery::Failed;
}

} // namespace qn::spell
