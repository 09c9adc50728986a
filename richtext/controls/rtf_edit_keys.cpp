// Keys, characters and input-method text of the editor control. Key events
// become a virtual key and shift state for the key table, then a character
// after the keyboard layout; input-method commits join the same path.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRegularExpression>

#include "platform/ansi.h"
#include "platform/qt/key_translation.h"
#include "platform/qt/qt_text.h"
#include "platform/unicode_text.h"
#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

constexpr char kPageBreak = 12;
constexpr char kDeleteCode = 127;

bool ctrlOnly(const QKeyEvent &event)
{
    const auto m = event.modifiers();
    return (m & Qt::ControlModifier) && !(m & Qt::AltModifier);
}

// What typing a string is to the history, and how many paragraphs around
// the cursor (or the block) it may change. Backspace joins the previous
// paragraph and Delete the next one; a block's edges join each other. Beyond
// what is joined or split, the neighbour may change too: layout mends table
// row marks that a join or split leaves broken.
UndoKind undoKindOf(const std::string &ansi, bool block)
{
    if (ansi.size() != 1 || block)
        return ansi.size() == 1 && uint8_t(ansi[0]) >= 32 && ansi[0] != kDeleteCode
                   ? UndoKind::Typing
                   : UndoKind::Other;
    switch (ansi[0]) {
    case 8:
        return UndoKind::Backspace;
    case kDeleteCode:
        return UndoKind::Delete;
    case 13:
    case kPageBreak:
        return UndoKind::Other;
    default:
        return UndoKind::Typing;
    }
}

int undoBefore(const std::string &ansi, bool block)
{
    if (block || ansi.size() != 1)
        return 1;
    return ansi[0] == 8 ? 2 : ansi[0] == kDeleteCode || ansi[0] == 13 || ansi[0] == kPageBreak;
}

int undoAfter(const std::string &ansi, bool block)
{
    if (block || ansi.size() != 1)
        return 1;
    return ansi[0] == kDeleteCode ? 2 : ansi[0] == 8 || ansi[0] == 13 || ansi[0] == kPageBreak;
}

} // namespace

// Alt belongs to the window: with it a letter is a menu or button
// accelerator, never text. AltGr is not Alt: X reports it as a group switch
// (or no modifier at all), other systems as Ctrl+Alt, and the characters it
// gives are typed.
bool IsAltCommand(const QKeyEvent &event)
{
    const auto m = event.modifiers();
    return (m & Qt::AltModifier) && !(m & Qt::ControlModifier) && !(m & Qt::GroupSwitchModifier);
}

namespace {

} // namespace

// ---------------------------------------------------------------------------
// Key table

TQnCustomRtfEdit::KeyHandler TQnCustomRtfEdit::keyHandler(TKey key)
{
    switch (key) {
    case VK_TAB:
        return &TQnCustomRtfEdit::keyTab;
    case VK_RETURN:
        return &TQnCustomRtfEdit::keyEnter;
    case VK_PRIOR:
        return &TQnCustomRtfEdit::keyPageUp;
    case VK_NEXT:
        return &TQnCustomRtfEdit::keyPageDown;
    case VK_END:
        return &TQnCustomRtfEdit::keyEnd;
    case VK_HOME:
        return &TQnCustomRtfEdit::keyHome;
    case VK_LEFT:
        return &TQnCustomRtfEdit::keyLeft;
    case VK_RIGHT:
        return &TQnCustomRtfEdit::keyRight;
    case VK_UP:
        return &TQnCustomRtfEdit::keyUp;
    case VK_DOWN:
        return &TQnCustomRtfEdit::keyDown;
    case VK_INSERT:
        return &TQnCustomRtfEdit::keyInsert;
    case VK_DELETE:
        return &TQnCustomRtfEdit::keyDelete;
    default:
        return nullptr;
    }
}

void TQnCustomRtfEdit::KeyDown(TKey &key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
    if (key == 0 || !isVisible())
        return;
    if (ctrlCommand(key, shift)) {
        key = 0;
        return;
    }
    const KeyHandler handler = keyHandler(key);
    if (!handler)
        return;
    // Plain Enter goes on to the character path, which types it.
    const bool consumed = !(key == VK_RETURN && !shift.Contains(ssCtrl));
    (this->*handler)(shift);
    if (consumed)
        key = 0;
}

void TQnCustomRtfEdit::keyTab(TShiftState shift)
{
    if (shift.Contains(ssCtrl)) {
        if (CtrlTabPressed)
            CtrlTabPressed(this);
    } else if (shift.Contains(ssShift)) {
        if (ShiftTabPressed)
            ShiftTabPressed(this);
    } else if (!shift.Contains(ssAlt)) {
        typeChars("\t");
    }
}

void TQnCustomRtfEdit::keyEnter(TShiftState shift)
{
    if (shift.Contains(ssCtrl))
        typeChars(std::string(1, kPageBreak));
}

void TQnCustomRtfEdit::keyPageUp(TShiftState shift)
{
    if (shift.Contains(ssCtrl))
        Document->VScroll(kScrollPageUp, 0);
    else
        move(kMovePageUp, shift);
}

void TQnCustomRtfEdit::keyPageDown(TShiftState shift)
{
    if (shift.Contains(ssCtrl))
        Document->VScroll(kScrollPageDown, 0);
    else
        move(kMovePageDown, shift);
}

void TQnCustomRtfEdit::keyEnd(TShiftState shift)
{
    move(shift.Contains(ssCtrl) ? kMoveDocumentEnd : kMoveLineEnd, shift);
}

void TQnCustomRtfEdit::keyHome(TShiftState shift)
{
    move(shift.Contains(ssCtrl) ? kMoveDocumentStart : kMoveLineStart, shift);
}

void TQnCustomRtfEdit::keyLeft(TShiftState shift)
{
    move(shift.Contains(ssCtrl) ? kMoveWordLeft : kMoveLeft, shift);
}

void TQnCustomRtfEdit::keyRight(TShiftState shift)
{
    move(shift.Contains(ssCtrl) ? kMoveWordRight : kMoveRight, shift);
}

void TQnCustomRtfEdit::keyUp(TShiftState shift)
{
    move(kMoveUp, shift);
}

void TQnCustomRtfEdit::keyDown(TShiftState shift)
{
    move(kMoveDown, shift);
}

void TQnCustomRtfEdit::keyInsert(TShiftState shift)
{
    if (shift.Contains(ssCtrl)) {
        CopyToClipboard();
    } else if (shift.Contains(ssShift)) {
        PasteFromClipboard();
    } else {
        Document->InsertMode = Document->InsertMode ? 0 : 1;
        Document->PlaceCaret();
    }
}

void TQnCustomRtfEdit::keyDelete(TShiftState shift)
{
    if (shift.Contains(ssShift))
        CutToClipboard();
    else if (shift.Contains(ssCtrl))
        DeleteWord(true);
    else
        typeChars(std::string(1, kDeleteCode));
}

void TQnCustomRtfEdit::keepCaretLineInView()
{
    // A long scroll jumps to the top of a whole line, which can leave the
    // bottom of the cursor line below the window; the second, short scroll
    // brings it in.
    TQnRTFTextInput &d = *Document;
    const TLine *line = d.Cursor.Line;
    if (line && line->Height < d.WindowHeight &&
        line->Top + line->Height - d.ScrollY > d.WindowHeight)
        d.ShowCaret();
}

void TQnCustomRtfEdit::move(int kind, TShiftState shift)
{
    const bool extend = shift.Contains(ssShift);
    if (!extend)
        ClearSelection();
    undo_->BreakGroup();
    TQnRTFTextInput &d = *Document;
    const TLine *before = d.Cursor.Line;
    const int scrollY = d.ScrollY, scrollX = d.ScrollX;
    d.MoveCursor(kind, extend);
    keepCaretLineInView();
    if (!extend)
        return;
    if (d.ScrollX != scrollX)
        Repaint();
    else
        repaintSelectionChange(before, scrollY);
    EditStateChanged();
    primaryTimer_.start();
}

// ---------------------------------------------------------------------------
// Ctrl commands: select all, the three styles, deleting a word

bool TQnCustomRtfEdit::isCtrlCommandKey(TKey key)
{
    switch (key) {
    case 'A':
    case 'B':
    case 'C':
    case 'I':
    case 'U':
    case 'V':
    case 'X':
        return true;
    default:
        return false;
    }
}

bool TQnCustomRtfEdit::ctrlCommand(TKey key, TShiftState shift)
{
    if (!shift.Contains(ssCtrl) || shift.Contains(ssAlt) || shift.Contains(ssShift))
        return false;
    switch (key) {
    case 'A':
        SelectAllText();
        return true;
    case 'B':
        ToggleStyle(kStyleBold);
        return true;
    case 'I':
        ToggleStyle(kStyleItalic);
        return true;
    case 'U':
        ToggleStyle(kStyleUnderline);
        return true;
    case VK_BACK:
        DeleteWord(false);
        return true;
    default:
        return false;
    }
}

void TQnCustomRtfEdit::SelectAllText()
{
    TQnRTFTextInput &d = *Document;
    if (!d.FirstParagraph)
        return;
    SelectRange(d, 0, TextEndPosition(d));
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    EditStateChanged();
    primaryTimer_.start();
    if (d.AttrListener)
        d.AttrListener->CursorMoved();
}

void TQnCustomRtfEdit::ToggleStyle(uint16_t bits)
{
    if (!BeginEdit())
        return;
    TQnRTFTextInput &d = *Document;
    // The look of the first selected character decides, as a button shows it.
    uint16_t style = d.CurrentAttr.Style;
    if (BlockMarked()) {
        TTextPos start, end;
        d.OrderedBlock(start, end);
        if (start.Line && start.Line->Attrs && start.Offset < start.Line->Length)
            style = start.Line->Attrs[start.Offset].Style;
    }
    {
        UndoRecord record(*this, UndoKind::Other);
        d.SetStyle(bits, (style & bits) != bits);
    }
    d.ShowCaret();
    Repaint();
    Changed();
}

void TQnCustomRtfEdit::DeleteWord(bool forward)
{
    if (!BeginEdit())
        return;
    TQnRTFTextInput &d = *Document;
    if (!BlockMarked()) {
        d.DropBlock();
        d.MoveCursor(forward ? kMoveWordRight : kMoveWordLeft, true);
        if (!BlockMarked()) {
            d.DropBlock();
            return;
        }
    }
    if (SaveForUNDO)
        SaveForUNDO(this);
    UndoRecord record(*this, UndoKind::Other);
    d.DeleteBlock();
    d.FormatAll();
    d.UpdateCurrentAttr();
    d.ShowCaret();
    keepCaretLineInView();
    Repaint();
    barsChanged();
    EditStateChanged();
    Changed();
}

// ---------------------------------------------------------------------------
// Characters

void TQnCustomRtfEdit::KeyPress(char key)
{
    if (OnKeyPress) {
        OnKeyPress(this, key);
        if (key == 0)
            return;
    }
    switch (static_cast<uint8_t>(key)) {
    case 3: // Ctrl+C
        CopyToClipboard();
        return;
    case 22: // Ctrl+V
        PasteFromClipboard();
        return;
    case 24: // Ctrl+X; without a block nothing changes
        if (BlockMarked() && BeginEdit())
            CutToClipboard();
        return;
    case 27: // Escape
        ClearSelection();
        Repaint();
        return;
    case 9:
    case 10:
        return; // Tab is a key of its own; line feeds come only from Enter in cells
    default:
        break;
    }
    // Other control codes (Ctrl with a letter) are commands of the
    // surrounding window, never text.
    if (static_cast<uint8_t>(key) < 32 && key != 8 && key != 13)
        return;
    typeChars(std::string(1, key));
}

void TQnCustomRtfEdit::typeChars(const std::string &ansi)
{
    typeChars(unicode::FromAnsi(ansi));
}

void TQnCustomRtfEdit::typeChars(const std::u32string &text)
{
    // The undo steps group by the code page's view of what was typed.
    const std::string ansi = ToAnsiLossy(text);
    if (text.empty() || !BeginEdit())
        return;
    TQnRTFTextInput &d = *Document;
    UndoRecord record(*this, undoKindOf(ansi, d.HasBlock()), undoBefore(ansi, d.HasBlock()),
                      undoAfter(ansi, d.HasBlock()));
    // Typed text is never hidden.
    d.CurrentAttr.Style = static_cast<uint16_t>(d.CurrentAttr.Style & ~kStyleHidden);
    d.InputString(text);
    if (text.size() > 1) {
        // Longer strings leave the layout and the repaint to the caller.
        d.FormatAll();
        d.ShowCaret();
        Repaint();
    }
    keepCaretLineInView();
    barsChanged();
    Changed();
}

bool TQnCustomRtfEdit::TypeText(const QString &text)
{
    std::u32string typed; // a surrogate pair is one character
    for (char32_t c : QStringToText(text))
        if (c >= 32)
            typed += c;
    if (typed.empty())
        return true;
    if (!BeginEdit())
        return false;
    // Text of the code page goes key by key where a key hook watches (or a
    // single key is typed); any other text is typed as it is.
    const std::optional<std::string> ansi = unicode::ToAnsi(typed);
    if (ansi && (OnKeyPress || ansi->size() == 1)) {
        for (char c : *ansi)
            KeyPress(c);
    } else {
        typeChars(typed);
    }
    return true;
}

bool TQnCustomRtfEdit::keyEventCharacter(const QKeyEvent &event, TKey key, TShiftState, char &code,
                                         QString &text) const
{
    code = 0;
    text.clear();
    if (ctrlOnly(event)) {
        // Ctrl with a letter gives the control code, as the keyboard layout
        // of the original platform does.
        if (key >= 'A' && key <= 'Z') {
            code = static_cast<char>(key - 'A' + 1);
            return true;
        }
        return false;
    }
    switch (key) {
    case VK_ESCAPE:
        code = 27;
        return true;
    case VK_RETURN:
        code = 13;
        return true;
    case VK_BACK:
        code = 8;
        return true;
    case VK_TAB:
        code = 9;
        return true;
    default:
        break;
    }
    text = event.text();
    text.remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")));
    return !text.isEmpty();
}

bool TQnCustomRtfEdit::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Tab reaches the editor instead of moving the focus when it wants tabs.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && WantTabs &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys belong to the editor before any window shortcut.
        auto *key = static_cast<QKeyEvent *>(event);
        const TKeyDown k = TranslateKeyEvent(*key);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        const bool alt = IsAltCommand(*key);
        const bool ours =
            !alt && (keyHandler(k.Key) != nullptr || k.Key == VK_BACK ||
                     (ctrl && !(key->modifiers() & Qt::AltModifier) && isCtrlCommandKey(k.Key)) ||
                     (!ctrl && !key->text().isEmpty() && key->text()[0].isPrint()) ||
                     (ctrl && (key->modifiers() & Qt::AltModifier) && !key->text().isEmpty() &&
                      key->text()[0].isPrint()));
        if (ours) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void TQnCustomRtfEdit::keyPressEvent(QKeyEvent *event)
{
    // An Alt key no accelerator took is still not text.
    if (!isVisible() || IsAltCommand(*event)) {
        event->ignore();
        return;
    }
    const TKeyDown down = TranslateKeyEvent(*event);
    TKey key = down.Key;
    if (key != 0) {
        KeyDown(key, down.Shift);
        if (key == 0) {
            event->accept();
            return;
        }
    }
    char code;
    QString text;
    if (!keyEventCharacter(*event, down.Key, down.Shift, code, text)) {
        event->ignore();
        return;
    }
    // What the document paints reaches the screen through its AfterPaint hook.
    if (code != 0)
        KeyPress(code);
    else
        TypeText(text);
    event->accept();
}

} // namespace qn
