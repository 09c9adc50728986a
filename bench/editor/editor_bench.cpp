// What one typed character costs in the editor control: a key event sent to
// the real widget (offscreen platform, installed fonts) for a character typed
// into the middle of a 10,000-character formatted paragraph, until the
// backing image is repainted; and, separately, until the widget has also
// copied it to the screen's backing store. After each timed character an
// untimed Backspace keeps the paragraph's length.
// Plain main: prints the median and the 99th percentile.
//
// With --spelling the same is measured on the diary's rich text control, once
// with spelling marks off and once with them on (the diary's own English
// dictionary, made by the build; a few misspelt words in the paragraph), and
// the ratio of the medians is printed: marking must not delay a keystroke.
#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "richtext/controls/rich_text.h"
#include "richtext/controls/rtf_edit.h"
#include "richtext/io/stream.h"
#include "spell/spelling_engine.h"

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
// Words the dictionary does not know, for the spelling run.
const char *kMisspelt[] = {"recieve", "teh", "wierd", "freind", "beacuse"};
bool withMisspellings = false;

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
            if (withMisspellings && (seed >> (w % 8)) % 29 == 0)
                run += kMisspelt[(seed >> 3) % (sizeof kMisspelt / sizeof *kMisspelt)];
            else
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

struct Samples {
    std::vector<double> toImage, toScreen;
    int length = 0;
};

struct Figures {
    double imageMedian = 0, imageP99 = 0, screenMedian = 0, screenP99 = 0;
    int length = 0;
    explicit Figures(const Samples &s)
        : imageMedian(percentile(s.toImage, 0.5)), imageP99(percentile(s.toImage, 0.99)),
          screenMedian(percentile(s.toScreen, 0.5)), screenP99(percentile(s.toScreen, 0.99)),
          length(s.length)
    {
    }
};

// Types `runs` characters into the middle of the long paragraph of the
// document, loaded into a new control; nullopt when a key did not land there.
std::optional<Samples> measure(TQnCustomRtfEdit &edit, int runs)
{
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
            return std::nullopt;
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
    const int after = edit.Document->ParagraphLength(1);
    if (after != longLength) {
        std::fprintf(stderr, "the paragraph changed length: %d, expected %d\n", after, longLength);
        return std::nullopt;
    }
    return Samples{std::move(toImage), std::move(toScreen), longLength};
}

void show(QWidget &w)
{
    w.resize(800, 600);
    w.show();
    QApplication::setActiveWindow(&w);
    w.setFocus();
    QApplication::processEvents();
}

void print(const Figures &f)
{
    std::printf("key event to repainted backing image: median %.3f ms, 99th percentile %.3f ms\n",
                f.imageMedian, f.imageP99);
    std::printf("including the copy to the screen:     median %.3f ms, 99th percentile %.3f ms\n",
                f.screenMedian, f.screenP99);
}

int plainRun(int runs)
{
    TQnCustomRtfEdit edit;
    edit.SetWordWrap(true);
    show(edit);
    const auto samples = measure(edit, runs);
    if (!samples)
        return 1;
    std::printf("paragraph of %d characters, window 800 x 600, %d keystrokes\n", samples->length,
                runs);
    print(Figures(*samples));
    return 0;
}

int spellingRun(int runs, const std::string &dictionary)
{
    withMisspellings = true;
    std::shared_ptr<spell::SpellingEngine> engine =
        spell::MakeOwnDictionaryEngine(dictionary, std::string());
    if (!engine) {
        std::fprintf(stderr, "the dictionary %s cannot be read\n", dictionary.c_str());
        return 1;
    }
    // Off and on take turns, so that the load of a shared machine falls on both.
    Samples samples[2];
    int marks = 0;
    constexpr int kRounds = 4;
    for (int round = 0; round < kRounds; ++round)
        for (const bool on : {false, true}) {
            TQnRichText edit;
            edit.SetWordWrap(true);
            edit.SpellMarks->SetEngine(engine);
            edit.SpellMarks->SetEnabled(on);
            show(edit);
            const auto taken = measure(edit, std::max(10, runs / kRounds));
            if (!taken)
                return 1;
            Samples &all = samples[on];
            all.toImage.insert(all.toImage.end(), taken->toImage.begin(), taken->toImage.end());
            all.toScreen.insert(all.toScreen.end(), taken->toScreen.begin(), taken->toScreen.end());
            all.length = taken->length;
            if (on && round == 0)
                for (TParagraph *p = edit.Document->FirstParagraph; p; p = p->Next)
                    marks += static_cast<int>(edit.SpellMarks->ParagraphMarks(p).size());
        }
    const Figures off(samples[0]), on(samples[1]);
    std::printf("rich text control, paragraph of %d characters, window 800 x 600, %d keystrokes\n",
                on.length, runs);
    std::printf("spelling marks off:\n");
    print(off);
    std::printf("spelling marks on (%d words marked):\n", marks);
    print(on);
    std::printf("on / off, median to the backing image: %.2f; to the screen: %.2f\n",
                on.imageMedian / off.imageMedian, on.screenMedian / off.screenMedian);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int runs = 500;
    bool spelling = false;
    std::string dictionary = QN_DEFAULT_DICTIONARY;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spelling")
            spelling = true;
        else if (arg.rfind("--dictionary=", 0) == 0)
            dictionary = arg.substr(13);
        else
            runs = std::max(10, std::atoi(argv[i]));
    }
    return spelling ? spellingRun(runs, dictionary) : plainRun(runs);
}
