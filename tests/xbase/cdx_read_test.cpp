#include "xbase/cdx_index.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace qn::xbase;
using qn::test::sourceDir;

namespace {

std::filesystem::path fixture(const std::string &name)
{
    return sourceDir() / "tests/xbase/fixtures" / name;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string rtrim(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string show(const CdxEntry &e, bool integerKeys)
{
    std::string key = integerKeys ? std::to_string(cdxIntegerFromKey(e.key)) : rtrim(e.key);
    return key + "|" + std::to_string(e.recno);
}

std::vector<std::string> forwards(CdxTag &tag, bool integerKeys)
{
    std::vector<std::string> out;
    for (auto e = tag.first(); e; e = tag.next(*e))
        out.push_back(show(*e, integerKeys));
    return out;
}

std::vector<std::string> backwards(CdxTag &tag, bool integerKeys)
{
    std::vector<std::string> out;
    for (auto e = tag.last(); e; e = tag.prev(*e))
        out.insert(out.begin(), show(*e, integerKeys));
    return out;
}

struct Sample {
    std::string file;
    bool integerKeys;
};

} // namespace

TEST(CdxRead, FixtureTagsListExactlyAsTheIndependentReaderDoes)
{
    for (const Sample &sample :
         {Sample{"rooms.cdx", false}, Sample{"setup.CDX", false}, Sample{"calls.CDX", true}}) {
        SCOPED_TRACE(sample.file);
        auto index = CdxIndex::open(fixture(sample.file), false);
        auto names = lines(qn::test::readFile(fixture("expected/" + sample.file + ".tags.txt")));
        ASSERT_EQ(index->tagCount(), names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            CdxTag &tag = index->tag(i);
            SCOPED_TRACE(tag.info().name);
            EXPECT_EQ(tag.info().name, names[i]);
            EXPECT_EQ(index->findTag(names[i]), &tag);
            EXPECT_EQ(tag.info().characterKeys, !sample.integerKeys);
            auto expected = lines(
                qn::test::readFile(fixture("expected/" + sample.file + "." + names[i] + ".txt")));
            EXPECT_EQ(forwards(tag, sample.integerKeys), expected);
            EXPECT_EQ(backwards(tag, sample.integerKeys), expected);
            EXPECT_EQ(tag.count(), expected.size());
            EXPECT_NO_THROW(tag.verify());
        }
    }
}

TEST(CdxRead, TagHeadersGiveExpressionsAndKeyLengths)
{
    auto rooms = CdxIndex::open(fixture("rooms.cdx"), false);
    CdxTag *audio = rooms->findTag("audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->info().keyLength, 10);
    EXPECT_EQ(audio->info().expression, "roomname");
    EXPECT_EQ(audio->info().forExpression, "TRIM(UPPER(facility))==\"AUDIO\"");
    EXPECT_TRUE(rooms->findTag("ROOMNAME")->info().forExpression.empty());
    EXPECT_FALSE(rooms->findTag("ROOMNAME")->info().descending);
    EXPECT_EQ(rooms->findTag("nosuch"), nullptr);
    EXPECT_THROW(rooms->tag(5), XbaseError);

    auto setup = CdxIndex::open(fixture("setup.CDX"), false);
    EXPECT_EQ(setup->tag(0).info().keyLength, 50);
    auto calls = CdxIndex::open(fixture("calls.CDX"), false);
    EXPECT_EQ(calls->findTag("CALL_ID")->info().keyLength, 4);
}

TEST(CdxRead, SeeksFindPrefixesAndNeighboursOfAbsentEntries)
{
    auto rooms = CdxIndex::open(fixture("rooms.cdx"), false);
    CdxTag &tag = *rooms->findTag("ROOMNAME");
    auto e = tag.lowerBound("Bay");
    ASSERT_TRUE(e);
    EXPECT_EQ(rtrim(e->key), "Bay  1");
    EXPECT_EQ(e->recno, 2u);
    e = tag.lowerBound("BAY 7     ");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->recno, 41u);
    EXPECT_FALSE(tag.lowerBound("\xff"));
    EXPECT_EQ(tag.lowerBound("")->recno, 42u); // the empty prefix: the first entry

    // The neighbours of an entry that is not there are those of its place.
    auto after = tag.next(CdxEntry{"Bay  1    ", 3});
    ASSERT_TRUE(after);
    EXPECT_EQ(rtrim(after->key), "Bay  2");
    auto before = tag.prev(CdxEntry{"Bay  1    ", 3});
    ASSERT_TRUE(before);
    EXPECT_EQ(before->recno, 2u);
    EXPECT_FALSE(tag.prev(*tag.first()));
    EXPECT_FALSE(tag.next(*tag.last()));

    auto calls = CdxIndex::open(fixture("calls.CDX"), false);
    CdxTag &contact = *calls->findTag("CONTACT_ID");
    auto found = contact.lowerBound(cdxIntegerKey(2));
    ASSERT_TRUE(found);
    EXPECT_GE(cdxIntegerFromKey(found->key), 2);
}

TEST(CdxRead, ReadOnlyIndexRefusesChanges)
{
    auto rooms = CdxIndex::open(fixture("rooms.cdx"), false);
    CdxTag &tag = rooms->tag(0);
    EXPECT_THROW(tag.insert(CdxEntry{std::string(10, 'x'), 1}), XbaseError);
    EXPECT_THROW(tag.remove(*tag.first()), XbaseError);
    EXPECT_THROW(rooms->writeTag(tag.info(), {}), XbaseError);
    EXPECT_THROW(rooms->removeTag("AUDIO"), XbaseError);
}

TEST(CdxKeys, NumericAndIntegerKeysSortAsTheirValues)
{
    std::vector<double> numbers{-1e300, -2.5, -1, -0.001, 0, 0.001, 1, 2, 2.5, 1e300};
    for (size_t i = 0; i + 1 < numbers.size(); ++i) {
        EXPECT_LT(cdxNumericKey(numbers[i]), cdxNumericKey(numbers[i + 1])) << numbers[i];
        EXPECT_EQ(cdxNumericFromKey(cdxNumericKey(numbers[i])), numbers[i]);
    }
    EXPECT_EQ(cdxNumericKey(-0.0), cdxNumericKey(0.0));
    EXPECT_EQ(cdxNumericKey(1.0), std::string("\xBF\xF0\0\0\0\0\0\0", 8));
    std::vector<int32_t> ints{INT32_MIN, -70000, -1, 0, 1, 255, 256, 70000, INT32_MAX};
    for (size_t i = 0; i + 1 < ints.size(); ++i) {
        EXPECT_LT(cdxIntegerKey(ints[i]), cdxIntegerKey(ints[i + 1])) << ints[i];
        EXPECT_EQ(cdxIntegerFromKey(cdxIntegerKey(ints[i])), ints[i]);
    }
    EXPECT_EQ(cdxIntegerKey(1), std::string("\x80\0\0\x01", 4));
}
