// The editor's keys and characters driven by real key events.
#include <QInputMethodEvent>
#include <QScrollBar>

#include "platform/qt/messages.h"
#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

class EditorKeys : public EditorTest {};

TEST_F(EditorKeys, TabTypesATabOnlyWhileTheEditorWantsTabs)
{
    QTest::keyClicks(edit, "a");
    QTest::keyClick(edit, Qt::Key_Tab);
    QTest::keyClicks(edit, "b");
    EXPECT_EQ(text(0), "a\tb");
    EXPECT_TRUE(edit->hasFocus());

    edit->WantTabs = false;
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(text(0), "a\tb");
    EXPECT_TRUE(next->hasFocus());
}

TEST_F(EditorKeys, ShiftAndCtrlTabGoToTheirEvents)
{
    int shiftTabs = 0, ctrlTabs = 0;
    edit->ShiftTabPressed = [&](TQnCustomRtfEdit *sender) {
        EXPECT_EQ(sender, edit);
        ++shiftTabs;
    };
    edit->CtrlTabPressed = [&](TQnCustomRtfEdit *) { ++ctrlTabs; };
    QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(shiftTabs, 1);
    EXPECT_EQ(ctrlTabs, 1);
    EXPECT_EQ(text(0), "");
    EXPECT_TRUE(edit->hasFocus());
}

TEST_F(EditorKeys, EnterSplitsAndCtrlEnterBreaksThePage)
{
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    QTest::keyClicks(edit, "one");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "two");
    QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(edit, "three");
    ASSERT_EQ(doc().ParagraphCount(), 3);
    EXPECT_EQ(text(0), "one");
    EXPECT_EQ(text(1), "two");
    EXPECT_EQ(text(2), "three");
    EXPECT_FALSE(doc().ParagraphAt(1)->ParFlags & kParPageBreak);
    EXPECT_TRUE(doc().ParagraphAt(2)->ParFlags & kParPageBreak);
    EXPECT_EQ(changes, 13);
    EXPECT_TRUE(edit->Modified);
}

TEST_F(EditorKeys, InsertTogglesOverwriteAndTheCaretTakesTheCharactersWidth)
{
    QTest::keyClicks(edit, "Wide");
    QTest::keyClick(edit, Qt::Key_Home);
    EXPECT_EQ(edit->CaretRect().width(), 1);
    QTest::keyClick(edit, Qt::Key_Insert);
    EXPECT_EQ(doc().InsertMode, 0);
    const int wWidth = doc().FirstParagraph->Lines->Attrs[0].Width;
    EXPECT_GT(wWidth, 4);
    EXPECT_EQ(edit->CaretRect().width(), wWidth);
    QTest::keyClicks(edit, "M");
    EXPECT_EQ(text(0), "Mide");
    QTest::keyClick(edit, Qt::Key_Insert);
    QTest::keyClicks(edit, "a");
    EXPECT_EQ(text(0), "Maide");
    EXPECT_EQ(edit->CaretRect().width(), 1);
}

TEST_F(EditorKeys, DeleteBackspaceAndCursorKeys)
{
    QTest::keyClicks(edit, "hello world");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(text(0), "helloworld");
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClicks(edit, "_");
    EXPECT_EQ(text(0), "_helloworl"); // the joined word is one word now
}

TEST_F(EditorKeys, ShiftDeleteCutsShiftInsertPastesCtrlInsertCopies)
{
    QTest::keyClicks(edit, "cut this");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(copiedBlock(), "cut");

    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(text(0), " this");
    const QMimeData *cut = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text(), "cut");
    EXPECT_TRUE(cut->hasFormat("text/rtf"));

    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(text(0), " thiscut");

    QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
    QApplication::clipboard()->clear();
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ControlModifier);
    ASSERT_TRUE(QApplication::clipboard()->mimeData());
    EXPECT_EQ(QApplication::clipboard()->mimeData()->text(), " thiscut");
    EXPECT_EQ(text(0), " thiscut");
}

TEST_F(EditorKeys, CtrlLettersCopyCutAndPasteButTypeNothing)
{
    QTest::keyClicks(edit, "abc");
    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(text(0), "ab");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text(0), "cab");
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(text(0), "cab");
}

TEST_F(EditorKeys, EscapeRemovesTheSelectionAndKeepsTheText)
{
    QTest::keyClicks(edit, "keep me");
    QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_TRUE(edit->BlockMarked());
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(edit->BlockMarked());
    EXPECT_EQ(text(0), "keep me");
    // Typing now inserts instead of replacing a block.
    QTest::keyClicks(edit, "!");
    EXPECT_EQ(text(0), "!keep me");
}

TEST_F(EditorKeys, ReadOnlyRefusesEveryEditButMovesAndCopies)
{
    QTest::keyClicks(edit, "fixed");
    edit->Modified = false;
    edit->SetReadOnly(true);
    QApplication::clipboard()->setText("pasted");
    QTest::keyClicks(edit, "x");
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier); // cut copies only
    EXPECT_EQ(text(0), "fixed");
    EXPECT_FALSE(edit->Modified);
    EXPECT_EQ(QApplication::clipboard()->text(), "fixed");
}

TEST_F(EditorKeys, KeyboardScrollingKeepsTheCaretVisible)
{
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < 150; ++i)
        rtf += "Line " + std::to_string(i) + " of a long entry\\par ";
    rtf += "The end.}";
    load(rtf);
    const QRect client = edit->ClientRect();
    auto caretVisible = [&] {
        const QRect caret = edit->CaretRect();
        return !caret.isEmpty() && client.contains(caret);
    };
    ASSERT_TRUE(edit->VerticalBar()->isVisible());
    EXPECT_EQ(edit->VerticalBar()->maximum(), 1000);

    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_GT(doc().ScrollY, 0);
    EXPECT_TRUE(caretVisible()) << "caret " << edit->CaretRect().x() << "," << edit->CaretRect().y()
                                << " " << edit->CaretRect().width() << "x"
                                << edit->CaretRect().height() << " client " << client.height()
                                << " scroll " << doc().ScrollY << " top " << doc().CaretTop
                                << " window " << doc().WindowHeight << " doc "
                                << doc().DocumentHeight;
    EXPECT_EQ(text(doc().ParagraphCount() - 1), "The end.");
    EXPECT_GT(edit->VerticalBar()->value(), 900);

    for (int i = 0; i < 4; ++i) {
        const int before = doc().ScrollY;
        QTest::keyClick(edit, Qt::Key_PageUp);
        EXPECT_LT(doc().ScrollY, before);
        EXPECT_TRUE(caretVisible()) << "after page up " << i;
    }
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(edit, Qt::Key_Down);
        ASSERT_TRUE(caretVisible()) << "after down " << i;
    }
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(doc().ScrollY, 0);
    EXPECT_TRUE(caretVisible());
    EXPECT_EQ(edit->VerticalBar()->value(), 0);

    // Ctrl+Page Down scrolls the window and leaves the cursor where it is.
    const int position = edit->CursorAbsolutePosition();
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_GT(doc().ScrollY, 0);
    EXPECT_EQ(edit->CursorAbsolutePosition(), position);
}

TEST_F(EditorKeys, ComposedCharactersArriveThroughTheInputMethod)
{
    qn::test::NotificationCapture capture;
    QTest::keyClicks(edit, "Ma");
    QInputMethodEvent preedit(QStringLiteral("~"), {});
    QApplication::sendEvent(edit, &preedit);
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00F1"));
    QApplication::sendEvent(edit, &composed);
    QInputMethodEvent more;
    more.setCommitString(QStringLiteral("ana \u00E9\u00DF\u20AC"));
    QApplication::sendEvent(edit, &more);
    EXPECT_EQ(text(0), "Ma\xF1"
                       "ana \xE9\xDF\x80");
    EXPECT_EQ(capture.beeps.size(), 0u);

    // A character beyond the code page is typed as it is, without a beep.
    QInputMethodEvent foreign;
    foreign.setCommitString(QStringLiteral("\u0142\u00E9"));
    QApplication::sendEvent(edit, &foreign);
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QStringLiteral("\u4E2D"),
                        Qt::NoModifier);
    EXPECT_EQ(doc().ParagraphText(0), U"Ma\u00F1ana \u00E9\u00DF\u20AC\u0142\u00E9\u4E2D");
    EXPECT_EQ(capture.beeps.size(), 0u);

    // Accented letters from the keyboard layout take the same path.
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Eacute, QStringLiteral("\u00E9"),
                        Qt::NoModifier);
    EXPECT_EQ(doc().ParagraphText(0), U"Ma\u00F1ana \u00E9\u00DF\u20AC\u0142\u00E9\u4E2D\u00E9");
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImSurroundingText).toString(),
              QStringLiteral("Ma\u00F1ana \u00E9\u00DF\u20AC\u0142\u00E9\u4E2D\u00E9"));
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 14);
}

TEST_F(EditorKeys, TypedTextIsNeverHidden)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 seen{\\v hidden}}");
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    doc().CurrentAttr.Style |= kStyleHidden;
    QTest::keyClicks(edit, "X");
    const TLine *line = doc().Cursor.Line;
    ASSERT_GT(doc().Cursor.Offset, 0);
    EXPECT_EQ(line->Text[doc().Cursor.Offset - 1], 'X');
    EXPECT_FALSE(line->Attrs[doc().Cursor.Offset - 1].Style & kStyleHidden);
}

} // namespace
