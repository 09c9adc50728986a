// Typing speed: one paragraph grows to 10,000 characters, typed one at a
// time through InputString, which measures the character, breaks the
// paragraph again, repaints what changed and keeps the caret in view.
// Reports the median, 90th percentile and slowest keystroke, first on the
// fixed-metrics canvas, then on a QtCanvas with real fonts (offscreen).
//
//   build/bench/edit_bench [CHARACTERS] [PICTURE.png]
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_canvas.h"
#include "platform/recording_canvas.h"
#include "richtext/edit/rtf_text_input.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double median, p90, slowest, lastMedian;
    int lines;
};

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Words of varying length, so that lines wrap at changing places.
std::string sampleText(int length)
{
    static const char *words[] = {"diary",      "morning", "the",     "sea",   "was",   "grey",
                                  "and",        "we",      "walked",  "along", "beach", "before",
                                  "breakfast;", "wind",    "strong,", "water", "cold."};
    std::string text;
    unsigned seed = 7;
    while (int(text.size()) < length) {
        seed = seed * 1103515245u + 12345u;
        text += words[(seed >> 16) % (sizeof words / sizeof *words)];
        text += ' ';
    }
    text.resize(size_t(length));
    return text;
}

Figures typeInto(TQnRTFTextInput &doc, const std::string &text,
                 const std::function<void()> &afterKey = {})
{
    std::vector<double> times;
    times.reserve(text.size());
    for (const char c : text) {
        const auto t0 = Clock::now();
        doc.InputString(std::string_view(&c, 1));
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (afterKey)
            afterKey();
    }
    int lines = 0;
    for (TLine *l = doc.FirstParagraph->Lines; l; l = l->Next)
        ++lines;
    // The last tenth: the paragraph at its longest.
    const double lastMedian = medianOf(std::vector<double>(
        times.end() - std::max<ptrdiff_t>(1, ptrdiff_t(times.size()) / 10), times.end()));
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 9 / 10], times.back(), lastMedian, lines};
}

void report(const char *what, const Figures &f)
{
    std::printf("%s (%d lines at the end)\n"
                "  median %.4f ms, 90%% %.4f ms, slowest %.3f ms;"
                " median of the last tenth %.4f ms\n",
                what, f.lines, f.median, f.p90, f.slowest, f.lastMedian);
}

void setUp(TQnRTFTextInput &doc, Canvas *canvas)
{
    doc.SetCanvas(canvas);
    doc.SetWindowHeight(600);
    doc.SetWrapToWindow(true);
    doc.SetWindowWidth(700);
    doc.Clear();
}

} // namespace

int main(int argc, char **argv)
{
    const int length = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const std::string text = sampleText(length);
    std::printf("%d characters typed one by one into one paragraph, 700 x 600 window\n", length);

    {
        RecordingCanvas canvas(96, 96, kTechnologyDisplay, 800, 600);
        TQnRTFTextInput doc;
        setUp(doc, &canvas);
        // The recording canvas keeps every drawing call; forget them as we go.
        report("fixed-metrics canvas:", typeInto(doc, text, [&] { canvas.ClearOps(); }));
    }
    {
        QImage image(800, 600, QImage::Format_RGB32);
        QtCanvas canvas(&image, 96, 96);
        TQnRTFTextInput doc;
        setUp(doc, &canvas);
        report("QtCanvas, real fonts (offscreen):", typeInto(doc, text));
        // What the window shows at the end, for a look.
        if (argc > 2)
            image.save(QString::fromLocal8Bit(argv[2]));
    }
    return 0;
}
