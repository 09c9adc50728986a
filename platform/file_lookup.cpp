#include "platform/file_lookup.h"

namespace qn {

namespace {

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path &dir,
                                                    std::string_view name)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exact = dir / std::string(name);
    if (fs::exists(exact, ec))
        return exact;
    const fs::path folder = dir.empty() ? fs::path(".") : dir;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalNoCase(candidate, name))
            return dir / candidate;
    }
    return std::nullopt;
}

std::filesystem::path FindPathNoCase(const std::filesystem::path &path)
{
    if (path.filename().empty())
        return path;
    auto found = FindFileNoCase(path.parent_path(), path.filename().string());
    return found ? *found : path;
}

} // namespace qn
