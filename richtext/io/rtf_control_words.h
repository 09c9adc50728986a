#pragma once

// The control words the RTF reader knows, in the order they are looked up
// (case-sensitive, first match wins). Each says what kind of word it is, its
// default parameter and whether the default is always passed.

#include <cstdint>
#include <string_view>

#include "platform/ascii_text.h"

namespace qn::rtf {

// Letters of either case make a control word's name (current writers use
// words such as \mmathPr); the lookup itself stays case-sensitive.
inline bool IsWordLetter(uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The characters of \uN values (N above zero): a high surrogate waits for
// the low one that completes it; a half without its partner is nothing.
class UnicodeJoiner {
public:
    // The character `code` completes, or 0 while it is (or was left) half of one.
    char32_t Join(char32_t code)
    {
        if (code >= 0xD800 && code <= 0xDBFF) {
            high_ = code;
            return 0;
        }
        const char32_t high = high_;
        high_ = 0;
        if (code >= 0xDC00 && code <= 0xDFFF)
            return high ? 0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00) : 0;
        return code;
    }
    void Reset() { high_ = 0; }

private:
    char32_t high_ = 0;
};

enum class WordClass : uint8_t { Character, Destination, Property, Special };

enum Action : uint8_t {
    // properties
    aPlain,
    aPar,
    aFont,
    aFontSize,
    aStyle,
    aSuper,
    aSub,
    aNoSuperSub,
    aInsertPoint,
    aAutoText,
    aRawRtf,
    aTextColour,
    aBackColour,
    aLeftIndent,
    aRightIndent,
    aFirstIndent,
    aSpaceBefore,
    aSpaceAfter,
    aLineSpacing,
    aIgnored,
    aAlign,
    aPaperWidth,
    aPaperHeight,
    aMarginLeft,
    aMarginRight,
    aMarginTop,
    aMarginBottom,
    aPage,
    aFacingPages,
    aLandscape,
    aFootnoteNumber,
    aTab,
    aTabKind,
    aRed,
    aGreen,
    aBlue,
    aRowDefaults,
    aInTable,
    aCellEdge,
    aRow,
    aCell,
    aCellBorder,
    aBorder,
    aBorderWidth,
    aBorderSpace,
    aRowGap,
    aRowLeft,
    aBorderColour,
    aPard,
    aBitmap,
    aDib,
    aMetafile,
    aPicWidth,
    aPicHeight,
    aPicGoalWidth,
    aPicGoalHeight,
    aPicScaleX,
    aPicScaleY,
    aBitsPerPixel,
    aPlanes,
    aWidthBytes,
    aObjectTag,
    aObjectWidth,
    aObjectHeight,
    // destinations
    dSkip,
    dField,
    dFontTable,
    dColourTable,
    dPicture,
    dPictureFile,
    dTitle,
    dComment,
    dSubject,
    dFootnote,
    // special
    sBinary,
    sHex,
    sStar,
    // words read beyond the classic table
    xUnicode,
    xUnicodeSkip,
    xBorderStyle,
    xFontFamily,
    xCharset,
    xUnderlineOff,
    // the code pages of the bytes: \fcharset (the classic \charset only
    // records the font's character set), \ansicpg and its kin, \deff
    xFontCharset,
    xCodePage,
    xDefaultFont,
    // destinations: \upr{ansi text}{\*\ud{unicode text}} keeps the second
    xUnicodePair,
    xUnicodeText,
};

struct ControlWord {
    std::string_view Name;
    int32_t Default;
    bool Always; // the default is passed whatever number is written
    WordClass Class;
    uint8_t Action; // an Action, or the character of a Character word
};

// The classic table of 145 words, in lookup order.
const ControlWord *ClassicTable(int &count);

// The word of that name (classic table first, then the words added for RTF
// of other programs), or nullptr.
const ControlWord *FindControlWord(std::string_view name);

// Control symbols: a backslash and one character that is not a letter.
// nullptr for symbols that mean nothing here (a backslash before a line end
// is \par, which the reader handles itself).
const ControlWord *FindControlSymbol(uint8_t c);

} // namespace qn::rtf
