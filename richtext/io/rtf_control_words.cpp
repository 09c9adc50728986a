#include "richtext/io/rtf_control_words.h"

#include <string>
#include <unordered_map>

namespace qn::rtf {

namespace {

constexpr WordClass C = WordClass::Character;
constexpr WordClass D = WordClass::Destination;
constexpr WordClass P = WordClass::Property;
constexpr WordClass S = WordClass::Special;

// Style bits carried in Default for aStyle.
constexpr ControlWord kTable[] = {
    {"plain", 0, false, P, aPlain},
    {"par", 0, false, P, aPar},
    {"line", 0, false, C, 10},
    {"f", 0, false, P, aFont},
    {"fs", 100, false, P, aFontSize},
    {"b", 1, false, P, aStyle},
    {"v", 1, false, P, aStyle},
    {"ul", 1, false, P, aStyle},
    {"uldb", 1, false, P, aStyle},
    {"shad", 1, false, P, aStyle},
    {"super", 1, false, P, aSuper},
    {"sub", 1, false, P, aSub},
    {"nosupersub", 1, false, P, aNoSuperSub},
    {"strike", 1, false, P, aStyle},
    {"inspnt", 0, false, P, aInsertPoint},
    {"inaut", 1, false, P, aAutoText},
    {"qnrtf", 1, false, P, aRawRtf},
    {"cf", 0, false, P, aTextColour},
    {"cb", 0, false, P, aBackColour},
    {"i", 1, false, P, aStyle},
    {"li", 0, false, P, aLeftIndent},
    {"ri", 0, false, P, aRightIndent},
    {"fi", 0, false, P, aFirstIndent},
    {"sb", 0, false, P, aSpaceBefore},
    {"sa", 0, false, P, aSpaceAfter},
    {"sl", 0, false, P, aLineSpacing},
    {"cols", 1, false, P, aIgnored},
    {"sbknone", 0, true, P, aIgnored},
    {"sbkcol", 1, true, P, aIgnored},
    {"sbkeven", 2, true, P, aIgnored},
    {"sbkodd", 3, true, P, aIgnored},
    {"sbkpage", 4, true, P, aIgnored},
    {"pgnx", 0, false, P, aIgnored},
    {"pgny", 0, false, P, aIgnored},
    {"pgndec", 1, true, P, aIgnored},
    {"pgnucrm", 2, true, P, aIgnored},
    {"pgnlcrm", 3, true, P, aIgnored},
    {"pgnucltr", 4, true, P, aIgnored},
    {"pgnlcltr", 5, true, P, aIgnored},
    {"qc", 2, true, P, aAlign},
    {"ql", 0, true, P, aAlign},
    {"qr", 1, true, P, aAlign},
    {"qj", 3, true, P, aAlign},
    {"paperw", 12240, false, P, aPaperWidth},
    {"paperh", 15840, false, P, aPaperHeight},
    {"margl", 1800, false, P, aMarginLeft},
    {"margr", 1800, false, P, aMarginRight},
    {"margt", 1440, false, P, aMarginTop},
    {"margb", 1440, false, P, aMarginBottom},
    {"page", 0, false, P, aPage},
    {"pgnstart", 1, true, P, aIgnored},
    {"facingp", 1, true, P, aFacingPages},
    {"landscape", 1, true, P, aLandscape},
    {"\n", 0, false, C, 0},
    {"\r", 0, false, C, 0},
    {"tab", 0, false, C, 9},
    {"ldblquote", 0, false, C, 34},
    {"rdblquote", 0, false, C, 34},
    {"bin", 0, false, S, sBinary},
    {"*", 0, false, S, sStar},
    {"'", 0, false, S, sHex},
    {"author", 0, false, D, dSkip},
    {"buptim", 0, false, D, dSkip},
    {"comment", 0, false, D, dComment},
    {"creatim", 0, false, D, dSkip},
    {"doccomm", 0, false, D, dSkip},
    {"fonttbl", 0, false, D, dFontTable},
    {"footnote", 0, false, D, dFootnote},
    {"field", 0, false, D, dField},
    {"pict", 0, false, D, dPicture},
    {"picfile", 0, false, D, dPictureFile},
    {"footer", 0, false, D, dSkip},
    {"footerf", 0, false, D, dSkip},
    {"footerl", 0, false, D, dSkip},
    {"footerr", 0, false, D, dSkip},
    {"qnfnnr", 0, false, P, aFootnoteNumber},
    {"ftncn", 0, false, D, dSkip},
    {"ftnsep", 0, false, D, dSkip},
    {"ftnsepc", 0, false, D, dSkip},
    {"header", 0, false, D, dSkip},
    {"headerf", 0, false, D, dSkip},
    {"headerl", 0, false, D, dSkip},
    {"headerr", 0, false, D, dSkip},
    {"info", 0, false, D, dSkip},
    {"keywords", 0, false, D, dSkip},
    {"operator", 0, false, D, dSkip},
    {"pict", 0, false, D, dPicture},
    {"printim", 0, false, D, dSkip},
    {"private1", 0, false, D, dSkip},
    {"revtim", 0, false, D, dSkip},
    {"rxe", 0, false, D, dSkip},
    {"stylesheet", 0, false, D, dSkip},
    {"subject", 0, false, D, dSubject},
    {"tc", 0, false, D, dSkip},
    {"title", 0, false, D, dTitle},
    {"tx", 0, false, P, aTab},
    {"tqr", 1, true, P, aTabKind},
    {"tqc", 2, true, P, aTabKind},
    {"tqdec", 3, true, P, aTabKind},
    {"colortbl", 0, false, D, dColourTable},
    {"red", 0, false, P, aRed},
    {"green", 0, false, P, aGreen},
    {"blue", 0, false, P, aBlue},
    {"trowd", 0, false, P, aRowDefaults},
    {"intbl", 0, false, P, aInTable},
    {"cellx", 0, false, P, aCellEdge},
    {"row", 0, false, P, aRow},
    {"cell", 0, false, P, aCell},
    {"clbrdrt", 1, true, P, aCellBorder},
    {"clbrdrl", 2, true, P, aCellBorder},
    {"clbrdrb", 3, true, P, aCellBorder},
    {"clbrdrr", 4, true, P, aCellBorder},
    {"box", 0, true, P, aBorder},
    {"brdrt", 1, true, P, aBorder},
    {"brdrl", 2, true, P, aBorder},
    {"brdrb", 3, true, P, aBorder},
    {"brdrr", 4, true, P, aBorder},
    {"brdrdb", 5, true, P, aBorder},
    {"brdrdot", 6, true, P, aBorder},
    {"brdrtablin", 9, true, P, aBorder},
    {"brdrw", 0, false, P, aBorderWidth},
    {"brsp", 0, false, P, aBorderSpace},
    {"trgaph", 0, false, P, aRowGap},
    {"trleft", 0, false, P, aRowLeft},
    {"brdrcf", 0, false, P, aBorderColour},
    {"pard", 0, true, P, aPard},
    {"tab", 0, false, C, 9},
    {"wbitmap", 0, false, P, aBitmap},
    {"dibitmap", 0, false, P, aDib},
    {"wmetafile", 0, false, P, aMetafile},
    {"picw", 0, false, P, aPicWidth},
    {"pich", 0, false, P, aPicHeight},
    {"picwgoal", 0, false, P, aPicGoalWidth},
    {"pichgoal", 0, false, P, aPicGoalHeight},
    {"picscalex", 100, false, P, aPicScaleX},
    {"picscaley", 100, false, P, aPicScaleY},
    {"wbmbitspixel", 0, false, P, aBitsPerPixel},
    {"wbmplanes", 1, true, P, aPlanes},
    {"wbmwidthbytes", 0, false, P, aWidthBytes},
    {"qnobjtag", 0, false, P, aObjectTag},
    {"qnobjw", 0, false, P, aObjectWidth},
    {"qnobjh", 0, false, P, aObjectHeight},
    {"{", 0, false, C, '{'},
    {"}", 0, false, C, '}'},
    {"\\", 0, false, C, '\\'},
};

// Words other programs write that the classic table lacks. \u and \uc carry
// accented letters; the border styles and font families let every border and
// font the writer emits come back; the rest are common characters.
constexpr ControlWord kAdded[] = {
    {"u", 0, false, P, xUnicode},
    {"uc", 1, false, P, xUnicodeSkip},
    {"upr", 0, false, D, xUnicodePair},
    {"ud", 0, false, D, xUnicodeText},
    {"brdrhair", 0x02, true, P, xBorderStyle},
    {"brdrbar", 0x04, true, P, xBorderStyle},
    {"fnil", 0x00, true, P, xFontFamily},
    {"froman", 0x10, true, P, xFontFamily},
    {"fswiss", 0x20, true, P, xFontFamily},
    {"swiss", 0x20, true, P, xFontFamily},
    {"fmodern", 0x30, true, P, xFontFamily},
    {"fscript", 0x40, true, P, xFontFamily},
    {"fdecor", 0x50, true, P, xFontFamily},
    {"ftech", 0x00, true, P, xFontFamily},
    {"fcharset", 0, false, P, xFontCharset},
    {"ansicpg", 1252, false, P, xCodePage},
    {"ansi", 1252, true, P, xCodePage},
    {"mac", 10000, true, P, xCodePage},
    {"pc", 437, true, P, xCodePage},
    {"pca", 850, true, P, xCodePage},
    {"deff", 0, false, P, xDefaultFont},
    {"charset", 0, false, P, xCharset},
    {"ulnone", 0, true, P, xUnderlineOff},
    {"ulw", 1, false, P, aStyle},
    {"uld", 1, false, P, aStyle},
    {"uldash", 1, false, P, aStyle},
    {"ulth", 1, false, P, aStyle},
    {"ulwave", 1, false, P, aStyle},
    {"emdash", 0, false, C, 0x97},
    {"endash", 0, false, C, 0x96},
    {"bullet", 0, false, C, 0x95},
    {"lquote", 0, false, C, 0x91},
    {"rquote", 0, false, C, 0x92},
    {"chftn", 0, false, C, '*'}, // an automatic footnote mark
};

constexpr ControlWord kSymbols[] = {
    {"~", 0, false, C, 0xA0},
    {"_", 0, false, C, '-'},
};

using Index = std::unordered_map<std::string_view, const ControlWord *>;

const Index &index()
{
    static const Index words = [] {
        Index m;
        for (const ControlWord &w : kTable)
            m.emplace(w.Name, &w); // the first of two equal names wins
        for (const ControlWord &w : kAdded)
            m.emplace(w.Name, &w);
        return m;
    }();
    return words;
}

} // namespace

const ControlWord *ClassicTable(int &count)
{
    count = static_cast<int>(std::size(kTable));
    return kTable;
}

const ControlWord *FindControlWord(std::string_view name)
{
    const Index &m = index();
    auto it = m.find(name);
    return it == m.end() ? nullptr : it->second;
}

const ControlWord *FindControlSymbol(uint8_t c)
{
    switch (c) {
    case '~':
        return &kSymbols[0];
    case '_':
        return &kSymbols[1];
    default: {
        const char s[1] = {static_cast<char>(c)};
        return FindControlWord(std::string_view(s, 1));
    }
    }
}

} // namespace qn::rtf
