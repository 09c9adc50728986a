#pragma once

#include <string>
#include <vector>

#include "richtext/io/rtf_text_io.h"
#include "tests/support/text32.h"

namespace qn::test {

// Fills a document with paragraphs, each given as its lines.
inline void buildLines(TQnRTFText &doc, const std::vector<std::vector<std::string>> &paragraphs)
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
            doc.AppendToLine(line, U32(paragraphs[i][j]), doc.CurrentAttr);
        }
    }
}

// Every paragraph's text.
inline std::vector<std::string> texts(const TQnRTFText &doc)
{
    std::vector<std::string> out;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        out.push_back(Ansi(TQnRTFText::ParagraphText(p)));
    return out;
}

} // namespace qn::test
