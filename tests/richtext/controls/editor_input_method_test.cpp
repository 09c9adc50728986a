// Input methods in the editor: text being composed shown at the caret,
// committed text typed, and what the input method is told about the text.
#include <QInputMethodEvent>
#include <QTextCharFormat>

#include "richtext/controls/rich_text_document.h"
#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

class EditorInputMethod : public EditorTest {
protected:
    static constexpr const char *kLine = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 "
                                         "Hello wide world}";

    void compose(const QString &preedit, int cursor = -1)
    {
        QList<QInputMethodEvent::Attribute> attributes;
        if (cursor >= 0)
            attributes.append({QInputMethodEvent::Cursor, cursor, 1, QVariant()});
        QInputMethodEvent event(preedit, attributes);
        QApplication::sendEvent(edit, &event);
    }

    void commit(const QString &text, int replaceFrom = 0, int replaceLength = 0)
    {
        QInputMethodEvent event;
        event.setCommitString(text, replaceFrom, replaceLength);
        QApplication::sendEvent(edit, &event);
    }

    QRect imCaret() { return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect(); }

    // The caret after "Hello" on a loaded line, nothing changed yet.
    void caretAfterHello()
    {
        load(kLine);
        QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(edit, Qt::Key_Right);
        edit->Modified = false;
    }

    // The band of the cursor line, in widget coordinates.
    QRect caretLineBand()
    {
        const TLine *line = doc().Cursor.Line;
        const QRect client = edit->ClientRect();
        return QRect(client.left(), client.top() + line->Top - doc().ScrollY, client.width(),
                     line->Height);
    }

    static int differingPixels(const QImage &a, const QPoint &aAt, const QImage &b,
                               const QPoint &bAt, const QSize &size)
    {
        int count = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if ((a.pixel(aAt + QPoint(x, y)) & 0xFFFFFF) !=
                    (b.pixel(bAt + QPoint(x, y)) & 0xFFFFFF))
                    ++count;
        return count;
    }
};

TEST_F(EditorInputMethod, ThePreeditIsShownAtTheCaretAndTheTextBehindMovesAside)
{
    caretAfterHello();
    // The document's own picture, without the caret, in widget coordinates.
    const QPoint origin = edit->ClientRect().topLeft();
    const QImage before = edit->BackingImage().copy();
    const QRect caret = edit->CaretRect();
    const QRect band = caretLineBand();

    compose(QStringLiteral("\u00F1a\u00F1a"));
    EXPECT_EQ(edit->PreeditText(), QStringLiteral("\u00F1a\u00F1a"));
    const QRect box = edit->PreeditRect();
    ASSERT_FALSE(box.isEmpty());
    EXPECT_EQ(box.left(), caret.left());
    EXPECT_TRUE(box.contains(QPoint(box.left(), band.top() + band.height() / 2)));
    EXPECT_GT(box.width(), 10);

    // Nothing reaches the document.
    EXPECT_EQ(text(0), "Hello wide world");
    EXPECT_FALSE(edit->Modified);
    EXPECT_FALSE(edit->CanUndo());
    EXPECT_EQ(edit->CursorAbsolutePosition(), 5);

    const QImage shown = edit->grab().toImage();
    // Drawn where the caret was ...
    const QRect drawn = box.intersected(band);
    EXPECT_GT(
        differingPixels(shown, drawn.topLeft(), before, drawn.topLeft() - origin, drawn.size()),
        box.width());
    // ... with " wide world" moved right by its width, not drawn over (the
    // caret after the pre-edit stands on its first pixels).
    const int skip = 3, rest = band.right() - box.right() - skip;
    ASSERT_GT(rest, 40);
    EXPECT_EQ(differingPixels(shown, QPoint(box.right() + skip, band.top()), before,
                              QPoint(caret.left() + skip - 1, band.top()) - origin,
                              QSize(rest, band.height())),
              0);
    // The lines above and below are left alone.
    const QRect below(origin.x(), band.bottom() + 1, 300, 20);
    EXPECT_EQ(
        differingPixels(shown, below.topLeft(), before, below.topLeft() - origin, below.size()), 0);

    // An empty pre-edit takes it away again.
    compose(QString());
    EXPECT_TRUE(edit->PreeditText().isEmpty());
    EXPECT_TRUE(edit->PreeditRect().isEmpty());
    const QImage after = edit->grab().toImage();
    EXPECT_EQ(differingPixels(after, QPoint(box.right() + skip, band.top()), before,
                              QPoint(box.right() + skip, band.top()) - origin,
                              QSize(rest, band.height())),
              0);
    EXPECT_EQ(text(0), "Hello wide world");
    EXPECT_FALSE(edit->Modified);
}

TEST_F(EditorInputMethod, TheCandidateWindowIsPlacedAtTheCaret)
{
    caretAfterHello();
    EXPECT_EQ(imCaret(), edit->CaretRect());
    const QRect first = imCaret();
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(imCaret(), edit->CaretRect());
    EXPECT_GT(imCaret().left(), first.left());
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(imCaret(), edit->CaretRect());
    EXPECT_GT(imCaret().top(), first.bottom());

    // While composing: at the input method's cursor in the pre-edit.
    caretAfterHello();
    compose(QStringLiteral("abc"), 0);
    const QRect box = edit->PreeditRect();
    EXPECT_EQ(imCaret().left(), box.left());
    compose(QStringLiteral("abc"));
    EXPECT_GE(imCaret().left(), box.right() - 1);
    EXPECT_EQ(imCaret().top(), edit->CaretRect().top());
    // A hidden cursor still tells where the candidates belong.
    QInputMethodEvent hidden(QStringLiteral("abc"),
                             {{QInputMethodEvent::Cursor, 1, 0, QVariant()}});
    QApplication::sendEvent(edit, &hidden);
    EXPECT_GT(imCaret().left(), box.left());
    EXPECT_LT(imCaret().left(), box.right());
}

TEST_F(EditorInputMethod, ACommitIsTypedAsOneStepAndEndsThePreedit)
{
    caretAfterHello();
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    compose(QStringLiteral("n~"));

    QInputMethodEvent event;
    event.setCommitString(QStringLiteral(", se\u00F1or"));
    QApplication::sendEvent(edit, &event);
    EXPECT_EQ(text(0), "Hello, se\xF1or wide world");
    EXPECT_TRUE(edit->PreeditText().isEmpty());
    EXPECT_TRUE(edit->Modified);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(edit->CursorAbsolutePosition(), 12);
    EXPECT_EQ(imCaret(), edit->CaretRect());

    // A commit and the next pre-edit in one event: the pre-edit follows.
    QInputMethodEvent both(QStringLiteral("x"), {});
    both.setCommitString(QStringLiteral("!"));
    QApplication::sendEvent(edit, &both);
    EXPECT_EQ(text(0), "Hello, se\xF1or! wide world");
    EXPECT_EQ(edit->PreeditText(), QStringLiteral("x"));
    EXPECT_EQ(edit->PreeditRect().left(), edit->CaretRect().left());
    compose(QString());

    // Each commit is taken back whole.
    edit->Undo();
    EXPECT_EQ(text(0), "Hello, se\xF1or wide world");
    edit->Undo();
    EXPECT_EQ(text(0), "Hello wide world");
    EXPECT_FALSE(edit->CanUndo());
    edit->Redo();
    EXPECT_EQ(text(0), "Hello, se\xF1or wide world");
}

TEST_F(EditorInputMethod, ACommitReplacesTheSelection)
{
    load(kLine);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(copiedBlock(), " wide");
    commit(QStringLiteral(" gro\u00DFe"));
    EXPECT_EQ(text(0), "Hello gro\xDF"
                       "e world");
    EXPECT_FALSE(edit->BlockMarked());
    edit->Undo();
    EXPECT_EQ(text(0), "Hello wide world");
}

TEST_F(EditorInputMethod, TheInputMethodReplacesTextAroundTheCursor)
{
    load(kLine);
    QTest::keyClick(edit, Qt::Key_End);
    // "world" before the cursor becomes "Welt".
    commit(QStringLiteral("Welt"), -5, 5);
    EXPECT_EQ(text(0), "Hello wide Welt");
    EXPECT_EQ(edit->CursorAbsolutePosition(), 15);
    edit->Undo();
    EXPECT_EQ(text(0), "Hello wide world");

    // A replacement without text deletes; one beyond the paragraph stops at its edge.
    QTest::keyClick(edit, Qt::Key_End);
    commit(QString(), -1, 1);
    EXPECT_EQ(text(0), "Hello wide worl");
    QTest::keyClick(edit, Qt::Key_Home);
    commit(QStringLiteral("Oh, "), -3, 2);
    EXPECT_EQ(text(0), "Oh, llo wide worl");

    // A selection asked for in the text around the cursor.
    QInputMethodEvent select(QString(), {{QInputMethodEvent::Selection, 4, 3, QVariant()}});
    QApplication::sendEvent(edit, &select);
    EXPECT_EQ(copiedBlock(), "llo");
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCurrentSelection).toString(), QStringLiteral("llo"));

    // A character beyond the basic plane is two of the input method's units.
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 a\\u-10179?\\u-8704?b}");
    QTest::keyClick(edit, Qt::Key_End);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 4);
    commit(QStringLiteral("c"), -3, 2); // the emoji
    EXPECT_EQ(doc().ParagraphText(0), U"acb");
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 2);
}

TEST_F(EditorInputMethod, TheInputMethodIsToldTheTextAroundTheCursor)
{
    load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Caf\\'e9 one\\par Second line}");
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImSurroundingText).toString(),
              QStringLiteral("Second line"));
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 6);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImAnchorPosition).toInt(), 6);
    EXPECT_TRUE(edit->inputMethodQuery(Qt::ImCurrentSelection).toString().isEmpty());
    EXPECT_TRUE(edit->inputMethodQuery(Qt::ImEnabled).toBool());
    EXPECT_TRUE(edit->inputMethodQuery(Qt::ImHints).toInt() & Qt::ImhMultiLine);
    // The font typed text gets, at the size the document shows it.
    const QFont font = edit->inputMethodQuery(Qt::ImFont).value<QFont>();
    EXPECT_EQ(font.pixelSize(), 12 * edit->logicalDpiY() / 72);

    EXPECT_EQ(edit->inputMethodQuery(Qt::ImSurroundingText).toString(),
              QStringLiteral("Second line"));

    // A selection from the paragraph before: its anchor is at this one's
    // start; one into the paragraph after: at this one's end.
    SelectRange(doc(), 5, 10);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 6);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImAnchorPosition).toInt(), 0);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCurrentSelection).toString(),
              QStringLiteral("one\nSecond"));
    SelectRange(doc(), 15, -12);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImSurroundingText).toString(),
              QStringLiteral("Caf\u00E9 one"));
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImAnchorPosition).toInt(), 8);
    EXPECT_EQ(edit->inputMethodQuery(Qt::ImCurrentSelection).toString(),
              QStringLiteral("\u00E9 one\nSecond"));
}

TEST_F(EditorInputMethod, ReadOnlyAndProtectedTextTakeNothing)
{
    caretAfterHello();
    edit->SetReadOnly(true);
    EXPECT_FALSE(edit->inputMethodQuery(Qt::ImEnabled).toBool());
    compose(QStringLiteral("abc"));
    EXPECT_TRUE(edit->PreeditText().isEmpty());
    EXPECT_TRUE(edit->PreeditRect().isEmpty());
    commit(QStringLiteral("abc"));
    commit(QStringLiteral("x"), -5, 5);
    EXPECT_EQ(text(0), "Hello wide world");
    EXPECT_FALSE(edit->Modified);

    // Made read-only while composing: the pre-edit goes.
    edit->SetReadOnly(false);
    compose(QStringLiteral("abc"));
    EXPECT_FALSE(edit->PreeditText().isEmpty());
    edit->SetReadOnly(true);
    EXPECT_TRUE(edit->PreeditText().isEmpty());
    edit->SetReadOnly(false);
    compose(QString());

    // A protected paragraph refuses a commit as it refuses typing.
    doc().ProtectOptions = kProtectParagraph;
    doc().FirstParagraph->ParFlags |= kParProtected;
    commit(QStringLiteral("abc"));
    QTest::keyClicks(edit, "d");
    EXPECT_EQ(text(0), "Hello wide world");
}

TEST_F(EditorInputMethod, ACommitBeyondTheCodePageIsTyped)
{
    NotificationCapture capture;
    load(kLine);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(copiedBlock(), "world");
    // Windows-1252 holds no "\u0141" (nor "\u017A"): typed all the same,
    // over the selection, then over the three characters the input method
    // names before the caret.
    commit(QStringLiteral("\u0141\u00F3d\u017A"));
    EXPECT_EQ(doc().ParagraphText(0), U"Hello wide \u0141\u00F3d\u017A");
    commit(QStringLiteral("\u0141\u00F3d\u017A"), -3, 3);
    EXPECT_EQ(doc().ParagraphText(0), U"Hello wide \u0141\u0141\u00F3d\u017A");
    EXPECT_EQ(capture.beeps.size(), 0u);
}

TEST_F(EditorInputMethod, AClickEndsComposing)
{
    caretAfterHello();
    compose(QStringLiteral("abc"));
    ASSERT_FALSE(edit->PreeditText().isEmpty());
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, charPoint(0, 12));
    EXPECT_TRUE(edit->PreeditText().isEmpty());
    EXPECT_EQ(text(0), "Hello wide world");
}

TEST_F(EditorInputMethod, APreeditThatDoesNotFitMovesLeftIntoTheWindow)
{
    caretAfterHello();
    QTest::keyClick(edit, Qt::Key_End);
    compose(QString(24, QChar(u'm')));
    const QRect box = edit->PreeditRect();
    const QRect client = edit->ClientRect();
    ASSERT_FALSE(box.isEmpty());
    ASSERT_LT(box.width(), client.width());
    EXPECT_LE(box.right(), client.right());
    EXPECT_LT(box.left(), edit->CaretRect().left());
    EXPECT_TRUE(client.contains(imCaret().topLeft()));

    // Wider than the window: where the input method's cursor is stays in view.
    compose(QString(60, QChar(u'm')), 60);
    EXPECT_GT(edit->PreeditRect().width(), client.width());
    EXPECT_TRUE(client.contains(imCaret().topLeft()));
    compose(QString(60, QChar(u'm')), 0);
    EXPECT_TRUE(client.contains(imCaret().topLeft()));
}

} // namespace
