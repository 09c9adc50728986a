#include "tests/support/fault_file_system.h"

#include <cstring>

namespace qn::test {

namespace {

class FaultFile final : public FileWrapper {
public:
    FaultFile(std::unique_ptr<File> file, FaultFileSystem &owner)
        : FileWrapper(std::move(file)), owner_(owner)
    {
    }
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        owner_.count("Cannot write", path());
        wrapped().writeAt(offset, data, n);
    }
    void truncate(uint64_t size) override
    {
        owner_.count("Cannot change the size of", path());
        wrapped().truncate(size);
    }
    void sync() override
    {
        owner_.count("Cannot flush", path());
        wrapped().sync();
    }

private:
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
