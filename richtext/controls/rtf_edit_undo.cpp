// Undo and redo of the editor control.
#include "richtext/controls/rtf_edit.h"

namespace qn {

bool TQnCustomRtfEdit::CanUndo() const
{
    return false;
}

bool TQnCustomRtfEdit::CanRedo() const
{
    return false;
}

void TQnCustomRtfEdit::Undo() {}

void TQnCustomRtfEdit::Redo() {}

void TQnCustomRtfEdit::ClearUndo()
{
    emit UndoStateChanged();
}

} // namespace qn
