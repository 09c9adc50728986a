// Undo and redo of the rich text control, case by case: how typing groups
// into steps, what clears the history, its bound on memory, what an undo
// reports, and what it refuses.
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "richtext/controls/find_replace_dialog.h"
#include "richtext/controls/rich_text.h"
#include "richtext/io/stream.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;
using namespace std::chrono_literals;

namespace {

class UndoTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(520, 420);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 500, 400);
        edit->SetWordWrap(true);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
        // A clock the test moves.
        edit->History().Now = [this] { return now; };
    }
    void TearDown() override { window.reset(); }

    std::string text() { return edit->PlainText().toStdString(); }
    void type(const char *characters) { QTest::keyClicks(edit, QString::fromLatin1(characters)); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(edit, k, m); }
    // Undoes until nothing is left; returns how many steps there were.
    int undoAll()
    {
        int n = 0;
        while (edit->CanUndo()) {
            edit->Undo();
            ++n;
        }
        return n;
    }

    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
    std::chrono::steady_clock::time_point now{};
};

TEST_F(UndoTest, TypingIsOneStepUntilAPauseAMoveOrAnotherKindOfEdit)
{
    edit->SetText("Start");
    edit->SetCursorOffset(5);
    type(" one two");
    now += 100ms;
    type(" three");
    EXPECT_EQ(edit->History().StepCount(), 1u);
    now += 3s; // a pause
    type(" four");
    key(Qt::Key_Left); // a move
    type("X");
    key(Qt::Key_Backspace); // another kind
    key(Qt::Key_Backspace);
    edit->SetCursorOffset(0);
    key(Qt::Key_Delete);
    key(Qt::Key_Delete);
    EXPECT_EQ(text(), "art one two three for");
    EXPECT_EQ(edit->History().StepCount(), 5u);

    const char *back[] = {"Start one two three for", "Start one two three fouXr",
                          "Start one two three four", "Start one two three", "Start"};
    for (const char *expected : back) {
        edit->Undo();
        EXPECT_EQ(text(), expected);
    }
    EXPECT_FALSE(edit->CanUndo());
    // Undo puts the caret where the step began, redo where it ended.
    EXPECT_EQ(edit->GetCursorOffset(), 5);
    edit->Redo();
    EXPECT_EQ(text(), "Start one two three");
    EXPECT_EQ(edit->GetCursorOffset(), 19);
}

TEST_F(UndoTest, AnUndoIsAChangeAndTellsWhatCanBeTakenBackNow)
{
    edit->SetText("Entry");
    edit->SetCursorOffset(5);
    QSignalSpy state(edit, &TQnCustomRtfEdit::UndoStateChanged);
    type("!");
    EXPECT_GE(state.count(), 1);
    EXPECT_TRUE(edit->CanUndo());
    EXPECT_FALSE(edit->CanRedo());

    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    edit->Modified = false; // as after a save
    state.clear();
    edit->Undo();
    EXPECT_EQ(text(), "Entry");
    EXPECT_TRUE(edit->Modified);
    EXPECT_EQ(changes, 1);
    EXPECT_GE(state.count(), 1);
    EXPECT_FALSE(edit->CanUndo());
    EXPECT_TRUE(edit->CanRedo());

    // A new edit drops what could have been put again.
    type("?");
    EXPECT_FALSE(edit->CanRedo());
    edit->Undo();
    EXPECT_EQ(text(), "Entry");
}

TEST_F(UndoTest, LoadingAnotherDocumentClearsTheHistory)
{
    edit->SetText("One");
    edit->SetCursorOffset(3);
    type(" more");
    ASSERT_TRUE(edit->CanUndo());
    QSignalSpy state(edit, &TQnCustomRtfEdit::UndoStateChanged);
    edit->SetText("{\\rtf1 Two}");
    EXPECT_FALSE(edit->CanUndo());
    EXPECT_GE(state.count(), 1);

    type("x");
    TQnMemoryStream stream(std::string("{\\rtf1 Three}"));
    edit->LoadFromStream(stream);
    EXPECT_FALSE(edit->CanUndo());
    type("y");
    edit->Clear();
    EXPECT_FALSE(edit->CanUndo());
    EXPECT_FALSE(edit->CanRedo());
}

TEST_F(UndoTest, TheOldestStepsGoWhenTheHistoryOutgrowsItsBound)
{
    // Each step copies one paragraph of about 3,000 characters (four bytes
    // each).
    edit->SetText(std::string(3000, 'a'));
    edit->History().Limit = 160000;
    std::vector<std::string> states{text()};
    for (int i = 0; i < 40; ++i) {
        now += 2s; // each character a step of its own
        edit->SetCursorOffset(i);
        type("b");
        states.push_back(text());
        EXPECT_LE(edit->History().MemoryUsed(), edit->History().Limit);
    }
    const size_t kept = edit->History().StepCount();
    EXPECT_GT(kept, 5u);
    EXPECT_LT(kept, 40u);
    // What is kept still undoes to the right texts, back to the oldest kept step.
    for (size_t k = 0; k < kept; ++k) {
        edit->Undo();
        EXPECT_EQ(text(), states[states.size() - 2 - k]);
    }
    EXPECT_FALSE(edit->CanUndo());
    EXPECT_NE(text(), states.front());
}

TEST_F(UndoTest, ReplaceAllIsOneStepAndEditsThatChangeNothingAreNone)
{
    edit->SetText("{\\rtf1 a b {\\b a} b a\\par a second a}");
    TQnFindDialog dialog(TQnFindDialog::Replace);
    dialog.SetFindText(QStringLiteral("a"));
    dialog.SetReplaceText(QStringLiteral("xyz"));
    edit->SetCursorOffset(0);
    edit->DialogReplace(dialog, true);
    EXPECT_EQ(text(), "xyz b xyz b xyz\nxyz second xyz");
    EXPECT_EQ(edit->History().StepCount(), 1u);
    edit->Undo();
    EXPECT_EQ(text(), "a b a b a\na second a");

    // Nothing to paste, nothing to replace, Delete at the end: no step.
    edit->ClearUndo();
    QApplication::clipboard()->clear();
    edit->PasteFromClipboard();
    dialog.SetFindText(QStringLiteral("none such"));
    edit->DialogReplace(dialog, true);
    edit->SetCursorOffset(int(text().size()));
    key(Qt::Key_Delete);
    EXPECT_FALSE(edit->CanUndo());
}

TEST_F(UndoTest, AChangeTheHistoryDidNotSeeMakesItStepAsideInsteadOfRestoringWrongText)
{
    edit->SetText("Line one\r\nLine two");
    edit->SetCursorOffset(4);
    type(" 1");
    // Text changed behind the control's back.
    edit->Document->AddParagraphWithText(0, U32("sneaked in"), nullptr);
    edit->Document->FormatAll();
    const std::string before = text();
    EXPECT_TRUE(edit->CanUndo());
    edit->Undo();
    EXPECT_EQ(text(), before);
    EXPECT_FALSE(edit->CanUndo());
}

TEST_F(UndoTest, AReadOnlyDocumentTakesNothingBack)
{
    edit->SetText("Text");
    edit->SetCursorOffset(4);
    type("s");
    edit->SetReadOnly(true);
    EXPECT_FALSE(edit->CanUndo());
    edit->Undo();
    EXPECT_EQ(text(), "Texts");
    edit->SetReadOnly(false);
    edit->Undo();
    EXPECT_EQ(text(), "Text");
}

TEST_F(UndoTest, FormattingComesBackWithItsSelection)
{
    edit->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 plain words here}");
    edit->SetSelection(6, 5);
    edit->ToolBarIcon(snIconDown, kIconGroupStyle, 2); // bold
    edit->ToolBarList(snFontName, "Times New Roman", 0);
    edit->SetCursorOffset(0);
    auto bold = [&](int offset) {
        edit->SetCursorOffset(offset + 1);
        return (edit->AttrAtCursor().Style & kStyleBold) != 0;
    };
    EXPECT_TRUE(bold(7));
    const int fonts = edit->RtfText().Header->UsedFontCount();
    edit->Undo(); // the font
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->SelLength(), 5);
    EXPECT_LT(edit->RtfText().Header->UsedFontCount(), fonts);
    edit->Undo(); // bold
    EXPECT_FALSE(bold(7));
    edit->Redo();
    EXPECT_TRUE(bold(7));
}

} // namespace

namespace {

TEST_F(UndoTest, StepsSurviveTheLinesBreakingAnewAfterAResize)
{
    std::string words;
    for (int i = 0; i < 60; ++i)
        words += "word" + std::to_string(i) + ' ';
    edit->SetText(words);
    // Swapped-out paragraphs kept laid out must be laid out again for the
    // new width.
    edit->History().LiveParagraphs = 1;
    edit->SetCursorOffset(10);
    type("typed ");
    const std::string typed = text();
    edit->resize(220, 400); // every line breaks elsewhere
    QApplication::processEvents();
    edit->Undo();
    EXPECT_EQ(text(), words);
    edit->resize(500, 400);
    QApplication::processEvents();
    edit->Redo();
    EXPECT_EQ(text(), typed);
    auto lines = [&] {
        int n = 0;
        for (const TLine *l = edit->Document->FirstParagraph->Lines; l; l = l->Next)
            ++n;
        return n;
    };
    const int shown = lines();
    edit->Document->ReformatAll();
    EXPECT_EQ(lines(), shown);
}

} // namespace
