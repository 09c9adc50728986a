// The formatting tool bar and the ruler linked to a rich text control, driven
// by real mouse and key events: choices on the bar change the selection, the
// bar follows the caret, indent markers and tab stops on the ruler change the
// paragraph and its layout.
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/winmath.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/tool_bar.h"
#include "richtext/io/stream.h"
#include "tests/support/notification_capture.h"

using namespace qn;

namespace {

class ToolBarRulerTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(700, 420);
        bar = new TQnToolBar(window.get());
        bar->setGeometry(0, 0, 700, 31);
        ruler = new TQnRuler(window.get());
        ruler->setGeometry(0, 31, 700, 16);
        ruler->SetUnits(Inch);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 47, 700, 320);
        edit->SetWordWrap(true);
        edit->SetQnToolBar(bar);
        edit->SetQnRuler(ruler);
        next = new QLineEdit(window.get());
        next->setGeometry(0, 380, 100, 24);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override { window.reset(); }

    TQnRTFTextInput &doc() { return *edit->Document; }

    void load(const std::string &rtf)
    {
        TQnMemoryStream stream(rtf);
        doc().Clear();
        doc().LoadFromStream(stream);
        doc().ReformatAll();
        doc().ShowCaret();
        edit->Repaint();
        edit->FollowCursor();
        QApplication::processEvents();
    }

    TCharAttr attrAt(int paragraph, int offset)
    {
        TParagraph *p = doc().ParagraphAt(paragraph);
        return *doc().AttribPtr(p->Lines, offset);
    }

    QPoint charPoint(int paragraph, int offset)
    {
        TParagraph *p = doc().ParagraphAt(paragraph);
        TLine *l = p->Lines;
        const int x0 = doc().XOfChar(p, l, offset), x1 = doc().XOfChar(p, l, offset + 1);
        const int y = l->Top - doc().ScrollY + l->Height / 2;
        return edit->ClientRect().topLeft() + QPoint((x0 + x1) / 2, y);
    }

    // Chooses an item of a closed list with the mouse through its drop-down.
    void chooseFromDropDown(QComboBox *list, int item)
    {
        QTest::mouseClick(list, Qt::LeftButton, {}, list->rect().center());
        QAbstractItemView *view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
        // The drop-down ignores a release right after it opened.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        const QRect r = view->visualRect(list->model()->index(item, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        QApplication::processEvents();
    }

    // Types into an editable list and presses Enter.
    void typeInto(QComboBox *list, const QString &text)
    {
        QTest::mouseClick(list->lineEdit(), Qt::LeftButton);
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), text);
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        QApplication::processEvents();
    }

    int pixelsPerInch() const { return edit->Document->Header->PixelsPerInchX; }
    // A ruler point at twips from the text's left edge.
    QPoint rulerPoint(int twips, int y) const { return QPoint(ruler->XOfTwips(twips), y); }

    std::unique_ptr<QWidget> window;
    TQnToolBar *bar = nullptr;
    TQnRuler *ruler = nullptr;
    TQnRichText *edit = nullptr;
    QLineEdit *next = nullptr;
};

const char *kTwoFonts = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Liberation Serif;}}"
                        "\\f0\\fs20 plain {\\f1\\fs32\\b\\cf1 big}\\par"
                        "\\qc centred\\par}";

} // namespace

TEST(ToolBar, BuildsItsListsIconsAndHintsFromItsSets)
{
    TQnToolBar bar;
    bar.resize(900, 31);
    bar.Arrange();
    ASSERT_TRUE(bar.FontNameList() && bar.FontSizeList() && bar.FontColorList() &&
                bar.BackgroundColorList());
    EXPECT_EQ(bar.StyleList(), nullptr);
    // 8 to 72 points, each a blank and the number.
    ASSERT_EQ(bar.FontSizeList()->count(), 65);
    EXPECT_EQ(bar.FontSizeList()->itemText(0), " 8");
    EXPECT_EQ(bar.FontSizeList()->itemText(64), " 72");
    EXPECT_EQ(bar.FontColorList()->count(), 17);

    // The icons of the sets, in the order they are placed.
    QStringList names;
    for (const auto &icon : bar.Icons())
        names << icon.Bitmap;
    EXPECT_EQ(names, QStringList({"QNI_NORMAL", "QNI_BOLD", "QNI_ITALIC", "QNI_UNDER",
                                  "QNI_STRIKEOUT", "QNI_LEFT", "QNI_CENTER", "QNI_JUSTIFIED",
                                  "QNI_RIGHT", "QNI_CUT", "QNI_COPY", "QNI_PASTE"}));
    for (const auto &icon : bar.Icons()) {
        EXPECT_FALSE(icon.Button->icon().isNull()) << icon.Bitmap.toStdString();
        EXPECT_EQ(icon.Button->width(), QFontInfo(bar.font()).pixelSize() + 9);
    }
    // Buttons follow the lists left to right, in one row when there is room.
    EXPECT_LT(bar.FontSizeList()->x(), bar.IconButton(1, 1)->x());
    EXPECT_LT(bar.IconButton(1, 1)->x(), bar.IconButton(3, 3)->x());
    EXPECT_EQ(bar.IconButton(1, 1)->y(), bar.IconButton(3, 3)->y());

    EXPECT_EQ(bar.Hints().size(), 38);
    EXPECT_EQ(bar.IconButton(1, 2)->toolTip(), "Bold");
    // A hint line differing only in case still names the icon.
    bar.SetHints({"qni_bold=Fett", "QNI_Cut"});
    EXPECT_EQ(bar.IconButton(1, 2)->toolTip(), "Fett");
    EXPECT_EQ(bar.IconButton(3, 2)->toolTip(), "");

    // A narrow bar aligned to the top breaks its controls into rows and grows.
    bar.SetAlign(TToolAlign::alTop);
    bar.resize(200, 31);
    bar.Arrange();
    EXPECT_GT(bar.height(), 31);
    EXPECT_GT(bar.IconButton(3, 3)->y(), bar.FontNameList()->y());
    for (const auto &icon : bar.Icons())
        EXPECT_LE(icon.Button->geometry().right(), 200) << icon.Bitmap.toStdString();

    // A changed set builds the bar again.
    bar.SetListBoxes({SelFontSize, SelStyle});
    EXPECT_EQ(bar.FontNameList(), nullptr);
    ASSERT_NE(bar.StyleList(), nullptr);
    bar.SetFontSizeRange(10, 12);
    EXPECT_EQ(bar.FontSizeList()->count(), 3);
}

TEST(ToolBar, ChainedBarsShowTheStateOnceAndAPriorBarCutsTheChain)
{
    test::NotificationCapture capture;
    TQnToolBar first, second;
    first.SetNextToolBar(&second);
    second.SetNextToolBar(&first);
    first.SetIconDown(1, 2, true);
    EXPECT_TRUE(first.IconButton(1, 2)->isChecked());
    EXPECT_TRUE(second.IconButton(1, 2)->isChecked());
    ASSERT_EQ(capture.engineMessages.size(), 1u);
    EXPECT_EQ(capture.engineMessages[0], "Error: NextToolBar points to prior Toolbar");
    EXPECT_EQ(second.NextToolBar(), nullptr);
    first.SetListValue(snFontSize, std::string(), 14);
    EXPECT_EQ(second.FontSizeList()->currentText(), " 14");
    EXPECT_EQ(capture.engineMessages.size(), 1u);
}

TEST_F(ToolBarRulerTest, ListChoicesChangeTheSelectionAndGiveTheFocusBack)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello world\\par}");
    std::vector<int> selections;
    bar->OnSelection = [&](TQnToolBar *, int typ, const QString &, int) {
        selections.push_back(typ);
    };
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    edit->SetSelection(6, 5);

    typeInto(bar->FontNameList(), "liberation serif");
    EXPECT_TRUE(edit->hasFocus());
    typeInto(bar->FontSizeList(), "18");
    chooseFromDropDown(bar->FontColorList(), 3);
    chooseFromDropDown(bar->BackgroundColorList(), 4);
    EXPECT_EQ(selections, std::vector<int>({snFontName, snFontSize, snTextColor, snBackColor}));
    EXPECT_EQ(changes, 4);
    EXPECT_TRUE(edit->hasFocus());

    const TCharAttr world = attrAt(0, 7);
    EXPECT_EQ(doc().Header->FontNames[world.FontIndex], "Liberation Serif");
    EXPECT_EQ(world.Size, 18);
    EXPECT_EQ(world.TextColor(), 3);
    EXPECT_EQ(world.BackColor(), 4);
    const TCharAttr hello = attrAt(0, 1);
    EXPECT_EQ(doc().Header->FontNames[hello.FontIndex], "Arial");
    EXPECT_EQ(hello.Size, 10);

    // A size that is no number changes nothing and the old text comes back.
    typeInto(bar->FontSizeList(), "huge");
    EXPECT_EQ(bar->FontSizeList()->currentText(), " 18");
    EXPECT_EQ(attrAt(0, 7).Size, 18);
    EXPECT_EQ(changes, 4);
}

TEST_F(ToolBarRulerTest, IconClicksFormatAndAlignmentStaysExclusive)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello world\\par}");
    edit->SetSelection(0, 5);
    QTest::mouseClick(bar->IconButton(1, 2), Qt::LeftButton);
    EXPECT_TRUE(attrAt(0, 1).Style & kStyleBold);
    EXPECT_FALSE(attrAt(0, 7).Style & kStyleBold);
    EXPECT_TRUE(edit->hasFocus());

    // Without a selection Bold applies to what is typed next.
    edit->SetSelection(11, 0);
    QTest::mouseClick(bar->IconButton(1, 3), Qt::LeftButton);
    QTest::keyClicks(edit, "xy");
    EXPECT_EQ(edit->PlainText(), "Hello worldxy\n");
    EXPECT_TRUE(attrAt(0, 12).Style & kStyleItalic);
    EXPECT_FALSE(attrAt(0, 7).Style & kStyleItalic);

    for (int number : {4, 2, 3, 1}) {
        QTest::mouseClick(bar->IconButton(2, number), Qt::LeftButton);
        int pressed = 0;
        for (int n = 1; n <= 4; ++n)
            pressed += bar->IconButton(2, n)->isChecked();
        EXPECT_EQ(pressed, 1);
        EXPECT_TRUE(bar->IconButton(2, number)->isChecked());
        EXPECT_EQ(TQnRichTextSetMode::AlignmentIcon(doc().ParagraphAt(0)->Alignment), number);
    }
}

TEST_F(ToolBarRulerTest, TheBarFollowsTheCaret)
{
    load(kTwoFonts);
    QTest::mouseClick(edit, Qt::LeftButton, {}, charPoint(0, 7));
    QApplication::processEvents();
    EXPECT_EQ(bar->FontNameList()->currentText(), "Liberation Serif");
    EXPECT_EQ(bar->FontSizeList()->currentText(), " 16");
    EXPECT_TRUE(bar->IconButton(1, 2)->isChecked());
    EXPECT_FALSE(bar->IconButton(1, 1)->isChecked());
    EXPECT_EQ(bar->FontColorList()->currentIndex(), 1);

    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(bar->FontNameList()->currentText(), "Arial");
    EXPECT_EQ(bar->FontSizeList()->currentText(), " 10");
    EXPECT_FALSE(bar->IconButton(1, 2)->isChecked());
    EXPECT_TRUE(bar->IconButton(1, 1)->isChecked());
    EXPECT_TRUE(bar->IconButton(2, 1)->isChecked());

    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_TRUE(bar->IconButton(2, 4)->isChecked());
    EXPECT_FALSE(bar->IconButton(2, 1)->isChecked());
}

TEST_F(ToolBarRulerTest, ColourSwatchesFollowTheColourTableOfTheDocumentLoaded)
{
    // Its own colour table: slot 1 black, slot 2 a dark red.
    edit->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0"
                  "\\blue0;\\red200\\green0\\blue0;}\\f0\\cf1 black \\cf2 red\\par}");
    edit->SetCursorOffset(2);
    QApplication::processEvents();
    EXPECT_EQ(bar->FontColorList()->SwatchColor(bar->FontColorList()->currentIndex()),
              QColor(0, 0, 0));
    edit->SetCursorOffset(8);
    EXPECT_EQ(bar->FontColorList()->SwatchColor(bar->FontColorList()->currentIndex()),
              QColor(200, 0, 0));
}

TEST_F(ToolBarRulerTest, DraggingIndentMarkersChangesTheParagraphWithinTheRightMarker)
{
    load("{\\rtf1\\ansi\\f0\\fs20 Some text to indent\\par next\\par}");
    const int ppi = pixelsPerInch();
    ASSERT_GT(ppi, 0);
    int changes = 0, whiles = 0, selections = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    ruler->WhileSelection = [&](TQnRuler *, int typ, int group, int num, bool changing) {
        EXPECT_EQ(typ, snRulerIndents);
        EXPECT_EQ(group, kRulerGroup);
        EXPECT_EQ(num, kMarkerLeft);
        EXPECT_TRUE(changing);
        ++whiles;
    };
    ruler->OnSelection = [&](TQnRuler *, int, int, int, bool changing) {
        EXPECT_FALSE(changing);
        ++selections;
    };

    // The upper triangle of the left marker moves the left indent alone.
    const QRect left = ruler->MarkerRect(kMarkerLeft);
    const QPoint grip(ruler->MarkerX(kMarkerLeft), left.top() + 2);
    QTest::mousePress(ruler, Qt::LeftButton, {}, grip);
    QTest::mouseMove(ruler, grip + QPoint(ppi / 2, 0));
    QTest::mouseMove(ruler, grip + QPoint(ppi, 0));
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, grip + QPoint(ppi, 0));
    TParagraph *p = doc().ParagraphAt(0);
    EXPECT_EQ(p->LeftIndent, 1440);
    EXPECT_EQ(p->FirstIndent, 0);
    EXPECT_EQ(doc().ParagraphAt(1)->LeftIndent, 0);
    EXPECT_EQ(whiles, 2);
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(changes, 1);
    // The second line of the paragraph starts at the new indent.
    EXPECT_EQ(ruler->MarkerX(kMarkerLeft), ruler->XOfTwips(1440));

    // Dragged past the right marker it stops where it was.
    const QPoint now(ruler->MarkerX(kMarkerLeft), left.top() + 2);
    QTest::mousePress(ruler, Qt::LeftButton, {}, now);
    QTest::mouseMove(ruler, QPoint(ruler->MarkerX(kMarkerRight) + 30, now.y()));
    QTest::mouseRelease(ruler, Qt::LeftButton, {},
                        QPoint(ruler->MarkerX(kMarkerRight) + 30, now.y()));
    EXPECT_EQ(p->LeftIndent, 1440);

    // A right marker dragged left of the left one is refused too.
    const QPoint right(ruler->MarkerX(kMarkerRight) - 1, ruler->height() - 3);
    QTest::mousePress(ruler, Qt::LeftButton, {}, right);
    QTest::mouseMove(ruler, QPoint(ruler->XOfTwips(720), right.y()));
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, QPoint(ruler->XOfTwips(720), right.y()));
    EXPECT_EQ(p->RightIndent, 0);

    // The lower box takes the first-line indent along, keeping the difference.
    p->FirstIndent = 1440 + 288;
    edit->FollowCursor();
    const QPoint box(ruler->MarkerX(kMarkerLeft), ruler->height() - 2);
    QTest::mousePress(ruler, Qt::LeftButton, {}, box);
    QTest::mouseMove(ruler, box + QPoint(ppi / 2, 0));
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, box + QPoint(ppi / 2, 0));
    EXPECT_EQ(p->LeftIndent, 2160);
    EXPECT_EQ(p->FirstIndent, 2160 + 288);
}

TEST_F(ToolBarRulerTest, ClicksOnTheScaleSetCycleAndRemoveTabStopsTheLayoutUses)
{
    load("{\\rtf1\\ansi\\f0\\fs20 a\\tab b\\par}");
    TParagraph *p = doc().ParagraphAt(0);
    ASSERT_EQ(p->TabMask, 0u);
    const int mid = ruler->height() / 2;
    const int before = doc().XOfChar(p, p->Lines, 2);

    QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(2880, mid));
    ASSERT_NE(p->TabMask, 0u);
    int slot = 0;
    while (!(p->TabMask & (1u << slot)))
        ++slot;
    EXPECT_EQ(doc().Header->TabPosTwips[slot], 2880);
    EXPECT_EQ(doc().Header->TabKind[slot], tkLeft);
    EXPECT_EQ(doc().Header->RulerTabMask, p->TabMask);
    // The text after the tab now starts at the stop.
    const int after = doc().XOfChar(p, p->Lines, 2);
    EXPECT_NE(after, before);
    EXPECT_NEAR(after, MulDiv(2880, pixelsPerInch(), 1440), 2);

    // Further clicks: right, centre, decimal, then gone.
    const TTabKind kinds[] = {tkRight, tkCenter, tkDecimal};
    for (TTabKind kind : kinds) {
        QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(2880, mid));
        ASSERT_NE(p->TabMask, 0u);
        int s = 0;
        while (!(p->TabMask & (1u << s)))
            ++s;
        EXPECT_EQ(doc().Header->TabPosTwips[s], 2880);
        EXPECT_EQ(doc().Header->TabKind[s], kind);
    }
    QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(2880, mid));
    EXPECT_EQ(p->TabMask, 0u);
    EXPECT_EQ(doc().XOfChar(p, p->Lines, 2), before);

    // With a given kind a second click removes the stop.
    ruler->NewTabKind = tkCenter;
    QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(1440, mid));
    ASSERT_NE(p->TabMask, 0u);
    QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(1440, mid));
    EXPECT_EQ(p->TabMask, 0u);
}

TEST_F(ToolBarRulerTest, TabStopsAreDraggedAlongAndOffTheRuler)
{
    load("{\\rtf1\\ansi\\f0\\fs20 a\\tab b\\par}");
    TParagraph *p = doc().ParagraphAt(0);
    const int mid = ruler->height() / 2;
    QTest::mouseClick(ruler, Qt::LeftButton, {}, rulerPoint(1440, mid));
    ASSERT_NE(p->TabMask, 0u);
    auto position = [&] {
        for (int s = 0; s < kTabSlots; ++s)
            if (p->TabMask & (1u << s))
                return doc().Header->TabPosTwips[s];
        return 0;
    };

    QTest::mousePress(ruler, Qt::LeftButton, {}, rulerPoint(1440, mid));
    QTest::mouseMove(ruler, rulerPoint(2880, mid));
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, rulerPoint(2880, mid));
    EXPECT_EQ(position(), 2880);
    EXPECT_NEAR(doc().XOfChar(p, p->Lines, 2), MulDiv(2880, pixelsPerInch(), 1440), 2);

    const QPoint off(ruler->XOfTwips(2880), ruler->height() + 30);
    QTest::mousePress(ruler, Qt::LeftButton, {}, rulerPoint(2880, mid));
    QTest::mouseMove(ruler, off);
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, off);
    EXPECT_EQ(p->TabMask, 0u);
}

TEST_F(ToolBarRulerTest, TheRulerLinesUpWithTheTextAndItsUnits)
{
    load("{\\rtf1\\ansi\\f0\\fs20 text\\par}");
    // The editor's text starts where the ruler's zero is.
    EXPECT_EQ(ruler->EditorOffset(), edit->mapTo(window.get(), edit->ClientRect().topLeft()).x() -
                                         ruler->mapTo(window.get(), QPoint()).x());
    EXPECT_EQ(ruler->XOfTwips(1440), ruler->EditorOffset() + pixelsPerInch());
    EXPECT_EQ(doc().Header->UseInch, 1);
    EXPECT_EQ(ruler->TwipsOfX(ruler->XOfTwips(1440) + 1), 1440);
    ruler->SetUnits(Centimeter);
    EXPECT_EQ(doc().Header->UseInch, 0);
    EXPECT_EQ(ruler->TwipsOfX(ruler->XOfTwips(1440)) % 141, 0);
    // Marker size follows the height.
    EXPECT_EQ(ruler->MarkerSize(), 6);
    EXPECT_EQ(ruler->HandleHeight(), 3);
}

namespace {

TEST_F(ToolBarRulerTest, CtrlBIAndUToggleTheStylesAndTheBarFollows)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello world\\par}");
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    edit->SetSelection(0, 5);
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(attrAt(0, 1).Style & kStyleBold);
    EXPECT_FALSE(attrAt(0, 7).Style & kStyleBold);
    EXPECT_TRUE(bar->IconButton(1, 2)->isChecked());
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier); // off again
    EXPECT_FALSE(attrAt(0, 1).Style & kStyleBold);
    EXPECT_FALSE(bar->IconButton(1, 2)->isChecked());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(edit->PlainText(), "Hello world\n");

    // Without a selection they set the look of what is typed next.
    edit->SetSelection(11, 0);
    QTest::keyClick(edit, Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(bar->IconButton(1, 3)->isChecked());
    QTest::keyClick(edit, Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(bar->IconButton(1, 4)->isChecked());
    QTest::keyClicks(edit, "xy");
    EXPECT_EQ(edit->PlainText(), "Hello worldxy\n");
    EXPECT_TRUE(attrAt(0, 12).Style & kStyleItalic);
    EXPECT_TRUE(attrAt(0, 12).Style & kStyleUnderline);
    EXPECT_FALSE(attrAt(0, 10).Style & kStyleItalic);
}

TEST_F(ToolBarRulerTest, TheBarsCutAndPasteRaiseOneChangeAndAnEmptyPasteNone)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello world\\par}");
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    QApplication::clipboard()->clear();
    edit->Modified = false;
    qn::test::NotificationCapture capture;
    edit->ToolBarIcon(snIconDown, kIconGroupEdit, 3); // paste with nothing
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(edit->Modified);
    edit->SetSelection(0, 6);
    edit->ToolBarIcon(snIconDown, kIconGroupEdit, 2); // cut
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(edit->PlainText(), "world\n");
    edit->ToolBarIcon(snIconDown, kIconGroupEdit, 3); // paste
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(edit->PlainText(), "Hello world\n");
}

TEST_F(ToolBarRulerTest, TheRightMarkerStandsWhereWrappedTextEnds)
{
    load("{\\rtf1\\ansi\\f0\\fs20 Some text to indent on the right\\par}");
    const TTextHeader &h = *doc().Header;
    // The page's text is narrower than the window the text wraps in.
    ASSERT_GT(h.TextAreaWidthPixels, 0);
    ASSERT_LT(h.TextAreaWidthPixels, h.LayoutWidthPixels);
    TParagraph *p = doc().ParagraphAt(0);
    const auto textRight = [&] {
        return h.LayoutWidthPixels - doc().RightIndentPixels(p) + ruler->XOfTwips(0);
    };
    EXPECT_EQ(ruler->MarkerX(kMarkerRight), textRight());

    // Dragged one inch to the left, the text's right edge moves one inch.
    const int ppi = pixelsPerInch();
    const QPoint grip(ruler->MarkerX(kMarkerRight), ruler->height() - 3);
    QTest::mousePress(ruler, Qt::LeftButton, {}, grip);
    QTest::mouseMove(ruler, grip - QPoint(ppi, 0));
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, grip - QPoint(ppi, 0));
    // (The ruler snaps to its grid.)
    EXPECT_NEAR(p->RightIndent, 1440, 30);
    EXPECT_EQ(ruler->MarkerX(kMarkerRight), textRight());
    EXPECT_NEAR(textRight(), grip.x() - ppi, 2);
}

} // namespace
