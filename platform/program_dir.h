#pragma once

// Where the diary lives, and where the read-only files are found.
//
// The diary folder is chosen once per run:
//  1. the environment variable QUILLNOOK_HOME, when set;
//  2. the folder of the program file, when it already holds a diary
//     (QUILLNK.DBF in any case) or a file named "portable" (portable mode);
//  3. otherwise $XDG_DATA_HOME/Quillnook/ (~/.local/share/Quillnook/).
// Read-only resources (help, main dictionary) are looked up in the diary
// folder, then beside the program, then in the installation's share folder.

#include "platform/file_lookup.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qn {

// What the choice depends on, so that it can be made without touching the
// environment.
struct ProgramDirSources {
    std::string quillnookHome;            // QUILLNOOK_HOME, empty when unset
    std::filesystem::path programFileDir; // folder of the running program
    std::string xdgDataHome;              // XDG_DATA_HOME, empty when unset
    std::string userHome;                 // HOME
};

// The diary folder for these sources; creates nothing.
std::filesystem::path ChooseProgramDir(const ProgramDirSources &sources);

// The sources of this process.
ProgramDirSources CurrentProgramDirSources();

// True when the folder holds a diary table or a "portable" marker file.
bool IsPortableDir(const std::filesystem::path &dir);

// Folder of the running program file.
std::filesystem::path ProgramFileDir();

// The diary folder with a trailing separator, chosen at the first call and
// created when missing.
const std::string &ProgramDir();

// The folders searched for read-only resources, in order.
std::vector<std::filesystem::path> ResourceDirs();
// The first file of that name in ResourceDirs().
std::optional<std::filesystem::path> FindResourceFile(std::string_view name);

} // namespace qn
