#pragma once

// Inputs that stand for several files: the parts are separated by
// kFileSeparator and written, in order, to the names given, in a folder of
// the process's own under /dev/shm (or the temporary folder).

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace qn::fuzz {

inline constexpr std::string_view kFileSeparator = "\n--next-file--\n";

// Removed with its files when the process ends normally.
inline const std::filesystem::path &workFolder()
{
    struct Folder {
        std::filesystem::path path;
        Folder()
        {
            const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                                   ? std::filesystem::path("/dev/shm")
                                                   : std::filesystem::temp_directory_path();
            path = base / ("qnfuzz-" + std::to_string(getpid()));
            std::filesystem::create_directories(path);
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

// Writes the parts of the input to the names (a missing part: no file).
inline void writeParts(const uint8_t *data, size_t size, const std::vector<std::string> &names)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    for (const std::string &name : names) {
        const auto path = workFolder() / name;
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (rest.data() == nullptr)
            continue;
        const size_t cut = rest.find(kFileSeparator);
        const std::string_view part = rest.substr(0, cut);
        std::ofstream(path, std::ios::binary).write(part.data(), std::streamsize(part.size()));
        if (cut == std::string_view::npos)
            rest = std::string_view();
        else
            rest.remove_prefix(cut + kFileSeparator.size());
    }
}

} // namespace qn::fuzz
