#include "widgets/graphic_panel.h"

#include "platform/recording_canvas.h"

#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace qn;

namespace {

QColor paletteColor(const QWidget &w, QPalette::ColorRole role)
{
    return QColor(w.palette().color(QPalette::Active, role).rgb()); // as 8-bit pixels hold it
}

QColor pixel(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// The rectangle the last fill of the panel colour covered: what is left
// inside the frames.
CanvasRect innerFill(const RecordingCanvas &canvas, ColorRef color)
{
    CanvasRect inner;
    for (const CanvasOp *op : canvas.OpsOfKind(CanvasOp::Fill))
        if (op->Color == color)
            inner = op->Rect;
    return inner;
}

} // namespace

TEST(GraphicPanel, StartsWithTheDesignDefaults)
{
    TGraphicPanel panel;
    EXPECT_EQ(panel.size(), QSize(185, 41));
    EXPECT_EQ(panel.Align(), alNone);
    EXPECT_EQ(panel.Alignment(), taCenter);
    EXPECT_EQ(panel.BevelInner(), bvNone);
    EXPECT_EQ(panel.BevelOuter(), bvRaised);
    EXPECT_EQ(panel.BevelWidth(), 1);
    EXPECT_EQ(panel.BorderWidth(), 0);
    EXPECT_EQ(panel.BorderStyle(), bsNone);
    EXPECT_EQ(panel.Color(), kSysColorButtonFace);
    EXPECT_FALSE(panel.Locked());
    EXPECT_TRUE(panel.ParentFont());
    EXPECT_FALSE(panel.ParentColor());
    EXPECT_TRUE(panel.Caption().empty());
}

// Border, outer bevel, border width and inner bevel each take their pixels
// from every side, and the caption sits in the middle of what is left.
TEST(GraphicPanel, FramesNestAndTheCaptionFollowsItsAlignment)
{
    TGraphicPanel panel;
    FontSpec font;
    font.PixelHeight = 12;
    panel.SetFont(font);
    panel.SetCaption("Hello");

    RecordingCanvas plain;
    panel.PaintTo(plain);
    EXPECT_EQ(innerFill(plain, kSysColorButtonFace), (CanvasRect{1, 1, 184, 40}));
    auto glyphs = plain.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(glyphs.size(), 1u);
    const int textWidth = plain.TextWidth("Hello");
    const FontMetrics m = plain.Metrics();
    const int top = (1 + 40 - m.Height) / 2;
    EXPECT_EQ(glyphs[0]->X, 1 + (183 - textWidth) / 2);
    EXPECT_EQ(glyphs[0]->Y, top + m.Ascent);

    panel.SetBorderStyle(bsSingle);
    panel.SetBevelWidth(2);
    panel.SetBorderWidth(3);
    panel.SetBevelInner(bvLowered);
    panel.SetAlignment(taLeftJustify);
    RecordingCanvas framed;
    panel.PaintTo(framed);
    EXPECT_EQ(innerFill(framed, kSysColorButtonFace), (CanvasRect{8, 8, 177, 33}));
    glyphs = framed.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_EQ(glyphs[0]->X, 8);

    panel.SetAlignment(taRightJustify);
    RecordingCanvas right;
    panel.PaintTo(right);
    glyphs = right.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_EQ(glyphs[0]->X + textWidth, 177);

    // Tabs are expanded, not drawn as characters.
    panel.SetCaption("a\tb");
    RecordingCanvas tabbed;
    panel.PaintTo(tabbed);
    EXPECT_EQ(tabbed.AllText().find('\t'), std::string::npos);
}

TEST(GraphicPanel, RaisedAndLoweredBevelsSwapTheirColours)
{
    TGraphicPanel panel;
    panel.show();
    const QColor light = paletteColor(panel, QPalette::Light);
    const QColor dark = paletteColor(panel, QPalette::Dark);
    const QColor face = paletteColor(panel, QPalette::Button);
    QImage raised = panel.grab().toImage();
    EXPECT_EQ(pixel(raised, 0, 0), light);
    EXPECT_EQ(pixel(raised, 0, 39), light);
    EXPECT_EQ(pixel(raised, 183, 0), light);
    EXPECT_EQ(pixel(raised, 184, 0), dark); // the top right corner is the bottom colour's
    EXPECT_EQ(pixel(raised, 184, 40), dark);
    EXPECT_EQ(pixel(raised, 0, 40), dark);
    EXPECT_EQ(pixel(raised, 1, 1), face);

    panel.SetBevelOuter(bvLowered);
    QImage lowered = panel.grab().toImage();
    EXPECT_EQ(pixel(lowered, 0, 0), dark);
    EXPECT_EQ(pixel(lowered, 184, 40), light);

    panel.SetBorderStyle(bsSingle);
    QImage bordered = panel.grab().toImage();
    EXPECT_EQ(pixel(bordered, 0, 0), QColor(Qt::black));
    EXPECT_EQ(pixel(bordered, 184, 40), QColor(Qt::black));
    EXPECT_EQ(pixel(bordered, 1, 1), dark);
    EXPECT_EQ(pixel(bordered, 183, 39), light);

    panel.SetBevelOuter(bvNone);
    panel.SetBorderStyle(bsNone);
    panel.SetColor(Rgb(10, 200, 30));
    QImage flat = panel.grab().toImage();
    EXPECT_EQ(pixel(flat, 0, 0), QColor(10, 200, 30));
    EXPECT_EQ(pixel(flat, 184, 40), QColor(10, 200, 30));
}

TEST(GraphicPanel, ACaptionChangeIsPaintedAtOnce)
{
    TGraphicPanel panel;
    panel.resize(200, 25);
    panel.show();
    const QImage empty = panel.grab().toImage();
    panel.SetCaption("Thursday, February 29, 2024");
    const QImage captioned = panel.grab().toImage();
    int changed = 0;
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x)
            changed += empty.pixel(x, y) != captioned.pixel(x, y);
    EXPECT_GT(changed, 50);
}

TEST(GraphicPanel, AlignedToTheTopItFollowsItsParentsWidth)
{
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    auto *panel = new TGraphicPanel(&parent);
    panel->setGeometry(10, 50, 100, 25);
    panel->SetAlign(alTop);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 300, 25));
    parent.resize(420, 200);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 420, 25));
    panel->SetAlign(alClient);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 420, 200));

    // A panel given its parent later follows it too.
    auto *bottom = new TGraphicPanel;
    bottom->setParent(&parent);
    bottom->resize(50, 30);
    bottom->SetAlign(alBottom);
    parent.resize(400, 300);
    EXPECT_EQ(bottom->geometry(), QRect(0, 270, 400, 30));
}

TEST(GraphicPanel, ClicksAndDoubleClicksReachTheirEvents)
{
    TGraphicPanel panel;
    panel.show();
    int clicks = 0, doubles = 0, downs = 0;
    panel.OnClick = [&] { ++clicks; };
    panel.OnDblClick = [&] { ++doubles; };
    panel.OnMouseDown = [&](TMouseButton button, TShiftState, int x, int y) {
        ++downs;
        EXPECT_EQ(button, mbLeft);
        EXPECT_EQ(x, 20);
        EXPECT_EQ(y, 10);
    };
    QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);
    QTest::mouseDClick(&panel, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(doubles, 1);
}
