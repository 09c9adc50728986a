#include "xbase/cdx_index.h"
#include "xbase/file_switch.h"
#include "xbase/table.h"
#include "xbase/table_cipher.h"
#include "xbase/xbase_date.h"
#include "xbase/xbase_error.h"

#include "tests/support/earlier_index.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

using namespace qn::xbase;
using qn::test::TempDir;
namespace fs = std::filesystem;

namespace {

// What a table holds: per record its deletion flag, DATE and ENTRY.
using Content = std::vector<std::string>;

class ProtectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
        settings.fileSystem = &faults;
    }

    fs::path path() const { return dir / "QUILLNK.DBF"; }

    // A diary of n days, every third deleted, each entry rewritten once so
    // that the memo file holds stale texts too; tag DATE.
    void makeDiary(int n)
    {
        Table::create(path(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
        auto t = open();
        for (int i = 0; i < n; ++i) {
            t->appendBlank();
            char date[16];
            std::snprintf(date, sizeof date, "2026%02d%02d", 1 + i / 28, 1 + i % 28);
            t->replaceText(0, date);
            t->replaceMemo(1, "old text " + std::to_string(i));
            t->replaceMemo(1, "{\\rtf1 secret entry number " + std::to_string(i) +
                                  std::string(size_t(i * 37 % 300), 'x') + "}");
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        for (int i = 3; i <= n; i += 3) {
            t->go(uint32_t(i));
            t->deleteRecord();
        }
        t->close();
    }

    // The three rewrites that upgrade older forms: a re-key under the same
    // password, a change of key (to "pw2"), a pack.
    void rewriteBy(const std::string &how, Table &t)
    {
        if (how == "re-key")
            t.encrypt();
        else if (how == "change key")
            t.changeKey("pw2", [this] { settings.password = "pw2"; });
        else
            t.pack();
    }

    std::unique_ptr<Table> open()
    {
        return Table::open(path(), Table::Access::Exclusive, settings);
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

    static Content packed(const Content &c)
    {
        Content p;
        for (const std::string &s : c)
            if (s[0] != '*')
                p.push_back(s);
        return p;
    }

    std::string fileBytes(const std::string &name) { return qn::test::readFile(dir / name); }

    // Rewrites the encrypted table as earlier versions wrote it: records
    // without their tag column, memos sealed without tags (`sealedMemos`) or
    // with only their texts encrypted. Memos stay at their blocks.
    void toEarlierForm(const std::string &password, bool sealedMemos)
    {
        auto t = open();
        ASSERT_TRUE(t->dbf().tagged());
        const KeyBlock block = *t->dbf().keyBlock();
        TableCipher cipher(password, block.salt, block.derivation);
        const size_t length = t->dbf().recordLength(), header = t->dbf().headerLength();
        const size_t shorter = length - TableCipher::TagSize;
        std::string table = fileBytes("QUILLNK.DBF");
        std::string out = table.substr(0, header);
        out[32 + t->fields().size() * 32] = 0x0D; // over the tag column's descriptor
        out[10] = char(shorter & 0xFF);
        out[11] = char(shorter >> 8);
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            std::string record = table.substr(header + (r - 1) * length, length);
            auto *bytes = reinterpret_cast<uint8_t *>(record.data());
            cipher.decrypt(TableCipher::Domain::Record, r, bytes + 1, length - 1);
            cipher.encrypt(TableCipher::Domain::Record, r, bytes + 1, shorter - 1);
            out += record.substr(0, shorter);
        }
        out += '\x1A';
        std::string memo = fileBytes("QUILLNK.FPT");
        block.writeMemoMark(reinterpret_cast<uint8_t *>(memo.data()) + KeyBlock::MemoMarkOffset,
                            sealedMemos, false);
        const FieldInfo &entry = t->field(1);
        const uint32_t size = t->memoFile()->blockSize();
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            t->go(r);
            uint32_t at = uint32_t(std::stoul(std::string(t->buffer() + entry.offset, 10)));
            std::string text = t->memo(1);
            std::string old(MemoFile::span(text.size(), size, sealedMemos), '\0');
            MemoFile::encode(text, at, size, &cipher, sealedMemos, false,
                             reinterpret_cast<uint8_t *>(old.data()));
            memo.replace(size_t(at) * size, old.size(), old);
        }
        t->close();
        qn::test::writeFile(dir / "QUILLNK.DBF", out);
        qn::test::writeFile(dir / "QUILLNK.FPT", memo);
    }
    // Rewrites the encrypted table's index as earlier versions wrote it:
    // its pages encrypted under the tweaks of that form, no tag.
    void toEarlierIndex(const std::string &password)
    {
        KeyBlock block;
        {
            auto t = open();
            block = *t->dbf().keyBlock();
        }
        TableCipher cipher(password, block.salt, block.derivation);
        std::string index = fileBytes("QUILLNK.CDX");
        qn::test::ToEarlierIndexForm(index, cipher, block);
        qn::test::writeFile(dir / "QUILLNK.CDX", index);
    }

    void interruptTagBuild();

    std::map<std::string, std::string> allFiles()
    {
        std::map<std::string, std::string> m;
        for (const auto &e : fs::directory_iterator(dir.path()))
            m[e.path().filename().string()] = qn::test::readFile(e.path());
        return m;
    }

    TempDir dir;
    qn::test::FaultFileSystem faults;
    EngineSettings settings;
};

} // namespace

TEST_F(ProtectionTest, EncryptedTableHidesTextsAndReadsBackUnderItsPassword)
{
    makeDiary(20);
    auto t = open();
    Content before = content(*t);
    settings.password = "Secret 1";
    t->encrypt();
    EXPECT_TRUE(t->encrypted());
    EXPECT_EQ(content(*t), before);
    EXPECT_TRUE(t->checkIndexes().empty());
    t->setOrder(1);
    EXPECT_TRUE(t->seek("20260105"));
    EXPECT_EQ(t->text(0), "20260105");
    // New writes go under the key too.
    t->appendBlank();
    t->replaceText(0, "20261231");
    t->replaceMemo(1, "written while encrypted");
    t->close();

    for (const char *file : {"QUILLNK.DBF", "QUILLNK.FPT"}) {
        std::string bytes = fileBytes(file);
        EXPECT_EQ(bytes.find("secret entry"), std::string::npos) << file;
        EXPECT_EQ(bytes.find("old text"), std::string::npos) << file; // stale texts are gone
        EXPECT_EQ(bytes.find("written while"), std::string::npos) << file;
        EXPECT_EQ(bytes.find("202601"), std::string::npos) << file;
    }
    // The index is encrypted too: without the table's key it does not open.
    EXPECT_TRUE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
    EXPECT_THROW(CdxIndex::open(dir / "QUILLNK.CDX", false), XbaseError);
    EXPECT_EQ(fileBytes("QUILLNK.CDX").find("202601"), std::string::npos);

    t = open();
    Content after = content(*t);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back(), " 20261231|written while encrypted");
    t->decrypt();
    EXPECT_FALSE(t->encrypted());
    t->close();
    EXPECT_NE(fileBytes("QUILLNK.FPT").find("written while encrypted"), std::string::npos);
    EXPECT_EQ(fileBytes("QUILLNK.DBF")[15], 0);
    EXPECT_FALSE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
    settings.password.clear();
    t = open();
    EXPECT_EQ(content(*t), after);
}

TEST_F(ProtectionTest, WrongOrMissingPasswordReadsAndWritesNothing)
{
    makeDiary(9);
    settings.password = "right";
    {
        auto t = open();
        t->encrypt();
    }
    auto files = allFiles();
    for (const char *wrong : {"", "wrong", "Right"}) {
        settings.password = wrong;
        auto t = open(); // opens, so that a password can still be given
        EXPECT_FALSE(t->recordCount() == 0);
        EXPECT_THROW(t->go(1), PasswordError) << wrong;
        EXPECT_THROW(t->appendBlank(), PasswordError) << wrong;
        EXPECT_THROW(t->pack(), PasswordError) << wrong;
        EXPECT_THROW(t->decrypt(), PasswordError) << wrong;
        if (*wrong) {
            EXPECT_THROW(t->encrypt(), PasswordError) << wrong; // never a second key
        }
        EXPECT_THROW(t->indexTag({}, "DATE2", "date", false, false, {}), PasswordError) << wrong;
        EXPECT_THROW(t->changeKey("other", [] {}), PasswordError) << wrong;
        EXPECT_THROW(t->changeKey("", [] {}), PasswordError) << wrong;
        EXPECT_FALSE(t->keyFits()) << wrong;
        // The right password given later makes the open table usable.
        settings.password = "right";
        t->go(2);
        EXPECT_EQ(t->text(0), "20260102");
        settings.password = wrong;
        EXPECT_THROW(t->go(1), PasswordError);
        t->close();
        EXPECT_EQ(allFiles(), files) << wrong;
    }
}

TEST_F(ProtectionTest, ChangingTheKeyRewritesUnderTheNewPasswordOnly)
{
    makeDiary(10);
    settings.password = "old one";
    Content before;
    {
        auto t = open();
        t->encrypt();
        before = content(*t);
        // The same password with a current key: nothing is rewritten.
        auto files = allFiles();
        t->changeKey("old one", [] { FAIL() << "nothing to switch"; });
        EXPECT_EQ(allFiles(), files);
        const uint64_t derived = TableCipher::derivationCount();
        t->changeKey("New 2", [this] { settings.password = "New 2"; });
        // The reopened table keeps the key made for the rewrite.
        EXPECT_EQ(content(*t), before);
        EXPECT_EQ(TableCipher::derivationCount(), derived + 1);
        EXPECT_TRUE(t->keyFits());
    }
    for (const auto &[name, bytes] : allFiles())
        EXPECT_EQ(bytes.find("secret entry"), std::string::npos) << name;
    settings.password = "old one";
    {
        auto t = open();
        EXPECT_TRUE(t->encrypted());
        EXPECT_FALSE(t->keyFits());
        EXPECT_THROW(t->go(1), PasswordError);
    }
    settings.password = "New 2";
    auto t = open();
    EXPECT_TRUE(t->keyFits());
    EXPECT_EQ(content(*t), before);
    EXPECT_TRUE(t->checkIndexes().empty());
    t->changeKey("", [this] { settings.password.clear(); });
    EXPECT_FALSE(t->encrypted());
    EXPECT_EQ(content(*t), before);
}

TEST_F(ProtectionTest, MemoFileOfAnotherKeyIsRefused)
{
    makeDiary(4);
    fs::copy_file(dir / "QUILLNK.FPT", dir / "clear.fpt");
    settings.password = "one";
    open()->encrypt();
    fs::copy_file(dir / "clear.fpt", dir / "QUILLNK.FPT", fs::copy_options::overwrite_existing);
    EXPECT_THROW(open(), XbaseError);
}

TEST_F(ProtectionTest, PackDropsDeletedRecordsCompactsMemosAndRebuildsTags)
{
    makeDiary(30);
    auto t = open();
    Content before = content(*t);
    uint64_t memoSize = fs::file_size(dir / "QUILLNK.FPT");
    t->openIndex("QUILLNK.CDX");
    t->pack();
    EXPECT_EQ(t->recordCount(), 20u);
    EXPECT_EQ(content(*t), packed(before));
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_LT(fs::file_size(dir / "QUILLNK.FPT"), memoSize / 2);
    EXPECT_EQ(fileBytes("QUILLNK.FPT").find("old text"), std::string::npos);
    t->setOrder(1);
    EXPECT_TRUE(t->seek("20260128"));
    EXPECT_EQ(t->recno(), 19u);
    t->close();
    EXPECT_TRUE(open()->checkIndexes().empty());
}

TEST_F(ProtectionTest, PackRebuildsAClosedProductionIndexAndKeepsTheKey)
{
    makeDiary(12);
    settings.password = "pw";
    auto t = open();
    Content before = content(*t);
    t->encrypt();
    t->closeIndexes();
    t->pack();
    EXPECT_TRUE(t->encrypted());
    EXPECT_EQ(content(*t), packed(before));
    t->close();
    t = open();
    EXPECT_EQ(t->tagCount(), 1);
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_EQ(fileBytes("QUILLNK.FPT").find("secret"), std::string::npos);
}

TEST_F(ProtectionTest, ProgressRisesToTheEndOfEachRun)
{
    makeDiary(40);
    std::vector<int> seen;
    settings.progress = [&](int v) { seen.push_back(v); };
    settings.password = "pw";
    auto t = open();
    auto rising = [&](int last) {
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), last);
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_GT(seen[i], seen[i - 1]);
        seen.clear();
    };
    t->encrypt();
    rising(100);
    t->pack();
    rising(100);
    t->decrypt();
    rising(100);
    t->indexTag({}, "DATE", "date", false, false, {});
    rising(400);
}

// Interrupts the run after every possible number of writes, then opens the
// table as the next start would: it must hold exactly the old or exactly the
// new content, with consistent tags, and no leftovers of the run.
TEST_F(ProtectionTest, InterruptedRunsLeaveTheOldOrTheNewTable)
{
    struct Case {
        const char *name;
        std::string oldPassword, newPassword;
        std::function<void(Table &, EngineSettings &)> run;
        bool packs;
        KeyDerivation oldKey = KeyDerivation::argon2id(64, 1, 1);
    };
    const std::vector<Case> cases = {
        {"encrypt", "", "pw", [](Table &t, EngineSettings &) { t.encrypt(); }, false},
        {"decrypt", "pw", "", [](Table &t, EngineSettings &) { t.decrypt(); }, false},
        {"pack", "pw", "pw", [](Table &t, EngineSettings &) { t.pack(); }, true},
        {"pack clear", "", "", [](Table &t, EngineSettings &) { t.pack(); }, true},
        {"re-key", "pw", "pw", [](Table &t, EngineSettings &) { t.encrypt(); }, false,
         KeyDerivation::pbkdf2(64)},
        {"change key", "pw", "new pw",
         [](Table &t, EngineSettings &s) {
             t.changeKey("new pw", [&s] { s.password = "new pw"; });
         },
         false},
        {"change key to clear", "pw", "",
         [](Table &t, EngineSettings &s) { t.changeKey("", [&s] { s.password.clear(); }); }, false},
        {"change key from clear", "", "pw",
         [](Table &t, EngineSettings &s) { t.changeKey("pw", [&s] { s.password = "pw"; }); },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        makeDiary(12);
        Content oldContent;
        settings.password = c.oldPassword;
        {
            settings.newKeyDerivation = c.oldKey;
            auto t = open();
            if (!c.oldPassword.empty())
                t->encrypt();
            oldContent = content(*t);
            settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
        }
        const Content newContent = c.packs ? packed(oldContent) : oldContent;
        const auto start = allFiles();
        bool completed = false;
        int sawOld = 0, sawNew = 0, rolledForward = 0;
        for (long n = 0; !completed && n < 500; ++n) {
            SCOPED_TRACE(n);
            for (auto &e : fs::directory_iterator(dir.path()))
                fs::remove(e.path());
            for (const auto &[name, bytes] : start)
                qn::test::writeFile(dir / name, bytes);
            {
                settings.password = c.oldPassword;
                auto t = open();
                t->openIndex("QUILLNK.CDX");
                settings.password =
                    c.name == std::string("encrypt") ? c.newPassword : c.oldPassword;
                faults.crashAfter(n);
                try {
                    c.run(*t, settings);
                    completed = true;
                } catch (const qn::test::SimulatedCrash &) {
                }
                t.reset(); // still "crashed": nothing more reaches the files
                faults.crashAfter(-1);
            }
            // Between two keys the texts never reach the disk in clear, not
            // even in a file left half written.
            if (!c.oldPassword.empty() && !c.newPassword.empty()) {
                for (const auto &[name, bytes] : allFiles())
                    EXPECT_EQ(bytes.find("secret entry"), std::string::npos) << name;
            }
            // The next start, with the password that fits the files.
            settings.password = c.newPassword;
            auto t = open();
            bool isNew =
                t->encrypted() == !c.newPassword.empty() && t->recordCount() == newContent.size() &&
                (!t->encrypted() ||
                 (t->keyFits() && t->dbf().keyBlock()->derivation == settings.newKeyDerivation));
            if (!isNew) {
                t.reset();
                settings.password = c.oldPassword;
                t = open();
            }
            EXPECT_EQ(content(*t), isNew ? newContent : oldContent);
            (isNew ? sawNew : sawOld)++;
            rolledForward += !completed && isNew;
            EXPECT_TRUE(t->checkIndexes().empty());
            t->close();
            for (auto &e : fs::directory_iterator(dir.path())) {
                std::string name = e.path().filename().string();
                EXPECT_TRUE(name.find(".new") == std::string::npos &&
                            name.find(".switch") == std::string::npos)
                    << name;
            }
        }
        EXPECT_TRUE(completed);
        EXPECT_GT(sawOld, 2);
        EXPECT_GT(rolledForward, 1); // crashes after the commit point are finished at open
    }
}

// A tag build replaces the whole index file in one switch: interrupted, the
// next open finds the old index (one tag) or the new one (two), never a
// damaged one; an encrypted index with the tag that fits it.
TEST_F(ProtectionTest, InterruptedTagBuildLeavesTheOldOrTheNewIndex)
{
    for (const char *password : {"", "pw"}) {
        SCOPED_TRACE(password);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        settings.password.clear();
        makeDiary(15);
        settings.password = password;
        if (!settings.password.empty())
            open()->encrypt();
        interruptTagBuild();
    }
}

void ProtectionTest::interruptTagBuild()
{
    const auto start = allFiles();
    bool completed = false;
    int sawOld = 0, sawNew = 0;
    for (long n = 0; !completed && n < 300; ++n) {
        SCOPED_TRACE(n);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        for (const auto &[name, bytes] : start)
            qn::test::writeFile(dir / name, bytes);
        {
            auto t = open();
            faults.crashAfter(n);
            try {
                t->indexTag({}, "TEXT", "LEFT(UPPER(entry), 30)", false, true, {});
                completed = true;
            } catch (const qn::test::SimulatedCrash &) {
            }
            t.reset();
            faults.crashAfter(-1);
        }
        auto t = open();
        ASSERT_TRUE(t->tagCount() == 1 || t->tagCount() == 2) << t->tagCount();
        (t->tagCount() == 2 ? sawNew : sawOld)++;
        EXPECT_TRUE(t->checkIndexes().empty());
        EXPECT_EQ(t->currentEncryption(), t->encrypted());
        EXPECT_FALSE(file_switch::pending(path()));
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(sawOld, 1);
    EXPECT_GT(sawNew, 1);
}

TEST_F(ProtectionTest, LeftoversAreRemovedOnlyByTheTablesSoleUser)
{
    makeDiary(5);
    Content before;
    {
        auto t = open();
        before = content(*t);
    }
    {
        // Somebody has the table open (perhaps packing it): the leftover may be
        // theirs and stays.
        auto holder = Table::open(path(), Table::Access::Shared, settings);
        qn::test::writeFile(dir / "QUILLNK.FPT.new", "half a memo file");
        auto reader = Table::open(path(), Table::Access::Shared, settings);
        EXPECT_EQ(content(*reader), before);
        EXPECT_TRUE(fs::exists(dir / "QUILLNK.FPT.new"));
    }
    auto t = open();
    EXPECT_FALSE(fs::exists(dir / "QUILLNK.FPT.new"));
    EXPECT_EQ(content(*t), before);
    t->close();

    // A damaged marker is never guessed at: the table does not open and
    // nothing is renamed or removed.
    qn::test::writeFile(dir / "QUILLNK.DBF.new", "new table");
    qn::test::writeFile(dir / "QUILLNK.DBF.switch", "QNSWITCH 1\nQUILLNK.DBF\n");
    auto files = allFiles();
    EXPECT_THROW(open(), XbaseError);
    EXPECT_EQ(allFiles(), files);
}

// The key block's fields, little-endian after "QNK2": memory in KiB at 4,
// passes at 40, lanes at 44.
TEST_F(ProtectionTest, DamagedKeyBlocksAreRefusedWithoutWaiting)
{
    makeDiary(3);
    settings.password = "pw";
    open()->encrypt();
    std::string bytes = fileBytes("QUILLNK.DBF");
    uint16_t headerLength = uint16_t(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8);
    size_t block = headerLength - KeyBlock::Size;
    ASSERT_EQ(bytes.substr(block, 4), "QNK2");
    auto withField = [&](const std::string &from, size_t at, uint32_t value) {
        std::string b = from;
        for (int i = 0; i < 4; ++i)
            b[block + at + size_t(i)] = char(uint8_t(value >> (8 * i)));
        return b;
    };
    std::string pbkdf2 = bytes;
    pbkdf2[block + 3] = '1';
    pbkdf2 = withField(withField(withField(pbkdf2, 40, 0), 44, 0), 4,
                       0xFFFFFFFF); // four billion iterations
    const std::vector<std::pair<const char *, std::string>> damaged = {
        {"memory 4 TiB", withField(bytes, 4, 0xFFFFFFFF)},
        {"memory just over 512 MiB", withField(bytes, 4, (1u << 19) + 1)},
        {"1 GiB and 100 passes", withField(withField(bytes, 4, 1u << 20), 40, 100)},
        {"512 MiB and 16 passes", withField(withField(bytes, 4, 1u << 19), 40, 16)},
        {"memory below 8 KiB a lane", withField(bytes, 4, 7)},
        {"17 passes", withField(bytes, 40, 17)},
        {"no passes", withField(bytes, 40, 0)},
        {"no lanes", withField(bytes, 44, 0)},
        {"5 lanes", withField(bytes, 44, 5)},
        {"a million lanes", withField(bytes, 44, 1000000)},
        {"PBKDF2, four billion iterations", pbkdf2},
        {"PBKDF2, 800,001 iterations", withField(pbkdf2, 4, 800001)},
    };
    for (const auto &[name, file] : damaged) {
        qn::test::writeFile(path(), file);
        uint64_t derived = TableCipher::derivationCount();
        try {
            open();
            ADD_FAILURE() << name << " opened";
        } catch (const XbaseError &e) {
            EXPECT_EQ(e.kind(), XbaseError::Kind::Damaged) << name << ": " << e.what();
        }
        EXPECT_EQ(TableCipher::derivationCount(), derived) << name;
        EXPECT_EQ(fileBytes("QUILLNK.DBF"), file) << name;
    }
    std::string unknown = bytes;
    unknown[block + 3] = '9'; // marked encrypted, but not by this engine
    qn::test::writeFile(path(), unknown);
    EXPECT_THROW(open(), XbaseError);
    qn::test::writeFile(path(), bytes);
    EXPECT_EQ(content(*open()).size(), 3u);
}

TEST_F(ProtectionTest, Argon2idKeyIsDerivedOncePerOpenAndChecked)
{
    makeDiary(12);
    settings.password = "right";
    settings.newKeyDerivation = KeyDerivation::argon2id(256, 2, 2);
    Content before;
    {
        auto t = open();
        before = content(*t);
        uint64_t derived = TableCipher::derivationCount();
        t->encrypt();
        t->go(2);
        t->replaceMemo(1, "changed after encryption");
        t->commit();
        before[1] = content(*t)[1];
        // One derivation for the new key, kept by the rewritten table.
        EXPECT_EQ(TableCipher::derivationCount(), derived + 1);
        EXPECT_EQ(t->dbf().keyBlock()->derivation, KeyDerivation::argon2id(256, 2, 2));
    }
    settings.newKeyDerivation =
        KeyDerivation::argon2id(64, 1, 1); // the stored cost counts, not this
    auto files = allFiles();
    {
        uint64_t derived = TableCipher::derivationCount();
        auto t = open();
        EXPECT_EQ(content(*t), before);
        t->setOrder(1);
        EXPECT_TRUE(t->seek("20260107"));
        t->pack();
        EXPECT_EQ(content(*t), packed(before));
        EXPECT_EQ(TableCipher::derivationCount(), derived + 1);
        EXPECT_EQ(t->dbf().keyBlock()->derivation, KeyDerivation::argon2id(256, 2, 2));
    }
    for (const auto &[name, file] : files)
        qn::test::writeFile(dir / name, file);
    ASSERT_EQ(allFiles(), files);
    settings.password = "wrong";
    {
        auto t = open();
        EXPECT_THROW(t->go(1), PasswordError);
        EXPECT_THROW(t->replaceMemo(1, "x"), PasswordError);
        EXPECT_THROW(t->encrypt(), PasswordError);
    }
    EXPECT_EQ(allFiles(), files);
}

TEST_F(ProtectionTest, Pbkdf2TableOpensAndTheNextEncryptionUpgradesIt)
{
    makeDiary(10);
    settings.password = "old key";
    settings.newKeyDerivation = KeyDerivation::pbkdf2(64); // as tables were encrypted before
    Content before;
    {
        auto t = open();
        before = content(*t);
        t->encrypt();
    }
    std::string bytes = fileBytes("QUILLNK.DBF");
    ASSERT_NE(bytes.find("QNK1"), std::string::npos);
    settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
    settings.password = "wrong";
    {
        auto t = open();
        EXPECT_THROW(t->encrypt(), PasswordError); // no upgrade without the right password
    }
    EXPECT_EQ(fileBytes("QUILLNK.DBF"), bytes);

    settings.password = "old key";
    {
        auto t = open();
        EXPECT_EQ(content(*t), before);
        EXPECT_EQ(t->dbf().keyBlock()->derivation, KeyDerivation::pbkdf2(64));
        t->encrypt(); // same password, new derivation
        EXPECT_EQ(t->dbf().keyBlock()->derivation, KeyDerivation::argon2id(64, 1, 1));
        EXPECT_EQ(content(*t), before);
        t->encrypt(); // already current: nothing to do
        EXPECT_TRUE(t->checkIndexes().empty());
    }
    std::string upgraded = fileBytes("QUILLNK.DBF");
    EXPECT_EQ(upgraded.find("QNK1"), std::string::npos);
    EXPECT_NE(upgraded.find("QNK2"), std::string::npos);
    EXPECT_EQ(content(*open()), before);

    // A password change (decrypt, encrypt under the new one) also writes Argon2id.
    settings.newKeyDerivation = KeyDerivation::pbkdf2(64);
    open()->decrypt();
    open()->encrypt();
    ASSERT_EQ(open()->dbf().keyBlock()->derivation.method, KeyDerivation::Method::Pbkdf2Sha256);
    settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
    open()->decrypt();
    settings.password = "new key";
    open()->encrypt();
    auto t = open();
    EXPECT_EQ(t->dbf().keyBlock()->derivation, KeyDerivation::argon2id(64, 1, 1));
    EXPECT_EQ(content(*t), before);
}

TEST_F(ProtectionTest, StandardCostIsStoredAndUsed)
{
    makeDiary(2);
    settings.newKeyDerivation = EngineSettings{}.newKeyDerivation;
    EXPECT_EQ(settings.newKeyDerivation, KeyDerivation::argon2id(131072, 4, 1));
    settings.password = "pw";
    Content before;
    {
        auto t = open();
        before = content(*t);
        t->encrypt();
    }
    std::string bytes = fileBytes("QUILLNK.DBF");
    uint16_t headerLength = uint16_t(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8);
    std::string block = bytes.substr(headerLength - KeyBlock::Size, KeyBlock::Size);
    EXPECT_EQ(block.substr(0, 8), std::string("QNK2\x00\x00\x02\x00", 8)); // 131072 KiB
    EXPECT_EQ(block.substr(40, 8), std::string("\x04\x00\x00\x00\x01\x00\x00\x00", 8));
    EXPECT_EQ(content(*open()), before);
}

namespace {

// Every form in which an index could show the date: as stored, as a number
// (VAL of the stored text) and as the Julian day of a date key.
std::vector<std::string> dateForms(const std::string &stored)
{
    CalendarDate d = *parseStoredDate(stored);
    return {stored, cdxNumericKey(std::stod(stored)), cdxNumericKey(double(julianDay(d)))};
}

std::string storedDayOf(int i)
{
    return storedDate(fromJulianDay(julianDay({2024, 1, 1}) + i * 3));
}

} // namespace

// Seeks, walks, updates and rebuilds work on an encrypted index, and no
// file shows a date in any form.
TEST_F(ProtectionTest, EncryptedIndexShowsNoDateAndWorksAsBefore)
{
    const int n = 400; // several levels of nodes in every tag
    std::vector<std::string> dates;
    auto build = [&](const std::string &password) {
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        dates.clear();
        Table::create(path(),
                      {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}, {"DAY", 'D', 8, 0, 0}}, 1);
        settings.password = password;
        auto t = open();
        auto add = [&](int day) {
            dates.push_back(storedDayOf(day));
            t->appendBlank();
            t->replaceText(0, dates.back());
            t->replaceDate(2, parseStoredDate(dates.back()));
        };
        for (int i = 0; i < n; ++i)
            add(i);
        t->indexTag({}, "DATE", "date", false, false, {});
        t->indexTag({}, "DAY", "day", false, true, {});
        t->indexTag({}, "NUM", "VAL(date)", false, false, {});
        if (!password.empty())
            t->encrypt();
        // Changes after the encryption: a moved key, a deletion, new records,
        // a tag built into the encrypted file.
        t->go(7);
        dates[6] = storedDayOf(n + 5);
        t->replaceText(0, dates[6]);
        t->replaceDate(2, parseStoredDate(dates[6]));
        t->go(9);
        t->deleteRecord();
        for (int i = n; i < n + 3; ++i)
            add(i + 10);
        t->indexTag({}, "DATE2", "date", false, false, {});
        t->close();
    };
    // How many date keys the index shows whole (leaves keep only some keys
    // whole, interior nodes all of theirs).
    auto shown = [&] {
        int found = 0;
        const std::string bytes = fileBytes("QUILLNK.CDX");
        for (const std::string &date : dates)
            for (const std::string &form : dateForms(date))
                found += bytes.find(form) != std::string::npos;
        return found;
    };
    build("");
    EXPECT_GE(shown(), 10); // what the search finds in clear
    build("pw");
    EXPECT_TRUE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
    EXPECT_EQ(shown(), 0);
    for (const auto &[name, bytes] : allFiles())
        for (const std::string &date : dates)
            for (const std::string &form : dateForms(date))
                ASSERT_EQ(bytes.find(form), std::string::npos) << name << " shows " << date;

    auto t = open();
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_TRUE(t->currentEncryption());
    std::vector<std::string> sorted = dates;
    std::sort(sorted.begin(), sorted.end());
    for (int order : {1, 2}) { // DATE ascending, DAY descending
        t->setOrder(t->tagOrder(order == 1 ? "DATE" : "DAY"));
        std::vector<std::string> walked;
        for (t->goTop(); !t->eof(); t->skip(1))
            walked.push_back(t->text(0));
        std::vector<std::string> expected = sorted;
        if (order == 2)
            std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(walked, expected);
    }
    t->setOrder(t->tagOrder("DATE"));
    EXPECT_TRUE(t->seek(dates[6]));
    EXPECT_EQ(t->recno(), 7u);
    EXPECT_TRUE(t->seek(dates[200]));
    EXPECT_EQ(t->recno(), 201u);
    t->setOrder(t->tagOrder("NUM"));
    EXPECT_TRUE(t->seek(dates[300]));
    EXPECT_EQ(t->recno(), 301u);
}

// Tables encrypted before their index was (its pages in clear) open as they
// are; a re-key under the same password, a change of key or a pack
// ("Rebuild Indexes") writes the encrypted index.
TEST_F(ProtectionTest, ClearIndexOfAnEncryptedTableOpensAndIsUpgraded)
{
    for (const char *how : {"re-key", "change key", "pack"}) {
        SCOPED_TRACE(how);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        makeDiary(12);
        settings.password.clear();
        const std::string clearIndex = fileBytes("QUILLNK.CDX");
        settings.password = "pw";
        open()->encrypt();
        // As an earlier version left it: the same records, the index in clear.
        qn::test::writeFile(dir / "QUILLNK.CDX", clearIndex);
        ASSERT_FALSE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
        auto t = open();
        Content before = content(*t);
        EXPECT_TRUE(t->indexProblem().empty());
        EXPECT_FALSE(t->currentEncryption());
        t->setOrder(1);
        EXPECT_TRUE(t->seek("20260105"));
        rewriteBy(how, *t);
        EXPECT_TRUE(t->currentEncryption());
        t->close();
        EXPECT_TRUE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
        EXPECT_EQ(fileBytes("QUILLNK.CDX").find("202601"), std::string::npos);
        t = open();
        EXPECT_TRUE(t->indexProblem().empty());
        EXPECT_TRUE(t->checkIndexes().empty());
        EXPECT_EQ(content(*t), how == std::string("pack") ? packed(before) : before);
        t->setOrder(1);
        EXPECT_TRUE(t->seek("20260105"));
        EXPECT_EQ(t->text(0), "20260105");
        // Nothing more to do once upgraded.
        auto files = allFiles();
        t->encrypt();
        EXPECT_EQ(allFiles(), files);
    }
}

// Indexes encrypted by earlier versions carry no tag: they open and work as
// they are (and keep their form through changes), and a re-key, a change of
// key or a pack ("Rebuild Indexes") writes them authenticated.
TEST_F(ProtectionTest, UnauthenticatedIndexOpensAndIsUpgraded)
{
    const fs::path cdx = dir / "QUILLNK.CDX";
    for (const char *how : {"re-key", "change key", "pack"}) {
        SCOPED_TRACE(how);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        settings.password.clear();
        makeDiary(40);
        settings.password = "pw";
        open()->encrypt();
        toEarlierIndex("pw");
        ASSERT_EQ(CdxIndex::protectionOf(cdx), CdxIndex::Protection::Encrypted);
        {
            auto t = open();
            EXPECT_TRUE(t->indexProblem().empty()) << t->indexProblem();
            EXPECT_FALSE(t->currentEncryption());
            t->go(2);
            t->replaceText(0, "20270101");
            t->commit();
        }
        EXPECT_EQ(CdxIndex::protectionOf(cdx), CdxIndex::Protection::Encrypted);
        auto t = open();
        EXPECT_TRUE(t->checkIndexes().empty());
        t->setOrder(1);
        ASSERT_TRUE(t->seek("20270101"));
        EXPECT_EQ(t->recno(), 2u);
        const Content before = content(*t);
        rewriteBy(how, *t);
        EXPECT_TRUE(t->currentEncryption());
        t->close();
        EXPECT_EQ(CdxIndex::protectionOf(cdx), CdxIndex::Protection::Authenticated);
        t = open();
        EXPECT_TRUE(t->checkIndexes().empty());
        EXPECT_EQ(content(*t), how == std::string("pack") ? packed(before) : before);
        t->setOrder(1);
        ASSERT_TRUE(t->seek("20270101"));
        EXPECT_EQ(t->text(0), "20270101");
    }
}

// An index changed without the password is not read: the table opens
// without it, names it, and a tag build writes it afresh. A page changed
// while the table is open is refused when it is read.
TEST_F(ProtectionTest, ChangedIndexIsRebuiltAndAPageChangedLaterIsRefused)
{
    makeDiary(300);
    settings.password = "pw";
    open()->encrypt();
    const std::string clean = fileBytes("QUILLNK.CDX");
    std::string changed = clean;
    changed[clean.size() - 300] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.CDX", changed);
    {
        auto t = open();
        EXPECT_EQ(t->indexProblem(),
                  "Index QUILLNK.CDX was changed by someone without the password");
        EXPECT_EQ(t->tagCount(), 0);
        t->indexTag({}, "DATE", "date", false, false, {});
        EXPECT_TRUE(t->seek("20260105"));
    }
    auto t = open();
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_EQ(CdxIndex::protectionOf(dir / "QUILLNK.CDX"), CdxIndex::Protection::Authenticated);

    // Opened and checked; then every leaf page after the first is changed in
    // the file: the walk reaches one and stops with the index's damage.
    t.reset();
    qn::test::writeFile(dir / "QUILLNK.CDX", clean);
    t = open();
    const std::string now = fileBytes("QUILLNK.CDX");
    changed = now;
    for (size_t at = 2048; at + 512 <= changed.size(); at += 512)
        changed[at + 100] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.CDX", changed);
    t->setOrder(t->tagOrder("DATE"));
    try {
        for (t->goTop(); !t->eof(); t->skip(1)) {
        }
        ADD_FAILURE() << "a changed page was read";
    } catch (const XbaseError &e) {
        EXPECT_TRUE(e.isDamaged());
        EXPECT_NE(std::string(e.what()).find("was changed by someone without the password"),
                  std::string::npos)
            << e.what();
    }

    // A rollback reads the index again: changed, it is left out as at an
    // open, and the table goes on in natural order.
    t.reset();
    qn::test::writeFile(dir / "QUILLNK.CDX", clean);
    t = open();
    t->setOrder(t->tagOrder("DATE"));
    t->appendBlank();
    t->replaceText(0, "20270101");
    changed = clean;
    for (size_t at = 1024; at + 512 <= changed.size(); at += 512)
        changed[at + 100] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.CDX", changed);
    t->rollback();
    EXPECT_EQ(t->order(), 0);
    EXPECT_EQ(t->tagCount(), 0);
    EXPECT_NE(t->indexProblem().find("was changed by someone without the password"),
              std::string::npos)
        << t->indexProblem();
    EXPECT_EQ(t->recordCount(), 300u);
    t->goTop();
    EXPECT_EQ(t->text(0), "20260101");
}

// Shared openers read the index afresh before every use: one sees the
// other's saves (the index's tag changed, so it is checked whole again), and
// a page changed behind both without the password (the header left as it
// was) is refused when read, by both.
TEST_F(ProtectionTest, SharedOpenersFollowEachOtherAndRefuseAChangedPage)
{
    makeDiary(300);
    settings.password = "pw";
    open()->encrypt();
    auto a = Table::open(path(), Table::Access::Shared, settings);
    auto b = Table::open(path(), Table::Access::Shared, settings);
    for (Table *t : {a.get(), b.get()})
        t->setOrder(t->tagOrder("DATE"));
    a->appendBlank();
    a->replaceText(0, "20270707");
    a->commit();
    a->unlockAll();
    ASSERT_TRUE(b->seek("20270707"));
    EXPECT_EQ(b->recno(), 301u);
    ASSERT_TRUE(b->seek("20260310"));

    const std::string clean = fileBytes("QUILLNK.CDX");
    std::string changed = clean;
    for (size_t at = 2048; at + 512 <= changed.size(); at += 512)
        changed[at + 100] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.CDX", changed);
    for (Table *t : {a.get(), b.get()}) {
        try {
            t->seek("20260310");
            ADD_FAILURE() << "a changed page was read";
        } catch (const XbaseError &e) {
            EXPECT_NE(std::string(e.what()).find("was changed by someone without the password"),
                      std::string::npos)
                << e.what();
        }
    }
    qn::test::writeFile(dir / "QUILLNK.CDX", clean);
    EXPECT_TRUE(a->seek("20260310"));
    EXPECT_TRUE(b->seek("20270707"));
}

// An encrypted index is read only under its own table's key: one of another
// key, or one left encrypted beside a clear table, is reported as unreadable
// and the table still opens (its index is then rebuilt).
TEST_F(ProtectionTest, EncryptedIndexOfAnotherKeyIsNotRead)
{
    makeDiary(6);
    settings.password = "one";
    open()->encrypt();
    const std::string indexOne = fileBytes("QUILLNK.CDX");
    {
        auto t = open();
        t->changeKey("two", [this] { settings.password = "two"; });
    }
    qn::test::writeFile(dir / "QUILLNK.CDX", indexOne);
    {
        auto t = open();
        EXPECT_NE(t->indexProblem().find("another key"), std::string::npos) << t->indexProblem();
        EXPECT_EQ(t->tagCount(), 0);
        t->go(2);
        EXPECT_EQ(t->text(0), "20260102");
        t->indexTag({}, "DATE", "date", false, false, {}); // built afresh, encrypted
        EXPECT_TRUE(t->seek("20260104"));
    }
    EXPECT_TRUE(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"));
    EXPECT_TRUE(open()->checkIndexes().empty());

    settings.password = "";
    {
        auto t = open(); // without the password the index waits unread
        EXPECT_NE(t->indexProblem().find("password"), std::string::npos) << t->indexProblem();
    }
    settings.password = "two";
    open()->decrypt();
    qn::test::writeFile(dir / "QUILLNK.CDX", indexOne);
    settings.password = "";
    auto t = open();
    EXPECT_NE(t->indexProblem().find("encrypted but its table is not"), std::string::npos)
        << t->indexProblem();
}

namespace {

bool hasZeroRun(const std::string &bytes, size_t from, size_t run)
{
    return bytes.find(std::string(run, '\0'), from) != std::string::npos;
}

std::string clearBlockHeader(size_t length)
{
    std::string h("\0\0\0\x01", 4);
    for (int i = 3; i >= 0; --i)
        h += char(uint8_t(length >> (8 * i)));
    return h;
}

} // namespace

// No memo block header shows a length, nor do zeros after a text: every
// memo is encrypted whole, padding included, so the memo file shows only the
// sizes rounded to blocks.
TEST_F(ProtectionTest, EncryptedMemoFileHidesTheLengthsOfTexts)
{
    makeDiary(30);
    settings.password = "pw";
    std::vector<size_t> lengths;
    {
        auto t = open();
        t->encrypt();
        t->appendBlank();
        t->replaceText(0, "20261231");
        t->replaceMemo(1, std::string(700, 'y')); // written after the encryption
        t->go(4);
        t->replaceMemo(1, "short");
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            t->go(r);
            lengths.push_back(t->memo(1).size());
        }
        EXPECT_TRUE(t->currentEncryption());
    }
    const std::string memo = fileBytes("QUILLNK.FPT");
    EXPECT_EQ(memo.size() % 64, 0u);
    EXPECT_FALSE(hasZeroRun(memo, 512, 16)); // no clear padding, no clear header
    for (size_t length : lengths)
        EXPECT_EQ(memo.find(clearBlockHeader(length)), std::string::npos) << length;
    auto t = open();
    t->go(4);
    EXPECT_EQ(t->memo(1), "short");
    t->go(31);
    EXPECT_EQ(t->memo(1), std::string(700, 'y'));

    // Texts within one block take the same room whatever their length.
    uint64_t before = fs::file_size(dir / "QUILLNK.FPT");
    t->go(1);
    t->replaceMemo(1, "a");
    t->commit();
    uint64_t one = fs::file_size(dir / "QUILLNK.FPT") - before;
    // Blocks of 512 bytes here, which hold 488 bytes of text beside the
    // memo's header and tag.
    t->replaceMemo(1, std::string(488, 'b'));
    t->commit();
    EXPECT_EQ(fs::file_size(dir / "QUILLNK.FPT") - before - one, one);
    EXPECT_EQ(t->memo(1), std::string(488, 'b'));
}

// Memo files encrypted by earlier versions (block headers in clear, texts
// encrypted) are read and written as they are, and the next re-key writes
// them in the current form.
TEST_F(ProtectionTest, MemoFileOfAnEarlierFormOpensAndIsUpgraded)
{
    makeDiary(12);
    settings.password = "pw";
    open()->encrypt();
    Content before = content(*open());
    toEarlierForm("pw", false);
    auto t = open();
    EXPECT_FALSE(t->memoFile()->sealed());
    EXPECT_FALSE(t->currentEncryption());
    EXPECT_EQ(content(*t), before);
    t->go(2);
    t->replaceMemo(1, "added in the earlier form");
    t->commit();
    before[1] = before[1].substr(0, before[1].find('|') + 1) + "added in the earlier form";
    EXPECT_EQ(content(*t), before);
    EXPECT_EQ(fileBytes("QUILLNK.FPT").find("added in"), std::string::npos);
    t->encrypt(); // the same password: the current form
    EXPECT_TRUE(t->memoFile()->sealed());
    EXPECT_TRUE(t->currentEncryption());
    t->close();
    EXPECT_FALSE(hasZeroRun(fileBytes("QUILLNK.FPT"), 512, 16));
    EXPECT_EQ(content(*open()), before);
}

// Every block size and every length around the edges of the units reads back.
TEST_F(ProtectionTest, SealedMemosReadBackAtEveryBlockSize)
{
    const std::vector<size_t> lengths = {0, 1, 7, 8, 9, 15, 16, 55, 56, 57, 504, 505, 4100, 9000};
    for (uint32_t setting : {0u, 64u, 1u, 100u}) {
        SCOPED_TRACE(setting);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        Table::create(path(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, setting);
        settings.password = "pw";
        auto t = open();
        t->encrypt();
        for (size_t length : lengths) {
            t->appendBlank();
            std::string text(length, 'a');
            for (size_t i = 0; i < length; ++i)
                text[i] = char('a' + i % 26);
            t->replaceMemo(1, text);
        }
        t->close();
        t = open();
        for (size_t i = 0; i < lengths.size(); ++i) {
            t->go(uint32_t(i + 1));
            EXPECT_EQ(t->memo(1).size(), lengths[i]);
        }
        t->pack(); // rewritten by the other writer
        for (size_t i = 0; i < lengths.size(); ++i) {
            t->go(uint32_t(i + 1));
            std::string text = t->memo(1);
            ASSERT_EQ(text.size(), lengths[i]);
            for (size_t k = 0; k < text.size(); ++k)
                ASSERT_EQ(text[k], char('a' + k % 26));
        }
    }
}

// A change of key copies every index page under the new key, so that tags
// this engine cannot compute (written by another program) come through too.
TEST_F(ProtectionTest, ChangeOfKeyKeepsTagsItCannotCompute)
{
    makeDiary(9);
    {
        auto index = CdxIndex::open(dir / "QUILLNK.CDX", true);
        CdxTagInfo info;
        info.name = "FOREIGN";
        info.expression = "SOMEFUNC(date)";
        info.keyLength = 4;
        index->writeTag(info, {{"abcd", 2}, {"wxyz", 1}});
        index->flush();
    }
    for (const char *password : {"pw", "pw2", ""}) {
        SCOPED_TRACE(password);
        {
            auto t = open();
            t->changeKey(password, [&] { settings.password = password; });
        }
        EXPECT_EQ(CdxIndex::isEncrypted(dir / "QUILLNK.CDX"), *password != 0);
        auto t = open();
        EXPECT_TRUE(t->indexProblem().empty()) << t->indexProblem();
        ASSERT_GT(t->tagOrder("FOREIGN"), 0);
        t->setOrder(t->tagOrder("FOREIGN"));
        t->goTop();
        EXPECT_EQ(t->recno(), 2u);
        t->setOrder(t->tagOrder("DATE"));
        EXPECT_TRUE(t->seek("20260107"));
        EXPECT_EQ(t->recno(), 7u);
    }
}

namespace {

// The kind of error `read` ends in, nullopt when it succeeds.
template <class Read> std::optional<XbaseError::Kind> failureOf(Read read)
{
    try {
        read();
        return std::nullopt;
    } catch (const XbaseError &e) {
        return e.kind();
    }
}

} // namespace

// Records and memos of an encrypted table carry tags: whatever someone
// without the key changes, moves or swaps is told apart from the rest,
// which still reads; untouched tables read as ever.
// Records once read are kept decrypted for the next reads; every change
// since is still seen: a commit, a change rolled back, an append, a deletion
// and, between two openers of the table, the other's commit.
TEST_F(ProtectionTest, RecordsReadAgainShowEveryChange)
{
    makeDiary(60);
    settings.password = "pw";
    open()->encrypt();
    Content expected;
    {
        auto t = open();
        expected = content(*t); // every record read once
        t->go(5);
        t->replaceText(0, "20300101");
        t->go(7);
        t->deleteRecord();
        t->commit();
        expected[4].replace(1, 8, "20300101");
        expected[6][0] = '*';
        EXPECT_EQ(content(*t), expected);
        t->go(8);
        t->replaceText(0, "20300202");
        t->rollback();
        t->appendBlank();
        t->replaceText(0, "20300303");
        t->replaceMemo(1, "appended");
        t->commit();
        expected.push_back(" 20300303|appended");
        EXPECT_EQ(content(*t), expected);
    }
    EXPECT_EQ(content(*open()), expected); // and the files say the same

    auto a = Table::open(path(), Table::Access::Shared, settings);
    auto b = Table::open(path(), Table::Access::Shared, settings);
    b->go(1);
    EXPECT_EQ(b->text(0), expected[0].substr(1, 8));
    ASSERT_TRUE(a->lockRecord(1));
    a->go(1);
    a->replaceText(0, "20310101");
    a->commit();
    a->unlockAll();
    b->go(2);
    b->go(1);
    EXPECT_EQ(b->text(0), "20310101");
}

TEST_F(ProtectionTest, ChangedOrSwappedRecordsAndMemosAreNoticed)
{
    makeDiary(9);
    settings.password = "pw";
    std::map<uint32_t, uint32_t> blockOf;
    uint32_t blockSize = 0, header = 0, length = 0;
    Content before;
    {
        auto t = open();
        t->encrypt();
        EXPECT_TRUE(t->dbf().tagged());
        EXPECT_TRUE(t->memoFile()->tagged());
        EXPECT_TRUE(t->currentEncryption());
        t->go(1);
        t->replaceMemo(1, "first entry, as long as");
        t->go(2);
        t->replaceMemo(1, "other entry, as long as");
        t->commit();
        before = content(*t);
        const FieldInfo &entry = t->field(1);
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            t->go(r);
            blockOf[r] = uint32_t(std::stoul(std::string(t->buffer() + entry.offset, 10)));
            EXPECT_TRUE(t->dbf().authentic(r));
            EXPECT_TRUE(t->memoFile()->authentic(blockOf[r]));
        }
        blockSize = t->memoFile()->blockSize();
        header = t->dbf().headerLength();
        length = t->dbf().recordLength();
    }
    EXPECT_EQ(content(*open()), before);
    const std::string table = fileBytes("QUILLNK.DBF"), memo = fileBytes("QUILLNK.FPT");
    const auto recordAt = [&](uint32_t r) { return header + size_t(r - 1) * length; };
    struct Case {
        const char *what;
        std::string table, memo;
        std::vector<uint32_t> records, memos; // what must be reported
    };
    std::vector<Case> cases;
    {
        Case c{"a record byte flipped", table, memo, {4}, {}};
        c.table[recordAt(4) + 3] ^= 0x01;
        cases.push_back(c);
    }
    {
        Case c{"a byte of a record's tag flipped", table, memo, {5}, {}};
        c.table[recordAt(5) + length - 1] ^= 0x80;
        cases.push_back(c);
    }
    {
        Case c{"two records swapped", table, memo, {6, 7}, {}};
        std::swap_ranges(c.table.begin() + long(recordAt(6)), c.table.begin() + long(recordAt(7)),
                         c.table.begin() + long(recordAt(7)));
        cases.push_back(c);
    }
    {
        Case c{"a memo byte flipped", table, memo, {}, {8}};
        c.memo[size_t(blockOf[8]) * blockSize + 40] ^= 0x01;
        cases.push_back(c);
    }
    {
        // Texts of one length, so each fits the other's place.
        Case c{"two memos swapped", table, memo, {}, {1, 2}};
        const size_t a = size_t(blockOf[1]) * blockSize, b = size_t(blockOf[2]) * blockSize;
        const std::string first = memo.substr(a, blockSize);
        c.memo.replace(a, blockSize, memo.substr(b, blockSize));
        c.memo.replace(b, blockSize, first);
        cases.push_back(c);
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qn::test::writeFile(dir / "QUILLNK.DBF", c.table);
        qn::test::writeFile(dir / "QUILLNK.FPT", c.memo);
        auto t = open();
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            SCOPED_TRACE(r);
            const bool record = std::count(c.records.begin(), c.records.end(), r) > 0;
            const bool text = std::count(c.memos.begin(), c.memos.end(), r) > 0;
            EXPECT_EQ(t->dbf().authentic(r), !record);
            EXPECT_EQ(t->memoFile()->authentic(blockOf[r]), !text);
            auto failure = failureOf([&] { t->go(r); });
            EXPECT_EQ(t->recordChangedOutside(), record);
            if (record) {
                EXPECT_EQ(failure, XbaseError::Kind::Tampered);
                EXPECT_EQ(t->recno(), r); // it stands there, empty
                EXPECT_EQ(t->text(0).find_first_not_of(' '), std::string::npos);
                continue;
            }
            EXPECT_EQ(failure, std::nullopt);
            failure = failureOf([&] { t->memo(1); });
            EXPECT_EQ(failure, text ? std::optional(XbaseError::Kind::Tampered) : std::nullopt);
            if (!text) {
                EXPECT_EQ(std::string(t->deleted() ? "*" : " ") + t->text(0) + "|" + t->memo(1),
                          before[r - 1]);
            }
        }
        if (c.records.empty())
            continue;
        // Nothing is ever written over a changed record.
        failureOf([&] { t->go(c.records[0]); });
        EXPECT_EQ(failureOf([&] {
                      t->replaceText(0, "20991231");
                      t->commit();
                  }),
                  XbaseError::Kind::Tampered);
        t->close();
        EXPECT_EQ(fileBytes("QUILLNK.DBF"), c.table);
    }
    // A table whose first record was changed still opens, on that record.
    std::string first = table;
    first[recordAt(1) + 2] ^= 0x10;
    qn::test::writeFile(dir / "QUILLNK.DBF", first);
    qn::test::writeFile(dir / "QUILLNK.FPT", memo);
    auto t = open();
    EXPECT_TRUE(t->recordChangedOutside());
    EXPECT_TRUE(t->checkIndexes().empty()); // the record is changed, not the index
    t->skip(1);
    EXPECT_FALSE(t->recordChangedOutside());
    EXPECT_EQ(t->recno(), 2u);
}

// A table encrypted before records and memos had tags opens, reads and
// takes changes as before; the next encryption under the same password and
// a pack write every tag, and what was written before stays.
TEST_F(ProtectionTest, TablesWithoutTagsOpenAndAreTaggedByTheNextRewrite)
{
    makeDiary(12);
    settings.password = "pw";
    open()->encrypt();
    const Content before = content(*open());
    toEarlierForm("pw", true);
    {
        auto t = open();
        EXPECT_FALSE(t->dbf().tagged());
        EXPECT_FALSE(t->memoFile()->tagged());
        EXPECT_TRUE(t->memoFile()->sealed());
        EXPECT_FALSE(t->currentEncryption());
        EXPECT_EQ(content(*t), before);
        t->go(2);
        t->replaceMemo(1, "changed in the earlier form");
        t->commit();
    }
    Content changed = before;
    changed[1] = before[1].substr(0, before[1].find('|') + 1) + "changed in the earlier form";
    EXPECT_EQ(content(*open()), changed);

    {
        auto t = open();
        t->pack();
        EXPECT_TRUE(t->dbf().tagged());
        EXPECT_TRUE(t->memoFile()->tagged());
        EXPECT_EQ(content(*t), packed(changed));
    }
    toEarlierForm("pw", true);
    auto t = open();
    t->encrypt();
    EXPECT_TRUE(t->currentEncryption());
    t->close();
    t = open();
    EXPECT_TRUE(t->dbf().tagged());
    EXPECT_EQ(content(*t), packed(changed));
    for (uint32_t r = 1; r <= t->recordCount(); ++r)
        EXPECT_TRUE(t->dbf().authentic(r));

    // A tagged table's memo file put back in the untagged form is refused,
    // not read without its tags.
    std::string memo = fileBytes("QUILLNK.FPT");
    const KeyBlock block = *t->dbf().keyBlock();
    t->close();
    block.writeMemoMark(reinterpret_cast<uint8_t *>(memo.data()) + KeyBlock::MemoMarkOffset, true,
                        false);
    qn::test::writeFile(dir / "QUILLNK.FPT", memo);
    EXPECT_EQ(failureOf([&] { open(); }), XbaseError::Kind::Damaged);

    // Decrypting takes the tag column out again (the memo file's mark put
    // back first).
    block.writeMemoMark(reinterpret_cast<uint8_t *>(memo.data()) + KeyBlock::MemoMarkOffset, true,
                        true);
    qn::test::writeFile(dir / "QUILLNK.FPT", memo);
    t = open();
    t->decrypt();
    EXPECT_FALSE(t->dbf().tagged());
    EXPECT_EQ(t->dbf().recordLength(), 1u + 8u + 10u);
    EXPECT_EQ(content(*t), packed(changed));
}

// The index of an encrypted table changed by someone without the password:
// every byte of the file (one bit of each, every bit of the key mark and
// the tag, whose forms differ by one bit), the file cut or grown. Each
// change is reported (the table's check names the index, or it is refused
// as damaged); a change that were not would have to leave every seek and
// walk finding the right records in the right order.
TEST_F(ProtectionTest, AChangedIndexIsReported)
{
    makeDiary(300);
    {
        settings.password = "pw";
        auto t = open();
        t->encrypt();
        t->close();
    }
    const std::string clean = fileBytes("QUILLNK.CDX");
    ASSERT_GE(clean.size(), 2048u);
    ASSERT_EQ(CdxIndex::protectionOf(dir / "QUILLNK.CDX"), CdxIndex::Protection::Authenticated);
    Content expected;
    {
        auto t = open();
        expected = content(*t);
    }
    std::vector<std::string> sorted;
    for (const std::string &row : expected)
        sorted.push_back(row.substr(1, 8));
    std::sort(sorted.begin(), sorted.end());

    int reported = 0, harmless = 0, named = 0;
    auto tryIndex = [&](const std::string &bytes) {
        qn::test::writeFile(dir / "QUILLNK.CDX", bytes);
        try {
            // Read-only, which syncs nothing: the index is checked as by any opener.
            auto t = Table::open(path(), Table::Access::ReadOnly, settings);
            if (std::vector<std::string> faults = t->checkIndexes(); !faults.empty()) {
                ++reported;
                named += faults.front() ==
                         "Index QUILLNK.CDX was changed by someone without the password";
                return;
            }
            t->setOrder(t->tagOrder("DATE"));
            std::vector<std::string> walked;
            for (t->goTop(); !t->eof(); t->skip(1)) {
                walked.push_back(t->text(0));
                ASSERT_TRUE(t->seek(t->text(0)));
                ASSERT_EQ(std::string(t->deleted() ? "*" : " ") + t->text(0) + "|" + t->memo(1),
                          expected[t->recno() - 1]);
            }
            ASSERT_EQ(walked, sorted);
            ++harmless;
        } catch (const XbaseError &e) {
            EXPECT_TRUE(e.isDamaged()) << e.what();
            ++reported;
        }
    };
    for (size_t at = 0; at < clean.size(); ++at) {
        const bool markOrTag = at >= 36 && at < 72;
        for (int bit = 0; bit < 8; ++bit) {
            if (!markOrTag && bit != int(at % 8))
                continue;
            SCOPED_TRACE("byte " + std::to_string(at) + " bit " + std::to_string(bit));
            std::string bytes = clean;
            bytes[at] = char(bytes[at] ^ (1 << bit));
            tryIndex(bytes);
        }
    }
    tryIndex(clean.substr(0, clean.size() - 512));
    tryIndex(clean + std::string(512, '\0'));
    tryIndex(clean + clean.substr(clean.size() - 512));
    qn::test::writeFile(dir / "QUILLNK.CDX", clean);
    EXPECT_EQ(harmless, 0);
    EXPECT_EQ(reported, int(clean.size()) + 7 * 36 + 3);
    EXPECT_GT(named, int(clean.size()) - 40); // all but changes to the key mark
    auto t = open();
    EXPECT_TRUE(t->checkIndexes().empty());
}
