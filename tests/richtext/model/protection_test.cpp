#include <gtest/gtest.h>

#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"

using namespace qn;
using namespace qn::test;

namespace {

struct FieldLog {
    std::vector<std::pair<std::string, int>> calls;
    void attach(TQnRTFText &doc)
    {
        doc.OnFieldText = [this](const std::u32string &text, int tag) {
            calls.emplace_back(Ansi(text), tag);
        };
    }
};

// "Dear <insert point 7><auto text 'Anna'>, hi" with the field guarded.
void FieldDocument(TQnRTFText &doc)
{
    Fill(doc, {"Dear #Anna, hi"});
    TLine *line = doc.FirstParagraph->Lines;
    line->Attrs[5].Style = kStyleInsertPoint;
    line->Attrs[5].Tag = 7;
    for (int i = 6; i < 10; ++i) {
        line->Attrs[i].Style = kStyleAutoText;
        line->Attrs[i].Tag = 7;
    }
}

} // namespace

TEST(Protection, GuardedCharactersRefuseEditsAndReportTheirRun)
{
    TQnRTFText doc;
    FieldDocument(doc);
    FieldLog log;
    log.attach(doc);
    TParagraph *p = doc.FirstParagraph;
    TLine *line = p->Lines;
    doc.ProtectOptions = kProtectAutoText;

    EXPECT_FALSE(doc.DeleteChar(p, line, 8));
    EXPECT_FALSE(doc.InsertChar(p, line, 'x', 7));
    EXPECT_FALSE(doc.SplitParagraph(p, line, 6));
    EXPECT_EQ(doc.ParagraphText(0), U"Dear #Anna, hi");
    ASSERT_EQ(log.calls.size(), 3u);
    // The insert point and its automatic text count as one run.
    EXPECT_EQ(log.calls[0].first, "#Anna");
    EXPECT_EQ(log.calls[0].second, 7);

    // Unguarded places still take edits; the insert point itself is guarded
    // only in overwrite mode.
    EXPECT_TRUE(doc.InsertChar(p, line, '!', 14));
    doc.ProtectOptions = kProtectInsertPoint;
    EXPECT_TRUE(doc.InsertChar(p, line, '_', 5));
    EXPECT_EQ(doc.ParagraphText(0), U"Dear _#Anna, hi!");
    doc.InsertMode = 0;
    EXPECT_FALSE(doc.InsertChar(p, line, '_', 6));
    doc.InsertMode = 1;

    // ProtectOff lifts every guard.
    doc.ProtectOptions = 0xFF;
    doc.ProtectOff = 1;
    EXPECT_TRUE(doc.DeleteChar(p, line, 7));
    EXPECT_EQ(doc.ParagraphText(0), U"Dear _#nna, hi!");
}

TEST(Protection, EachOptionGuardsItsMark)
{
    TQnRTFText doc;
    Fill(doc, {"abcde"});
    TParagraph *p = doc.FirstParagraph;
    TLine *line = p->Lines;
    for (int i = 0; i < 5; ++i)
        line->Attrs[i].Width = 16;
    line->Attrs[0].Style = kStyleShadow;
    line->Attrs[1].Style = kStyleHidden;
    line->Attrs[2].Width = 0;
    struct Case {
        uint8_t option;
        int position;
    } cases[] = {{kProtectShadow, 0}, {kProtectHidden, 1}, {kProtectZeroWidth, 2}};
    for (const Case &c : cases) {
        doc.ProtectOptions = c.option;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(doc.IsGuarded(p, line, i), i == c.position)
                << "option " << int(c.option) << " position " << i;
        EXPECT_FALSE(doc.IsGuarded(p, line, 5)); // the line end is never guarded by character
    }
    // Plain mode has no character marks to guard.
    doc.ProtectOptions = 0x1F;
    doc.SetMemoryFormat(fmPlainText);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(doc.IsGuarded(p, p->Lines, i));
}

TEST(Protection, ProtectedParagraphRefusesWholeAndReportsItsText)
{
    TQnRTFText doc;
    Fill(doc, {"open", "locked", "open too"});
    FieldLog log;
    log.attach(doc);
    TParagraph *locked = doc.ParagraphAt(1);
    locked->ParFlags = kParProtected;
    doc.ProtectOptions = kProtectParagraph;

    EXPECT_FALSE(doc.InsertChar(locked, locked->Lines, 'x', 0));
    EXPECT_FALSE(doc.DeleteChar(locked, locked->Lines, 6)); // no join out of it either
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0], std::make_pair(std::string("locked"), 0));

    // The paragraph before may not swallow it by joining.
    TParagraph *first = doc.FirstParagraph;
    EXPECT_FALSE(doc.DeleteChar(first, first->Lines, 4));
    EXPECT_EQ(DocText(doc), "open|locked|open too");

    // Without the paragraph option the flag alone guards nothing.
    doc.ProtectOptions = 0;
    EXPECT_TRUE(doc.DeleteChar(first, first->Lines, 4));
    EXPECT_EQ(DocText(doc), "openlocked|open too");
}
