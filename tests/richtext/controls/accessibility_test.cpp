// What assistive technology reads of the editor, the ruler and the status
// bar: the text interface's attributes, the events of caret moves, selection
// changes and edits, and the names and descriptions of the bars.
#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "editor_test_util.h"
#include "richtext/controls/controls_accessible.h"
#include "richtext/controls/rtf_edit_accessible.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/status_bar.h"
#include "tests/support/accessibility_listener.h"

using namespace qn;
using qn::test::EditorTest;

namespace {

const std::string kHead = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                          "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}\\f0\\fs24 ";

using Listening = qn::test::AccessibilityListener;

} // namespace

class EditorReader : public EditorTest {};

TEST_F(EditorReader, AttributesAtAnOffsetTellFontSizeStyleAndColourOfTheirRun)
{
    load(kHead + "plain {\\b bold} {\\i\\ul\\cf2\\f1\\fs32 fancy}\\par next}");
    QAccessibleTextInterface *t = QAccessible::queryAccessibleInterface(edit)->textInterface();
    ASSERT_TRUE(t);
    int start = -1, end = -1;
    const QString plain = t->attributes(2, &start, &end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 6);
    EXPECT_TRUE(plain.contains("font-family:\"Arial\";")) << plain.toStdString();
    EXPECT_TRUE(plain.contains("font-size:12pt;"));
    EXPECT_TRUE(plain.contains("font-weight:normal;"));
    EXPECT_FALSE(plain.contains("underline"));

    const QString bold = t->attributes(7, &start, &end);
    EXPECT_EQ(t->text(start, end), "bold");
    EXPECT_TRUE(bold.contains("font-weight:bold;"));
    EXPECT_TRUE(bold.contains("font-style:normal;"));

    const QString fancy = t->attributes(12, &start, &end);
    EXPECT_EQ(t->text(start, end), "fancy");
    EXPECT_TRUE(fancy.contains("font-family:\"Times New Roman\";")) << fancy.toStdString();
    EXPECT_TRUE(fancy.contains("font-size:16pt;"));
    EXPECT_TRUE(fancy.contains("font-style:italic;"));
    EXPECT_TRUE(fancy.contains("text-underline-style:solid;"));
    EXPECT_TRUE(fancy.contains("color:rgb(200,0,0);"));

    // The second paragraph, and nothing past the end.
    t->attributes(t->characterCount() - 1, &start, &end);
    EXPECT_EQ(t->text(start, end), "next");
    EXPECT_TRUE(t->attributes(t->characterCount() + 5, &start, &end).isEmpty());
    EXPECT_TRUE(t->attributes(-1, &start, &end).isEmpty());
}

TEST_F(EditorReader, CaretMovesSelectionsAndEditsAreAnnounced)
{
    load(kHead + "one two\\par three}");
    Listening reader;
    QAccessibleTextInterface *t = QAccessible::queryAccessibleInterface(edit)->textInterface();
    ASSERT_TRUE(t);
    reader.clear();

    QTest::keyClick(edit, Qt::Key_End);
    auto moves = reader.of(edit, QAccessible::TextCaretMoved);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().Position, 7);

    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    auto selections = reader.of(edit, QAccessible::TextSelectionChanged);
    ASSERT_EQ(selections.size(), 3u);
    EXPECT_EQ(selections.back().Start, 4);
    EXPECT_EQ(selections.back().End, 7);

    // Typing over the selection: its text goes, the typed text comes.
    reader.clear();
    QTest::keyClicks(edit, "2");
    auto removed = reader.of(edit, QAccessible::TextRemoved);
    auto inserted = reader.of(edit, QAccessible::TextInserted);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].Position, 4);
    EXPECT_EQ(removed[0].Text, "two");
    ASSERT_EQ(inserted.size(), 1u);
    EXPECT_EQ(inserted[0].Position, 4);
    EXPECT_EQ(inserted[0].Text, "2");
    // The selection is gone, and readers are told so.
    selections = reader.of(edit, QAccessible::TextSelectionChanged);
    ASSERT_FALSE(selections.empty());
    EXPECT_EQ(selections.back().Start, selections.back().End);

    // A new paragraph is a line feed in the text.
    reader.clear();
    QTest::keyClick(edit, Qt::Key_Return);
    inserted = reader.of(edit, QAccessible::TextInserted);
    ASSERT_EQ(inserted.size(), 1u);
    EXPECT_EQ(inserted[0].Text, "\n");
    // Either line feed of the two is the new one.
    EXPECT_EQ(QString("one 2\nthree").insert(inserted[0].Position, "\n"), edit->PlainText());
    reader.clear();
    QTest::keyClick(edit, Qt::Key_Backspace);
    removed = reader.of(edit, QAccessible::TextRemoved);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].Text, "\n");
    EXPECT_EQ(t->text(0, t->characterCount()), "one 2\nthree");
}

TEST(ColourNames, StandardColoursByNameOthersByParts)
{
    EXPECT_EQ(ColourName(0x000000), "Black");
    EXPECT_EQ(ColourName(0x0000FF), "Red");
    EXPECT_EQ(ColourName(0x800000), "Navy");
    EXPECT_EQ(ColourName(0xFFFFFF), "White");
    EXPECT_EQ(ColourName(0x0000C8), "Red 200, green 0, blue 0");
}

TEST(RulerReader, NamedWithTheIndentsAndTabStopsOfTheParagraph)
{
    TQnRuler ruler;
    ruler.resize(400, 15);
    ruler.SetUnits(Inch);
    Listening reader;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&ruler);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->text(QAccessible::Name), "Ruler");
    EXPECT_EQ(iface->text(QAccessible::Description),
              "First line indent 0 in, left indent 0 in, right indent 0 in; no tab stops");

    TTextHeader &h = ruler.Header();
    h.TabPosTwips[3] = 2880;
    h.TabKind[3] = tkCenter;
    h.TabPosTwips[0] = 1800;
    h.TabKind[0] = tkLeft;
    h.TabPosTwips[5] = 4320; // another paragraph's tab
    h.RulerTabMask = (1u << 0) | (1u << 3);
    reader.clear();
    ruler.SetIndents(720, 360, 1440);
    EXPECT_EQ(iface->text(QAccessible::Description),
              "First line indent 0.5 in, left indent 0.25 in, right indent 1 in; tab stops at "
              "1.25 in (left), 2 in (centre)");
    EXPECT_EQ(reader.of(&ruler, QAccessible::DescriptionChanged).size(), 1u);
    // Nothing new, nothing said.
    ruler.SetIndents(720, 360, 1440);
    EXPECT_EQ(reader.of(&ruler, QAccessible::DescriptionChanged).size(), 1u);

    ruler.SetUnits(Centimeter);
    EXPECT_TRUE(iface->text(QAccessible::Description)
                    .startsWith("First line indent 1.27 cm, left indent 0.64 cm"));
}

TEST(StatusBarReader, PanelsAreLabelsWithTheirTexts)
{
    TQnStatusBarBasic bar;
    bar.resize(400, 22);
    bar.show();
    bar.SetLines({"@$60stStatus=Ready", "%STFILENAME=diary.rtf"});
    Listening reader;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::StatusBar);
    ASSERT_EQ(iface->childCount(), 2);
    QAccessibleInterface *status = iface->child(0);
    EXPECT_EQ(status->role(), QAccessible::StaticText);
    EXPECT_EQ(status->text(QAccessible::Name), "Ready");
    EXPECT_EQ(status->parent(), iface);
    EXPECT_EQ(iface->indexOfChild(status), 0);
    EXPECT_TRUE(iface->child(1)->state().disabled);
    EXPECT_EQ(iface->childAt(status->rect().center().x(), status->rect().center().y()), status);

    reader.clear();
    bar.SetPanelText(stStatus, "Saved");
    EXPECT_EQ(status->text(QAccessible::Name), "Saved");
    EXPECT_EQ(reader.of(&bar, QAccessible::NameChanged).size(), 1u);
}
