#include "spell/spell_letters.h"
#include "spell/trie_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qn::spell;

namespace {

struct Expected {
    uint16_t child;
    char letter;
    uint8_t bits; // kLastInRun / kWordEnds
};

void expectNodes(const TrieImage &image, const std::vector<Expected> &nodes)
{
    ASSERT_EQ(image.NodeCount(), static_cast<int32_t>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i) {
        const TrieNode n = image.Node(static_cast<int32_t>(i + 1));
        EXPECT_EQ(n.Child, nodes[i].child) << "node " << i + 1;
        EXPECT_EQ(n.Flags, LetterCode(nodes[i].letter) | nodes[i].bits) << "node " << i + 1;
    }
}

constexpr uint8_t L = kLastInRun;
constexpr uint8_t W = kWordEnds;

} // namespace

TEST(TrieImage, InsertionJoinsRunsAtTheirStartAndRenumbersLinks)
{
    TrieImage image;
    ASSERT_EQ(image.Add(WordCodes("AB")), TrieImage::AddResult::Added);
    expectNodes(image, {{2, 'A', L}, {0, 'B', L | W}});

    // C joins the run below A as its first node; B moves up, A's link stays.
    ASSERT_EQ(image.Add(WordCodes("AC")), TrieImage::AddResult::Added);
    expectNodes(image, {{2, 'A', L}, {0, 'C', W}, {0, 'B', L | W}});

    // B joins the first run at node 1: everything moves, A's link follows.
    ASSERT_EQ(image.Add(WordCodes("B")), TrieImage::AddResult::Added);
    expectNodes(image, {{0, 'B', W}, {3, 'A', L}, {0, 'C', W}, {0, 'B', L | W}});

    // A word that continues past a leaf: a new run appended after the nodes in use.
    ASSERT_EQ(image.Add(WordCodes("BDE")), TrieImage::AddResult::Added);
    expectNodes(
        image,
        {{5, 'B', W}, {3, 'A', L}, {0, 'C', W}, {0, 'B', L | W}, {6, 'D', L}, {0, 'E', L | W}});

    // A word that is already a path only gets its end bit.
    ASSERT_EQ(image.Add(WordCodes("BD")), TrieImage::AddResult::Added);
    EXPECT_EQ(image.Node(5).Flags, LetterCode('D') | L | W);
    EXPECT_EQ(image.Add(WordCodes("bd")), TrieImage::AddResult::Present);
    EXPECT_EQ(image.WordCount(), 5);
    EXPECT_EQ(image.NodeCount(), 6);

    for (const char *w : {"AB", "AC", "B", "BDE", "BD"})
        EXPECT_TRUE(image.Contains(WordCodes(w))) << w;
    for (const char *w : {"A", "BE", "ABC", "C", "BDEF"})
        EXPECT_FALSE(image.Contains(WordCodes(w))) << w;
    EXPECT_TRUE(image.IsSound());
}

TEST(TrieImage, RefusesEmptyLongAndOverLimitWords)
{
    TrieImage image;
    EXPECT_EQ(image.Add(""), TrieImage::AddResult::Refused);
    EXPECT_EQ(image.Add(WordCodes(std::string(26, 'A'))), TrieImage::AddResult::Refused);
    EXPECT_EQ(image.Add(WordCodes(std::string(25, 'A'))), TrieImage::AddResult::Added);
    EXPECT_EQ(image.NodeCount(), 25);
}

TEST(TrieImage, SoundnessCheckFindsBrokenStructure)
{
    TrieImage good;
    good.Add(WordCodes("AB"));
    good.Add(WordCodes("AC"));
    std::string bytes;
    good.AppendArea(bytes, good.NodeCount());
    auto image = [&](const std::string &b) {
        return TrieImage::FromBytes(reinterpret_cast<const uint8_t *>(b.data()), 3, 2);
    };
    EXPECT_TRUE(image(bytes).IsSound());

    std::string cycle = bytes; // C links back to the first run
    cycle[3] = 1;
    EXPECT_FALSE(image(cycle).IsSound());

    std::string pastEnd = bytes; // A links past the nodes in use
    pastEnd[0] = 9;
    EXPECT_FALSE(image(pastEnd).IsSound());

    std::string endless = bytes; // the last run never ends
    endless[8] = static_cast<char>(endless[8] & ~kLastInRun);
    EXPECT_FALSE(image(endless).IsSound());

    std::string twice = bytes; // the same letter twice in a run
    twice[5] = static_cast<char>(LetterCode('B') | W);
    EXPECT_FALSE(image(twice).IsSound());
}
