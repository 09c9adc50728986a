// Undo and redo of the editor control: the records that edits make, and
// taking steps back and putting them again.
#include "richtext/controls/rtf_edit.h"

namespace qn {

TQnCustomRtfEdit::UndoRecord::UndoRecord(TQnCustomRtfEdit &edit, UndoKind kind, int before,
                                         int after)
    : edit_(edit), outer_(edit.undoDepth_++ == 0)
{
    if (outer_)
        edit.undo_->BeforeAtSelection(kind, before, after);
}

TQnCustomRtfEdit::UndoRecord::UndoRecord(TQnCustomRtfEdit &edit, int first, int last)
    : edit_(edit), outer_(edit.undoDepth_++ == 0)
{
    if (outer_)
        edit.undo_->Before(UndoKind::Other, first, last);
}

TQnCustomRtfEdit::UndoRecord::~UndoRecord()
{
    if (--edit_.undoDepth_ == 0 && outer_)
        edit_.finishUndoStep();
}

void TQnCustomRtfEdit::finishUndoStep()
{
    if (undo_->Pending()) {
        undo_->After();
        emit UndoStateChanged();
    }
}

bool TQnCustomRtfEdit::CanUndo() const
{
    return !Document->ReadOnly && undo_->CanUndo();
}

bool TQnCustomRtfEdit::CanRedo() const
{
    return !Document->ReadOnly && undo_->CanRedo();
}

void TQnCustomRtfEdit::Undo()
{
    if (undoDepth_ > 0 || !CanUndo() || !BeginEdit())
        return;
    finishUndoStep();
    if (undo_->Undo())
        afterUndo();
    emit UndoStateChanged();
}

void TQnCustomRtfEdit::Redo()
{
    if (undoDepth_ > 0 || !CanRedo() || !BeginEdit())
        return;
    finishUndoStep();
    if (undo_->Redo())
        afterUndo();
    emit UndoStateChanged();
}

void TQnCustomRtfEdit::ClearUndo()
{
    undo_->Clear();
    emit UndoStateChanged();
}

void TQnCustomRtfEdit::afterUndo()
{
    // The paragraphs were rebuilt: nothing may keep pointing into the old ones.
    selectedObject_ = nullptr;
    resizingObject_ = false;
    Finder->SetPosition(0);
    TQnRTFTextInput &d = *Document;
    d.ShowCaret();
    keepCaretLineInView();
    Repaint();
    barsChanged();
    EditStateChanged();
    Changed();
}

} // namespace qn
