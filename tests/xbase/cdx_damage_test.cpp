#include "xbase/cdx_index.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

using namespace qn::xbase;
using qn::test::readFile;
using qn::test::sourceDir;
using qn::test::TempDir;
using qn::test::writeFile;

namespace {

std::string fixtureBytes(const std::string &name)
{
    return readFile(sourceDir() / "tests/xbase/fixtures" / name);
}

uint32_t le32(const std::string &f, size_t at)
{
    return uint8_t(f[at]) | uint8_t(f[at + 1]) << 8 | uint8_t(f[at + 2]) << 16 |
           uint32_t(uint8_t(f[at + 3])) << 24;
}

void putLe32(std::string &f, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + i] = char(v >> (8 * i));
}

void putBe32(std::string &f, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + i] = char(v >> (24 - 8 * i));
}

// Everything a reader does with an index, with a bound on the steps so that a
// hang shows as a failure. Returns the listing of every tag, or throws.
std::string readEverything(const std::filesystem::path &file)
{
    auto index = CdxIndex::open(file, false);
    std::string out;
    for (size_t i = 0; i < index->tagCount(); ++i) {
        CdxTag &tag = index->tag(i);
        out += tag.info().name + ":";
        size_t steps = 0;
        for (auto e = tag.first(); e; e = tag.next(*e)) {
            out += e->key + "|" + std::to_string(e->recno) + ";";
            if (++steps > 100000)
                throw std::runtime_error("endless walk forwards");
        }
        steps = 0;
        for (auto e = tag.last(); e; e = tag.prev(*e))
            if (++steps > 100000)
                throw std::runtime_error("endless walk backwards");
        out += std::to_string(tag.count()) + "\n";
        tag.lowerBound("M");
        tag.verify();
    }
    return out;
}

// Changes as the engine makes them, on a copy opened for writing.
void changeEverything(const std::filesystem::path &file, std::mt19937 &rng)
{
    auto index = CdxIndex::open(file, true);
    for (size_t i = 0; i < index->tagCount(); ++i) {
        CdxTag &tag = index->tag(i);
        for (int n = 0; n < 30; ++n) {
            std::string key(tag.info().keyLength, char('A' + rng() % 26));
            tag.insert({key, uint32_t(rng() % 500)});
            if (auto e = tag.lowerBound(std::string(1, char('A' + rng() % 26))))
                tag.remove(*e);
        }
    }
    CdxTagInfo info;
    info.name = "ADDED";
    info.expression = "x";
    info.keyLength = 6;
    index->writeTag(info, {{"abcdef", 1}});
    index->flush();
}

// A file of our own with a deep tree (120-byte keys: three entries per
// interior node) next to the fixtures.
std::string deepIndexBytes(const TempDir &dir)
{
    {
        auto index = CdxIndex::create(dir / "deep.cdx");
        CdxTagInfo info;
        info.name = "DEEP";
        info.expression = "k";
        info.keyLength = 120;
        std::vector<CdxEntry> entries;
        for (uint32_t r = 1; r <= 200; ++r) {
            std::string key = "key" + std::to_string(r * 7919 % 1000);
            key.resize(120, ' ');
            entries.push_back({key, r});
        }
        index->writeTag(info, entries);
    }
    return readFile(dir / "deep.cdx");
}

void expectDamageReported(const std::string &bytes, const TempDir &dir, const std::string &what)
{
    writeFile(dir / "bad.cdx", bytes);
    try {
        readEverything(dir / "bad.cdx");
        ADD_FAILURE() << what << ": no error";
    } catch (const XbaseError &e) {
        EXPECT_NE(std::string(e.what()).find("bad.cdx"), std::string::npos) << e.what();
    }
}

} // namespace

TEST(CdxDamage, TruncatedCopiesFailClearlyOrReadTheSame)
{
    TempDir dir;
    for (std::string name : {"rooms.cdx", "calls.CDX", "setup.CDX"}) {
        std::string bytes = fixtureBytes(name);
        writeFile(dir / "whole.cdx", bytes);
        std::string whole = readEverything(dir / "whole.cdx");
        for (size_t size = 0; size < bytes.size(); size += size < 1600 ? 97 : 384) {
            SCOPED_TRACE(name + " cut to " + std::to_string(size));
            writeFile(dir / "cut.cdx", bytes.substr(0, size));
            try {
                // Cutting off pages that nothing points to changes nothing.
                EXPECT_EQ(readEverything(dir / "cut.cdx"), whole);
            } catch (const XbaseError &) {
            }
        }
        writeFile(dir / "cut.cdx", bytes.substr(0, 1024));
        EXPECT_THROW(readEverything(dir / "cut.cdx"), XbaseError);
    }
}

TEST(CdxDamage, BrokenHeadersAndCountsAreReported)
{
    TempDir dir;
    std::string rooms = fixtureBytes("rooms.cdx");
    std::string bad = rooms;
    bad[12] = 0; // key length 0 in the directory header
    bad[13] = 0;
    expectDamageReported(bad, dir, "directory key length");
    bad = rooms;
    putLe32(bad, 0, 0x12345); // directory root off the page grid
    expectDamageReported(bad, dir, "directory root");
    bad = rooms;
    putLe32(bad, 0, 0x100000); // directory root past the end
    expectDamageReported(bad, dir, "directory root past the end");
    bad = rooms;
    // The ROOMNAME tag header lies at 0x600: its root past the end, then an
    // impossible key length.
    putLe32(bad, 0x600, 0x7FFFFE00);
    expectDamageReported(bad, dir, "tag root");
    bad = rooms;
    bad[0x60C] = char(0xFF);
    bad[0x60D] = char(0xFF);
    expectDamageReported(bad, dir, "tag key length");
    bad = rooms;
    bad[0xA02] = char(0xFF); // leaf count far beyond what 512 bytes hold
    expectDamageReported(bad, dir, "leaf count");
    bad = rooms;
    bad[0xA18] = char(0xFF); // first entry: duplicate count without a previous key
    bad[0xA19] = char(0xFF);
    bad[0xA1A] = char(0x0F);
    expectDamageReported(bad, dir, "leaf entry");
    bad = rooms;
    bad[0xA17] = 0; // zero bytes per entry
    expectDamageReported(bad, dir, "entry width");
    bad = rooms;
    std::string dirLeaf(512, char(0xEE)); // garbage directory
    bad.replace(0x400, 512, dirLeaf);
    expectDamageReported(bad, dir, "garbage directory");
}

TEST(CdxDamage, LoopsInChildAndSiblingLinksAreReported)
{
    TempDir dir;
    std::string deep = deepIndexBytes(dir);
    // The only directory entry: 16 bits of record number (the header's offset).
    uint32_t header = le32(deep, 0x400 + 24) & 0xFFFF;
    ASSERT_LT(header + 4, deep.size());
    uint32_t root = le32(deep, header);
    ASSERT_LT(root + 512, deep.size() + 1);
    ASSERT_EQ(deep[root] & 2, 0) << "the root should be an interior node";
    const size_t childAt = 12 + 120 + 4; // child pointer of the first interior entry (BE)
    uint32_t child = uint8_t(deep[root + childAt]) << 24 | uint8_t(deep[root + childAt + 1]) << 16 |
                     uint8_t(deep[root + childAt + 2]) << 8 | uint8_t(deep[root + childAt + 3]);

    std::string bad = deep;
    putBe32(bad, root + childAt, root); // the root is its own child
    expectDamageReported(bad, dir, "root links to itself");

    bad = deep;
    putBe32(bad, child + childAt, root); // a node links back to the root
    expectDamageReported(bad, dir, "link back to the root");

    bad = deep;
    putBe32(bad, child + childAt, child); // a node is its own child
    expectDamageReported(bad, dir, "node links to itself");

    bad = deep;
    // The second root entry leads to the same subtree as the first.
    putBe32(bad, root + childAt + 128, child);
    expectDamageReported(bad, dir, "subtree linked twice");

    bad = deep;
    putLe32(bad, child + 8, child); // sibling link loops on itself
    expectDamageReported(bad, dir, "sibling loop");

    // Changing a tag through a looping sibling link must not hang either.
    writeFile(dir / "bad.cdx", bad);
    std::mt19937 rng(1);
    try {
        changeEverything(dir / "bad.cdx", rng);
    } catch (const XbaseError &) {
    }
}

TEST(CdxDamage, RandomByteMutationsNeverCrashOrHang)
{
    TempDir dir;
    std::vector<std::string> originals{fixtureBytes("rooms.cdx"), fixtureBytes("calls.CDX"),
                                       fixtureBytes("setup.CDX"), deepIndexBytes(dir)};
    std::mt19937 rng(20240607);
    int reported = 0, survived = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = originals[round % originals.size()];
        int mutations = 1 + rng() % 8;
        for (int m = 0; m < mutations; ++m) {
            // Mostly the first bytes of pages (node and header fields), sometimes anywhere.
            size_t page = rng() % (bytes.size() / 512);
            size_t at = rng() % 3 ? page * 512 + rng() % 32 : rng() % bytes.size();
            bytes[at] = char(rng() % 4 ? rng() : (rng() % 2 ? 0 : 0xFF));
        }
        writeFile(dir / "fuzz.cdx", bytes);
        SCOPED_TRACE("round " + std::to_string(round));
        try {
            readEverything(dir / "fuzz.cdx");
            if (round % 3 == 0) { // writing costs an fsync: a third of the rounds
                changeEverything(dir / "fuzz.cdx", rng);
                readEverything(dir / "fuzz.cdx");
            }
            ++survived;
        } catch (const XbaseError &) {
            ++reported;
        }
    }
    EXPECT_GT(reported, 0);
    EXPECT_GT(survived, 0);
}
