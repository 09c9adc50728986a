// long_paragraph_bench [MAX_MB]: documents of one paragraph of 1, 2, 4, ...
// MAX_MB (default 32) megabytes in RTF, HTML and plain text, with a word in
// bold now and then. For each: the time to load it and write it as text (what
// qnrtf does, best of three), and the time of 1000 edits by paragraph offset
// (insert and delete a word at spread positions; each edit walks the
// paragraph's lines to its offset, so its cost is linear in the paragraph,
// and the time per MB rises only as the walk leaves the processor's caches).
// A flat conversion column means linear cost.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "platform/unicode_text.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string paragraph(size_t bytes, uint8_t format)
{
    static const char *const words[] = {"diary",   "morning", "walked", "along", "the",  "river",
                                        "weather", "was",     "bright", "and",   "cold", "garden"};
    std::mt19937 rng(7);
    std::string body;
    body.reserve(bytes + 64);
    while (body.size() < bytes) {
        const std::string w = words[rng() % std::size(words)];
        if (rng() % 20 == 0)
            body += format == kFormatRtf    ? "{\\b " + w + "}"
                    : format == kFormatHtml ? "<b>" + w + "</b>"
                                            : w;
        else
            body += w;
        body += ' ';
    }
    if (format == kFormatRtf)
        return "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 " + body + "}";
    if (format == kFormatHtml)
        return "<html><body><p>" + body + "</p></body></html>";
    return body;
}

} // namespace

int main(int argc, char **argv)
{
    const int maxMb = argc > 1 ? std::atoi(argv[1]) : 32;
    std::printf("%-5s %5s %10s %10s %10s %10s\n", "form", "MB", "convert s", "s/MB", "edits s",
                "s/MB");
    for (uint8_t format : {kFormatRtf, kFormatHtml, kFormatText}) {
        const char *name = format == kFormatRtf ? "rtf" : format == kFormatHtml ? "html" : "text";
        for (int mb = 1; mb <= maxMb; mb *= 2) {
            const std::string source = paragraph(size_t(mb) << 20, format);
            // Best of three: the machine may be shared.
            double convert = 1e9;
            TQnRTFTextIo doc;
            for (int round = 0; round < 3; ++round) {
                doc.Clear();
                doc.SetMemoryFormat(fmRichText);
                doc.LoadFormat = format;
                TQnMemoryStream in(source);
                const auto t0 = Clock::now();
                doc.LoadFromStream(in);
                doc.SaveFormat = kFormatText;
                TQnMemoryStream out;
                const int written = doc.SaveToStream(out);
                convert = std::min(convert, seconds(t0, Clock::now()));
                if (doc.ErrorState != kIoOk || written != 0 || doc.ParagraphCount() != 1) {
                    std::printf("%s %d MB: conversion failed (%d paragraphs)\n", name, mb,
                                doc.ParagraphCount());
                    return 1;
                }
            }
            TParagraph *p = doc.FirstParagraph;
            const int length = p->TextLength();
            const auto t2 = Clock::now();
            for (int i = 0; i < 1000; ++i) {
                const int at = static_cast<int>(int64_t(length) * i / 1000);
                doc.InsertText(p, at, nullptr, qn::unicode::FromAnsi("inserted "));
                doc.DeleteText(p, at, 9);
            }
            const auto t3 = Clock::now();
            if (p->TextLength() != length) {
                std::printf("%s %d MB: edits changed the length\n", name, mb);
                return 1;
            }
            const double edits = seconds(t2, t3);
            const double size = double(source.size()) / (1 << 20);
            std::printf("%-5s %5d %10.3f %10.4f %10.3f %10.4f\n", name, mb, convert, convert / size,
                        edits, edits / size);
            std::fflush(stdout);
        }
    }
    return 0;
}
