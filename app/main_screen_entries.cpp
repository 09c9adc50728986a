// The entry on screen: loading it from the diary, storing it back (new,
// changed or emptied), and the editing commands of the main window.
#include "app/date_key.h"
#include "app/main_screen.h"

#include "engine/xt.h"
#include "engine/xtable.h"
#include "engine/xtable_error.h"
#include "platform/datetime.h"
#include "platform/notifications.h"
#include "platform/qt/messages.h"
#include "richtext/io/stream.h"
#include "richtext/model/records.h"
#include "richtext/model/side_records.h"
#include "richtext/model/text_header.h"

#include <QApplication>
#include <QLayout>
#include <QToolButton>

#include <cstdio>
#include <stdexcept>

namespace qn {

using engine::TXDataSetState;

namespace {

constexpr uint16_t kBoldBit = 0x0001;
constexpr uint16_t kItalicBit = 0x0002;
constexpr uint16_t kUnderlineBit = 0x0004;

// The text split into lines at CR LF, CR or LF, as a line buffer reads it;
// a line end at the very end starts no further line.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

} // namespace

std::string TMainScreen::PadMemoText(const std::string &rtf)
{
    std::vector<std::string_view> lines = splitLines(rtf);
    size_t joined = 0;
    for (std::string_view line : lines)
        joined += line.size();
    if (!lines.empty())
        joined += 2 * (lines.size() - 1);
    std::string stored;
    stored.reserve(joined + 3);
    for (size_t i = 0; i < lines.size(); ++i) {
        stored.append(lines[i]);
        if (i + 1 == lines.size() && joined > 0 && joined % 4 == 0)
            stored += ' ';
        stored += "\r\n";
    }
    return stored;
}

bool TMainScreen::EntryModified() const
{
    // The buttons' own flag: while the window itself is hidden (start-up,
    // locked) isVisible() answers false for every child.
    return !SaveButton->isHidden();
}

void TMainScreen::setEntryModified(bool modified)
{
    SaveButton->setVisible(modified);
    CancelButton->setVisible(modified);
    // The place of the two buttons with the spacing after each.
    const int place =
        modified ? 0 : SaveButton->width() + CancelButton->width() + 2 * actionSpacing();
    saveCancelPlace_->changeSize(place, SaveButton->height(), QSizePolicy::Maximum,
                                 QSizePolicy::Fixed);
    ActionPanel->layout()->invalidate();
}

namespace {

// Characters of text the document holds (paragraph ends not counted).
int64_t textCharacters(const TQnRTFText &document)
{
    int64_t count = 0;
    for (const TParagraph *p = document.FirstParagraph; p; p = p->Next)
        count += p->TextLength();
    return count;
}

// Whether the reader stopped before the end: anything but blanks, line ends
// and zero bytes left behind the place it stopped at.
bool textLeftBehind(const TQnMemoryStream &stream)
{
    const std::string &bytes = stream.Bytes();
    for (size_t i = static_cast<size_t>(std::max<int64_t>(stream.Position(), 0)); i < bytes.size();
         ++i)
        if (static_cast<unsigned char>(bytes[i]) > ' ')
            return true;
    return false;
}

} // namespace

std::string TMainScreen::readStoredEntry(std::string &failure, bool &changedOutside)
{
    std::string stored;
    changedOutside = RecordFound && RecordChangedOutside;
    if (!RecordFound)
        return stored;
    if (changedOutside) {
        failure = "the record was changed outside Quillnook";
        return stored;
    }
    try {
        stored = DiaryTable->MemoText("ENTRY");
    } catch (const engine::EXTableError &error) {
        failure = error.what();
        changedOutside = error.code() == XT_ERR_CHANGED;
    } catch (const std::exception &error) {
        failure = error.what();
    }
    return stored;
}

void TMainScreen::LoadRichText()
{
    std::string failure;
    bool changedOutside = false;
    std::string stored = readStoredEntry(failure, changedOutside);
    const size_t storedSize = stored.size();
    bool partly = false;
    QnRichText1->SetReadOnly(false);
    QnRichText1->Clear();
    if (!stored.empty()) {
        TQnMemoryStream stream(std::move(stored));
        QnRichText1->LoadFromStream(stream);
        const TQnRTFTextIo &document = *QnRichText1->Document;
        if (document.ErrorState != kIoOk || textLeftBehind(stream)) {
            partly = true;
            failure = document.LastIoError.empty() ? std::string("the stored text is damaged")
                                                   : document.LastIoError;
        }
    }
    QnRichText1->SetCursorOffset(0);
    QnRichText1->Repaint();
    // An entry without text is typed in the diary's default font.
    if (!RecordFound || QnRichText1->IsEmpty())
        SetDefaultFontNow();
    // The history belongs to the entry on screen.
    QnRichText1->ClearUndo();
    // Loading is no change the user made.
    setEntryModified(false);
    if (failure.empty())
        return;
    // What cannot be read must not be overwritten by what could: the entry
    // is shown as far as it was read and cannot be changed.
    QnRichText1->SetReadOnly(true);
    const std::string date = FormatDateTime("dddd, mmmm d, yyyy", CurrentDate);
    const std::string repair = "\"Rebuild Indexes\" in the File menu may repair the diary.";
    if (changedOutside) // someone without the password: nothing of it is trusted
        ShowInformationUtf8("The entry of " + date +
                            " was changed outside Quillnook and is not shown.");
    else if (partly)
        ShowInformationUtf8("The entry of " + date + " could be read only in part: " + failure +
                            ".\nThe first " +
                            std::to_string(textCharacters(*QnRichText1->Document)) +
                            " characters of text (of " + std::to_string(storedSize) +
                            " bytes stored) are shown; the entry cannot be changed, so that the "
                            "stored text is kept. " +
                            repair);
    else
        ShowInformationUtf8("The entry of " + date + " cannot be read: " + failure +
                            "\nIt is shown empty and cannot be changed. " + repair);
}

bool TMainScreen::EntryIsBlank()
{
    QnRichTextAllPurpose->Clear();
    QnRichTextAllPurpose->FastAppendText(*QnRichText1);
    QnRichTextAllPurpose->SetCursorOffset(0);
    do {
        if (QnRichTextAllPurpose->CharAtCursor() > 32)
            return false; // the copy stays for whoever looks next
    } while (QnRichTextAllPurpose->NextChar());
    QnRichTextAllPurpose->Clear();
    return true;
}

void TMainScreen::SetDefaultFontNow()
{
    TCharAttr attr = QnRichText1->GetCurrentAttr();
    attr.FontIndex = static_cast<uint8_t>(QnRichText1->FontIndexOf(DefaultFontName));
    attr.Size = static_cast<uint8_t>(std::clamp(DefaultFontSize, 1, 255));
    if (DefaultFontBold)
        attr.Style |= kBoldBit;
    if (DefaultFontItalic)
        attr.Style |= kItalicBit;
    if (DefaultFontUnderline)
        attr.Style |= kUnderlineBit;
    // The highest colour slot that holds the colour, else the first.
    uint8_t color = 0;
    const TTextHeader &header = *QnRichText1->RtfText().Header;
    for (uint8_t slot = 0; slot < 16; ++slot)
        if (header.Colors[slot] == DefaultFontColor)
            color = slot;
    attr.Colors = static_cast<uint8_t>((attr.Colors & 0xF0) | color);
    QnRichText1->ApplyAttr(attr);
}

void TMainScreen::SaveRichText()
{
    // An entry that could not be read whole is never written over.
    if (QnRichText1->ReadOnly())
        throw std::runtime_error("the entry could not be read whole and cannot be changed");
    const bool blank = QnRichText1->IsEmpty() || EntryIsBlank();
    const std::string key = DateKey(CurrentDate);
    // The record of the date on screen, looked up again: searches and the
    // calendar move the table, and a record for this date written meanwhile
    // (another copy of the table, an import) takes the text instead of a
    // second record for the same date.
    selectDateTag();
    RecordFound = DiaryXTable->Seek(key);
    if (RecordFound && blank) {
        // An emptied entry loses its record and its date with it, in one
        // commit: the date must not stay behind in the index.
        DiaryTable->Edit();
        DiaryTableDATE->SetAsString(std::string());
        DiaryTable->PostAndDelete();
        RecordFound = false;
    } else if (!blank) {
        TQnMemoryStream rtf;
        QnRichText1->SetSaveFormat(FormatRTF);
        QnRichText1->SaveToStream(rtf);
        const std::string stored = PadMemoText(rtf.Bytes());
        if (RecordFound)
            DiaryTable->Edit();
        else
            DiaryTable->Append();
        DiaryTableDATE->SetAsString(key);
        DiaryTable->SetMemoText("ENTRY", stored);
        DiaryTable->Post();
        RecordFound = true;
    }
    ProcessPendingMessages();
}

bool TMainScreen::SaveButtonClick()
{
    if (!EntryModified())
        return true;
    if (QnRichText1->ReadOnly()) {
        // Nothing of a read-only entry may reach the diary; there is
        // nothing the user could have changed either.
        setEntryModified(false);
        return true;
    }
    try {
        SaveRichText();
    } catch (const std::exception &error) {
        // Nothing of this save reached the diary: the entry stays on screen,
        // modified, so the user can try again or copy it elsewhere.
        if (DiaryTable->State() == TXDataSetState::Edit ||
            DiaryTable->State() == TXDataSetState::Insert)
            DiaryTable->Cancel();
        try {
            FindDateRecord();
        } catch (const std::exception &) {
            RecordFound = false;
        }
        const std::string text = std::string("The entry could not be saved: ") + error.what() +
                                 "\nIt is still on screen and not saved.";
        if (terminating_)
            std::fprintf(stderr, "quillnook: %s\n", text.c_str());
        else
            ShowInformationUtf8(text);
        return false;
    }
    setEntryModified(false);
    return true;
}

void TMainScreen::CancelButtonClick()
{
    LoadRichText();
    setEntryModified(false);
}

void TMainScreen::QnRichText1Change()
{
    // The editor reports changes even while it refuses them.
    if (QnRichText1->ReadOnly())
        return;
    setEntryModified(true);
}

void TMainScreen::QnRichText1KeyDown(TKey &Key, TShiftState)
{
    // Keys the editor may act on without reporting a change. A paste reports
    // its own, and only when something was pasted.
    if (QnRichText1->ReadOnly())
        return;
    if (Key == VK_TAB || Key == VK_DELETE)
        QnRichText1Change();
}

void TMainScreen::EnterDate1Click()
{
    QnRichText1->TypeText(DateToStr(Date()) + ' ');
    QnRichText1->Repaint();
    ProcessPendingMessages();
}

void TMainScreen::mnuUndoClick()
{
    // The editor reports the change, which shows Save and Cancel.
    QnRichText1->Undo();
    QnRichText1->setFocus();
}

void TMainScreen::mnuRedoClick()
{
    QnRichText1->Redo();
    QnRichText1->setFocus();
}

void TMainScreen::mnuFindClick()
{
    QnRichText1->ShowFindDialog();
}

void TMainScreen::Replace1Click()
{
    QnRichText1->ShowReplaceDialog();
    QnRichText1Change();
}

void TMainScreen::mnuWrapTexttofitScreenClick()
{
    const bool wrap = !mnuWrapTexttofitScreen->isChecked();
    mnuWrapTexttofitScreen->setChecked(wrap);
    QnRichText1->SetWordWrap(wrap);
    QnRichText1->Repaint();
    DocWordWrapButton->setToolTip(wrap ? QStringLiteral("Toggle word wrap off")
                                       : QStringLiteral("Toggle word wrap on"));
}

void TMainScreen::DocWordWrapButtonClick()
{
    mnuWrapTexttofitScreenClick();
}

void TMainScreen::DocPageBreakButtonClick()
{
    if (QnRichText1->ReadOnly()) {
        MessageBeep(0);
        return;
    }
    TParProps props;
    props.CharAttr = QnRichText1->GetCurrentAttr();
    props.PageBreak = 1;
    QnRichText1->SetParagraphFromProps(props);
    QnRichText1Change();
    QnRichText1->Reformat();
    QnRichText1->Repaint();
}

void TMainScreen::TerminateRequested()
{
    terminating_ = true;
    close();
}

void TMainScreen::CommitDataRequested()
{
    const bool was = terminating_;
    terminating_ = true; // no dialog while the session ends
    SaveButtonClick();
    terminating_ = was;
}

} // namespace qn
