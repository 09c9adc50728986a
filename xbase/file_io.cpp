#include "xbase/file_io.h"

#include "platform/file_lookup.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <cctype>

namespace qn::xbase {

namespace {

// The platform's failures become the engine's own, with the same text.
template <typename F> auto engineErrors(F &&body) -> decltype(body())
{
    try {
        return body();
    } catch (const FileError &e) {
        throw XbaseError::io(e.what());
    }
}

} // namespace

BinaryFile::BinaryFile(const std::filesystem::path &path, Mode mode, FileSystem &fs)
    : fs_(&fs), path_(path)
{
    OpenMode m = mode == Mode::ReadOnly    ? OpenMode::ReadOnly
                 : mode == Mode::ReadWrite ? OpenMode::ReadWrite
                                           : OpenMode::Create;
    file_ = engineErrors([&] { return fs.open(path, m); });
}

uint64_t BinaryFile::size() const
{
    return engineErrors([&] { return file_->size(); });
}

size_t BinaryFile::readSomeAt(uint64_t offset, void *buffer, size_t n) const
{
    return engineErrors([&] { return file_->readSomeAt(offset, buffer, n); });
}

void BinaryFile::readAt(uint64_t offset, void *buffer, size_t n) const
{
    if (readSomeAt(offset, buffer, n) != n)
        throw XbaseError::damaged("File " + path_.string() + " is damaged: it ends before offset " +
                                  std::to_string(offset + n));
}

void BinaryFile::writeAt(uint64_t offset, const void *data, size_t n)
{
    engineErrors([&] { file_->writeAt(offset, data, n); });
}

void BinaryFile::truncate(uint64_t size)
{
    engineErrors([&] { file_->truncate(size); });
}

void BinaryFile::sync()
{
    if (file_ && file_->writable())
        engineErrors([&] { file_->sync(); });
}

bool BinaryFile::tryLock(bool exclusive)
{
    return engineErrors([&] { return file_->tryLock(exclusive); });
}

bool BinaryFile::tryLockRange(uint64_t offset, uint64_t length)
{
    return engineErrors([&] { return file_->tryLockRange(offset, length); });
}

void BinaryFile::unlockRange(uint64_t offset, uint64_t length)
{
    if (file_)
        file_->unlockRange(offset, length);
}

std::filesystem::path siblingWithExtension(const std::filesystem::path &path,
                                           const std::string &extension)
{
    std::filesystem::path wanted = path;
    std::string stem = path.stem().string();
    bool upper = !stem.empty() && std::isupper(static_cast<unsigned char>(stem.back()));
    std::string ext = extension;
    std::transform(ext.begin(), ext.end(), ext.begin(), [upper](unsigned char c) {
        return static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    });
    wanted.replace_extension(ext);
    return FindPathNoCase(wanted);
}

void syncDirectory(const std::filesystem::path &dir, FileSystem &fs)
{
    engineErrors([&] { fs.syncFolder(dir.empty() ? std::filesystem::path(".") : dir); });
}

void replaceFile(const std::filesystem::path &from, const std::filesystem::path &to, FileSystem &fs)
{
    engineErrors([&] { fs.rename(from, to); });
    syncDirectory(FolderOf(to), fs);
}

void removeFile(const std::filesystem::path &path, FileSystem &fs)
{
    engineErrors([&] { fs.remove(path); });
}

} // namespace qn::xbase
