#pragma once

// TQnTextFinder: searches the text of one document forwards or backwards,
// with case folding, whole words, a wildcard and attribute filters, and
// replaces what it finds. It never moves a cursor or paints: its owner reads
// FoundPosition/FoundLength and selects or shows the match.
//
// Positions are absolute: one per character and one per paragraph end, so
// the first character of the second paragraph sits at the length of the
// first plus one. A match never crosses a paragraph end; it may cross the
// line ends inside a paragraph.
//
// Patterns: when Wildcard is set and occurs in the pattern, the pattern is a
// head before it and a tail after it. "a?c" runs from an a to the next c of
// the paragraph; a pattern that begins with the wildcard, or ends with it,
// takes a run of characters: a word when EndChar is a blank or ToWordEnd is
// set, else the characters that pass the attribute filter up to EndChar.
// Further wildcards in the head or tail match any single character.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "richtext/model/records.h"

namespace qn {

class TQnRTFText;

// Bits of TQnTextFinder::Options::AttrMatch: what a text character's
// attribute must agree with in MatchAttr.
enum : uint16_t {
    kMatchFont = 0x0001,            // FontIndex equal
    kMatchSize = 0x0002,            // Size equal
    kMatchBold = 0x0004,            // bold set
    kMatchUnderline = 0x0008,       // underline set
    kMatchItalic = 0x0010,          // italic set
    kMatchDoubleUnderline = 0x0020, // double underline set
    kMatchTextColor = 0x0040,       // text colour equal
    kMatchBackColor = 0x0080,       // background colour equal
    kMatchObject = 0x0100,          // an object character (Tag = MatchTag when that is set)
    kMatchInsertPoint = 0x0200,     // an insert point (Tag = MatchTag when that is set)
};

// Searches longer than this are cut; the head and the tail hold at most 255.
constexpr int kMaxFinderPattern = 256;
// The position past every document's end.
constexpr int kFinderEndPosition = 0x0FFFFFFF;

class TQnTextFinder {
public:
    // The nine option bytes; all 0 after a reset.
    struct Options {
        uint16_t AttrMatch = 0;
        int16_t MatchTag = 0;
        uint8_t CaseSensitive = 0; // 1 exact case, anything else folded
        uint8_t Wildcard = 0;      // 0 none
        uint8_t EndChar = 0;
        uint8_t ToWordEnd = 0;
        uint8_t WholeWord = 0;
    };

    explicit TQnTextFinder(TQnRTFText *document = nullptr);
    virtual ~TQnTextFinder() = default;
    TQnTextFinder(const TQnTextFinder &) = delete;
    TQnTextFinder &operator=(const TQnTextFinder &) = delete;

    // Binds the finder to a document (or none) and resets it.
    void SetDocument(TQnRTFText *document);
    TQnRTFText *Document() const { return document_; }

    // ---- Virtual operations, in the order derived finders override them ----

    // Goes to the paragraph holding an absolute position (the last one when
    // the position lies beyond the text) and returns its start; clears Found
    // and FoundLength.
    virtual int SetPosition(int position);
    // Searches from the current position to the end of the document.
    virtual bool SearchForward(std::u32string_view pattern);
    // Searches from the current position towards the start; the match
    // nearest the position (starting at or before it) wins.
    virtual bool SearchBackward(std::u32string_view pattern);
    // Whether one text character matches one pattern character; an absent
    // attribute (plain text) skips the attribute filter.
    virtual bool CharMatches(char32_t textChar, char32_t patternChar, const TCharAttr *patternAttr,
                             const TCharAttr *textAttr);
    // Everything but the letters of the Western code page.
    virtual bool IsDelimiter(char32_t ch);
    // Searches forward from just after the last match.
    virtual bool FindNext(std::u32string_view pattern);
    // Replaces every match from the current position on; returns Count.
    virtual int ReplaceAll(std::u32string_view pattern, std::u32string_view replacement);
    // Searches backward from just before the last match.
    virtual bool FindPrev(std::u32string_view pattern);
    // Clears the match, the options and the replacement settings and goes to
    // the start of the document.
    virtual void Reset();

    void ToStart() { SetPosition(0); }
    void ToEnd() { SetPosition(kFinderEndPosition); }

    // Replaces the match with text (in ReplaceAttr). False when nothing is
    // found, or the match is guarded or the document read-only.
    bool ReplaceFound(std::u32string_view text);

    // ---- The match ----

    bool Found() const { return found_; }
    int FoundPosition() const { return found_ ? foundPosition_ : 0; }
    int FoundLength() const { return found_ ? foundLength_ : 0; }
    std::u32string FoundText() const;

    // ---- State ----

    TParagraph *Paragraph() const { return paragraph_; }
    int ParagraphStart() const { return paragraphStart_; }
    int Offset() const { return offset_; }
    bool Backward() const { return backward_; }
    int Count() const { return count_; }
    const std::u32string &Pattern() const { return pattern_; }
    const std::u32string &ReplaceText() const { return replaceText_; }

    // ---- Settings ----

    Options Opts;
    TCharAttr MatchAttr;
    TCharAttr ReplaceAttr; // given to replacement text
    // Each replacement takes the look of the text it replaces instead.
    bool KeepMatchLook = false;
    // The position after the text of the last replacement (-1 before one).
    int LastReplacedEnd = -1;
    // A search continues from Offset instead of from just after the last match.
    bool KeepPosition = false;
    // Polled every 30 replacements of a replace-all; true stops it (the
    // platform answers whether Escape is held down).
    std::function<bool()> EscapePressed;

protected:
    // Called after a replacement changed a paragraph. The model has marked
    // it for re-breaking; a cursor or selection on its lines is kept inside
    // them here.
    virtual void TextReplaced(TParagraph *paragraph);

private:
    struct Match {
        int start = 0;
        int end = 0;
    };
    // The paragraph being matched, flattened across its lines.
    struct ParagraphText {
        std::vector<char32_t> chars;
        std::vector<const TCharAttr *> attrs; // empty in plain text
        int size() const { return static_cast<int>(chars.size()); }
        const TCharAttr *attr(int i) const { return attrs.empty() ? nullptr : attrs[i]; }
    };
    // The first tail occurrence at or after a position, remembered so that a
    // run of heads does not scan the paragraph again for each.
    struct TailCache {
        int from = -1;
        int at = -1; // -1: none at or after `from`
    };

    void setPattern(std::u32string_view pattern);
    // Paragraph_/ParagraphStart/Offset made to agree with the current document.
    void syncPosition();
    bool searchForward();
    bool searchBackward();
    void loadParagraph(const TParagraph *paragraph);
    void setFound(const Match &match);
    bool tryAt(int start, bool searchStart, Match &match);
    bool matchesAt(const std::u32string &part, int position);
    bool attrAgrees(const TCharAttr &want, const TCharAttr &have) const;
    bool passesFilter(const TCharAttr *attr) const;
    bool wordMode() const { return Opts.EndChar == ' ' || Opts.ToWordEnd != 0; }
    bool runChar(int i);
    bool isRunStart(int i, bool searchStart);
    // End of the run that goes on from `from`; a word's inner apostrophe
    // counts when the word began at wordStart or earlier.
    int takeRun(int from, int wordStart);
    bool wholeWordStart(int i);
    bool wholeWordEnd(int i);
    int firstTail(int from, int limit, bool cached);
    bool isGuardedRange(TParagraph *paragraph, int offset, int count) const;
    bool mayReplace() const;
    void replaceFound(std::u32string_view text);

    TQnRTFText *document_ = nullptr;
    TParagraph *paragraph_ = nullptr;
    int paragraphStart_ = 0;
    int offset_ = 0;
    bool found_ = false;
    int foundPosition_ = 0;
    int foundLength_ = 0;
    bool backward_ = false;
    int count_ = 0;
    std::u32string pattern_;
    std::u32string replaceText_;

    // The split pattern and the paragraph being matched.
    std::u32string head_, tail_;
    bool hasWildcard_ = false;
    ParagraphText text_;
    TailCache tailCache_;
};

} // namespace qn
