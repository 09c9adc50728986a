#pragma once

#include <string>
#include <utility>
#include <vector>

#include "richtext/edit/text_finder.h"
#include "richtext/io/rtf_text_io.h"
#include "tests/support/text32.h"

namespace qn::test {

// One piece of a line: its text and the attribute of its characters.
struct TextRun {
    std::string text;
    TCharAttr attr{};
};

inline TCharAttr attrOf(uint16_t style, uint8_t colors = 0, uint8_t font = 0, uint8_t size = 10,
                        int16_t tag = 0)
{
    TCharAttr a;
    a.Style = style;
    a.Colors = colors;
    a.FontIndex = font;
    a.Size = size;
    a.Tag = tag;
    return a;
}

// Fills a document with paragraphs, each given as its lines, each line as runs.
inline void buildRuns(TQnRTFText &doc,
                      const std::vector<std::vector<std::vector<TextRun>>> &paragraphs)
{
    doc.Clear();
    TParagraph *par = doc.FirstParagraph;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            doc.NewParagraph(par, 8);
        TLine *line = par->Lines;
        for (size_t j = 0; j < paragraphs[i].size(); ++j) {
            if (j > 0)
                line = doc.AppendLine(par, 8);
            for (const TextRun &run : paragraphs[i][j])
                doc.AppendToLine(line, U32(run.text), run.attr);
        }
    }
}

// Paragraphs given as their lines of plain runs.
inline void buildLines(TQnRTFText &doc, const std::vector<std::vector<std::string>> &paragraphs)
{
    std::vector<std::vector<std::vector<TextRun>>> runs;
    for (const auto &lines : paragraphs) {
        runs.emplace_back();
        for (const auto &line : lines)
            runs.back().push_back({TextRun{line, attrOf(0)}});
    }
    buildRuns(doc, runs);
}

// One paragraph per text, each a single line.
inline void buildText(TQnRTFText &doc, const std::vector<std::string> &paragraphs)
{
    std::vector<std::vector<std::string>> lines;
    for (const auto &p : paragraphs)
        lines.push_back({p});
    buildLines(doc, lines);
}

inline std::vector<std::string> texts(const TQnRTFText &doc)
{
    std::vector<std::string> out;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        out.push_back(Ansi(TQnRTFText::ParagraphText(p)));
    return out;
}

using Hit = std::pair<int, int>; // position, length

// Every match of find-next from the start of the document.
inline std::vector<Hit> allForward(TQnTextFinder &finder, const std::string &pattern)
{
    std::vector<Hit> hits;
    finder.ToStart();
    while (finder.FindNext(U32(pattern)) && hits.size() < 10000)
        hits.emplace_back(finder.FoundPosition(), finder.FoundLength());
    return hits;
}

// Every match of find-previous from the end of the document.
inline std::vector<Hit> allBackward(TQnTextFinder &finder, const std::string &pattern)
{
    std::vector<Hit> hits;
    finder.ToEnd();
    while (finder.FindPrev(U32(pattern)) && hits.size() < 10000)
        hits.emplace_back(finder.FoundPosition(), finder.FoundLength());
    return hits;
}

} // namespace qn::test
