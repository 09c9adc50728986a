// The tokenizer of the RTF reader: bytes to groups, control words and
// symbols, characters, hex bytes, binary data and raw RTF, each handed to
// the reader's dispatch.

#include "richtext/io/rtf_reader.h"

#include "richtext/io/rtf_control_words.h"

namespace qn {

using namespace rtf;

namespace {

constexpr char kRawClose[] = "\\qnrtf0";
constexpr int kRawCloseLength = 7;

} // namespace

int TQnRtfReader::parse()
{
    uint8_t c;
    while (!stop_ && NextByte(c)) {
        if (input_ == kBinary) {
            dispatch(c);
            if (--binaryLeft_ <= 0)
                input_ = kNormal;
            continue;
        }
        if (c == 0)
            break;
        if (dest_ == kPictureData && input_ == kNormal) {
            const int v = HexDigitValue(c);
            if (v >= 0) {
                if (hexHigh_ < 0) {
                    hexHigh_ = v;
                } else {
                    if (pictureData_.size() < kMaxPictureBytes)
                        pictureData_.push_back(static_cast<uint8_t>(hexHigh_ << 4 | v));
                    else
                        pictureTooLarge_ = true;
                    hexHigh_ = -1;
                }
                continue;
            }
        }
        if (input_ == kQuoted) {
            dispatch(c);
            continue;
        }
        if (raw_) {
            rawByte(c);
            continue;
        }
        switch (c) {
        case 9:
            // A literal tab in the text is a tab (some writers put no \tab);
            // elsewhere it only separates words.
            if (dest_ == kText)
                dispatch(9);
            break;
        case 10:
        case 13:
            break;
        case '\\':
            if (int r = controlWord())
                return r;
            break;
        case '{':
            pushGroup();
            break;
        case '}':
            popGroup();
            break;
        default:
            dispatch(c);
        }
    }
    flushText();
    if (raw_)
        for (int i = 0; i < rawMatch_; ++i)
            character(static_cast<uint8_t>(kRawClose[i]), false);
    return kReadOk;
}

void TQnRtfReader::rawByte(uint8_t c)
{
    if (c == static_cast<uint8_t>(kRawClose[rawMatch_])) {
        if (++rawMatch_ == kRawCloseLength) {
            raw_ = false;
            rawMatch_ = 0;
            attr_.Style &= ~kStyleRtfCode;
        }
        return;
    }
    for (int i = 0; i < rawMatch_; ++i)
        character(static_cast<uint8_t>(kRawClose[i]), false);
    rawMatch_ = 0;
    if (c == static_cast<uint8_t>(kRawClose[0]))
        rawMatch_ = 1;
    else
        character(c, false);
}

// ---------------------------------------------------------------------------
// Control words

int TQnRtfReader::hexByte(bool lenient)
{
    // A byte that is not a hex digit: where the text is skipped anyway it is
    // read again as ordinary input, elsewhere it ends the reading.
    const auto notHex = [&] {
        if (lenient)
            PushBack();
        else
            stop_ = true;
        return kReadOk;
    };
    uint8_t a, b;
    if (!NextByte(a))
        return kReadFailed;
    const int hi = HexDigitValue(a);
    if (hi < 0)
        return notHex();
    if (!NextByte(b))
        return kReadFailed;
    const int lo = HexDigitValue(b);
    if (lo < 0)
        return notHex();
    dispatch(static_cast<uint8_t>(hi << 4 | lo));
    return kReadOk;
}

int TQnRtfReader::controlWord()
{
    uint8_t c;
    if (!NextByte(c))
        return kReadFailed;
    if (!IsWordLetter(c)) {
        // A control symbol.
        if (c == '\'')
            return hexByte(dest_ == kSkip);
        if (c == '\r') {
            // A backslash before CR LF is one paragraph end, not two.
            uint8_t next;
            if (NextByte(next) && next != '\n')
                PushBack();
        }
        if (dest_ == kSkip && c != '*')
            return kReadOk;
        if (c == '\n' || c == '\r') {
            // A backslash before a line end is \par (how some writers end
            // every paragraph).
            skipIfUnknown_ = false;
            act(*FindControlWord("par"), false, 0);
            return kReadOk;
        }
        const ControlWord *w = FindControlSymbol(c);
        if (!w)
            return kReadOk;
        if (w->Class == WordClass::Special) {
            if (w->Action == sStar)
                skipIfUnknown_ = true;
            return kReadOk;
        }
        skipIfUnknown_ = false;
        if (w->Class == WordClass::Character && w->Action != 0)
            dispatch(w->Action, false, w->Action >= 0x80);
        return kReadOk;
    }
    char name[32];
    int length = 0;
    do {
        if (length < 31)
            name[length] = static_cast<char>(c);
        ++length;
        if (!NextByte(c))
            return kReadFailed;
    } while (IsWordLetter(c));
    bool negative = false, hasParam = false;
    int64_t value = 0;
    if (c == '-') {
        negative = true;
        if (!NextByte(c))
            return kReadFailed;
    }
    int digits = 0;
    while (c >= '0' && c <= '9') {
        hasParam = true;
        if (digits++ < 19 && value < (int64_t(1) << 40))
            value = value * 10 + (c - '0');
        if (!NextByte(c))
            return kReadFailed;
    }
    if (c != ' ')
        PushBack();
    if (negative)
        value = -value;
    const auto param = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));

    const ControlWord *w = length <= 29 ? FindControlWord(std::string_view(name, length)) : nullptr;
    if (dest_ == kSkip) {
        // Nothing in a skipped group counts but the length of binary data.
        if (w && w->Class == WordClass::Special && w->Action == sBinary && hasParam && param > 0) {
            input_ = kBinary;
            binaryLeft_ = param;
        }
        return kReadOk;
    }
    if (!w) {
        if (skipIfUnknown_) {
            skipGroup();
            skipIfUnknown_ = false;
        }
        return kReadOk;
    }
    skipIfUnknown_ = false;
    act(*w, hasParam, param);
    return kReadOk;
}

} // namespace qn
