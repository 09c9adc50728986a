// Search and replace for the rich text control, through FindText and the
// program's find and replace dialogs, and the word walk of the spell checker.
#include <QApplication>

#include "platform/ansi.h"
#include "platform/notifications.h"
#include "platform/qt/escape_watch.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"
#include "platform/unicode_text.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_document.h"

namespace qn {

namespace {

std::string notFoundText(const QString &pattern)
{
    return "Cannot find \"" + pattern.toStdString() + "\".";
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
    const std::u32string pattern = unicode::FromAnsi(text);
    const bool found = backwards ? f.SearchBackward(pattern) : f.SearchForward(pattern);
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
    const std::u32string pattern = QStringToText(dialog.FindText());
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
        ShowInformationUtf8(notFoundText(dialog.FindText()));
}

void TQnCustomRichText::DialogReplace(TQnFindDialog &dialog, bool all)
{
    if (ReadOnly() || !BeginEdit())
        return;
    TQnRTFTextInput &d = *Document;
    TQnTextFinder &f = *DialogFinder;
    const std::u32string pattern = QStringToText(dialog.FindText());
    const std::u32string replacement = QStringToText(dialog.ReplaceText());
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
    replaceAll(dialog, pattern, replacement);
}

void TQnCustomRichText::replaceAll(TQnFindDialog &dialog, const std::u32string &pattern,
                                   const std::u32string &replacement)
{
    TQnRTFTextInput &d = *Document;
    TQnTextFinder &f = *DialogFinder;
    UndoRecord record = UndoRecord::WholeDocument(*this);
    f.SetDocument(&d);
    f.Opts.Wildcard = '*';
    f.Opts.WholeWord = dialog.WholeWord() ? 1 : 0;
    f.Opts.CaseSensitive = dialog.MatchCase() ? 1 : 0;
    f.KeepMatchLook = true;
    f.LastReplacedEnd = -1;
    const int cursor = GetCursorOffset();
    f.SetPosition(cursor);
    if (SaveForUNDO)
        SaveForUNDO(this);
    d.DropBlock();
    // Escape stops it; layout waits until every occurrence is replaced.
    EscapeWatch escape;
    f.EscapePressed = [&escape] { return escape.Pressed(); };
    d.PaintFlags2 |= kPaint2Locked;
    int count = 0;
    try {
        count = f.ReplaceAll(pattern, replacement);
    } catch (...) {
        f.EscapePressed = nullptr;
        f.KeepMatchLook = false;
        d.PaintFlags2 &= static_cast<uint8_t>(~kPaint2Locked);
        d.ReformatAll();
        Repaint();
        throw;
    }
    const bool stopped = escape.Pressed();
    f.EscapePressed = nullptr;
    f.KeepMatchLook = false;
    d.PaintFlags2 &= static_cast<uint8_t>(~kPaint2Locked);
    d.ReformatAll();
    // The cursor goes after the last replacement (before it upwards).
    const int last = f.LastReplacedEnd;
    const int place =
        count == 0 || last < 0 ? cursor : (dialog.Down() ? last : last - int(replacement.size()));
    d.Cursor = PlaceOfPosition(d, place);
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    if (count > 0)
        Changed();
    EditStateChanged();
    if (count == 0)
        ShowInformationUtf8(notFoundText(dialog.FindText()));
    else if (stopped)
        ShowInformationUtf8("Stopped after " + std::to_string(count) +
                            (count == 1 ? " replacement" : " replacements"));
    else
        ShowInformationUtf8(std::to_string(count) +
                            (count == 1 ? " replacement" : " replacements"));
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
        found = f.SearchForward(U"*");
    } else {
        found = f.Found() ? f.FindNext(U"*") : f.SearchForward(U"*");
    }
    wordSelected_ = false;
    // A word with a letter beyond the code page is passed over, as the
    // marks pass it over: no dictionary of its language is read, and the
    // lossy form of it must never be offered as a replacement.
    std::optional<std::string> word;
    while (found && (f.FoundLength() == 0 || !(word = unicode::ToAnsi(f.FoundText()))))
        found = f.FindNext(U"*");
    if (!found)
        return std::string();
    wordStart_ = f.FoundPosition();
    wordLength_ = f.FoundLength();
    return *word;
}

void TQnCustomRichText::SelectWord()
{
    if (wordLength_ <= 0)
        return;
    SetSelection(wordStart_, wordLength_);
    wordSelected_ = true;
}

} // namespace qn
