#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "richtext/io/html_reader.h"
#include "richtext/io/html_writer.h"
#include "richtext/io/stream.h"
#include "richtext/model/rtf_text.h"
#include "tests/support/text32.h"

namespace qn::test {

// Reads html into a fresh document.
inline void readHtml(TQnRTFText &doc, const std::string &html,
                     const TQnHTMLReadOptions &options = {})
{
    TQnMemoryStream in(html);
    EXPECT_EQ(ReadHTMLDocument(doc, in, options), 0);
}

inline std::string writeHtml(TQnRTFText &doc, TStoreHTMLComment footnotes = shcFootnote)
{
    TQnMemoryStream out;
    EXPECT_EQ(WriteHTMLDocument(doc, out, footnotes), 0);
    return out.Bytes();
}

// Every paragraph's text.
inline std::vector<std::string> paragraphTexts(const TQnRTFText &doc)
{
    std::vector<std::string> texts;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        texts.push_back(Ansi(TQnRTFText::ParagraphText(p)));
    return texts;
}

// The attribute of character i of a paragraph.
inline TCharAttr attrAt(const TParagraph *p, int i)
{
    for (const TLine *l = p->Lines; l; l = l->Next) {
        if (i < l->Length)
            return l->Attrs[i];
        i -= l->Length;
    }
    ADD_FAILURE() << "no character " << i;
    return {};
}

// The text of a paragraph without the characters of a style (or with only them).
inline std::string textWith(const TParagraph *p, uint16_t style, bool with)
{
    std::string out;
    int i = 0;
    for (const TLine *l = p->Lines; l; l = l->Next)
        for (int k = 0; k < l->Length; ++k, ++i)
            if (((l->Attrs[k].Style & style) != 0) == with)
                out += Ansi(std::u32string_view(l->Text + k, 1));
    return out;
}

// The body between the header and the footer the writer puts around it.
inline std::string htmlBody(const std::string &html)
{
    const size_t start = html.find(">\r\n", html.find("<BASEFONT"));
    const size_t end = html.rfind("\r\n</html>");
    EXPECT_NE(start, std::string::npos);
    EXPECT_NE(end, std::string::npos);
    if (start == std::string::npos || end == std::string::npos || end < start + 3)
        return {};
    return html.substr(start + 3, end - start - 3);
}

} // namespace qn::test
