#pragma once

// TQnRTFWriter: writes a document range as RTF. Every diary entry is stored
// as these bytes and read back by TQnRtfReader, so the words, their order and
// their line ends are a storage format: change nothing here without a reason
// that old entries still read.
//
// Paragraph properties are written only when they change. The writer keeps a
// stack of open groups (body, tab stops, table row, border); each remembers
// the properties in effect inside it, and closing a group brings back those of
// the group below, exactly as a reader's group stack does.

#include <vector>

#include "richtext/io/text_writer.h"

namespace qn {

class TQnRTFWriter : public TQnTextWriter {
public:
    explicit TQnRTFWriter(TQnRTFText &document);

    int WriteCharAttr() override;
    int WriteText(int count) override;
    int ParagraphEnd() override;
    int ParagraphStart() override;
    int WriteObject(int tag, int id) override;
    int WriteFootnote(int id) override;
    int WriteHeader(TQnStream &output) override;
    int WriteFooter(TQnStream &output) override;

    // A table row holds at most this many cells.
    static constexpr int kMaxCells = 50;

private:
    enum GroupKind : uint8_t { kBody = 0, kTabs = 1, kRow = 2, kBorder = 3 };
    struct Props {
        int32_t FirstIndent = 0, LeftIndent = 0, RightIndent = 0;
        int32_t SpaceBefore = 0, SpaceAfter = 0, LineSpacing = 0;
        uint8_t Alignment = 0, ParFlags = 0;
        uint8_t BorderFlags = 0, BorderStyle = 0, BorderWidth = 0, BorderSpaceColor = 0;
        uint32_t TabMask = 0;
    };
    struct Group {
        GroupKind Kind;
        Props P;
    };
    // What a row is compared by before its group is reused.
    struct CellDef {
        uint8_t ParFlags, BorderWidth, BorderSpaceColor;
        uint32_t CellBytes;
        int32_t SpaceBefore, LineSpacing;
        bool operator==(const CellDef &) const = default;
    };

    void PutUnicode(char32_t c);
    void openGroup(GroupKind kind);
    // Closes groups down to and including the nearest one of that kind; the
    // body group is never closed here.
    void closeDownTo(GroupKind kind);
    std::vector<CellDef> rowOf(const TParagraph *first) const;
    void writeRowDefinition(const TParagraph *first);
    // The steps of ParagraphStart.
    void closeEndedGroups(const TParagraph *p);
    void openCell(const TParagraph *p);
    void openBorderGroup(const TParagraph *p, uint8_t border);
    void openTabGroup(const TParagraph *p);
    void writeParagraphFormat(const TParagraph *p, bool cell);
    void writeCellTab(const TParagraph *cell);
    void putBorderStyle(const TParagraph *p, bool cell);
    void putHex(const uint8_t *data, size_t count);
    int32_t textWidth() const;

    std::vector<Group> groups_;
    std::vector<CellDef> rowDefs_;
    bool hiddenOpen_ = false;
    bool rawOpen_ = false;
};

} // namespace qn
