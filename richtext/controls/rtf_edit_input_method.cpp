// Input methods in the editor control. Composed text is shown at the caret
// while the input method builds it (its pre-edit, laid in the line: the
// text behind the caret moves aside on the screen, never in the document);
// what the input method commits is typed on the path of typed keys. The
// input method is told about the text around the cursor and where the caret
// is, so that its candidate window opens there.
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QPainter>

#include <algorithm>

#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_text.h"
#include "platform/winmath.h"
#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

constexpr char kDeleteCode = 127;

// Where a place lies in its paragraph's text (its lines one after the other).
int offsetInParagraph(const TTextPos &place)
{
    if (!place.Paragraph)
        return 0;
    int offset = 0;
    for (const TLine *l = place.Paragraph->Lines; l && l != place.Line; l = l->Next)
        offset += l->Length;
    return offset + place.Offset;
}

// Input methods count UTF-16 units of the text around the cursor; the
// document counts its own characters. These two are the only places that
// know how one becomes the other.
QString paragraphTextForInput(const TParagraph *paragraph)
{
    return paragraph ? TextToQString(TQnRTFText::ParagraphText(paragraph)) : QString();
}

// A character beyond the basic plane is two UTF-16 units.
int unitsOf(char32_t c)
{
    return c >= 0x10000 ? 2 : 1;
}

// The lines are walked as they are: these are asked at every caret move.
int unitsOfOffset(const TParagraph *paragraph, int offset)
{
    int units = 0;
    for (const TLine *l = paragraph->Lines; l && offset > 0; l = l->Next) {
        const int n = std::min<int>(offset, l->Length);
        for (int i = 0; i < n; ++i)
            units += unitsOf(l->Text[i]);
        offset -= n;
    }
    return units;
}

int offsetOfUnits(const TParagraph *paragraph, int units)
{
    int offset = 0, counted = 0;
    for (const TLine *l = paragraph->Lines; l; l = l->Next)
        for (int i = 0; i < l->Length; ++i, ++offset) {
            if (counted >= units)
                return offset;
            counted += unitsOf(l->Text[i]);
        }
    return offset;
}

// The marked block as the input method counts it, paragraphs ended by '\n'.
QString blockTextForInput(const TQnRTFTextInput &d)
{
    TTextPos start, end;
    d.OrderedBlock(start, end);
    QString text;
    for (const TParagraph *p = start.Paragraph; p; p = p->Next) {
        const QString whole = paragraphTextForInput(p);
        const int from = p == start.Paragraph ? unitsOfOffset(p, offsetInParagraph(start)) : 0;
        const int to =
            p == end.Paragraph ? unitsOfOffset(p, offsetInParagraph(end)) : int(whole.size());
        if (p != start.Paragraph)
            text += QLatin1Char('\n');
        text += whole.mid(from, to - from);
        if (p == end.Paragraph)
            break;
    }
    return text;
}

QColor toQColor(ColorRef rgb)
{
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

} // namespace

// ---------------------------------------------------------------------------
// Events from the input method

void TQnCustomRtfEdit::SetReadOnly(bool on)
{
    Document->ReadOnly = on;
    if (on && !preedit_.Empty()) {
        if (hasFocus())
            QGuiApplication::inputMethod()->reset();
        preedit_.Clear();
        updatePreeditArea();
    }
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

void TQnCustomRtfEdit::inputMethodEvent(QInputMethodEvent *event)
{
    event->accept();
    // A read-only entry shows nothing composed and takes nothing.
    const TQnRTFTextInput &d = *Document;
    if (d.ReadOnly || !d.Created || !d.FirstParagraph) {
        if (!preedit_.Empty()) {
            preedit_.Clear();
            updatePreeditArea();
        }
        return;
    }
    // The composed text is shown at the caret where the commit leaves it.
    preedit_.Clear();
    updatePreeditArea();
    commitInput(*event);
    for (const QInputMethodEvent::Attribute &a : event->attributes())
        if (a.type == QInputMethodEvent::Selection)
            selectSurrounding(a.start, a.length);
    preedit_.Take(*event);
    updatePreeditArea();
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void TQnCustomRtfEdit::commitInput(const QInputMethodEvent &event)
{
    const QString &commit = event.commitString();
    const bool replaces = event.replacementLength() > 0 || event.replacementStart() != 0;
    if (commit.isEmpty() && !replaces)
        return;
    if (replaces && !selectReplacement(event.replacementStart(), event.replacementLength()))
        return;
    if (!commit.isEmpty())
        TypeText(commit);
    else if (BlockMarked())
        typeChars(std::string(1, kDeleteCode)); // as the Delete key takes a block
}

// The replaced text lies around the cursor within its paragraph.
bool TQnCustomRtfEdit::selectReplacement(int start, int length)
{
    TQnRTFTextInput &d = *Document;
    if (!d.CursorIsValid())
        return false;
    TParagraph *p = d.Cursor.Paragraph;
    const int total = int(paragraphTextForInput(p).size());
    const int cursor = unitsOfOffset(p, offsetInParagraph(d.Cursor));
    const int from = std::clamp(cursor + start, 0, total);
    const int to = std::clamp(from + std::max(length, 0), from, total);
    const int first = offsetOfUnits(p, from);
    const int paragraphStart = AbsolutePosition(d, TTextPos{p, p->Lines, 0});
    SelectRange(d, paragraphStart + first, offsetOfUnits(p, to) - first);
    d.UpdateCurrentAttr();
    d.ShowCaret();
    return true;
}

// A selection in the text around the cursor, after the commit.
void TQnCustomRtfEdit::selectSurrounding(int start, int length)
{
    TQnRTFTextInput &d = *Document;
    if (!d.CursorIsValid())
        return;
    TParagraph *p = d.Cursor.Paragraph;
    const int total = int(paragraphTextForInput(p).size());
    const int from = std::clamp(start, 0, total);
    const int to = std::clamp(start + length, 0, total);
    const int paragraphStart = AbsolutePosition(d, TTextPos{p, p->Lines, 0});
    const int anchor = offsetOfUnits(p, from);
    SelectRange(d, paragraphStart + anchor, offsetOfUnits(p, to) - anchor);
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    EditStateChanged();
}

void TQnCustomRtfEdit::finishComposing()
{
    if (preedit_.Empty())
        return;
    // The input method commits what it holds (at the caret as it is now);
    // one that does not answer leaves nothing behind on the screen.
    QGuiApplication::inputMethod()->commit();
    if (!preedit_.Empty()) {
        preedit_.Clear();
        updatePreeditArea();
    }
}

// ---------------------------------------------------------------------------
// Questions from the input method

QVariant TQnCustomRtfEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const TQnRTFTextInput &d = *Document;
    const bool valid = d.CursorIsValid();
    switch (query) {
    case Qt::ImEnabled:
        return !d.ReadOnly;
    case Qt::ImCursorRectangle: {
        const QRect r = inputCaretRect();
        return r.isValid() ? r.translated(clientOrigin())
                           : QRect(clientOrigin(), QSize(1, d.CaretHeight));
    }
    case Qt::ImFont:
        return typingFont();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImSurroundingText:
        return valid ? paragraphTextForInput(d.Cursor.Paragraph) : QString();
    case Qt::ImCursorPosition:
        return valid ? unitsOfOffset(d.Cursor.Paragraph, offsetInParagraph(d.Cursor)) : 0;
    case Qt::ImAnchorPosition: {
        if (!valid)
            return 0;
        const TParagraph *p = d.Cursor.Paragraph;
        if (!BlockMarked())
            return unitsOfOffset(p, offsetInParagraph(d.Cursor));
        // An anchor in another paragraph is at this one's start or end.
        if (d.BlockAnchor.Paragraph != p)
            return d.PositionBefore(d.BlockAnchor, d.Cursor) ? 0
                                                             : int(paragraphTextForInput(p).size());
        return unitsOfOffset(p, offsetInParagraph(d.BlockAnchor));
    }
    case Qt::ImCurrentSelection:
        return BlockMarked() ? blockTextForInput(d) : QString();
    default:
        return QWidget::inputMethodQuery(query);
    }
}

// ---------------------------------------------------------------------------
// Showing the pre-edit

QString TQnCustomRtfEdit::PreeditText() const
{
    return preeditShown() ? preedit_.Text() : QString();
}

QRect TQnCustomRtfEdit::PreeditRect() const
{
    QRect box, band;
    int baseline = 0;
    return preeditPlace(box, band, baseline) ? box.translated(clientOrigin()) : QRect();
}

bool TQnCustomRtfEdit::preeditShown() const
{
    return !preedit_.Empty() && !Document->ReadOnly && Document->CursorIsValid();
}

QFont TQnCustomRtfEdit::typingFont() const
{
    const TQnRTFTextInput &d = *Document;
    const TCharAttr &a = d.CurrentAttr;
    QFont f = font();
    if (a.FontIndex < kFontSlots && !d.Header->FontNames[a.FontIndex].empty())
        f.setFamily(AnsiToQString(d.Header->FontNames[a.FontIndex]));
    int size = a.Size ? a.Size : 10;
    if (d.Resizing != 100)
        size = MulDiv(size, d.Resizing, 100);
    const int ppi = d.Header->PixelsPerInchY > 0 ? d.Header->PixelsPerInchY : logicalDpiY();
    f.setPixelSize(std::max(1, MulDiv(size, ppi, 72)));
    f.setBold(a.Style & kStyleBold);
    f.setItalic(a.Style & kStyleItalic);
    f.setUnderline(false);
    f.setStrikeOut(false);
    f.setKerning(false);
    return f;
}

QColor TQnCustomRtfEdit::typingColor() const
{
    const TQnRTFTextInput &d = *Document;
    const ColorRef c = d.Header->Colors[d.CurrentAttr.TextColor()];
    return toQColor(canvas_ ? canvas_->ResolveColor(c) : c);
}

QColor TQnCustomRtfEdit::typingPaper() const
{
    const TQnRTFTextInput &d = *Document;
    const int back = d.CurrentAttr.BackColor();
    const ColorRef c = back >= 1 ? d.Header->Colors[back] : d.BackgroundColor;
    return toQColor(canvas_ ? canvas_->ResolveColor(c) : c);
}

// The pre-edit sits at the caret on the caret line's base line. When it
// does not fit before the window's right edge it moves left to fit, over
// the text before the caret.
bool TQnCustomRtfEdit::preeditPlace(QRect &box, QRect &band, int &baseline) const
{
    if (!preeditShown())
        return false;
    const TQnRTFTextInput &d = *Document;
    const TLine *line = d.Cursor.Line;
    const QRect client = ClientRect();
    const InputMethodPreedit::Geometry g = preedit_.Measure(typingFont());
    band = QRect(0, line->Top - d.ScrollY, client.width(), std::max<int>(line->Height, 1));
    baseline = band.top() + line->Ascent;
    const int caretX = d.CaretX + d.ScrollX;
    int x = std::max(0, std::min(caretX, client.width() - g.Width - 1));
    // Wider than the window: its cursor at least stays in view.
    if (g.Width >= client.width())
        x = std::min(0, client.width() - 2 - g.CursorX);
    const int top = std::min(band.top(), baseline - g.Ascent);
    const int bottom = std::max(band.bottom() + 1, baseline + g.Descent);
    box = QRect(x, top, g.Width, bottom - top);
    return true;
}

QRect TQnCustomRtfEdit::inputCaretRect() const
{
    QRect box, band;
    int baseline = 0;
    if (!preeditPlace(box, band, baseline))
        return caretRect_;
    const int x = box.left() + preedit_.Measure(typingFont()).CursorX;
    return QRect(x, caretRect_.top(), std::min(caretRect_.width(), 2), caretRect_.height());
}

QRect TQnCustomRtfEdit::drawnCaretRect() const
{
    return preeditShown() && !preedit_.CursorVisible() ? QRect() : inputCaretRect();
}

void TQnCustomRtfEdit::paintPreedit(QPainter &painter, const QPoint &clientTopLeft)
{
    QRect box, band;
    int baseline = 0;
    if (!preeditPlace(box, band, baseline))
        return;
    // The rest of the caret line moves aside by the pre-edit's width.
    const int caretX = Document->CaretX + Document->ScrollX;
    if (box.left() == caretX && box.right() < band.right()) {
        const QRect rest(box.right() + 1, band.top(), band.right() - box.right(), band.height());
        painter.drawImage(rest.topLeft() + clientTopLeft, backing_,
                          rest.translated(-box.width(), 0));
    }
    painter.fillRect(box.translated(clientTopLeft), typingPaper());
    const QPoint at = QPoint(box.left(), baseline) + clientTopLeft;
    preedit_.Draw(painter, at.x(), at.y(), typingFont(), typingColor());
}

void TQnCustomRtfEdit::updatePreeditArea()
{
    update(preeditArea_.translated(clientOrigin()));
    QRect box, band;
    int baseline = 0;
    preeditArea_ = preeditPlace(box, band, baseline) ? band.united(box) : QRect();
    update(preeditArea_.translated(clientOrigin()));
}

} // namespace qn
