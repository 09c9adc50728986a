// Random sequences of edits keep the document sound, and what they leave is
// written as RTF and read back to the same text.
#include <gtest/gtest.h>

#include <random>

#include "edit_test_util.h"
#include "richtext/io/stream.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

std::vector<std::string> roundTrip(EditDoc &doc)
{
    TQnMemoryStream out;
    doc.SaveFormat = kFormatRtf;
    doc.ForceRtf = true;
    doc.SaveToStream(out);
    doc.ForceRtf = false;
    TQnRTFTextIo back;
    TQnMemoryStream in(out.Bytes());
    EXPECT_EQ(back.LoadFromStream(in), kFormatRtf);
    std::vector<std::string> texts;
    for (const TParagraph *p = back.FirstParagraph; p; p = p->Next)
        texts.push_back(Ansi(TQnRTFText::ParagraphText(p)));
    // A table at the very end is followed by an empty paragraph once read.
    if (doc.LastParagraph()->IsTableCell() && !texts.empty() && texts.back().empty() &&
        int(texts.size()) == doc.ParagraphCount() + 1)
        texts.pop_back();
    return texts;
}

// Every line's text, top and height, and the document height.
std::string layoutOf(EditDoc &doc)
{
    std::string out;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        for (const TLine *l = p->Lines; l; l = l->Next)
            out += "[" + Ansi(std::u32string_view(l->Text, l->Length)) + "] " +
                   std::to_string(l->Top) + "+" + std::to_string(l->Height) + "\n";
        out += "--\n";
    }
    return out + std::to_string(doc.DocumentHeight);
}

// Whether a line holds nothing visible: its height then comes from whatever
// font was measured last, which a whole layout and an edit need not share.
bool hasInvisibleLine(const EditDoc &doc)
{
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        for (const TLine *l = p->Lines; l; l = l->Next) {
            bool visible = l->Length == 0 && !(l->Attrs[0].Style & kStyleHidden);
            for (int i = 0; i < l->Length && !visible; ++i)
                visible = !(l->Attrs[i].Style & kStyleHidden);
            if (!visible)
                return true;
        }
    return false;
}

class RandomEdits {
public:
    RandomEdits(EditDoc &doc, unsigned seed) : doc_(doc), rng_(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void SelectRandom()
    {
        const int count = doc_.ParagraphCount();
        const int p1 = Pick(count), p2 = Pick(count);
        doc_.Select(p1, Pick(doc_.ParagraphLength(p1) + 1), p2, Pick(doc_.ParagraphLength(p2) + 1));
    }

    char RandomChar()
    {
        static const std::string special = "{}\\;\t\n \xE4\xDF\x80\xA0";
        if (Pick(6) == 0)
            return special[size_t(Pick(int(special.size())))];
        if (Pick(5) == 0)
            return ' ';
        return static_cast<char>('a' + Pick(26));
    }

    // One random edit; returns what it was, for the failure message.
    std::string Step()
    {
        switch (Pick(14)) {
        case 0:
        case 1:
        case 2: {
            std::string text;
            for (int i = Pick(12); i >= 0; --i)
                text += RandomChar();
            doc_.Type(text);
            return "type";
        }
        case 3:
            doc_.Key(8);
            return "backspace";
        case 4:
            doc_.Key(127);
            return "delete";
        case 5:
            doc_.Key(13);
            return "enter";
        case 6:
            doc_.Key(12);
            return "page break";
        case 7:
            SelectRandom();
            doc_.DeleteBlock();
            return "delete block";
        case 8:
            SelectRandom();
            doc_.Type(std::string(1, RandomChar()));
            return "replace block";
        case 9: {
            SelectRandom();
            TCharAttr a;
            a.FontIndex = static_cast<uint8_t>(Pick(2));
            a.Size = static_cast<uint8_t>(6 + Pick(20));
            a.Colors = static_cast<uint8_t>(Pick(256));
            const uint16_t styles[] = {kStyleBold,        kStyleItalic,    kStyleUnderline,
                                       kStyleSuperscript, kStyleSubscript, kStyleHidden,
                                       kStyleStrikeout,   kStyleRaised};
            a.Style = styles[Pick(8)];
            doc_.SetSelectionAttr(a, static_cast<uint8_t>(1 + Pick(255)));
            doc_.DropBlock();
            return "attributes";
        }
        case 10:
            doc_.MoveCursor(Pick(12), Pick(3) == 0);
            return "move";
        case 11:
            doc_.At(Pick(doc_.ParagraphCount()), Pick(40));
            return "place";
        case 12:
            doc_.SetAlignment(static_cast<uint8_t>(Pick(4)));
            return "align";
        default:
            doc_.SetIndents(Pick(3) ? kIndentUnchanged : Pick(2000), Pick(2000),
                            Pick(2) ? kIndentUnchanged : Pick(3000));
            return "indents";
        }
    }

private:
    EditDoc &doc_;
    std::mt19937 rng_;
};

TEST(RandomEdits, DocumentStaysSoundAndRoundTripsThroughRtf)
{
    for (unsigned seed = 1; seed <= 30; ++seed) {
        EditDoc doc(seed % 2 ? 181 : 0, 200);
        doc.FindOrAddFont("Times New Roman");
        doc.SetText({"The first paragraph of the test.", "",
                     "A second one, longer than a line "
                     "of the narrow window can hold."});
        RandomEdits edits(doc, seed);
        std::string history;
        for (int step = 0; step < 300; ++step) {
            history += edits.Step() + " ";
            doc.Canvas.ClearOps();
            const std::string broken = checkInvariants(doc);
            ASSERT_EQ(broken, "") << "seed " << seed << " after: " << history;
            ASSERT_TRUE(doc.CursorIsValid()) << "seed " << seed;
            // What the edits left laid out is what a whole new layout gives.
            if (!hasInvisibleLine(doc)) {
                const std::string incremental = layoutOf(doc);
                doc.ReformatAll();
                ASSERT_EQ(incremental, layoutOf(doc)) << "seed " << seed << " after: " << history;
            }
            if (step % 50 == 49) {
                ASSERT_EQ(roundTrip(doc), doc.Texts()) << "seed " << seed << " after: " << history;
            }
        }
        ASSERT_EQ(roundTrip(doc), doc.Texts()) << "seed " << seed;
    }
}

TEST(RandomEdits, TablesKeepTheirCellsThroughBlockDeletions)
{
    for (unsigned seed = 100; seed < 108; ++seed) {
        EditDoc doc;
        doc.SetText({"intro", "c1", "c2", "d1", "d2", "outro"});
        for (int row : {1, 3}) {
            doc.Par(row)->ParFlags = kParTableCell | kParCellRowOpen;
            doc.Par(row)->TabMask = 127; // the left half
            doc.Par(row + 1)->ParFlags = kParTableCell | kParCellNotFirst;
            doc.Par(row + 1)->TabMask = 0x00007F7F; // the right half
        }
        doc.ReformatAll();
        RandomEdits edits(doc, seed);
        std::string history;
        for (int step = 0; step < 150; ++step) {
            history += edits.Step() + " ";
            doc.Canvas.ClearOps();
            ASSERT_EQ(checkInvariants(doc), "") << "seed " << seed << " after: " << history;
        }
        ASSERT_EQ(roundTrip(doc), doc.Texts()) << "seed " << seed;
    }
}

} // namespace
} // namespace qn::test
