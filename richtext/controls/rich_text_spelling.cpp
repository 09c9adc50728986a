// The editor's side of spelling while typing: the marks painted over the
// text and the right-click menu on a marked word.

#include "richtext/controls/rich_text.h"

#include <QMenu>

namespace qn {

void TQnCustomRichText::PaintOverlay(QPainter &painter, const QPoint &clientTopLeft,
                                     const QRect &dirty)
{
    if (SpellMarks)
        SpellMarks->Paint(painter, clientTopLeft, dirty);
}

void TQnCustomRichText::AddContextMenuItems(QMenu &menu, QPoint at)
{
    if (at.x() >= 0 && SpellMarks && SpellMarks->Engine() && SpellMarks->Enabled())
        SpellMarks->AddMenuItems(menu, at.x(), at.y());
}

} // namespace qn
