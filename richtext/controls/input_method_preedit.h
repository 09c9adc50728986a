#pragma once

// The text an input method is composing (its pre-edit) as the editor shows
// it: never part of the document until the input method commits it. It
// holds the text, where the input method's cursor is in it and the looks
// the input method gives its parts (the clause being converted, say), and
// lays it out in the font typed text would get: underlined as a whole, the
// input method's looks over that.

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

class QInputMethodEvent;
class QPainter;

namespace qn {

class InputMethodPreedit {
public:
    // Takes the pre-edit of an event; an event without one ends it.
    void Take(const QInputMethodEvent &event);
    void Clear();

    bool Empty() const { return text_.isEmpty(); }
    const QString &Text() const { return text_; }
    // Where the input method's cursor is, in UTF-16 units of the text.
    int Cursor() const { return cursor_; }
    bool CursorVisible() const { return cursorVisible_; }

    // The text's size in a font, in whole pixels (rounded up).
    struct Geometry {
        int Width = 0;
        int Ascent = 0;
        int Descent = 0;
        int CursorX = 0; // from the text's left edge
    };
    Geometry Measure(const QFont &font) const;

    // Draws the text with its base line at baseline and its left edge at x.
    void Draw(QPainter &painter, int x, int baseline, const QFont &font, const QColor &color) const;

private:
    void layOut(QTextLayout &layout, const QFont &font) const;

    QString text_;
    int cursor_ = 0;
    bool cursorVisible_ = true;
    QList<QTextLayout::FormatRange> formats_;
};

} // namespace qn
