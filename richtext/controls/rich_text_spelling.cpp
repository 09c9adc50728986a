// The editor's side of spelling while typing: the marks painted over the
// text and the right-click menu on a marked word.

#include "richtext/controls/rich_text.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace qn {

void TQnCustomRichText::PaintOverlay(QPainter &painter, const QPoint &clientTopLeft,
                                     const QRect &dirty)
{
    if (SpellMarks)
        SpellMarks->Paint(painter, clientTopLeft, dirty);
}

void TQnCustomRichText::contextMenuEvent(QContextMenuEvent *event)
{
    const QPoint at = event->pos() - ClientRect().topLeft();
    QMenu menu(this);
    if (SpellMarks && SpellMarks->Engine() && SpellMarks->Enabled() &&
        SpellMarks->AddMenuItems(menu, at.x(), at.y())) {
        menu.exec(event->globalPos());
        event->accept();
        return;
    }
    event->ignore();
}

} // namespace qn
