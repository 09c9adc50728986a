// The undo history: compact copies of paragraph ranges, swapped with the
// document to take a step back or to put it again.
#include "richtext/edit/undo_history.h"

#include <algorithm>

#include "platform/winmath.h"

namespace qn {

namespace {

// A run of characters with one look; Count 0 is the look of an empty line.
struct AttrRun {
    uint32_t Count = 0;
    TCharAttr Attr;
};

TCharAttr withoutMetrics(TCharAttr attr)
{
    attr.Width = attr.Height = attr.Ascent = 0;
    return attr;
}

// A check sum of text that does not depend on how lines break it.
uint64_t hashBytes(uint64_t h, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

} // namespace

struct UndoHistory::ParagraphCopy {
    int32_t FirstIndent = 0, LeftIndent = 0, RightIndent = 0;
    int32_t SpaceBefore = 0, SpaceAfter = 0, LineSpacing = 0;
    uint8_t Alignment = 0, ParFlags = 0, BorderFlags = 0, BorderStyle = 0, BorderWidth = 0,
            BorderSpaceColor = 0, Numbering = 0, StyleId = 0;
    uint32_t TabMask = 0;
    std::u32string Text; // every line's characters
    std::vector<uint16_t> LineLengths;
    std::vector<AttrRun> Runs; // empty in plain text

    explicit ParagraphCopy(const TParagraph &p)
        : FirstIndent(p.FirstIndent), LeftIndent(p.LeftIndent), RightIndent(p.RightIndent),
          SpaceBefore(p.SpaceBefore), SpaceAfter(p.SpaceAfter), LineSpacing(p.LineSpacing),
          Alignment(p.Alignment), ParFlags(p.ParFlags), BorderFlags(p.BorderFlags),
          BorderStyle(p.BorderStyle), BorderWidth(p.BorderWidth),
          BorderSpaceColor(p.BorderSpaceColor), Numbering(p.Numbering), StyleId(p.StyleId),
          TabMask(p.TabMask)
    {
        for (const TLine *l = p.Lines; l; l = l->Next) {
            LineLengths.push_back(l->Length);
            Text.append(l->Text, l->Length);
            if (!l->Attrs)
                continue;
            if (l->Length == 0) {
                Runs.push_back(AttrRun{0, withoutMetrics(l->Attrs[0])});
                continue;
            }
            for (int i = 0; i < l->Length; ++i) {
                const TCharAttr a = withoutMetrics(l->Attrs[i]);
                if (!Runs.empty() && Runs.back().Count > 0 && Runs.back().Attr == a)
                    ++Runs.back().Count;
                else
                    Runs.push_back(AttrRun{1, a});
            }
        }
        Text.shrink_to_fit();
        Runs.shrink_to_fit();
    }

    bool SameAs(const ParagraphCopy &o) const
    {
        return FirstIndent == o.FirstIndent && LeftIndent == o.LeftIndent &&
               RightIndent == o.RightIndent && SpaceBefore == o.SpaceBefore &&
               SpaceAfter == o.SpaceAfter && LineSpacing == o.LineSpacing &&
               Alignment == o.Alignment && ParFlags == o.ParFlags && BorderFlags == o.BorderFlags &&
               BorderStyle == o.BorderStyle && BorderWidth == o.BorderWidth &&
               BorderSpaceColor == o.BorderSpaceColor && Numbering == o.Numbering &&
               StyleId == o.StyleId && TabMask == o.TabMask && Text == o.Text &&
               LineLengths == o.LineLengths && Runs.size() == o.Runs.size() &&
               std::equal(Runs.begin(), Runs.end(), o.Runs.begin(),
                          [](const AttrRun &a, const AttrRun &b) {
                              return a.Count == b.Count && a.Attr == b.Attr;
                          });
    }

    size_t Bytes() const
    {
        return sizeof(*this) + Text.capacity() * sizeof(char32_t) +
               LineLengths.capacity() * sizeof(uint16_t) + Runs.capacity() * sizeof(AttrRun);
    }

    // A new unlinked paragraph of the document holding this copy.
    TParagraph *Build(TQnRTFText &document) const
    {
        TParagraph *none = nullptr;
        TParagraph *p = document.NewParagraph(none, LineLengths.empty() ? 8 : LineLengths[0] + 2);
        try {
            fill(document, *p);
        } catch (...) {
            delete p;
            throw;
        }
        return p;
    }

private:
    void fill(TQnRTFText &document, TParagraph &p) const
    {
        p.FirstIndent = FirstIndent;
        p.LeftIndent = LeftIndent;
        p.RightIndent = RightIndent;
        p.SpaceBefore = SpaceBefore;
        p.SpaceAfter = SpaceAfter;
        p.LineSpacing = LineSpacing;
        p.Alignment = Alignment;
        p.ParFlags = ParFlags;
        p.BorderFlags = BorderFlags;
        p.BorderStyle = BorderStyle;
        p.BorderWidth = BorderWidth;
        p.BorderSpaceColor = BorderSpaceColor;
        p.Numbering = Numbering;
        p.StyleId = StyleId;
        p.TabMask = TabMask;
        p.State = kStateRebreak | kStateRepaint;
        size_t textAt = 0, run = 0;
        uint32_t runLeft = Runs.empty() ? 0 : Runs[0].Count;
        TLine *line = p.Lines;
        for (size_t i = 0; i < LineLengths.size(); ++i) {
            const int length = LineLengths[i];
            if (i > 0)
                line = document.AppendLine(&p, length + 2);
            if (Runs.empty() || !line->Attrs) {
                document.AppendToLine(line, std::u32string_view(Text).substr(textAt, length),
                                      document.CurrentAttr);
                textAt += length;
                continue;
            }
            if (length == 0) {
                if (run < Runs.size() && Runs[run].Count == 0 && runLeft == 0) {
                    line->Attrs[0] = Runs[run].Attr;
                    if (++run < Runs.size())
                        runLeft = Runs[run].Count;
                }
                continue;
            }
            int left = length;
            while (left > 0 && run < Runs.size()) {
                const int n = std::min<int>(left, static_cast<int>(runLeft));
                if (n > 0)
                    document.AppendToLine(line, std::u32string_view(Text).substr(textAt, n),
                                          Runs[run].Attr);
                textAt += n;
                left -= n;
                runLeft -= n;
                if (runLeft == 0 && ++run < Runs.size())
                    runLeft = Runs[run].Count;
            }
        }
    }
};

// The document's tables beside the text: fonts, colours, tab slots and the
// page, the styles and the footnotes.
struct UndoHistory::SideState {
    TTextHeader Header;
    std::vector<TQnParStyle> Styles;
    std::vector<TQnFootnote> Footnotes;

    explicit SideState(const TQnRTFText &d) : Header(*d.Header)
    {
        for (const auto &s : d.Styles)
            Styles.push_back(*s);
        for (const auto &f : d.Footnotes)
            Footnotes.push_back(*f);
    }

    bool SameAs(const TQnRTFText &d) const
    {
        const TTextHeader &a = Header, &b = *d.Header;
        if (!std::equal(std::begin(a.Colors), std::end(a.Colors), std::begin(b.Colors)) ||
            !std::equal(std::begin(a.FontNames), std::end(a.FontNames), std::begin(b.FontNames)) ||
            !std::equal(std::begin(a.FontPitchFamily), std::end(a.FontPitchFamily),
                        std::begin(b.FontPitchFamily)) ||
            !std::equal(std::begin(a.FontCharset), std::end(a.FontCharset),
                        std::begin(b.FontCharset)) ||
            !std::equal(a.TabPosTwips, a.TabPosTwips + kTabSlots, b.TabPosTwips) ||
            !std::equal(std::begin(a.TabKind), std::end(a.TabKind), std::begin(b.TabKind)))
            return false;
        if (a.DecimalChar != b.DecimalChar || a.Title != b.Title || a.Subject != b.Subject ||
            a.Comment != b.Comment || a.PageWidth != b.PageWidth || a.PageHeight != b.PageHeight ||
            a.MarginLeft != b.MarginLeft || a.MarginRight != b.MarginRight ||
            a.MarginTop != b.MarginTop || a.MarginBottom != b.MarginBottom ||
            a.DefaultTabKind != b.DefaultTabKind)
            return false;
        if (Styles.size() != d.Styles.size() || Footnotes.size() != d.Footnotes.size())
            return false;
        for (size_t i = 0; i < Styles.size(); ++i) {
            const TQnParStyle &s = *d.Styles[i];
            if (Styles[i].Name != s.Name || Styles[i].Id != s.Id ||
                Styles[i].Props.Text != s.Props.Text ||
                Styles[i].Props.CharAttr != s.Props.CharAttr)
                return false;
        }
        for (size_t i = 0; i < Footnotes.size(); ++i) {
            const TQnFootnote &f = *d.Footnotes[i];
            if (Footnotes[i].Id != f.Id || Footnotes[i].Text != f.Text ||
                Footnotes[i].Number != f.Number || Footnotes[i].AltText != f.AltText)
                return false;
        }
        return true;
    }

    void RestoreTo(TQnRTFText &d) const
    {
        TTextHeader &h = *d.Header;
        std::copy(std::begin(Header.Colors), std::end(Header.Colors), std::begin(h.Colors));
        std::copy(std::begin(Header.FontNames), std::end(Header.FontNames),
                  std::begin(h.FontNames));
        std::copy(std::begin(Header.FontPitchFamily), std::end(Header.FontPitchFamily),
                  std::begin(h.FontPitchFamily));
        std::copy(std::begin(Header.FontCharset), std::end(Header.FontCharset),
                  std::begin(h.FontCharset));
        std::copy(Header.TabPosTwips, Header.TabPosTwips + kTabSlots, h.TabPosTwips);
        std::copy(std::begin(Header.TabKind), std::end(Header.TabKind), std::begin(h.TabKind));
        // Pixel positions follow the resolution of now, not of then.
        for (int i = 0; i < kTabSlots; ++i)
            h.TabPosPixels[i] = h.TabPosTwips[i] > 0 && h.PixelsPerInchX > 0
                                    ? MulDiv(h.TabPosTwips[i], h.PixelsPerInchX, 1440)
                                    : 0;
        h.DecimalChar = Header.DecimalChar;
        h.Title = Header.Title;
        h.Subject = Header.Subject;
        h.Comment = Header.Comment;
        h.PageWidth = Header.PageWidth;
        h.PageHeight = Header.PageHeight;
        h.MarginLeft = Header.MarginLeft;
        h.MarginRight = Header.MarginRight;
        h.MarginTop = Header.MarginTop;
        h.MarginBottom = Header.MarginBottom;
        h.DefaultTabKind = Header.DefaultTabKind;
        d.Styles.clear();
        for (const auto &s : Styles)
            d.Styles.push_back(std::make_unique<TQnParStyle>(s));
        d.Footnotes.clear();
        for (const auto &f : Footnotes)
            d.Footnotes.push_back(std::make_unique<TQnFootnote>(f));
    }

    size_t Bytes() const
    {
        size_t n = sizeof(*this);
        for (const auto &name : Header.FontNames)
            n += name.capacity() > 15 ? name.capacity() : 0;
        for (const auto &f : Footnotes)
            n += sizeof(f) + f.Text.capacity();
        return n + Styles.size() * sizeof(TQnParStyle);
    }
};

struct UndoHistory::Step {
    UndoKind Kind = UndoKind::Other;
    int First = 0;
    int CountNow = 0;    // paragraphs of the range in the document as it is
    int DocumentNow = 0; // paragraphs of the whole document as it is
    uint64_t TextHash = 0;
    // The range in the other state: a compact copy, or (once swapped) the
    // paragraphs themselves as the document had them, laid out for LiveLayout.
    std::vector<ParagraphCopy> Saved;
    TParagraph *Live = nullptr;
    int LiveCount = 0;
    uint64_t LiveLayout = 0;
    size_t LiveBytes = 0;
    std::shared_ptr<const SideState> SideBefore, SideAfter;
    TCharAttr AttrBefore, AttrAfter;
    UndoSelection SelectionBefore, SelectionAfter;
    size_t Bytes = 0;

    Step() = default;
    Step(const Step &) = delete;
    Step &operator=(const Step &) = delete;
    ~Step() { TQnRTFText::FreeParagraphChain(Live); }

    void Count()
    {
        Bytes = sizeof(*this) + LiveBytes;
        for (const auto &c : Saved)
            Bytes += c.Bytes();
        if (SideAfter && SideAfter != SideBefore)
            Bytes += SideAfter->Bytes();
    }
};

// ---------------------------------------------------------------------------

namespace {

TParagraph *paragraphAt(const TQnRTFText &d, int index)
{
    TParagraph *p = d.FirstParagraph;
    for (int i = 0; p && i < index; ++i)
        p = p->Next;
    return p;
}

int paragraphCount(const TQnRTFText &d)
{
    int n = 0;
    for (const TParagraph *p = d.FirstParagraph; p; p = p->Next)
        ++n;
    return n;
}

uint64_t rangeHash(const TQnRTFText &d, int first, int count)
{
    uint64_t h = 1469598103934665603ull;
    const TParagraph *p = paragraphAt(d, first);
    for (int i = 0; p && i < count; ++i, p = p->Next) {
        for (const TLine *l = p->Lines; l; l = l->Next)
            h = hashBytes(h, reinterpret_cast<const uint8_t *>(l->Text),
                          l->Length * sizeof(char32_t));
        const uint8_t end = 0xFF;
        h = hashBytes(h, &end, 1);
    }
    return h;
}

// What the layout of paragraphs depends on besides their text.
uint64_t layoutKey(const TQnRTFTextInput &d)
{
    const TTextHeader &h = *d.Header;
    uint64_t key = 1469598103934665603ull;
    for (int64_t v : {int64_t(h.LayoutWidthPixels), int64_t(h.PixelsPerInchX),
                      int64_t(h.PixelsPerInchY), int64_t(d.Zooming), int64_t(d.Resizing),
                      int64_t(d.WindowWidth), int64_t(d.WrapToWindow), int64_t(d.PlainMode)})
        key = (key ^ uint64_t(v)) * 1099511628211ull;
    return key;
}

// Memory a paragraph takes in the document.
size_t liveBytes(const TParagraph &p)
{
    size_t n = sizeof(TParagraph);
    for (const TLine *l = p.Lines; l; l = l->Next)
        n += sizeof(TLine) + l->Capacity * (1 + (l->Attrs ? sizeof(TCharAttr) : 0));
    return n;
}

UndoPosition positionOf(const TQnRTFText &d, const TTextPos &pos)
{
    UndoPosition result;
    result.Paragraph = UndoHistory::IndexOf(d, pos.Paragraph);
    if (result.Paragraph < 0) {
        result.Paragraph = 0;
        return result;
    }
    for (const TLine *l = pos.Paragraph->Lines; l && l != pos.Line; l = l->Next)
        result.Offset += l->Length;
    result.Offset += pos.Offset;
    return result;
}

TTextPos placeOf(const TQnRTFText &d, const UndoPosition &pos)
{
    TParagraph *p = paragraphAt(d, std::max(pos.Paragraph, 0));
    if (!p)
        p = d.LastParagraph();
    TLine *line = p->Lines;
    int offset = std::max(pos.Offset, 0);
    // At the border of two lines the position is the start of the second.
    while (line->Next && offset >= line->Length) {
        offset -= line->Length;
        line = line->Next;
    }
    return TTextPos{p, line, std::min<int>(offset, line->Length)};
}

} // namespace

UndoHistory::UndoHistory(TQnRTFTextInput &document) : document_(document)
{
    Now = [] { return std::chrono::steady_clock::now(); };
}

UndoHistory::~UndoHistory() = default;

int UndoHistory::IndexOf(const TQnRTFText &document, const TParagraph *paragraph)
{
    int i = 0;
    for (const TParagraph *p = document.FirstParagraph; p; p = p->Next, ++i)
        if (p == paragraph)
            return i;
    return -1;
}

UndoSelection UndoHistory::SelectionOf(const TQnRTFTextInput &d)
{
    UndoSelection s;
    if (d.Cursor.Paragraph && d.Cursor.Line)
        s.Cursor = positionOf(d, d.Cursor);
    if (d.BlockStarted && d.BlockAnchor.Line && d.BlockEnd.Line) {
        s.Block = true;
        s.Anchor = positionOf(d, d.BlockAnchor);
        s.End = positionOf(d, d.BlockEnd);
        s.Reversed = d.Reversed;
    }
    return s;
}

void UndoHistory::PlaceSelection(TQnRTFTextInput &d, const UndoSelection &s)
{
    if (!d.FirstParagraph)
        return;
    d.DropBlock();
    d.Cursor = placeOf(d, s.Cursor);
    if (s.Block) {
        d.BlockAnchor = placeOf(d, s.Anchor);
        d.BlockEnd = placeOf(d, s.End);
        d.BlockStarted = true;
        d.Reversed = s.Reversed;
    }
}

// ---------------------------------------------------------------------------
// Recording

void UndoHistory::BeforeAtSelection(UndoKind kind, int before, int after)
{
    const TQnRTFTextInput &d = document_;
    int first = IndexOf(d, d.Cursor.Paragraph);
    int last = first;
    if (d.BlockStarted && d.BlockAnchor.Paragraph && d.BlockEnd.Paragraph)
        for (const TParagraph *p : {d.BlockAnchor.Paragraph, d.BlockEnd.Paragraph}) {
            const int i = IndexOf(d, p);
            first = std::min(first, i);
            last = std::max(last, i);
        }
    if (first < 0) {
        BeforeWholeDocument(kind);
        return;
    }
    first = std::max(first - before, 0);
    last += after;
    // An edit in a table may touch the whole table (its rows, the indents
    // its cells share): take it in.
    const TParagraph *p = paragraphAt(d, first);
    if (p && p->IsTableCell())
        while (p->Prev && p->Prev->IsTableCell()) {
            p = p->Prev;
            --first;
        }
    p = paragraphAt(d, last);
    if (p && p->IsTableCell())
        while (p->Next && p->Next->IsTableCell()) {
            p = p->Next;
            ++last;
        }
    Before(kind, first, last);
}

void UndoHistory::BeforeWholeDocument(UndoKind kind)
{
    Before(kind, 0, -1);
}

void UndoHistory::Before(UndoKind kind, int first, int last)
{
    const int count = paragraphCount(document_);
    first = std::clamp(first, 0, std::max(count - 1, 0));
    if (last < 0 || last >= count)
        last = count - 1;
    last = std::max(last, first);
    if (pending_)
        return; // an edit inside an edit belongs to the outer one
    if (mayJoin(kind, first, last)) {
        pending_ = true;
        joinedOpen_ = true;
        return;
    }
    openStep(kind, first, last);
}

bool UndoHistory::mayJoin(UndoKind kind, int first, int last) const
{
    if (!joinable_ || kind == UndoKind::Other || done_ == 0 || done_ != steps_.size())
        return false;
    const Step &top = *steps_.back();
    if (top.Kind != kind || Now() - lastEdit_ > TypingPause)
        return false;
    if (first < top.First || last > top.First + top.CountNow - 1)
        return false;
    return SelectionOf(document_) == top.SelectionAfter &&
           paragraphCount(document_) == top.DocumentNow;
}

void UndoHistory::openStep(UndoKind kind, int first, int last)
{
    auto step = std::make_unique<Step>();
    step->Kind = kind;
    step->First = first;
    const TParagraph *p = paragraphAt(document_, first);
    for (int i = first; p && i <= last; ++i, p = p->Next)
        step->Saved.emplace_back(*p);
    step->CountNow = static_cast<int>(step->Saved.size());
    step->DocumentNow = paragraphCount(document_);
    if (!lastSide_ || !lastSide_->SameAs(document_))
        lastSide_ = std::make_shared<SideState>(document_);
    step->SideBefore = lastSide_;
    step->AttrBefore = document_.CurrentAttr;
    step->SelectionBefore = SelectionOf(document_);
    open_ = std::move(step);
    joinedOpen_ = false;
    pending_ = true;
}

bool UndoHistory::After()
{
    if (!pending_)
        return false;
    pending_ = false;
    Step *step = joinedOpen_ ? steps_.back().get() : open_.get();
    if (!step)
        return false;
    const int documentNow = paragraphCount(document_);
    step->CountNow += documentNow - step->DocumentNow;
    step->DocumentNow = documentNow;
    if (step->CountNow < 0 || step->First + step->CountNow > documentNow) {
        // The edit reached beyond the paragraphs it announced: nothing
        // recorded can be trusted to fit any more.
        open_.reset();
        Clear();
        return false;
    }
    if (!lastSide_ || !lastSide_->SameAs(document_))
        lastSide_ = std::make_shared<SideState>(document_);
    if (!joinedOpen_ && lastSide_ == step->SideBefore &&
        step->CountNow == int(step->Saved.size())) {
        // Nothing changed: no step.
        bool same = true;
        const TParagraph *p = paragraphAt(document_, step->First);
        for (size_t i = 0; same && p && i < step->Saved.size(); ++i, p = p->Next)
            same = ParagraphCopy(*p).SameAs(step->Saved[i]);
        if (same) {
            open_.reset();
            return false;
        }
    }
    step->SideAfter = lastSide_;
    step->AttrAfter = document_.CurrentAttr;
    step->SelectionAfter = SelectionOf(document_);
    step->TextHash = rangeHash(document_, step->First, step->CountNow);
    lastEdit_ = Now();
    ++recorded_;
    joinable_ = step->Kind != UndoKind::Other;
    if (!joinedOpen_) {
        dropRedo();
        step->Count();
        bytes_ += step->Bytes;
        steps_.push_back(std::move(open_));
        done_ = steps_.size();
    } else {
        bytes_ -= step->Bytes;
        step->Count();
        bytes_ += step->Bytes;
    }
    trim();
    return true;
}

void UndoHistory::dropRedo()
{
    while (steps_.size() > done_) {
        bytes_ -= steps_.back()->Bytes;
        steps_.pop_back();
    }
}

void UndoHistory::trim()
{
    while (bytes_ > Limit && !steps_.empty()) {
        if (done_ > 0) {
            bytes_ -= steps_.front()->Bytes;
            steps_.pop_front();
            --done_;
        } else {
            bytes_ -= steps_.back()->Bytes;
            steps_.pop_back();
        }
    }
    if (steps_.empty())
        joinable_ = false;
}

void UndoHistory::Clear()
{
    steps_.clear();
    done_ = 0;
    bytes_ = 0;
    pending_ = false;
    joinable_ = false;
    open_.reset();
    lastSide_.reset();
}

// ---------------------------------------------------------------------------
// Taking back and putting again

bool UndoHistory::Undo()
{
    if (pending_ || done_ == 0)
        return false;
    joinable_ = false;
    if (!swap(*steps_[done_ - 1], true)) {
        Clear();
        return false;
    }
    --done_;
    trim();
    return true;
}

bool UndoHistory::Redo()
{
    if (pending_ || done_ >= steps_.size())
        return false;
    joinable_ = false;
    if (!swap(*steps_[done_], false)) {
        Clear();
        return false;
    }
    ++done_;
    trim();
    return true;
}

bool UndoHistory::swap(Step &step, bool undo)
{
    TQnRTFTextInput &d = document_;
    if (paragraphCount(d) != step.DocumentNow ||
        rangeHash(d, step.First, step.CountNow) != step.TextHash)
        return false;

    // The range as it is now becomes the step's. A large one leaves the
    // document whole, so that a later swap links it back without building,
    // measuring or breaking it again; a small one is copied compactly.
    TParagraph *before = step.First > 0 ? paragraphAt(d, step.First - 1) : nullptr;
    TParagraph *oldFirst = before ? before->Next : d.FirstParagraph;
    TParagraph *oldLast = nullptr;
    bool numbered = false;
    size_t oldBytes = 0;
    {
        TParagraph *p = oldFirst;
        for (int i = 0; i < step.CountNow && p; ++i, p = p->Next) {
            numbered = numbered || p->Numbering;
            oldBytes += liveBytes(*p);
            oldLast = p;
        }
    }
    // Never so large that keeping it would push the step itself out.
    const bool keepLive = step.CountNow >= LiveParagraphs && oldBytes <= Limit / 2;
    std::vector<ParagraphCopy> now;
    if (!keepLive) {
        now.reserve(step.CountNow);
        TParagraph *p = oldFirst;
        for (int i = 0; i < step.CountNow && p; ++i, p = p->Next)
            now.emplace_back(*p);
        oldBytes = 0;
    }
    // What comes back: the paragraphs kept by the last swap, or the copy.
    TParagraph *chainFirst = nullptr, *chainLast = nullptr;
    int incoming = 0;
    if (step.Live) {
        const bool relayout = step.LiveLayout != layoutKey(d);
        for (TParagraph *p = step.Live; p; p = p->Next) {
            numbered = numbered || p->Numbering;
            if (relayout)
                p->State |= kStateRebreak | kStateRepaint;
            chainLast = p;
        }
        chainFirst = step.Live;
        incoming = step.LiveCount;
        step.Live = nullptr;
    } else {
        try {
            for (const ParagraphCopy &c : step.Saved) {
                TParagraph *p = c.Build(d);
                numbered = numbered || p->Numbering;
                if (!chainFirst)
                    chainFirst = p;
                else {
                    chainLast->Next = p;
                    p->Prev = chainLast;
                }
                chainLast = p;
            }
        } catch (...) {
            TQnRTFText::FreeParagraphChain(chainFirst);
            return false;
        }
        incoming = static_cast<int>(step.Saved.size());
    }
    // Nothing may point into the paragraphs that go.
    d.DropBlock();
    TParagraph *after = oldLast ? oldLast->Next : oldFirst;
    if (oldLast) {
        oldFirst->Prev = nullptr;
        oldLast->Next = nullptr;
    } else {
        oldFirst = nullptr;
    }
    TParagraph *newFirst = chainFirst ? chainFirst : after;
    if (before)
        before->Next = newFirst;
    else
        d.FirstParagraph = newFirst;
    if (chainFirst) {
        chainFirst->Prev = before;
        chainLast->Next = after;
    }
    if (after)
        after->Prev = chainLast ? chainLast : before;
    if (!d.FirstParagraph) {
        TParagraph *none = nullptr;
        d.FirstParagraph = d.NewParagraph(none, 8);
    }
    d.Cursor = TTextPos{d.FirstParagraph, d.FirstParagraph->Lines, 0};

    if (keepLive) {
        step.Live = oldFirst;
        step.LiveCount = step.CountNow;
        step.LiveLayout = layoutKey(d);
        step.Saved.clear();
        step.Saved.shrink_to_fit();
    } else {
        TQnRTFText::FreeParagraphChain(oldFirst);
        step.Saved = std::move(now);
    }
    step.LiveBytes = oldBytes;
    step.DocumentNow += incoming - step.CountNow;
    step.CountNow = incoming;
    bytes_ -= step.Bytes;
    step.Count();
    bytes_ += step.Bytes;

    if (numbered && !d.PlainMode)
        d.Renumber();
    const SideState &side = undo ? *step.SideBefore : *step.SideAfter;
    side.RestoreTo(d);
    lastSide_ = undo ? step.SideBefore : step.SideAfter;
    d.FormatAll();
    PlaceSelection(d, undo ? step.SelectionBefore : step.SelectionAfter);
    d.SetCurrentAttr(undo ? step.AttrBefore : step.AttrAfter);
    step.TextHash = rangeHash(d, step.First, step.CountNow);
    return true;
}

} // namespace qn
