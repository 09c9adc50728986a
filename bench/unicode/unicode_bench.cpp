// The costs of the Unicode rules the editor and the finder call in their
// loops:
//  - FoldCase through its table (and the first call, which builds it), over Latin, Greek, Cyrillic
//  and CJK text,
//    beside ICU's u_foldCase called for every character;
//  - IsGraphemeBoundary at every position, and walks with Next/Previous
//    over a whole line of 10,000 characters: plain Latin (the fast path),
//    Latin with a combining accent on every tenth letter, and a line of
//    emoji with skin tones; beside one ICU break iterator set on the whole
//    line for every call (what a call would cost without the window);
//  - a new CodePageDecoder, and feeding it 1 MB one byte at a time, for a
//    single-byte (1250) and a double-byte (932) code page.
// Plain main: prints the median nanoseconds per character of the given
// number of rounds (default 15), in CPU time of this thread.
#include "platform/code_pages.h"
#include "platform/unicode_text.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

using namespace qn;

namespace {

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The median over rounds of the CPU nanoseconds per item.
double median(int rounds, size_t items, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const double start = cpuSeconds();
        work();
        times.push_back((cpuSeconds() - start) * 1e9 / double(items));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

volatile uint64_t sink; // keeps the results alive

// The sample over and over, cut to the length.
std::u32string repeated(const std::u32string &sample, size_t length)
{
    std::u32string text;
    while (text.size() < length)
        text += sample;
    text.resize(length);
    return text;
}

std::u32string mixedText(size_t length)
{
    return repeated(U"Zażółć gęślą jaźń ΑΘΉΝΑ αθήνα Москва 東京 日本語 The Quick Fox ", length);
}

std::u32string latinLine(size_t length, size_t accentEvery)
{
    const std::u32string words = U"the quick brown fox jumps over the lazy dog ";
    std::u32string line;
    for (size_t k = 0; line.size() < length; ++k) {
        line += words[k % words.size()];
        if (accentEvery && k % accentEvery == accentEvery - 1)
            line += U'\u0301';
    }
    line.resize(length);
    return line;
}

std::u32string emojiLine(size_t length)
{
    return repeated(U"\U0001F44D\U0001F3FD \U0001F468\u200D\U0001F469\u200D\U0001F467 ", length);
}

void benchFold(int rounds)
{
    const std::u32string text = mixedText(1000000);
    const double buildStart = cpuSeconds();
    sink = unicode::FoldCase(U'A'); // the first call builds the table
    const double build = (cpuSeconds() - buildStart) * 1e3;
    const double table = median(rounds, text.size(), [&] {
        uint64_t sum = 0;
        for (char32_t c : text)
            sum += unicode::FoldCase(c);
        sink = sum;
    });
    const double icu = median(rounds, text.size(), [&] {
        uint64_t sum = 0;
        for (char32_t c : text)
            sum += static_cast<uint64_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
        sink = sum;
    });
    std::printf("FoldCase, 1M mixed characters: table %.2f ns/char, u_foldCase %.2f ns/char "
                "(table built in %.2f ms)\n",
                table, icu, build);
}

void benchLine(const char *name, const std::u32string &line, int rounds)
{
    const double boundary = median(rounds, line.size(), [&] {
        uint64_t count = 0;
        for (size_t pos = 0; pos <= line.size(); ++pos)
            count += unicode::IsGraphemeBoundary(line, pos);
        sink = count;
    });
    const double next = median(rounds, line.size(), [&] {
        uint64_t count = 0;
        for (size_t pos = 0; pos < line.size(); pos = unicode::NextGraphemeBoundary(line, pos))
            ++count;
        sink = count;
    });
    const double previous = median(rounds, line.size(), [&] {
        uint64_t count = 0;
        for (size_t pos = line.size(); pos > 0; pos = unicode::PreviousGraphemeBoundary(line, pos))
            ++count;
        sink = count;
    });
    std::printf("%-34s IsGraphemeBoundary %7.1f ns/pos, Next walk %7.1f ns/char, Previous walk "
                "%7.1f ns/char\n",
                name, boundary, next, previous);
}

// One call as it would cost with ICU set on the whole line each time.
void benchWholeLine(const std::u32string &line, int rounds)
{
    const std::u16string units = unicode::ToUtf16(line);
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator *it = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    const size_t calls = 1000;
    const double perCall = median(rounds, calls, [&] {
        uint64_t count = 0;
        for (size_t k = 0; k < calls; ++k) {
            const std::u16string copy = unicode::ToUtf16(line);
            UErrorCode s = U_ZERO_ERROR;
            ubrk_setText(it, reinterpret_cast<const UChar *>(copy.data()),
                         static_cast<int32_t>(copy.size()), &s);
            count += ubrk_isBoundary(it, static_cast<int32_t>(k * 7 % units.size()));
        }
        sink = count;
    });
    ubrk_close(it);
    std::printf("%-34s %.0f ns per call\n", "whole line to ICU per call:", perCall);
}

// What an RTF reader pays: a decoder per font change, and \'xx bytes fed
// one at a time.
void benchDecoders(int rounds)
{
    const size_t decoders = 10000;
    for (int codePage : {1250, 932}) {
        CodePageDecoder warm(codePage); // the code page's tables, once
        const double opening = median(rounds, decoders, [&] {
            uint64_t count = 0;
            for (size_t k = 0; k < decoders; ++k) {
                CodePageDecoder decoder(codePage);
                count += decoder.Feed('a').size();
            }
            sink = count;
        });
        std::string bytes;
        while (bytes.size() < 1000000)
            bytes += codePage == 932 ? "\x93\xfa\x96\x7b\x8c\xea abc " : "\xa3\xf3\x64\x9f abc ";
        const double feeding = median(rounds, bytes.size(), [&] {
            CodePageDecoder decoder(codePage);
            uint64_t count = 0;
            for (char b : bytes)
                count += decoder.Feed(static_cast<unsigned char>(b)).size();
            sink = count;
        });
        std::printf("code page %4d: new decoder %6.0f ns, Feed byte by byte %6.1f ns/byte\n",
                    codePage, opening, feeding);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    benchFold(rounds);
    const size_t length = 10000;
    benchLine("10,000 plain Latin characters:", latinLine(length, 0), rounds);
    benchLine("10,000 Latin, every 10th accented:", latinLine(length, 10), rounds);
    benchLine("10,000 emoji and joiners:", emojiLine(length), rounds);
    benchWholeLine(latinLine(length, 10), rounds);
    benchDecoders(rounds);
    return 0;
}
