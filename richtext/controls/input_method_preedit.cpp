#include "richtext/controls/input_method_preedit.h"

#include <QInputMethodEvent>
#include <QPainter>
#include <QTextCharFormat>

#include <algorithm>
#include <cmath>

namespace qn {

void InputMethodPreedit::Take(const QInputMethodEvent &event)
{
    text_ = event.preeditString();
    // Without a cursor attribute the cursor stands after the text.
    cursor_ = int(text_.size());
    cursorVisible_ = true;
    formats_.clear();
    for (const QInputMethodEvent::Attribute &a : event.attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            cursor_ = std::clamp(a.start, 0, int(text_.size()));
            cursorVisible_ = a.length != 0;
        } else if (a.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = qvariant_cast<QTextFormat>(a.value).toCharFormat();
            const int start = std::clamp(a.start, 0, int(text_.size()));
            const int end = std::clamp(a.start + a.length, start, int(text_.size()));
            if (format.isValid() && end > start)
                formats_.append(QTextLayout::FormatRange{start, end - start, format});
        }
    }
}

void InputMethodPreedit::Clear()
{
    text_.clear();
    cursor_ = 0;
    cursorVisible_ = true;
    formats_.clear();
}

void InputMethodPreedit::layOut(QTextLayout &layout, const QFont &font) const
{
    layout.setText(text_);
    layout.setFont(font);
    QTextCharFormat underlined;
    underlined.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    // The whole text is underlined first; the input method's looks follow
    // and win where they say otherwise.
    QList<QTextLayout::FormatRange> ranges{{0, int(text_.size()), underlined}};
    for (const QTextLayout::FormatRange &r : formats_) {
        QTextCharFormat merged = underlined;
        merged.merge(r.format);
        ranges.append({r.start, r.length, merged});
    }
    layout.setFormats(ranges);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6); // one line, however long
    layout.endLayout();
}

InputMethodPreedit::Geometry InputMethodPreedit::Measure(const QFont &font) const
{
    QTextLayout layout;
    layOut(layout, font);
    const QTextLine line = layout.lineAt(0);
    Geometry g;
    g.Ascent = int(std::ceil(line.ascent()));
    g.Descent = int(std::ceil(line.descent()));
    if (!text_.isEmpty()) {
        g.Width = int(std::ceil(line.naturalTextWidth()));
        g.CursorX = int(std::lround(line.cursorToX(cursor_)));
    }
    return g;
}

void InputMethodPreedit::Draw(QPainter &painter, int x, int baseline, const QFont &font,
                              const QColor &color) const
{
    if (text_.isEmpty())
        return;
    QTextLayout layout;
    layOut(layout, font);
    const QTextLine line = layout.lineAt(0);
    painter.save();
    painter.setPen(color);
    layout.draw(&painter, QPointF(x, baseline - line.ascent()));
    painter.restore();
}

} // namespace qn
