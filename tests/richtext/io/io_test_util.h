#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "richtext/io/rtf_writer.h"
#include "richtext/io/stream.h"
#include "richtext/model/rtf_text.h"
#include "tests/support/text32.h"

namespace qn::test {

inline TCharAttr makeAttr(uint16_t style = 0, uint8_t size = 10, uint8_t colors = 0,
                          uint8_t font = 0, int16_t tag = 0)
{
    TCharAttr a;
    a.Style = style;
    a.Size = size;
    a.Colors = colors;
    a.FontIndex = font;
    a.Tag = tag;
    return a;
}

// The RTF of a whole document.
inline std::string writeRtf(TQnRTFText &doc, const std::function<void(TQnRTFWriter &)> &setup = {})
{
    TQnMemoryStream out;
    TQnRTFWriter writer(doc);
    if (setup)
        setup(writer);
    EXPECT_EQ(writer.Write(out), 0);
    return out.Bytes();
}

// What the writer puts before the body of a new document.
inline std::string defaultHeader()
{
    return "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fnil\\charset0 Arial;}}"
           "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green128\\blue0;"
           "\\red0\\green0\\blue255;\\red255\\green255\\blue0;\\red255\\green0\\blue255;"
           "\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red0\\green255\\blue0;"
           "\\red0\\green255\\blue255;\\red0\\green128\\blue128;\\red0\\green0\\blue128;"
           "\\red255\\green255\\blue255;\\red192\\green192\\blue192;"
           "\\red128\\green128\\blue128;\\red0\\green0\\blue0;}"
           "\\paperw12240\\paperh15840\\margl1880\\margr1880\\margt1440\\margb1440";
}

// The body of a whole document: what lies between the header and the footer.
inline std::string bodyOf(const std::string &rtf)
{
    const std::string head = defaultHeader();
    EXPECT_EQ(rtf.substr(0, head.size()), head);
    EXPECT_GE(rtf.size(), head.size() + 3);
    EXPECT_EQ(rtf.substr(rtf.size() - 3), "\r\n}");
    return rtf.substr(head.size(), rtf.size() - head.size() - 3);
}

// Text of paragraph i with a default run attribute.
inline void setText(TQnRTFText &doc, int index, std::string_view text, uint16_t style = 0)
{
    const TCharAttr a = makeAttr(style);
    if (index < doc.ParagraphCount())
        doc.SetParagraphText(index, U32(text), &a);
    else
        doc.AddParagraphWithText(index, U32(text), &a);
}

} // namespace qn::test

#include "richtext/io/rtf_reader.h"

namespace qn::test {

// Reads RTF into a document that holds nothing yet (it becomes the chain
// read); returns the reader's result.
inline int readRtf(TQnRTFText &doc, const std::string &rtf,
                   const std::function<void(TQnRtfReader &)> &setup = {})
{
    TQnMemoryStream in(rtf);
    TQnRtfReader reader;
    reader.Header = doc.Header.get();
    reader.Document = &doc;
    if (setup)
        setup(reader);
    TParagraph *first = nullptr;
    const int result = reader.Read(in, first);
    TParagraph *par = doc.FirstParagraph;
    TLine *line = par->Lines;
    int position = 0;
    doc.InsertParagraphs(par, line, first, position);
    return result;
}

inline const TCharAttr &attrAt(const TQnRTFText &doc, int paragraph, int offset)
{
    TParagraph *p = doc.ParagraphAt(paragraph);
    TLine *l = p->Lines;
    while (offset >= l->Length && l->Next) {
        offset -= l->Length;
        l = l->Next;
    }
    return l->Attrs[offset];
}

} // namespace qn::test
