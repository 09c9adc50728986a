// What a flat button draws, on the recording canvas: frames, the four
// bitmap layouts, the grey look, the disabled look and the drop-down mark.
#include "platform/recording_canvas.h"
#include "widgets/button_pictures.h"
#include "widgets/flat_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

namespace {

constexpr ColorRef kMagenta = Rgb(255, 0, 255);

// A w x h picture on magenta with a blue block inside (1 pixel margin).
CanvasBitmap picture(int w, int h)
{
    CanvasBitmap b(w, h, kMagenta);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            b.Set(x, y, Rgb(0, 0, 200));
    return b;
}

class FlatButtonPaintTest : public testing::Test {
protected:
    QWidget parent;
    TFlatButton *button = nullptr;
    RecordingCanvas canvas;

    void SetUp() override
    {
        button = new TFlatButton(&parent);
        QFont font("Arial");
        font.setPixelSize(8); // every glyph 4 pixels wide on the recording canvas
        button->setFont(font);
        button->resize(80, 40);
    }
    void paint()
    {
        canvas.ClearOps();
        button->Paint(canvas);
    }
    std::vector<const CanvasOp *> bitmaps() const
    {
        return canvas.OpsOfKind(CanvasOp::TransparentBitmap);
    }
    std::vector<const CanvasOp *> glyphs() const { return canvas.OpsOfKind(CanvasOp::Glyphs); }
    // The frame's lines as (colour of the left edge, colour of the right edge).
    std::pair<ColorRef, ColorRef> frameColours() const
    {
        auto lines = canvas.OpsOfKind(CanvasOp::Line);
        ColorRef left = 0, right = 0;
        for (const CanvasOp *l : lines) {
            if (l->From.X == 0 && l->To.X == 0)
                left = l->Color;
            if (l->From.X == 79 && l->To.X == 79)
                right = l->Color;
        }
        return {left, right};
    }
};

} // namespace

TEST_F(FlatButtonPaintTest, DefaultsOfANewButton)
{
    TFlatButton fresh;
    EXPECT_EQ(fresh.size(), QSize(50, 40));
    EXPECT_FALSE(fresh.Cancel());
    EXPECT_FALSE(fresh.Default());
    EXPECT_EQ(fresh.ShadowColor(), kSysColorButtonShadow);
    EXPECT_EQ(fresh.Alignment(), taCenter);
    EXPECT_FALSE(fresh.AllowAllUp());
    EXPECT_EQ(fresh.BevelStyle(), bsRaised);
    EXPECT_EQ(fresh.GroupIndex(), 0);
    EXPECT_FALSE(fresh.Down());
    EXPECT_EQ(fresh.DropDownMenu(), nullptr);
    EXPECT_TRUE(fresh.isEnabled());
    EXPECT_EQ(fresh.Layout(), blBitmapTop);
    EXPECT_EQ(fresh.Options(), TButtonOptions(boMonoDisplay | boPopupMark));
    EXPECT_EQ(fresh.ShadingType(), stMedium);
    EXPECT_TRUE(fresh.ShowDownPattern());
    EXPECT_EQ(fresh.UnselectedFontColor(), kSysColorWindowText);
    EXPECT_FALSE(fresh.WordWrap());
    EXPECT_EQ(fresh.focusPolicy(), Qt::NoFocus);
}

TEST_F(FlatButtonPaintTest, CaptionAloneIsCentredInTheUnselectedColourWithoutFrame)
{
    button->SetCaption("&Next");
    button->SetUnselectedFontColor(Rgb(1, 2, 3));
    paint();
    EXPECT_TRUE(canvas.OpsOfKind(CanvasOp::Line).empty());
    auto text = glyphs();
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0]->Text, "Next");
    // 4 glyphs of 4 pixels: a = 16, b = 10 (8 + 2); (80 - 16) / 2, (40 - 10) / 2.
    EXPECT_EQ(text[0]->X, 32);
    EXPECT_EQ(text[0]->Y, 15 + 8);
    EXPECT_EQ(text[0]->Color, Rgb(1, 2, 3));
    // The accelerator "N" is underlined under its glyph.
    auto fills = canvas.OpsOfKind(CanvasOp::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0]->Rect.Left, 32);
    EXPECT_EQ(fills[0]->Rect.Right, 36);
}

TEST_F(FlatButtonPaintTest, HoverAndPressedFramesFollowTheBevel)
{
    button->SetCaption("Go");
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    ASSERT_TRUE(button->MouseInControl());
    paint();
    EXPECT_EQ(frameColours(),
              std::make_pair(ColorRef(kSysColorButtonHighlight), ColorRef(kSysColorButtonShadow)));
    const int hoverX = glyphs()[0]->X;

    button->SetBevelStyle(bsLowered);
    paint();
    EXPECT_EQ(frameColours(),
              std::make_pair(ColorRef(kSysColorButtonShadow), ColorRef(kSysColorButtonHighlight)));
    EXPECT_EQ(glyphs()[0]->X, hoverX + 1) << "a lowered hover look sinks the caption";

    // A down button shows the pressed frame: the reverse of the hover frame.
    button->SetBevelStyle(bsRaised);
    button->SetShadowColor(Rgb(9, 9, 9));
    button->SetGroupIndex(1);
    button->SetDown(true);
    paint();
    EXPECT_EQ(frameColours(),
              std::make_pair(ColorRef(Rgb(9, 9, 9)), ColorRef(kSysColorButtonHighlight)));
    EXPECT_EQ(glyphs()[0]->X, hoverX + 1) << "a raised pressed look sinks the caption";
    // With the dither pattern under it, one bitmap the size of the button.
    auto fill = canvas.OpsOfKind(CanvasOp::Bitmap);
    ASSERT_EQ(fill.size(), 1u);
    EXPECT_EQ(fill[0]->Rect, (CanvasRect{0, 0, 80, 40}));
    button->SetShowDownPattern(false);
    paint();
    EXPECT_TRUE(canvas.OpsOfKind(CanvasOp::Bitmap).empty());
}

TEST_F(FlatButtonPaintTest, FourBitmapLayoutsPlaceBitmapAndCaption)
{
    button->SetCaption("Go"); // a = 8, b = 10, gap 2
    button->SetBitmap(picture(16, 16));
    struct Case {
        TButtonLayout layout;
        TAlignment alignment;
        int x, y, f, t;
    };
    // W = 80, H = 40, bw = bh = 16.
    const Case cases[] = {
        {blBitmapTop, taCenter, 32, 6, 36, 24},
        {blBitmapTop, taLeftJustify, 3, 6, 3, 24},
        {blBitmapTop, taRightJustify, 61, 6, 69, 24},
        {blBitmapBottom, taCenter, 32, 18, 36, 6},
        {blBitmapLeft, taCenter, 27, 12, 45, 15},
        {blBitmapLeft, taLeftJustify, 3, 12, 21, 15},
        {blBitmapLeft, taRightJustify, 51, 12, 69, 15},
        {blBitmapRight, taCenter, 37, 12, 27, 15},
        {blBitmapRight, taLeftJustify, 13, 12, 3, 15},
        {blBitmapRight, taRightJustify, 61, 12, 51, 15},
    };
    for (const Case &c : cases) {
        button->SetLayout(c.layout);
        button->SetAlignment(c.alignment);
        paint();
        auto b = bitmaps();
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(b[0]->Rect.Left, c.x) << c.layout << "/" << c.alignment;
        EXPECT_EQ(b[0]->Rect.Top, c.y) << c.layout << "/" << c.alignment;
        EXPECT_EQ(b[0]->Color, kMagenta) << "the top left pixel is the clear colour";
        auto text = glyphs();
        ASSERT_EQ(text.size(), 1u);
        // The caption box is exactly as wide as the caption, so every
        // alignment inside it starts at its left.
        EXPECT_EQ(text[0]->X, c.f) << c.layout << "/" << c.alignment;
        EXPECT_EQ(text[0]->Y - 8, c.t) << c.layout << "/" << c.alignment;
    }
}

TEST_F(FlatButtonPaintTest, GreyBitmapUntilHoveredThenTheRealOne)
{
    CanvasBitmap b = picture(16, 16);
    button->SetBitmap(b);
    ASSERT_FALSE(button->GreyBitmap().IsEmpty());
    paint();
    // Drawn away from the mouse: the grey copy (recorded by size only, so
    // check the copy itself and that the real one shows when hovered).
    EXPECT_EQ(button->GreyBitmap().At(0, 0), kMagenta);
    EXPECT_NE(button->GreyBitmap().At(5, 5), b.At(5, 5));

    // The NoFocusBitmap takes the grey copy's place and the copy goes.
    button->SetNoFocusBitmap(picture(12, 12));
    EXPECT_TRUE(button->GreyBitmap().IsEmpty());
    paint();
    ASSERT_EQ(bitmaps().size(), 1u);
    EXPECT_EQ(bitmaps()[0]->Rect.Width(), 12) << "NoFocusBitmap while the mouse is away";
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    paint();
    EXPECT_EQ(bitmaps()[0]->Rect.Width(), 16) << "the real bitmap under the mouse";

    // Without boMonoDisplay the real bitmap shows all the time.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    button->SetOptions(boPopupMark);
    paint();
    EXPECT_EQ(bitmaps()[0]->Rect.Width(), 16);
}

TEST_F(FlatButtonPaintTest, DisabledLookIsEmbossedOrTheDisabledBitmap)
{
    button->SetCaption("Go");
    button->SetBitmap(picture(16, 16));
    button->setEnabled(false);
    paint();
    // The bitmap's mono image twice: highlight one pixel off, then shadow.
    auto masks = canvas.OpsOfKind(CanvasOp::Mask);
    ASSERT_EQ(masks.size(), 2u);
    EXPECT_EQ(masks[0]->Color, kSysColorButtonHighlight);
    EXPECT_EQ(masks[1]->Color, kSysColorButtonShadow);
    EXPECT_EQ(masks[0]->Rect.Left, masks[1]->Rect.Left + 1);
    EXPECT_EQ(masks[0]->Rect.Top, masks[1]->Rect.Top + 1);
    // The caption the same way.
    auto text = glyphs();
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[0]->Color, kSysColorButtonHighlight);
    EXPECT_EQ(text[1]->Color, kSysColorButtonShadow);
    EXPECT_EQ(text[0]->X, text[1]->X + 1);

    button->SetDisabledBitmap(picture(10, 10));
    paint();
    EXPECT_TRUE(canvas.OpsOfKind(CanvasOp::Mask).empty());
    ASSERT_EQ(bitmaps().size(), 1u);
    EXPECT_EQ(bitmaps()[0]->Rect.Width(), 10);
}

TEST_F(FlatButtonPaintTest, DropDownMarkIsATriangleBesideBitmapOrCaption)
{
    QMenu menu;
    button->SetCaption("Go");
    button->SetDropDownMenu(&menu);
    paint();
    // Without a bitmap: a = 8 + 10, caption box from (80 - 18) / 2 = 31,
    // e = min(80 - 14, 8) = 8; the mark at (31 + 8 + 3, 15 + 10 / 2).
    auto rows = canvas.OpsOfKind(CanvasOp::Fill);
    std::vector<CanvasRect> triangle;
    for (const CanvasOp *r : rows)
        if (r->Rect.Height() == 1 && r->Rect.Top >= 19)
            triangle.push_back(r->Rect);
    ASSERT_EQ(triangle.size(), 4u);
    EXPECT_EQ(triangle[0], (CanvasRect{42, 19, 49, 20}));
    EXPECT_EQ(triangle[1], (CanvasRect{43, 20, 48, 21}));
    EXPECT_EQ(triangle[2], (CanvasRect{44, 21, 47, 22}));
    EXPECT_EQ(triangle[3], (CanvasRect{45, 22, 46, 23}));

    // With a bitmap the mark follows it: (x + 16 + 3, y + 8).
    button->SetBitmap(picture(16, 16));
    button->SetLayout(blBitmapLeft);
    paint();
    const CanvasOp *bitmap = bitmaps().at(0);
    auto fills = canvas.OpsOfKind(CanvasOp::Fill);
    bool found = false;
    for (const CanvasOp *r : fills)
        if (r->Rect == CanvasRect{bitmap->Rect.Left + 19, bitmap->Rect.Top + 7,
                                  bitmap->Rect.Left + 26, bitmap->Rect.Top + 8})
            found = true;
    EXPECT_TRUE(found);

    // No mark without boPopupMark, nor once the menu is gone.
    button->SetOptions(boMonoDisplay);
    paint();
    EXPECT_TRUE(canvas.OpsOfKind(CanvasOp::Fill).empty());
}

TEST_F(FlatButtonPaintTest, AMenuDestroyedIsForgotten)
{
    auto menu = std::make_unique<QMenu>();
    button->SetDropDownMenu(menu.get());
    menu.reset();
    EXPECT_EQ(button->DropDownMenu(), nullptr);
    button->SetCaption("Go");
    paint(); // no dangling menu
    EXPECT_EQ(glyphs().size(), 1u);
}

TEST_F(FlatButtonPaintTest, IconOnlyHidesTheCaptionAndMakesItTheHint)
{
    button->SetCaption("&Save");
    button->SetOptions(boIconOnly | boMonoDisplay);
    EXPECT_EQ(button->Hint(), "Save");
    EXPECT_TRUE(button->ShowHint());
    paint();
    EXPECT_TRUE(glyphs().empty());
    button->SetCaption("Sa&ve && quit");
    EXPECT_EQ(button->Hint(), "Save & quit");
    button->SetOptions(boMonoDisplay);
    EXPECT_EQ(button->Hint(), "");
    EXPECT_FALSE(button->ShowHint());
    // A hint of one's own survives.
    button->SetHint("Keeps the entry");
    button->SetOptions(boIconOnly);
    button->SetOptions(0);
    EXPECT_EQ(button->Hint(), "Keeps the entry");
}

TEST_F(FlatButtonPaintTest, HiddenButtonsPaintNothing)
{
    button->SetCaption("Go");
    button->hide();
    paint();
    EXPECT_TRUE(canvas.Ops.empty());
}

TEST(ButtonPictures, GreyThresholdsPerShading)
{
    const ColorRef hi = Rgb(250, 250, 250), sh = Rgb(100, 100, 100);
    CanvasBitmap b(5, 1, kMagenta);
    b.Set(1, 0, Rgb(200, 200, 200)); // 600
    b.Set(2, 0, Rgb(80, 80, 80));    // 240
    b.Set(3, 0, Rgb(20, 20, 20));    // 60
    b.Set(4, 0, Rgb(10, 10, 10));    // 30
    CanvasBitmap medium = MakeGreyBitmap(b, stMedium, hi, sh);
    EXPECT_EQ(medium.At(0, 0), kMagenta);
    EXPECT_EQ(medium.At(1, 0), Rgb(255, 255, 255));
    EXPECT_EQ(medium.At(2, 0), hi);
    EXPECT_EQ(medium.At(3, 0), sh);
    EXPECT_EQ(medium.At(4, 0), Rgb(0, 0, 0));
    CanvasBitmap dark = MakeGreyBitmap(b, stDark, hi, sh);
    EXPECT_EQ(dark.At(2, 0), sh);
    EXPECT_EQ(dark.At(3, 0), Rgb(0, 0, 0));
    CanvasBitmap light = MakeGreyBitmap(b, stLight, hi, sh);
    EXPECT_EQ(light.At(2, 0), Rgb(255, 255, 255));
    EXPECT_EQ(light.At(4, 0), Rgb(0, 0, 0));
    // Thresholds are "above": exactly 553 is not white in the medium shade.
    CanvasBitmap edge(2, 1, kMagenta);
    edge.Set(1, 0, Rgb(255, 255, 43));
    EXPECT_EQ(MakeGreyBitmap(edge, stMedium, hi, sh).At(1, 0), hi);
    // Every magenta pixel stays clear in the grey copy too.
    CanvasBitmap holes(3, 1, kMagenta);
    holes.Set(1, 0, Rgb(0, 0, 0));
    EXPECT_EQ(MakeGreyBitmap(holes, stMedium, hi, sh).At(2, 0), kMagenta);
}

TEST(ButtonPictures, MonoDitherAndAccelerators)
{
    CanvasBitmap b(3, 1, kMagenta);
    b.Set(1, 0, Rgb(255, 255, 255));
    b.Set(2, 0, Rgb(0, 0, 128));
    CanvasBitmap mono = MakeMonoBitmap(b);
    EXPECT_EQ(mono.At(0, 0), Rgb(255, 255, 255));
    EXPECT_EQ(mono.At(1, 0), Rgb(255, 255, 255));
    EXPECT_EQ(mono.At(2, 0), 0u);

    CanvasBitmap dither = MakeDitherPattern(1, 2);
    EXPECT_EQ(dither.At(0, 0), 1u);
    EXPECT_EQ(dither.At(1, 1), 1u);
    EXPECT_EQ(dither.At(1, 0), 2u);
    EXPECT_EQ(dither.At(7, 6), 2u);

    EXPECT_EQ(StripAccelerators("Fi&rst"), "First");
    EXPECT_EQ(StripAccelerators("Save && &quit"), "Save & quit");
    EXPECT_EQ(StripAccelerators("end&"), "end");
    EXPECT_EQ(AcceleratorIndex("Fi&rst"), 2);
    EXPECT_EQ(AcceleratorIndex("a && &b"), 4);
    EXPECT_EQ(AcceleratorIndex("no mark &&"), -1);
    EXPECT_EQ(AcceleratorIndex("end&"), -1);
}
