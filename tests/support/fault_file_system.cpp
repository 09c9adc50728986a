#include "tests/support/fault_file_system.h"

#include <cstring>

namespace qn::test {

namespace {

class FaultFile final : public File {
public:
    FaultFile(std::unique_ptr<File> file, FaultFileSystem &owner)
        : file_(std::move(file)), owner_(owner)
    {
    }

    const std::filesystem::path &path() const override { return file_->path(); }
    bool writable() const override { return file_->writable(); }
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) override
    {
        return file_->readSomeAt(offset, buffer, n);
    }
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        owner_.count("Cannot write", path());
        file_->writeAt(offset, data, n);
    }
    uint64_t size() override { return file_->size(); }
    void truncate(uint64_t size) override
    {
        owner_.count("Cannot change the size of", path());
        file_->truncate(size);
    }
    void sync() override
    {
        owner_.count("Cannot flush", path());
        file_->sync();
    }
    bool tryLock(bool exclusive) override { return file_->tryLock(exclusive); }
    bool tryLockRange(uint64_t offset, uint64_t length) override
    {
        return file_->tryLockRange(offset, length);
    }
    void unlockRange(uint64_t offset, uint64_t length) override
    {
        file_->unlockRange(offset, length);
    }
    int descriptor() const override { return file_->descriptor(); }

private:
    std::unique_ptr<File> file_;
    FaultFileSystem &owner_;
};

} // namespace

void FaultFileSystem::count(const char *what, const std::filesystem::path &path)
{
    if (crashed_)
        throw SimulatedCrash();
    if (failLeft_ == 0 || failing_) {
        failLeft_ = -1;
        failing_ = failPersistent_;
        ++failures_;
        throw FileError(std::string(what) + " " + path.string() + ": " + std::strerror(failError_));
    }
    if (failLeft_ > 0)
        --failLeft_;
    ++counted_;
    if (left_ < 0)
        return;
    if (left_ == 0) {
        crashed_ = true;
        throw SimulatedCrash();
    }
    --left_;
}

std::unique_ptr<File> FaultFileSystem::open(const std::filesystem::path &path, OpenMode mode)
{
    if (mode == OpenMode::Create || mode == OpenMode::CreateNew)
        count("Cannot create", path);
    return std::make_unique<FaultFile>(target().open(path, mode), *this);
}

void FaultFileSystem::rename(const std::filesystem::path &from, const std::filesystem::path &to)
{
    count("Cannot rename", from);
    target().rename(from, to);
}

void FaultFileSystem::remove(const std::filesystem::path &path)
{
    count("Cannot remove", path);
    target().remove(path);
}

void FaultFileSystem::syncFolder(const std::filesystem::path &folder)
{
    count("Cannot flush the folder", folder);
    target().syncFolder(folder);
}

void FaultFileSystem::syncFiles(const std::filesystem::path &folder)
{
    count("Cannot flush the files of", folder);
    target().syncFiles(folder);
}

} // namespace qn::test
