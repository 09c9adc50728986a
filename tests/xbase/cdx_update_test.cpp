#include "xbase/cdx_index.h"
#include "xbase/xbase_error.h"

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <sstream>

using namespace qn::xbase;
using qn::test::TempDir;

namespace {

using Model = std::multiset<std::pair<std::string, uint32_t>>;

CdxTagInfo tagInfo(uint16_t keyLength, bool descending = false)
{
    CdxTagInfo info;
    info.name = "KEYS";
    info.expression = "k";
    info.keyLength = keyLength;
    info.descending = descending;
    return info;
}

std::optional<CdxEntry> toEntry(Model::const_iterator it, const Model &model)
{
    if (it == model.end())
        return std::nullopt;
    return CdxEntry{it->first, it->second};
}

// The tag and the model agree on every entry, both ways, and on a sample of
// seeks and neighbour queries (also of entries that are not there).
void expectSame(CdxTag &tag, const Model &model, std::mt19937 &rng,
                const std::function<std::string()> &randomKey)
{
    ASSERT_NO_THROW(tag.verify());
    ASSERT_EQ(tag.count(), model.size());
    std::vector<CdxEntry> walked;
    for (auto e = tag.first(); e; e = tag.next(*e))
        walked.push_back(*e);
    std::vector<CdxEntry> expected;
    for (const auto &[k, r] : model)
        expected.push_back({k, r});
    ASSERT_EQ(walked, expected);
    std::vector<CdxEntry> back;
    for (auto e = tag.last(); e; e = tag.prev(*e))
        back.push_back(*e);
    std::reverse(back.begin(), back.end());
    ASSERT_EQ(back, expected);
    for (int i = 0; i < 50; ++i) {
        std::string key = randomKey();
        uint32_t recno = rng() % 3000;
        auto lb = model.lower_bound({key, 0});
        EXPECT_EQ(tag.lowerBound(key), toEntry(lb, model));
        std::string prefix = key.substr(0, 1 + rng() % key.size());
        auto plb = model.lower_bound({prefix, 0});
        EXPECT_EQ(tag.lowerBound(prefix), toEntry(plb, model)) << prefix;
        auto after = model.upper_bound({key, recno});
        EXPECT_EQ(tag.next({key, recno}), toEntry(after, model));
        auto at = model.lower_bound({key, recno});
        EXPECT_EQ(tag.prev({key, recno}),
                  at == model.begin() ? std::nullopt : toEntry(std::prev(at), model));
    }
}

struct Workload {
    uint16_t keyLength;
    int keySpace;  // distinct key values, small to get equal keys
    size_t rounds; // grow and shrink cycles
    size_t peak;   // entries at the top of a cycle
};

// With `key`, the index is encrypted under it, and no tag name or key
// shows in the file.
void runRandomWorkload(const Workload &w, unsigned seed, const TableKey *key = nullptr)
{
    TempDir dir;
    std::mt19937 rng(seed);
    auto randomKey = [&] {
        std::string key = "K" + std::to_string(rng() % w.keySpace);
        key.resize(w.keyLength, rng() % 4 ? ' ' : 'x');
        return key;
    };
    Model model;
    auto anyEntry = [&] { // the entry at or after a random key
        auto it = model.lower_bound({randomKey(), 0});
        return it == model.end() ? model.begin() : it;
    };
    auto index = CdxIndex::create(dir / "t.cdx", qn::DefaultFileSystem(),
                                  key ? key->sharedCipher() : nullptr);
    CdxTag *tag = &index->writeTag(tagInfo(w.keyLength), {});
    for (size_t round = 0; round < w.rounds; ++round) {
        // Grow to the peak with some removals mixed in, then shrink to a few
        // entries (or none), so that leaves and interior nodes split, merge,
        // and the root grows and collapses.
        while (model.size() < w.peak) {
            CdxEntry e{randomKey(), uint32_t(1 + rng() % 3000)};
            tag->insert(e);
            model.insert({e.key, e.recno});
            if (model.count({e.key, e.recno}) > 1)
                model.erase(model.find({e.key, e.recno})); // exact duplicates are ignored
            if (rng() % 4 == 0) {
                auto it = anyEntry();
                ASSERT_TRUE(tag->remove({it->first, it->second}));
                model.erase(it);
            }
        }
        expectSame(*tag, model, rng, randomKey);
        EXPECT_FALSE(tag->remove({randomKey(), 99999}));

        if (round % 2 == 1) { // the file alone carries the tree across a reopen
            index->flush();
            index.reset();
            if (key) {
                const std::string bytes = qn::test::readFile(dir / "t.cdx");
                EXPECT_EQ(bytes.find("KEYS"), std::string::npos);
                for (const auto &entry : model)
                    ASSERT_EQ(bytes.find(entry.first), std::string::npos) << entry.first;
            }
            index = CdxIndex::open(dir / "t.cdx", true, qn::DefaultFileSystem(), key);
            tag = index->findTag("KEYS");
            ASSERT_NE(tag, nullptr);
            expectSame(*tag, model, rng, randomKey);
        }
        size_t keep = round + 1 == w.rounds ? 0 : rng() % 5;
        while (model.size() > keep) {
            auto it = anyEntry();
            ASSERT_TRUE(tag->remove({it->first, it->second}));
            model.erase(it);
        }
        expectSame(*tag, model, rng, randomKey);
    }
}

} // namespace

TEST(CdxUpdate, RandomInsertsAndRemovesMatchAModelWithShortKeys)
{
    runRandomWorkload({8, 4000, 4, 6000}, 1);
}

TEST(CdxUpdate, RandomInsertsAndRemovesMatchAModelWithLongKeys)
{
    // 120-byte keys: three entries per interior node, a handful per leaf, so a
    // few hundred entries make a tree five or six levels deep.
    runRandomWorkload({120, 300, 6, 500}, 2);
}

// Every page after the header goes through the cipher: nodes, tag headers
// patched with a new root, pages freed and used again.
TEST(CdxUpdate, RandomInsertsAndRemovesMatchAModelWhenEncrypted)
{
    const std::string password = "pw";
    const auto derivation = KeyDerivation::argon2id(64, 1, 1);
    const TableCipher::Salt salt = TableCipher::newSalt();
    TableCipher cipher(password, salt, derivation);
    KeyBlock block{salt, derivation, cipher.keyCheck()};
    TableKey key("t.dbf", block, password);
    runRandomWorkload({8, 400, 4, 900}, 11, &key);
    runRandomWorkload({60, 100, 3, 300}, 12, &key);
}

TEST(CdxUpdate, AscendingInsertsFillLeavesAsARebuildWould)
{
    TempDir dir;
    std::vector<CdxEntry> entries;
    for (uint32_t day = 0; day < 5000; ++day) {
        char key[9];
        std::snprintf(key, sizeof key, "%04u%02u%02u", 2000 + day / 372, 1 + day / 31 % 12,
                      1 + day % 31);
        entries.push_back({key, day + 1});
    }
    {
        auto index = CdxIndex::create(dir / "built.cdx");
        index->writeTag(tagInfo(8), entries);
    }
    {
        auto index = CdxIndex::create(dir / "grown.cdx");
        CdxTag &tag = index->writeTag(tagInfo(8), {});
        for (const CdxEntry &e : entries)
            tag.insert(e);
        tag.verify();
    }
    auto built = std::filesystem::file_size(dir / "built.cdx");
    auto grown = std::filesystem::file_size(dir / "grown.cdx");
    EXPECT_LT(grown, built * 11 / 10);
    auto index = CdxIndex::open(dir / "grown.cdx", false);
    EXPECT_EQ(index->tag(0).count(), 5000u);
    EXPECT_EQ(index->tag(0).last()->key, entries.back().key);
}

TEST(CdxUpdate, FreedPagesAreReusedAfterAFlush)
{
    TempDir dir;
    auto index = CdxIndex::create(dir / "t.cdx");
    CdxTag &tag = index->writeTag(tagInfo(8), {});
    std::mt19937 rng(5);
    std::vector<CdxEntry> entries;
    for (uint32_t r = 1; r <= 3000; ++r)
        entries.push_back({std::to_string(10000000 + rng() % 90000000), r});
    for (int cycle = 0; cycle < 4; ++cycle) {
        for (const CdxEntry &e : entries)
            tag.insert(e);
        for (const CdxEntry &e : entries)
            ASSERT_TRUE(tag.remove(e));
        index->flush();
    }
    auto afterFour = std::filesystem::file_size(dir / "t.cdx");
    for (int cycle = 0; cycle < 4; ++cycle) {
        for (const CdxEntry &e : entries)
            tag.insert(e);
        for (const CdxEntry &e : entries)
            ASSERT_TRUE(tag.remove(e));
        index->flush();
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "t.cdx"), afterFour);
    EXPECT_EQ(tag.count(), 0u);
    EXPECT_NO_THROW(tag.verify());
}

TEST(CdxUpdate, InsertedTreeIsReadByThePerlReader)
{
    if (std::system("perl -MXBase::Index -e 1 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Perl XBase::Index is not installed (libdbd-xbase-perl)";
    TempDir dir;
    Model model;
    std::mt19937 rng(9);
    {
        auto index = CdxIndex::create(dir / "t.cdx");
        CdxTag &tag = index->writeTag(tagInfo(20), {});
        for (uint32_t r = 1; r <= 4000; ++r) {
            std::string key = std::to_string(rng() % 100000);
            key.resize(20, ' ');
            tag.insert({key, r});
            model.insert({key, r});
        }
        for (int i = 0; i < 1500; ++i) {
            auto it = std::next(model.begin(), rng() % model.size());
            tag.remove({it->first, it->second});
            model.erase(it);
        }
    }
    qn::test::writeFile(dir / "list.pl",
                        "use XBase::Index; my $i = XBase::Index->new($ARGV[0], 'tag' => 'KEYS',"
                        " 'type' => 'char') or die; $i->prepare_select;"
                        " while (my ($k, $r) = $i->fetch) { $k =~ s/ +$//; print \"$k|$r\\n\"; }");
    std::string command =
        "perl '" + (dir / "list.pl").string() + "' '" + (dir / "t.cdx").string() + "' 2>&1";
    const std::string out = qn::test::runCommand(command).out;
    std::string expected;
    for (const auto &[k, r] : model)
        expected += k.substr(0, k.find_last_not_of(' ') + 1) + "|" + std::to_string(r) + "\n";
    EXPECT_EQ(out, expected);
}

TEST(CdxUpdate, DescendingTagWalksBackwardsThroughInserts)
{
    TempDir dir;
    auto index = CdxIndex::create(dir / "t.cdx");
    CdxTag &tag = index->writeTag(tagInfo(8, true), {});
    std::mt19937 rng(4);
    Model model;
    for (uint32_t r = 1; r <= 2000; ++r) {
        std::string key = std::to_string(10000000 + rng() % 1000);
        tag.insert({key, r});
        model.insert({key, r});
    }
    std::vector<CdxEntry> walked, expected;
    for (auto e = tag.first(); e; e = tag.next(*e))
        walked.push_back(*e);
    for (auto it = model.rbegin(); it != model.rend(); ++it)
        expected.push_back({it->first, it->second});
    EXPECT_EQ(walked, expected);
    auto seek = tag.lowerBound("10000500");
    auto it = model.upper_bound({"10000500", UINT32_MAX});
    ASSERT_NE(it, model.begin());
    --it;
    EXPECT_EQ(seek, (CdxEntry{it->first, it->second}));
}

TEST(CdxUpdate, PagesOrphanedBeforeAreUsedAgain)
{
    TempDir dir;
    std::vector<CdxEntry> entries;
    for (uint32_t r = 1; r <= 3000; ++r)
        entries.push_back({std::to_string(10000000 + r * 7919 % 90000000), r});
    {
        auto index = CdxIndex::create(dir / "t.cdx");
        index->writeTag(tagInfo(8), entries);
    }
    auto full = std::filesystem::file_size(dir / "t.cdx");
    {
        auto index = CdxIndex::open(dir / "t.cdx", true);
        for (const CdxEntry &e : entries)
            ASSERT_TRUE(index->tag(0).remove(e));
    } // the emptied pages stay in the file, linked from nowhere
    {
        auto index = CdxIndex::open(dir / "t.cdx", true);
        for (const CdxEntry &e : entries)
            index->tag(0).insert(e);
        index->tag(0).verify();
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "t.cdx"), full);

    // A file of another program with an orphaned old tag: its pages take the
    // new tag's nodes, and the listed tags stay as they were.
    std::filesystem::copy_file(qn::test::sourceDir() / "tests/xbase/fixtures/calls.CDX",
                               dir / "calls.cdx");
    auto before = std::filesystem::file_size(dir / "calls.cdx");
    std::vector<CdxEntry> calls;
    {
        auto index = CdxIndex::open(dir / "calls.cdx", true);
        CdxTag &callId = *index->findTag("CALL_ID");
        for (auto e = callId.first(); e; e = callId.next(*e))
            calls.push_back(*e);
        index->writeTag(tagInfo(8), {{"abcdefgh", 1}});
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "calls.cdx"), before + 1024); // the header only
    auto index = CdxIndex::open(dir / "calls.cdx", false);
    std::vector<CdxEntry> again;
    CdxTag &callId = *index->findTag("CALL_ID");
    for (auto e = callId.first(); e; e = callId.next(*e))
        again.push_back(*e);
    EXPECT_EQ(again, calls);
    EXPECT_EQ(index->findTag("KEYS")->first()->key, "abcdefgh");
    for (size_t i = 0; i < index->tagCount(); ++i)
        EXPECT_NO_THROW(index->tag(i).verify());
}
