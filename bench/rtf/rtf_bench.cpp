// rtf_bench [MB]: builds a document of formatted paragraphs whose RTF is
// about MB megabytes (default 10), times writing and reading it in memory
// (best of three), then times whole processes converting the file to text:
// qnrtf and, when installed, unrtf --text.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/unicode_text.h"
#include "richtext/io/rtf_reader.h"
#include "richtext/io/rtf_writer.h"
#include "richtext/io/stream.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Paragraphs of words in runs of changing attributes, with alignments,
// indents, spacing, a border now and then and tab stops.
void build(TQnRTFText &doc, size_t targetBytes)
{
    std::mt19937 rng(42);
    static const char *const words[] = {"diary",
                                        "morning",
                                        "walked",
                                        "along",
                                        "the",
                                        "river",
                                        "caf\xe9",
                                        "weather",
                                        "was",
                                        "bright",
                                        "and",
                                        "cold",
                                        "friends",
                                        "{notes}",
                                        "evening",
                                        "letters",
                                        "garden",
                                        "\xfc"
                                        "ber",
                                        "quiet",
                                        "train"};
    doc.FindOrAddFont("Times New Roman");
    doc.FindOrAddFont("Courier New");
    const uint32_t tabs = doc.AddTab(720, tkLeft) | doc.AddTab(2880, tkRight);
    TParagraph *p = doc.FirstParagraph;
    size_t bytes = 0;
    for (int i = 0; bytes < targetBytes; ++i) {
        if (i > 0)
            doc.NewParagraph(p, 8);
        p->Alignment = static_cast<uint8_t>(i % 4);
        p->LeftIndent = 144 * (i % 3);
        p->FirstIndent = p->LeftIndent + 144 * (i % 2);
        p->SpaceAfter = 120 * (i % 2);
        p->TabMask = i % 5 == 0 ? tabs : 0;
        p->BorderFlags = i % 17 == 0 ? kBorderOn | kBorderBox : 0;
        p->BorderSpaceColor = 0x10;
        for (int r = 0; r < 6; ++r) {
            std::string text;
            const int n = 4 + static_cast<int>(rng() % 12);
            for (int w = 0; w < n; ++w) {
                text += words[rng() % std::size(words)];
                text += w + 1 < n ? " " : ". ";
            }
            TCharAttr a;
            a.Size = static_cast<uint8_t>(10 + 2 * (rng() % 4));
            a.FontIndex = static_cast<uint8_t>(rng() % 3);
            a.Colors = static_cast<uint8_t>(rng() % 4);
            a.Style = static_cast<uint16_t>((rng() % 3 == 0 ? kStyleBold : 0) |
                                            (rng() % 4 == 0 ? kStyleItalic : 0) |
                                            (rng() % 9 == 0 ? kStyleUnderline : 0));
            doc.InsertText(p, p->TextLength(), &a, qn::unicode::FromAnsi(text));
            bytes += text.size() + 24;
        }
        bytes += 16;
    }
}

// Wall time of a shell command, its output thrown away.
double runTimed(const std::string &command)
{
    const auto t0 = Clock::now();
    const int status = std::system((command + " > /dev/null").c_str());
    const auto t1 = Clock::now();
    if (status != 0)
        std::printf("  (exit status %d: %s)\n", status, command.c_str());
    return seconds(t0, t1);
}

} // namespace

int main(int argc, char **argv)
{
    const double mb = argc > 1 ? std::atof(argv[1]) : 10.0;
    const auto target = static_cast<size_t>(mb * 1024 * 1024);

    TQnRTFText doc;
    build(doc, target);

    std::string rtf;
    double bestWrite = 1e9;
    for (int i = 0; i < 3; ++i) {
        TQnMemoryStream out;
        TQnRTFWriter writer(doc);
        const auto t0 = Clock::now();
        if (writer.Write(out) != 0)
            return std::puts("write failed"), 1;
        bestWrite = std::min(bestWrite, seconds(t0, Clock::now()));
        rtf = out.TakeBytes();
    }
    const double size = static_cast<double>(rtf.size()) / (1024 * 1024);

    double bestRead = 1e9;
    int paragraphs = 0;
    for (int i = 0; i < 3; ++i) {
        TQnRTFText back;
        TQnMemoryStream in(rtf);
        TQnRtfReader reader;
        reader.Header = back.Header.get();
        reader.Document = &back;
        TParagraph *first = nullptr;
        const auto t0 = Clock::now();
        if (reader.Read(in, first) != 0)
            return std::puts("read failed"), 1;
        TParagraph *par = back.FirstParagraph;
        TLine *line = par->Lines;
        int position = 0;
        back.InsertParagraphs(par, line, first, position);
        bestRead = std::min(bestRead, seconds(t0, Clock::now()));
        paragraphs = back.ParagraphCount();
    }

    std::printf("document: %d paragraphs, %.2f MB of RTF\n", paragraphs, size);
    std::printf("write: %.3f s  %.1f MB/s\n", bestWrite, size / bestWrite);
    std::printf("read:  %.3f s  %.1f MB/s\n", bestRead, size / bestRead);

    const auto dir = std::filesystem::temp_directory_path() /
                     ("rtf_bench_" + std::to_string(static_cast<long>(getpid())));
    std::filesystem::create_directories(dir);
    const auto file = dir / "document.rtf";
    std::ofstream(file, std::ios::binary)
        .write(rtf.data(), static_cast<std::streamsize>(rtf.size()));

    const std::string qnrtf = QN_QNRTF;
    std::printf("to text, whole process (best of three):\n");
    double q = 1e9, u = 1e9;
    for (int i = 0; i < 3; ++i)
        q = std::min(q, runTimed(qnrtf + " " + file.string() + " -"));
    std::printf("  qnrtf IN -        %.3f s\n", q);
    if (std::system("command -v unrtf > /dev/null 2>&1") == 0) {
        for (int i = 0; i < 3; ++i)
            u = std::min(u, runTimed("unrtf --text " + file.string()));
        std::printf("  unrtf --text IN   %.3f s  (qnrtf %.1fx faster)\n", u, u / q);
    } else {
        std::printf("  unrtf is not installed\n");
    }
    if (const char *keep = std::getenv("QN_BENCH_KEEP")) // a copy for profiling
        std::filesystem::copy_file(file, keep, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove_all(dir);
    return 0;
}
