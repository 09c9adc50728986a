#include "platform/program_dir.h"

#include "platform/file_system.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace qn {

namespace fs = std::filesystem;

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder()
{
    std::string home = environment("HOME");
    if (!home.empty())
        return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/tmp";
}

} // namespace

bool IsPortableDir(const fs::path &dir)
{
    if (dir.empty())
        return false;
    std::error_code ec;
    if (fs::is_regular_file(dir / "portable", ec))
        return true;
    auto table = FindFileNoCase(dir, "QUILLNK.DBF");
    return table && fs::is_regular_file(*table, ec);
}

fs::path ChooseProgramDir(const ProgramDirSources &sources)
{
    if (!sources.quillnookHome.empty())
        return fs::absolute(sources.quillnookHome);
    if (IsPortableDir(sources.programFileDir))
        return sources.programFileDir;
    // The XDG rules ignore a relative data folder.
    fs::path data = sources.xdgDataHome;
    if (data.empty() || data.is_relative())
        data = fs::path(sources.userHome) / ".local" / "share";
    return data / "Quillnook";
}

ProgramDirSources CurrentProgramDirSources()
{
    ProgramDirSources sources;
    sources.quillnookHome = environment("QUILLNOOK_HOME");
    sources.programFileDir = ProgramFileDir();
    sources.xdgDataHome = environment("XDG_DATA_HOME");
    sources.userHome = homeFolder();
    return sources;
}

fs::path ProgramFileDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return fs::current_path(ec);
    return exe.parent_path();
}

const std::string &ProgramDir()
{
    static const std::string dir = [] {
        fs::path chosen = ChooseProgramDir(CurrentProgramDirSources());
        std::error_code ec;
        if (!fs::exists(chosen, ec)) {
            try {
                CreatePrivateFolder(chosen); // a diary is private
            } catch (const FileError &) {
                // Opening the diary there names the failure.
            }
        }
        std::string text = chosen.lexically_normal().string();
        if (text.empty() || text.back() != '/')
            text += '/';
        return text;
    }();
    return dir;
}

std::vector<fs::path> ResourceDirs()
{
    fs::path programDir = ProgramFileDir();
    return {fs::path(ProgramDir()), programDir,
            (programDir / ".." / "share" / "quillnook").lexically_normal()};
}

std::optional<fs::path> FindResourceFile(std::string_view name)
{
    std::error_code ec;
    for (const fs::path &dir : ResourceDirs())
        if (auto file = FindFileNoCase(dir, name); file && fs::is_regular_file(*file, ec))
            return file;
    return std::nullopt;
}

} // namespace qn
