#pragma once

// The program's commands that need no window:
//   quillnook export [--format html|rtf|text|folder|jsonl] [--from yyyy-mm-dd]
//                    [--to yyyy-mm-dd] [--diary FOLDER] TARGET
//   quillnook import [--dry-run] [--diary FOLDER] SOURCE
//   quillnook backups [--diary FOLDER]
//   quillnook restore [--diary FOLDER] BACKUP
//   quillnook --help | --version
// The password of an encrypted diary is read from standard input.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace qn::exchange {

// Whether the program's first argument names one of these commands (or
// asks for their help).
bool IsDiaryCommand(const std::string &firstArgument);

// Whether the arguments only ask for the help text or the version, which
// need no diary folder.
bool AsksForInformation(const std::vector<std::string> &args);

// Runs one command; `args` starts with the command's name. `diaryDir` is
// the diary folder unless --diary names another. With `terminal` the
// password is asked for on `err` and not shown as it is typed. Answers the
// exit status: 0 done, 1 done but some files could not be imported, 2 not
// done (the reason is on `err`).
int RunDiaryCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, const std::filesystem::path &diaryDir, bool terminal);

} // namespace qn::exchange
