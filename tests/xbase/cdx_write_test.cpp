#include "xbase/cdx_index.h"
#include "xbase/xbase_error.h"

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

using namespace qn::xbase;
using qn::test::readFile;
using qn::test::TempDir;

namespace {

// The independent reader: Perl's XBase::Index lists a tag in index order.
const char *kPerlLister = R"(use strict; use warnings; use XBase::Index;
my ($file, $tag, $kind) = @ARGV;
my $type = (defined $kind && $kind eq 'num') ? 'N' : 'char';
my $index = XBase::Index->new($file, 'tag' => $tag, 'type' => $type)
    or die "cannot open tag $tag of $file: " . (XBase::Index->errstr || '') . "\n";
$index->prepare_select;
while (my ($key, $recno) = $index->fetch) {
    $key =~ s/ +$// if $type eq 'char';
    print "$key|$recno\n";
}
)";

bool perlReaderAvailable()
{
    return std::system("perl -MXBase::Index -e 1 >/dev/null 2>&1") == 0;
}

std::string run(const std::string &command)
{
    return qn::test::runCommand(command).out;
}

std::vector<std::string> perlKeys(const TempDir &dir, const std::filesystem::path &file,
                                  const std::string &tag, const std::string &kind = "")
{
    qn::test::writeFile(dir / "lister.pl", kPerlLister);
    std::string out = run("perl '" + (dir / "lister.pl").string() + "' '" + file.string() + "' " +
                          tag + " " + kind + " 2>&1");
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string rtrim(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::vector<std::string> ourKeys(CdxTag &tag)
{
    std::vector<std::string> out;
    for (auto e = tag.first(); e; e = tag.next(*e))
        out.push_back(rtrim(e->key) + "|" + std::to_string(e->recno));
    return out;
}

CdxTagInfo dateTag()
{
    CdxTagInfo info;
    info.name = "DATE";
    info.expression = "date";
    info.keyLength = 8;
    return info;
}

// QUILLNK.CDX as the diary's index must look, built from the byte layout
// rather than from our writer: header, directory leaf, tag header, and the
// tag's root leaf at 0xA00 (`leaf` holds its 512 bytes).
std::string diaryIndexBytes(const std::string &leaf)
{
    std::string f(0xA00, '\0');
    auto put = [&](size_t at, std::initializer_list<int> bytes) {
        for (int b : bytes)
            f[at++] = char(b);
    };
    put(0x000, {0x00, 0x04, 0, 0}); // root of the directory
    put(0x00C, {0x0A, 0x00, 0xE0, 0x01});
    put(0x1F8, {1, 0, 1, 0, 0, 0, 1, 0}); // 504, 506, 510 = 1
    put(0x400, {3, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    put(0x40C, {0xE1, 0x01, 0xFF, 0xFF, 0, 0, 0x0F, 0x0F, 16, 4, 4, 3});
    put(0x418, {0x00, 0x06, 0x60});
    put(0x5FC, {'D', 'A', 'T', 'E'});
    put(0x600, {0x00, 0x0A, 0, 0});
    put(0x60C, {0x08, 0x00, 0x60, 0x01});
    put(0x7F8, {5, 0, 1, 0, 0, 0, 5, 0});
    put(0x800, {'d', 'a', 't', 'e', 0, 0});
    return f + leaf;
}

} // namespace

TEST(CdxWrite, DiaryIndexHasTheExactBytesOfTheFormat)
{
    TempDir dir;
    // Three dates of the worked example, written by a rebuild and by inserts.
    std::string leaf(512, '\0');
    const unsigned char head[] = {3,    0,    3,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xD8, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x0F, 0x0F,
                                  8,    4,    4,    2,    0x02, 0x00, 0x03, 0x07, 0x01, 0x07};
    std::memcpy(leaf.data(), head, sizeof head);
    std::memcpy(leaf.data() + 0x1F6, "7620261205", 10);
    std::string expected = diaryIndexBytes(leaf);

    std::vector<CdxEntry> entries{{"20261207", 1}, {"20261205", 2}, {"20261206", 3}};
    {
        auto index = CdxIndex::create(dir / "QUILLNK.CDX");
        index->writeTag(dateTag(), entries);
        index->flush();
    }
    EXPECT_EQ(readFile(dir / "QUILLNK.CDX"), expected);
    {
        auto index = CdxIndex::create(dir / "INSERTS.CDX");
        CdxTag &tag = index->writeTag(dateTag(), {});
        for (const CdxEntry &e : entries)
            tag.insert(e);
        index->flush();
    }
    EXPECT_EQ(readFile(dir / "INSERTS.CDX"), expected);

    // An empty tag is one empty root leaf.
    std::string empty(512, '\0');
    const unsigned char emptyHead[] = {3,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0xE8, 0x01, 0xFF, 0,
                                       0,    0,    0x0F, 0x0F, 8,    4,    4,    2};
    std::memcpy(empty.data(), emptyHead, sizeof emptyHead);
    {
        auto index = CdxIndex::create(dir / "EMPTY.CDX");
        index->writeTag(dateTag(), {});
    } // closing flushes
    EXPECT_EQ(readFile(dir / "EMPTY.CDX"), diaryIndexBytes(empty));

    if (!perlReaderAvailable())
        GTEST_SKIP() << "Perl XBase::Index is not installed (libdbd-xbase-perl)";
    EXPECT_EQ(perlKeys(dir, dir / "QUILLNK.CDX", "DATE"),
              (std::vector<std::string>{"20261205|2", "20261206|3", "20261207|1"}));
    EXPECT_TRUE(perlKeys(dir, dir / "EMPTY.CDX", "DATE").empty());
}

TEST(CdxWrite, LargeTagBuildsAMultiLevelTreeThatBothReadersList)
{
    TempDir dir;
    std::mt19937 rng(7);
    std::vector<CdxEntry> entries;
    std::multiset<std::pair<std::string, uint32_t>> model;
    const char *words[] = {"Audio", "Bay", "FILM", "Mix", " None", "", "ADR-Foley", "zz"};
    for (uint32_t r = 1; r <= 20000; ++r) {
        std::string key = words[rng() % 8];
        key += std::to_string(rng() % 5000);
        key.resize(12, ' ');
        entries.push_back({key, r});
        model.insert({key, r});
    }
    CdxTagInfo info;
    info.name = "name";
    info.expression = "UPPER(name)";
    info.keyLength = 12;
    {
        auto index = CdxIndex::create(dir / "big.cdx");
        index->writeTag(info, entries);
        index->writeTag(dateTag(), {{"20260101", 5}});
        index->flush();
    }
    auto index = CdxIndex::open(dir / "big.cdx", false);
    ASSERT_EQ(index->tagCount(), 2u);
    EXPECT_EQ(index->tag(0).info().name, "DATE");
    CdxTag &tag = index->tag(1);
    EXPECT_EQ(tag.info().name, "NAME");
    EXPECT_EQ(tag.info().expression, "UPPER(name)");
    EXPECT_EQ(tag.count(), 20000u);
    EXPECT_NO_THROW(tag.verify());
    std::vector<std::string> expected;
    for (const auto &[key, recno] : model)
        expected.push_back(rtrim(key) + "|" + std::to_string(recno));
    EXPECT_EQ(ourKeys(tag), expected);
    EXPECT_GT(std::filesystem::file_size(dir / "big.cdx"), 100u * 512); // many pages

    if (!perlReaderAvailable())
        GTEST_SKIP() << "Perl XBase::Index is not installed (libdbd-xbase-perl)";
    EXPECT_EQ(perlKeys(dir, dir / "big.cdx", "NAME"), expected);
    EXPECT_EQ(perlKeys(dir, dir / "big.cdx", "DATE"), std::vector<std::string>{"20260101|5"});
}

TEST(CdxWrite, BinaryKeysAndManyTagsReadBackEverywhere)
{
    TempDir dir;
    std::vector<std::string> names;
    {
        auto index = CdxIndex::create(dir / "many.cdx");
        std::mt19937 rng(3);
        for (int t = 0; t < 60; ++t) { // more tag names than one directory leaf holds
            std::string name = "T";
            for (int i = 0; i < 9; ++i)
                name += char('A' + rng() % 26);
            names.push_back(name);
            CdxTagInfo info;
            info.name = name;
            info.expression = "n";
            info.keyLength = 8;
            info.characterKeys = false;
            std::vector<CdxEntry> entries;
            for (int r = 1; r <= 300; ++r)
                entries.push_back({cdxNumericKey((r * 37 % 301) - 150 + t), uint32_t(r)});
            index->writeTag(info, entries);
        }
        CdxTagInfo info;
        info.name = "NUM";
        info.expression = "n";
        info.keyLength = 8;
        info.characterKeys = false;
        index->writeTag(info, {{cdxNumericKey(-2.5), 1},
                               {cdxNumericKey(0), 2},
                               {cdxNumericKey(1), 3},
                               {cdxNumericKey(1e6), 4}});
    }
    std::sort(names.begin(), names.end());
    auto index = CdxIndex::open(dir / "many.cdx", false);
    ASSERT_EQ(index->tagCount(), names.size() + 1);
    for (const std::string &name : names) {
        CdxTag *tag = index->findTag(name);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->count(), 300u);
        tag->setCharacterKeys(false);
        double previous = -1e9;
        for (auto e = tag->first(); e; e = tag->next(*e)) {
            double v = cdxNumericFromKey(e->key);
            EXPECT_GT(v, previous);
            previous = v;
        }
    }
    if (!perlReaderAvailable())
        GTEST_SKIP() << "Perl XBase::Index is not installed (libdbd-xbase-perl)";
    std::string listed = run("index_dump -type=char '" + (dir / "many.cdx").string() + "' 2>&1");
    for (const std::string &name : names)
        EXPECT_NE(listed.find(name), std::string::npos) << name;
    EXPECT_EQ(perlKeys(dir, dir / "many.cdx", "NUM", "num"),
              (std::vector<std::string>{"-2.5|1", "0|2", "1|3", "1000000|4"}));
}

TEST(CdxWrite, ReplacingAndRemovingTagsKeepsTheOthers)
{
    TempDir dir;
    auto index = CdxIndex::create(dir / "t.cdx");
    index->writeTag(dateTag(), {{"20260101", 1}, {"20260102", 2}});
    CdxTagInfo other = dateTag();
    other.name = "ALPHA";
    CdxTag &alpha = index->writeTag(other, {{"bbbbbbbb", 1}});
    CdxTag &date = *index->findTag("DATE");
    EXPECT_EQ(&index->tag(0), &alpha); // the directory is ordered by name
    // A replaced tag keeps its object and takes the new entries.
    CdxTag &again = index->writeTag(dateTag(), {{"20270101", 9}});
    EXPECT_EQ(&again, &date);
    EXPECT_EQ(date.count(), 1u);
    EXPECT_TRUE(index->removeTag("alpha"));
    EXPECT_FALSE(index->removeTag("alpha"));
    index->flush();
    auto reopened = CdxIndex::open(dir / "t.cdx", true);
    ASSERT_EQ(reopened->tagCount(), 1u);
    EXPECT_EQ(reopened->tag(0).first()->key, "20270101");
    EXPECT_NO_THROW(reopened->tag(0).verify());

    EXPECT_THROW(reopened->writeTag(CdxTagInfo{"bad name", "x", "", 8}, {}), XbaseError);
    EXPECT_THROW(reopened->writeTag(CdxTagInfo{"TOOLONGNAME", "x", "", 8}, {}), XbaseError);
    EXPECT_THROW(reopened->writeTag(CdxTagInfo{"K", "x", "", 0}, {}), XbaseError);
    EXPECT_THROW(reopened->writeTag(CdxTagInfo{"K", "x", "", 8}, {{"short", 1}}), XbaseError);
    EXPECT_THROW(reopened->tag(0).insert({"short", 1}), XbaseError);
}

TEST(CdxWrite, UniqueAndDescendingTags)
{
    TempDir dir;
    auto index = CdxIndex::create(dir / "t.cdx");
    CdxTagInfo info = dateTag();
    info.name = "U";
    info.unique = true;
    CdxTag &unique = index->writeTag(info, {{"bbbbbbbb", 3}, {"aaaaaaaa", 2}, {"bbbbbbbb", 1}});
    EXPECT_EQ(unique.count(), 2u);
    EXPECT_EQ(unique.lowerBound("b")->recno, 1u); // the first record of the key stays
    unique.insert({"aaaaaaaa", 7});
    EXPECT_EQ(unique.count(), 2u);

    info.name = "D";
    info.unique = false;
    info.descending = true;
    CdxTag &down = index->writeTag(info, {{"aaaaaaaa", 1}, {"cccccccc", 2}, {"bbbbbbbb", 3}});
    EXPECT_EQ(down.first()->key, "cccccccc");
    EXPECT_EQ(down.last()->key, "aaaaaaaa");
    EXPECT_EQ(down.next(*down.first())->key, "bbbbbbbb");
    EXPECT_EQ(down.prev(*down.last())->key, "bbbbbbbb");
    EXPECT_EQ(down.lowerBound("bz")->key, "bbbbbbbb"); // first key <= "bz" going down
    EXPECT_EQ(down.lowerBound("b")->key, "bbbbbbbb");
    EXPECT_FALSE(down.lowerBound("0"));
    index->flush();
    auto reopened = CdxIndex::open(dir / "t.cdx", false);
    EXPECT_TRUE(reopened->findTag("D")->info().descending);
    EXPECT_TRUE(reopened->findTag("U")->info().unique);
    EXPECT_EQ(reopened->findTag("D")->first()->key, "cccccccc");
}
