// The rich text control in a window: text access, selections, attributes,
// the two languages, links that follow the cursor, search through the shared
// dialogs, and opening and saving by dialog with their result codes.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/winmath.h"
#include "richtext/controls/rich_text.h"
#include "tests/richtext/controls/rich_text_links_test.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

class RichTextTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEngineLanguage(tqnEnglish);
        window = std::make_unique<QWidget>();
        window->resize(640, 360);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 300, 300);
        other = new TQnRichText(window.get());
        other->setGeometry(310, 0, 300, 300);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        SetEngineLanguage(tqnEnglish);
    }

    TQnRTFTextInput &doc() { return *edit->Document; }
    void backToWindow()
    {
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    std::string text() { return edit->PlainText().toStdString(); }

    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
    TQnRichText *other = nullptr;
};

const char *kRtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                   "\\f0\\fs24 Hello {\\b bold} world\\par second line}";

} // namespace

TEST_F(RichTextTest, PropertiesStartWithTheirDefaults)
{
    EXPECT_FALSE(edit->ReadOnly());
    EXPECT_EQ(edit->Language(), tqnEnglish);
    EXPECT_EQ(edit->MemoryFormat(), fmRichText);
    EXPECT_FALSE(edit->WordWrap());
    EXPECT_EQ(edit->LoadFormat(), AutomaticFormat);
    EXPECT_EQ(edit->SaveFormat(), AutomaticFormat);
    EXPECT_EQ(edit->Zooming(), 100);
    EXPECT_EQ(edit->Resizing(), 100);
    EXPECT_TRUE(edit->Inserting());
    EXPECT_EQ(edit->HTMLStoreComment(), shcFootnote);
    EXPECT_FALSE(edit->PaintGrayTable());
    EXPECT_EQ(edit->ProtectedProp(), 0);
    EXPECT_TRUE(edit->ShowPageBreak());
    EXPECT_FALSE(edit->WriteBitmapAsDib());
    EXPECT_TRUE(edit->WantTabs);
    EXPECT_FALSE(edit->DragAndDropSupport);
    EXPECT_EQ(edit->QnToolBar(), nullptr);
    EXPECT_EQ(edit->StatusBar(), nullptr);
    EXPECT_TRUE(edit->FileName.isEmpty());
    ASSERT_NE(edit->DialogFinder, nullptr);
    ASSERT_NE(edit->SetMode, nullptr);
}

TEST_F(RichTextTest, ZoomAndResizeBelowOneMeanOneHundred)
{
    edit->SetZooming(150);
    EXPECT_EQ(edit->Zooming(), 150);
    EXPECT_EQ(doc().Header->PixelsPerInchX, MulDiv(edit->logicalDpiX(), 150, 100));
    edit->SetZooming(0);
    EXPECT_EQ(edit->Zooming(), 100);
    edit->SetResizing(-5);
    EXPECT_EQ(edit->Resizing(), 100);
}

TEST_F(RichTextTest, SetTextLoadsRtfOrPlainTextAndEmptyClearsWithTheControlFont)
{
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    QFont font("Times New Roman");
    font.setPointSize(14);
    font.setBold(true);
    edit->setFont(font);
    edit->SetLoadFormat(FormatANSI);
    edit->SetText(kRtf);
    EXPECT_EQ(text(), "Hello bold world\nsecond line");
    EXPECT_EQ(edit->LoadFormat(), FormatANSI) << "the load format comes back";
    EXPECT_GE(changes, 1);
    edit->SetText("just text");
    EXPECT_EQ(text(), "just text");

    edit->SetText("");
    EXPECT_TRUE(edit->IsEmpty());
    const TCharAttr a = edit->GetCurrentAttr();
    EXPECT_EQ(doc().Header->FontNames[a.FontIndex], "Times New Roman");
    EXPECT_EQ(a.Size, 14);
    EXPECT_TRUE(a.Style & kStyleBold);
    // What is typed now has that look.
    edit->TypeText(std::string("Hi"));
    EXPECT_EQ(text(), "Hi");
    EXPECT_EQ(doc().FirstParagraph->Lines->Attrs[0].Size, 14);
}

TEST_F(RichTextTest, InsertTextReplacesTheSelectionInItsLookAndSelectsTheNewText)
{
    edit->SetText(kRtf);
    // "bold" is at 6..10.
    edit->SetSelection(6, 4);
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->SelLength(), 4);
    edit->InsertText("heavy");
    EXPECT_EQ(text(), "Hello heavy world\nsecond line");
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->SelLength(), 5);
    EXPECT_TRUE(doc().FirstParagraph->Lines->Attrs[6].Style & kStyleBold)
        << "the inserted text takes the look of the text it replaces";
    // Absent text only deletes the block.
    edit->InsertText("");
    EXPECT_EQ(text(), "Hello  world\nsecond line");
    EXPECT_EQ(edit->SelLength(), 0);
    // A long text is cut to 255 characters.
    edit->SetCursorOffset(0);
    edit->InsertText(std::string(300, 'x'));
    EXPECT_EQ(edit->SelLength(), 255);
    // Read-only refuses.
    edit->SetReadOnly(true);
    edit->InsertText("no");
    EXPECT_EQ(edit->SelLength(), 255);
}

TEST_F(RichTextTest, SelectionAndCharacterAccess)
{
    edit->SetText(kRtf);
    edit->SelectAll();
    EXPECT_EQ(edit->SelStart(), 0);
    EXPECT_EQ(edit->SelLength(), 28);
    edit->HideSelection();
    EXPECT_EQ(edit->SelLength(), 0);
    edit->SetCursorOffset(15);
    EXPECT_EQ(edit->GetCursorOffset(), 15);
    EXPECT_EQ(edit->CharAtCursor(), 'd');
    EXPECT_TRUE(edit->NextChar());
    EXPECT_EQ(edit->CharAtCursor(), 13);
    EXPECT_TRUE(edit->NextChar());
    EXPECT_EQ(edit->CharAtCursor(), 's');
    edit->SetCursorOffset(6);
    EXPECT_TRUE(edit->AttrAtCursor().Style & kStyleBold);
    edit->SetSelLength(4);
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->SelLength(), 4);
}

TEST_F(RichTextTest, AttributesApplyToTheSelectionAndTheFontWritesBack)
{
    edit->SetText(kRtf);
    edit->SetSelection(0, 5);
    TCharAttr attr = edit->GetCurrentAttr();
    attr.Style = kStyleItalic;
    attr.Size = 20;
    edit->ApplyAttr(attr);
    const TLine *line = doc().FirstParagraph->Lines;
    EXPECT_EQ(line->Attrs[0].Size, 20);
    EXPECT_TRUE(line->Attrs[4].Style & kStyleItalic);
    EXPECT_EQ(line->Attrs[5].Size, 12) << "outside the selection";

    TQnRichTextFont &font = edit->GetFont();
    EXPECT_EQ(font.Size, 20);
    EXPECT_TRUE(font.Italic);
    font.SetName("Courier New");
    font.SetSize(9);
    font.SetStyle(true, false, true, false);
    const TCharAttr now = edit->GetCurrentAttr();
    EXPECT_EQ(doc().Header->FontNames[now.FontIndex], "Courier New");
    EXPECT_EQ(now.Size, 9);
    EXPECT_EQ(now.Style & 0x0F, kStyleBold | kStyleUnderline);
    EXPECT_EQ(edit->FontIndexOf("Courier New"), now.FontIndex);
    EXPECT_EQ(edit->FontIndexOf(std::string(40, 'F')), edit->FontIndexOf(std::string(31, 'F')));
}

TEST_F(RichTextTest, GermanShowsBereitAndAlignsDecimalTabsOnTheComma)
{
    test::RecordingStatusBar bar;
    QLabel label;
    edit->SetStatusBar(&bar);
    edit->SetStatusLabel(&label);
    edit->SetLanguage(tqnGerman);
    EXPECT_EQ(other->Language(), tqnGerman) << "one setting for the whole engine";
    edit->ShowStatus(QString());
    EXPECT_EQ(label.text(), "Bereit");
    EXPECT_EQ(bar.Panels[stStatus], "Bereit");
    EXPECT_EQ(bar.Panels[stTxtFmt], "FMT");
    edit->ShowStatus("busy");
    EXPECT_EQ(label.text(), "busy");

    // A decimal tab aligns "12,50" on its comma: the digits after the comma
    // start at the tab; with English the comma is just a character.
    auto commaX = [&] {
        edit->SetText(
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\tqdec\\tx2880 \\f0\\tab 12,50\\par}");
        TParagraph *p = doc().FirstParagraph;
        int x = 0;
        for (int i = 0; i < p->Lines->Length; ++i)
            if (p->Lines->Text[i] == ',')
                x = doc().XOfChar(p, p->Lines, i);
        return x;
    };
    const int tabX = MulDiv(2880, doc().Header->PixelsPerInchX, 1440) + 1 + doc().OriginX;
    const int german = commaX();
    EXPECT_EQ(doc().Header->DecimalChar, ',');
    EXPECT_NEAR(german, tabX, 2);
    edit->SetLanguage(tqnEnglish);
    const int english = commaX();
    EXPECT_EQ(doc().Header->DecimalChar, '.');
    EXPECT_LT(english, german) << "without a decimal point the number ends at the tab";
    edit->ShowStatus(QString());
    EXPECT_EQ(label.text(), "Ready");
    edit->SetStatusBar(nullptr);
}

TEST_F(RichTextTest, TheLinkedToolBarAndRulerFollowTheCursor)
{
    test::RecordingToolBar bar;
    test::RecordingRuler ruler;
    edit->SetQnToolBar(&bar);
    edit->SetQnRuler(&ruler);
    EXPECT_EQ(ruler.Header, doc().Header.get());
    edit->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                  "\\pard\\li720\\fi-360\\qc\\f1\\fs28 centred {\\b bold}\\par"
                  "\\pard\\f0\\fs20 plain\\par}");
    edit->SetCursorOffset(1);
    EXPECT_TRUE(bar.IsDown(2, 4)) << "centred";
    EXPECT_EQ(ruler.Left, 720);
    EXPECT_EQ(ruler.First, doc().FirstParagraph->FirstIndent);
    EXPECT_NE(ruler.First, 720);
    EXPECT_EQ(bar.FontName, "Courier New");
    EXPECT_EQ(bar.Values[snFontSize], 14);
    edit->SetCursorOffset(10); // after the b of bold
    EXPECT_TRUE(bar.IsDown(1, 2));
    EXPECT_FALSE(bar.IsDown(1, 1));
    // A key press moves the cursor into the second paragraph.
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_End);
    ASSERT_EQ(doc().Cursor.Paragraph, doc().FirstParagraph->Next);
    EXPECT_TRUE(bar.IsDown(2, 1)) << "left aligned";
    EXPECT_EQ(ruler.Left, 0);
    EXPECT_FALSE(bar.IsDown(1, 2));
    EXPECT_EQ(bar.FontName, "Arial");
    EXPECT_EQ(bar.Values[snFontSize], 10);
    // The select-all icon is down while the whole text is marked.
    edit->SelectAll();
    EXPECT_TRUE(bar.IsDown(3, 4));
    EXPECT_TRUE(bar.IsEnabled(3, 1));
    edit->HideSelection();
    EXPECT_FALSE(bar.IsDown(3, 4));
    EXPECT_FALSE(bar.IsEnabled(3, 1));
    // Icons act on the editor: bold on the selection, alignment on the paragraph.
    edit->SetSelection(0, 7);
    edit->ToolBarIcon(snIconDown, 1, 3);
    EXPECT_TRUE(doc().FirstParagraph->Lines->Attrs[2].Style & kStyleItalic);
    edit->ToolBarIcon(snIconDown, 2, 2);
    EXPECT_EQ(doc().FirstParagraph->Alignment, kAlignRight);
    edit->ToolBarList(snFontSize, "", 30);
    EXPECT_EQ(doc().FirstParagraph->Lines->Attrs[0].Size, 30);
    edit->SetReadOnly(true);
    edit->ToolBarList(snFontSize, "", 8);
    EXPECT_EQ(edit->LastResult(), kResultRefused);
    EXPECT_EQ(doc().FirstParagraph->Lines->Attrs[0].Size, 30);
    edit->SetReadOnly(false);
    // A removed link is forgotten.
    edit->RemoveLink(&bar);
    EXPECT_EQ(edit->QnToolBar(), nullptr);
    edit->SetQnRuler(nullptr);
}

TEST_F(RichTextTest, TwoEditorsShareTheFindDialogAndTheFocusedOneGetsItsEvents)
{
    edit->SetText("apple pear apple");
    other->SetText("pear apple pear");
    edit->ShowFindDialog();
    // The user comes back to the main window.
    backToWindow();
    TQnFindDialog *dialog = SharedFindDialog(false);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Target(), static_cast<TQnFindTarget *>(edit));
    dialog->SetFindText("pear");
    dialog->FindNext();
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->GetCursorOffset(), 10) << "the cursor goes after the match";

    other->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(other->hasFocus());
    EXPECT_EQ(dialog->Target(), static_cast<TQnFindTarget *>(other));
    dialog->FindNext();
    EXPECT_EQ(other->SelStart(), 0);
    dialog->FindNext();
    EXPECT_EQ(other->SelStart(), 11);
    EXPECT_EQ(edit->SelStart(), 6) << "the first editor is left alone";
    // Upwards the cursor goes before each match.
    dialog->SetDown(false);
    dialog->FindNext();
    EXPECT_EQ(other->SelStart(), 0);
    EXPECT_EQ(other->GetCursorOffset(), 0);
    dialog->SetDown(true);

    // The replace dialog closes the find dialog and replaces in the focused editor.
    other->ShowReplaceDialog();
    backToWindow();
    EXPECT_FALSE(dialog->isVisible());
    TQnFindDialog *replace = SharedReplaceDialog(false);
    replace->SetFindText("apple");
    replace->SetReplaceText("plum");
    other->SetCursorOffset(0);
    replace->FindNext();
    replace->ReplaceOne();
    EXPECT_EQ(other->PlainText().toStdString(), "pear plum pear");
    EXPECT_EQ(other->SelStart(), 5);
    EXPECT_EQ(other->SelLength(), 4);
    edit->setFocus();
    QApplication::processEvents();
    edit->SetCursorOffset(0);
    replace->ReplaceAll();
    EXPECT_EQ(text(), "plum pear plum");
    EXPECT_EQ(edit->GetCursorOffset(), 14) << "after the last replaced text";
    replace->hide();

    // When an editor goes, the dialog forgets it.
    delete other;
    other = nullptr;
    EXPECT_EQ(replace->Target(), static_cast<TQnFindTarget *>(edit));
}

TEST_F(RichTextTest, FindTextAndTheWordWalk)
{
    edit->SetText("one two  three\r\nfour");
    EXPECT_TRUE(edit->FindText("t*", false));
    EXPECT_EQ(edit->SelStart(), 4);
    EXPECT_TRUE(edit->FindText("o", true));
    EXPECT_EQ(edit->SelStart(), 16) << "backwards from the end: the o of four";
    EXPECT_EQ(edit->GetCursorOffset(), 16);
    EXPECT_FALSE(edit->FindText("zebra", false));

    edit->ResetWords();
    std::vector<std::string> words;
    for (std::string w = edit->NextWord(); !w.empty(); w = edit->NextWord())
        words.push_back(w);
    EXPECT_EQ(words, (std::vector<std::string>{"one", "two", "three", "four"}));
    // Select a word, replace it, and go on after it.
    edit->ResetWords();
    EXPECT_EQ(edit->NextWord(), "one");
    EXPECT_EQ(edit->NextWord(), "two");
    edit->SelectWord();
    EXPECT_EQ(edit->SelStart(), 4);
    edit->InsertText("TWO");
    EXPECT_EQ(edit->NextWord(), "three");

    // Words with a letter beyond the code page are passed over: never
    // offered as question marks to be written over the word.
    edit->SetText("{\\rtf1\\ansi dog \\u1087?\\u1088?\\u1080? cafe\\u769? caf\\'e9 cat}");
    edit->ResetWords();
    words.clear();
    for (std::string w = edit->NextWord(); !w.empty(); w = edit->NextWord())
        words.push_back(w);
    EXPECT_EQ(words, (std::vector<std::string>{"dog", "caf\xe9", "cat"}));
}

TEST_F(RichTextTest, ParagraphFromPropsAndTheOtherHeader)
{
    TParProps heading;
    heading.SpaceAfter = 90;
    heading.CharAttr.Style = kStyleBold | kStyleItalic | kStyleUnderline;
    heading.CharAttr.Size = 10;
    heading.CharAttr.FontIndex = static_cast<uint8_t>(edit->FontIndexOf("arial"));
    heading.Text = "Monday, March 4, 2024";
    heading.PageBreak = 1;
    edit->SetText("");
    edit->SetParagraphFromProps(heading);
    EXPECT_EQ(text(), "Monday, March 4, 2024");
    EXPECT_EQ(doc().ParagraphCount(), 1);
    EXPECT_FALSE(doc().FirstParagraph->ParFlags & kParPageBreak)
        << "the only paragraph takes no page break";
    EXPECT_EQ(doc().FirstParagraph->SpaceAfter, 90);
    EXPECT_TRUE(doc().FirstParagraph->Lines->Attrs[0].Style & kStyleItalic);
    edit->SetText(kRtf);
    edit->SetCursorOffset(2);
    edit->SetParagraphFromProps(heading);
    EXPECT_EQ(text(), "Hello bold world\nMonday, March 4, 2024\nsecond line");
    EXPECT_TRUE(doc().ParagraphAt(1)->ParFlags & kParPageBreak);

    other->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Georgia;}}\\paperw10000"
                   "\\margl500 x\\par}");
    edit->AssignHeader(*other);
    for (int i = 0; i < kFontSlots; ++i)
        EXPECT_EQ(doc().Header->FontNames[i], other->Document->Header->FontNames[i]);
    EXPECT_GE(edit->FontIndexOf("Georgia"), 1);
    EXPECT_LT(edit->FontIndexOf("Georgia"), doc().Header->UsedFontCount());
    EXPECT_EQ(doc().Header->PageWidth, 10000);
    EXPECT_EQ(doc().Header->MarginLeft, 500);
    // SetPageLayout keeps what is -1000.
    edit->SetPageLayout(-1000, 700, -1000, -1000, -1000, 9000);
    EXPECT_EQ(doc().Header->MarginLeft, 500);
    EXPECT_EQ(doc().Header->MarginRight, 700);
    EXPECT_EQ(doc().Header->PageHeight, 9000);
    edit->SetCursorOffset(0);
    edit->SetParagraphSpacing(120, -1000, 240);
    EXPECT_EQ(doc().FirstParagraph->SpaceBefore, 120);
    EXPECT_EQ(doc().FirstParagraph->SpaceAfter, 240);
    EXPECT_EQ(doc().FirstParagraph->Next->SpaceBefore, 0);
}

TEST_F(RichTextTest, OpeningSavingAndClosingByDialogSetTheirResultCodes)
{
    test::TempDir dir;
    const QString good = QString::fromStdString((dir / "good.rtf").string());
    test::writeFile(dir / "good.rtf", kRtf);
    QString answer;
    auto previous = TQnCustomRichText::SetFileDialogHook(
        [&](bool, const QString &filter) -> std::optional<QString> {
            EXPECT_TRUE(filter.startsWith("RTF files (*.RTF)"));
            return answer;
        });
    edit->SetText("old text");
    // Cancelled.
    answer.clear();
    edit->OpenFile();
    EXPECT_EQ(edit->LastResult(), kResultCancelled);
    EXPECT_EQ(text(), "old text");
    // A file that cannot be read: the document stays as it was.
    answer = QString::fromStdString((dir / "missing.rtf").string());
    edit->OpenFile();
    EXPECT_EQ(edit->LastResult(), kResultFailed);
    EXPECT_EQ(text(), "old text");
    EXPECT_TRUE(edit->FileName.isEmpty());
    // Refused when read-only.
    edit->SetReadOnly(true);
    answer = good;
    edit->OpenFile();
    EXPECT_EQ(edit->LastResult(), kResultRefused);
    edit->SetReadOnly(false);
    // Opened.
    edit->Modified = true;
    edit->OpenFile();
    EXPECT_EQ(edit->LastResult(), kResultOk);
    EXPECT_EQ(text(), "Hello bold world\nsecond line");
    EXPECT_EQ(edit->FileName, good);
    EXPECT_FALSE(edit->Modified);
    // Saved to the known file, then as another one.
    edit->SetCursorOffset(0);
    edit->TypeText(std::string("New "));
    edit->SaveFile();
    EXPECT_EQ(edit->LastResult(), kResultOk);
    other->LoadFromFile(good);
    EXPECT_EQ(other->PlainText().toStdString(), "New Hello bold world\nsecond line");
    answer = QString::fromStdString((dir / "no-such-dir" / "x.rtf").string());
    edit->SaveFileAs();
    EXPECT_EQ(edit->LastResult(), kResultFailed);
    EXPECT_EQ(edit->FileName, good) << "the name stays on failure";
    answer.clear();
    edit->SaveFileAs();
    EXPECT_EQ(edit->LastResult(), kResultCancelled);
    // No dialog could be made.
    auto mine = TQnCustomRichText::SetFileDialogHook(
        [](bool, const QString &) -> std::optional<QString> { return std::nullopt; });
    edit->OpenFile();
    EXPECT_EQ(edit->LastResult(), kResultNoDialog);
    edit->SaveFileAs();
    EXPECT_EQ(edit->LastResult(), kResultNoDialog);
    EXPECT_EQ(edit->FileName, good);
    TQnCustomRichText::SetFileDialogHook(mine);
    // Closing saves and empties.
    edit->CloseFile();
    EXPECT_EQ(edit->LastResult(), kResultOk);
    EXPECT_TRUE(edit->IsEmpty());
    EXPECT_TRUE(edit->FileName.isEmpty());
    TQnCustomRichText::SetFileDialogHook(previous);
}

TEST_F(RichTextTest, ExternalScrollBarsAndTheStatusBarFollowTheControl)
{
    QScrollBar vertical(Qt::Vertical);
    edit->SetExternVerScrollBar(&vertical);
    EXPECT_EQ(vertical.minimum(), 0);
    EXPECT_EQ(vertical.maximum(), 1000);
    std::string many;
    for (int i = 0; i < 80; ++i)
        many += "line " + std::to_string(i) + "\r\n";
    edit->SetText(many);
    const TQnRTFTextInput &d = doc();
    ASSERT_GT(d.DocumentHeight, d.WindowHeight);
    // The view scrolls to whole lines: within one line of the bar's place.
    const int line = d.FirstParagraph->Lines->Height;
    vertical.setValue(1000);
    EXPECT_NEAR(d.ScrollY, d.DocumentHeight - d.WindowHeight, line);
    vertical.setValue(500);
    EXPECT_NEAR(d.ScrollY, (d.DocumentHeight - d.WindowHeight) / 2, line);
    // Scrolling in the control moves the bar.
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(d.ScrollY, 0);
    EXPECT_EQ(vertical.value(), 0);
    edit->RemoveLink(&vertical);
    EXPECT_EQ(edit->ExternVerScrollBar(), nullptr);

    test::RecordingStatusBar bar;
    edit->FileName = "entry.rtf";
    edit->SetStatusBar(&bar);
    EXPECT_EQ(bar.Panels[stTxtFmt], "RICH");
    EXPECT_EQ(bar.Panels[stStatus], "Ready");
    EXPECT_EQ(bar.Panels[stFileName], "entry.rtf");
    edit->SetMemoryFormat(fmPlainText);
    EXPECT_EQ(bar.Panels[stTxtFmt], "PLAIN");
    edit->Clear();
    EXPECT_EQ(bar.Panels[stFileName], " ");
    EXPECT_TRUE(edit->FileName.isEmpty());
    // A copy without a selection tells so.
    edit->ToolBarIcon(snIconDown, 3, 1);
    EXPECT_EQ(bar.Panels[stStatus], "no text selected");
    edit->SetStatusBar(nullptr);
}
