#include "richtext/edit/text_finder.h"

#include <algorithm>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/model/rtf_text.h"

namespace qn {

namespace {

constexpr int kMaxPart = 255;        // longest head or tail
constexpr int kEscapePollEvery = 30; // replacements between two looks at Escape

} // namespace

TQnTextFinder::TQnTextFinder(TQnRTFText *document)
{
    SetDocument(document);
}

void TQnTextFinder::SetDocument(TQnRTFText *document)
{
    document_ = document;
    Reset();
}

// ---------------------------------------------------------------------------
// Position

int TQnTextFinder::SetPosition(int position)
{
    found_ = false;
    foundLength_ = 0;
    paragraph_ = document_ ? document_->FirstParagraph : nullptr;
    paragraphStart_ = 0;
    offset_ = 0;
    if (!paragraph_)
        return 0;
    position = std::max(position, 0);
    int length = paragraph_->TextLength();
    while (position > length && paragraph_->Next) {
        position -= length + 1;
        paragraphStart_ += length + 1;
        paragraph_ = paragraph_->Next;
        length = paragraph_->TextLength();
    }
    offset_ = std::min(position, length);
    return paragraphStart_;
}

void TQnTextFinder::syncPosition()
{
    // The document may have been edited or cleared since the last search:
    // find the paragraph again (or place by the old absolute position) so
    // that no stale record is used and ParagraphStart stays true.
    int start = 0;
    for (TParagraph *p = document_ ? document_->FirstParagraph : nullptr; p; p = p->Next) {
        const int length = p->TextLength();
        if (p == paragraph_) {
            paragraphStart_ = start;
            offset_ = std::clamp(offset_, 0, length);
            return;
        }
        start += length + 1;
    }
    SetPosition(paragraphStart_ + offset_);
}

void TQnTextFinder::Reset()
{
    found_ = false;
    foundPosition_ = 0;
    foundLength_ = 0;
    backward_ = false;
    count_ = 0;
    replaceText_.clear();
    ReplaceAttr = TCharAttr{};
    Opts = Options{};
    MatchAttr = TCharAttr{};
    KeepPosition = false;
    SetPosition(0);
}

// ---------------------------------------------------------------------------
// Characters

bool TQnTextFinder::IsDelimiter(char32_t ch)
{
    // Beyond the code page a word is letters, marks and digits.
    const int code = AnsiCode(ch);
    if (code < 0)
        return !unicode::IsWordChar(ch);
    ch = static_cast<char32_t>(code);
    const bool letter = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == 138 ||
                        ch == 140 || ch == 154 || ch == 156 || ch == 159 || ch >= 192;
    return !letter;
}

bool TQnTextFinder::attrAgrees(const TCharAttr &want, const TCharAttr &have) const
{
    const uint16_t m = Opts.AttrMatch;
    const auto tagAgrees = [&] { return Opts.MatchTag == 0 || have.Tag == Opts.MatchTag; };
    if ((m & kMatchFont) && have.FontIndex != want.FontIndex)
        return false;
    if ((m & kMatchSize) && have.Size != want.Size)
        return false;
    if ((m & kMatchBold) && !(have.Style & kStyleBold))
        return false;
    if ((m & kMatchUnderline) && !(have.Style & kStyleUnderline))
        return false;
    if ((m & kMatchItalic) && !(have.Style & kStyleItalic))
        return false;
    if ((m & kMatchDoubleUnderline) && !(have.Style & kStyleDoubleUnderline))
        return false;
    if ((m & kMatchTextColor) && have.TextColor() != want.TextColor())
        return false;
    if ((m & kMatchBackColor) && have.BackColor() != want.BackColor())
        return false;
    if ((m & kMatchObject) && (!(have.Style & kStyleObject) || !tagAgrees()))
        return false;
    if ((m & kMatchInsertPoint) && (!(have.Style & kStyleInsertPoint) || !tagAgrees()))
        return false;
    return true;
}

bool TQnTextFinder::CharMatches(char32_t textChar, char32_t patternChar,
                                const TCharAttr *patternAttr, const TCharAttr *textAttr)
{
    if (Opts.AttrMatch != 0 && patternAttr && textAttr && !attrAgrees(*patternAttr, *textAttr))
        return false;
    if (Opts.Wildcard != 0 && patternChar == AnsiToUnicode(Opts.Wildcard))
        return true;
    if (Opts.CaseSensitive == 1)
        return textChar == patternChar;
    return textChar == patternChar || unicode::FoldCase(textChar) == unicode::FoldCase(patternChar);
}

bool TQnTextFinder::passesFilter(const TCharAttr *attr) const
{
    return Opts.AttrMatch == 0 || !attr || attrAgrees(MatchAttr, *attr);
}

// ---------------------------------------------------------------------------
// Matching inside one paragraph

void TQnTextFinder::setPattern(std::u32string_view pattern)
{
    pattern_.assign(pattern.substr(0, kMaxFinderPattern));
    const size_t wild =
        Opts.Wildcard ? pattern.find(AnsiToUnicode(Opts.Wildcard)) : std::u32string_view::npos;
    hasWildcard_ = wild != std::u32string_view::npos && wild <= static_cast<size_t>(kMaxPart);
    if (hasWildcard_) {
        head_.assign(pattern.substr(0, wild));
        tail_.assign(pattern.substr(wild + 1, kMaxPart));
    } else {
        head_.assign(pattern.substr(0, kMaxPart));
        tail_.clear();
    }
}

void TQnTextFinder::loadParagraph(const TParagraph *paragraph)
{
    text_.chars.clear();
    text_.attrs.clear();
    const bool rich = document_->IsRich();
    for (const TLine *line = paragraph->Lines; line; line = line->Next) {
        text_.chars.insert(text_.chars.end(), line->Text, line->Text + line->Length);
        if (rich)
            for (int i = 0; i < line->Length; ++i)
                text_.attrs.push_back(line->Attrs ? &line->Attrs[i] : nullptr);
    }
    tailCache_ = TailCache{};
}

bool TQnTextFinder::matchesAt(const std::u32string &part, int position)
{
    const int length = static_cast<int>(part.size());
    if (position < 0 || position + length > text_.size())
        return false;
    for (int i = 0; i < length; ++i)
        if (!CharMatches(text_.chars[position + i], part[i], &MatchAttr, text_.attr(position + i)))
            return false;
    return true;
}

bool TQnTextFinder::wholeWordStart(int i)
{
    return i < text_.size() && !IsDelimiter(text_.chars[i]) &&
           (i == 0 || IsDelimiter(text_.chars[i - 1]));
}

bool TQnTextFinder::wholeWordEnd(int i)
{
    return i >= text_.size() || IsDelimiter(text_.chars[i]);
}

// A character a wildcard run may hold: a letter for words, else one that
// passes the attribute filter and is not EndChar.
bool TQnTextFinder::runChar(int i)
{
    if (wordMode())
        return !IsDelimiter(text_.chars[i]);
    return passesFilter(text_.attr(i)) && text_.chars[i] != AnsiToUnicode(Opts.EndChar);
}

bool TQnTextFinder::isRunStart(int i, bool searchStart)
{
    if (i >= text_.size() || !runChar(i))
        return false;
    if (searchStart || i == 0)
        return true;
    if (!wordMode())
        return !runChar(i - 1);
    if (!IsDelimiter(text_.chars[i - 1]))
        return false;
    // An apostrophe between letters belongs to the word.
    return !(text_.chars[i - 1] == '\'' && i >= 2 && !IsDelimiter(text_.chars[i - 2]));
}

int TQnTextFinder::takeRun(int from, int wordStart)
{
    const int n = text_.size();
    int i = from;
    if (!wordMode()) {
        while (i < n && runChar(i))
            ++i;
        return i;
    }
    while (i < n) {
        if (!IsDelimiter(text_.chars[i]))
            ++i;
        else if (text_.chars[i] == '\'' && i > wordStart && i + 1 < n &&
                 !IsDelimiter(text_.chars[i + 1]))
            ++i;
        else
            break;
    }
    return i;
}

int TQnTextFinder::firstTail(int from, int limit, bool cached)
{
    const int length = static_cast<int>(tail_.size());
    const bool whole = Opts.WholeWord != 0;
    const auto tailAt = [&](int p) {
        return p + length <= limit && matchesAt(tail_, p) && (!whole || wholeWordEnd(p + length));
    };
    if (!cached) {
        for (int p = from; p + length <= limit; ++p)
            if (tailAt(p))
                return p;
        return -1;
    }
    // The first occurrence at or after `from` is the same for every `from`
    // between a remembered query and its answer; scan only what is new.
    TailCache &c = tailCache_;
    if (c.from >= 0 && from >= c.from && (c.at < 0 || from <= c.at))
        return c.at;
    const bool below = c.from >= 0 && from < c.from;
    const int stop = below ? c.from : limit;
    int result = below ? c.at : -1;
    for (int p = from; p < stop; ++p)
        if (tailAt(p)) {
            result = p;
            break;
        }
    c = TailCache{from, result};
    return result;
}

bool TQnTextFinder::tryAt(int start, bool searchStart, Match &match)
{
    const bool whole = Opts.WholeWord != 0;
    const int headLength = static_cast<int>(head_.size());
    const int tailLength = static_cast<int>(tail_.size());
    if (headLength > 0) {
        if (whole && !wholeWordStart(start))
            return false;
        if (!matchesAt(head_, start))
            return false;
        const int headEnd = start + headLength;
        if (!hasWildcard_) {
            if (whole && !wholeWordEnd(headEnd))
                return false;
            match = {start, headEnd};
            return true;
        }
        if (tailLength > 0) {
            const int tail = firstTail(headEnd, text_.size(), true);
            if (tail < 0)
                return false;
            match = {start, tail + tailLength};
            return true;
        }
        // A trailing wildcard goes on with the run the head ends in.
        const int end = takeRun(headEnd, start);
        if (whole && !wholeWordEnd(end))
            return false;
        match = {start, end};
        return true;
    }
    // The pattern begins with the wildcard: a run, and the tail inside it.
    if (!isRunStart(start, searchStart) || (whole && !wholeWordStart(start)))
        return false;
    const int runEnd = takeRun(start, start);
    if (tailLength == 0) {
        if (runEnd <= start || (whole && !wholeWordEnd(runEnd)))
            return false;
        match = {start, runEnd};
        return true;
    }
    const int tail = firstTail(start, runEnd, false);
    if (tail < 0)
        return false;
    match = {start, tail + tailLength};
    return true;
}

void TQnTextFinder::setFound(const Match &match)
{
    found_ = true;
    offset_ = match.start;
    foundPosition_ = paragraphStart_ + match.start;
    foundLength_ = match.end - match.start;
}

// ---------------------------------------------------------------------------
// Searching

bool TQnTextFinder::searchForward()
{
    found_ = false;
    foundLength_ = 0;
    if (!paragraph_ || (head_.empty() && !hasWildcard_))
        return false;
    TParagraph *par = paragraph_;
    int start = paragraphStart_;
    int from = std::max(offset_, 0);
    bool first = true;
    while (par) {
        loadParagraph(par);
        for (int s = from; s < text_.size(); ++s) {
            Match match;
            if (tryAt(s, first && s == from, match)) {
                paragraph_ = par;
                paragraphStart_ = start;
                setFound(match);
                return true;
            }
        }
        start += text_.size() + 1;
        par = par->Next;
        from = 0;
        first = false;
    }
    return false;
}

bool TQnTextFinder::searchBackward()
{
    found_ = false;
    foundLength_ = 0;
    if (!paragraph_ || (head_.empty() && !hasWildcard_))
        return false;
    TParagraph *par = paragraph_;
    int start = paragraphStart_;
    int from = offset_;
    while (par) {
        loadParagraph(par);
        for (int s = std::min(from, text_.size() - 1); s >= 0; --s) {
            Match match;
            if (tryAt(s, false, match)) {
                paragraph_ = par;
                paragraphStart_ = start;
                setFound(match);
                return true;
            }
        }
        par = par->Prev;
        if (par) {
            const int length = par->TextLength();
            start -= length + 1;
            from = length - 1; // entered at its last character
        }
    }
    return false;
}

bool TQnTextFinder::SearchForward(std::u32string_view pattern)
{
    if (!document_ || pattern.empty())
        return false;
    syncPosition();
    setPattern(pattern);
    return searchForward();
}

bool TQnTextFinder::SearchBackward(std::u32string_view pattern)
{
    if (!document_ || pattern.empty())
        return false;
    syncPosition();
    setPattern(pattern);
    return searchBackward();
}

bool TQnTextFinder::FindNext(std::u32string_view pattern)
{
    if (!document_ || !document_->FirstParagraph || pattern.empty())
        return false;
    syncPosition();
    if (!KeepPosition)
        SetPosition(paragraphStart_ + offset_ + foundLength_);
    offset_ += foundLength_;
    found_ = false;
    backward_ = false;
    setPattern(pattern);
    return searchForward();
}

bool TQnTextFinder::FindPrev(std::u32string_view pattern)
{
    if (!document_ || !document_->FirstParagraph || pattern.empty())
        return false;
    syncPosition();
    const int old = offset_;
    --offset_;
    backward_ = true;
    setPattern(pattern);
    if (!KeepPosition) {
        const int position = paragraphStart_ + old - 1;
        if (position < 0) {
            // Nothing lies before the start; searching from 0 again would
            // report the same match for ever.
            found_ = false;
            foundLength_ = 0;
            offset_ = 0;
            return false;
        }
        SetPosition(position);
    }
    found_ = false;
    return searchBackward();
}

// ---------------------------------------------------------------------------
// Replacing

bool TQnTextFinder::mayReplace() const
{
    if (!document_ || !paragraph_)
        return false;
    if (const auto *io = dynamic_cast<const TQnRTFTextIo *>(document_); io && io->ReadOnly)
        return false;
    return !isGuardedRange(paragraph_, offset_, foundLength_);
}

bool TQnTextFinder::isGuardedRange(TParagraph *paragraph, int offset, int count) const
{
    if (document_->IsGuarded(paragraph, nullptr, 0))
        return true;
    int at = 0;
    for (const TLine *line = paragraph->Lines; line && at < offset + count; line = line->Next) {
        for (int i = 0; i < line->Length; ++i, ++at)
            if (at >= offset && at < offset + count && document_->IsGuarded(paragraph, line, i))
                return true;
    }
    return false;
}

void TQnTextFinder::replaceFound(std::u32string_view text)
{
    if (KeepMatchLook) {
        // The replacement takes the look of the first character it replaces.
        int at = offset_;
        for (const TLine *line = paragraph_->Lines; line; line = line->Next) {
            if (at < line->Length) {
                if (line->Attrs)
                    ReplaceAttr = line->Attrs[at];
                break;
            }
            at -= line->Length;
        }
    }
    document_->DeleteText(paragraph_, offset_, foundLength_);
    document_->InsertText(paragraph_, offset_, &ReplaceAttr, text);
    foundLength_ = static_cast<int>(text.size());
    replaceText_.assign(text);
    LastReplacedEnd = paragraphStart_ + offset_ + foundLength_;
    TextReplaced(paragraph_);
}

bool TQnTextFinder::ReplaceFound(std::u32string_view text)
{
    if (!found_ || !document_)
        return false;
    syncPosition();
    if (!found_ || !mayReplace())
        return false;
    replaceFound(text);
    document_->Changed();
    return true;
}

int TQnTextFinder::ReplaceAll(std::u32string_view pattern, std::u32string_view replacement)
{
    count_ = 0;
    if (!document_ || !document_->FirstParagraph || pattern.empty())
        return 0;
    if (const auto *io = dynamic_cast<const TQnRTFTextIo *>(document_); io && io->ReadOnly)
        return 0;
    syncPosition();
    if (!KeepPosition)
        SetPosition(paragraphStart_ + offset_ + foundLength_);
    offset_ += foundLength_;
    found_ = false;
    backward_ = false;
    setPattern(pattern);
    while (searchForward()) {
        if (!mayReplace()) {
            offset_ += foundLength_;
            continue;
        }
        replaceFound(replacement);
        // Skipping the new text keeps a replacement that holds the pattern
        // from being found again.
        offset_ += foundLength_;
        ++count_;
        if (count_ % kEscapePollEvery == 0 && EscapePressed && EscapePressed())
            break;
    }
    if (count_ > 0)
        document_->Changed();
    return count_;
}

void TQnTextFinder::TextReplaced(TParagraph *paragraph)
{
    // The primitives keep every line record alive but may shorten lines; a
    // cursor or block end on them must not point past a line's end.
    auto *io = dynamic_cast<TQnRTFTextIo *>(document_);
    if (!io)
        return;
    for (TTextPos *pos : {&io->Cursor, &io->BlockAnchor, &io->BlockEnd})
        if (pos->Paragraph == paragraph && pos->Line && pos->Offset > pos->Line->Length)
            pos->Offset = pos->Line->Length;
}

std::u32string TQnTextFinder::FoundText() const
{
    if (!found_ || !paragraph_ || foundLength_ <= 0)
        return {};
    std::u32string text(foundLength_ + 1, U'\0');
    const int copied = TQnRTFText::CopyText(paragraph_, offset_, text.data(), foundLength_);
    text.resize(std::max(copied, 0));
    return text;
}

} // namespace qn
