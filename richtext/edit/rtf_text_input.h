#pragma once

// TQnRTFTextInput: what a user does at the cursor. Typing (characters,
// backspace, delete, Enter, page breaks), inserting objects, deleting the
// selected block, character and paragraph formatting, and moving the cursor
// by character, word, line, page and to the ends of line and document, with
// or without extending the selection. It keeps CurrentAttr, the look of the
// next typed character, in step with the text before the cursor.
//
// Edits keep the layout incremental: a typed character measures itself and
// re-breaks its own paragraph only; the repaint result says how much of the
// window must be painted again.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "richtext/layout/rtf_text_paint.h"

namespace qn {

// Kinds of MoveCursor.
enum : int {
    kMoveLineStart = 0,
    kMoveLineEnd = 1,
    kMovePageUp = 2,
    kMovePageDown = 3,
    kMoveDocumentStart = 4,
    kMoveDocumentEnd = 5,
    kMoveLeft = 6,
    kMoveRight = 7,
    kMoveUp = 8,
    kMoveDown = 9,
    kMoveWordLeft = 10,
    kMoveWordRight = 11,
};

// What a typed character leaves to be painted.
enum : int {
    kRepaintNothing = 0,
    kRepaintLine = 1,      // the changed lines of the cursor paragraph
    kRepaintParagraph = 2, // every line of the cursor paragraph
    kRepaintWindow = 3,
};

// Parts of SetSelectionAttr: what is taken from the given attribute.
enum : uint8_t {
    kAttrFont = 0x01,
    kAttrSize = 0x02,
    kAttrTextColor = 0x04,
    kAttrBackColor = 0x08,
    kAttrStyleOn = 0x10,     // OR its Style bits in
    kAttrStyleGroup = 0x20,  // replace bold .. hidden and RTF code
    kAttrBasicStyles = 0x40, // replace bold, italic, underline, strikeout, super/subscript
    kAttrStyleOff = 0x80,    // clear its Style bits
};

// Style bits that typing carries on from the text before the cursor.
constexpr uint16_t kTypingStyleMask = 0x06FF;
// A value of SetIndents that leaves the indent as it is (also 65000 and above).
constexpr int kIndentUnchanged = -1000;
// The line-end aim of up and down moves.
constexpr int kWantedXLineEnd = 9999;

// Asked for the text of one insert point: its paragraph, the automatic text
// that follows it now (to be changed in place), how many characters of that
// text the new text replaces (all of them unless changed), its field number
// and its marker character. Returns whether to go on to the next insert point.
using TQnInsertPointText = std::function<bool(TParagraph *paragraph, std::string &text,
                                              int &lenOfAutoText, int tag, uint8_t c)>;

// Longest automatic text put behind one insert point.
constexpr int kMaxAutoText = 255;

// Told about the cursor and the current attribute (the tool bar's link).
class TQnAttrListener {
public:
    virtual ~TQnAttrListener() = default;
    virtual void CursorMoved() = 0;
    virtual void AttrChanged() = 0;
};

class TQnRTFTextInput : public TQnRTFTextPaint {
public:
    TQnRTFTextInput();
    ~TQnRTFTextInput() override;

    // ---- Typing ----

    // Types text (up to a NUL) at the cursor. A string of at most one
    // character brings the screen up to date; longer ones leave painting to
    // the caller (LastRepaint tells what is due).
    void InputString(std::u32string_view text);
    // Windows-1252 text typed.
    void InputString(std::string_view ansi);
    // Inserts an object character at the cursor. tag -1 asks for an automatic
    // tag, 0 for an id; it returns the number the character carries. Throws
    // EQnRTFText "No object was defined" without a graphic (the record stays).
    TQnObject *InsertObject(int &tag, std::shared_ptr<TQnGraphic> graphic, int height, int width);
    // Deletes the selected block; false without a complete block.
    bool DeleteBlock();
    // Walks the insert points of the document in order and puts the text that
    // ask gives each one behind it as automatic text (Style 0x2000, the
    // field's Tag). Layout and cursor are left to the caller; the block is
    // removed. Returns how many insert points changed their text.
    int FillInsertPoints(const TQnInsertPointText &ask);
    void Clear() override;

    // ---- Formatting (the block, or the cursor paragraph and CurrentAttr) ----

    void SetSelectionAttr(const TCharAttr &attr, uint8_t parts);
    void SetStyle(uint16_t bits, bool on);
    void SetAlignment(uint8_t alignment);
    // mask: the bit of one header tab slot.
    void SetTab(uint32_t mask, bool remove);
    // Twips; kIndentUnchanged or 65000 and above keep a value.
    void SetIndents(int first, int left, int right);
    // CurrentAttr from the character before the cursor (at the start of the
    // text, from the first character).
    void UpdateCurrentAttr();

    // ---- Moves ----

    void MoveCursor(int kind, bool extend);
    void CursorLeft(int count, bool extend, bool scroll);
    void CursorRight(int count, bool extend, bool scroll);
    void CursorUp(int count, bool extend, bool scroll);
    void CursorDown(int count, bool extend, bool scroll);
    void WordLeft(int count, bool extend, bool scroll);
    void WordRight(int count, bool extend, bool scroll);

    // ---- Helpers for the control ----

    // Both ends of the block set.
    bool HasBlock() const { return BlockAnchor.Line && BlockEnd.Line; }
    // The block's ends in text order.
    void OrderedBlock(TTextPos &start, TTextPos &end) const;
    // Whether a lies before b in the text.
    bool PositionBefore(const TTextPos &a, const TTextPos &b) const;
    bool ShowHidden() const { return (PaintFlags2 & kPaint2ShowHidden) != 0; }
    // Paints what a typed character's result asks for and shows the caret.
    void UpdateScreen(int result);

    // ---- Fields ----

    int WantedX = 0; // document pixels that up and down moves aim for
    TQnAttrListener *AttrListener = nullptr;
    bool ObjectInsert = false;
    bool FullReformat = false; // renumber and lay out everything at the next repaint
    bool Typing = false;
    int LastRepaint = kRepaintNothing; // result of the last typed string
    std::function<void()> BeforeInput, AfterInput, CursorMoved, ParagraphLeft;

private:
    // One character; returns its repaint result.
    int typeChar(char32_t ch);
    int typeBackspace();
    int typeDelete();
    int typeEnter(bool pageBreak);
    int typePageBreak();
    int typeOther(char32_t ch);
    void paragraphLeftIfDue();
    // Re-breaks a paragraph (measuring it too when it is empty) and keeps the
    // line tops below it right; returns the break result.
    int relayout(TParagraph *paragraph);
    int relayoutCursorParagraph();
    void markNumbered(const TParagraph *paragraph);

    // Block deletion by shape.
    void deleteInOneParagraph(const TTextPos &start, const TTextPos &end);
    void deleteAcrossParagraphs(const TTextPos &start, const TTextPos &end);

    // Formatting helpers.
    void applyParts(TCharAttr &target, const TCharAttr &attr, uint8_t parts) const;
    // Calls f for every paragraph of the block, or the cursor paragraph.
    void forSelectedParagraphs(const std::function<void(TParagraph *)> &f);
    void relayoutAndPaint();
    void updateRulerFields();

    // Moves without the after-move work.
    bool stepLeft();
    bool stepRight();
    bool lineUp();
    bool lineDown();
    bool wordStepLeft();
    bool wordStepRight();
    void pageMove(bool down);
    void aimAtWantedX();
    bool zeroWidth(const TLine *line, int i) const;
    bool movesLocked() const { return (PaintFlags & kPaintNoMouseCaret) != 0; }
    void beginMove(bool extend);
    void endMove(bool extend, bool scroll, bool hadBlock);
    int documentX(int windowX) const;
    int windowX(int documentX) const;

    // Compared by address only: the paragraph may have been freed since.
    const TParagraph *lastEdited_ = nullptr;
    bool aimAtCaret_ = false; // the last typed character sets WantedX from the caret
};

} // namespace qn
