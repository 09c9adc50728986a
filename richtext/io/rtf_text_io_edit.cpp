// Cursor arithmetic, list numbers, clearing and copying of TQnRTFTextIo.

#include <algorithm>
#include <cstring>

#include "platform/unicode_text.h"
#include "richtext/io/progress.h"
#include "richtext/io/rtf_text_io.h"

namespace qn {

namespace {

void copyParagraphFields(TParagraph &to, const TParagraph &from)
{
    to.FirstIndent = from.FirstIndent;
    to.LeftIndent = from.LeftIndent;
    to.RightIndent = from.RightIndent;
    to.SpaceBefore = from.SpaceBefore;
    to.SpaceAfter = from.SpaceAfter;
    to.LineSpacing = from.LineSpacing;
    to.Alignment = from.Alignment;
    to.ParFlags = from.ParFlags;
    to.BorderFlags = from.BorderFlags;
    to.BorderStyle = from.BorderStyle;
    to.BorderWidth = from.BorderWidth;
    to.BorderSpaceColor = from.BorderSpaceColor;
    to.Numbering = from.Numbering;
    to.StyleId = from.StyleId;
    to.TabMask = from.TabMask;
    to.State = kStateRebreak | kStateRepaint;
}

// Offset of (line, offset) across the paragraph's lines.
int paragraphOffset(const TParagraph *paragraph, const TLine *line, int offset)
{
    int sum = 0;
    for (const TLine *l = paragraph->Lines; l && l != line; l = l->Next)
        sum += l->Length;
    return sum + offset;
}

// Leading characters of a paragraph marked as generated list number text.
int generatedPrefix(const TParagraph *paragraph)
{
    int count = 0;
    for (const TLine *l = paragraph->Lines; l; l = l->Next) {
        if (!l->Attrs)
            return count;
        for (int i = 0; i < l->Length; ++i) {
            if (!(l->Attrs[i].Style & kStyleListNumber))
                return count;
            ++count;
        }
    }
    return count;
}

} // namespace

// ---------------------------------------------------------------------------
// Cursor and block

void TQnRTFTextIo::DropBlock()
{
    BlockAnchor = BlockEnd = TTextPos{};
    BlockStarted = false;
    Reversed = false;
}

void TQnRTFTextIo::ResetCursor()
{
    DropBlock();
    Cursor = TTextPos{FirstParagraph, FirstParagraph ? FirstParagraph->Lines : nullptr, 0};
}

bool TQnRTFTextIo::CursorIsValid() const
{
    if (!Cursor.Paragraph || !Cursor.Line)
        return false;
    for (const TParagraph *p = FirstParagraph; p; p = p->Next) {
        if (p != Cursor.Paragraph)
            continue;
        for (const TLine *l = p->Lines; l; l = l->Next)
            if (l == Cursor.Line)
                return Cursor.Offset >= 0 && Cursor.Offset <= l->Length;
        return false;
    }
    return false;
}

void TQnRTFTextIo::PlaceInParagraph(TParagraph *paragraph, int offset)
{
    TLine *line = paragraph->Lines;
    offset = std::max(offset, 0);
    // At the border of two lines the cursor stands at the start of the second.
    while (line->Next && offset >= line->Length) {
        offset -= line->Length;
        line = line->Next;
    }
    Cursor = TTextPos{paragraph, line, std::min<int>(offset, line->Length)};
}

void TQnRTFTextIo::GetCursorPosition(int &position, int &lineNumber, int &paragraphIndex,
                                     int &offsetInParagraph) const
{
    position = lineNumber = paragraphIndex = offsetInParagraph = 0;
    for (const TParagraph *p = FirstParagraph; p; p = p->Next) {
        if (p == Cursor.Paragraph) {
            for (const TLine *l = p->Lines; l && l != Cursor.Line; l = l->Next) {
                offsetInParagraph += l->Length;
                ++lineNumber;
            }
            offsetInParagraph += Cursor.Offset;
            position += offsetInParagraph;
            return;
        }
        for (const TLine *l = p->Lines; l; l = l->Next) {
            position += l->Length;
            ++lineNumber;
        }
        ++position; // the paragraph end
        ++paragraphIndex;
    }
}

void TQnRTFTextIo::SetCursorPosition(int position, int lineNumber, int offset, int paragraphIndex)
{
    if (!FirstParagraph)
        return;
    TParagraph *last = LastParagraph();
    auto toEnd = [&](TParagraph *p) {
        TLine *l = p->LastLine();
        Cursor = TTextPos{p, l, l->Length};
    };
    if (position > 0) {
        int rest = position;
        for (TParagraph *p = FirstParagraph; p; p = p->Next) {
            const int length = p->TextLength();
            if (rest <= length) {
                PlaceInParagraph(p, rest);
                return;
            }
            rest -= length + 1;
        }
        toEnd(last);
    } else if (lineNumber > 0) {
        int rest = lineNumber;
        for (TParagraph *p = FirstParagraph; p; p = p->Next)
            for (TLine *l = p->Lines; l; l = l->Next)
                if (rest-- == 0) {
                    Cursor = TTextPos{p, l, 0};
                    return;
                }
        toEnd(last);
    } else {
        TParagraph *p = ParagraphAt(std::max(paragraphIndex, 0));
        if (!p) {
            toEnd(last);
            return;
        }
        PlaceInParagraph(p, std::min(offset, p->TextLength()));
    }
}

// ---------------------------------------------------------------------------
// Clearing and copying

void TQnRTFTextIo::Clear()
{
    TQnProgressSuspend suspend;
    Cursor = TTextPos{};
    DropBlock();
    TQnRTFText::Clear();
    Cursor = TTextPos{FirstParagraph, FirstParagraph->Lines, 0};
    CurrentAttr = TCharAttr{};
    FirstParagraph->SpaceBefore = 0;
    FirstParagraph->SpaceAfter = 0;
}

void TQnRTFTextIo::Assign(const TPersistent &source)
{
    if (const auto *doc = dynamic_cast<const TQnRTFTextIo *>(&source)) {
        if (doc != this)
            CopyFrom(*doc);
        return;
    }
    TQnRTFText::Assign(source);
}

void TQnRTFTextIo::CopyFrom(const TQnRTFTextIo &source)
{
    TQnProgressSuspend suspend;
    // The copy keeps the source's memory format, so that its attributes survive.
    if (MemoryFormat() != source.MemoryFormat())
        SetMemoryFormat(source.MemoryFormat());
    Clear();
    CopySource = const_cast<TQnRTFTextIo *>(&source);
    struct EndCopy {
        TQnRTFText *doc;
        ~EndCopy() { doc->CopySource = nullptr; }
    } endCopy{this};

    const TTextHeader &from = *source.Header;
    TTextHeader &to = *Header;
    for (int i = 0; i < kFontSlots; ++i) {
        to.FontNames[i] = from.FontNames[i];
        to.FontPitchFamily[i] = from.FontPitchFamily[i];
        to.FontCharset[i] = from.FontCharset[i];
    }
    std::copy(std::begin(from.Colors), std::end(from.Colors), std::begin(to.Colors));
    std::copy(std::begin(from.TabPosTwips), std::end(from.TabPosTwips), std::begin(to.TabPosTwips));
    std::copy(std::begin(from.TabPosPixels), std::end(from.TabPosPixels),
              std::begin(to.TabPosPixels));
    std::copy(std::begin(from.TabKind), std::end(from.TabKind), std::begin(to.TabKind));
    to.DecimalChar = from.DecimalChar;
    to.PageWidth = from.PageWidth;
    to.PageHeight = from.PageHeight;
    to.PageOption1 = from.PageOption1;
    to.PageOption2 = from.PageOption2;
    to.MarginLeft = from.MarginLeft;
    to.MarginRight = from.MarginRight;
    to.MarginTop = from.MarginTop;
    to.MarginBottom = from.MarginBottom;
    to.FacingPages = from.FacingPages;
    to.Landscape = from.Landscape;
    to.RecomputePixelSizes();

    // Characters refer to objects, footnotes and styles by number: those
    // travel with the text.
    Objects.clear();
    for (const auto &o : source.Objects)
        Objects.push_back(std::make_unique<TQnObject>(*o));
    Footnotes.clear();
    for (const auto &f : source.Footnotes)
        Footnotes.push_back(std::make_unique<TQnFootnote>(*f));
    Styles.clear();
    for (const auto &s : source.Styles)
        Styles.push_back(std::make_unique<TQnParStyle>(*s));

    TParagraph *head = nullptr, *tail = nullptr;
    try {
        for (const TParagraph *sp = source.FirstParagraph; sp; sp = sp->Next) {
            TParagraph *p = tail;
            NewParagraph(p, 8);
            if (!head)
                head = p;
            tail = p;
            copyParagraphFields(*p, *sp);
            // The new paragraph's own empty line gives way to copies of the source's.
            delete p->Lines;
            p->Lines = nullptr;
            TLine *last = nullptr;
            for (const TLine *sl = sp->Lines; sl; sl = sl->Next) {
                TLine *l = last;
                AddLine(l, sl->Length + 2);
                if (!last)
                    p->Lines = l;
                last = l;
                std::copy_n(sl->Text, sl->Length, l->Text);
                l->Text[sl->Length] = 0;
                if (l->Attrs && sl->Attrs)
                    std::copy(sl->Attrs, sl->Attrs + sl->Length + 1, l->Attrs);
                l->Length = sl->Length;
                l->Height = sl->Height;
                l->Ascent = sl->Ascent;
                l->LineFlags = sl->LineFlags | kLineChanged;
            }
            if (!p->Lines) {
                TLine *l = nullptr;
                p->Lines = AddLine(l, 8);
            }
        }
    } catch (...) {
        FreeParagraphChain(head);
        throw;
    }
    if (head) {
        FreeAllParagraphs();
        FirstParagraph = head;
    }
    Cursor = TTextPos{FirstParagraph, FirstParagraph->Lines, 0};
    Changed();
}

// ---------------------------------------------------------------------------
// List numbers

void TQnRTFTextIo::Renumber()
{
    // Numbers are told from text by their attribute, which plain text lacks.
    if (Suspend || PlainMode || !FirstParagraph)
        return;
    TParagraph *cursorPar = CursorIsValid() ? Cursor.Paragraph : nullptr;
    int cursorOffset = cursorPar ? paragraphOffset(cursorPar, Cursor.Line, Cursor.Offset) : 0;

    int counters[16] = {};
    int openLevel = -1;
    const int symbolFont = FindOrAddFont("WingDings");
    int numberFont = -1; // the last font other than the symbol font used for numbers

    for (TParagraph *p = FirstParagraph; p; p = p->Next) {
        const int generated = generatedPrefix(p);
        if (generated > 0) {
            DeleteText(p, 0, generated);
            if (p == cursorPar)
                cursorOffset = std::max(0, cursorOffset - generated);
        }
        if (p->Numbering == 0) {
            std::fill(std::begin(counters), std::end(counters), 0);
            openLevel = -1;
            if (generated > 0)
                p->State |= kStateRebreak | kStateRepaint;
            continue;
        }
        const int kind = p->Numbering >> 4;
        const int level = p->Numbering & 7;
        for (int i = openLevel + 1; i <= level; ++i)
            counters[i] = 0;
        openLevel = level;
        ++counters[level];

        TCharAttr attr = CurrentAttr;
        for (TLine *l = p->Lines; l; l = l->Next)
            if (l->Length > 0 && l->Attrs) {
                attr = l->Attrs[0];
                break;
            }
        // The number is text of its own: not an object, field or raw RTF.
        attr.Style &= ~(kStyleObject | kStyleInsertPoint | kStyleAutoText | kStyleRtfCode);
        attr.Tag = 0;
        attr.Style |= kStyleListNumber;

        int inserted = 0;
        if (kind == 1) {
            TCharAttr bullet = attr;
            if (symbolFont < kFontSlots)
                bullet.FontIndex = static_cast<uint8_t>(symbolFont);
            InsertText(p, 0, &attr, U"\t");
            InsertText(p, 0, &bullet, U"l");
            inserted = 2;
        } else if (kind >= 2 && kind <= 6) {
            if (attr.FontIndex == symbolFont) {
                if (numberFont >= 0)
                    attr.FontIndex = static_cast<uint8_t>(numberFont);
            } else {
                numberFont = attr.FontIndex;
            }
            const std::u32string text = unicode::FromAnsi(NumberText(kind, counters[level]) + "\t");
            InsertText(p, 0, &attr, text);
            inserted = static_cast<int>(text.size());
        }
        if (p == cursorPar)
            cursorOffset += inserted;
        p->State |= kStateRebreak | kStateRepaint;
    }
    if (cursorPar)
        PlaceInParagraph(cursorPar, cursorOffset);
}

} // namespace qn
