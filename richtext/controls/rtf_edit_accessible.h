#pragma once

// What assistive technology sees of the editor control: an editable,
// multi-line text with its caret and selection. Offsets are absolute
// positions of the document (one per character and one per paragraph end),
// so the text is the paragraphs joined by line feeds.

#include "platform/canvas.h"

#include <QAccessibleWidget>

namespace qn {

class TQnCustomRtfEdit;

class RtfEditAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit RtfEditAccessible(TQnCustomRtfEdit *edit);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;
    QAccessible::State state() const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // Tell assistive technology what changed: the caret (and with it the
    // selection) moved, or the text was edited. Called while it listens only;
    // an edit is told as the text removed and the text inserted since the
    // last announcement.
    static void CaretMoved(TQnCustomRtfEdit *edit);
    static void TextChanged(TQnCustomRtfEdit *edit);
    // Takes the text and selection a reader knows from now on.
    static void Snapshot(TQnCustomRtfEdit *edit);

private:
    TQnCustomRtfEdit *edit() const;
};

// A colour as a reader says it: the name of one of the sixteen standard
// colours, or its red, green and blue parts.
QString ColourName(ColorRef colour);

// Makes Qt's accessibility use RtfEditAccessible for every editor control.
void InstallRtfEditAccessibility();

} // namespace qn
