// Characters of every script through the editor: typed through key events
// and the input method, stepped over and deleted as the user sees them, and
// through the clipboard.

#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>

#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

class EditorUnicode : public EditorTest {
protected:
    void typeKey(const QString &text)
    {
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, text, Qt::NoModifier);
    }
    // The caret's offset in its paragraph.
    int caret()
    {
        int offset = doc().Cursor.Offset;
        for (const TLine *l = doc().Cursor.Paragraph->Lines; l != doc().Cursor.Line; l = l->Next)
            offset += l->Length;
        return offset;
    }
};

TEST_F(EditorUnicode, KeysTypeAnyCharacterAndAPairOfSurrogatesIsOne)
{
    qn::test::NotificationCapture capture;
    QTest::keyClicks(edit, "a");
    typeKey(QStringLiteral("\u0141"));       // Ł
    typeKey(QStringLiteral("\u03A9"));       // Ω
    typeKey(QStringLiteral("\u65E5\u672C")); // 日本, one key of an input method
    typeKey(QString::fromUcs4(U"\U0001F600"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u017A\u00E9"));
    QApplication::sendEvent(edit, &commit);
    EXPECT_EQ(doc().ParagraphText(0), U"a\u0141\u03A9\u65E5\u672C\U0001F600\u017A\u00E9");
    EXPECT_EQ(caret(), 8);
    EXPECT_EQ(capture.beeps.size(), 0u);
    // The character beyond the basic plane is one character: one Backspace
    // takes it whole.
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(doc().ParagraphText(0), U"a\u0141\u03A9\u65E5\u672C\u017A\u00E9");
    // Undo brings it back.
    edit->Undo();
    EXPECT_EQ(doc().ParagraphText(0), U"a\u0141\u03A9\u65E5\u672C\U0001F600\u017A\u00E9");
}

TEST_F(EditorUnicode, ArrowsBackspaceAndDeleteTreatAClusterAsOneCharacter)
{
    // e with a combining acute, then thumbs up with a skin tone.
    typeKey(QStringLiteral("xe\u0301"));
    typeKey(QString::fromUcs4(U"\U0001F44D\U0001F3FDy"));
    ASSERT_EQ(doc().ParagraphText(0), U"xe\u0301\U0001F44D\U0001F3FDy");
    ASSERT_EQ(caret(), 6);

    QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(caret(), 5);
    QTest::keyClick(edit, Qt::Key_Left); // over the emoji and its modifier
    EXPECT_EQ(caret(), 3);
    QTest::keyClick(edit, Qt::Key_Left); // over e and its accent
    EXPECT_EQ(caret(), 1);
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(caret(), 3);
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(caret(), 5);

    QTest::keyClick(edit, Qt::Key_Backspace); // the emoji with its modifier
    EXPECT_EQ(doc().ParagraphText(0), U"xe\u0301y");
    EXPECT_EQ(caret(), 3);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Delete); // e with its accent
    EXPECT_EQ(doc().ParagraphText(0), U"xy");
}

TEST_F(EditorUnicode, WordMovesAndDeletesNeverSplitACharacter)
{
    typeKey(QString::fromUcs4(U"Zoë\u0301 \U0001F44D\U0001F3FD cafe\u0301s"));
    ASSERT_EQ(doc().ParagraphText(0), U"Zoë\u0301 \U0001F44D\U0001F3FD cafe\u0301s");
    QTest::keyClick(edit, Qt::Key_Home);
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
        const int at = caret();
        const std::u32string text = doc().ParagraphText(0);
        // Never between a character and the marks or modifier after it.
        ASSERT_TRUE(at >= int(text.size()) || (text[at] != U'\u0301' && text[at] != U'\U0001F3FD'))
            << at;
    }
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(doc().ParagraphText(0), U"Zoë\u0301 \U0001F44D\U0001F3FD ");
}

TEST_F(EditorUnicode, PlainTextOnTheClipboardKeepsEveryCharacter)
{
    const QString text = QString::fromUcs4(U"Łódź \u03B1\u03B8 \U0001F44D\U0001F3FD");
    typeKey(text);
    edit->SelectAllText();
    EXPECT_EQ(copiedBlock(), text);

    // Text from another program, with no RTF beside it.
    auto *data = new QMimeData;
    data->setText(QStringLiteral("caf\u00E9 \u20AC \u0141\u00F3d\u017A"));
    QApplication::clipboard()->setMimeData(data);
    load("{\\rtf1 }");
    edit->PasteFromClipboard();
    EXPECT_EQ(doc().ParagraphText(0), U"caf\u00E9 \u20AC \u0141\u00F3d\u017A");
}

} // namespace
