#include "app/date_key.h"
#include "app/default_font_dialog.h"
#include "app/main_screen.h"
#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/datetime.h"
#include "platform/qt/messages.h"
#include "richtext/controls/find_replace_dialog.h"
#include "richtext/io/stream.h"
#include "richtext/model/records.h"
#include "richtext/model/text_header.h"

#include "tests/support/command.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDialog>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sys/wait.h>

// Failures show texts as text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace qn;
namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path &path)
{
    return qn::test::shellQuote(path.string());
}

// A diary folder of its own for every case, and the window on it as the
// user works with it: shown, active, the focus in the editor.
class EntriesTest : public testing::Test {
protected:
    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;

    void SetUp() override { open(); }
    void TearDown() override
    {
        w.reset();
        ResetFormatSettings();
    }

    void open()
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        ASSERT_FALSE(w->StartFailed()) << w->OpenFailure();
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        w->QnRichText1->setFocus();
        QApplication::processEvents();
    }
    // Closes the window as the user does and starts the program again.
    void restart()
    {
        w->close();
        w.reset();
        open();
    }
    void goTo(int year, int month, int day)
    {
        w->CurrentDate = EncodeDate(year, month, day);
        w->FindDateRecord();
        w->LoadRichText();
    }
    void type(const QString &text) { QTest::keyClicks(w->QnRichText1, text); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(w->QnRichText1, k, mods);
    }
    QString text() const { return w->QnRichText1->PlainText(); }
    bool modified() const { return !w->SaveButton->isHidden() && !w->CancelButton->isHidden(); }
    void clickSave() { QTest::mouseClick(w->SaveButton, Qt::LeftButton); }
    // The stored text of the entry of the date, nullopt without a record.
    std::optional<std::string> stored(int year, int month, int day)
    {
        w->FindDateRecord(); // the date tag active
        if (!w->DiaryXTable->Seek(DateKey(year, month, day)))
            return std::nullopt;
        std::string memo = w->DiaryTable->MemoText("ENTRY");
        w->FindDateRecord();
        return memo;
    }
    int liveRecordsFor(const std::string &key)
    {
        int count = 0;
        for (w->DiaryTable->First(); !w->DiaryTable->Eof(); w->DiaryTable->Next())
            count += w->DiaryTableDATE->AsString() == key;
        w->FindDateRecord();
        return count;
    }
};

// Bold from the start of the selection on, in colour slot `color`.
void formatRange(TQnRichText &editor, int start, int length, bool bold, ColorRef color)
{
    editor.SetSelection(start, length);
    TQnRichTextFont &font = editor.GetFont();
    font.SetStyle(bold, false, false, false);
    font.SetColor(color);
    // The writing attributes, now with the colour's slot, onto the selection.
    editor.ApplyAttr(editor.GetCurrentAttr());
    editor.SetCursorOffset(0);
}

TCharAttr attrAt(TQnRichText &editor, int offset)
{
    editor.SetCursorOffset(offset);
    return editor.AttrAtCursor();
}

} // namespace

TEST(PadMemoText, LinesEndInCrLfAndMultiplesOfFourGainOneBlank)
{
    EXPECT_EQ(TMainScreen::PadMemoText(""), "");
    EXPECT_EQ(TMainScreen::PadMemoText("abc"), "abc\r\n");
    EXPECT_EQ(TMainScreen::PadMemoText("abcd"), "abcd \r\n");
    // The length counts the lines joined by CR LF, whatever ended them.
    EXPECT_EQ(TMainScreen::PadMemoText("a\nb"), "a\r\nb \r\n");
    EXPECT_EQ(TMainScreen::PadMemoText("a\rb\r\n"), "a\r\nb \r\n");
    EXPECT_EQ(TMainScreen::PadMemoText("ab\r\nc"), "ab\r\nc\r\n");
    EXPECT_EQ(TMainScreen::PadMemoText("{\\rtf1}\r\n\r\n"), "{\\rtf1}\r\n\r\n");
    // An empty last line takes the blank.
    EXPECT_EQ(TMainScreen::PadMemoText("ab\r\n\r\n"), "ab\r\n \r\n");
}

TEST_F(EntriesTest, AFormattedEntrySurvivesMovesAndARestart)
{
    EXPECT_FALSE(modified());
    type(QStringLiteral("Bold words and red words"));
    EXPECT_TRUE(modified());
    key(Qt::Key_Return);
    type(QStringLiteral("Second paragraph"));
    formatRange(*w->QnRichText1, 0, 10, true, 0x00FF0000);  // blue
    formatRange(*w->QnRichText1, 15, 9, false, 0x000000FF); // red
    const QString before = text();
    clickSave();
    EXPECT_FALSE(modified());
    EXPECT_TRUE(w->RecordFound);
    const TDateTime today = Date();
    int year = 0, month = 0, day = 0;
    DecodeDate(today, year, month, day);

    QTest::mouseClick(w->Nextbutton, Qt::LeftButton);
    EXPECT_EQ(w->CurrentDate, today + 1);
    EXPECT_TRUE(text().isEmpty());
    QTest::mouseClick(w->PriorButton, Qt::LeftButton);
    EXPECT_EQ(text(), before);

    restart();
    EXPECT_EQ(w->CurrentDate, today);
    EXPECT_EQ(text(), before);
    EXPECT_EQ(text(), QStringLiteral("Bold words and red words\nSecond paragraph"));
    TQnRichText &e = *w->QnRichText1;
    const TTextHeader &header = *e.RtfText().Header;
    TCharAttr bold = attrAt(e, 2);
    EXPECT_TRUE(bold.Style & 0x0001);
    EXPECT_EQ(header.Colors[bold.TextColor()], 0x00FF0000u);
    TCharAttr plain = attrAt(e, 12);
    EXPECT_FALSE(plain.Style & 0x0001);
    TCharAttr red = attrAt(e, 17);
    EXPECT_EQ(header.Colors[red.TextColor()], 0x000000FFu);
    EXPECT_FALSE(modified());
    // A picture of the window for whoever looks at it (QN_SHOT_DIR).
    if (const char *shots = std::getenv("QN_SHOT_DIR")) {
        w->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/entry.png"));
        // And one with indents and tab stops under the bar and the ruler.
        w->QnRichText1->SetText(
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
            "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;"
            "\\red0\\green0\\blue160;}"
            "\\pard\\f1\\fs32\\b\\cf3 A day by the sea\\par"
            "\\pard\\li720\\fi-360\\tx2160\\tqr\\tx5040\\f0\\fs20\\b0\\cf1 "
            "Morning\\tab walk\\tab 6.5 km\\par "
            "Noon\\tab {\\i lunch}\\tab 12.50\\par "
            "\\pard\\li1440\\ri720\\qj\\cf2 An indented paragraph in red, justified "
            "between its left indent of one inch and its right indent of half an inch, long "
            "enough to wrap over a few lines of the page.\\par}");
        w->QnRichText1->SetCursorOffset(30);
        QApplication::processEvents();
        w->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/main_window.png"));
    }

    // The stored form: RTF, every line ending in CR LF.
    std::optional<std::string> memo = stored(year, month, day);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(memo->substr(memo->size() - 2), "\r\n");
    for (size_t i = memo->find('\n'); i != std::string::npos; i = memo->find('\n', i + 1))
        EXPECT_EQ((*memo)[i - 1], '\r') << "at " << i;
}

TEST_F(EntriesTest, IndependentReadersFindTheStoredText)
{
    type(QStringLiteral("Walked to the harbour"));
    key(Qt::Key_Return);
    type(QStringLiteral("Rain in the evening"));
    formatRange(*w->QnRichText1, 0, 6, true, 0x00008000);
    clickSave();
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    std::optional<std::string> memo = stored(year, month, day);
    ASSERT_TRUE(memo);
    qn::test::writeFile(dir / "entry.rtf", *memo);
    for (const char *reader : {"unrtf --text", "pandoc -f rtf -t plain"}) {
        const std::string program = std::string(reader).substr(0, std::string(reader).find(' '));
        if (std::system(("command -v " + program + " >/dev/null").c_str()) != 0) {
            std::printf("note: %s is not installed; skipped\n", program.c_str());
            continue;
        }
        std::optional<std::string> out =
            qn::test::commandOutput(std::string(reader) + " " + quoted(dir / "entry.rtf"));
        ASSERT_TRUE(out) << reader;
        EXPECT_NE(out->find("Walked to the harbour"), std::string::npos) << reader << *out;
        EXPECT_NE(out->find("Rain in the evening"), std::string::npos) << reader << *out;
    }
}

TEST_F(EntriesTest, BlankEntriesNeverKeepARecord)
{
    goTo(2024, 3, 5);
    // A new entry of blanks, tabs and empty lines writes nothing.
    type(QStringLiteral("   "));
    key(Qt::Key_Tab);
    key(Qt::Key_Return);
    key(Qt::Key_Return);
    EXPECT_TRUE(modified());
    clickSave();
    EXPECT_FALSE(modified());
    EXPECT_FALSE(w->RecordFound);
    EXPECT_FALSE(stored(2024, 3, 5));

    // A stored entry emptied down to blanks loses its record.
    type(QStringLiteral("x"));
    clickSave();
    ASSERT_TRUE(stored(2024, 3, 5));
    w->QnRichText1->SelectAll();
    key(Qt::Key_Delete);
    type(QStringLiteral("  "));
    key(Qt::Key_Return);
    clickSave();
    EXPECT_FALSE(w->RecordFound);
    EXPECT_FALSE(stored(2024, 3, 5));
    EXPECT_EQ(liveRecordsFor("20240305"), 0);

    // Written again (after the blanks still on screen), the date has one
    // live record, found by its key.
    type(QStringLiteral("again"));
    clickSave();
    EXPECT_EQ(liveRecordsFor("20240305"), 1);
    goTo(2024, 3, 6);
    goTo(2024, 3, 5);
    EXPECT_EQ(text().toStdString(), "  \nagain");
}

TEST_F(EntriesTest, AStoredTextOfAMultipleOfFourIsPaddedAndReadsBackUnchanged)
{
    goTo(2024, 4, 1);
    // Typed until the text the control writes is a multiple of four long.
    bool padded = false;
    for (int i = 0; i < 8 && !padded; ++i) {
        type(QStringLiteral("w"));
        TQnMemoryStream rtf;
        w->QnRichText1->SetSaveFormat(FormatRTF);
        w->QnRichText1->SaveToStream(rtf);
        const std::string stored = TMainScreen::PadMemoText(rtf.Bytes());
        padded = stored.size() >= 3 && stored.compare(stored.size() - 3, 3, " \r\n") == 0;
    }
    ASSERT_TRUE(padded);
    const QString typed = text();
    clickSave();
    std::optional<std::string> memo = stored(2024, 4, 1);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->substr(memo->size() - 3), " \r\n");
    goTo(2024, 4, 2);
    goTo(2024, 4, 1);
    EXPECT_EQ(text(), typed);
    EXPECT_FALSE(modified());
}

TEST_F(EntriesTest, CancelShowsTheStoredTextOrAnEmptyPageInTheDefaultFont)
{
    goTo(2024, 5, 1);
    type(QStringLiteral("kept"));
    clickSave();
    type(QStringLiteral(" and more"));
    EXPECT_TRUE(modified());
    QTest::mouseClick(w->CancelButton, Qt::LeftButton);
    EXPECT_EQ(text(), QStringLiteral("kept"));
    EXPECT_FALSE(modified());

    w->DefaultFontName = "Courier New";
    w->DefaultFontSize = 14;
    w->DefaultFontBold = true;
    w->DefaultFontColor = 0x00800000; // navy, a slot of the default colour table
    goTo(2024, 5, 2);
    type(QStringLiteral("scribble"));
    w->CancelButtonClick();
    EXPECT_TRUE(text().isEmpty());
    EXPECT_FALSE(modified());
    EXPECT_FALSE(w->RecordFound);
    // What is typed next is in the default font.
    type(QStringLiteral("new"));
    TQnRichText &e = *w->QnRichText1;
    TCharAttr attr = attrAt(e, 1);
    const TTextHeader &header = *e.RtfText().Header;
    EXPECT_EQ(e.FontIndexOf("Courier New"), attr.FontIndex);
    EXPECT_EQ(attr.Size, 14);
    EXPECT_TRUE(attr.Style & 0x0001);
    EXPECT_FALSE(attr.Style & 0x0002);
    EXPECT_EQ(header.Colors[attr.TextColor()], 0x00800000u);
}

TEST_F(EntriesTest, ANewDefaultFontAppliesToPagesShownAsNewFromThenOn)
{
    goTo(2024, 5, 10);
    type(QStringLiteral("stored in Arial"));
    clickSave();
    w->RunFontDialog = [](TDefaultFontDialog &d) {
        QFont font(QStringLiteral("Liberation Serif"));
        font.setPointSize(16);
        font.setItalic(true);
        d.FontChooser->setCurrentFont(font);
        return true;
    };
    w->mnuDefaultFontClick();
    goTo(2024, 5, 11);
    type(QStringLiteral("new"));
    TQnRichText &e = *w->QnRichText1;
    TCharAttr attr = attrAt(e, 1);
    EXPECT_EQ(e.FontIndexOf("Liberation Serif"), attr.FontIndex);
    EXPECT_EQ(attr.Size, 16);
    EXPECT_TRUE(attr.Style & 0x0002);
    // The stored entry keeps its font.
    goTo(2024, 5, 10);
    attr = attrAt(e, 1);
    EXPECT_EQ(e.FontIndexOf("Arial"), attr.FontIndex);
    EXPECT_FALSE(attr.Style & 0x0002);
}

TEST_F(EntriesTest, CommandsThatMarkTheEntryModified)
{
    goTo(2024, 6, 1);
    // Today's date typed at the caret, in the short date format.
    QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(modified());
    EXPECT_EQ(text(), QString::fromStdString(FormatDateTime("mm/dd/yyyy", Date()) + " "));
    w->CancelButtonClick();

    // Keys the editor may take without a change of its own.
    for (Qt::Key k : {Qt::Key_Delete, Qt::Key_Tab}) {
        EXPECT_FALSE(modified());
        key(k);
        EXPECT_TRUE(modified()) << k;
        w->CancelButtonClick();
    }
    // A paste marks the entry only when something was pasted.
    QApplication::clipboard()->clear();
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_FALSE(modified());
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(modified());
    w->CancelButtonClick();

    // Opening the replace dialog counts as a change; saving writes the same text.
    type(QStringLiteral("same text"));
    clickSave();
    std::optional<std::string> first = stored(2024, 6, 1);
    QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(modified());
    ASSERT_NE(SharedReplaceDialog(false), nullptr);
    EXPECT_TRUE(SharedReplaceDialog(false)->isVisible());
    SharedReplaceDialog(false)->close();
    clickSave();
    EXPECT_EQ(stored(2024, 6, 1), first);
}

TEST_F(EntriesTest, WordWrapAndPageBreakCommands)
{
    EXPECT_TRUE(w->mnuWrapTexttofitScreen->isChecked());
    EXPECT_EQ(w->DocWordWrapButton->toolTip(), QStringLiteral("Toggle word wrap off"));
    w->mnuWrapTexttofitScreen->trigger();
    EXPECT_FALSE(w->mnuWrapTexttofitScreen->isChecked());
    EXPECT_FALSE(w->QnRichText1->WordWrap());
    EXPECT_EQ(w->DocWordWrapButton->toolTip(), QStringLiteral("Toggle word wrap on"));
    QTest::mouseClick(w->DocWordWrapButton, Qt::LeftButton);
    EXPECT_TRUE(w->mnuWrapTexttofitScreen->isChecked());
    EXPECT_TRUE(w->QnRichText1->WordWrap());
    EXPECT_FALSE(modified());

    goTo(2024, 7, 1);
    type(QStringLiteral("first page"));
    w->QnRichText1->SetCursorOffset(3);
    w->DocPageBreakButtonClick();
    EXPECT_TRUE(modified());
    // A new paragraph after the caret's, not a split.
    EXPECT_EQ(text(), QStringLiteral("first page\n"));
    type(QStringLiteral("second"));
    clickSave();
    std::optional<std::string> memo = stored(2024, 7, 1);
    ASSERT_TRUE(memo);
    EXPECT_NE(memo->find("\\page"), std::string::npos) << *memo;
}

TEST_F(EntriesTest, ResizingPutsTheCaretAtTheStart)
{
    type(QStringLiteral("some words"));
    EXPECT_EQ(w->QnRichText1->GetCursorOffset(), 10);
    w->resize(w->width() + 40, w->height() + 20);
    QApplication::processEvents();
    EXPECT_EQ(w->QnRichText1->GetCursorOffset(), 0);
}

TEST_F(EntriesTest, AFailedSaveKeepsTheEntryOnScreenAndTheStoredOneUnchanged)
{
    goTo(2024, 8, 1);
    type(QStringLiteral("stored version"));
    clickSave();
    std::optional<std::string> before = stored(2024, 8, 1);
    type(QStringLiteral(" edited"));
    const QString edited = text();

    // The table goes away under the window: the save cannot happen.
    w->DiaryTable->Close();
    qn::test::NotificationCapture capture;
    QTest::mouseClick(w->Nextbutton, Qt::LeftButton);
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0].rfind("The entry could not be saved: ", 0), 0u)
        << capture.informations[0];
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 8, 1)); // did not move
    EXPECT_EQ(text(), edited);
    EXPECT_TRUE(modified());

    ASSERT_TRUE(w->OpenDiaryFile());
    EXPECT_EQ(stored(2024, 8, 1), before);
    clickSave();
    EXPECT_TRUE(capture.informations.size() == 1);
    EXPECT_FALSE(modified());
    goTo(2024, 8, 2);
    goTo(2024, 8, 1);
    EXPECT_EQ(text(), edited);
}

TEST_F(EntriesTest, ANewEntryForADateWrittenMeanwhileUpdatesThatRecord)
{
    goTo(2024, 9, 1);
    EXPECT_FALSE(w->RecordFound);
    // Another writer stores an entry for the date on screen.
    w->DiaryTable->Append();
    w->DiaryTableDATE->SetAsString("20240901");
    w->DiaryTable->SetMemoText("ENTRY", "{\\rtf1 theirs}\r\n");
    w->DiaryTable->Post();
    type(QStringLiteral("mine"));
    clickSave();
    EXPECT_EQ(liveRecordsFor("20240901"), 1);
    goTo(2024, 9, 2);
    goTo(2024, 9, 1);
    EXPECT_EQ(text(), QStringLiteral("mine"));
}

TEST_F(EntriesTest, ClosingSavesAModifiedEntry)
{
    goTo(2024, 10, 1);
    type(QStringLiteral("written before closing"));
    restart();
    goTo(2024, 10, 1);
    EXPECT_EQ(text(), QStringLiteral("written before closing"));

    // The same when the session ends.
    w->QnRichText1->SetCursorOffset(int(text().size()));
    type(QStringLiteral(", and at logout"));
    w->CommitDataRequested();
    EXPECT_FALSE(modified());
    goTo(2024, 10, 2);
    goTo(2024, 10, 1);
    EXPECT_EQ(text().toStdString(), "written before closing, and at logout");
}

// A second process saves an entry and is killed at once, or is sent SIGTERM
// with an entry modified; the entry is in the diary either way.
TEST(EntriesProcess, NothingSavedIsLostToAKillAndTerminationSaves)
{
    qn::test::TempDir dir;
    const std::string probe = quoted(qn::test::binaryDir() / "tests" / "entry_save_probe");
    qn::test::CommandResult killed =
        qn::test::runCommand(probe + " " + quoted(dir.path()) + " kill 2>&1");
    ASSERT_TRUE(killed.out.find("saved") != std::string::npos) << killed.out;
    qn::test::CommandResult termed =
        qn::test::runCommand(probe + " " + quoted(dir.path()) + " term 2>&1");
    ASSERT_EQ(termed.status, 0) << termed.out;

    TMainScreen w(dir.path().string());
    ASSERT_FALSE(w.StartFailed());
    w.CurrentDate = EncodeDate(2025, 1, 2);
    w.FindDateRecord();
    w.LoadRichText();
    EXPECT_EQ(w.QnRichText1->PlainText(), QStringLiteral("saved and then killed"));
    w.CurrentDate = EncodeDate(2025, 1, 3);
    w.FindDateRecord();
    w.LoadRichText();
    EXPECT_EQ(w.QnRichText1->PlainText(), QStringLiteral("modified when terminated"));
    ResetFormatSettings();
}

TEST_F(EntriesTest, UndoAndRedoFromTheEditMenuBelongToTheEntryOnScreen)
{
    goTo(2024, 6, 1);
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    EXPECT_FALSE(w->mnuRedo->isEnabled());
    type(QStringLiteral("first words"));
    EXPECT_TRUE(w->mnuUndo->isEnabled());
    EXPECT_FALSE(w->mnuRedo->isEnabled());
    clickSave();
    EXPECT_FALSE(modified());

    // Ctrl+Z with the focus in the entry: the typing goes, and the entry is
    // changed again against what is stored.
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(text(), QString());
    EXPECT_TRUE(modified());
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    EXPECT_TRUE(w->mnuRedo->isEnabled());
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(text(), QStringLiteral("first words"));
    w->mnuUndo->trigger();
    EXPECT_EQ(text(), QString());
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(text(), QStringLiteral("first words"));
    EXPECT_FALSE(w->mnuRedo->isEnabled());

    // Another date has a history of its own; coming back starts afresh.
    clickSave();
    goTo(2024, 6, 2);
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(text(), QString());
    goTo(2024, 6, 1);
    EXPECT_EQ(text(), QStringLiteral("first words"));
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    type(QStringLiteral("!"));
    w->CancelButtonClick();
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    EXPECT_EQ(text(), QStringLiteral("first words"));
}

namespace {

// A record whose stored text the reader gives up on part way (an escape cut
// off at its end): "Kept words" can be read, the rest cannot.
const std::string kPartlyReadable = "{\\rtf1\\ansi Kept words\\par More text that stays\\'";

void storeRaw(TMainScreen &w, const std::string &key, const std::string &memo)
{
    w.DiaryTable->Append();
    w.DiaryTableDATE->SetAsString(key);
    w.DiaryTable->SetMemoText("ENTRY", memo);
    w.DiaryTable->Post();
}

} // namespace

TEST_F(EntriesTest, APartlyReadEntryOpensReadOnlyAndSaysHowMuchWasRead)
{
    storeRaw(*w, "20240402", kPartlyReadable);
    qn::test::NotificationCapture capture;
    goTo(2024, 4, 2);
    ASSERT_TRUE(w->RecordFound);
    EXPECT_TRUE(w->QnRichText1->ReadOnly());
    EXPECT_TRUE(text().startsWith(QStringLiteral("Kept words"))) << text().toStdString();
    ASSERT_EQ(capture.informations.size(), 1u);
    const std::string &message = capture.informations[0];
    EXPECT_NE(message.find("could be read only in part"), std::string::npos) << message;
    EXPECT_NE(message.find("Tuesday, April 2, 2024"), std::string::npos) << message;
    // How much: the characters shown and the size of what is stored.
    EXPECT_NE(message.find(std::to_string(w->QnRichText1->PlainText().size() -
                                          w->QnRichText1->PlainText().count('\n'))),
              std::string::npos)
        << message;
    EXPECT_NE(message.find(std::to_string(kPartlyReadable.size())), std::string::npos) << message;

    // Typing changes nothing; a save is refused and the stored text stays.
    type(QStringLiteral("typed"));
    EXPECT_FALSE(modified());
    EXPECT_THROW(w->SaveRichText(), std::exception);
    EXPECT_EQ(stored(2024, 4, 2), kPartlyReadable);

    // A whole entry on another date opens as usual, and can be changed.
    goTo(2024, 4, 3);
    EXPECT_FALSE(w->QnRichText1->ReadOnly());
    type(QStringLiteral("x"));
    EXPECT_TRUE(modified());
}

TEST_F(EntriesTest, NothingMarksAReadOnlyEntryModifiedOrWipesIt)
{
    storeRaw(*w, "20240402", kPartlyReadable);
    {
        qn::test::NotificationCapture quiet;
        goTo(2024, 4, 2);
    }
    ASSERT_TRUE(w->QnRichText1->ReadOnly());
    QApplication::clipboard()->setText(QStringLiteral("pasted over"));
    w->QnRichText1->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w->QnRichText1);

    // Keys at the editor, with the focus where the user's is.
    key(Qt::Key_Delete);
    EXPECT_FALSE(modified()) << "Delete";
    key(Qt::Key_Tab);
    EXPECT_FALSE(modified()) << "Tab";
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_FALSE(modified()) << "Ctrl+V";
    QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(modified()) << "Replace";
    if (SharedReplaceDialog(false))
        SharedReplaceDialog(false)->close();
    // The speed button, a press on the ruler, the editor's own notification.
    QTest::mouseClick(w->DocPageBreakButton, Qt::LeftButton);
    EXPECT_FALSE(modified()) << "page break";
    QTest::mousePress(w->QnRuler1, Qt::LeftButton, Qt::NoModifier, QPoint(60, 8));
    QTest::mouseRelease(w->QnRuler1, Qt::LeftButton, Qt::NoModifier, QPoint(60, 8));
    EXPECT_FALSE(modified()) << "ruler";
    w->QnRichText1->Changed();
    EXPECT_FALSE(modified()) << "change notification";

    // Moving away and closing find nothing to save: the record survives.
    QTest::mouseClick(w->Nextbutton, Qt::LeftButton);
    EXPECT_EQ(stored(2024, 4, 2), kPartlyReadable);
    goTo(2024, 4, 2);
    {
        qn::test::NotificationCapture quiet;
        restart();
    }
    EXPECT_EQ(stored(2024, 4, 2), kPartlyReadable);
}

TEST_F(EntriesTest, AnEmptiedEntryLeavesNoDateBehind)
{
    goTo(2024, 10, 7);
    type(QStringLiteral("private"));
    clickSave();
    ASSERT_NE(qn::test::readFile(dir / "QUILLNK.DBF").find("20241007"), std::string::npos);
    w->QnRichText1->SelectAll();
    key(Qt::Key_Delete);
    clickSave();
    EXPECT_FALSE(w->RecordFound);
    // The deleted record keeps no date for the index to find.
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.DBF").find("20241007"), std::string::npos);
    EXPECT_EQ(liveRecordsFor("20241007"), 0);
    restart();
    goTo(2024, 10, 7);
    EXPECT_FALSE(w->RecordFound);
    EXPECT_EQ(text(), QString());
}

// An entry of an encrypted diary changed by someone without the password is
// shown empty and read-only, and is never saved over.
namespace {

// April 2nd and 3rd, the table then encrypted: the last record and the last
// memo are April 3rd's.
void storeTwoEncrypted(TMainScreen &w)
{
    storeRaw(w, "20240402", "{\\rtf1\\ansi first words}");
    storeRaw(w, "20240403", "{\\rtf1\\ansi second words}");
    w.DiaryPassword = "pass word";
    w.DiaryXTable->SetPassword("pass word");
    w.DiaryXTable->DbfEncrypt();
}

// April 3rd on screen as an entry changed outside: empty, read-only, and
// said once.
void expectShownAsChangedOutside(TMainScreen &w, const qn::test::NotificationCapture &capture)
{
    ASSERT_TRUE(w.RecordFound);
    EXPECT_TRUE(w.QnRichText1->ReadOnly());
    EXPECT_EQ(w.QnRichText1->PlainText(), QString());
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0], "The entry of Wednesday, April 3, 2024 was changed outside "
                                       "Quillnook and is not shown.");
}

} // namespace

TEST_F(EntriesTest, ARecordChangedOutsideIsNotShownNorSavedOver)
{
    storeTwoEncrypted(*w);
    // The last record is April 3rd's; the table is opened afresh so that
    // nothing of it is remembered from before the change.
    w->DiaryTable->Close();
    std::string table = qn::test::readFile(dir / "QUILLNK.DBF");
    table[table.size() - 4] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.DBF", table);
    w->DiaryTable->Open();
    qn::test::NotificationCapture capture;
    goTo(2024, 4, 3);
    expectShownAsChangedOutside(*w, capture);
    type(QStringLiteral("new words"));
    EXPECT_FALSE(modified());
    goTo(2024, 4, 2);
    EXPECT_FALSE(w->QnRichText1->ReadOnly());
    EXPECT_EQ(w->QnRichText1->PlainText(), QStringLiteral("first words"));
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.DBF"), table);
}

TEST_F(EntriesTest, AnEntryChangedOutsideIsNotShownNorSavedOver)
{
    storeTwoEncrypted(*w);
    // The memos are written in the order of the records: the last is April 3rd's.
    std::string memo = qn::test::readFile(dir / "QUILLNK.FPT");
    memo[memo.size() - 3] ^= 0x01;
    qn::test::writeFile(dir / "QUILLNK.FPT", memo);
    qn::test::NotificationCapture capture;
    goTo(2024, 4, 3);
    expectShownAsChangedOutside(*w, capture);
    type(QStringLiteral("new words"));
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.FPT"), memo);
    goTo(2024, 4, 2);
    EXPECT_FALSE(w->QnRichText1->ReadOnly());
    EXPECT_EQ(w->QnRichText1->PlainText(), QStringLiteral("first words"));
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.FPT"), memo);
}
