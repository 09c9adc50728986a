#include "richtext/model/records.h"

namespace qn {

TLine::~TLine()
{
    delete[] Text;
    delete[] Attrs;
}

TParagraph::~TParagraph()
{
    // Iterative, so that a paragraph with thousands of lines cannot exhaust the stack.
    TLine *line = Lines;
    while (line) {
        TLine *next = line->Next;
        delete line;
        line = next;
    }
}

TLine *TParagraph::LastLine() const
{
    TLine *line = Lines;
    while (line && line->Next)
        line = line->Next;
    return line;
}

int TParagraph::TextLength() const
{
    int length = 0;
    for (TLine *line = Lines; line; line = line->Next)
        length += line->Length;
    return length;
}

} // namespace qn
