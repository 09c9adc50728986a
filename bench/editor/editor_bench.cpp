// What one typed character costs in the editor control: a key event sent to
// the real widget (offscreen platform, installed fonts) for a character typed
// into the middle of a 10,000-character formatted paragraph, until the
// backing image is repainted; and, separately, until the widget has also
// copied it to the screen's backing store. After each timed character an
// untimed Backspace keeps the paragraph's length.
// Plain main: prints the median and the 99th percentile.
#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "richtext/controls/rtf_edit.h"
#include "richtext/io/stream.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())));
    return v[i];
}

const char *kWords[] = {"diary",   "morning",  "the",     "sea",    "was",   "grey",
                        "and",     "we",       "walked",  "along",  "beach", "before",
                        "wind",    "strong,",  "water",   "cold.",  "Later", "letters",
                        "arrived", "from",     "friends", "abroad", "with",  "photographs",
                        "of",      "mountains"};

// RTF with a short paragraph, one long formatted paragraph of `length`
// characters, and another short one.
std::string document(int length)
{
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                      "\\f0\\fs20 An entry before the long paragraph.\\par ";
    unsigned seed = 7;
    int total = 0;
    while (total < length) {
        seed = seed * 1103515245u + 12345u;
        const char *style = (seed >> 16) % 5 == 0 ? "\\b " : (seed >> 16) % 5 == 1 ? "\\i " : "";
        std::string run;
        for (int w = 0; w < 2 + int((seed >> 24) % 6) && total + int(run.size()) < length; ++w) {
            run += kWords[(seed >> (w % 8)) % (sizeof kWords / sizeof *kWords)];
            run += ' ';
        }
        if (total + int(run.size()) > length)
            run.resize(size_t(length - total));
        total += int(run.size());
        rtf += std::string("{") + ((seed >> 20) % 3 == 0 ? "\\f1" : "\\f0") +
               ((seed >> 12) % 2 ? "\\fs24 " : "\\fs20 ") + style + run + "}";
    }
    return rtf + "\\par And a short one after it.\\par}";
}

void sendKey(QWidget *w, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;

    TQnCustomRtfEdit edit;
    edit.resize(800, 600);
    edit.SetWordWrap(true);
    edit.show();
    QApplication::setActiveWindow(&edit);
    edit.setFocus();
    QApplication::processEvents();

    TQnMemoryStream rtf(document(10000));
    edit.Document->LoadFromStream(rtf);
    edit.Document->ReformatAll();
    const int longLength = edit.Document->ParagraphLength(1);
    // The middle of the long paragraph, shown in the window.
    edit.Document->SetCursorPosition(0, 0, longLength / 2, 1);
    edit.Document->ShowCaret();
    edit.Repaint();
    QApplication::processEvents();

    // Once, untimed: the key must land in the long paragraph and change pixels.
    {
        const QImage before = edit.BackingImage().copy();
        sendKey(&edit, Qt::Key_X, QStringLiteral("x"));
        if (edit.Document->ParagraphLength(1) != longLength + 1 || edit.BackingImage() == before) {
            std::fprintf(stderr, "the typed character did not reach the long paragraph\n");
            return 1;
        }
        sendKey(&edit, Qt::Key_Backspace, QStringLiteral("\b"));
    }

    std::vector<double> toImage, toScreen;
    for (int i = 0; i < runs + 20; ++i) {
        const Clock::time_point t0 = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(&edit, &press);
        const Clock::time_point t1 = Clock::now();
        edit.repaint();
        const Clock::time_point t2 = Clock::now();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(&edit, &release);
        if (i >= 20) {
            toImage.push_back(ms(t1 - t0));
            toScreen.push_back(ms(t2 - t0));
        }
        sendKey(&edit, Qt::Key_Backspace, QStringLiteral("\b"));
        edit.repaint();
    }
    std::printf("paragraph of %d characters, window 800 x 600, %d keystrokes\n", longLength, runs);
    std::printf("key event to repainted backing image: median %.3f ms, 99th percentile %.3f ms\n",
                percentile(toImage, 0.5), percentile(toImage, 0.99));
    std::printf("including the copy to the screen:     median %.3f ms, 99th percentile %.3f ms\n",
                percentile(toScreen, 0.5), percentile(toScreen, 0.99));
    const int after = edit.Document->ParagraphLength(1);
    if (after != longLength) {
        std::fprintf(stderr, "the paragraph changed length: %d, expected %d\n", after, longLength);
        return 1;
    }
    return 0;
}
