#pragma once

// Diaries for the export, import and backup tests.

#include "app/exchange/diary_records.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qn::test {

// The date key of day `n` counted from 1 March 2023 (so that a leap day
// and year ends fall among a few hundred days).
std::string dayKey(int n);

// A formatted entry for day n: bold, italic, colours, fonts, alignment, a
// page break now and then, and Windows-1252 letters, braces and backslashes.
std::string formattedEntryRtf(int n);

// The paragraphs of an RTF text as the user reads them.
std::vector<std::string> paragraphsOf(const std::string &rtf);

// Makes a diary in `folder` holding the entries (key to RTF).
void makeDiary(const std::filesystem::path &folder,
               const std::map<std::string, std::string> &entries, const std::string &password = {});

// Every entry of the diary in `folder`, key to RTF.
std::map<std::string, std::string> diaryEntries(const std::filesystem::path &folder,
                                                const std::string &password = {});

// Encrypts the diary in `folder` under `password` (a cheap key, for tests)
// and notes the password in its QN.INI as the program does.
void encryptDiary(const std::filesystem::path &folder, const std::string &password);

// Every run of blanks, tabs, line ends and non-breaking spaces of a UTF-8
// text made one blank, none at the ends.
std::string normalizedBlanks(const std::string &utf8);

} // namespace qn::test
