// Format recognition, loading, saving and the stored property of a document.

#include <gtest/gtest.h>

#include <filesystem>

#include "io_test_util.h"
#include "richtext/io/rtf_text_io.h"
#include "storage_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

namespace qn {
namespace {

using test::texts;

int recognise(const std::string &bytes)
{
    TQnMemoryStream s(bytes);
    return TQnRTFTextIo::RecogniseFormat(s);
}

TEST(StorageRecognition, RtfHtmlAndPlainText)
{
    EXPECT_EQ(recognise(" \r\n\t\b{\\rtf1 x}"), kFormatRtf);
    EXPECT_EQ(recognise("x{\\rtf1 x}"), kFormatText);
    EXPECT_EQ(recognise("{\\rt"), kFormatText);
    EXPECT_EQ(recognise("<HTML><body>x</body></HTML>"), kFormatHtml);
    EXPECT_EQ(recognise("Dear diary, today was <b>great</b>."), kFormatHtml);
    EXPECT_EQ(recognise("<H1>Title"), kFormatHtml);
    // Tags the recogniser does not count, or that are not closed on their line.
    EXPECT_EQ(recognise("<table><tr><td>1</td></tr></table>"), kFormatText);
    EXPECT_EQ(recognise("a <p\r> b"), kFormatText);
    EXPECT_EQ(recognise("x <bodybodyb> y"), kFormatText);
    EXPECT_EQ(recognise("1 < 2 and 3 > 2"), kFormatText);
    // Only the first 2000 bytes are looked at, and nothing after a zero byte.
    EXPECT_EQ(recognise(std::string(1998, 'a') + "<b>"), kFormatText);
    EXPECT_EQ(recognise(std::string(1996, 'a') + "<b>"), kFormatHtml);
    EXPECT_EQ(recognise(std::string("ab\0<b>", 6)), kFormatText);
    EXPECT_EQ(recognise(""), kFormatText);
}

TEST(StorageRecognition, KeepsTheStreamPosition)
{
    TQnMemoryStream s("abc  {\\rtf1 x}");
    s.Seek(3);
    EXPECT_EQ(TQnRTFTextIo::RecogniseFormat(s), kFormatRtf);
    EXPECT_EQ(s.Position(), 3);
}

TEST(StorageLoad, EmptyDocumentTakesTheStreamWhole)
{
    TQnRTFTextIo doc;
    doc.Header->Title = "old title";
    int loaded = 0;
    doc.OnLoaded = [&] { ++loaded; };
    TQnMemoryStream in("  {\\rtf1\\ansi {\\b Bold}\\par second}");
    EXPECT_EQ(doc.LoadFromStream(in), kFormatRtf);
    EXPECT_EQ(doc.ErrorState, kIoOk);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"Bold", "second"}));
    EXPECT_EQ(doc.Header->Title, "");
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(doc.Cursor.Paragraph, doc.FirstParagraph);
    EXPECT_EQ(doc.Cursor.Offset, 0);
}

TEST(StorageLoad, SmallFileStreamIsReadFromMemoryAndLeftAfterTheText)
{
    test::TempDir dir;
    test::writeFile(dir / "a.txt", "one\r\ntwo");
    TQnFileStream in;
    ASSERT_TRUE(in.Open(dir / "a.txt", TQnFileStream::ReadOnly));
    TQnRTFTextIo doc;
    EXPECT_EQ(doc.LoadFromStream(in), kFormatText);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(in.Position(), 8);
}

TEST(StorageLoad, IntoADocumentWithTextInsertsAtTheCursor)
{
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"Hello world"}, {"after"}});
    doc.SetCursorPosition(6, 0, 0, 0);
    TQnMemoryStream plain("new ");
    EXPECT_EQ(doc.LoadFromStream(plain), kFormatText);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"Hello new world", "after"}));
    int pos, line, par, off;
    doc.GetCursorPosition(pos, line, par, off);
    EXPECT_EQ(pos, 10);
    EXPECT_EQ(off, 10);

    // Paragraphs read split the cursor's paragraph.
    TQnMemoryStream rtf("{\\rtf1 A\\par B}");
    EXPECT_EQ(doc.LoadFromStream(rtf), kFormatRtf);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"Hello new A", "Bworld", "after"}));
    doc.GetCursorPosition(pos, line, par, off);
    EXPECT_EQ(par, 1);
    EXPECT_EQ(off, 1);
}

TEST(StorageLoad, LoadFormatIsTakenWithoutLooking)
{
    TQnRTFTextIo doc;
    doc.LoadFormat = kFormatText;
    TQnMemoryStream in("{\\rtf1 x}");
    EXPECT_EQ(doc.LoadFromStream(in), kFormatText);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"{\\rtf1 x}"}));
}

TEST(StorageLoad, LongPlainTextSwitchesToPlainMemory)
{
    TQnRTFTextIo doc;
    std::string text;
    while (text.size() <= static_cast<size_t>(kPlainModeThreshold))
        text += "a line of plain text\r\n";
    TQnMemoryStream in(text);
    EXPECT_EQ(doc.LoadFromStream(in), kFormatText);
    EXPECT_EQ(doc.MemoryFormat(), fmPlainText);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "a line of plain text");

    TQnRTFTextIo small;
    TQnMemoryStream in2("short");
    small.LoadFromStream(in2);
    EXPECT_EQ(small.MemoryFormat(), fmRichText);
}

TEST(StorageLoad, ReaderFailuresAreKeptInTheErrorState)
{
    TQnRTFTextIo doc;
    TQnMemoryStream cut("{\\rtf1 text\\pa");
    EXPECT_EQ(doc.LoadFromStream(cut), kFormatRtf);
    EXPECT_EQ(doc.ErrorState, kIoFailed);
    EXPECT_FALSE(doc.LastIoError.empty());

    // Without a reader nothing is read and the read counts as cut short.
    TQnMemoryStream in("x");
    doc.ReadWithReader(&in, nullptr);
    EXPECT_EQ(doc.ErrorState, kIoReading);

    // A reader that throws into an empty document leaves it empty.
    struct Failing : TQnTextReader {
        int Read(TQnStream &s, TParagraph *&first) override
        {
            TQnTextReader::Read(s, first);
            throw EQnRTFText("broken");
        }
    };
    TQnRTFTextIo empty;
    empty.CustomReader = [] { return std::make_unique<Failing>(); };
    TQnMemoryStream some("some text");
    empty.LoadFromStream(some);
    EXPECT_EQ(empty.ErrorState, kIoFailed);
    EXPECT_TRUE(empty.IsEmpty());
    // Running out of memory is reported as such.
    struct Exhausted : TQnTextReader {
        int Read(TQnStream &s, TParagraph *&first) override
        {
            TQnTextReader::Read(s, first);
            throw std::bad_alloc();
        }
    };
    TQnRTFTextIo starved;
    starved.CustomReader = [] { return std::make_unique<Exhausted>(); };
    TQnMemoryStream lots("lots of text");
    starved.LoadFromStream(lots);
    EXPECT_EQ(starved.ErrorState, kIoFailed);
    EXPECT_EQ(starved.LastIoError, kErrorReadMemory);
    EXPECT_TRUE(starved.IsEmpty());
    // ... and one with text keeps its text unchanged.
    test::buildLines(empty, {{"kept"}});
    TQnMemoryStream more("more");
    empty.LoadFromStream(more);
    EXPECT_EQ(texts(empty), (std::vector<std::string>{"kept"}));
}

TEST(StorageLoad, HtmlIsReadIntoTheDocument)
{
    TQnRTFTextIo doc;
    TQnMemoryStream in("<html><title>T</title><body><p>one<p><b>two</b></body></html>");
    EXPECT_EQ(doc.LoadFromStream(in), kFormatHtml);
    EXPECT_EQ(doc.ErrorState, kIoOk);
    EXPECT_EQ(texts(doc).back(), "two");
    EXPECT_TRUE(test::attrAt(doc, doc.ParagraphCount() - 1, 0).Style & kStyleBold);

    // And into a document with text, at the cursor.
    TQnRTFTextIo mixed;
    test::buildLines(mixed, {{"ab"}});
    mixed.SetCursorPosition(1, 0, 0, 0);
    TQnMemoryStream html("<b>X</b>");
    EXPECT_EQ(mixed.LoadFromStream(html), kFormatHtml);
    EXPECT_EQ(texts(mixed), (std::vector<std::string>{"aXb"}));
}

TEST(StorageSave, EmptyDocumentIsPlainTextUnlessSavedToAFile)
{
    TQnRTFTextIo doc;
    TQnMemoryStream out;
    EXPECT_EQ(doc.SaveToStream(out), 0);
    EXPECT_EQ(out.Bytes(), std::string(1, '\0'));

    test::TempDir dir;
    doc.SaveToFile(dir / "empty.rtf");
    EXPECT_EQ(test::readFile(dir / "empty.rtf").rfind("{\\rtf1", 0), 0u);
    EXPECT_FALSE(doc.ForceRtf);
    EXPECT_EQ(doc.SaveFormat, kFormatAuto);
}

TEST(StorageSave, FormatFollowsSettingsThenTheLoadedFormat)
{
    test::TempDir dir;
    test::writeFile(dir / "notes.txt", "first\r\nsecond\r\n");
    TQnRTFTextIo doc;
    doc.LoadFromFile(dir / "notes.txt");
    EXPECT_EQ(doc.Header->LoadedFormat, kFormatText);
    TQnMemoryStream out;
    EXPECT_EQ(doc.SaveToStream(out), 0);
    EXPECT_EQ(out.Bytes(), std::string("first\r\nsecond\r\n\0", 16));
    // Saved to a file of the same name it stays plain text.
    doc.SaveToFile(dir / "notes.txt");
    EXPECT_EQ(test::readFile(dir / "notes.txt"), std::string("first\r\nsecond\r\n\0", 16));

    doc.SaveFormat = kFormatRtf;
    TQnMemoryStream rtf;
    doc.SaveToStream(rtf);
    EXPECT_EQ(rtf.Bytes().rfind("{\\rtf1", 0), 0u);

    // A rich document that was never loaded is saved as RTF, a plain one as text.
    TQnRTFTextIo fresh;
    test::buildLines(fresh, {{"x"}});
    EXPECT_EQ(fresh.SaveFormatFor(true), kFormatRtf);
    fresh.SetMemoryFormat(fmPlainText);
    EXPECT_EQ(fresh.SaveFormatFor(true), kFormatText);
}

TEST(StorageSave, FileNameChoosesTheFormat)
{
    test::TempDir dir;
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"text"}});
    doc.SaveFormat = kFormatText;
    doc.SaveToFile(dir / "Entry.RTF");
    EXPECT_EQ(test::readFile(dir / "Entry.RTF").rfind("{\\rtf1", 0), 0u);
    doc.SaveToFile(dir / "entry.dat");
    EXPECT_EQ(test::readFile(dir / "entry.dat"), std::string("text\0", 5));
    EXPECT_EQ(doc.SaveFormat, kFormatText);

    doc.SaveToFile(dir / "page.html");
    const std::string html = test::readFile(dir / "page.html");
    EXPECT_NE(html.find("<html"), std::string::npos) << html;
    EXPECT_NE(html.find("text"), std::string::npos);
    TQnRTFTextIo back;
    back.LoadFromFile(dir / "page.html");
    EXPECT_EQ(back.Header->LoadedFormat, kFormatHtml);
}

TEST(StorageSave, SelectionIsWrittenInTextOrder)
{
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"Hello"}, {"world"}});
    doc.SaveFormat = kFormatText;
    TQnMemoryStream none;
    doc.SaveSelectionToStream(none);
    EXPECT_EQ(none.Size(), 0);
    EXPECT_EQ(doc.ErrorState, kIoOk);

    TParagraph *p0 = doc.FirstParagraph, *p1 = p0->Next;
    doc.BlockStarted = true;
    doc.BlockAnchor = {p1, p1->Lines, 3};
    doc.BlockEnd = {p0, p0->Lines, 2};
    doc.Reversed = true;
    TQnMemoryStream out;
    doc.SaveSelectionToStream(out);
    EXPECT_EQ(out.Bytes(), std::string("llo\r\nwor\0", 9));
}

TEST(StorageData, StoredAsRtfWithFourZeroBytes)
{
    TQnRTFTextIo doc;
    EXPECT_FALSE(doc.StoresData());
    test::buildLines(doc, {{"Data one"}, {"two"}});
    doc.FirstParagraph->Next->Alignment = kAlignCenter;
    EXPECT_TRUE(doc.StoresData());
    TQnMemoryStream data;
    doc.WriteData(data);
    const std::string bytes = data.Bytes();
    EXPECT_EQ(bytes.rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 5), std::string("}\0\0\0\0", 5));

    TQnRTFTextIo back;
    test::buildLines(back, {{"replaced"}});
    data.Seek(0);
    back.ReadData(data);
    EXPECT_EQ(texts(back), (std::vector<std::string>{"Data one", "two"}));
    EXPECT_EQ(back.FirstParagraph->Next->Alignment, kAlignCenter);
    EXPECT_TRUE(back.FirstParagraph->State & kStateRebreak);
}

} // namespace
} // namespace qn

namespace qn {
namespace {

TEST(StorageLoad, ATableCellRefusesInsertedParagraphs)
{
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"before"}, {"cell"}});
    TParagraph *cell = doc.ParagraphAt(1);
    cell->ParFlags |= kParTableCell;
    doc.Cursor = {cell, cell->Lines, 2};
    TQnMemoryStream in("{\\rtf1 one\\par two}");
    doc.LoadFromStream(in);
    EXPECT_EQ(doc.ErrorState, kIoFailed);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"before", "cell"}));
    EXPECT_EQ(doc.ReadingChain, nullptr);
}

TEST(StorageLoad, RandomBytesNeverBreakALoad)
{
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    const std::string pieces[] = {"{\\rtf1 ", "\\par ", "{\\b ",   "}",       "<b>",
                                  "<p>",      "\r\n",   "\\cell ", "\\row ",  "\\trowd\\cellx1000 ",
                                  "\\intbl ", "text ",  "\\'e9",   "<table>", "\0"};
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int n = static_cast<int>(next() % 40);
        for (int i = 0; i < n; ++i) {
            if (next() % 4 == 0)
                bytes.push_back(static_cast<char>(next() >> 16));
            else
                bytes += pieces[(next() >> 8) % std::size(pieces)];
        }
        TQnRTFTextIo doc;
        if (round % 2)
            test::buildLines(doc, {{"some", "lines"}, {"of text"}});
        doc.SetCursorPosition(static_cast<int>(next() % 20), 0, 0, 0);
        TQnMemoryStream in(bytes);
        doc.LoadFromStream(in);
        EXPECT_TRUE(doc.CursorIsValid()) << round;
        TQnMemoryStream out;
        doc.SaveFormat = kFormatRtf;
        EXPECT_EQ(doc.SaveToStream(out), 0);
        TQnRTFTextIo back;
        out.Seek(0);
        EXPECT_EQ(back.LoadFromStream(out), kFormatRtf);
        EXPECT_EQ(back.ErrorState, kIoOk) << round;
    }
}

} // namespace
} // namespace qn
