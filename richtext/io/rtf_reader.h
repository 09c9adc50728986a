#pragma once

// TQnRtfReader reads RTF into paragraphs of a document: everything the RTF
// writer emits, and ordinary RTF from other programs, ignoring what it does
// not know. It is table driven: each control word is looked up in
// rtf_control_words and dispatched by its class.
//
// Limits that keep any input from exhausting the reader: groups nested deeper
// than kMaxGroupDepth keep no state of their own (their text is read, their
// formatting words are dropped, their destinations skipped); the data of
// one picture is kept up to kMaxPictureBytes (a larger picture is not built);
// font names, document information texts and footnote texts are cut at their
// limits below. Nothing else is kept beyond what the document holds.

#include <string>
#include <string_view>
#include <vector>

#include "richtext/io/rtf_code_page.h"
#include "richtext/io/rtf_control_words.h"
#include "richtext/io/text_reader.h"

namespace qn {

namespace rtf {
struct ControlWord;
}

class TQnRtfReader : public TQnTextReader {
public:
    static constexpr int kMaxGroupDepth = 512;
    static constexpr size_t kMaxPictureBytes = 64u << 20;
    static constexpr size_t kMaxInfoText = 32768; // title, subject, comment
    static constexpr size_t kMaxFootnoteText = 65536;
    static constexpr int kMaxCells = 50;
    static constexpr int kMaxObjects = 10000;   // pictures and objects of one read
    static constexpr int kMaxFootnotes = 10000; // footnotes of one read
    // Lengths (indents, spacing, tab stops) are kept within this many twips.
    static constexpr int32_t kMaxTwips = 1 << 20;

    TQnRtfReader();
    ~TQnRtfReader() override;

    // Folder tried for picture file names that do not exist by themselves.
    std::string PictureDirectory;

    // Throws EQnRTFText "Wrong Arguments in\tTQnRTFReader" without header or
    // document.
    int Read(TQnStream &stream, TParagraph *&first) override;

private:
    // Paragraph properties that the next paragraph receives.
    struct ParImage {
        int32_t FirstIndent = 0, LeftIndent = 0, RightIndent = 0;
        int32_t SpaceBefore = 0, SpaceAfter = 0, LineSpacing = 0;
        uint8_t Alignment = 0;
        uint8_t Border[4] = {}; // flags, style, width, space and colour
        uint32_t TabMask = 0;
    };
    struct GroupState {
        TCharAttr Attr;
        ParImage Image;
        bool TabsStarted, TableMode;
        uint8_t Dest, Input;
        uint8_t UnicodeSkip;
        int32_t Font; // the font number of the text, for its code page
    };
    enum Dest : uint8_t {
        kText = 0,
        kSkip = 1,
        kFonts = 2,
        kColours = 3,
        kPictureData = 4,
        kPictureFile = 5,
        kTitleText = 6,
        kCommentText = 7,
        kSubjectText = 8,
        kFootnoteText = 9,
        kUnicodeFallback = 10, // the code page text of \upr: dropped
    };
    enum Input : uint8_t { kNormal = 0, kBinary = 1, kQuoted = 3 };

    int parse();
    int controlWord();
    int hexByte(bool lenient);
    void act(const rtf::ControlWord &word, bool hasParam, int32_t param);
    void destination(uint8_t which);
    void skipGroup(); // the rest of the current group is skipped
    // Property words, one handler per group of related words; each returns
    // whether the action was one of its own.
    void property(uint8_t action, int32_t value);
    void styleWord(std::string_view name, int32_t value);
    bool characterWord(uint8_t action, int32_t value);
    bool paragraphWord(uint8_t action, int32_t value);
    bool borderWord(uint8_t action, int32_t value);
    bool tableWord(uint8_t action, int32_t value);
    bool pictureWord(uint8_t action, int32_t value);
    bool documentWord(uint8_t action, int32_t value);
    void tabStop(int32_t position);
    void endCell();
    void applyCellBorders(int cell);
    void pushGroup();
    void popGroup();
    // A byte of the input; `ansi` marks the Windows-1252 code of a character
    // word (\emdash), which no code page changes.
    void dispatch(uint8_t c, bool lineBreak = false, bool ansi = false);
    void textByte(uint8_t c, bool lineBreak, bool ansi);
    void flushText(); // a lead byte left waiting ends as U+FFFD
    void setFont(int32_t font);
    void character(char32_t c, bool lineBreak);
    void unicodeChar(int32_t code);
    void rawByte(uint8_t c);
    void endFontEntry();
    void newParagraph();
    void applyImage(TParagraph *p, const ParImage &image, bool tabs);
    void setBorderBits(uint8_t action, bool cellWord);
    uint8_t *borderTarget(); // the cell slot in a row definition, else nullptr
    void setBorderByte(int index, uint8_t value, uint8_t mask);
    int32_t textWidth() const { return paperWidth_ - marginLeft_ - marginRight_; }
    void resetPicture();
    void finishPicture();
    void finishPictureFile();
    void insertObjectChar(uint8_t code, int16_t tag);
    bool outerIsText() const;

    std::vector<GroupState> stack_;
    int depth_ = 0;
    int overflow_ = 0; // groups open beyond kMaxGroupDepth
    // A skipped destination among those groups: the level it began at and
    // the destination it interrupted.
    int deepSkipFrom_ = 0;
    uint8_t deepSkipDest_ = kText;
    bool started_ = false;
    bool stop_ = false;

    uint8_t dest_ = kText;
    uint8_t input_ = kNormal;
    int64_t binaryLeft_ = 0;
    bool skipIfUnknown_ = false;
    ParImage image_;
    bool fresh_ = true; // the current paragraph has no character yet
    // A paragraph word was applied to the current paragraph since it began:
    // its properties are its own, not those of the group it began in.
    bool ownProps_ = false;
    // The last character stored is the line break a \par made in a cell.
    bool cellBreak_ = false;
    int32_t pendingFirstIndent_ = 0;
    bool tabsStarted_ = false;
    uint8_t pendingTabKind_ = 0;

    // \u: characters of the fallback still to drop, and \uc.
    int fallbackLeft_ = 0;
    uint8_t unicodeSkip_ = 1;
    rtf::UnicodeJoiner surrogates_;   // the first half of a pair, awaiting the second
    uint8_t unicodePairDest_ = kText; // where the \ud text of \upr goes

    // The code pages of the bytes of the text.
    rtf::RtfCodePages codePages_;
    rtf::RtfByteDecoder bytes_;
    std::u32string decoded_;
    int32_t font_ = rtf::RtfCodePages::kNoFont;
    int codePage_ = rtf::kDefaultCodePage;

    // Font and colour tables.
    uint8_t fontMap_[kFontSlots] = {};
    int32_t fontNumber_ = 0;
    std::string fontName_;
    int32_t fontFamily_ = -1, fontCharset_ = -1;
    int colourIndex_ = 0;

    int32_t paperWidth_ = 12240, marginLeft_ = 1800, marginRight_ = 1800;

    // Tables.
    bool tableMode_ = false;
    std::vector<int32_t> cellEdges_;
    int32_t largestEdge_ = 0;
    int widthSum_ = 0;
    int cellIndex_ = 0;
    uint8_t cellBorders_[kMaxCells + 1][4] = {};
    uint8_t cellTab_ = 0;
    TParagraph *lastCell_ = nullptr;

    // Pictures and objects.
    int pictureKind_ = -1; // 0 metafile, 1 independent, 2 dependent bitmap
    int32_t metafileMode_ = 8;
    int32_t picW_ = 0, picH_ = 0, picGoalW_ = 0, picGoalH_ = 0;
    int32_t picScaleX_ = 100, picScaleY_ = 100;
    int32_t bitsPerPixel_ = 0, planes_ = 1, widthBytes_ = 0;
    int32_t objectTag_ = 0, objectW_ = 0, objectH_ = 0;
    std::string fileName_;
    std::vector<uint8_t> pictureData_;
    bool pictureTooLarge_ = false;
    int hexHigh_ = -1; // first digit of a pair of picture hex

    // Raw RTF: characters of the closing word matched so far.
    bool raw_ = false;
    int rawMatch_ = 0;

    TQnFootnote *footnote_ = nullptr;
    int objectsMade_ = 0, footnotesMade_ = 0;
};

} // namespace qn
