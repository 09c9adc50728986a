// The mouse in the editor control: placing the cursor, dragging a selection
// with auto-scroll, double-click word selection, hyperlink clicks, embedded
// objects (selection and resizing) and the mouse cursors.
#include <QMouseEvent>

#include "platform/qt/key_translation.h"
#include "platform/winmath.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

// The handle of a selected object: this many pixels above and left of its
// bottom-right corner.
constexpr int kResizeHandle = 10;
constexpr int kMaxStamp = 254;

bool isBlankOrTab(char32_t c)
{
    return c == ' ' || c == '\t';
}

TShiftState shiftOf(const QMouseEvent &event, bool doubleClick)
{
    TShiftState shift = ShiftStateFromQt(event.modifiers(), event.buttons());
    if (doubleClick)
        shift += ssDouble;
    return shift;
}

} // namespace

// ---------------------------------------------------------------------------
// Qt events

void TQnCustomRtfEdit::mousePressEvent(QMouseEvent *event)
{
    finishComposing();
    const QPoint at = event->position().toPoint() - clientOrigin();
    if (event->button() == Qt::MiddleButton) {
        setFocus(Qt::MouseFocusReason);
        pastePrimarySelection(at);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    // A press inside the selection may start a drag; it moves the cursor
    // only when released without one.
    if (DragAndDropSupport && !(event->modifiers() & Qt::ShiftModifier) && pressInSelection(at)) {
        dragPending_ = true;
        pressPoint_ = at;
        return;
    }
    buttonDown(at, shiftOf(*event, false), false);
}

void TQnCustomRtfEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    buttonDown(event->position().toPoint() - clientOrigin(), shiftOf(*event, true), true);
}

void TQnCustomRtfEdit::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint() - clientOrigin();
    lastMousePoint_ = at;
    if (dragPending_) {
        if ((event->buttons() & Qt::LeftButton) && dragPastThreshold(at))
            startDrag();
        return;
    }
    if (buttonHeld_ && (event->buttons() & Qt::LeftButton)) {
        if (resizingObject_) {
            resizeObjectTo(at);
        } else {
            dragTo(at);
            // Outside the text area the view keeps scrolling while the button is held.
            const QRect client(QPoint(0, 0), ClientRect().size());
            if (!client.contains(at))
                autoScrollTimer_.start();
            else
                autoScrollTimer_.stop();
        }
        return;
    }
    hoverAt(at);
}

void TQnCustomRtfEdit::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    autoScrollTimer_.stop();
    if (dragPending_) {
        // No drag after all: a click in the selection places the cursor.
        dragPending_ = false;
        buttonDown(event->position().toPoint() - clientOrigin(), shiftOf(*event, false), false);
    }
    if (!buttonHeld_)
        return;
    buttonHeld_ = false;
    const QPoint at = event->position().toPoint() - clientOrigin();
    if (resizingObject_) {
        resizingObject_ = false;
        Changed();
        finishUndoStep();
        return;
    }
    if (!(event->modifiers() & Qt::ShiftModifier))
        Document->PointToPosition(at.x(), at.y(), false);
    Document->PlaceCaret();
    cursorPlacedByMouse();
    EditStateChanged();
    offerPrimarySelection();
}

// The attribute for typing, and the tool bar and ruler linked to the
// control, follow a cursor the mouse placed as they follow the keys.
void TQnCustomRtfEdit::cursorPlacedByMouse()
{
    Document->UpdateCurrentAttr();
    if (Document->AttrListener)
        Document->AttrListener->CursorMoved();
}

// ---------------------------------------------------------------------------
// Button down

void TQnCustomRtfEdit::buttonDown(QPoint at, TShiftState shift, bool doubleClick)
{
    if (!Document->FirstParagraph)
        return;
    if ((doubleClick || OneClickHyperlink) && clickHandling(at, doubleClick))
        return;
    if (selectedObject_ && overResizeHandle(at) && BeginEdit()) {
        // The step closes when the button is released.
        finishUndoStep();
        undo_->BeforeAtSelection(UndoKind::Other, 0, 0);
        resizingObject_ = true;
        buttonHeld_ = true;
        return;
    }
    selectObject(nullptr);
    const bool extend = shift.Contains(ssShift);
    if (!extend)
        ClearSelection();
    const TLine *before = Document->Cursor.Line;
    const int scrollY = Document->ScrollY;
    Document->PointToPosition(at.x(), at.y(), extend);
    if (extend)
        repaintSelectionChange(before, scrollY);
    buttonHeld_ = true;
    pressPoint_ = at;
    Document->PlaceCaret();
    cursorPlacedByMouse();
}

bool TQnCustomRtfEdit::clickHandling(QPoint at, bool doubleClick)
{
    if (clickObject(at) || clickHyperlink(at))
        return true;
    if (doubleClick && !NoBlockMarking && !OneClickHyperlink) {
        selectWordAt(at);
        return true;
    }
    // One-click links or no block marking: the cursor simply moves there.
    selectObject(nullptr);
    ClearSelection();
    Document->PointToPosition(at.x(), at.y(), false);
    buttonHeld_ = true;
    pressPoint_ = at;
    Document->PlaceCaret();
    cursorPlacedByMouse();
    return true;
}

bool TQnCustomRtfEdit::clickObject(QPoint at)
{
    for (const TPaintedObject &painted : Document->PaintedObjects()) {
        const CanvasRect &r = painted.Rect;
        if (!painted.Object || !r.Contains(at.x(), at.y()))
            continue;
        if (ObjectClick && ObjectClick(this, *painted.Object))
            return true;
        selectObject(painted.Object);
        return true;
    }
    return false;
}

void TQnCustomRtfEdit::selectObject(TQnObject *object)
{
    if (!object && !selectedObject_)
        return;
    update(selectedObjectRect_.translated(clientOrigin()).adjusted(-2, -2, 2, 2));
    selectedObject_ = object;
    selectedObjectRect_ = QRect();
    for (const TPaintedObject &painted : Document->PaintedObjects())
        if (object && painted.Object == object)
            selectedObjectRect_ = QRect(painted.Rect.Left, painted.Rect.Top, painted.Rect.Width(),
                                        painted.Rect.Height());
    update(selectedObjectRect_.translated(clientOrigin()).adjusted(-2, -2, 2, 2));
}

bool TQnCustomRtfEdit::charAt(QPoint at, TParagraph *&paragraph, TLine *&line, int &index)
{
    TQnRTFTextInput &d = *Document;
    if (!d.LineAt(at.x(), at.y(), paragraph, line) || !line->Attrs)
        return false;
    const int docY = at.y() + d.ScrollY - d.OriginY;
    if (docY < line->Top || docY >= line->Top + line->Height)
        return false;
    // CharAt gives the caret place (after a character's right half).
    index = d.CharAt(paragraph, line, at.x());
    if (index > 0 && d.XOfChar(paragraph, line, index) > at.x())
        --index;
    if (index >= line->Length)
        return false;
    return at.x() >= d.XOfChar(paragraph, line, index) &&
           at.x() < d.XOfChar(paragraph, line, index + 1);
}

int TQnCustomRtfEdit::lineNumberOf(const TLine *line) const
{
    int number = 0;
    for (const TParagraph *p = Document->FirstParagraph; p; p = p->Next)
        for (const TLine *l = p->Lines; l; l = l->Next, ++number)
            if (l == line)
                return number;
    return 0;
}

bool TQnCustomRtfEdit::clickHyperlink(QPoint at)
{
    TParagraph *p;
    TLine *clicked;
    int index;
    if (!charAt(at, p, clicked, index))
        return false;
    auto isLink = [](const TCharAttr &a) {
        return (a.Style & kStyleDoubleUnderline) && !(a.Style & kStyleHidden);
    };
    if (!isLink(clicked->Attrs[index]))
        return false;
    // The link may run over line ends within its paragraph.
    std::string chars;
    std::vector<uint16_t> styles;
    int at_ = 0;
    for (const TLine *l = p->Lines; l; l = l->Next) {
        if (l == clicked)
            at_ = static_cast<int>(chars.size()) + index;
        for (int i = 0; i < l->Length; ++i) {
            chars += static_cast<char>(UnicodeToAnsi(l->Text[i]).value_or('?'));
            styles.push_back(l->Attrs ? l->Attrs[i].Style : 0);
        }
    }
    auto linkAt = [&](int i) {
        return (styles[i] & kStyleDoubleUnderline) && !(styles[i] & kStyleHidden);
    };
    int from = at_, to = at_ + 1;
    while (from > 0 && linkAt(from - 1))
        --from;
    while (to < int(chars.size()) && linkAt(to))
        ++to;
    int stampEnd = to;
    while (stampEnd < int(chars.size()) && (styles[stampEnd] & kStyleHidden) &&
           stampEnd - to < kMaxStamp)
        ++stampEnd;
    if (HyperLinkEvent)
        HyperLinkEvent(this, chars.substr(from, to - from), chars.substr(to, stampEnd - to),
                       lineNumberOf(clicked));
    return true;
}

void TQnCustomRtfEdit::selectWordAt(QPoint at)
{
    selectObject(nullptr);
    ClearSelection();
    TQnRTFTextInput &d = *Document;
    d.PointToPosition(at.x(), at.y(), false);
    TTextPos pos = d.Cursor;
    if (!pos.Line)
        return;
    const char32_t *text = pos.Line->Text;
    int start = std::clamp(pos.Offset, 0, int(pos.Line->Length)), end = start;
    while (start > 0 && !isBlankOrTab(text[start - 1]))
        --start;
    while (end < pos.Line->Length && !isBlankOrTab(text[end]))
        ++end;
    if (start == end)
        return;
    d.BlockAnchor = TTextPos{pos.Paragraph, pos.Line, start};
    d.BlockEnd = TTextPos{pos.Paragraph, pos.Line, end};
    d.BlockStarted = true;
    d.Reversed = false;
    d.Cursor = d.BlockEnd;
    d.ShowCaret();
    d.PaintBand(0, pos.Line->Top - d.ScrollY, pos.Line->Height, d.WindowWidth);
    cursorPlacedByMouse();
    EditStateChanged();
    offerPrimarySelection();
}

// ---------------------------------------------------------------------------
// Moving with the button held

void TQnCustomRtfEdit::repaintSelectionChange(const TLine *before, int scrollY)
{
    TQnRTFTextInput &d = *Document;
    const TLine *after = d.Cursor.Line;
    if (!before || !after || d.ScrollY != scrollY) {
        Repaint();
        return;
    }
    const int top = std::min(before->Top, after->Top) - d.ScrollY;
    const int bottom =
        std::max(before->Top + before->Height, after->Top + after->Height) - d.ScrollY;
    d.PaintBand(0, top, bottom - top, d.WindowWidth);
}

void TQnCustomRtfEdit::dragTo(QPoint at)
{
    const TLine *before = Document->Cursor.Line;
    const int scrollY = Document->ScrollY, scrollX = Document->ScrollX;
    Document->PointToPosition(at.x(), at.y(), true);
    if (Document->ScrollX != scrollX)
        Repaint();
    else
        repaintSelectionChange(before, scrollY);
}

void TQnCustomRtfEdit::autoScrollStep()
{
    if (!buttonHeld_ || resizingObject_) {
        autoScrollTimer_.stop();
        return;
    }
    dragTo(lastMousePoint_);
}

bool TQnCustomRtfEdit::overResizeHandle(QPoint at) const
{
    if (!selectedObject_ || selectedObjectRect_.isEmpty())
        return false;
    const int right = selectedObjectRect_.x() + selectedObjectRect_.width();
    const int bottom = selectedObjectRect_.y() + selectedObjectRect_.height();
    return at.x() <= right && at.x() >= right - kResizeHandle && at.y() <= bottom &&
           at.y() >= bottom - kResizeHandle;
}

void TQnCustomRtfEdit::resizeObjectTo(QPoint at)
{
    TQnRTFTextInput &d = *Document;
    TQnObject *object = selectedObject_;
    if (!object)
        return;
    const int w = std::max(2, at.x() - selectedObjectRect_.x());
    const int h = std::max(2, at.y() - selectedObjectRect_.y());
    object->Width = MulDiv(w, 1440, std::max(1, d.Header->PixelsPerInchX));
    object->Height = MulDiv(h, 1440, std::max(1, d.Header->PixelsPerInchY));
    if (object->Graphic && object->Graphic->Kind == gkControl && ObjectResized)
        ObjectResized(this, *object, w, h);
    // The paragraphs that show the object are measured again.
    for (TParagraph *p = d.FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l && l->Attrs; l = l->Next)
            for (int i = 0; i < l->Length; ++i) {
                const TCharAttr &a = l->Attrs[i];
                if (!(a.Style & kStyleObject))
                    continue;
                const TQnObject *shown =
                    l->Text[i] == 1 ? d.FindObject(a.Tag, 0) : d.FindObject(0, a.Tag);
                if (shown == object)
                    p->State |= kStateRebreak | kStateRepaint;
            }
    d.FormatAll();
    d.PlaceCaret();
    Repaint();
    barsChanged();
    selectObject(object);
}

// ---------------------------------------------------------------------------
// Cursors

void TQnCustomRtfEdit::hoverAt(QPoint at)
{
    if (selectedObject_ && !Document->ReadOnly && overResizeHandle(at)) {
        setCursor(Qt::SizeFDiagCursor);
        hyperlinkCursorShown_ = false;
        return;
    }
    TParagraph *p;
    TLine *l;
    int i;
    bool link = false;
    if (charAt(at, p, l, i)) {
        const TCharAttr &a = l->Attrs[i];
        if (a.Style & kStyleDoubleUnderline) {
            link = true;
        } else if (a.Style & kStyleObject) {
            const TQnObject *object =
                l->Text[i] == 1 ? Document->FindObject(a.Tag, 0) : Document->FindObject(0, a.Tag);
            link = object && object->IsLinked;
        }
    }
    if (link) {
        setCursor(HyperLinkCursor);
        hyperlinkCursorShown_ = true;
    } else {
        setCursor(Qt::IBeamCursor);
        hyperlinkCursorShown_ = false;
    }
}

} // namespace qn
