#include "richtext/controls/rich_text_document.h"
#include "platform/unicode_text.h"

#include <algorithm>
#include <cstdlib>

namespace qn {

namespace {

// The cursor with a line end moved over onto the next line of its paragraph.
TTextPos normalised(const TQnRTFTextIo &doc)
{
    TTextPos pos = doc.Cursor;
    if (!pos.Paragraph || !pos.Line)
        pos = TTextPos{doc.FirstParagraph, doc.FirstParagraph ? doc.FirstParagraph->Lines : nullptr,
                       0};
    while (pos.Line && pos.Offset >= pos.Line->Length && pos.Line->Next)
        pos = TTextPos{pos.Paragraph, pos.Line->Next, 0};
    return pos;
}

} // namespace

char32_t CharAtCursor(const TQnRTFTextIo &doc)
{
    const TTextPos pos = normalised(doc);
    if (!pos.Line)
        return 0;
    if (pos.Offset < pos.Line->Length)
        return pos.Line->Text[pos.Offset];
    return pos.Paragraph->Next ? 13 : 0;
}

bool StepCursor(TQnRTFTextIo &doc)
{
    TTextPos pos = normalised(doc);
    if (!pos.Line)
        return false;
    if (pos.Offset < pos.Line->Length) {
        ++pos.Offset;
    } else if (pos.Paragraph->Next) {
        pos = TTextPos{pos.Paragraph->Next, pos.Paragraph->Next->Lines, 0};
    } else {
        doc.Cursor = pos;
        return false;
    }
    doc.Cursor = pos;
    return true;
}

TCharAttr AttrAtCursor(TQnRTFTextIo &doc)
{
    const TTextPos pos = normalised(doc);
    if (pos.Line && pos.Line->Attrs && pos.Offset < pos.Line->Length)
        return pos.Line->Attrs[pos.Offset];
    return doc.CurrentAttr;
}

int AbsolutePosition(const TQnRTFTextIo &doc, const TTextPos &place)
{
    int position = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        if (p == place.Paragraph) {
            for (const TLine *l = p->Lines; l && l != place.Line; l = l->Next)
                position += l->Length;
            return position + place.Offset;
        }
        position += p->TextLength() + 1;
    }
    return 0;
}

TTextPos PlaceOfPosition(TQnRTFTextIo &doc, int position)
{
    const TTextPos saved = doc.Cursor;
    if (position <= 0)
        doc.SetCursorPosition(0, 0, 0, 0);
    else
        doc.SetCursorPosition(position, 0, 0, 0);
    const TTextPos place = doc.Cursor;
    doc.Cursor = saved;
    return place;
}

int TextEndPosition(const TQnRTFTextIo &doc)
{
    int position = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        position += p->TextLength() + (p->Next ? 1 : 0);
    return position;
}

void SelectRange(TQnRTFTextIo &doc, int start, int length)
{
    doc.DropBlock();
    start = std::clamp(start, 0, TextEndPosition(doc));
    const int end = std::clamp(start + length, 0, TextEndPosition(doc));
    doc.Cursor = PlaceOfPosition(doc, end);
    if (end == start)
        return;
    doc.BlockAnchor = PlaceOfPosition(doc, start);
    doc.BlockEnd = doc.Cursor;
    doc.BlockStarted = true;
    doc.Reversed = end < start;
}

bool HasBlock(const TQnRTFTextIo &doc)
{
    if (!doc.BlockStarted || !doc.BlockAnchor.Line || !doc.BlockEnd.Line)
        return false;
    return AbsolutePosition(doc, doc.BlockAnchor) != AbsolutePosition(doc, doc.BlockEnd);
}

void BlockRange(const TQnRTFTextIo &doc, int &start, int &length)
{
    start = length = 0;
    if (!HasBlock(doc))
        return;
    const int a = AbsolutePosition(doc, doc.BlockAnchor);
    const int b = AbsolutePosition(doc, doc.BlockEnd);
    start = std::min(a, b);
    length = std::abs(a - b);
}

void ApplyParagraphProps(TQnRTFTextIo &doc, const TParProps &props)
{
    if (!doc.FirstParagraph)
        doc.Clear();
    if (doc.IsEmpty()) {
        TParagraph *p = doc.FirstParagraph;
        props.ApplyTo(*p);
        p->ParFlags &= static_cast<uint8_t>(~kParPageBreak);
        doc.SetParagraphText(0, unicode::FromAnsi(props.Text), &props.CharAttr);
        doc.DropBlock();
        doc.Cursor = TTextPos{p, p->Lines, 0};
    } else {
        TParagraph *p = doc.CursorIsValid() ? doc.Cursor.Paragraph : doc.LastParagraph();
        doc.NewParagraph(p, 8);
        props.ApplyTo(*p);
        if (!props.Text.empty()) {
            int index = 0;
            for (const TParagraph *q = doc.FirstParagraph; q != p; q = q->Next)
                ++index;
            doc.SetParagraphText(index, unicode::FromAnsi(props.Text), &props.CharAttr);
        }
        doc.DropBlock();
        doc.Cursor = TTextPos{p, p->Lines, 0};
    }
    doc.SetCurrentAttr(props.CharAttr);
}

} // namespace qn
