#include "platform/code_pages.h"

#include "platform/ansi.h"
#include "platform/unicode_text.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <array>
#include <map>
#include <mutex>

namespace qn {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct CharsetCodePage {
    int charset;
    int codePage;
};

// RTF's \fcharset values with a code page of their own.
constexpr CharsetCodePage kCharsets[] = {
    {0, 1252},   {77, 10000}, {78, 10001}, {79, 10003}, {80, 10008}, {81, 10002},
    {83, 10005}, {84, 10004}, {85, 10006}, {86, 10081}, {87, 10021}, {88, 10029},
    {89, 10007}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
    {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
    {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 437},
};

struct CodePageName {
    int codePage;
    const char *converter;
};

// ICU's converters for the Windows code page numbers. 1252 is decoded by
// ansi.h and needs none.
constexpr CodePageName kConverters[] = {
    {874, "windows-874-2000"},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {1253, "windows-1253"},
    {1254, "windows-1254"},
    {1255, "windows-1255"},
    {1256, "windows-1256"},
    {1257, "windows-1257"},
    {1258, "windows-1258"},
    {932, "ibm-943_P15A-2003"}, // Windows-31J, the Windows Shift-JIS
    {936, "windows-936-2000"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {437, "ibm-437_P100-1995"},
    {850, "ibm-850_P100-1995"},
    {866, "ibm-866_P100-1995"},
    {10000, "macintosh"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10029, "x-mac-centraleurroman"},
    {10081, "x-mac-turkish"},
    {20866, "KOI8-R"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {38598, "ISO-8859-8"}, // the same bytes, in logical order
    {28599, "ISO-8859-9"},
    {28600, "ISO-8859-10"},
    {28601, "ISO-8859-11"},
    {28603, "ISO-8859-13"},
    {28604, "ISO-8859-14"},
    {28605, "ISO-8859-15"},
    {20932, "EUC-JP"},
    {51932, "EUC-JP"},
    {50220, "ISO-2022-JP"},
    {54936, "GB18030"},
    {kCodePageUtf8, "UTF-8"},
    {kCodePageUtf16LE, "UTF-16LE"},
    {kCodePageUtf16BE, "UTF-16BE"},
};

const char *converterName(int codePage)
{
    for (const CodePageName &entry : kConverters)
        if (entry.codePage == codePage)
            return entry.converter;
    return nullptr;
}

// Whatever the converter's own substitution would be (some write U+001A for
// an unmapped single byte), a byte or sequence that gives no character gives
// U+FFFD.
void writeReplacement(const void *, UConverterToUnicodeArgs *args, const char *, int32_t,
                      UConverterCallbackReason reason, UErrorCode *error)
{
    if (reason > UCNV_IRREGULAR)
        return;
    const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

struct ConverterCloser {
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using ConverterPointer = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPointer openConverter(int codePage)
{
    const char *name = converterName(codePage);
    if (!name)
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    ConverterPointer converter(ucnv_open(name, &status));
    if (U_FAILURE(status))
        return nullptr;
    ucnv_setToUCallBack(converter.get(), writeReplacement, nullptr, nullptr, nullptr, &status);
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

std::u32string convert(UConverter *converter, std::string_view bytes, bool flush)
{
    // Most calls bring a byte or two (RTF gives a double-byte character as
    // two escapes): their characters fit a buffer on the stack.
    UChar first[64];
    UChar *target = first;
    const char *source = bytes.data();
    const char *sourceEnd = source + bytes.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, first + std::size(first), &source, sourceEnd, nullptr, flush,
                   &status);
    std::u16string units(first, target);
    while (status == U_BUFFER_OVERFLOW_ERROR) {
        const size_t done = units.size();
        units.resize(done + (sourceEnd - source) * 2 + 8);
        UChar *start = reinterpret_cast<UChar *>(units.data());
        target = start + done;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(converter, &target, start + units.size(), &source, sourceEnd, nullptr, flush,
                       &status);
        units.resize(static_cast<size_t>(target - start));
    }
    if (U_FAILURE(status)) {
        units += u'\uFFFD'; // never silently shorter
        ucnv_resetToUnicode(converter);
    }
    return unicode::FromUtf16(units);
}

// What the code pages are made of, worked out once from ICU's converters:
// for a single-byte page the character of every byte.
struct CodePageShape {
    bool supported = false;
    bool singleByte = false;
    std::array<char32_t, 256> characters{};
};

CodePageShape makeShape(int codePage)
{
    CodePageShape shape;
    if (codePage == 1252) {
        shape.supported = shape.singleByte = true;
        for (int b = 0; b < 256; ++b)
            shape.characters[b] = AnsiToUnicode(static_cast<unsigned char>(b));
        return shape;
    }
    ConverterPointer converter = openConverter(codePage);
    if (!converter)
        return shape;
    shape.supported = true;
    shape.singleByte = ucnv_getMaxCharSize(converter.get()) == 1;
    for (int b = 0; shape.singleByte && b < 256; ++b) {
        const char byte = static_cast<char>(b);
        ucnv_resetToUnicode(converter.get());
        const std::u32string one = convert(converter.get(), std::string_view(&byte, 1), true);
        shape.characters[b] = one.size() == 1 ? one[0] : kReplacement;
    }
    return shape;
}

const CodePageShape &shapeOf(int codePage)
{
    // Numbers no converter has share one shape, so that a file naming
    // thousands of them keeps no table for each.
    static const CodePageShape unsupported;
    if (codePage != 1252 && !converterName(codePage))
        return unsupported;
    static std::mutex mutex;
    static std::map<int, CodePageShape> shapes;
    std::lock_guard lock(mutex);
    auto found = shapes.find(codePage);
    if (found == shapes.end())
        found = shapes.emplace(codePage, makeShape(codePage)).first;
    return found->second; // map nodes never move
}

} // namespace

std::optional<int> CodePageOfCharset(int rtfCharset)
{
    for (const CharsetCodePage &entry : kCharsets)
        if (entry.charset == rtfCharset)
            return entry.codePage;
    return std::nullopt;
}

bool IsSupportedCodePage(int codePage)
{
    return shapeOf(codePage).supported;
}

struct CodePageDecoder::Converter {
    const CodePageShape *shape = nullptr;
    ConverterPointer icu; // multi-byte pages only
};

CodePageDecoder::CodePageDecoder(int codePage)
    : codePage_(codePage), converter_(std::make_unique<Converter>())
{
    const CodePageShape *shape = &shapeOf(codePage);
    if (!shape->supported)
        shape = &shapeOf(1252);
    converter_->shape = shape;
    if (!shape->singleByte)
        converter_->icu = openConverter(codePage);
}

CodePageDecoder::~CodePageDecoder() = default;
CodePageDecoder::CodePageDecoder(CodePageDecoder &&) noexcept = default;
CodePageDecoder &CodePageDecoder::operator=(CodePageDecoder &&) noexcept = default;

std::u32string CodePageDecoder::Feed(unsigned char b)
{
    const char byte = static_cast<char>(b);
    return Feed(std::string_view(&byte, 1));
}

std::u32string CodePageDecoder::Feed(std::string_view bytes)
{
    if (!converter_->icu) {
        std::u32string out;
        out.reserve(bytes.size());
        for (char ch : bytes)
            out += converter_->shape->characters[static_cast<unsigned char>(ch)];
        return out;
    }
    return convert(converter_->icu.get(), bytes, false);
}

std::u32string CodePageDecoder::Flush()
{
    if (!converter_->icu)
        return {};
    return convert(converter_->icu.get(), {}, true);
}

std::u32string DecodeCodePage(int codePage, std::string_view bytes)
{
    CodePageDecoder decoder(codePage);
    std::u32string out = decoder.Feed(bytes);
    out += decoder.Flush();
    return out;
}

} // namespace qn
