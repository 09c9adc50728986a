#pragma once

// An editable document on the fixed-metrics canvas at 96 pixels per inch:
// Arial 10 pt glyphs are 6 pixels wide, lines 16 pixels high; text starts at
// x = 1. With a window width, lines wrap at the window.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/recording_canvas.h"
#include "richtext/edit/rtf_text_input.h"
#include "tests/support/text32.h"

namespace qn::test {

class EditDoc : public TQnRTFTextInput {
public:
    RecordingCanvas Canvas{96, 96};

    explicit EditDoc(int windowWidth = 0, int windowHeight = 400)
    {
        SetCanvas(&Canvas);
        SetWindowHeight(windowHeight);
        if (windowWidth > 0) {
            SetWrapToWindow(true);
            SetWindowWidth(windowWidth);
        } else {
            SetWindowWidth(565);
        }
        Clear();
    }

    // Replaces the document by paragraphs of text (default look), laid out,
    // the cursor at the start.
    void SetText(const std::vector<std::string> &paragraphs, const TCharAttr *attr = nullptr)
    {
        Clear();
        for (size_t i = 0; i < paragraphs.size(); ++i) {
            if (i == 0)
                SetParagraphText(0, U32(paragraphs[0]), attr);
            else
                AddParagraphWithText(int(i), U32(paragraphs[i]), attr);
        }
        ReformatAll();
        ResetCursor();
    }

    // Types one character at a time, as the editor control does.
    void Type(std::string_view text)
    {
        for (char c : text)
            InputString(U32(std::string_view(&c, 1)));
    }
    void Key(uint8_t code)
    {
        const char c = static_cast<char>(code);
        InputString(U32(std::string_view(&c, 1)));
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const TParagraph *p = FirstParagraph; p; p = p->Next)
            out.push_back(Ansi(ParagraphText(p)));
        return out;
    }

    TParagraph *Par(int index) const { return ParagraphAt(index); }
    TLine *Line(int paragraph, int line) const
    {
        TLine *l = Par(paragraph)->Lines;
        while (line-- > 0 && l)
            l = l->Next;
        return l;
    }
    int LineCount(int paragraph) const
    {
        int n = 0;
        for (TLine *l = Par(paragraph)->Lines; l; l = l->Next)
            ++n;
        return n;
    }

    // Cursor by paragraph index and offset in the paragraph.
    void At(int paragraph, int offset) { SetCursorPosition(0, 0, offset, paragraph); }
    std::pair<int, int> Where() const
    {
        int position, line, paragraph, offset;
        GetCursorPosition(position, line, paragraph, offset);
        return {paragraph, offset};
    }
    // Selects from (p1, o1) to (p2, o2) as a mouse drag would.
    void Select(int p1, int o1, int p2, int o2)
    {
        At(p1, o1);
        BlockAnchor = Cursor;
        At(p2, o2);
        BlockEnd = Cursor;
        BlockStarted = true;
        Reversed = PositionBefore(BlockEnd, BlockAnchor);
    }
    const TCharAttr &AttrAt(int paragraph, int offset)
    {
        TLine *l = Par(paragraph)->Lines;
        while (l->Next && offset >= l->Length) {
            offset -= l->Length;
            l = l->Next;
        }
        return l->Attrs[offset];
    }
};

// The structural rules every document keeps after any edit; empty when sound.
inline std::string checkInvariants(const TQnRTFTextInput &doc)
{
    if (!doc.FirstParagraph)
        return "no paragraph";
    if (doc.FirstParagraph->Prev)
        return "first paragraph has a predecessor";
    bool cursorFound = false;
    int index = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next, ++index) {
        const std::string where = "paragraph " + std::to_string(index);
        if (p->Next && p->Next->Prev != p)
            return where + ": broken paragraph links";
        if (!p->Lines)
            return where + ": no line";
        if (p->Lines->Prev)
            return where + ": first line has a predecessor";
        for (const TLine *l = p->Lines; l; l = l->Next) {
            if (l->Next && l->Next->Prev != l)
                return where + ": broken line links";
            if (l->Capacity > kMaxLineCapacity || l->Capacity % 2 != 0)
                return where + ": bad capacity " + std::to_string(l->Capacity);
            if (l->Length >= l->Capacity)
                return where + ": length " + std::to_string(l->Length) + " beyond capacity " +
                       std::to_string(l->Capacity);
            if (l->Text[l->Length] != 0)
                return where + ": text not NUL-terminated";
            if (doc.IsRich() && !l->Attrs)
                return where + ": rich line without attributes";
            if (p == doc.Cursor.Paragraph && l == doc.Cursor.Line) {
                cursorFound = true;
                if (doc.Cursor.Offset < 0 || doc.Cursor.Offset > l->Length)
                    return "cursor offset outside its line";
            }
        }
    }
    if (!cursorFound)
        return "cursor not in the text";
    return {};
}

inline TCharAttr look(uint16_t style, uint8_t size = 10, uint8_t colors = 0, uint8_t font = 0,
                      int16_t tag = 0)
{
    TCharAttr a;
    a.Style = style;
    a.Size = size;
    a.Colors = colors;
    a.FontIndex = font;
    a.Tag = tag;
    return a;
}

} // namespace qn::test
