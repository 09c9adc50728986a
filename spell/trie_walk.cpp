#include "spell/trie_walk.h"

#include "spell/spell_letters.h"

namespace qn::spell {

bool FindWord(DictionarySection &section, std::string_view upperWord)
{
    if (upperWord.empty())
        return false;
    const std::vector<TrieNode> &nodes = section.Nodes();
    const int32_t limit = static_cast<int32_t>(nodes.size()) - 1;
    const size_t last = upperWord.size() - 1;
    int32_t run = 1;
    for (size_t i = 0;; ++i) {
        const uint8_t code = LetterCode(static_cast<uint8_t>(upperWord[i]));
        const bool atEnd = i == last;
        // The run's node with the letter that leads on; runs end at a node
        // flagged as their last, or at the end of the nodes in a damaged file.
        int32_t next = 0;
        for (int32_t n = run; next == 0; ++n) {
            if (n > limit)
                return false;
            const TrieNode node = nodes[static_cast<size_t>(n)];
            if ((node.Flags & kLetterMask) == code) {
                if (atEnd && (node.Flags & kWordEnds))
                    return true;
                if (!atEnd && node.Child != kNoChild)
                    next = node.Child;
            }
            if (next == 0 && (node.Flags & kLastInRun))
                return false;
        }
        run = next;
    }
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
        const std::vector<TrieNode> &nodes = section_.Nodes();
        for (int32_t n = first; !stopped_; ++n) {
            if (n < 1 || static_cast<size_t>(n) >= nodes.size() || --budget_ < 0) {
                stopped_ = budget_ < 0;
                return;
            }
            const TrieNode node = nodes[static_cast<size_t>(n)];
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

// The walk of WalkWithinEdits, bounded like Walker.
class EditWalker {
public:
    EditWalker(DictionarySection &section, EditRows &rows, int budget,
               const std::function<void(const std::string &, int)> &word)
        : nodes_(section.Nodes()), rows_(rows), budget_(budget), word_(word),
          visits_(static_cast<int64_t>(nodes_.size()))
    {
    }

    void Run() { walk(1); }

private:
    void walk(int32_t first)
    {
        for (int32_t n = first; visits_ > 0; ++n) {
            if (n < 1 || static_cast<size_t>(n) >= nodes_.size() || --visits_ < 0)
                return;
            const TrieNode node = nodes_[static_cast<size_t>(n)];
            rows_.Push(kAlphabet[node.Flags & kLetterMask]);
            if ((node.Flags & kWordEnds) && rows_.Cost() <= budget_)
                word_(rows_.Candidate(), rows_.Cost());
            if (node.Child != kNoChild && rows_.Candidate().size() < kMaxWalkDepth &&
                rows_.Bound() <= budget_)
                walk(node.Child);
            rows_.Pop();
            if (node.Flags & kLastInRun)
                return;
        }
    }

    const std::vector<TrieNode> &nodes_;
    EditRows &rows_;
    int budget_;
    const std::function<void(const std::string &, int)> &word_;
    int64_t visits_;
};

} // namespace

void WalkWithinEdits(DictionarySection &section, EditRows &rows, int budget,
                     const std::function<void(const std::string &, int cost)> &word)
{
    EditWalker(section, rows, budget, word).Run();
}

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
