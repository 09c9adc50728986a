// Measures the spell checker on the main dictionary: lookups per second and
// the time and hit rate of suggestions for misspellings made by one edit
// (insert, delete, substitute, transpose) of random dictionary words, and the
// same for Hunspell on the same misspellings. "quillnook" ranks by edits,
// "classic" by similarity alone.
//
//   build/bench/spell_bench [--dict quillnk.dct] [--words LIST] [--count 1000]
//                           [--seed 1] [--show-misses N] [--show-seconds N]
//                           [--hunspell /usr/share/hunspell/en_US |
//                           none]

#include "spell/qnspell.h"
#include "spell/spell_letters.h"
#include "tools/qndict/cp1252.h"

#ifdef QN_WITH_HUNSPELL
#include <hunspell.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string dictionary = QN_DEFAULT_DICTIONARY;
    std::string wordList = QN_DEFAULT_WORD_LIST;
    std::string hunspell = "/usr/share/hunspell/en_US";
    int count = 1000;
    int showMisses = 0;
    int showSeconds = 0;
    unsigned seed = 1;
};

struct Misspelling {
    std::string original; // Windows-1252
    std::string typed;
    int kind; // 0 insert, 1 delete, 2 substitute, 3 transpose
};

const char *const kKinds[] = {"insert", "delete", "substitute", "transpose"};

// The engine under test, reduced to what the measurements need.
struct Engine {
    std::string name;
    std::function<bool(const std::string &)> isCorrect;
    std::function<std::vector<std::string>(const std::string &)> suggest; // 1252 in and out
};

struct Figures {
    double lookupsPerSecond = 0;
    double medianMs = 0, p95Ms = 0, meanMs = 0;
    int first = 0, among = 0, total = 0;
    double meanSuggestions = 0;
    int firstByKind[4] = {}, amongByKind[4] = {}, totalByKind[4] = {};
};

std::vector<std::string> readWords(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> words;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto ansi = qn::qndict::FromUtf8(line);
        if (!ansi || ansi->size() < 3 || ansi->size() > 25 || ansi->find('\'') != std::string::npos)
            continue;
        if (std::all_of(ansi->begin(), ansi->end(),
                        [](char c) { return qn::spell::InAlphabet(static_cast<uint8_t>(c)); }))
            words.push_back(*ansi);
    }
    return words;
}

// Misspellings that are no word of the list, each made by one edit with
// lower-case letters; the kinds take turns.
std::vector<Misspelling> makeMisspellings(const std::vector<std::string> &words,
                                          const std::unordered_set<std::string> &known, int count,
                                          unsigned seed)
{
    std::mt19937 random(seed);
    auto below = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    std::vector<Misspelling> out;
    while (static_cast<int>(out.size()) < count) {
        const int kind = static_cast<int>(out.size() % 4);
        const std::string &word = words[below(words.size())];
        std::string typed = word;
        const char letter = static_cast<char>('a' + below(26));
        switch (kind) {
        case 0:
            typed.insert(below(word.size() + 1), 1, letter);
            break;
        case 1:
            typed.erase(below(word.size()), 1);
            break;
        case 2:
            typed[below(word.size())] = letter;
            break;
        default: {
            const size_t at = below(word.size() - 1);
            std::swap(typed[at], typed[at + 1]);
        }
        }
        if (known.count(qn::spell::SpellUpperCase(typed)))
            continue; // still a word (or unchanged): no misspelling
        out.push_back({word, typed, kind});
    }
    return out;
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const size_t at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

Figures measure(const Engine &engine, const std::vector<std::string> &lookups,
                const std::vector<Misspelling> &misspellings)
{
    Figures f;
    // Lookups: the words of the list and the misspellings, mixed.
    volatile int found = 0;
    const auto start = Clock::now();
    size_t done = 0;
    while (done < 200000) {
        for (const std::string &w : lookups) {
            found = found + engine.isCorrect(w);
            ++done;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.lookupsPerSecond = static_cast<double>(done) / seconds;

    std::vector<double> times;
    long suggestions = 0;
    for (const Misspelling &m : misspellings) {
        const auto t0 = Clock::now();
        const std::vector<std::string> list = engine.suggest(m.typed);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        suggestions += static_cast<long>(list.size());
        const std::string original = qn::spell::SpellUpperCase(m.original);
        const auto hit = std::find_if(list.begin(), list.end(), [&](const std::string &s) {
            return qn::spell::SpellUpperCase(s) == original;
        });
        ++f.total;
        ++f.totalByKind[m.kind];
        if (hit != list.end()) {
            ++f.among;
            ++f.amongByKind[m.kind];
            if (hit == list.begin()) {
                ++f.first;
                ++f.firstByKind[m.kind];
            }
        }
    }
    f.medianMs = percentile(times, 0.5);
    f.p95Ms = percentile(times, 0.95);
    double sum = 0;
    for (double t : times)
        sum += t;
    f.meanMs = sum / static_cast<double>(times.size());
    f.meanSuggestions = static_cast<double>(suggestions) / static_cast<double>(f.total);
    return f;
}

double share(int part, int whole)
{
    return whole ? 100.0 * part / whole : 0.0;
}

void report(const std::vector<std::pair<std::string, Figures>> &rows)
{
    std::printf("\n%-12s %14s %12s %12s %12s %10s %10s %10s\n", "engine", "lookups/s",
                "suggest med", "suggest p95", "mean", "first", "among", "avg list");
    for (const auto &[name, f] : rows)
        std::printf("%-12s %14.0f %9.3f ms %9.3f ms %9.3f ms %9.1f%% %9.1f%% %10.1f\n",
                    name.c_str(), f.lookupsPerSecond, f.medianMs, f.p95Ms, f.meanMs,
                    share(f.first, f.total), share(f.among, f.total), f.meanSuggestions);
    std::printf("\nby edit (first / among):\n");
    for (int k = 0; k < 4; ++k) {
        std::printf("  %-11s", kKinds[k]);
        for (const auto &[name, f] : rows)
            std::printf("  %s %5.1f%% / %5.1f%%", name.c_str(),
                        share(f.firstByKind[k], f.totalByKind[k]),
                        share(f.amongByKind[k], f.totalByKind[k]));
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--dict")
            options.dictionary = argv[i + 1];
        else if (key == "--words")
            options.wordList = argv[i + 1];
        else if (key == "--count")
            options.count = std::max(1, std::atoi(argv[i + 1]));
        else if (key == "--seed")
            options.seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (key == "--show-misses")
            options.showMisses = std::atoi(argv[i + 1]);
        else if (key == "--show-seconds")
            options.showSeconds = std::atoi(argv[i + 1]);
        else if (key == "--hunspell")
            options.hunspell = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }

    const std::vector<std::string> words = readWords(options.wordList);
    if (words.empty()) {
        std::fprintf(stderr, "no words in %s\n", options.wordList.c_str());
        return 2;
    }
    qn::TQnSpell spell;
    spell.SetSuggestionRanking(qn::TQnSpell::Ranking::ByEdits);
    if (!spell.OpenDictionary(options.dictionary)) {
        std::fprintf(stderr, "cannot read dictionary %s\n", options.dictionary.c_str());
        return 2;
    }
    std::unordered_set<std::string> known;
    spell.ForEachWord([&known](const std::string &w) { known.insert(w); });

    const auto misspellings = makeMisspellings(words, known, options.count, options.seed);
    std::vector<std::string> lookups;
    std::mt19937 random(options.seed + 1);
    for (int i = 0; i < 5000; ++i)
        lookups.push_back(words[random() % words.size()]);
    for (const Misspelling &m : misspellings)
        lookups.push_back(m.typed);

    std::printf("dictionary %s: %zu words; %zu misspellings from %s (seed %u)\n",
                options.dictionary.c_str(), known.size(), misspellings.size(),
                options.wordList.c_str(), options.seed);

    for (const Misspelling &m : misspellings) {
        if (options.showMisses <= 0 && options.showSeconds <= 0)
            break;
        const auto list = spell.Suggest(m.typed);
        const std::string original = qn::spell::SpellUpperCase(m.original);
        const auto hit = std::find_if(list.begin(), list.end(), [&](const std::string &s) {
            return qn::spell::SpellUpperCase(s) == original;
        });
        const bool missed = hit == list.end() && options.showMisses > 0;
        const bool second = hit != list.end() && hit != list.begin() && options.showSeconds > 0;
        if (missed || second) {
            std::string joined;
            for (const auto &s : list)
                joined += (joined.empty() ? "" : "|") + qn::qndict::ToUtf8(s);
            std::printf("  %s %s (%s of %s): %s\n", missed ? "missed" : "not first",
                        qn::qndict::ToUtf8(m.typed).c_str(), kKinds[m.kind],
                        qn::qndict::ToUtf8(m.original).c_str(), joined.c_str());
            --(missed ? options.showMisses : options.showSeconds);
        }
    }

    std::vector<std::pair<std::string, Figures>> rows;
    Engine ours{"quillnook", [&spell](const std::string &w) { return spell.IsCorrect(w); },
                [&spell](const std::string &w) { return spell.Suggest(w); }};
    rows.emplace_back(ours.name, measure(ours, lookups, misspellings));
    spell.SetSuggestionRanking(qn::TQnSpell::Ranking::Classic);
    rows.emplace_back("classic", measure(ours, lookups, misspellings));
    spell.SetSuggestionRanking(qn::TQnSpell::Ranking::ByEdits);

#ifdef QN_WITH_HUNSPELL
    Hunhandle *hun = options.hunspell == "none"
                         ? nullptr
                         : Hunspell_create((options.hunspell + ".aff").c_str(),
                                           (options.hunspell + ".dic").c_str());
    if (hun) {
        Engine theirs{"hunspell",
                      [hun](const std::string &w) {
                          return Hunspell_spell(hun, qn::qndict::ToUtf8(w).c_str()) != 0;
                      },
                      [hun](const std::string &w) {
                          char **list = nullptr;
                          const int n = Hunspell_suggest(hun, &list, qn::qndict::ToUtf8(w).c_str());
                          std::vector<std::string> out;
                          for (int i = 0; i < n; ++i)
                              if (const auto ansi = qn::qndict::FromUtf8(list[i]))
                                  out.push_back(*ansi);
                          Hunspell_free_list(hun, &list, n);
                          return out;
                      }};
        rows.emplace_back(theirs.name, measure(theirs, lookups, misspellings));
        Hunspell_destroy(hun);
    } else if (options.hunspell != "none") {
        std::fprintf(stderr, "Hunspell dictionary %s not found\n", options.hunspell.c_str());
    }
#endif
    report(rows);
    return 0;
}
