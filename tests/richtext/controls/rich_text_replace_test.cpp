// Find Next and Replace All of the rich text control through the shared
// dialogs: what the user is told, Escape during a long Replace All, and the
// look replacements keep.
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "richtext/controls/rich_text.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

class RichTextReplace : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(420, 320);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 400, 300);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
        dialog = SharedReplaceDialog(true);
        dialog->Bind(edit);
        dialog->SetDown(true);
        dialog->SetWholeWord(false);
        dialog->SetMatchCase(false);
        edit->OnChange = [this](TQnCustomRtfEdit *) { ++changes; };
    }
    void TearDown() override
    {
        dialog->Bind(nullptr);
        window.reset();
    }

    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
    TQnFindDialog *dialog = nullptr;
    int changes = 0;
};

TEST_F(RichTextReplace, ReplaceAllSaysHowManyAndKeepsEachMatchsLook)
{
    edit->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 cat {\\b cat} dog cat}");
    changes = 0;
    edit->SetCursorOffset(0);
    NotificationCapture capture;
    dialog->SetFindText("cat");
    dialog->SetReplaceText("lion");
    dialog->ReplaceAll();
    EXPECT_EQ(edit->PlainText(), "lion lion dog lion");
    EXPECT_EQ(capture.informations, std::vector<std::string>{"3 replacements"});
    EXPECT_EQ(changes, 1);
    const TLine *line = edit->Document->ParagraphAt(0)->Lines;
    EXPECT_FALSE(line->Attrs[0].Style & kStyleBold);
    EXPECT_TRUE(line->Attrs[5].Style & kStyleBold);
    EXPECT_TRUE(line->Attrs[8].Style & kStyleBold);
    EXPECT_FALSE(line->Attrs[10].Style & kStyleBold);
    EXPECT_EQ(edit->GetCursorOffset(), 18);

    // Nothing to replace: said so, and no change.
    dialog->ReplaceAll();
    EXPECT_EQ(capture.informations.back(), "Cannot find \"cat\".");
    EXPECT_EQ(changes, 1);
}

TEST_F(RichTextReplace, EscapeStopsAReplaceAll)
{
    std::string many;
    for (int i = 0; i < 200; ++i)
        many += "ab ";
    edit->SetText(many);
    edit->SetCursorOffset(0);
    NotificationCapture capture;
    dialog->SetFindText("ab");
    dialog->SetReplaceText("x");
    // Escape is already waiting when the replacing starts.
    QApplication::postEvent(edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    dialog->ReplaceAll();
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0], "Stopped after 30 replacements");
    const QString text = edit->PlainText();
    EXPECT_EQ(text.count(QStringLiteral("ab")), 170);
    EXPECT_TRUE(text.startsWith(QStringLiteral("x x ")));
}

TEST_F(RichTextReplace, FindNextSaysWhenThereIsNoFurtherMatch)
{
    edit->SetText("one two one");
    edit->SetCursorOffset(0);
    NotificationCapture capture;
    dialog->SetFindText("one");
    dialog->FindNext();
    dialog->FindNext();
    EXPECT_EQ(edit->SelStart(), 8);
    EXPECT_TRUE(capture.informations.empty());
    dialog->FindNext();
    EXPECT_EQ(capture.informations, std::vector<std::string>{"Cannot find \"one\"."});
    EXPECT_EQ(edit->SelStart(), 8) << "the last match stays selected";
}

// The dialogs take any character: a pattern of another script finds its
// text with the case folded, and replacements of any script are typed in.
TEST_F(RichTextReplace, PatternsAndReplacementsOfEveryScript)
{
    edit->SetText(
        "{\\rtf1\\ansi x \\u321?\\'f3d\\u378? y \\u26085?\\u26412? \\u321?\\'f3d\\u378?}");
    edit->SetCursorOffset(0);
    NotificationCapture capture;
    dialog->SetFindText(QString::fromUtf8("ŁÓDŹ"));
    dialog->FindNext();
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->SelLength(), 4);
    dialog->SetFindText(QString::fromUtf8("日本"));
    dialog->FindNext();
    EXPECT_EQ(edit->SelStart(), 9);
    dialog->SetFindText(QString::fromUtf8("łódź"));
    dialog->SetReplaceText(QString::fromUtf8("Kraków 😀"));
    edit->SetCursorOffset(0);
    dialog->ReplaceAll();
    EXPECT_EQ(edit->PlainText(), QString::fromUtf8("x Kraków 😀 y 日本 Kraków 😀"));
    EXPECT_EQ(capture.informations, std::vector<std::string>{"2 replacements"});
}

} // namespace
