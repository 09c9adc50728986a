// How long the spelling marks of a 1 MB entry take: the entry (RTF, 2,000
// paragraphs of common words, less common words from the word list the main
// dictionary is made from and a few misspellings) is loaded into the diary's
// rich text control with marks on, the window is painted (the marks of the
// paragraphs in view), and then every paragraph of the entry is marked.
// Plain main: prints the medians of a few runs (one engine for all of them,
// as the program keeps one) and the first run apart.
//   spell_marks_bench [runs] [--dictionary=FILE] [--words=FILE] [--hunspell=BASE]
// With --hunspell the marks come from that Hunspell dictionary (for example
// /usr/share/hunspell/en_US) instead of the diary's own.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "richtext/controls/rich_text.h"
#include "richtext/io/stream.h"
#include "spell/spelling_engine.h"

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

const char *kCommon[] = {
    "the",     "of",      "and",    "to",       "in",      "was",     "we",       "it",
    "that",    "for",     "on",     "with",     "as",      "had",     "at",       "by",
    "this",    "from",    "but",    "not",      "they",    "were",    "all",      "there",
    "morning", "evening", "walked", "along",    "beach",   "garden",  "letters",  "friends",
    "house",   "quiet",   "rain",   "weather",  "before",  "after",   "dinner",   "children",
    "mother",  "father",  "wrote",  "thought",  "because", "through", "nothing",  "everything",
    "journey", "station", "train",  "mountain", "river",   "village", "tomorrow", "yesterday"};
const char *kMisspelt[] = {"recieve", "teh", "wierd", "freind", "beacuse", "tomorow", "definately"};

std::vector<std::string> readWordList(const std::string &path)
{
    std::vector<std::string> words;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.size() >= 4 && line.size() <= 12 &&
            std::all_of(line.begin(), line.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            words.push_back(line);
    return words;
}

// About `bytes` of RTF in paragraphs of some 500 characters.
std::string entry(size_t bytes, const std::vector<std::string> &rare)
{
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    unsigned seed = 11;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    size_t paragraph = 0;
    while (rtf.size() < bytes) {
        const unsigned pick = next(100);
        if (pick < 3)
            rtf += kMisspelt[next(sizeof kMisspelt / sizeof *kMisspelt)];
        else if (pick < 15 && !rare.empty())
            rtf += rare[next(static_cast<unsigned>(rare.size()))];
        else
            rtf += kCommon[next(sizeof kCommon / sizeof *kCommon)];
        paragraph += 8;
        if (paragraph > 500) {
            rtf += ".\\par ";
            paragraph = 0;
        } else {
            rtf += next(12) == 0 ? ", " : " ";
        }
    }
    return rtf + "\\par}";
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int runs = 5;
    std::string dictionary = QN_DEFAULT_DICTIONARY;
    std::string wordList = QN_DEFAULT_WORD_LIST;
    std::string hunspell;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--dictionary=", 0) == 0)
            dictionary = arg.substr(13);
        else if (arg.rfind("--hunspell=", 0) == 0)
            hunspell = arg.substr(11);
        else if (arg.rfind("--words=", 0) == 0)
            wordList = arg.substr(8);
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    std::shared_ptr<spell::SpellingEngine> engine =
        hunspell.empty() ? spell::MakeOwnDictionaryEngine(dictionary, std::string())
                         : spell::MakeHunspellEngine(hunspell, std::string());
    if (!engine) {
        std::fprintf(stderr, "the dictionary %s cannot be read\n",
                     (hunspell.empty() ? dictionary : hunspell).c_str());
        return 1;
    }
    const std::string rtf = entry(1 << 20, readWordList(wordList));

    std::vector<double> loads, inView, whole;
    int paragraphs = 0, marks = 0;
    for (int run = 0; run < runs; ++run) {
        TQnRichText edit;
        edit.resize(800, 600);
        edit.SetWordWrap(true);
        edit.SpellMarks->SetEngine(engine);
        edit.show();
        QApplication::processEvents();

        const Clock::time_point t0 = Clock::now();
        TQnMemoryStream stream(rtf);
        edit.LoadFromStream(stream);
        const Clock::time_point t1 = Clock::now();
        edit.repaint();
        const Clock::time_point t2 = Clock::now();
        paragraphs = marks = 0;
        for (TParagraph *p = edit.Document->FirstParagraph; p; p = p->Next, ++paragraphs)
            marks += static_cast<int>(edit.SpellMarks->ParagraphMarks(p).size());
        const Clock::time_point t3 = Clock::now();
        loads.push_back(ms(t1 - t0));
        inView.push_back(ms(t2 - t1));
        whole.push_back(ms(t3 - t1));
    }
    std::printf("entry of %zu bytes of RTF, %d paragraphs, %d words marked, %d runs\n", rtf.size(),
                paragraphs, marks, runs);
    std::printf("loading the entry:                              median %.1f ms\n", median(loads));
    std::printf("after loading, the window painted with its marks: median %.1f ms\n",
                median(inView));
    std::printf("after loading, every paragraph marked:          median %.1f ms\n", median(whole));
    std::printf("the same in the first run (dictionary not yet read): %.1f ms\n", whole.front());
    return 0;
}
