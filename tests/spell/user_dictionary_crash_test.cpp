// Adding a word to the user dictionary when the program dies at any step:
// the next open reads the dictionary with every earlier word, and the word
// being added is either all there or not there at all.
#include "spell/dictionary_journal.h"
#include "spell/qnspell.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace qn;
using namespace qn::test;

namespace {

const std::vector<std::string> kEarlier = {"quillnook", "diarist",  "zebu",
                                           "aardvark",  "mnemonic", "quill"};

// The dictionary opens and knows exactly the earlier words, and `word` when `added`.
void expectSound(const std::filesystem::path &path, const std::string &word, bool added)
{
    TQnSpell spell;
    const int handle = spell.OpenUserDictionary(path.string());
    ASSERT_GT(handle, 0);
    for (const std::string &w : kEarlier)
        EXPECT_TRUE(spell.IsCorrect(w)) << w;
    EXPECT_EQ(spell.IsCorrect(word), added) << word;
    EXPECT_FALSE(spell.IsCorrect("quillnoo"));
    EXPECT_FALSE(std::filesystem::exists(spell::JournalPathFor(path.string())));
    // It takes words again.
    EXPECT_TRUE(spell.AddWord("afterwards", handle));
    EXPECT_TRUE(spell.IsCorrect("afterwards"));
}

} // namespace

TEST(UserDictionaryCrash, AddingAWordSurvivesACrashAtEveryStep)
{
    TempDir dir;
    const auto path = dir / "quillnku.dct";
    {
        TQnSpell spell;
        ASSERT_GT(spell.CreateUserDictionary(path.string(), kEarlier), 0);
    }
    const std::string original = readFile(path);

    // How many changing operations one addition takes.
    long steps = 0;
    {
        FaultFileSystem fs;
        TQnSpell spell(fs);
        const int handle = spell.OpenUserDictionary(path.string());
        const long before = fs.counted();
        // "quilted" shares a prefix, so nodes move and child links change.
        ASSERT_TRUE(spell.AddWord("quilted", handle));
        steps = fs.counted() - before;
    }
    ASSERT_GE(steps, 4) << "journal write and sync, dictionary write and sync at least";

    bool sawRollback = false;
    for (long k = 0; k < steps; ++k) {
        SCOPED_TRACE(k);
        std::filesystem::remove(path);
        writeFile(path, original);
        {
            FaultFileSystem fs;
            TQnSpell spell(fs);
            const int handle = spell.OpenUserDictionary(path.string());
            ASSERT_GT(handle, 0);
            fs.crashAfter(k);
            EXPECT_THROW(spell.AddWord("quilted", handle), SimulatedCrash);
        }
        const bool hot = std::filesystem::exists(spell::JournalPathFor(path.string()));
        const bool changed = readFile(path) != original;
        sawRollback = sawRollback || (hot && changed);
        // Before the journal is gone the word may not count as added.
        expectSound(path, "quilted", !hot && changed);
    }
    EXPECT_TRUE(sawRollback) << "some crash left a changed dictionary for the journal to undo";
}

TEST(UserDictionaryCrash, AJournalCutShortIsDroppedAndAWholeOneRestores)
{
    TempDir dir;
    const auto path = dir / "quillnku.dct";
    {
        TQnSpell spell;
        ASSERT_GT(spell.CreateUserDictionary(path.string(), kEarlier), 0);
    }
    const std::string original = readFile(path);
    FileSystem &fs = DefaultFileSystem();

    // A journal that the crash cut short: the dictionary was not touched yet.
    ASSERT_TRUE(spell::BeginDictionaryChange(fs, path.string(), original));
    const std::string journal = readFile(spell::JournalPathFor(path.string()));
    writeFile(spell::JournalPathFor(path.string()), journal.substr(0, journal.size() - 3));
    EXPECT_EQ(spell::RecoverDictionary(fs, path.string()), spell::JournalRecovery::Discarded);
    EXPECT_EQ(readFile(path), original);

    // A whole journal and a dictionary garbled half way through a change.
    ASSERT_TRUE(spell::BeginDictionaryChange(fs, path.string(), original));
    std::string garbled = original;
    for (size_t i = garbled.size() / 2; i < garbled.size(); ++i)
        garbled[i] = '\xFF';
    garbled += std::string(100, '\x01');
    std::filesystem::remove(path);
    writeFile(path, garbled);
    expectSound(path, "quilted", false);
}
