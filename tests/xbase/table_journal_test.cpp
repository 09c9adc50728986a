// Every commit of single-record changes is atomic and durable: stopped at
// any write, sync, truncate or rename, the next open finds the table wholly
// as it was before the commit or wholly as after it, with clean tags.

#include "xbase/journal.h"
#include "xbase/table.h"
#include "xbase/table_cipher.h"
#include "xbase/xbase_error.h"

#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn::xbase;
using qn::test::FaultFileSystem;
using qn::test::SimulatedCrash;
using qn::test::TempDir;
namespace fs = std::filesystem;

namespace {

using Content = std::vector<std::string>;

std::string dateOf(int i)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 2000 + i / 336, 1 + i / 28 % 12, 1 + i % 28);
    return date;
}

std::string entryOf(int i, size_t length)
{
    std::string text = "{\\rtf1 entry " + std::to_string(i) + " ";
    while (text.size() < length)
        text += "words of the day " + std::to_string(i * 7 % 13) + " ";
    return text + "}";
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
        settings.fileSystem = &faults;
    }

    fs::path path() const { return dir / "QUILLNK.DBF"; }
    std::unique_ptr<Table> open()
    {
        return Table::open(path(), Table::Access::Exclusive, settings);
    }

    // n entries, every fifth deleted; a date tag and a long text tag (few
    // keys per node, so that commits split and merge nodes).
    void makeTable(int n, const std::string &password)
    {
        Table::create(path(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
        settings.password = password;
        auto t = open();
        for (int i = 0; i < n; ++i) {
            t->appendBlank();
            t->replaceText(0, dateOf(i * 3));
            t->replaceMemo(1, entryOf(i, 100 + size_t(i * 37 % 400)));
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->indexTag({}, "TEXT", "LEFT(UPPER(entry), 80)", false, false, {});
        for (int i = 5; i <= n; i += 5) {
            t->go(uint32_t(i));
            t->deleteRecord();
        }
        if (!password.empty())
            t->encrypt();
        t->close();
    }

    static Content content(Table &t)
    {
        Content c;
        t.setOrder(0);
        for (uint32_t r = 1; r <= t.recordCount(); ++r) {
            t.go(r);
            c.push_back(std::string(t.deleted() ? "*" : " ") + t.text(0) + "|" + t.memo(1));
        }
        return c;
    }

    std::map<std::string, std::string> allFiles()
    {
        std::map<std::string, std::string> m;
        for (const auto &e : fs::directory_iterator(dir.path()))
            m[e.path().filename().string()] = qn::test::readFile(e.path());
        return m;
    }
    void restore(const std::map<std::string, std::string> &files)
    {
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        for (const auto &[name, bytes] : files)
            qn::test::writeFile(dir / name, bytes);
    }

    // Runs the change (one commit) stopped at every changing file operation
    // in turn, and checks what the next open finds.
    void crashLoop(const std::function<void(Table &)> &change)
    {
        const auto start = allFiles();
        Content oldContent, newContent;
        {
            auto t = open();
            oldContent = content(*t);
            change(*t);
            t->commit();
            newContent = content(*t);
            EXPECT_TRUE(t->checkIndexes().empty());
        }
        ASSERT_NE(oldContent, newContent);
        bool completed = false;
        int sawOld = 0, sawNew = 0, recovered = 0;
        for (long n = 0; !completed && n < 2000; ++n) {
            SCOPED_TRACE(n);
            restore(start);
            {
                auto t = open();
                faults.crashAfter(n);
                try {
                    change(*t);
                    t->commit();
                    completed = true;
                } catch (const SimulatedCrash &) {
                }
                t.reset(); // still crashed: nothing more reaches the files
                faults.crashAfter(-1);
            }
            auto t = open();
            recovered += t->recoveredUnfinishedSave();
            Content now = content(*t);
            bool isNew = now == newContent;
            EXPECT_TRUE(isNew || now == oldContent) << "a mix of old and new after a stop";
            (isNew ? sawNew : sawOld)++;
            std::vector<std::string> faultsFound = t->checkIndexes();
            EXPECT_TRUE(faultsFound.empty()) << faultsFound.front();
            t->close();
            EXPECT_EQ(Journal::state(qn::DefaultFileSystem(), path()), Journal::State::Missing);
        }
        EXPECT_TRUE(completed);
        EXPECT_GT(sawOld, 5);
        EXPECT_GT(recovered, 2); // stops between the journal and the commit point were rolled back
        EXPECT_GE(sawNew, 2);    // after the commit point the new table stays
    }

    TempDir dir;
    FaultFileSystem faults;
    EngineSettings settings;
};

void appendMany(Table &t)
{
    for (int i = 0; i < 30; ++i) {
        t.appendBlank();
        t.replaceText(0, dateOf(i * 5 + 1)); // between the existing keys
        t.replaceMemo(1, entryOf(1000 + i, 300));
    }
}

void replaceMany(Table &t, size_t length)
{
    for (uint32_t r = 2; r <= 60; r += 2) {
        t.go(r);
        t.replaceText(0, dateOf(int(r) * 3 + 200)); // keys move to other nodes
        t.replaceMemo(1, entryOf(int(r) + 500, length));
    }
}

void deleteMany(Table &t)
{
    for (uint32_t r = 1; r <= 60; r += 3) {
        t.go(r);
        t.deleteRecord();
    }
}

void recallAll(Table &t)
{
    for (uint32_t r = 5; r <= t.recordCount(); r += 5) {
        t.go(r);
        t.recallRecord();
    }
}

} // namespace

TEST_F(JournalTest, InterruptedCommitsOfAClearTableLeaveTheOldOrTheNewTable)
{
    makeTable(80, "");
    const auto start = allFiles();
    for (const auto &[name, change] :
         std::vector<std::pair<const char *, std::function<void(Table &)>>>{
             {"append", appendMany},
             {"replace, growing memos", [](Table &t) { replaceMany(t, 900); }},
             {"replace, shrinking memos", [](Table &t) { replaceMany(t, 20); }},
             {"delete", deleteMany},
             {"recall", recallAll}}) {
        SCOPED_TRACE(name);
        restore(start);
        crashLoop(change);
    }
}

TEST_F(JournalTest, InterruptedCommitsOfAnEncryptedTableLeaveTheOldOrTheNewTable)
{
    makeTable(60, "pass word");
    // Its pages go through the cipher, and every commit writes its tag anew.
    ASSERT_EQ(CdxIndex::protectionOf(dir / "QUILLNK.CDX"), CdxIndex::Protection::Authenticated);
    const auto start = allFiles();
    for (const auto &[name, change] :
         std::vector<std::pair<const char *, std::function<void(Table &)>>>{
             {"append", appendMany},
             {"replace", [](Table &t) { replaceMany(t, 700); }},
             {"delete", deleteMany}}) {
        SCOPED_TRACE(name);
        restore(start);
        crashLoop(change);
    }
}

// The journal holds no text of an encrypted table in the clear.
TEST_F(JournalTest, JournalOfAnEncryptedTableHoldsOnlyStoredBytes)
{
    makeTable(20, "pw");
    auto t = open();
    t->go(1);
    t->replaceText(0, "20980101");
    t->commit(); // the journal file exists from now on
    t->go(3);
    t->replaceMemo(1, "a new secret text");
    t->replaceText(0, "20991231");
    try {
        t->go(4);
        faults.crashAfter(2); // the journal and its sync, then stop
        t->commit();
    } catch (const SimulatedCrash &) {
    }
    t.reset();
    faults.crashAfter(-1);
    ASSERT_EQ(Journal::state(qn::DefaultFileSystem(), path()), Journal::State::Hot);
    std::string journal = qn::test::readFile(Journal::pathFor(path()));
    EXPECT_EQ(journal.find("words of the day"), std::string::npos);
    EXPECT_TRUE(Table::hasHotJournal(path(), settings));
    EXPECT_TRUE(Table::recover(path(), settings));
    EXPECT_FALSE(Table::hasHotJournal(path(), settings));
    t = open();
    EXPECT_FALSE(t->recoveredUnfinishedSave());
    t->go(3);
    EXPECT_NE(t->memo(1), "a new secret text");
    EXPECT_TRUE(t->checkIndexes().empty());
}

// A journal that was not completely written is discarded: nothing of the
// table had been overwritten yet.
TEST_F(JournalTest, IncompleteJournalsAreDiscardedAndDamagedOnesNeverApplied)
{
    makeTable(20, "");
    Content before;
    {
        auto t = open();
        t->go(1);
        t->replaceText(0, "20980101");
        t->commit(); // the journal file exists from now on
        before = content(*t);
        t->go(2);
        t->replaceText(0, "20991231");
        t->go(3);
        faults.crashAfter(2); // the journal and its sync, then stop
        try {
            t->commit();
        } catch (const SimulatedCrash &) {
        }
        t.reset();
        faults.crashAfter(-1);
    }
    const std::string hot = qn::test::readFile(Journal::pathFor(path()));
    ASSERT_EQ(Journal::state(qn::DefaultFileSystem(), path()), Journal::State::Hot);
    const auto files = allFiles();
    for (size_t cut : {size_t(4), size_t(30), hot.size() / 2, hot.size() - 1}) {
        SCOPED_TRACE(cut);
        restore(files);
        qn::test::writeFile(Journal::pathFor(path()), hot.substr(0, cut));
        auto t = open();
        EXPECT_FALSE(t->recoveredUnfinishedSave());
        EXPECT_EQ(content(*t), before);
        t->close();
        EXPECT_FALSE(fs::exists(Journal::pathFor(path())));
    }
    // One flipped byte in a record: its checksum fails and the journal is not applied.
    restore(files);
    std::string damaged = hot;
    damaged[damaged.size() - 6] ^= 0x40;
    qn::test::writeFile(Journal::pathFor(path()), damaged);
    EXPECT_EQ(Journal::state(qn::DefaultFileSystem(), path()), Journal::State::Cold);
}

// Bytes beyond the last record (an append whose count never reached the
// header) are ignored and cut at the next commit.
TEST_F(JournalTest, BytesBeyondTheLastRecordAreIgnoredAndCut)
{
    makeTable(10, "");
    const uintmax_t size = fs::file_size(path());
    {
        std::string bytes = qn::test::readFile(path());
        bytes += std::string(45, 'Z');
        qn::test::writeFile(path(), bytes);
    }
    auto t = open();
    EXPECT_EQ(t->recordCount(), 10u);
    t->go(1);
    t->replaceText(0, "20991231");
    t->commit();
    EXPECT_EQ(fs::file_size(path()), size);
    EXPECT_TRUE(t->checkIndexes().empty());
}

// Shared mode: the journal belongs to the writer holding the table lock; a
// second opener waits for that writer rather than read a half save, and the
// half save of a writer that died is undone by the next opener.
TEST_F(JournalTest, SharedOpenersUndoTheSaveOfAWriterThatDiedAndWaitForALiveOne)
{
    makeTable(20, "");
    Content before;
    {
        auto t = open();
        before = content(*t);
    }
    auto survivor = Table::open(path(), Table::Access::Shared, settings);
    auto dying = Table::open(path(), Table::Access::Shared, settings);
    dying->go(3);
    dying->replaceText(0, "20991231");
    faults.crashAfter(5); // journal made, written and synced, one write: half a save
    EXPECT_THROW(dying->go(4), SimulatedCrash);
    faults.crashAfter(-1);
    ASSERT_EQ(Journal::state(qn::DefaultFileSystem(), path()), Journal::State::Hot);
    {
        // While a writer holds the table lock its journal is its own: others wait.
        BinaryFile writer(path(), BinaryFile::Mode::ReadWrite);
        ASSERT_TRUE(writer.tryLockRange(0x40000000ull, 1));
        settings.lockTimeoutSeconds = 0;
        EXPECT_THROW(Table::open(path(), Table::Access::Shared, settings), XbaseError);
        settings.lockTimeoutSeconds = 1;
    }
    {
        auto next = Table::open(path(), Table::Access::Shared, settings);
        EXPECT_TRUE(next->recoveredUnfinishedSave());
        EXPECT_EQ(content(*next), before);
    }
    EXPECT_THROW(dying->replaceText(0, "20990202"),
                 XbaseError); // its save failed: it writes no more
    dying.reset();
    survivor->go(5);
    survivor->replaceText(0, "20990101");
    survivor->go(6);
    survivor->close();
    auto t = open();
    Content expected = before;
    expected[4].replace(1, 8, "20990101");
    EXPECT_EQ(content(*t), expected);
    EXPECT_TRUE(t->checkIndexes().empty());
}

// A child process writes one commit after another and is killed at a random
// moment, again and again; every time the table opens whole.
TEST_F(JournalTest, KilledWritersLeaveWholeTables)
{
    makeTable(30, "");
    settings.fileSystem = nullptr;
    std::mt19937 random(7);
    int killedMidway = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                auto t = open();
                for (int i = 0;; ++i) {
                    t->appendBlank();
                    t->replaceText(0, dateOf(5000 + round * 1000 + i));
                    t->replaceMemo(1, entryOf(round * 1000 + i, 200 + size_t(i % 5) * 400));
                    t->go(uint32_t(1 + i % 20));
                    t->replaceText(0, dateOf(9000 + round * 1000 + i));
                    t->commit();
                }
            } catch (...) {
            }
            _exit(3);
        }
        usleep(useconds_t(20000 + random() % 150000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        killedMidway += WIFSIGNALED(status);
        auto t = open();
        std::vector<std::string> found = t->checkIndexes();
        EXPECT_TRUE(found.empty()) << found.front();
        // Every record's memo belongs to it: no record points at a memo of a save that was undone.
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            t->go(r);
            ASSERT_EQ(t->memo(1).rfind("{\\rtf1 entry ", 0), 0u) << r;
        }
        t->close();
    }
    EXPECT_GT(killedMidway, 8);
}
