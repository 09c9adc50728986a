#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qn {

namespace spell {
class DictionarySection;
class RankedSuggestions;
class WordFrequency;
} // namespace spell

// The spell checker: a chain of open dictionary sections (the main dictionary
// first when it was opened first, then user dictionaries in order of opening),
// an exact lookup and a suggestion search. Words are Windows-1252 text.
class TQnSpell {
public:
    // Dictionary files are read and written through `fs`.
    explicit TQnSpell(FileSystem &fs = DefaultFileSystem());
    ~TQnSpell();
    TQnSpell(const TQnSpell &) = delete;
    TQnSpell &operator=(const TQnSpell &) = delete;

    static constexpr int kMaxSuggestionsLimit = 220;

    const std::string &DictionaryName() const { return dictionaryName_; }
    void SetDictionaryName(std::string path) { dictionaryName_ = std::move(path); }
    const std::string &DictionaryUser() const { return dictionaryUser_; }
    void SetDictionaryUser(std::string path) { dictionaryUser_ = std::move(path); }
    uint8_t MaxSuggestions() const { return maxSuggestions_; }
    void SetMaxSuggestions(int value);

    // Opens the main dictionary read-only unless one is open already; true
    // when this call opened it (the path is then kept as DictionaryName).
    bool OpenDictionary(const std::string &path);

    // Opens an existing user dictionary for reading and writing: its handle
    // (2, 3, ... in order of opening), -1 when it cannot be opened or read,
    // 0 when the file is not a user dictionary. A change that a crash
    // interrupted is undone first (see dictionary_journal.h).
    int OpenUserDictionary(const std::string &path);

    // Creates a new user dictionary holding the word "A" and adds the words of
    // the list: its handle, or -1 when it cannot be created. An existing file
    // is never overwritten; the new file appears whole or not at all.
    int CreateUserDictionary(const std::string &path, const std::vector<std::string> &words);

    // Single letters are always correct; a word ending in 's is correct when
    // the word without them is. Opens DictionaryName when no main dictionary is open.
    bool IsCorrect(std::string_view word);

    // How Suggest ranks. Classic: the words whose sound key fits and the
    // run-together splits, by similarity alone. ByEdits: those, and every word
    // within two edits of the typed one, by edit cost (slips on neighbouring
    // keys, doubled letters and swapped letters cost less), then similarity,
    // then how common the word is (from the frequency list beside the main
    // dictionary, when there is one).
    enum class Ranking { Classic, ByEdits };
    Ranking SuggestionRanking() const { return ranking_; }
    void SetSuggestionRanking(Ranking ranking) { ranking_ = ranking; }

    // At most MaxSuggestions replacements, best first, in the case of the word as typed.
    std::vector<std::string> Suggest(std::string_view word);
    const std::vector<std::string> &Suggestions() const { return suggestions_; }

    // Adds the word to the user dictionary with that handle, writing the file
    // at once. False for an unknown handle, a word longer than 25 letters, a
    // full dictionary, a file that cannot be written or does not read as a
    // proper trie; the file is then left as it was. The file is changed in
    // place behind a journal, so that a crash at any moment leaves the words
    // from before or after the change.
    bool AddWord(std::string_view word, int handle);

    void CloseDictionaries();

    bool MainDictionaryOpen() const { return mainOpen_; }

    // Every word of every open section, in chain order (for listing tools).
    void ForEachWord(const std::function<void(const std::string &)> &word);

private:
    int appendUserDictionary(const std::string &path);
    void refreshUserHeaders();
    bool lookup(std::string_view upperWord);
    void classicCandidates(const std::string &upper, spell::RankedSuggestions &table);
    std::vector<std::string> splits(const std::string &upper);
    std::vector<std::string> rankByEdits(const std::string &upper);
    void loadFrequency();
    void openMainOnDemand();
    spell::DictionarySection *userSection(int handle);

    FileSystem &fs_;
    std::string dictionaryName_ = "qnspell.dct";
    std::string dictionaryUser_ = "custom.dct";
    uint8_t maxSuggestions_ = 10;
    Ranking ranking_ = Ranking::Classic;
    std::unique_ptr<spell::WordFrequency> frequency_;
    std::vector<std::unique_ptr<spell::DictionarySection>> chain_;
    std::vector<std::string> suggestions_;
    bool mainOpen_ = false;
    int nextHandle_ = 2;
};

} // namespace qn
