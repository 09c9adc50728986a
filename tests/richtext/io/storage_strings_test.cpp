// The document as a list of strings, and the component that holds a document.

#include <gtest/gtest.h>

#include "richtext/io/rtf_storage.h"
#include "richtext/io/rtf_strings.h"
#include "storage_test_util.h"

namespace qn {
namespace {

using test::texts;

TEST(StorageStrings, EditsByIndex)
{
    TQnRTFTextIo doc;
    TQnRtfStrings list(doc);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_THROW(list.Get(0), std::out_of_range);

    list.Insert(5, U"b"); // an empty document's paragraph takes the text
    EXPECT_EQ(list.Count(), 1);
    list.Insert(0, U"a");
    list.Add(U"d");
    list.Insert(2, U"c");
    list.Insert(99, U"e");
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Get(i), std::u32string(1, static_cast<char32_t>('a' + i)));

    list.Put(1, U"B");
    list.Delete(3);
    EXPECT_THROW(list.Delete(4), std::out_of_range);
    EXPECT_THROW(list.Put(-1, U"x"), std::out_of_range);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"a", "B", "c", "e"}));
    EXPECT_TRUE(doc.CursorIsValid());

    int changes = 0;
    doc.OnChange = [&] { ++changes; };
    list.EndUpdate();
    EXPECT_EQ(changes, 1);

    TQnMemoryStream out;
    EXPECT_EQ(list.SaveToStream(out), 0);
    EXPECT_EQ(out.Bytes(), std::string("a\r\nB\r\nc\r\ne\0", 11));

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(StorageStrings, LoadingRecognisesTheFormatWhateverLoadFormatSays)
{
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"old"}, {"text"}});
    doc.LoadFormat = kFormatText;
    TQnRtfStrings list(doc);
    TQnMemoryStream in("{\\rtf1 one\\par two}");
    list.LoadFromStream(in);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(doc.LoadFormat, kFormatText);
}

TEST(StorageComponent, HoldsACopyOfTheDocumentGiven)
{
    TQnRTFTextIo source;
    test::buildLines(source, {{"kept"}, {"copy"}});
    TQnRtfStorage storage;
    EXPECT_TRUE(storage.RtfText().IsEmpty());
    storage.SetRtfText(source);
    source.Clear();
    EXPECT_EQ(texts(storage.RtfText()), (std::vector<std::string>{"kept", "copy"}));
}

} // namespace
} // namespace qn
