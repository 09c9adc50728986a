#pragma once

// A document laid out on the fixed-metrics canvas at 96 pixels per inch:
// Arial 10 pt is 13 pixels high, so every glyph is 6 pixels wide, ascent 13,
// line height 16. The left indent adds one pixel, so text starts at x = 1.

#include <string>
#include <vector>

#include "platform/recording_canvas.h"
#include "richtext/layout/rtf_text_paint.h"
#include "tests/support/text32.h"

namespace qn::test {

class LayoutDoc : public TQnRTFTextPaint {
public:
    using TQnRTFTextPaint::FreeAllParagraphs;

    RecordingCanvas Canvas{96, 96};

    // With a window width, lines wrap at the window (avail = width - 1).
    explicit LayoutDoc(int windowWidth = 0, int windowHeight = 400)
    {
        SetCanvas(&Canvas);
        SetWindowHeight(windowHeight);
        if (windowWidth > 0) {
            SetWrapToWindow(true);
            SetWindowWidth(windowWidth);
        } else {
            SetWindowWidth(565);
        }
    }

    TParagraph *Par(int index) { return ParagraphAt(index); }

    // Replaces the document by paragraphs of text and lays it out.
    void SetText(const std::vector<std::string> &paragraphs)
    {
        Clear();
        for (size_t i = 0; i < paragraphs.size(); ++i) {
            if (i == 0)
                SetParagraphText(0, U32(paragraphs[0]), nullptr);
            else
                AddParagraphWithText(int(i), U32(paragraphs[i]), nullptr);
        }
        ReformatAll();
    }

    std::vector<std::string> Lines(int paragraph)
    {
        std::vector<std::string> lines;
        for (TLine *l = Par(paragraph)->Lines; l; l = l->Next)
            lines.push_back(Ansi(std::u32string_view(l->Text, l->Length)));
        return lines;
    }

    TLine *Line(int paragraph, int line)
    {
        TLine *l = Par(paragraph)->Lines;
        while (line-- > 0 && l)
            l = l->Next;
        return l;
    }
};

} // namespace qn::test
