#pragma once

#include <string>
#include <vector>

#include "richtext/model/rtf_text.h"
#include "tests/support/text32.h"

namespace qn::test {

// The document's text, paragraphs joined with '|'.
inline std::string DocText(const TQnRTFText &doc)
{
    std::string out;
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        if (p != doc.FirstParagraph)
            out += '|';
        out += Ansi(TQnRTFText::ParagraphText(p));
    }
    return out;
}

// A document whose paragraphs hold the given texts (one line each).
inline void Fill(TQnRTFText &doc, const std::vector<std::string> &paragraphs)
{
    doc.Clear();
    for (size_t i = 0; i < paragraphs.size(); ++i)
        doc.AddParagraphWithText(static_cast<int>(i), U32(paragraphs[i]), nullptr);
}

inline int LineCount(const TParagraph *p)
{
    int n = 0;
    for (TLine *l = p->Lines; l; l = l->Next)
        ++n;
    return n;
}

// Every line of the document keeps its invariants: links agree, Length below
// Capacity, NUL after Length, even capacity within the limit.
inline bool ChainsConsistent(const TQnRTFText &doc)
{
    TParagraph *prev = nullptr;
    for (TParagraph *p = doc.FirstParagraph; p; prev = p, p = p->Next) {
        if (p->Prev != prev || !p->Lines || p->Lines->Prev)
            return false;
        TLine *lp = nullptr;
        for (TLine *l = p->Lines; l; lp = l, l = l->Next) {
            if (l->Prev != lp || l->Length >= l->Capacity || l->Capacity % 2 ||
                l->Capacity > kMaxLineCapacity || l->Text[l->Length] != 0)
                return false;
            if ((l->Attrs != nullptr) != doc.IsRich())
                return false;
        }
    }
    return true;
}

} // namespace qn::test
