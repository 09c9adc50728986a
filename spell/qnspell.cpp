#include "spell/qnspell.h"

#include "platform/file_replacement.h"
#include "spell/dictionary_journal.h"
#include "spell/dictionary_section.h"
#include "spell/edit_cost.h"
#include "spell/first_letters.h"
#include "spell/phonetic_key.h"
#include "spell/ranked_suggestions.h"
#include "spell/similarity.h"
#include "spell/spell_letters.h"
#include "spell/trie_image.h"
#include "spell/trie_walk.h"
#include "spell/word_frequency.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

namespace qn {

using namespace spell;

TQnSpell::TQnSpell(FileSystem &fs) : fs_(fs) {}
TQnSpell::~TQnSpell() = default;

void TQnSpell::SetMaxSuggestions(int value)
{
    maxSuggestions_ = static_cast<uint8_t>(std::clamp(value, 0, kMaxSuggestionsLimit));
}

bool TQnSpell::OpenDictionary(const std::string &path)
{
    if (mainOpen_)
        return false;
    auto file = DictionaryFile::Open(path, DictionaryFile::Mode::ReadOnly, fs_);
    if (!file)
        return false;
    auto sections = DictionarySection::ReadSections(file, false);
    if (sections.empty())
        return false;
    for (auto &s : sections)
        chain_.push_back(std::move(s));
    mainOpen_ = true;
    dictionaryName_ = path;
    frequency_.reset();
    return true;
}

int TQnSpell::appendUserDictionary(const std::string &path)
{
    if (RecoverDictionary(fs_, path) == JournalRecovery::Failed)
        return -1;
    auto file = DictionaryFile::Open(path, DictionaryFile::Mode::ReadWrite, fs_);
    if (!file)
        return -1;
    auto sections = DictionarySection::ReadSections(file, true);
    if (sections.empty())
        return -1;
    if (sections.front()->Header().UserFlag != 0)
        return 0;
    sections.front()->SetHandle(nextHandle_++);
    chain_.push_back(std::move(sections.front()));
    return chain_.back()->Handle();
}

int TQnSpell::OpenUserDictionary(const std::string &path)
{
    return appendUserDictionary(path);
}

int TQnSpell::CreateUserDictionary(const std::string &path, const std::vector<std::string> &words)
{
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return -1;
    try {
        ReplaceFile(path, NewUserDictionaryBytes(), fs_);
    } catch (const FileError &) {
        return -1;
    }
    const int handle = appendUserDictionary(path);
    if (handle > 0)
        for (const std::string &w : words)
            AddWord(w, handle);
    return handle;
}

void TQnSpell::openMainOnDemand()
{
    // No name: the owner decided there is no main dictionary to open.
    if (!mainOpen_ && !dictionaryName_.empty())
        OpenDictionary(dictionaryName_);
}

void TQnSpell::refreshUserHeaders()
{
    for (auto &s : chain_)
        if (s->SectionKind() == DictionarySection::Kind::User)
            s->RefreshHeader();
}

bool TQnSpell::lookup(std::string_view upperWord)
{
    for (;;) {
        if (upperWord.size() <= 1)
            return true;
        for (auto &s : chain_)
            if (FindWord(*s, upperWord))
                return true;
        if (upperWord.size() < 2 || !upperWord.ends_with("'S"))
            return false;
        upperWord.remove_suffix(2);
    }
}

bool TQnSpell::IsCorrect(std::string_view word)
{
    openMainOnDemand();
    refreshUserHeaders();
    return lookup(SpellUpperCase(word));
}

std::vector<std::string> TQnSpell::splits(const std::string &upper)
{
    // Two words run together: every split whose halves are both words.
    std::vector<std::string> out;
    const int length = static_cast<int>(upper.size());
    const auto opensOrClosesAlone = [](char c) { return c == 'A' || c == 'I'; };
    const int firstSplit = opensOrClosesAlone(upper.front()) ? 1 : 2;
    const int lastSplit = opensOrClosesAlone(upper.back()) ? length - 1 : length - 2;
    for (int d = firstSplit; d <= lastSplit; ++d) {
        const std::string_view left = std::string_view(upper).substr(0, d);
        const std::string_view right = std::string_view(upper).substr(d);
        if (lookup(left) && lookup(right))
            out.push_back(std::string(left) + ' ' + std::string(right));
    }
    return out;
}

void TQnSpell::classicCandidates(const std::string &upper, RankedSuggestions &table)
{
    // A candidate that scores 0 has nothing in common with the word (every
    // single-letter word does, and the walk meets those once per first-letter
    // alternative): listing it would only pad the list with the same junk.
    auto offer = [&](const std::string &candidate) {
        if (const int score = SimilarityScore(candidate, upper); score > 0)
            table.Offer(candidate, score);
    };

    const PhoneticKey target = TargetKey(upper);
    for (char alternative : FirstLetterAlternatives(static_cast<uint8_t>(upper[0]))) {
        PhoneticKey key = target;
        key[0] = static_cast<uint8_t>(alternative);
        for (auto &s : chain_)
            WalkCandidates(*s, key, offer);
    }
    for (const std::string &split : splits(upper))
        offer(split);
}

void TQnSpell::loadFrequency()
{
    if (frequency_)
        return;
    frequency_ = std::make_unique<WordFrequency>();
    if (mainOpen_)
        frequency_->Load(FrequencyPathFor(dictionaryName_), fs_);
}

std::vector<std::string> TQnSpell::rankByEdits(const std::string &upper)
{
    struct Candidate {
        std::string Text;
        int Cost = 0;
        int Similarity = 0;
        int Frequency = 0;
    };
    std::vector<Candidate> found;
    std::unordered_map<std::string, size_t> seen;
    auto add = [&](const std::string &text, int cost) {
        const auto [at, added] = seen.emplace(text, found.size());
        if (added)
            found.push_back({text, cost});
        else
            found[at->second].Cost = std::min(found[at->second].Cost, cost);
    };

    // Two edits turn a short word into most other short words: those look
    // one edit further only when one edit does not fill the list.
    EditRows rows(upper);
    const bool shortWord = upper.size() <= 4;
    for (auto &s : chain_)
        WalkWithinEdits(*s, rows, shortWord ? kPlainEdit : kTwoEdits, add);
    if (shortWord && found.size() < maxSuggestions_)
        for (auto &s : chain_)
            WalkWithinEdits(*s, rows, kTwoEdits, add);
    // A split costs more than a slip (most texts that split into two words
    // are one letter off a single word) unless both halves are common words.
    loadFrequency();
    for (const std::string &split : splits(upper)) {
        const size_t space = split.find(' ');
        const bool common = frequency_->ClassOf(split.substr(0, space)) <= 1 &&
                            frequency_->ClassOf(split.substr(space + 1)) <= 1;
        add(split, common ? kPlainEdit : kSplit);
    }
    RankedSuggestions classic(maxSuggestions_);
    classicCandidates(upper, classic);
    for (const auto &entry : classic.Entries())
        if (!seen.count(entry.Text))
            add(entry.Text, EditCost(entry.Text, upper));

    // Only candidates that can still make the list are scored further.
    if (found.size() > maxSuggestions_ && maxSuggestions_ > 0) {
        std::vector<int> costs;
        costs.reserve(found.size());
        for (const Candidate &c : found)
            costs.push_back(c.Cost);
        std::nth_element(costs.begin(), costs.begin() + (maxSuggestions_ - 1), costs.end());
        const int worst = costs[maxSuggestions_ - 1];
        std::erase_if(found, [worst](const Candidate &c) { return c.Cost > worst; });
    }
    for (Candidate &c : found) {
        c.Similarity = SimilarityScore(c.Text, upper);
        c.Frequency = frequency_->ClassOf(c.Text);
    }
    std::stable_sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
        if (a.Cost != b.Cost)
            return a.Cost < b.Cost;
        if (a.Similarity != b.Similarity)
            return a.Similarity > b.Similarity;
        return a.Frequency < b.Frequency;
    });
    std::vector<std::string> out;
    for (size_t i = 0; i < found.size() && out.size() < maxSuggestions_; ++i)
        out.push_back(std::move(found[i].Text));
    return out;
}

std::vector<std::string> TQnSpell::Suggest(std::string_view word)
{
    openMainOnDemand();
    refreshUserHeaders();
    suggestions_.clear();
    const std::string_view typed = word.substr(0, kMaxWordLength);
    const std::string upper = SpellUpperCase(typed);
    if (upper.empty())
        return suggestions_;

    if (ranking_ == Ranking::ByEdits) {
        for (const std::string &text : rankByEdits(upper))
            suggestions_.push_back(ApplyCasePattern(text, typed));
        return suggestions_;
    }
    RankedSuggestions table(maxSuggestions_);
    classicCandidates(upper, table);
    for (const auto &entry : table.Entries())
        suggestions_.push_back(ApplyCasePattern(entry.Text, typed));
    return suggestions_;
}

DictionarySection *TQnSpell::userSection(int handle)
{
    if (handle < 0)
        return nullptr;
    for (auto &s : chain_)
        if (s->SectionKind() == DictionarySection::Kind::User && s->Handle() == handle)
            return s.get();
    return nullptr;
}

bool TQnSpell::AddWord(std::string_view word, int handle)
{
    DictionarySection *section = userSection(handle);
    if (!section || word.empty() || word.size() > kMaxWordLength)
        return false;
    section->RefreshHeader();
    const SectionHeader old = section->Header();
    const std::string codes = WordCodes(word);
    const int32_t length = static_cast<int32_t>(codes.size());
    if (old.NodeCount < 0 || old.NodeCount > old.NodeSlots || old.NodeSlots > 0xFFFF ||
        old.NodeCount + length > kNodeLimit)
        return false;

    // The section is small (at most 64000 nodes); work on it in memory and
    // write back only what changed.
    DictionaryFile &file = section->File();
    const size_t oldBytes = static_cast<size_t>(old.NodeCount) * kNodeSize;
    std::string before(oldBytes, '\0');
    if (file.ReadAt(section->AreaOffset(), before.data(), oldBytes) != oldBytes)
        return false;
    TrieImage image = TrieImage::FromBytes(reinterpret_cast<const uint8_t *>(before.data()),
                                           old.NodeCount, old.WordCount);
    if (!image.IsSound())
        return false;
    switch (image.Add(codes)) {
    case TrieImage::AddResult::Refused:
        return false;
    case TrieImage::AddResult::Present:
        return true;
    case TrieImage::AddResult::Added:
        break;
    }

    SectionHeader header = old;
    header.NodeCount = image.NodeCount();
    while (header.NodeSlots < header.NodeCount)
        header.NodeSlots += kUserSlotsStep;
    header.WordCount = image.WordCount();
    header.HeaderPos = static_cast<int32_t>(section->HeaderOffset());
    std::string after;
    image.AppendArea(after, header.NodeSlots);

    // Nodes in blocks of up to 2048: unchanged blocks are not rewritten; new
    // nodes and newly made free slots always are.
    constexpr size_t kBlock = 2048 * kNodeSize;
    const size_t writeEnd = header.NodeSlots > old.NodeSlots
                                ? after.size()
                                : static_cast<size_t>(header.NodeCount) * kNodeSize;

    // The whole file goes to the journal first (a user dictionary is small).
    std::string contents(static_cast<size_t>(std::max<int64_t>(file.Size(), 0)), '\0');
    if (file.ReadAt(0, contents.data(), contents.size()) != contents.size() ||
        !BeginDictionaryChange(fs_, file.Path(), contents))
        return false;
    bool ok = true;
    for (size_t at = 0; ok && at < writeEnd; at += kBlock) {
        const size_t size = std::min(kBlock, writeEnd - at);
        if (at + size <= before.size() && before.compare(at, size, after, at, size) == 0)
            continue;
        ok =
            file.WriteAt(section->AreaOffset() + static_cast<int64_t>(at), after.data() + at, size);
    }
    uint8_t bytes[kSectionHeaderSize];
    EncodeSectionHeader(header, bytes);
    ok = ok && file.WriteAt(section->HeaderOffset(), bytes, sizeof bytes) && file.Flush();
    if (!ok) {
        // Put the old contents back at once; what cannot be put back now the
        // journal puts back when the dictionary is next opened.
        if (file.WriteAt(0, contents.data(), contents.size()) &&
            file.Truncate(static_cast<int64_t>(contents.size())) && file.Flush())
            EndDictionaryChange(fs_, file.Path());
        section->RefreshHeader();
        return false;
    }
    EndDictionaryChange(fs_, file.Path());
    section->Replace(header);
    return true;
}

void TQnSpell::CloseDictionaries()
{
    chain_.clear();
    suggestions_.clear();
    mainOpen_ = false;
    nextHandle_ = 2;
    frequency_.reset();
}

void TQnSpell::ForEachWord(const std::function<void(const std::string &)> &word)
{
    for (auto &s : chain_)
        spell::ForEachWord(*s, word);
}

} // namespace qn
