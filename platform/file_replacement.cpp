#include "platform/file_replacement.h"

#include <random>

namespace qn {

namespace fs = std::filesystem;

namespace {

constexpr size_t kSuffixLength = 6;

// ".NAME.XXXXXX": hidden, and recognisable as belonging to NAME.
std::string temporaryPrefix(const fs::path &target)
{
    return "." + target.filename().string() + ".";
}

std::string randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 random{std::random_device{}()};
    std::string s;
    for (size_t i = 0; i < kSuffixLength; ++i)
        s += letters[random() % (sizeof letters - 1)];
    return s;
}

} // namespace

FileReplacement::FileReplacement(const fs::path &target, FileSystem &fs) : fs_(fs), target_(target)
{
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        auto resolved = fs::canonical(target, ec);
        if (!ec)
            target_ = resolved;
    }
    for (int attempt = 0;; ++attempt) {
        temporary_ = FolderOf(target_) / (temporaryPrefix(target_) + randomSuffix());
        try {
            file_ = fs_.open(temporary_, OpenMode::CreateNew);
            break;
        } catch (const FileExistsError &) {
            if (attempt >= 100)
                throw;
        }
    }
    // The file system door creates it private (PrivateFileMode), and so the
    // replaced file is private too, whatever the old one allowed.
}

FileReplacement::~FileReplacement()
{
    if (committed_)
        return;
    file_.reset();
    try {
        fs_.remove(temporary_);
    } catch (...) {
        // A leftover temporary file harms nobody; IsReplacementOf finds it.
    }
}

void FileReplacement::commit(bool syncFolder)
{
    if (file_)
        file_->sync();
    file_.reset();
    fs_.rename(temporary_, target_);
    committed_ = true;
    if (syncFolder)
        fs_.syncFolder(FolderOf(target_));
}

void ReplaceFile(const fs::path &target, std::string_view bytes, FileSystem &fs)
{
    FileReplacement replacement(target, fs);
    replacement.file().writeAt(0, bytes.data(), bytes.size());
    replacement.commit();
}

bool IsReplacementOf(const fs::path &name, const fs::path &target)
{
    const std::string n = name.filename().string(), prefix = temporaryPrefix(target);
    return n.size() == prefix.size() + kSuffixLength && n.compare(0, prefix.size(), prefix) == 0;
}

} // namespace qn
