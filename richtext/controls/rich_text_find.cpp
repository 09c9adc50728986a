// Search and replace for the rich text control, through FindText and the
// program's find and replace dialogs, and the word walk of the spell checker.
#include <QApplication>

#include "platform/ansi.h"
#include "platform/notifications.h"
#include "platform/qt/messages.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_document.h"

namespace qn {

namespace {

// Dialog text as the document's code page; characters it cannot hold are
// dropped (they cannot occur in the text either).
std::string ansiOf(const QString &text)
{
    std::string out;
    for (const char32_t c : text.toUcs4())
        if (const auto code = UnicodeToAnsi(c))
            out += char(*code);
    return out;
}

} // namespace

void TQnCustomRichText::placeMatch(int position, int length, bool cursorAfter)
{
    TQnRTFTextInput &d = *Document;
    SelectRange(d, position, length);
    // Backwards the cursor stands before the match, the block reversed.
    if (!cursorAfter && length > 0) {
        std::swap(d.BlockAnchor, d.BlockEnd);
        d.Cursor = d.BlockEnd;
        d.Reversed = true;
    }
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    EditStateChanged();
    FollowCursor();
}

bool TQnCustomRichText::FindText(const std::string &text, bool backwards)
{
    searchText_ = text;
    searchBackwards_ = backwards;
    TQnTextFinder &f = *DialogFinder;
    f.SetDocument(Document.get());
    f.Opts.Wildcard = '*';
    if (backwards)
        f.ToEnd();
    else
        f.ToStart();
    const bool found = backwards ? f.SearchBackward(text) : f.SearchForward(text);
    if (found)
        placeMatch(f.FoundPosition(), f.FoundLength(), !backwards);
    return found;
}

void TQnCustomRichText::ShowFindDialog()
{
    if (TQnFindDialog *replace = SharedReplaceDialog(false))
        replace->hide();
    TQnFindDialog *dialog = SharedFindDialog(true);
    dialog->Bind(this);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void TQnCustomRichText::ShowReplaceDialog()
{
    if (TQnFindDialog *find = SharedFindDialog(false))
        find->hide();
    TQnFindDialog *dialog = SharedReplaceDialog(true);
    dialog->Bind(this);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void TQnCustomRichText::DialogFind(TQnFindDialog &dialog)
{
    TQnTextFinder &f = *DialogFinder;
    const std::string pattern = ansiOf(dialog.FindText());
    f.SetDocument(Document.get());
    f.Opts.Wildcard = '*';
    f.Opts.WholeWord = dialog.WholeWord() ? 1 : 0;
    f.Opts.CaseSensitive = dialog.MatchCase() ? 1 : 0;
    const int cursor = GetCursorOffset();
    bool found = false;
    if (dialog.Down()) {
        f.SetPosition(cursor);
        found = f.SearchForward(pattern);
    } else {
        // Upwards the search starts before the selected match (or the
        // cursor), or the same match would come back for ever.
        const int from = BlockMarked() ? SelStart() : cursor;
        if (from > 0) {
            f.SetPosition(from - 1);
            found = f.SearchBackward(pattern);
        }
    }
    if (found)
        placeMatch(f.FoundPosition(), f.FoundLength(), dialog.Down());
    else
        MessageBeep();
}

void TQnCustomRichText::DialogReplace(TQnFindDialog &dialog, bool all)
{
    if (ReadOnly() || !BeginEdit())
        return;
    TQnRTFTextInput &d = *Document;
    TQnTextFinder &f = *DialogFinder;
    const std::string pattern = ansiOf(dialog.FindText());
    const std::string replacement = ansiOf(dialog.ReplaceText());
    const bool down = dialog.Down();
    if (!all) {
        // Only the match on screen is replaced; otherwise find one first.
        if (!f.Found() || SelStart() != f.FoundPosition() || SelLength() != f.FoundLength()) {
            DialogFind(dialog);
            return;
        }
        UndoRecord record(*this, UndoKind::Other);
        const int position = f.FoundPosition();
        // The replacement keeps the look of the text it replaces.
        f.ReplaceAttr = qn::AttrAtCursor(d);
        const TTextPos at = PlaceOfPosition(d, position);
        if (at.Line && at.Line->Attrs && at.Offset < at.Line->Length)
            f.ReplaceAttr = at.Line->Attrs[at.Offset];
        d.DropBlock();
        if (!f.ReplaceFound(replacement))
            return;
        d.ReformatAll();
        placeMatch(position, int(replacement.size()), down);
        Changed();
        return;
    }
    UndoRecord record = UndoRecord::WholeDocument(*this);
    f.SetDocument(&d);
    f.Opts.Wildcard = '*';
    f.Opts.WholeWord = dialog.WholeWord() ? 1 : 0;
    f.Opts.CaseSensitive = dialog.MatchCase() ? 1 : 0;
    f.SetPosition(GetCursorOffset());
    d.DropBlock();
    int last = -1;
    // Layout waits until every occurrence is replaced.
    d.PaintFlags2 |= kPaint2Locked;
    try {
        bool found = f.SearchForward(pattern);
        while (found) {
            const TTextPos at = PlaceOfPosition(d, f.FoundPosition());
            if (at.Line && at.Line->Attrs && at.Offset < at.Line->Length)
                f.ReplaceAttr = at.Line->Attrs[at.Offset];
            if (f.ReplaceFound(replacement))
                last = f.FoundPosition();
            found = f.FindNext(pattern);
        }
    } catch (...) {
        d.PaintFlags2 &= static_cast<uint8_t>(~kPaint2Locked);
        d.ReformatAll();
        Repaint();
        throw;
    }
    d.PaintFlags2 &= static_cast<uint8_t>(~kPaint2Locked);
    d.ReformatAll();
    if (last >= 0) {
        SelectRange(d, down ? last + int(replacement.size()) : last, 0);
        Changed();
    }
    d.ShowCaret();
    Repaint();
    EditStateChanged();
}

// ---------------------------------------------------------------------------
// Words

void TQnCustomRichText::ResetWords()
{
    wordSelected_ = false;
    wordStart_ = wordLength_ = 0;
    Finder->SetDocument(Document.get());
    Finder->ToStart();
}

std::string TQnCustomRichText::NextWord()
{
    TQnTextFinder &f = *Finder;
    f.Opts.Wildcard = '*';
    f.Opts.EndChar = ' ';
    f.Opts.ToWordEnd = 1;
    bool found;
    if (wordSelected_) {
        // Go on after the selected (perhaps replaced) word.
        f.SetPosition(GetCursorOffset());
        found = f.SearchForward("*");
    } else {
        found = f.Found() ? f.FindNext("*") : f.SearchForward("*");
    }
    wordSelected_ = false;
    while (found && f.FoundLength() == 0)
        found = f.FindNext("*");
    if (!found)
        return std::string();
    wordStart_ = f.FoundPosition();
    wordLength_ = f.FoundLength();
    return f.FoundText();
}

void TQnCustomRichText::SelectWord()
{
    if (wordLength_ <= 0)
        return;
    SetSelection(wordStart_, wordLength_);
    wordSelected_ = true;
}

} // namespace qn
