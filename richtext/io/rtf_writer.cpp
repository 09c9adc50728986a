#include "richtext/io/rtf_writer.h"

#include <algorithm>
#include <new>

#include "platform/ansi.h"
#include "platform/winmath.h"
#include "richtext/io/bitmap.h"

namespace qn {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

const char *tabKindWord(uint8_t kind)
{
    switch (kind) {
    case tkRight:
        return "\\tqr";
    case tkCenter:
        return "\\tqc";
    case tkDecimal:
        return "\\tqdec";
    default:
        return "";
    }
}

// The word of a font family, by the high nibble of the pitch-and-family byte.
const char *familyWord(int32_t pitchFamily)
{
    switch (pitchFamily & 0xF0) {
    case 0x20:
        return "\\swiss";
    case 0x30:
        return "\\fmodern";
    case 0x40:
        return "\\fscript";
    case 0x50:
        return "\\fdecor";
    default:
        return "\\fnil";
    }
}

// A row ends at a cell that does not say the row goes on. (A one-cell row
// has neither row mark; it ends at its only cell.)
bool endsRow(const TParagraph *cell)
{
    return !(cell->ParFlags & kParCellRowOpen);
}

} // namespace

TQnRTFWriter::TQnRTFWriter(TQnRTFText &document) : TQnTextWriter(document) {}

int32_t TQnRTFWriter::textWidth() const
{
    const TTextHeader &h = *doc_.Header;
    return h.PageWidth - h.MarginLeft - h.MarginRight;
}

void TQnRTFWriter::putHex(const uint8_t *data, size_t count)
{
    std::string hex(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        hex[2 * i] = kHexDigits[data[i] >> 4];
        hex[2 * i + 1] = kHexDigits[data[i] & 15];
    }
    Put(hex);
}

// ---------------------------------------------------------------------------
// Header and footer

int TQnRTFWriter::WriteHeader(TQnStream &output)
{
    TQnTextWriter::WriteHeader(output);
    groups_.clear();
    hiddenOpen_ = rawOpen_ = false;
    const TTextHeader &h = *doc_.Header;
    Put("{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl");
    auto font = [&](int number, int slot) {
        Put("{\\f");
        PutNumber(number);
        Put(familyWord(h.FontPitchFamily[slot]));
        Put("\\charset");
        PutNumber(h.FontCharset[slot]);
        Put(' ');
        for (char c : h.FontNames[slot]) {
            if (c == '\\' || c == '{' || c == '}')
                Put('\\'); // a brace in a name would end the entry's group
            Put(c);
        }
        Put(";}");
    };
    if (!doc_.IsRich()) {
        const int slot = doc_.CurrentAttr.FontIndex < kFontSlots ? doc_.CurrentAttr.FontIndex : 0;
        font(0, slot);
    } else {
        for (int i = 0, n = h.UsedFontCount(); i < n; ++i)
            font(i, i);
    }
    Put("}{\\colortbl");
    for (uint32_t c : h.Colors) {
        Put("\\red");
        PutNumber(c & 0xFF);
        Put("\\green");
        PutNumber((c >> 8) & 0xFF);
        Put("\\blue");
        PutNumber((c >> 16) & 0xFF);
        Put(';');
    }
    Put('}');
    const std::pair<const char *, int32_t> page[] = {
        {"\\paperw", h.PageWidth},  {"\\paperh", h.PageHeight}, {"\\margl", h.MarginLeft},
        {"\\margr", h.MarginRight}, {"\\margt", h.MarginTop},   {"\\margb", h.MarginBottom}};
    for (const auto &[word, value] : page) {
        Put(word);
        PutNumber(value);
    }
    // Backslashes and braces in these texts would end the group early or
    // start a control word; the reader turns the escapes back.
    auto info = [&](const char *open, const std::string &text) {
        if (text.empty())
            return;
        Put(open);
        for (char c : text) {
            if (c == '\\' || c == '{' || c == '}')
                Put('\\');
            Put(c);
        }
        Put('}');
    };
    info("{\\title ", h.Title);
    info("{\\subject\t", h.Subject);
    info("{\\comment\t", h.Comment);
    return Flush();
}

int TQnRTFWriter::WriteFooter(TQnStream &output)
{
    out_ = &output;
    if (rawOpen_) {
        Put("\\qnrtf0");
        rawOpen_ = false;
    }
    for (size_t i = 0; i < groups_.size(); ++i)
        Put('}');
    groups_.clear();
    Put("\r\n}");
    return Flush();
}

// ---------------------------------------------------------------------------
// Groups and paragraph starts

void TQnRTFWriter::openGroup(GroupKind kind)
{
    Group g{kind, groups_.empty() ? Props{} : groups_.back().P};
    try {
        groups_.push_back(g);
    } catch (const std::bad_alloc &) {
        result_ = kWriteNoMemory;
        return;
    }
    Put('{');
}

void TQnRTFWriter::closeDownTo(GroupKind kind)
{
    while (groups_.size() > 1) {
        const GroupKind k = groups_.back().Kind;
        groups_.pop_back();
        Put('}');
        if (k == kind)
            break;
    }
}

std::vector<TQnRTFWriter::CellDef> TQnRTFWriter::rowOf(const TParagraph *first) const
{
    std::vector<CellDef> row;
    for (const TParagraph *c = first; c && c->IsTableCell() && row.size() < kMaxCells;
         c = c->Next) {
        row.push_back({c->ParFlags, c->BorderWidth, c->BorderSpaceColor, c->TabMask, c->SpaceBefore,
                       c->LineSpacing});
        if (endsRow(c))
            break;
    }
    return row;
}

void TQnRTFWriter::putBorderStyle(const TParagraph *p, bool)
{
    Put(p->BorderFlags & kBorderDouble ? "\\brdrdb" : "\\brdrs");
}

void TQnRTFWriter::writeRowDefinition(const TParagraph *first)
{
    Put("\\pard\\trowd\\trgaph");
    PutNumber(MulDiv((first->BorderSpaceColor >> 4) * 16, 567, 160));
    Put("\\trleft");
    PutNumber(first->LeftIndent);
    const int64_t span = textWidth() - first->RightIndent;
    int cells = 0;
    for (const TParagraph *c = first; c && c->IsTableCell() && cells < kMaxCells;
         c = c->Next, ++cells) {
        const uint8_t f = c->BorderFlags;
        if (f & kBorderOn) {
            const std::pair<uint8_t, const char *> sides[] = {{kBorderTop, "\\clbrdrt"},
                                                              {kBorderBottom, "\\clbrdrb"},
                                                              {kBorderLeft, "\\clbrdrl"},
                                                              {kBorderRight, "\\clbrdrr"}};
            for (const auto &[bit, word] : sides)
                if (f & (kBorderBox | bit)) {
                    Put(word);
                    putBorderStyle(c, true);
                }
            Put("\\brdrw");
            PutNumber(c->BorderWidth * 20);
            if (c->BorderSpaceColor) {
                Put("\\brdrcf");
                PutNumber(c->BorderSpaceColor & 0x0F);
            }
            if (c->BorderStyle & kBorderDotted)
                Put("\\brdrdot");
            if (c->BorderStyle & kBorderHairline)
                Put("\\brdrhair");
        }
        Put("\\cellx");
        PutNumber(span * (c->CellWidth() + c->CellLeft()) / 255 + first->LeftIndent);
        if (endsRow(c))
            break;
    }
}

void TQnRTFWriter::writeCellTab(const TParagraph *cell)
{
    const int t = cell->CellTab() & 0x0F;
    if (t == 0 || t > kTabSlots)
        return;
    const TTextHeader &h = *doc_.Header;
    const int slot = t - 1;
    Put(tabKindWord(h.TabKind[slot]));
    Put("\\tx");
    const int64_t inner = int64_t(textWidth()) - cell->RightIndent - cell->LeftIndent;
    PutNumber(h.TabPosTwips[slot] - cell->LeftIndent - inner * cell->CellLeft() / 255);
}

int TQnRTFWriter::ParagraphStart()
{
    const TParagraph *p = par_;
    const bool cell = p->IsTableCell();

    // 1. The body group.
    if (groups_.empty())
        openGroup(kBody);
    if (result_ != kWriteOk)
        return result_;
    // 2.-4. Groups whose properties end here.
    closeEndedGroups(p);
    // 5. Page break.
    if (p->ParFlags & kParPageBreak)
        Put("\\page ");
    if (cell) {
        // 6. Table cell.
        openCell(p);
    } else {
        // 7. Border group, then tab group.
        const uint8_t border = p->BorderFlags & ~kBorderNotInherited;
        if ((border & kBorderOn) && !(groups_.back().P.BorderFlags & kBorderOn))
            openBorderGroup(p, border);
        if (groups_.back().P.TabMask != p->TabMask)
            openTabGroup(p);
    }
    // 8.-10. Alignment, indents, spacing.
    writeParagraphFormat(p, cell);
    return FlushIfFull();
}

void TQnRTFWriter::closeEndedGroups(const TParagraph *p)
{
    const TParagraph *prev = prevPar_;
    const bool cell = p->IsTableCell();
    const uint8_t border = p->BorderFlags & ~kBorderNotInherited;

    // 2. A border run ends: no border here, the last one ended, another border,
    // or a table that is not inside its row group.
    {
        const Props &top = groups_.back().P;
        if (top.BorderFlags & kBorderOn) {
            const bool differs = border != (top.BorderFlags & ~kBorderNotInherited) ||
                                 p->BorderStyle != top.BorderStyle ||
                                 p->BorderWidth != top.BorderWidth ||
                                 p->BorderSpaceColor != top.BorderSpaceColor;
            if (!(border & kBorderOn) || (prev && (prev->BorderFlags & kBorderNotInherited)) ||
                (cell && groups_.back().Kind != kRow) || (!cell && differs))
                closeDownTo(kBorder);
        }
    }

    // 3. A table row group is reused only by a row of the same definition.
    if (groups_.back().Kind == kRow) {
        if (!cell)
            closeDownTo(kRow);
        else if (!(p->ParFlags & kParCellNotFirst) && rowOf(p) != rowDefs_)
            closeDownTo(kRow);
    }

    // 4. Tab stops that no longer apply.
    const Props &top = groups_.back().P;
    if (top.TabMask != 0 && top.TabMask != p->TabMask)
        closeDownTo(kTabs);
}

void TQnRTFWriter::openCell(const TParagraph *p)
{
    if (groups_.back().Kind == kRow) {
        Put("\\intbl");
    } else {
        openGroup(kRow);
        writeRowDefinition(p);
        rowDefs_ = rowOf(p);
        // \pard resets what the reader holds for the paragraph.
        groups_.back().P = Props{};
        Put("\\intbl");
    }
    writeCellTab(p);
    Put(' ');
}

void TQnRTFWriter::openBorderGroup(const TParagraph *p, uint8_t border)
{
    openGroup(kBorder);
    auto style = [&] { putBorderStyle(p, false); };
    if (border & kBorderBox) {
        Put("\\box");
        style();
    }
    const std::pair<uint8_t, const char *> sides[] = {{kBorderTop, "\\brdrt"},
                                                      {kBorderBottom, "\\brdrb"},
                                                      {kBorderLeft, "\\brdrl"},
                                                      {kBorderRight, "\\brdrr"}};
    for (const auto &[bit, word] : sides)
        if (border & bit) {
            Put(word);
            style();
        }
    if (p->BorderStyle & kBorderBar)
        Put("\\brdrbar");
    if (p->BorderStyle & kBorderTabLine)
        Put("\\brdrtablin");
    Put("\\brdrw");
    PutNumber(p->BorderWidth * 20);
    if (p->BorderSpaceColor) {
        Put("\\brsp");
        PutNumber(MulDiv(p->BorderSpaceColor & 0xF0, 567, 160));
        Put("\\brdrcf");
        PutNumber(p->BorderSpaceColor & 0x0F);
    }
    if (p->BorderStyle & kBorderDotted)
        Put("\\brdrdot");
    if (p->BorderStyle & kBorderHairline)
        Put("\\brdrhair");
    Put(' ');
    Props &g = groups_.back().P;
    g.BorderFlags = p->BorderFlags;
    g.BorderStyle = p->BorderStyle;
    g.BorderWidth = p->BorderWidth;
    g.BorderSpaceColor = p->BorderSpaceColor;
}

void TQnRTFWriter::openTabGroup(const TParagraph *p)
{
    openGroup(kTabs);
    const TTextHeader &h = *doc_.Header;
    // In the order of their positions, so that the bytes do not
    // depend on which slots the stops happened to get.
    int slots[kTabSlots];
    int n = 0;
    for (int i = 0; i < kTabSlots; ++i)
        if (p->TabMask & (1u << i))
            slots[n++] = i;
    std::stable_sort(slots, slots + n,
                     [&](int a, int b) { return h.TabPosTwips[a] < h.TabPosTwips[b]; });
    for (int k = 0; k < n; ++k) {
        Put(tabKindWord(h.TabKind[slots[k]]));
        Put("\\tx");
        PutNumber(h.TabPosTwips[slots[k]]);
    }
    Put(' ');
    groups_.back().P.TabMask = p->TabMask;
}

void TQnRTFWriter::writeParagraphFormat(const TParagraph *p, bool cell)
{
    Props &g = groups_.back().P;
    // 8. Alignment.
    if (p->Alignment != g.Alignment) {
        static const char *const words[] = {"\\ql ", "\\qr ", "\\qc ", "\\qj "};
        Put(words[p->Alignment & 3]);
        g.Alignment = p->Alignment;
    }
    // 9. Indents (a cell's come from its row).
    if (!cell && (p->LeftIndent != g.LeftIndent || p->FirstIndent != g.FirstIndent ||
                  p->RightIndent != g.RightIndent)) {
        Put("\\li");
        PutNumber(p->LeftIndent);
        Put("\\fi");
        PutNumber(int64_t(p->FirstIndent) - p->LeftIndent);
        Put("\\ri");
        PutNumber(p->RightIndent);
        Put(' ');
        g.LeftIndent = p->LeftIndent;
        g.FirstIndent = p->FirstIndent;
        g.RightIndent = p->RightIndent;
    }
    // 10. Spacing; a cell always writes it, with its space before after \sa.
    const int32_t after = cell ? p->SpaceBefore : p->SpaceAfter;
    if (cell || p->SpaceBefore != g.SpaceBefore || after != g.SpaceAfter ||
        p->LineSpacing != g.LineSpacing) {
        Put("\\sb");
        PutNumber(p->SpaceBefore);
        Put("\\sl");
        if (p->LineSpacing != 0)
            PutNumber(p->LineSpacing);
        Put("\\sa");
        PutNumber(after);
        Put(' ');
        g.SpaceBefore = p->SpaceBefore;
        g.SpaceAfter = after;
        g.LineSpacing = p->LineSpacing;
    }
}

// ---------------------------------------------------------------------------
// Runs and text

int TQnRTFWriter::WriteCharAttr()
{
    const TCharAttr &a = *attr_;
    const bool raw = a.Style & kStyleRtfCode;
    if (rawOpen_ && raw)
        return result_;
    if (rawOpen_) {
        Put("\\qnrtf0");
        rawOpen_ = false;
    }
    Put("\\plain\\f");
    PutNumber(a.FontIndex);
    Put("\\fs");
    PutNumber(a.Size ? a.Size * 2 : 20);
    Put("\\cf");
    PutNumber(a.Colors & 0x0F);
    if (a.Colors > 15) {
        Put("\\cb");
        PutNumber(a.Colors >> 4);
    }
    const std::pair<uint16_t, const char *> words[] = {{kStyleBold, "\\b"},
                                                       {kStyleUnderline, "\\ul"},
                                                       {kStyleDoubleUnderline, "\\uldb"},
                                                       {kStyleSuperscript, "\\super"},
                                                       {kStyleSubscript, "\\sub"},
                                                       {kStyleItalic, "\\i"},
                                                       {kStyleStrikeout, "\\strike"},
                                                       {kStyleShadow, "\\shad"}};
    for (const auto &[bit, word] : words)
        if (a.Style & bit)
            Put(word);
    hiddenOpen_ = a.Style & kStyleHidden;
    if (hiddenOpen_)
        Put("\\v");
    if (raw) {
        Put("\\qnrtf1");
        rawOpen_ = true;
    }
    if ((a.Style & kStyleInsertPoint) && !SkipFieldText) {
        Put("\\inspnt");
        PutNumber(a.Tag);
    }
    if ((a.Style & kStyleAutoText) && !SkipAutoText)
        Put("\\inaut");
    Put(' ');
    return FlushIfFull();
}

int TQnRTFWriter::WriteText(int count)
{
    const bool raw = attr_ && line_->Attrs && (attr_->Style & kStyleRtfCode);
    const char32_t *text = line_->Text + pos_;
    for (int i = 0; i < count; ++i) {
        const char32_t c = text[i];
        if (c >= 32 && c <= 126) {
            if (!raw && (c == '\\' || c == '{' || c == '}'))
                Put('\\');
            Put(static_cast<char>(c));
        } else if (c == 9) {
            Put("\\tab ");
        } else if (c == 10) {
            Put("\\line ");
        } else if (c > 3) {
            if (const std::optional<unsigned char> code = UnicodeToAnsi(c)) {
                const char hex[4] = {'\\', '\'', kHexDigits[*code >> 4], kHexDigits[*code & 15]};
                Put(std::string_view(hex, 4));
            } else {
                PutUnicode(c);
            }
        }
    }
    return FlushIfFull();
}

// A character the code page lacks: \uN with N a signed 16-bit number and
// '?' for readers that skip it (one character, the default \uc1); a
// character beyond the basic plane as its two surrogate halves. The '?' is
// written as \'3f: some readers take a plain character after the number
// as part of the word and drop what follows it.
void TQnRTFWriter::PutUnicode(char32_t c)
{
    auto unit = [this](uint32_t u) {
        Put("\\u");
        PutNumber(static_cast<int16_t>(u));
        Put("\\'3f");
    };
    if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        unit(0xD800 + (c >> 10));
        unit(0xDC00 + (c & 0x3FF));
    } else {
        unit(c);
    }
}

int TQnRTFWriter::ParagraphEnd()
{
    // Raw RTF left open would swallow the paragraph end as text.
    if (rawOpen_) {
        Put("\\qnrtf0");
        rawOpen_ = false;
    }
    if (par_->IsTableCell()) {
        Put("\\cell");
        if (endsRow(par_))
            Put("\\row");
        Put("\n\r");
    } else if (par_->Next) {
        if (hiddenOpen_) {
            Put("\\plain\\par");
            hiddenOpen_ = false;
        } else {
            Put("\\par");
        }
        Put("\n\r");
    }
    return FlushIfFull();
}

// ---------------------------------------------------------------------------
// Objects and footnotes

int TQnRTFWriter::WriteObject(int tag, int id)
{
    const TQnObject *o = doc_.FindObject(tag, id);
    if (!o)
        return result_;
    const TQnGraphic *g = o->Graphic.get();
    auto goals = [&] {
        Put("\\picwgoal");
        PutNumber(o->Width);
        Put("\\pichgoal");
        PutNumber(o->Height);
    };
    auto pixels = [&] {
        Put("\\picw");
        PutNumber(g->WidthPixels);
        Put("\\pich");
        PutNumber(g->HeightPixels);
    };
    if (!o->FileName.empty()) {
        if (PictureFileAsReference) {
            Put("\\{bmc ");
            for (char c : o->FileName) {
                if (c == '\\' || c == '{' || c == '}')
                    Put('\\');
                Put(c);
            }
            Put("\\}");
        } else {
            Put("{\\*\\picfile");
            if (g)
                pixels();
            goals();
            Put(" \"");
            Put(o->FileName);
            Put("\"}");
        }
    } else if (o->IsLinked && o->Tag) {
        Put("\\qnobjtag");
        PutNumber(o->Tag);
        Put("\\qnobjw");
        PutNumber(o->Width);
        Put("\\qnobjh");
        PutNumber(o->Height);
        Put(" \\'01");
    } else if (g && g->IsPicture()) {
        Put("{\\pict");
        if (g->Kind == gkMetafile) {
            Put("\\wmetafile8");
            pixels();
            goals();
            Put("\r\n");
            if (g->Data.size() > 22)
                putHex(g->Data.data() + 22, g->Data.size() - 22);
        } else if (g->Kind == gkDdb && (!DibOnly || !DdbToDib(*g))) {
            Put("\\wbitmap0\\wbmbitspixel");
            PutNumber(g->BitsPerPixel);
            Put("\\wbmplanes");
            PutNumber(g->Planes);
            Put("\\wbmwidthbytes");
            PutNumber(g->WidthBytes);
            pixels();
            goals();
            Put("\r\n");
            putHex(g->Data.data(), g->Data.size());
        } else {
            // A device-dependent bitmap goes out in its independent form.
            std::optional<std::vector<uint8_t>> converted;
            if (g->Kind == gkDdb)
                converted = DdbToDib(*g);
            const std::vector<uint8_t> &bytes = converted ? *converted : g->Data;
            Put("\\dibitmap0\\wbmbitspixel");
            PutNumber(g->BitsPerPixel);
            Put("\\wbmplanes");
            PutNumber(g->Planes);
            Put("\\wbmwidthbytes");
            PutNumber((int64_t(g->WidthPixels) * g->BitsPerPixel + 7) / 8);
            pixels();
            goals();
            Put("\r\n");
            putHex(bytes.data(), bytes.size());
        }
        Put('}');
    }
    return FlushIfFull();
}

int TQnRTFWriter::WriteFootnote(int id)
{
    const TQnFootnote *f = doc_.FindFootnote(id);
    if (!f)
        return result_;
    // A brace or backslash as the mark would unbalance the groups and a NUL
    // would end reading: those are escaped, control codes become '?'.
    auto putMark = [&] {
        const uint8_t m = f->MarkChar;
        if (m == '\\' || m == '{' || m == '}')
            Put('\\');
        Put(m < 32 ? '?' : static_cast<char>(m));
    };
    Put("{\\cs16\\super ");
    putMark();
    if (f->Number == 0 || f->UseMarkChar) {
        Put("{\\*\\footnote \\pard\\plain \\s15\\widctlpar \\f4\\fs20\\lang1031 {\\cs16\\super ");
    } else {
        Put("{\\*\\footnote \\qnfnnr");
        PutNumber(f->Number);
        Put(" \\pard\\plain \\s15\\widctlpar \\f4\\fs20\\lang1031 {\\cs16\\super\t");
    }
    putMark();
    Put("} ");
    // The text is escaped like body text: a brace or backslash in it (an HTML
    // comment, say) would otherwise close the groups early and the rest of
    // the document would be lost; line ends would vanish and a NUL would end
    // reading.
    for (const char ch : f->AltText ? *f->AltText : f->Text) {
        const auto c = static_cast<uint8_t>(ch);
        if (c == '\\' || c == '{' || c == '}') {
            Put('\\');
            Put(ch);
        } else if (c == 9) {
            Put("\\tab ");
        } else if (c == 10) {
            Put("\\line ");
        } else if (c >= 32 || c == 13) {
            if (c == 13) {
                const char hex[4] = {'\\', '\'', '0', 'd'};
                Put(std::string_view(hex, 4));
            } else {
                Put(ch);
            }
        }
    }
    Put("}}");
    return FlushIfFull();
}

} // namespace qn
