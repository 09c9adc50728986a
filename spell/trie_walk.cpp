#include "spell/trie_walk.h"

#include "spell/spell_letters.h"

namespace qn::spell {

bool FindWord(DictionarySection &section, std::string_view upperWord)
{
    int32_t run = 1;
    TrieNode node;
    for (size_t i = 0; i < upperWord.size(); ++i) {
        const uint8_t code = LetterCode(static_cast<uint8_t>(upperWord[i]));
        const bool last = i + 1 == upperWord.size();
        int32_t next = 0;
        for (int32_t n = run; next == 0; ++n) {
            if (!section.ReadNode(n, node))
                return false;
            if ((node.Flags & kLetterMask) == code) {
                if (last && (node.Flags & kWordEnds))
                    return true;
                if (!last && node.Child != kNoChild)
                    next = node.Child;
            }
            if (next == 0 && (node.Flags & kLastInRun))
                return false;
        }
        run = next;
    }
    return false;
}

namespace {

// A depth-first walk that visits each node at most once in a sound trie, so
// visiting more nodes than the section holds means the links go round.
class Walker {
public:
    using Descend = std::function<bool(const std::string &prefix)>;

    Walker(DictionarySection &section, const std::function<void(const std::string &)> &word,
           Descend descend)
        : section_(section), word_(word), descend_(std::move(descend)),
          budget_(int64_t{section.NodeLimit()} + 1)
    {
    }

    void Run() { walk(1); }

private:
    void walk(int32_t first)
    {
        TrieNode node;
        for (int32_t n = first; !stopped_; ++n) {
            if (!section_.ReadNode(n, node) || --budget_ < 0) {
                stopped_ = budget_ < 0;
                return;
            }
            prefix_.push_back(static_cast<char>(kAlphabet[node.Flags & kLetterMask]));
            if (node.Flags & kWordEnds)
                word_(prefix_);
            if (node.Child != kNoChild && prefix_.size() < kMaxWalkDepth && descend_(prefix_))
                walk(node.Child);
            prefix_.pop_back();
            if (node.Flags & kLastInRun)
                return;
        }
    }

    DictionarySection &section_;
    const std::function<void(const std::string &)> &word_;
    Descend descend_;
    int64_t budget_;
    bool stopped_ = false;
    std::string prefix_;
};

} // namespace

void WalkCandidates(DictionarySection &section, const PhoneticKey &key,
                    const std::function<void(const std::string &)> &candidate)
{
    Walker(section, candidate, [&key](const std::string &prefix) {
        return PrefixKey(prefix, key) == key;
    }).Run();
}

void ForEachWord(DictionarySection &section, const std::function<void(const std::string &)> &word)
{
    Walker(section, word, [](const std::string &) { return true; }).Run();
}

} // namespace qn::spell
