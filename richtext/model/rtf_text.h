#pragma once

// TQnRTFText: one formatted document in memory and its primitive edits.
//
// Structure: a doubly linked list of paragraphs (FirstParagraph, Next/Prev);
// in each paragraph a doubly linked chain of lines (Lines, Next/Prev); in each
// line a character buffer and, in rich-text mode, one TCharAttr per buffer
// position. Beside the text: the header (page set-up, fonts, colours, tab
// slots) and the object, style and footnote lists.
//
// Ownership: the document owns every paragraph reachable from FirstParagraph,
// a paragraph owns its lines, a line owns its buffers. The records are linked
// by plain pointers so that cursors and selections of the editing layers can
// hold them and splicing whole chains (reading, pasting) costs nothing.
// NewParagraph with no paragraph gives an unlinked chain that the caller owns
// until InsertParagraphs links it in (or FreeParagraphChain frees it).
//
// Positions are 0-based character offsets: in a line (paragraph, line,
// offset) or in a paragraph (paragraph, offset across its lines).
//
// The layers above derive from this class (TQnRTFTextIo, TQnRTFTextPaint,
// TQnRTFTextInput) and override the virtual operations.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "richtext/model/model_error.h"
#include "richtext/model/persistent.h"
#include "richtext/model/records.h"
#include "richtext/model/side_records.h"
#include "richtext/model/text_header.h"

namespace qn {

// TQnRTFText::ProtectOptions: what a guarded position is.
enum : uint8_t {
    kProtectShadow = 0x01,      // characters with Style 0x0200
    kProtectHidden = 0x02,      // hidden characters
    kProtectInsertPoint = 0x04, // insert points, in overwrite mode
    kProtectAutoText = 0x08,    // automatic text
    kProtectZeroWidth = 0x10,   // characters of width 0
    kProtectParagraph = 0x20,   // paragraphs with ParFlags 0x10
};

class TQnRTFText : public TPersistent {
public:
    TQnRTFText();
    virtual ~TQnRTFText();
    TQnRTFText(const TQnRTFText &) = delete;
    TQnRTFText &operator=(const TQnRTFText &) = delete;

    // ---- Virtual operations, in the order the layers override them ----

    // Stores attr at one position of a line and fills Width/Height/Ascent from
    // the plain-mode metrics (a tab measures as a space; an object character
    // keeps its size). Nothing in plain-text mode.
    virtual void SetCharAttr(TLine *line, int position, const TCharAttr &attr);
    // Reports the text of a guarded run to OnFieldText (whole: the paragraph
    // is protected as a whole).
    virtual void FieldTextEvent(TParagraph *paragraph, TLine *line, bool whole, int position);
    // CurrentAttr := attr (every field).
    virtual void SetCurrentAttr(const TCharAttr &attr);
    // Empties the document: one empty paragraph, header reset, objects and
    // footnotes freed.
    virtual void Clear();
    // Replaces the text of paragraph `index` (attr nullptr = CurrentAttr).
    // False when there is no such paragraph.
    virtual bool SetParagraphText(int index, std::u32string_view text, const TCharAttr *attr);
    // Overwrites text.size() characters at position in a line with text
    // (extending the line where it is shorter), attributes from CurrentAttr.
    // Returns the change in the line's length.
    virtual int ReplaceText(TParagraph *paragraph, TLine *line, std::u32string_view text,
                            int position);

    // ---- Paragraphs and lines ----

    // Creates a paragraph after par (an unlinked one when par is null) with
    // one empty line of the given capacity; it inherits par's properties (see
    // the .cpp). par then points at the new paragraph, which is returned.
    // Throws EQnRTFText "Out of Memory in\tNewParagraph".
    TParagraph *NewParagraph(TParagraph *&par, int capacity);
    // Creates a line after line (a lone line when line is null); capacity
    // below 8 becomes 8. line then points at the new line, which is returned.
    TLine *AddLine(TLine *&line, int capacity);
    // A new line at the end of a paragraph's chain.
    TLine *AppendLine(TParagraph *paragraph, int capacity);
    // Unlinks and frees a line; the only line of a paragraph is emptied instead.
    void DeleteLine(TParagraph *paragraph, TLine *line);
    // Unlinks and frees a paragraph; par then points at its successor (or
    // predecessor). The only paragraph of the document is emptied instead.
    void DeleteParagraph(TParagraph *&par);
    // Reallocates both buffers of a line to capacity (rounded up to even),
    // keeping the contents; a capacity below Length cuts Length to
    // capacity - 1. Throws EQnRTFText "Line longer then\t10000 character!".
    void GrowLine(TLine *line, int capacity);
    // Appends text to a line (growing it when needed), each character with
    // attr and the plain metrics; the line stays NUL-terminated.
    void AppendToLine(TLine *line, std::u32string_view text, const TCharAttr &attr);
    // Frees an unlinked chain of paragraphs (e.g. a failed read).
    static void FreeParagraphChain(TParagraph *first);

    // ---- Character edits ----

    // Types one character with CurrentAttr (insert or overwrite per
    // InsertMode). Refused at a guarded position and, with a beep, in a
    // covered table cell.
    bool InsertChar(TParagraph *paragraph, TLine *line, char32_t ch, int position);
    // Deletes one character, or at a line end joins the next line, or at the
    // paragraph end joins the next paragraph (never from a table cell).
    bool DeleteChar(TParagraph *paragraph, TLine *line, int position);
    // Ends the paragraph at (line, position) (clamped to the line); the rest
    // and the following lines go into a new paragraph after it.
    bool SplitParagraph(TParagraph *paragraph, TLine *line, int position);

    // ---- Text edits by paragraph offset ----

    // Inserts text at a paragraph offset as a line of its own, each character
    // with attr (nullptr = InsertAttr).
    void InsertText(TParagraph *paragraph, int position, const TCharAttr *attr,
                    std::u32string_view text);
    // Removes count characters from a paragraph offset. InsertAttr becomes
    // the attribute of the first removed character.
    void DeleteText(TParagraph *paragraph, int position, int count);
    // Replaces oldLength characters at position in one line (cut to the
    // line's end) by newLength characters of newText. Their attribute is
    // attrSource[0] (or attrSource[i] with perCharAttrs); nullptr = CurrentAttr.
    // Returns newLength - oldLength.
    int ReplaceRange(TParagraph *paragraph, TLine *line, const TCharAttr *attrSource, int newLength,
                     const char32_t *newText, int oldLength, int position,
                     bool perCharAttrs = false);
    // Links a chain of paragraphs (made with NewParagraph from this document)
    // in at (par, line, position). An empty document (no paragraph, or one
    // paragraph with one empty line) becomes the chain. A table cell refuses
    // (returns 0, the chain stays the caller's). Otherwise returns 1 and
    // (par, line, position) is the end of the inserted text.
    int InsertParagraphs(TParagraph *&par, TLine *&line, TParagraph *first, int &position);

    // ---- Paragraphs by index (0-based) ----

    int ParagraphCount() const;
    TParagraph *ParagraphAt(int index) const;
    TParagraph *LastParagraph() const;
    // Puts a paragraph holding text at index: an empty document's single
    // paragraph takes the text; index <= 0 puts it first, index >= count last.
    TParagraph *AddParagraphWithText(int index, std::u32string_view text, const TCharAttr *attr);
    bool DeleteParagraphAt(int index);
    // Characters of paragraph index, -1 when there is none.
    int ParagraphLength(int index) const;
    // Copies at most size - 1 characters of paragraph index and a NUL;
    // returns the number copied.
    int ParagraphText(int index, char32_t *buffer, int size) const;
    std::u32string ParagraphText(int index) const;
    static std::u32string ParagraphText(const TParagraph *paragraph);
    // Copies count characters from a paragraph offset (fewer at its end) and a
    // NUL; returns the number copied.
    static int CopyText(const TParagraph *paragraph, int offset, char32_t *buffer, int count);

    // ---- Attributes ----

    // The attribute at a line position. Throws EQnRTFText "Error AttribPtr()"
    // when the line has no attributes or the position is outside its buffer.
    TCharAttr *AttribPtr(TLine *line, int position);
    // The paragraph's last line; without lines: nullptr, and LastError holds
    // "l=nil in Get_LastLine".
    TLine *GetLastLine(TParagraph *paragraph);
    // Width/Height/Ascent of attr from the plain-mode metrics for ch.
    void FillPlainMetrics(TCharAttr &attr, char32_t ch) const;
    // Plain-mode width of ch: the code page's table for Windows-1252
    // characters, else WideWidth.
    int16_t PlainWidth(char32_t ch) const
    {
        return ch < 0x80 ? CharWidths[ch] : wideOrCodePageWidth(ch);
    }
    // Width of a character the code page lacks; the layout asks the font.
    virtual int16_t WideWidth(char32_t ch) const;

    // ---- Protection ----

    // Whether an edit at (paragraph, line, position) is refused; whole tells
    // a protected paragraph apart from a guarded character.
    bool IsGuarded(const TParagraph *paragraph, const TLine *line, int position,
                   bool *whole = nullptr) const;

    // ---- Tabs and fonts ----

    // The mask bit of the slot for position and kind (taking a free slot,
    // collecting unused ones when all are taken), or 0.
    uint32_t AddTab(int32_t position, TTabKind kind);
    // Slot with that position (exact, then snapped) and kind, or -1.
    int FindTab(int32_t position, TTabKind kind) const;
    int FindTabInMask(int32_t position, TTabKind kind, uint32_t mask) const;
    // Empties every slot and drops every paragraph's reference to one.
    void ClearTabs();
    // Empties the slots no paragraph refers to (installed as OnTabsFull).
    void CollectTabSlots();
    // Font slot of name (case-insensitive; cut to 31), added when new;
    // 99 when the table is full.
    int FindOrAddFont(std::string_view name);

    // ---- Objects, footnotes, styles ----

    // Appends an object record. tag 0: Id = highest + 1; tag -1: Tag =
    // highest + 1, at least 2000; other tags are taken as given. Every record
    // gets a fresh Id. Without a graphic (and not an automatic tag)
    // OnNeedObject is asked for one.
    TQnObject *AddObject(std::shared_ptr<TQnGraphic> graphic, int tag);
    // First object with that non-zero tag or that non-zero id.
    TQnObject *FindObject(int tag, int id) const;
    TQnObject *FindObjectByFileName(std::string_view fileName) const;
    // Fills a zero Width/Height (twips) from the graphic, or 32 x 32.
    void ObjectSize(TQnObject &object) const;
    // Frees the objects no character refers to.
    void CollectObjects();

    TQnFootnote *AddFootnote(uint8_t markChar, int32_t number, std::string text);
    TQnFootnote *FindFootnote(int id) const;

    // Id of the style of that name (upper-cased, cut to 8), added when new.
    uint8_t AddStyle(const TParProps &props, std::string_view name);
    // By id when id is not 0, else by name; sets both, id 0 when not found.
    TQnParStyle *FindStyle(std::string &name, uint8_t &id) const;

    // List number text of a NumberText kind (1 bullet, 2/3 letters, 4/5
    // roman, 6 decimal; else empty).
    static std::string NumberText(int kind, int value);

    // ---- Memory format and notification ----

    void SetMemoryFormat(TQnMemoryFormat format);
    TQnMemoryFormat MemoryFormat() const { return PlainMode ? fmPlainText : fmRichText; }
    bool IsRich() const { return !PlainMode; }
    // Calls OnChange when assigned.
    void Changed();
    // Sets State 0x01 and 0x02 on every paragraph.
    void MarkAllParagraphs();

    // ---- Fields ----

    uint8_t PlainMode = 0; // 1 = plain-text memory format
    uint8_t Created = 0;
    uint8_t Suspend = 0; // while set, a format switch converts nothing
    std::function<void()> OnChange;
    TParagraph *FirstParagraph = nullptr;
    std::unique_ptr<TTextHeader> Header;
    std::vector<std::unique_ptr<TQnObject>> Objects;
    std::vector<std::unique_ptr<TQnParStyle>> Styles;
    std::vector<std::unique_ptr<TQnFootnote>> Footnotes;
    // The document being copied from while a copy runs.
    TQnRTFText *CopySource = nullptr;
    // A chain being read that is not linked in yet; the tab-slot collector
    // counts its references too.
    TParagraph *ReadingChain = nullptr;
    TCharAttr CurrentAttr; // given to typed characters
    TCharAttr InsertAttr;  // given to inserted text when no attribute is passed
    // Plain-mode metrics, replaced by the layout layer from the real font.
    int16_t PlainCharWidth = 16;
    int16_t CharWidths[256]; // by Windows-1252 code
    int16_t PlainLineHeight = 16;
    int16_t PlainAscent = 14;
    uint8_t InsertMode = 1; // 1 insert, 0 overwrite
    // Asked for the graphic of an object created without one.
    std::function<void(int tag, TQnObject &object)> OnNeedObject;
    // Receives the text of a guarded run and its field tag (0 when none).
    std::function<void(const std::u32string &text, int tag)> OnFieldText;
    uint8_t ProtectOptions = 0;
    uint8_t ProtectOff = 0; // while set nothing is guarded
    // Text of the last error object built without raising it.
    std::string LastError;

protected:
    // Guard check that reports a guarded position through FieldTextEvent.
    bool RefuseGuarded(TParagraph *paragraph, TLine *line, int position);
    // Puts text at the end of a line (which must have room), with attrs.
    void StoreChars(TLine *line, std::u32string_view text, const TCharAttr &attr);
    // A new line holding text (split into lines of at most kMaxChunk).
    TLine *MakeTextLines(std::u32string_view text, const TCharAttr &attr, int extra, TLine **last);
    // Ensures room for `more` characters and the NUL in a line, growing to
    // Length + more + slack; throws when it cannot fit.
    void EnsureRoom(TLine *line, int more, int slack);
    // Gives a paragraph new lines holding text.
    void ReplaceParagraphLines(TParagraph *paragraph, std::u32string_view text,
                               const TCharAttr &attr);
    void FreeAllParagraphs();
    int16_t wideOrCodePageWidth(char32_t ch) const;
    void PutDefaultFontInSlotZero();

    static constexpr int kMaxChunk = 8000;
};

} // namespace qn
