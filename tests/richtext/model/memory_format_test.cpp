// This file replaces the global allocation functions with malloc-based ones;
// the compiler cannot see that new and free then match.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"

using namespace qn;
using namespace qn::test;

// Allocation failures on demand: after `failAfter` more allocations succeed,
// the next one throws, then all succeed again.
namespace {
std::atomic<long> failAfter{-1};

struct FailAfter {
    explicit FailAfter(long n) { failAfter = n; }
    ~FailAfter() { failAfter = -1; }
};
} // namespace

void *operator new(std::size_t size)
{
    if (failAfter.load() >= 0 && failAfter.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

TEST(MemoryFormat, PlainAndBackGivesEveryCharacterCurrentAttr)
{
    TQnRTFText doc;
    Fill(doc, {"bold", "and more"});
    TParagraph *p = doc.FirstParagraph;
    p->Lines->Attrs[0].Style = kStyleBold;
    doc.InsertText(p->Next, 3, nullptr, U"\t");
    int changes = 0;
    doc.OnChange = [&] { ++changes; };

    doc.SetMemoryFormat(fmPlainText);
    EXPECT_EQ(doc.PlainMode, 1);
    EXPECT_EQ(doc.Header->RichMode, 0);
    EXPECT_EQ(doc.MemoryFormat(), fmPlainText);
    EXPECT_TRUE(ChainsConsistent(doc));
    EXPECT_EQ(DocText(doc), "bold|and\t more");
    EXPECT_EQ(changes, 1);

    // Plain mode: lines have no attributes and typing still works.
    TLine *line = p->Lines;
    EXPECT_EQ(line->Attrs, nullptr);
    EXPECT_EQ(line->Height, doc.PlainLineHeight);
    ASSERT_TRUE(doc.InsertChar(p, line, '!', 4));
    ASSERT_TRUE(doc.SplitParagraph(p, line, 2));
    TParagraph *newLine = nullptr;
    doc.NewParagraph(newLine, 8);
    EXPECT_EQ(newLine->Lines->Attrs, nullptr);
    TQnRTFText::FreeParagraphChain(newLine);

    doc.CurrentAttr = TCharAttr{};
    doc.CurrentAttr.FontIndex = 2;
    doc.CurrentAttr.Colors = 0x31;
    doc.CurrentAttr.Height = 18;
    doc.CurrentAttr.Ascent = 15;
    doc.CharWidths[static_cast<uint8_t>('o')] = 9;
    for (TParagraph *q = doc.FirstParagraph; q; q = q->Next)
        q->State = 0;
    doc.SetMemoryFormat(fmRichText);
    EXPECT_EQ(doc.PlainMode, 0);
    EXPECT_EQ(doc.Header->RichMode, 1);
    EXPECT_EQ(doc.CurrentAttr.Size, 10); // size 0 becomes 10
    EXPECT_TRUE(ChainsConsistent(doc));
    EXPECT_EQ(DocText(doc), "bo|ld!|and\t more");
    for (TParagraph *q = doc.FirstParagraph; q; q = q->Next) {
        EXPECT_EQ(q->State & 0x03, 0x03);
        for (TLine *l = q->Lines; l; l = l->Next) {
            EXPECT_EQ(l->Height, 18);
            EXPECT_EQ(l->Ascent, 15);
            for (int i = 0; i < l->Length; ++i) {
                TCharAttr expected = doc.CurrentAttr;
                expected.Width = doc.CharWidths[l->Text[i]];
                EXPECT_EQ(l->Attrs[i], expected);
            }
        }
    }
    EXPECT_EQ(doc.FirstParagraph->Lines->Attrs[1].Width, 9);
    EXPECT_EQ(changes, 2);

    // Switching to the format it already has only sets the flags.
    doc.SetMemoryFormat(fmRichText);
    EXPECT_EQ(changes, 2);
}

TEST(MemoryFormat, SuspendOnlyFlipsTheFlags)
{
    TQnRTFText doc;
    Fill(doc, {"text"});
    doc.Suspend = 1;
    doc.SetMemoryFormat(fmPlainText);
    EXPECT_EQ(doc.PlainMode, 1);
    EXPECT_EQ(doc.Header->RichMode, 0);
    EXPECT_NE(doc.FirstParagraph->Lines->Attrs, nullptr); // nothing converted
    doc.SetMemoryFormat(fmRichText);
    EXPECT_EQ(doc.PlainMode, 0);
    EXPECT_TRUE(ChainsConsistent(doc));

    // Back to rich after a suspended switch to plain: the kept arrays are rebuilt.
    doc.SetMemoryFormat(fmPlainText);
    doc.Suspend = 0;
    doc.FirstParagraph->Lines->Attrs[0].Style = kStyleBold;
    doc.SetMemoryFormat(fmRichText);
    EXPECT_EQ(doc.FirstParagraph->Lines->Attrs[0].Style, doc.CurrentAttr.Style);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(MemoryFormat, FailedSwitchToRichLeavesThePlainDocumentIntact)
{
    TQnRTFText doc;
    doc.SetMemoryFormat(fmPlainText);
    Fill(doc, {"one", "two", "three"});
    {
        FailAfter fail(1); // the second attribute array cannot be had
        doc.SetMemoryFormat(fmRichText);
    }
    EXPECT_EQ(doc.PlainMode, 1);
    EXPECT_EQ(doc.Header->RichMode, 0);
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        EXPECT_EQ(p->Lines->Attrs, nullptr);
    EXPECT_EQ(DocText(doc), "one|two|three");
    EXPECT_TRUE(ChainsConsistent(doc));

    doc.SetMemoryFormat(fmRichText);
    EXPECT_EQ(doc.PlainMode, 0);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(MemoryFormat, NewParagraphWithoutMemoryRaisesItsError)
{
    TQnRTFText doc;
    Fill(doc, {"a", "b"});
    for (long n : {0L, 1L, 2L}) { // the record, the line record, its buffer
        TParagraph *p = doc.FirstParagraph;
        try {
            FailAfter fail(n);
            doc.NewParagraph(p, 20);
            FAIL() << "no failure after " << n;
        } catch (const EQnRTFText &e) {
            EXPECT_STREQ(e.what(), "Out of Memory in\tNewParagraph");
        }
        EXPECT_EQ(p, doc.FirstParagraph);
    }
    EXPECT_EQ(DocText(doc), "a|b");
    EXPECT_TRUE(ChainsConsistent(doc));
}
