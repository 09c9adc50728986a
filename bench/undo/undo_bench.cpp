// Undo in the rich text control (offscreen, installed fonts) over an entry
// of about 1 MB of formatted text in paragraphs of about 500 characters:
//  - undo and redo of one typing step (a word typed into a paragraph in the
//    middle), until the backing image is repainted;
//  - undo and redo of a Replace All that changes every paragraph;
//  - the memory the history takes for 10,000 keystrokes: typed without a
//    pause (one step), a pause after every word (all into one paragraph, and
//    with Enter every 500 keys), a pause after every key, and every key a
//    step in one paragraph of 10,000 characters.
// Plain main: prints medians and maxima. Argument: repetitions (default 30).
#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "richtext/controls/find_replace_dialog.h"
#include "richtext/controls/rich_text.h"
#include "richtext/io/stream.h"

using namespace qn;
using Clock = std::chrono::steady_clock;

// The machine may be shared: the CPU time of this thread is reported beside
// the wall time, and is what the targets are read against.
struct CpuClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<CpuClock, duration>;
    static time_point now()
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

// Wall and CPU milliseconds of one call.
template <typename F> std::pair<double, double> timed(F &&f)
{
    const Clock::time_point w0 = Clock::now();
    const CpuClock::time_point c0 = CpuClock::now();
    f();
    return {std::chrono::duration<double, std::milli>(Clock::now() - w0).count(),
            std::chrono::duration<double, std::milli>(CpuClock::now() - c0).count()};
}

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

double maximum(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

const char *kWords[] = {"diary",   "morning",  "the",     "sea",    "was",   "grey",
                        "and",     "we",       "walked",  "along",  "beach", "before",
                        "wind",    "strong,",  "water",   "cold.",  "Later", "letters",
                        "arrived", "from",     "friends", "abroad", "with",  "photographs",
                        "of",      "mountains"};

// RTF of about `bytes` characters of text in paragraphs of about
// `paragraph` characters, with runs of bold, italic, two fonts and sizes.
std::string entry(int bytes, int paragraph)
{
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}\\f0\\fs20 ";
    unsigned seed = 7;
    int total = 0, inParagraph = 0;
    while (total < bytes) {
        seed = seed * 1103515245u + 12345u;
        const char *style = (seed >> 16) % 5 == 0 ? "\\b " : (seed >> 16) % 5 == 1 ? "\\i " : "";
        std::string run;
        for (int w = 0; w < 2 + int((seed >> 24) % 6); ++w) {
            run += kWords[(seed >> (w % 8)) % (sizeof kWords / sizeof *kWords)];
            run += ' ';
        }
        total += int(run.size());
        inParagraph += int(run.size());
        rtf += std::string("{") + ((seed >> 20) % 3 == 0 ? "\\f1" : "\\f0") +
               ((seed >> 12) % 2 ? "\\fs24 " : "\\fs20 ") + style + run + "}";
        if (inParagraph >= paragraph) {
            rtf += "\\par ";
            inParagraph = 0;
        }
    }
    return rtf + "}";
}

void sendKey(QWidget *w, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

void typeKeys(QWidget *w, const std::string &text)
{
    for (char c : text)
        sendKey(w, c == ' ' ? Qt::Key_Space : Qt::Key_A + (c - 'a'), QString(QChar(c)));
}

struct Editor {
    TQnRichText edit;
    Clock::time_point now = Clock::now();

    explicit Editor(const std::string &rtf)
    {
        edit.resize(800, 600);
        edit.SetWordWrap(true);
        edit.show();
        QApplication::setActiveWindow(&edit);
        edit.setFocus();
        QApplication::processEvents();
        edit.SetText(rtf);
        // The bench decides where pauses fall.
        edit.History().Now = [this] { return now; };
        QApplication::processEvents();
    }
    int middle() { return int(edit.PlainText().size()) / 2; }
};

// Wall and CPU times of repeated runs.
struct Times {
    std::vector<double> wall, cpu;
    void add(std::pair<double, double> t)
    {
        wall.push_back(t.first);
        cpu.push_back(t.second);
    }
    void print(const char *what) const
    {
        std::printf("  %-26s wall median %8.3f ms (max %8.3f), CPU median %8.3f ms (max %8.3f)\n",
                    what, median(wall), maximum(wall), median(cpu), maximum(cpu));
    }
};

void typingStep(const std::string &rtf, int runs)
{
    Editor e(rtf);
    const int at = e.middle();
    const std::string before = e.edit.PlainText().toStdString();
    Times undo, redo;
    for (int i = 0; i < runs; ++i) {
        e.edit.SetCursorOffset(at);
        typeKeys(&e.edit, "word ");
        undo.add(timed([&] {
            e.edit.Undo();
            e.edit.repaint();
        }));
        redo.add(timed([&] {
            e.edit.Redo();
            e.edit.repaint();
        }));
        e.edit.Undo();
    }
    if (e.edit.PlainText().toStdString() != before) {
        std::fprintf(stderr, "undo did not give the text back\n");
        std::exit(1);
    }
    std::printf("one typing step (\"word \", 5 keys) in a %zu-character entry, %d runs:\n",
                before.size(), runs);
    undo.print("undo to repainted window");
    redo.print("redo to repainted window");
}

void replaceAll(const std::string &rtf, int runs)
{
    Editor e(rtf);
    const std::string before = e.edit.PlainText().toStdString();
    TQnFindDialog dialog(TQnFindDialog::Replace);
    dialog.SetFindText(QStringLiteral("the"));
    dialog.SetReplaceText(QStringLiteral("THE"));
    Times replace, undo, redo;
    size_t memory = 0, undone = 0;
    for (int i = 0; i < runs; ++i) {
        e.edit.SetCursorOffset(0);
        replace.add(timed([&] { e.edit.DialogReplace(dialog, true); }));
        memory = e.edit.History().MemoryUsed();
        undo.add(timed([&] {
            e.edit.Undo();
            e.edit.repaint();
        }));
        undone = e.edit.History().MemoryUsed();
        redo.add(timed([&] {
            e.edit.Redo();
            e.edit.repaint();
        }));
        e.edit.Undo();
    }
    if (e.edit.PlainText().toStdString() != before) {
        std::fprintf(stderr, "undo of replace all did not give the text back\n");
        std::exit(1);
    }
    std::printf("Replace All \"the\" -> \"THE\" over the whole entry (%d paragraphs), %d runs:\n",
                e.edit.RtfText().ParagraphCount(), runs);
    replace.print("replace all itself");
    undo.print("undo to repainted window");
    redo.print("redo to repainted window");
    std::printf("  history for the step: %.2f MB done, %.2f MB undone\n", memory / 1048576.0,
                undone / 1048576.0);
}

// 10,000 keystrokes at the middle of the entry; `pauseEvery` keys a pause
// (0: never), `enterEvery` keys a new paragraph (0: never).
void keystrokes(const char *what, const std::string &rtf, int pauseEvery, int enterEvery = 0)
{
    Editor e(rtf);
    e.edit.SetCursorOffset(e.middle());
    std::vector<double> perKey;
    for (int i = 0; i < 10000; ++i) {
        const bool space = i % 6 == 5;
        if (pauseEvery > 0 && i % pauseEvery == 0)
            e.now += std::chrono::seconds(2);
        const Clock::time_point t0 = Clock::now();
        if (enterEvery > 0 && i % enterEvery == enterEvery - 1)
            sendKey(&e.edit, Qt::Key_Return, QStringLiteral("\r"));
        else
            sendKey(&e.edit, space ? Qt::Key_Space : Qt::Key_A + i % 26,
                    space ? QStringLiteral(" ") : QString(QChar('a' + i % 26)));
        perKey.push_back(ms(Clock::now() - t0));
    }
    const UndoHistory &h = e.edit.History();
    std::printf("  %-40s %6zu steps, %7.2f MB (%.0f bytes a key), key median %.3f ms\n", what,
                h.StepCount(), h.MemoryUsed() / 1048576.0, double(h.MemoryUsed()) / 10000,
                median(perKey));
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;

    const std::string big = entry(1 << 20, 500);
    typingStep(big, runs);
    replaceAll(big, std::max(3, runs / 5));
    std::printf("history after 10,000 keystrokes in the middle of the entry:\n");
    keystrokes("typed without a pause (one step)", big, 0);
    keystrokes("a pause after every word", big, 6);
    keystrokes("a pause after every word, Enter every 500", big, 6, 500);
    keystrokes("a pause after every key", big, 1);
    keystrokes("every key a step, paragraph of 10,000", entry(10000, 20000), 1);
    return 0;
}
