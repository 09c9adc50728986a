#pragma once

// The spell checking the editor's marks and menus use, in the writer's
// language: the diary's own English dictionary, or a Hunspell dictionary
// installed on the system. Words are Windows-1252 text, as the documents hold
// them. The user's own words are kept per language.

#include "platform/file_system.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qn::spell {

class SpellingEngine {
public:
    virtual ~SpellingEngine() = default;

    virtual bool IsCorrect(std::string_view word) = 0;
    // At most `count` replacements, best first, in the case of the word as typed.
    virtual std::vector<std::string> Suggest(std::string_view word, int count) = 0;
    // Adds the word to the user's words of this language, on the disk at
    // once; false when it could not be kept.
    virtual bool AddWord(std::string_view word) = 0;
};

// The diary's own dictionary (ranked by edits): the main dictionary read-only,
// the user dictionary made when the first word is added to it. Null when the
// main dictionary cannot be read (every word would be unknown).
std::unique_ptr<SpellingEngine> MakeOwnDictionaryEngine(const std::string &mainDictionary,
                                                        const std::string &userDictionary,
                                                        FileSystem &fs = DefaultFileSystem());

// A Hunspell dictionary ("<base>.aff" and "<base>.dic"), with the user's words
// in a plain list (UTF-8, one a line) written through the durable replace.
// Null when the dictionary cannot be read or the program was built without
// Hunspell.
std::unique_ptr<SpellingEngine> MakeHunspellEngine(const std::string &base,
                                                   const std::string &userWords,
                                                   FileSystem &fs = DefaultFileSystem());

struct InstalledDictionary {
    std::string Code; // "de_DE"
    std::string Base; // the path without ".aff" / ".dic"
};

// The Hunspell dictionaries of a folder that have both files, by code.
std::vector<InstalledDictionary>
InstalledDictionaries(const std::string &folder = "/usr/share/hunspell");

// True when the language code is safe as part of a file name (letters,
// digits, '_' and '-', at most 32 characters).
bool IsPlainLanguageCode(std::string_view code);

} // namespace qn::spell
