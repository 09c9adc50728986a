#include "spell/dictionary_format.h"
#include "spell/qnspell.h"
#include "spell/spell_letters.h"
#include "tests/spell/spell_fixtures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

using namespace qn;
using namespace qn::test;

namespace {

const std::vector<std::string> kWords = {
    "apple", "apply", "ape", "banana",    "band", "bandana", "can", "cane", "canoe", "cat's",
    "dog",   "dot",   "eel", "\xE9t\xE9", "fig",  "figure",  "go",  "gone", "ha-ha", "l'eau"};

const std::vector<std::string> kProbes = {
    "apple", "aple", "banan", "bandanna",           "canoe", "cta", "dgo", "eel", "figur",
    "ha-ha", "xyz",  "a",     std::string(300, 'a')};

// Exercises every reading path; none may crash or hang on the file.
void exercise(TQnSpell &spell)
{
    for (const auto &w : kProbes) {
        spell.IsCorrect(w);
        spell.Suggest(w);
    }
    long words = 0;
    spell.ForEachWord([&words](const std::string &) { ++words; });
}

// Writes a fresh file: rewriting one in place makes the file system flush it
// on close, which would make these many small rounds slow.
void replaceFile(const std::filesystem::path &file, const std::string &bytes)
{
    std::filesystem::remove(file);
    writeFile(file, bytes);
}

struct Node {
    uint16_t child;
    uint8_t flags;
};

// A user dictionary with exactly the header and nodes given.
std::string craft(int32_t count, int32_t slots, int32_t words, const std::vector<Node> &nodes)
{
    std::string bytes = spell::UserDictionaryText();
    bytes += Int32Bytes(count) + Int32Bytes(slots) + Int32Bytes(words) + std::string(1, '\0') +
             Int32Bytes(static_cast<int32_t>(bytes.size()));
    for (const Node &n : nodes)
        bytes += std::string{static_cast<char>(n.child & 0xFF), static_cast<char>(n.child >> 8),
                             static_cast<char>(n.flags)};
    return bytes;
}

uint8_t flags(char letter, uint8_t bits)
{
    return spell::LetterCode(letter) | bits;
}

constexpr uint8_t L = spell::kLastInRun;
constexpr uint8_t W = spell::kWordEnds;

} // namespace

TEST(DamagedDictionary, TruncatedMainDictionaryAtEveryLength)
{
    TempDir dir;
    const std::string bytes = MainDictionaryBytes(kWords);
    const auto path = dir / "main.dct";
    for (size_t length = 0; length <= bytes.size(); length += 1) {
        replaceFile(path, bytes.substr(0, length));
        TQnSpell spell;
        spell.OpenDictionary(path.string());
        exercise(spell);
        if (length == bytes.size()) {
            for (const auto &w : kWords)
                EXPECT_TRUE(spell.IsCorrect(w)) << w;
        }
    }
}

TEST(DamagedDictionary, RandomlyMutatedFilesNeverCrashAndAddingStaysSafe)
{
    TempDir dir;
    const std::string mainBytes = MainDictionaryBytes(kWords);
    const auto mainPath = dir / "main.dct";
    const auto userPath = dir / "user.dct";
    std::string userBytes;
    {
        TQnSpell maker;
        ASSERT_EQ(maker.CreateUserDictionary(userPath.string(), {"zebra", "zeal", "yak", "yaks"}),
                  2);
        maker.CloseDictionaries();
        userBytes = readFile(userPath);
        userBytes.resize(userBytes.find('\x1A') + 1 + 17 + 3 * 20); // keep the used nodes
    }

    std::mt19937 random(20240611);
    auto mutate = [&random](std::string bytes) {
        const size_t start = bytes.find('\x1A') + 1;
        const int changes = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < changes; ++i) {
            const size_t at = start + random() % (bytes.size() - start);
            switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
                break;
            default:
                bytes[at] = static_cast<char>(random() % 2 ? 0x00 : 0xFF);
                break;
            }
        }
        if (random() % 8 == 0)
            bytes.resize(start + random() % (bytes.size() - start));
        return bytes;
    };

    int added = 0;
    for (int round = 0; round < 400; ++round) {
        replaceFile(mainPath, mutate(mainBytes));
        const std::string damagedUser = mutate(userBytes);
        replaceFile(userPath, damagedUser);
        TQnSpell spell;
        spell.OpenDictionary(mainPath.string());
        const int handle = spell.OpenUserDictionary(userPath.string());
        exercise(spell);
        if (handle < 2)
            continue;
        if (spell.AddWord("walrus", handle)) {
            ++added;
            EXPECT_TRUE(spell.IsCorrect("walrus")) << "round " << round;
            TQnSpell reopened;
            ASSERT_EQ(reopened.OpenUserDictionary(userPath.string()), 2);
            EXPECT_TRUE(reopened.IsCorrect("walrus")) << "round " << round;
        } else {
            EXPECT_EQ(readFile(userPath), damagedUser) << "round " << round;
        }
    }
    // Many mutations hit bytes that do not matter; those files still take words.
    EXPECT_GT(added, 20);
}

TEST(DamagedDictionary, CyclesEndlessRunsAndLinksPastTheAreaAreBounded)
{
    TempDir dir;
    const auto path = dir / "user.dct";
    // Every node links back to the first run: each prefix of vowels keeps the
    // phonetic key of the target, so only the walk's bounds end the search.
    std::vector<Node> cyclic;
    for (char c : std::string("AEIOUYHW"))
        cyclic.push_back({1, flags(c, W)});
    cyclic.back().flags |= L;
    writeFile(path, craft(8, 8, 8, cyclic));
    {
        TQnSpell spell;
        const int handle = spell.OpenUserDictionary(path.string());
        ASSERT_EQ(handle, 2);
        EXPECT_TRUE(spell.IsCorrect(std::string(10000, 'e'))); // walks the cycle once per letter
        EXPECT_LE(spell.Suggest("aeiouaeiou").size(), 10u);
        const std::string before = readFile(path);
        EXPECT_FALSE(spell.AddWord("eagle", handle)); // never written into a broken trie
        EXPECT_EQ(readFile(path), before);
    }

    // No node ends its run, and links point past the nodes in use or the file.
    writeFile(path, craft(4, 500, 2,
                          {{3, flags('C', 0)},
                           {400, flags('A', 0)},
                           {60000, flags('T', W)},
                           {2, flags('S', 0)}}));
    {
        TQnSpell spell;
        const int handle = spell.OpenUserDictionary(path.string());
        ASSERT_EQ(handle, 2);
        EXPECT_FALSE(spell.IsCorrect("cat"));
        spell.Suggest("cat");
        const std::string before = readFile(path);
        EXPECT_FALSE(spell.AddWord("cot", handle));
        EXPECT_EQ(readFile(path), before);
    }
}

TEST(DamagedDictionary, WrongCountsAreNeitherTrustedNorWrittenOver)
{
    TempDir dir;
    const auto path = dir / "user.dct";
    const std::vector<Node> cat = {{2, flags('C', L)}, {3, flags('A', L)}, {0, flags('T', L | W)}};
    struct Case {
        int32_t count, slots;
        bool findsCat;
    };
    const Case cases[] = {
        {0x7FFFFFFF, 3, true}, // more nodes than slots: the slots bound the reading
        {3, -1, false},        // a negative area
        {3, 0x7FFFFFFF, true}, // an area far past the end of the file
        {-5, 3, false},        // a negative count
        {2, 3, false},         // too small a count hides the last node
        {3, 3, true},          // sound
    };
    for (const Case &c : cases) {
        writeFile(path, craft(c.count, c.slots, -1, cat));
        TQnSpell spell;
        const int handle = spell.OpenUserDictionary(path.string());
        ASSERT_EQ(handle, 2);
        EXPECT_EQ(spell.IsCorrect("cat"), c.findsCat) << c.count << " " << c.slots;
        exercise(spell);
        const std::string before = readFile(path);
        const bool added = spell.AddWord("cot", handle);
        if (added) {
            EXPECT_TRUE(spell.IsCorrect("cot"));
            EXPECT_TRUE(spell.IsCorrect("cat"));
        } else {
            EXPECT_EQ(readFile(path), before) << c.count << " " << c.slots;
        }
        // Only a header that describes the nodes may be written to.
        EXPECT_EQ(added, c.count == 3 && c.slots == 3) << c.count << " " << c.slots;
    }
}

TEST(DamagedDictionary, AnEmptySectionAndAShortHeader)
{
    TempDir dir;
    const auto path = dir / "user.dct";
    writeFile(path, craft(0, 0, 0, {}));
    TQnSpell spell;
    int handle = spell.OpenUserDictionary(path.string());
    ASSERT_EQ(handle, 2);
    EXPECT_FALSE(spell.IsCorrect("to"));
    EXPECT_TRUE(spell.AddWord("to", handle)); // the area grows from nothing
    EXPECT_TRUE(spell.IsCorrect("to"));
    spell.CloseDictionaries();

    writeFile(path, spell::UserDictionaryText() + std::string(16, '\0'));
    EXPECT_EQ(spell.OpenUserDictionary(path.string()), -1);
}
