#include "richtext/controls/rtf_edit_accessible.h"

#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

// A text position from an absolute position (clamped to the document).
TTextPos positionAt(const TQnRTFTextInput &d, int absolute)
{
    TTextPos pos;
    int start = 0;
    for (TParagraph *p = d.FirstParagraph; p; p = p->Next) {
        const int length = p->TextLength();
        if (absolute <= start + length || !p->Next) {
            int offset = std::clamp(absolute - start, 0, length);
            for (TLine *l = p->Lines; l; l = l->Next) {
                if (offset <= l->Length && (offset < l->Length || !l->Next)) {
                    pos = TTextPos{p, l, offset};
                    return pos;
                }
                offset -= l->Length;
            }
        }
        start += length + 1;
    }
    return pos;
}

int absoluteOf(const TQnRTFTextInput &d, const TTextPos &pos)
{
    int start = 0;
    for (const TParagraph *p = d.FirstParagraph; p; p = p->Next) {
        if (p == pos.Paragraph) {
            for (const TLine *l = p->Lines; l && l != pos.Line; l = l->Next)
                start += l->Length;
            return start + pos.Offset;
        }
        start += p->TextLength() + 1;
    }
    return 0;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('\'');
}

// The unit of a boundary type that holds offset: [start, end).
void unitAround(const QString &text, int offset, QAccessible::TextBoundaryType type, int &start,
                int &end)
{
    const int n = static_cast<int>(text.size());
    offset = std::clamp(offset, 0, n);
    switch (type) {
    case QAccessible::CharBoundary:
        start = offset;
        end = std::min(offset + 1, n);
        return;
    case QAccessible::WordBoundary: {
        start = end = offset;
        if (offset < n && isWordChar(text[offset])) {
            while (start > 0 && isWordChar(text[start - 1]))
                --start;
            while (end < n && isWordChar(text[end]))
                ++end;
        } else {
            while (start > 0 && !isWordChar(text[start - 1]))
                --start;
            while (end < n && !isWordChar(text[end]))
                ++end;
        }
        return;
    }
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary:
    case QAccessible::LineBoundary: {
        start = offset;
        while (start > 0 && text[start - 1] != QLatin1Char('\n'))
            --start;
        end = offset;
        while (end < n && text[end] != QLatin1Char('\n'))
            ++end;
        if (end < n)
            ++end; // the paragraph end belongs to its paragraph
        return;
    }
    case QAccessible::NoBoundary:
    default:
        start = 0;
        end = n;
        return;
    }
}

} // namespace

RtfEditAccessible::RtfEditAccessible(TQnCustomRtfEdit *edit)
    : QAccessibleWidget(edit, QAccessible::EditableText)
{
}

TQnCustomRtfEdit *RtfEditAccessible::edit() const
{
    return static_cast<TQnCustomRtfEdit *>(widget());
}

void *RtfEditAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString RtfEditAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return edit()->PlainText();
    return QAccessibleWidget::text(type);
}

QAccessible::State RtfEditAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.multiLine = true;
    s.selectableText = true;
    s.readOnly = edit()->ReadOnly();
    s.editable = !edit()->ReadOnly();
    return s;
}

void RtfEditAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !edit()->BlockMarked())
        return;
    const TQnRTFTextInput &d = *edit()->Document;
    const int a = absoluteOf(d, d.BlockAnchor), b = absoluteOf(d, d.BlockEnd);
    *startOffset = std::min(a, b);
    *endOffset = std::max(a, b);
}

int RtfEditAccessible::selectionCount() const
{
    return edit()->BlockMarked() ? 1 : 0;
}

void RtfEditAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void RtfEditAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        edit()->ClearSelection();
}

void RtfEditAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    TQnRTFTextInput &d = *edit()->Document;
    d.BlockAnchor = positionAt(d, startOffset);
    d.BlockEnd = positionAt(d, endOffset);
    d.BlockStarted = true;
    d.Reversed = endOffset < startOffset;
    d.Cursor = d.BlockEnd;
    d.ShowCaret();
    edit()->Repaint();
}

int RtfEditAccessible::cursorPosition() const
{
    return edit()->CursorAbsolutePosition();
}

void RtfEditAccessible::setCursorPosition(int position)
{
    TQnRTFTextInput &d = *edit()->Document;
    d.DropBlock();
    d.Cursor = positionAt(d, position);
    d.ShowCaret();
    edit()->Repaint();
}

QString RtfEditAccessible::text(int startOffset, int endOffset) const
{
    const QString all = edit()->PlainText();
    startOffset = std::clamp(startOffset, 0, int(all.size()));
    endOffset = std::clamp(endOffset, startOffset, int(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

QString RtfEditAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                            int *startOffset, int *endOffset) const
{
    const QString all = edit()->PlainText();
    int start, end;
    unitAround(all, offset, type, start, end);
    if (start == 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    unitAround(all, start - 1, type, *startOffset, *endOffset);
    return all.mid(*startOffset, *endOffset - *startOffset);
}

QString RtfEditAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type,
                                           int *startOffset, int *endOffset) const
{
    const QString all = edit()->PlainText();
    int start, end;
    unitAround(all, offset, type, start, end);
    if (end >= all.size()) {
        *startOffset = *endOffset = int(all.size());
        return QString();
    }
    unitAround(all, end, type, *startOffset, *endOffset);
    return all.mid(*startOffset, *endOffset - *startOffset);
}

QString RtfEditAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type,
                                        int *startOffset, int *endOffset) const
{
    const QString all = edit()->PlainText();
    unitAround(all, offset, type, *startOffset, *endOffset);
    return all.mid(*startOffset, *endOffset - *startOffset);
}

int RtfEditAccessible::characterCount() const
{
    return int(edit()->PlainText().size());
}

QRect RtfEditAccessible::characterRect(int offset) const
{
    TQnCustomRtfEdit *e = edit();
    TQnRTFTextInput &d = *e->Document;
    const TTextPos pos = positionAt(d, offset);
    if (!pos.Line)
        return QRect();
    const int x = d.XOfChar(pos.Paragraph, pos.Line, pos.Offset);
    const int right = d.XOfChar(pos.Paragraph, pos.Line, pos.Offset + 1);
    const QRect local(x, pos.Line->Top - d.ScrollY, std::max(1, right - x), pos.Line->Height);
    return QRect(e->mapToGlobal(local.topLeft() + e->ClientRect().topLeft()), local.size());
}

int RtfEditAccessible::offsetAtPoint(const QPoint &point) const
{
    TQnCustomRtfEdit *e = edit();
    TQnRTFTextInput &d = *e->Document;
    const QPoint local = e->mapFromGlobal(point) - e->ClientRect().topLeft();
    TParagraph *p;
    TLine *l;
    if (!d.LineAt(local.x(), local.y(), p, l))
        return -1;
    return absoluteOf(d, TTextPos{p, l, d.CharAt(p, l, local.x())});
}

void RtfEditAccessible::scrollToSubstring(int startIndex, int)
{
    setCursorPosition(startIndex);
}

QString RtfEditAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = offset;
    return QString();
}

void InstallRtfEditAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory([](const QString &, QObject *object) -> QAccessibleInterface * {
        if (auto *edit = qobject_cast<TQnCustomRtfEdit *>(object))
            return new RtfEditAccessible(edit);
        return nullptr;
    });
}

} // namespace qn
