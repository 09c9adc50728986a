// What painting draws, recorded on the fixed-metrics canvas: runs and their
// colours, the selection, underlines, objects, page-break marks, borders,
// the empty document, and the modes that paint nothing.
#include <gtest/gtest.h>

#include "platform/winmath.h"
#include "tests/richtext/layout/layout_test_util.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;
using qn::test::LayoutDoc;

namespace {

std::vector<const CanvasOp *> textOps(const RecordingCanvas &c)
{
    return c.OpsOfKind(CanvasOp::Glyphs);
}

const CanvasOp *findText(const RecordingCanvas &c, const std::string &text)
{
    for (const CanvasOp *o : textOps(c))
        if (o->Text == text)
            return o;
    return nullptr;
}

} // namespace

TEST(Painting, RunsAtTheBaseLineWithTheirColoursAndSelection)
{
    LayoutDoc doc(200, 100);
    doc.SetText({"abcdef", "ghi"});
    TLine *l = doc.Line(0, 0);
    for (int i = 3; i < 6; ++i)
        l->Attrs[i].Colors = 0x41; // red on yellow
    doc.ReformatAll();
    // Select from "b" in the first paragraph to "h" in the second.
    doc.BlockStarted = true;
    doc.BlockAnchor = {doc.Par(0), doc.Line(0, 0), 1};
    doc.BlockEnd = {doc.Par(1), doc.Line(1, 0), 1};
    doc.Canvas.ClearOps();
    doc.PaintAll();
    const RecordingCanvas &c = doc.Canvas;
    ASSERT_NE(findText(c, "a"), nullptr);
    EXPECT_EQ(findText(c, "a")->Y, 13);
    EXPECT_EQ(findText(c, "a")->Color, 0u);
    const CanvasOp *bc = findText(c, "bc");
    ASSERT_NE(bc, nullptr);
    EXPECT_EQ(bc->X, 7);
    EXPECT_EQ(bc->Color, kSysColorHighlightText);
    const CanvasOp *def = findText(c, "def");
    ASSERT_NE(def, nullptr) << "a change of colour ends a run";
    EXPECT_EQ(def->Color, kSysColorHighlightText);
    const CanvasOp *g = findText(c, "g");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Y, 16 + 13);
    EXPECT_EQ(findText(c, "hi")->Color, 0u);
    // The selected runs are filled with the highlight over the line's height.
    bool highlight = false, yellow = false;
    for (const CanvasOp *f : c.OpsOfKind(CanvasOp::Fill)) {
        if (f->Color == kSysColorHighlight && f->Rect == CanvasRect{7, 0, 19, 16})
            highlight = true;
        if (f->Color == Rgb(255, 255, 0))
            yellow = true;
    }
    EXPECT_TRUE(highlight);
    EXPECT_FALSE(yellow) << "selected text keeps no background of its own";

    // Unselected, the coloured run is red on yellow; a hidden selection hides.
    doc.DropBlock();
    doc.Canvas.ClearOps();
    doc.PaintAll();
    def = findText(doc.Canvas, "def");
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->Color, Rgb(255, 0, 0));
    EXPECT_EQ(def->Brush, Rgb(255, 255, 0));
    EXPECT_NE(findText(doc.Canvas, "abc"), nullptr);
}

TEST(Painting, UnderlinesSuperscriptAndHiddenText)
{
    LayoutDoc doc(300, 100);
    doc.SetText({"ab cd ef gh"});
    TLine *l = doc.Line(0, 0);
    l->Attrs[0].Style = l->Attrs[1].Style = kStyleUnderline;
    l->Attrs[0].Colors = l->Attrs[1].Colors = 0x03; // blue
    l->Attrs[3].Style = l->Attrs[4].Style = kStyleDoubleUnderline;
    l->Attrs[6].Style = l->Attrs[7].Style = kStyleSuperscript;
    l->Attrs[9].Style = l->Attrs[10].Style = kStyleHidden;
    doc.ReformatAll();
    doc.Canvas.ClearOps();
    doc.PaintAll();
    const RecordingCanvas &c = doc.Canvas;
    std::vector<const CanvasOp *> lines;
    for (const CanvasOp *o : c.OpsOfKind(CanvasOp::Line))
        lines.push_back(o);
    // Underline: in the font's colour under "ab", one glyph-row below the base line.
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0]->Color, Rgb(0, 0, 255));
    EXPECT_EQ(lines[0]->From, (CanvasPoint{1, 13 + 2}));
    EXPECT_EQ(lines[0]->To, (CanvasPoint{12, 13 + 2}));
    // The hyperlink mark: green, and doubled.
    EXPECT_EQ(lines[1]->Color, Rgb(0, 128, 0));
    EXPECT_EQ(lines[2]->Color, Rgb(0, 128, 0));
    EXPECT_GT(lines[2]->From.Y, lines[1]->From.Y);
    // Superscript: two thirds of the size, raised by a third of the line.
    const CanvasOp *ef = findText(c, "ef");
    ASSERT_NE(ef, nullptr);
    EXPECT_EQ(ef->Font.SizePoints, 7);
    EXPECT_EQ(ef->Y, 13 - 16 / 3);
    EXPECT_EQ(findText(c, "gh"), nullptr) << "hidden text is not drawn";
    EXPECT_EQ(doc.XOfChar(doc.Par(0), doc.Line(0, 0), 11),
              doc.XOfChar(doc.Par(0), doc.Line(0, 0), 9));

    // Superscript at size 1 keeps size 1; subscript at 12 is 8, lowered.
    TCharAttr tiny;
    tiny.Size = 1;
    tiny.Style = kStyleSuperscript;
    doc.SelectFont(tiny);
    EXPECT_EQ(doc.Canvas.Font().SizePoints, 1);
    tiny.Size = 12;
    tiny.Style = kStyleSubscript;
    doc.SelectFont(tiny);
    EXPECT_EQ(doc.Canvas.Font().SizePoints, 8);
    // An insert point shows in red; a font index of 100 is refused.
    TCharAttr field;
    field.Style = kStyleInsertPoint;
    doc.SelectFont(field);
    EXPECT_EQ(doc.Canvas.TextColor(), 0x0000FFu);
    field.FontIndex = 100;
    EXPECT_THROW(doc.SelectFont(field), EQnRTFText);
}

TEST(Painting, TheEmptyDocumentAndModesThatPaintNothing)
{
    LayoutDoc doc(200, 100);
    doc.FreeAllParagraphs();
    doc.Canvas.ClearOps();
    doc.PaintAll();
    const CanvasOp *empty = findText(doc.Canvas, "<empty>");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->X, (200 - 42) / 2);
    EXPECT_EQ(empty->Y, (100 - 16) / 2 + 13);

    LayoutDoc printing(200, 100);
    printing.SetText({"text"});
    printing.PaintFlags |= kPaintPrinting;
    printing.Canvas.ClearOps();
    printing.PaintAll();
    printing.PaintBand(0, 0, 50, 50);
    EXPECT_TRUE(printing.Canvas.Ops.empty());
    printing.PaintFlags &= static_cast<uint8_t>(~kPaintPrinting);
    printing.PaintBand(0, 0, 0, 50);
    EXPECT_TRUE(printing.Canvas.Ops.empty()) << "an empty band";
    // Printing paints through PaintLines, without page marks or hooks.
    int hooks = 0;
    printing.BeforePaint = [&] { ++hooks; };
    printing.PaintFlags |= kPaintPrinting;
    printing.PaintLines(0, 100);
    EXPECT_NE(findText(printing.Canvas, "text"), nullptr);
    EXPECT_EQ(hooks, 0);
    // Locked: nothing is measured or painted.
    LayoutDoc locked(200, 100);
    locked.PaintFlags2 |= kPaint2Locked;
    locked.SetText({"abc"});
    locked.Canvas.ClearOps();
    locked.PaintAll();
    EXPECT_TRUE(locked.Canvas.Ops.empty());
    locked.SetPaintFlags2(0); // unlocking lays the text out
    EXPECT_EQ(locked.Line(0, 0)->Attrs[0].Width, 6);
}

TEST(Painting, ClipBandAndTheSpaceBelowTheText)
{
    LayoutDoc doc(200, 100);
    doc.SetText({"one", "two", "three"});
    int before = 0, after = 0;
    doc.BeforePaint = [&] { ++before; };
    doc.AfterPaint = [&] { ++after; };
    doc.Canvas.ClearOps();
    doc.PaintBand(0, 16, 16, 200);
    EXPECT_EQ(doc.Canvas.AllText(), "two") << "only the line in the band";
    auto clips = doc.Canvas.OpsOfKind(CanvasOp::Clip);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0]->Rect, (CanvasRect{-1, 0, 202, 64}));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    doc.Canvas.ClearOps();
    doc.PaintAll();
    const auto fills = doc.Canvas.OpsOfKind(CanvasOp::Fill);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills.back()->Rect, (CanvasRect{0, 48, 200, 100}));
    EXPECT_EQ(fills.back()->Color, kSysColorWindow);
    doc.PaintFlags2 |= kPaint2WhitePaper;
    doc.Canvas.ClearOps();
    doc.PaintAll();
    EXPECT_EQ(doc.Canvas.OpsOfKind(CanvasOp::Fill).back()->Color, Rgb(255, 255, 255));
}

// Paragraphs above a band are passed by their tops alone: every band of a
// long, wrapped and scrolled document paints exactly the lines in it.
TEST(Painting, EachBandPaintsTheLinesInIt)
{
    LayoutDoc doc(80, 160);
    std::vector<std::string> paragraphs;
    for (int i = 0; i < 40; ++i)
        paragraphs.push_back(std::string(size_t(1 + i % 3), char('a' + i % 26)) +
                             " word words wordy w" + std::string(size_t(i % 5), 'x'));
    doc.SetText(paragraphs);
    for (const int scroll : {0, 100, 333}) {
        doc.ScrollY = scroll;
        for (int top = 0; top < 160; top += 16) {
            std::string expected;
            for (TParagraph *p = doc.FirstParagraph; p; p = p->Next)
                for (TLine *l = p->Lines; l; l = l->Next) {
                    const int y = l->Top - scroll;
                    if (y < top + 16 && y + l->Height > top)
                        expected += Ansi(std::u32string_view(l->Text, l->Length));
                }
            doc.Canvas.ClearOps();
            doc.PaintBand(0, top, 16, 80);
            EXPECT_EQ(doc.Canvas.AllText(), expected) << "scroll " << scroll << ", band " << top;
        }
    }
}

TEST(Painting, PageBreakMarks)
{
    LayoutDoc doc(200, 2000);
    std::vector<std::string> text(60, "x");
    doc.SetText(text);
    doc.Par(3)->ParFlags |= kParPageBreak;
    doc.ReformatAll();
    std::vector<std::string> labels;
    auto marks = [&] {
        doc.Canvas.ClearOps();
        doc.PaintAll();
        std::vector<std::pair<int, PenStyle>> found;
        for (const CanvasOp *o : doc.Canvas.OpsOfKind(CanvasOp::Line))
            if (o->From.X == 0 && o->To.X == 199)
                found.emplace_back(o->From.Y, o->Pen);
        labels.clear();
        for (const CanvasOp *o : doc.Canvas.OpsOfKind(CanvasOp::Glyphs))
            if (o->Text != "x")
                labels.push_back(o->Text + "@" + std::to_string(o->Y));
        return found;
    };
    // A sign of its own: a dotted rule across the text at the top of the
    // line that starts the page, labelled right of the line's text.
    // Automatic breaks are not marked by default.
    EXPECT_EQ(marks(), (std::vector<std::pair<int, PenStyle>>{{48, PenStyle::Dot}}));
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].substr(0, 11), "page break@");
    EXPECT_GT(std::stoi(labels[0].substr(11)), 48) << "the label is within its line";
    doc.SetPaintFlags(doc.PaintFlags & ~kPaintNoAutoBreakMarks);
    // The automatic break: the first line more than 864 below line 3's top.
    EXPECT_EQ(marks(), (std::vector<std::pair<int, PenStyle>>{{48, PenStyle::Dot},
                                                              {48 + 880, PenStyle::Dot}}));
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[1].substr(0, 5), "page@");
    // The marks never change the text's own look.
    for (const CanvasOp *o : doc.Canvas.OpsOfKind(CanvasOp::Glyphs))
        if (o->Text == "x")
            EXPECT_FALSE(o->Font.Underline);
}

TEST(Painting, BordersAndTheTableGrid)
{
    LayoutDoc doc(201, 200);
    doc.SetText({"boxed", "boxed too", "free"});
    for (int i = 0; i < 2; ++i) {
        TParagraph *p = doc.Par(i);
        p->BorderFlags = kBorderOn | kBorderBox;
        p->BorderSpaceColor = 0x03; // blue, no gap
        p->BorderWidth = 0;
    }
    doc.ReformatAll();
    doc.Canvas.ClearOps();
    doc.PaintAll();
    std::vector<const CanvasOp *> lines = doc.Canvas.OpsOfKind(CanvasOp::Line);
    int tops = 0, bottoms = 0, sides = 0;
    for (const CanvasOp *o : lines) {
        EXPECT_EQ(o->Color, Rgb(0, 0, 255));
        if (o->From.Y == o->To.Y && o->From.Y == 0)
            ++tops;
        else if (o->From.Y == o->To.Y && o->From.Y == 31)
            ++bottoms;
        else if (o->From.X == o->To.X)
            ++sides;
    }
    // One box around the run of two paragraphs: the shared side is not drawn.
    EXPECT_EQ(tops, 1);
    EXPECT_EQ(bottoms, 1);
    EXPECT_EQ(sides, 4);
    EXPECT_EQ(lines.size(), 6u);
    // Width in points, dotted style, double lines.
    TParagraph *p = doc.Par(0);
    p->BorderWidth = 3; // 4 pixels
    p->BorderStyle = kBorderDotted;
    p->BorderFlags = kBorderOn | kBorderTop | kBorderDouble;
    doc.Par(1)->BorderFlags = 0;
    doc.Canvas.ClearOps();
    doc.PaintAll();
    lines = doc.Canvas.OpsOfKind(CanvasOp::Line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->PenWidth, 4);
    EXPECT_EQ(lines[0]->Pen, PenStyle::Dot);
    EXPECT_EQ(lines[1]->From.Y, 8);

    // A grey grid around table cells when asked for.
    doc.SetText({"a", "b"});
    TParagraph *c1 = doc.Par(0), *c2 = doc.Par(1);
    c1->ParFlags = kParTableCell | kParCellRowOpen;
    c2->ParFlags = kParTableCell | kParCellNotFirst;
    c1->SetCellWidth(127);
    c2->SetCellLeft(127);
    c2->SetCellWidth(128);
    doc.ReformatAll();
    doc.Canvas.ClearOps();
    doc.PaintAll();
    EXPECT_TRUE(doc.Canvas.OpsOfKind(CanvasOp::Line).empty());
    doc.PaintGrayTable = true;
    doc.Canvas.ClearOps();
    doc.PaintAll();
    lines = doc.Canvas.OpsOfKind(CanvasOp::Line);
    EXPECT_EQ(lines.size(), 8u);
    for (const CanvasOp *o : lines)
        EXPECT_EQ(o->Color, kSysColorButtonShadow);
}

TEST(Painting, PicturesAndPlaceholders)
{
    LayoutDoc doc(300, 200);
    doc.SetText({"ab"});
    auto dib = std::make_shared<TQnGraphic>();
    dib->Kind = gkDib;
    dib->Data = {1, 2, 3};
    TQnObject *picture = doc.AddObject(dib, 0);
    picture->Width = 720; // half an inch: 48 pixels
    picture->Height = 360;
    auto meta = std::make_shared<TQnGraphic>();
    meta->Kind = gkMetafile;
    TQnObject *metafile = doc.AddObject(meta, 0);
    metafile->Width = metafile->Height = 300; // 20 pixels
    TCharAttr attr;
    attr.Style = kStyleObject;
    attr.Tag = static_cast<int16_t>(picture->Id);
    doc.InsertText(doc.Par(0), 1, &attr, U32("\x02"));
    attr.Tag = static_cast<int16_t>(metafile->Id);
    doc.InsertText(doc.Par(0), 2, &attr, U32("\x02"));
    doc.ReformatAll();
    TLine *l = doc.Line(0, 0);
    ASSERT_EQ(l->Length, 4);
    EXPECT_EQ(l->Attrs[1].Width, 48);
    EXPECT_EQ(l->Height, 24 + 3) << "an object stands on the base line";
    EXPECT_EQ(l->Ascent, 24);
    doc.Canvas.ClearOps();
    doc.PaintAll();
    auto dibs = doc.Canvas.OpsOfKind(CanvasOp::Dib);
    ASSERT_EQ(dibs.size(), 1u);
    EXPECT_EQ(dibs[0]->Rect, (CanvasRect{7, 0, 55, 24}));
    ASSERT_EQ(doc.PaintedObjects().size(), 2u);
    EXPECT_EQ(doc.PaintedObjects()[1].Rect, (CanvasRect{55, 4, 75, 24}));
    EXPECT_EQ(findText(doc.Canvas, "b")->X, 75);
    // The metafile is a framed placeholder of its size.
    bool frame = false;
    for (const CanvasOp *f : doc.Canvas.OpsOfKind(CanvasOp::Fill))
        if (f->Color == kSysColorButtonShadow && f->Rect == CanvasRect{55, 4, 75, 5})
            frame = true;
    EXPECT_TRUE(frame);
    // A picture the canvas cannot decode falls back to the placeholder.
    doc.Canvas.SetDibDrawable(false);
    doc.Canvas.ClearOps();
    doc.PaintAll();
    EXPECT_TRUE(doc.Canvas.OpsOfKind(CanvasOp::Dib).empty());
    // Clicks find the objects; a cleared document forgets them.
    doc.Clear();
    EXPECT_TRUE(doc.PaintedObjects().empty());
}

TEST(Painting, APictureSurvivesLayoutAndPaintingByteForByte)
{
    const std::string rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 a"
        "{\\pict\\wmetafile8\\picw10\\pich20\\picwgoal150\\pichgoal300\r\n"
        "0100090000035000000000002700000000000400000003010800050000000b0200000000\r\n"
        "050000000c021400140003000000000000}b\\par}";
    auto save = [](TQnRTFTextIo &doc) {
        TQnMemoryStream out;
        doc.SaveFormat = kFormatRtf;
        doc.SaveToStream(out);
        return out.Bytes();
    };
    TQnRTFTextIo plain;
    TQnMemoryStream in1(rtf);
    ASSERT_EQ(plain.LoadFromStream(in1), kFormatRtf);
    const std::string before = save(plain);

    LayoutDoc doc(300, 200);
    TQnMemoryStream in2(rtf);
    ASSERT_EQ(doc.LoadFromStream(in2), kFormatRtf);
    TLine *l = doc.Line(0, 0);
    ASSERT_EQ(l->Length, 3);
    EXPECT_EQ(l->Attrs[1].Width, 10) << "150 twips at 96 pixels per inch";
    doc.Canvas.ClearOps();
    doc.PaintAll();
    EXPECT_TRUE(doc.Canvas.OpsOfKind(CanvasOp::Dib).empty()) << "a metafile is a placeholder";
    EXPECT_EQ(doc.PaintedObjects().size(), 1u);
    EXPECT_EQ(save(doc), before);
}

TEST(Painting, RunBackgroundsAndTheFlagsThatLeaveThePaper)
{
    LayoutDoc doc(200, 100);
    doc.SetText({"abc"});
    auto runFills = [&] {
        doc.Canvas.ClearOps();
        doc.PaintAll();
        int n = 0;
        for (const CanvasOp *f : doc.Canvas.OpsOfKind(CanvasOp::Fill))
            if (f->Rect == CanvasRect{1, 0, 19, 16})
                ++n;
        return n;
    };
    EXPECT_EQ(runFills(), 1) << "runs are painted opaque by default";
    doc.PaintFlags2 |= kPaint2NoRunPaper;
    EXPECT_EQ(runFills(), 0);
    doc.Line(0, 0)->Attrs[1].Colors = 0x40; // a yellow background still shows
    doc.Canvas.ClearOps();
    doc.PaintAll();
    bool yellow = false;
    for (const CanvasOp *f : doc.Canvas.OpsOfKind(CanvasOp::Fill))
        yellow |= f->Color == Rgb(255, 255, 0) && f->Rect == CanvasRect{7, 0, 13, 16};
    EXPECT_TRUE(yellow);
}

TEST(Painting, AReferenceDeviceGivesPrinterTrueWidths)
{
    LayoutDoc doc(0, 100);
    RecordingCanvas printer(600, 600, kTechnologyPrinter);
    doc.ReferenceDevice = &printer;
    doc.ScaleX = doc.ScaleY = 96.0 / 600.0;
    doc.SetText({"abc"});
    // 10 pt at 600 dpi: em 83, glyphs 41 wide, 41 * 0.16 = 6.56 -> 7.
    EXPECT_EQ(doc.Line(0, 0)->Attrs[0].Width, 7);
    EXPECT_EQ(doc.Line(0, 0)->Height, MulDiv(83 + 20, 16, 100));
}
