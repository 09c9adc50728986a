#pragma once

// UndoHistory: the steps of editing one document, to take back and put
// again.
//
// A step keeps the paragraphs an edit touched, as they were before it, in a
// compact copy: the text of each line and its attributes as runs of equal
// looks (the pixel metrics are left out and measured again when the copy
// comes back), beside the paragraph's properties. Typing, Backspace and
// Delete copy the one or two paragraphs at the cursor; an edit of the
// selection copies the selected paragraphs and one on either side; an edit
// of the whole text (replace all) copies everything. Undo swaps the range in
// the document with its copy, so a step holds one copy at any time: the
// state before while it is done, the state after while it is undone. The
// header's tables (fonts, colours, tab slots), the styles and the footnotes
// are kept beside, shared between steps while they do not change.
//
// Consecutive characters of one kind (typing, Backspace, Delete) form one
// step until the caret moves, a pause, or another kind of edit.
//
// The history is bounded: when its copies take more than Limit bytes the
// oldest steps go first. Large ranges, once swapped out, are kept as the
// document had them (see LiveParagraphs). Before a step is swapped back the range it replaces
// is checked against what the step recorded (the document's paragraph count
// and the range's text); an edit that bypassed the history shows there, and
// the history is then dropped rather than restoring the wrong text.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "richtext/edit/rtf_text_input.h"

namespace qn {

// Kinds of edit. Consecutive edits of one kind join, except Other: typing,
// Backspace, Delete, and the indents while a ruler marker is dragged.
enum class UndoKind : uint8_t { Typing, Backspace, Delete, Indents, Other };

// A place in the text that survives the paragraphs being rebuilt.
struct UndoPosition {
    int Paragraph = 0;
    int Offset = 0; // across the paragraph's lines
    bool operator==(const UndoPosition &) const = default;
};

// The cursor and the block.
struct UndoSelection {
    UndoPosition Cursor;
    bool Block = false;
    UndoPosition Anchor, End;
    bool Reversed = false;
    bool operator==(const UndoSelection &) const = default;
};

class UndoHistory {
public:
    // Asked for the time; steady clock unless tests set another.
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit UndoHistory(TQnRTFTextInput &document);
    ~UndoHistory();
    UndoHistory(const UndoHistory &) = delete;
    UndoHistory &operator=(const UndoHistory &) = delete;

    // ---- Recording ----

    // Before an edit that changes paragraphs [first, last] of the document
    // (indices; last < 0 or beyond the end: to the end). Opens a step, or
    // joins the open typing step when the edit may.
    void Before(UndoKind kind, int first, int last);
    // Before an edit at the selection (or the cursor): the paragraphs from
    // the block's start to its end, widened by `before` and `after`.
    void BeforeAtSelection(UndoKind kind, int before, int after);
    void BeforeWholeDocument(UndoKind kind);
    // After the edit: the step takes the state it left. An edit that changed
    // nothing leaves no step. False when no step was open.
    bool After();
    // Whether Before opened or joined a step that After has not closed.
    bool Pending() const { return pending_; }
    // The next edit starts a step of its own.
    void BreakGroup() { joinable_ = false; }

    // ---- Taking back ----

    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    // Restores text, formatting and selection and lays the changed
    // paragraphs out; false when there is nothing to do or the history no
    // longer matches the document (it is then cleared).
    bool Undo();
    bool Redo();
    void Clear();

    // ---- Bounds and figures ----

    size_t Limit = size_t(32) << 20; // bytes of copies
    std::chrono::milliseconds TypingPause{1500};
    // A swapped-out range of this many paragraphs or more is kept laid out
    // (about 15 bytes a character) instead of copied (about 2), so that
    // taking a large step back and forth again costs no layout.
    int LiveParagraphs = 32;
    Clock Now;
    size_t MemoryUsed() const { return bytes_; }
    size_t StepCount() const { return steps_.size(); }
    // Edits recorded so far (a new step or one joined to the last).
    size_t Recorded() const { return recorded_; }

    // The selection of the document as positions, and placing one.
    static UndoSelection SelectionOf(const TQnRTFTextInput &document);
    static void PlaceSelection(TQnRTFTextInput &document, const UndoSelection &selection);
    // Index of a paragraph (-1 when it is not in the document).
    static int IndexOf(const TQnRTFText &document, const TParagraph *paragraph);

    struct ParagraphCopy;
    struct SideState;
    struct Step;

private:
    void openStep(UndoKind kind, int first, int last);
    bool mayJoin(UndoKind kind, int first, int last) const;
    bool swap(Step &step, bool undo);
    void trim();
    void dropRedo();

    TQnRTFTextInput &document_;
    std::deque<std::unique_ptr<Step>> steps_;
    std::unique_ptr<Step> open_; // opened by Before, kept by After when it changed something
    bool joinedOpen_ = false;    // the pending edit joined the last step
    size_t done_ = 0;            // steps_[0, done_) are done, the rest undone
    size_t bytes_ = 0;
    size_t recorded_ = 0;
    bool pending_ = false;
    bool joinable_ = false;
    std::chrono::steady_clock::time_point lastEdit_;
    std::shared_ptr<const SideState> lastSide_;
};

} // namespace qn
