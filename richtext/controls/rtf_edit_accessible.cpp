#include "richtext/controls/rtf_edit_accessible.h"

#include "platform/qt/qt_text.h"
#include "richtext/controls/rtf_edit.h"

#include <QApplication>
#include <QStringList>

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

// The characters' attributes of a paragraph, one per text position; the
// paragraph end takes the attribute of the character before it.
std::vector<TCharAttr> paragraphAttrs(const TParagraph *p)
{
    std::vector<TCharAttr> attrs;
    for (const TLine *l = p->Lines; l; l = l->Next)
        for (int i = 0; i < l->Length; ++i)
            attrs.push_back(l->Attrs ? l->Attrs[i] : TCharAttr{});
    attrs.push_back(attrs.empty() ? TCharAttr{} : attrs.back());
    return attrs;
}

// What a reader tells of a character's look: only these fields make a run.
bool sameLook(const TCharAttr &a, const TCharAttr &b)
{
    constexpr uint16_t kSpoken = kStyleBold | kStyleItalic | kStyleUnderline | kStyleStrikeout |
                                 kStyleDoubleUnderline | kStyleSuperscript | kStyleSubscript;
    return a.FontIndex == b.FontIndex && a.Size == b.Size && a.Colors == b.Colors &&
           (a.Style & kSpoken) == (b.Style & kSpoken);
}

QString cssColour(ColorRef c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(c & 0xFF).arg((c >> 8) & 0xFF).arg((c >> 16) & 0xFF);
}

// The attributes in the "name:value;" form of the text interface.
QString describeLook(const TTextHeader &h, const TCharAttr &a)
{
    QStringList parts;
    if (a.FontIndex < kFontSlots && !h.FontNames[a.FontIndex].empty())
        parts << QStringLiteral("font-family:\"%1\"").arg(AnsiToQString(h.FontNames[a.FontIndex]));
    parts << QStringLiteral("font-size:%1pt").arg(a.Size ? a.Size : 10);
    parts << QStringLiteral("font-weight:%1")
                 .arg(a.Style & kStyleBold ? QStringLiteral("bold") : QStringLiteral("normal"));
    parts << QStringLiteral("font-style:%1")
                 .arg(a.Style & kStyleItalic ? QStringLiteral("italic") : QStringLiteral("normal"));
    if (a.Style & (kStyleUnderline | kStyleDoubleUnderline)) {
        parts << QStringLiteral("text-underline-style:solid");
        parts << QStringLiteral("text-underline-type:%1")
                     .arg(a.Style & kStyleDoubleUnderline ? QStringLiteral("double")
                                                          : QStringLiteral("single"));
    }
    if (a.Style & kStyleStrikeout)
        parts << QStringLiteral("text-line-through-type:single");
    if (a.Style & (kStyleSuperscript | kStyleSubscript))
        parts << QStringLiteral("text-position:%1")
                     .arg(a.Style & kStyleSuperscript ? QStringLiteral("super")
                                                      : QStringLiteral("sub"));
    parts << QStringLiteral("color:%1").arg(cssColour(h.Colors[a.TextColor()]));
    if (a.BackColor())
        parts << QStringLiteral("background-color:%1").arg(cssColour(h.Colors[a.BackColor()]));
    return parts.join(QLatin1Char(';')) + QLatin1Char(';');
}

} // namespace

QString ColourName(ColorRef colour)
{
    static const struct {
        ColorRef Value;
        const char *Name;
    } kNames[] = {
        {0x000000, "Black"}, {0x000080, "Maroon"},  {0x008000, "Green"}, {0x008080, "Olive"},
        {0x800000, "Navy"},  {0x800080, "Purple"},  {0x808000, "Teal"},  {0xC0C0C0, "Silver"},
        {0x808080, "Grey"},  {0x0000FF, "Red"},     {0x00FF00, "Lime"},  {0x00FFFF, "Yellow"},
        {0xFF0000, "Blue"},  {0xFF00FF, "Fuchsia"}, {0xFFFF00, "Aqua"},  {0xFFFFFF, "White"},
    };
    colour &= 0xFFFFFF;
    for (const auto &n : kNames)
        if (n.Value == colour)
            return QString::fromLatin1(n.Name);
    return QStringLiteral("Red %1, green %2, blue %3")
        .arg(colour & 0xFF)
        .arg((colour >> 8) & 0xFF)
        .arg((colour >> 16) & 0xFF);
}

RtfEditAccessible::RtfEditAccessible(TQnCustomRtfEdit *edit)
    : QAccessibleWidget(edit, QAccessible::EditableText)
{
    // Made while nobody listens (Qt asks for it with every event), the text
    // is taken when a reader comes.
    if (QAccessible::isActive())
        Snapshot(edit);
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
    const TQnRTFTextInput &d = *edit()->Document;
    const int count = characterCount();
    *startOffset = *endOffset = offset;
    if (offset < 0 || offset >= std::max(count, 1) || !d.FirstParagraph || !d.Header)
        return QString();
    // The paragraph holding offset, and where it starts.
    int start = 0;
    const TParagraph *p = d.FirstParagraph;
    while (p->Next && offset > start + p->TextLength()) {
        start += p->TextLength() + 1;
        p = p->Next;
    }
    const std::vector<TCharAttr> attrs = paragraphAttrs(p);
    const int last = int(attrs.size()) - 1; // the paragraph end
    const int at = std::clamp(offset - start, 0, last);
    int from = at, to = at + 1;
    if (at < last) { // the paragraph end is a run of its own
        while (from > 0 && sameLook(attrs[from - 1], attrs[at]))
            --from;
        while (to < last && sameLook(attrs[to], attrs[at]))
            ++to;
    }
    *startOffset = start + from;
    *endOffset = std::min(start + to, count);
    return describeLook(*d.Header, attrs[at]);
}

void RtfEditAccessible::CaretMoved(TQnCustomRtfEdit *edit)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(edit);
    auto *self = iface ? static_cast<RtfEditAccessible *>(iface->textInterface()) : nullptr;
    if (!self)
        return;
    // A new text (an entry loaded) shows with the caret placed in it.
    TextChanged(edit);
    int start = 0, end = 0;
    self->selection(0, &start, &end);
    if (start != edit->accessibleSelStart_ || end != edit->accessibleSelEnd_) {
        edit->accessibleSelStart_ = start;
        edit->accessibleSelEnd_ = end;
        QAccessibleTextSelectionEvent selected(edit, start, end);
        selected.setCursorPosition(edit->CursorAbsolutePosition());
        QAccessible::updateAccessibility(&selected);
    }
    QAccessibleTextCursorEvent moved(edit, edit->CursorAbsolutePosition());
    QAccessible::updateAccessibility(&moved);
}

void RtfEditAccessible::TextChanged(TQnCustomRtfEdit *edit)
{
    const QString now = edit->PlainText();
    const QString before = edit->accessibleText_;
    edit->accessibleText_ = now;
    if (!edit->accessibleTextKnown_ || before == now) {
        edit->accessibleTextKnown_ = true;
        return;
    }
    // The edit is what lies between the common beginning and the common end.
    const qsizetype shorter = std::min(before.size(), now.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    const QString removed = before.mid(head, before.size() - head - tail);
    const QString inserted = now.mid(head, now.size() - head - tail);
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent gone(edit, int(head), removed);
        QAccessible::updateAccessibility(&gone);
    }
    if (!inserted.isEmpty()) {
        QAccessibleTextInsertEvent added(edit, int(head), inserted);
        QAccessible::updateAccessibility(&added);
    }
    QAccessibleValueChangeEvent changed(edit, now);
    QAccessible::updateAccessibility(&changed);
}

namespace {

// When a reader comes, every editor's text is what it knows from then on.
class ReaderArrival : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override
    {
        if (!active)
            return;
        for (QWidget *w : QApplication::allWidgets())
            if (auto *edit = qobject_cast<TQnCustomRtfEdit *>(w))
                RtfEditAccessible::Snapshot(edit);
    }
};

} // namespace

void RtfEditAccessible::Snapshot(TQnCustomRtfEdit *edit)
{
    edit->accessibleText_ = edit->PlainText();
    edit->accessibleTextKnown_ = true;
    int start = 0, end = 0;
    if (edit->BlockMarked()) {
        const TQnRTFTextInput &d = *edit->Document;
        const int a = absoluteOf(d, d.BlockAnchor), b = absoluteOf(d, d.BlockEnd);
        start = std::min(a, b);
        end = std::max(a, b);
    }
    edit->accessibleSelStart_ = start;
    edit->accessibleSelEnd_ = end;
}

void InstallRtfEditAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    static ReaderArrival arrival;
    QAccessible::installActivationObserver(&arrival);
    QAccessible::installFactory([](const QString &, QObject *object) -> QAccessibleInterface * {
        if (auto *edit = qobject_cast<TQnCustomRtfEdit *>(object))
            return new RtfEditAccessible(edit);
        return nullptr;
    });
}

} // namespace qn
