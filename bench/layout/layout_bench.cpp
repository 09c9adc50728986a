// Layout timings with real fonts (offscreen platform, fontconfig's fonts):
//   1. the whole layout (measure, break, line tops) of a 1 MB document of
//      formatted paragraphs;
//   2. one 10,000-character paragraph measured and broken again after a
//      one-character insertion (what typing costs), and its repaint;
//   3. painting one window full of text.
// Plain main: prints the median of several runs.
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt/qt_canvas.h"
#include "platform/unicode_text.h"
#include "richtext/layout/rtf_text_paint.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char *kWords[] = {"diary",       "morning", "the",      "sea",     "was",    "grey",
                        "and",         "we",      "walked",   "along",   "beach",  "before",
                        "breakfast;",  "wind",    "strong,",  "water",   "cold.",  "Later",
                        "letters",     "arrived", "from",     "friends", "abroad", "with",
                        "photographs", "of",      "mountains"};

// Appends words to a paragraph in runs of changing look until it holds
// `length` characters; lines are filled up to a few thousand characters.
void fillParagraph(TQnRTFText &doc, TParagraph *p, int length, unsigned &seed,
                   const uint8_t fonts[3])
{
    TLine *line = p->Lines;
    int total = 0;
    while (total < length) {
        seed = seed * 1103515245u + 12345u;
        TCharAttr a;
        a.FontIndex = fonts[(seed >> 8) % 3];
        a.Size = static_cast<uint8_t>(10 + (seed >> 12) % 3 * 2);
        a.Style = static_cast<uint16_t>((seed >> 16) % 5 == 0   ? kStyleBold
                                        : (seed >> 16) % 5 == 1 ? kStyleItalic
                                                                : 0);
        a.Colors = static_cast<uint8_t>((seed >> 20) % 4 == 0 ? 0x03 : 0);
        std::string run;
        const int words = 2 + (seed >> 24) % 6;
        for (int w = 0; w < words && total + int(run.size()) < length; ++w) {
            run += kWords[(seed >> (w % 8)) % (sizeof kWords / sizeof *kWords)];
            run += ' ';
        }
        run.resize(std::min<size_t>(run.size(), size_t(length - total)));
        if (line->Length + run.size() > 4000)
            line = doc.AppendLine(p, 4100);
        doc.AppendToLine(line, qn::unicode::FromAnsi(run), a);
        total += int(run.size());
    }
    p->State |= kStateRebreak | kStateRepaint;
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);

    QImage image(800, 600, QImage::Format_RGB32);
    QtCanvas canvas(&image, 96, 96);
    TQnRTFTextPaint doc;
    doc.SetCanvas(&canvas);
    doc.SetWindowHeight(600);
    doc.SetWrapToWindow(true);
    doc.SetWindowWidth(700);

    const uint8_t fonts[3] = {uint8_t(doc.FindOrAddFont("Arial")),
                              uint8_t(doc.FindOrAddFont("Times New Roman")),
                              uint8_t(doc.FindOrAddFont("Courier New"))};
    unsigned seed = 42;
    TParagraph *chain = nullptr, *last = nullptr;
    int64_t chars = 0;
    TParagraph *longPar = nullptr;
    while (chars < 1000000) {
        doc.NewParagraph(last, 40);
        if (!chain)
            chain = last;
        const bool isLong = !longPar && chars > 500000;
        const int length = isLong ? 10000 : 200 + int(seed >> 20) % 600;
        fillParagraph(doc, last, length, seed, fonts);
        if (isLong)
            longPar = last;
        chars += length;
    }
    TParagraph *at = doc.FirstParagraph;
    TLine *line = at->Lines;
    int position = 0;
    doc.InsertParagraphs(at, line, chain, position);
    int paragraphs = doc.ParagraphCount();

    std::vector<double> whole;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        doc.ReformatAll();
        whole.push_back(ms(Clock::now() - t0));
    }
    int lines = 0;
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l; l = l->Next)
            ++lines;

    // Typing into the middle of the long paragraph: insert, re-break, repaint;
    // then delete, re-break, so every run starts from the same text.
    doc.ScrollY = longPar->Lines->Top;
    std::vector<double> rebreak, repaint;
    for (int run = 0; run < 101; ++run) {
        TLine *mid = longPar->Lines;
        for (int i = 0; i < 40 && mid->Next; ++i)
            mid = mid->Next;
        doc.InsertChar(longPar, mid, 'x', mid->Length / 2);
        longPar->State |= kStateRepaint;
        auto t0 = Clock::now();
        const int change = doc.ReformatParagraph(longPar);
        rebreak.push_back(ms(Clock::now() - t0));
        t0 = Clock::now();
        doc.RepaintChangedLines(longPar, change);
        repaint.push_back(ms(Clock::now() - t0));
        mid = longPar->Lines;
        for (int i = 0; i < 40 && mid->Next; ++i)
            mid = mid->Next;
        doc.DeleteChar(longPar, mid, mid->Length / 2);
        longPar->State |= kStateRepaint;
        doc.ReformatParagraph(longPar);
    }

    std::vector<double> paint;
    for (int run = 0; run < 11; ++run) {
        const auto t0 = Clock::now();
        doc.PaintAll();
        paint.push_back(ms(Clock::now() - t0));
    }

    std::printf("document: %lld characters, %d paragraphs, %d lines, height %d pixels\n",
                static_cast<long long>(chars), paragraphs, lines, doc.DocumentHeight);
    std::printf("whole layout (measure + break + tops), median of 5:   %8.2f ms\n", median(whole));
    std::printf("10,000-character paragraph after one insertion,\n"
                "  measure + break (+ tops when lines move), median:  %8.3f ms\n",
                median(rebreak));
    std::printf("  repaint of the changed lines, median:               %8.3f ms\n",
                median(repaint));
    std::printf("paint a 800 x 600 window, median of 11:               %8.2f ms\n", median(paint));
    return 0;
}
