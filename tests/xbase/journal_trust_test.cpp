// The journal lies beside the table and travels with copies of it: whatever
// it says, rolling it back writes nothing but the table's own three files.

#include "xbase/journal.h"
#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

using namespace qn::xbase;
using qn::test::readFile;
using qn::test::TempDir;
using qn::test::writeFile;
namespace fs = std::filesystem;

namespace {

uint32_t crc32(uint32_t crc, const void *data, size_t n)
{
    const auto *p = static_cast<const uint8_t *>(data);
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

void put(std::string &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(v >> (8 * i)));
}

// One file of a crafted journal: a name (journals of the first version) or
// a role, and the size the file is to be cut back to.
struct CraftedFile {
    std::string name;
    int role = 0;
    uint64_t size = 0;
};
struct CraftedRecord {
    uint16_t file = 0;
    uint64_t offset = 0;
    std::string bytes;
};

// A complete journal with valid checksums, as a hostile copy would carry.
std::string craft(bool named, const std::vector<CraftedFile> &files,
                  const std::vector<CraftedRecord> &records)
{
    const uint64_t nonce = 0x1234567890ABCDEFull;
    std::string j = {'Q', 'N', 'J', 'R', 'N', 'L', named ? '\x01' : '\x02', '\0'};
    put(j, nonce, 8);
    put(j, files.size(), 4);
    put(j, records.size(), 4);
    for (const CraftedFile &f : files) {
        if (named) {
            put(j, f.name.size(), 2);
            j += f.name;
        } else {
            put(j, uint64_t(f.role), 1);
        }
        put(j, f.size, 8);
    }
    put(j, crc32(0, j.data(), j.size()), 4);
    for (const CraftedRecord &r : records) {
        std::string b;
        put(b, r.file, 2);
        put(b, r.offset, 8);
        put(b, r.bytes.size(), 4);
        b += r.bytes;
        put(b, crc32(crc32(0, &nonce, sizeof nonce), b.data(), b.size()), 4);
        j += b;
    }
    return j;
}

class JournalTrustTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(dir / "diary");
        Table::create(table(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
        auto t = Table::open(table(), Table::Access::Exclusive, settings);
        for (int i = 1; i <= 5; ++i) {
            t->appendBlank();
            t->replaceText(0, "2024010" + std::to_string(i));
            t->replaceMemo(1, "entry " + std::to_string(i));
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->close();
        fs::create_directory(dir / "beside");
        writeFile(sentinel(), "the user's own file");
    }

    fs::path table() const { return dir / "diary" / "QUILLNK.DBF"; }
    fs::path journal() const { return Journal::pathFor(table()); }
    fs::path sentinel() const { return dir / "beside" / "planted.txt"; }

    // Every file under the test's folder with its contents.
    std::map<fs::path, std::string> everything() const
    {
        std::map<fs::path, std::string> m;
        for (const auto &e : fs::recursive_directory_iterator(dir.path()))
            m[e.path()] = e.is_symlink()        ? "link to " + fs::read_symlink(e.path()).string()
                          : e.is_regular_file() ? readFile(e.path())
                                                : std::string("folder");
        return m;
    }

    // The journal is refused as damaged wherever it is met, and nothing at
    // all changes.
    void expectRefused(const std::string &why)
    {
        SCOPED_TRACE(why);
        const auto before = everything();
        EXPECT_EQ(Journal::state(qn::DefaultFileSystem(), table()), Journal::State::Damaged);
        const std::string problem = Table::journalProblem(table(), settings);
        EXPECT_NE(problem.find("journal"), std::string::npos) << problem;
        EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
        EXPECT_FALSE(Table::hasHotJournal(table(), settings));
        for (auto access :
             {Table::Access::Exclusive, Table::Access::Shared, Table::Access::ReadOnly}) {
            try {
                Table::open(table(), access, settings);
                ADD_FAILURE() << "a damaged journal let the table open";
            } catch (const XbaseError &e) {
                EXPECT_TRUE(e.isDamaged()) << e.what();
                EXPECT_EQ(std::string(e.what()), problem);
            }
        }
        EXPECT_THROW(Table::recover(table(), settings), XbaseError);
        EXPECT_EQ(everything(), before);
    }

    TempDir dir;
    EngineSettings settings;
};

TEST_F(JournalTrustTest, NamesOutsideTheTablesOwnFilesAreNeverFollowed)
{
    const std::string planted = "WRITTEN BY A JOURNAL";
    const uint64_t size = fs::file_size(sentinel());
    const std::string up = "../beside/planted.txt";
    const std::string roundabout =
        "../../" + dir.path().filename().string() + "/beside/planted.txt";
    for (const std::string &name :
         {sentinel().string(), up, roundabout, std::string("QN.INI"), std::string("QUILLNK.DBF/"),
          std::string("./QUILLNK.DBF"), std::string("QUILLNK.DBF\0x", 13), std::string()}) {
        writeFile(dir / "diary" / "QN.INI", "[Security]\n");
        writeFile(journal(), craft(true, {{name, 0, size}}, {{0, 0, planted}}));
        expectRefused(name);
    }
    // One foreign name among the table's own spoils the whole journal.
    writeFile(journal(), craft(true, {{"quillnk.dbf", 0, fs::file_size(table())}, {up, 0, size}},
                               {{0, 0, "XXXX"}, {1, 0, planted}}));
    expectRefused("own and foreign");
    EXPECT_EQ(readFile(sentinel()), "the user's own file");
}

TEST_F(JournalTrustTest, RolesOtherThanTheThreeFilesAreDamage)
{
    const uint64_t size = fs::file_size(table());
    writeFile(journal(), craft(false, {{{}, 4, size}}, {{0, 0, "XXXX"}}));
    expectRefused("unknown role");
    writeFile(journal(), craft(false, {{{}, 0, size}}, {}));
    expectRefused("role 0");
    writeFile(journal(), craft(false, {{{}, 1, size}, {{}, 1, size}}, {}));
    expectRefused("a file twice");
    writeFile(journal(), craft(false, {{{}, 1, 16}}, {{0, 10, "0123456789"}}));
    expectRefused("a record beyond the recorded size");
    writeFile(journal(), craft(false, {{{}, 1, 1ull << 50}}, {}));
    expectRefused("a size the file never had");
    writeFile(journal(), craft(false, {{{}, 1, size}}, {{3, 0, "XXXX"}}));
    expectRefused("a record of a file not listed");
}

TEST_F(JournalTrustTest, AJournalThatIsNoRegularFileIsNeverOpened)
{
    // A link would lead the journal's own writes (and the rollback's
    // clearing of it) to whatever it names, even where nothing is yet.
    fs::create_symlink(sentinel(), journal());
    expectRefused("a link to a file");
    fs::remove(journal());
    fs::create_symlink(dir / "beside" / "new.txt", journal());
    expectRefused("a link to nothing");
    fs::remove(journal());
    fs::create_directory(journal());
    expectRefused("a folder");
    EXPECT_FALSE(fs::exists(dir / "beside" / "new.txt"));
}

// Journals of the first version named the files; a name that is exactly
// one of the table's own files (in any case) is still rolled back.
TEST_F(JournalTrustTest, OldJournalsNamingTheTablesOwnFilesStillRollBack)
{
    const std::string dbf = readFile(table());
    const std::string fpt = readFile(dir / "diary" / "QUILLNK.FPT");
    // A save that died half way: a record overwritten, the memo file grown.
    std::string changed = dbf;
    const size_t at = dbf.size() - 20;
    changed.replace(at, 8, "20991231");
    writeFile(table(), changed);
    writeFile(dir / "diary" / "QUILLNK.FPT", fpt + std::string(512, 'Z'));
    writeFile(journal(),
              craft(true, {{"quillnk.dbf", 0, dbf.size()}, {"QuillNK.fpt", 0, fpt.size()}},
                    {{0, at, dbf.substr(at, 8)}}));
    EXPECT_EQ(Journal::state(qn::DefaultFileSystem(), table()), Journal::State::Hot);
    EXPECT_TRUE(Table::journalProblem(table(), settings).empty());
    auto t = Table::open(table(), Table::Access::Exclusive, settings);
    EXPECT_TRUE(t->recoveredUnfinishedSave());
    t.reset();
    EXPECT_EQ(readFile(table()), dbf);
    EXPECT_EQ(readFile(dir / "diary" / "QUILLNK.FPT"), fpt);
    EXPECT_FALSE(fs::exists(journal()));
}

} // namespace
