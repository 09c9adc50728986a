#include "tools/qndict/qndict.h"

#include "platform/file_replacement.h"
#include "platform/version.h"
#include "spell/dictionary_builder.h"
#include "spell/qnspell.h"
#include "tools/qndict/cp1252.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <unistd.h>

namespace qn::qndict {

namespace {

constexpr const char *kUsage =
    "usage: qndict build WORDLIST OUT.dct\n"
    "       qndict words DICT.dct\n"
    "       qndict frequency OUT.frq LIST...\n"
    "       qndict check [--user USER.dct] DICT.dct WORD...\n"
    "       qndict suggest [--user USER.dct] [--classic] DICT.dct WORD...\n"
    "       qndict --help | --version\n";

// A failed or interrupted build never leaves half a dictionary.
bool writeAtomically(const std::string &path, const std::string &bytes, std::ostream &err)
{
    try {
        ReplaceFile(path, bytes);
    } catch (const FileError &e) {
        err << "qndict: " << e.what() << "\n";
        return false;
    }
    return true;
}

int build(const std::string &listPath, const std::string &outPath, std::ostream &out,
          std::ostream &err)
{
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        err << "qndict: cannot read word list " << listPath << "\n";
        return 2;
    }
    spell::DictionaryBuilder builder;
    long outside = 0, tooLong = 0;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.empty())
            continue;
        const auto word = InputToAnsi(line);
        if (!word) {
            ++outside;
            continue;
        }
        switch (builder.Add(*word)) {
        case spell::DictionaryBuilder::Verdict::OutsideAlphabet:
            ++outside;
            break;
        case spell::DictionaryBuilder::Verdict::TooLong:
            ++tooLong;
            break;
        default:
            break;
        }
    }
    if (in.bad()) {
        err << "qndict: error reading " << listPath << "\n";
        return 2;
    }
    const auto result = builder.Build();
    if (!writeAtomically(outPath, result.Bytes, err))
        return 2;
    out << "stored " << result.Stored << " words (" << result.Sections << " sections, "
        << result.Nodes << " nodes); skipped " << outside + tooLong << " (" << outside
        << " with letters outside the alphabet, " << tooLong << " longer than 25 letters); "
        << result.Duplicates << " duplicates\n";
    return 0;
}

// The frequency list beside a dictionary: the words of the first list are of
// class 0 (the most common), those of the second of class 1, and so on; a
// word keeps the class of the first list that names it.
int frequency(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    const std::string &outPath = args[1];
    const size_t lists = std::min<size_t>(args.size() - 2, 9);
    std::string text;
    std::set<std::string> seen;
    for (size_t i = 0; i < lists; ++i) {
        std::ifstream in(args[2 + i], std::ios::binary);
        if (!in) {
            err << "qndict: cannot read word list " << args[2 + i] << "\n";
            return 2;
        }
        std::string line;
        while (std::getline(in, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            const auto word = InputToAnsi(line);
            if (!word || word->empty() || word->find('\t') != std::string::npos ||
                !seen.insert(*word).second)
                continue;
            text += static_cast<char>('0' + i);
            text += '\t';
            text += *word;
            text += '\n';
        }
    }
    if (!writeAtomically(outPath, text, err))
        return 2;
    out << "ranked " << seen.size() << " words in " << lists << " classes\n";
    return 0;
}

struct Lookup {
    std::string dictionary;
    std::string user;
    bool classic = false;
    std::vector<std::string> words;
};

// Opens the dictionaries of check and suggest; false after a message.
bool open(TQnSpell &spell, const Lookup &lookup, std::ostream &err)
{
    if (!spell.OpenDictionary(lookup.dictionary)) {
        err << "qndict: cannot read dictionary " << lookup.dictionary << "\n";
        return false;
    }
    if (!lookup.user.empty() && spell.OpenUserDictionary(lookup.user) <= 0) {
        err << "qndict: cannot use user dictionary " << lookup.user << "\n";
        return false;
    }
    return true;
}

} // namespace

int Run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string &command = args[0];
    if (args.size() == 1 && (command == "--help" || command == "-h" || command == "help")) {
        out << kUsage;
        return 0;
    }
    if (args.size() == 1 && command == "--version") {
        out << "qndict " << Version() << '\n';
        return 0;
    }
    if (command == "build" && args.size() == 3)
        return build(args[1], args[2], out, err);

    if (command == "frequency" && args.size() >= 3)
        return frequency(args, out, err);

    if (command == "words" && args.size() == 2) {
        TQnSpell spell;
        if (!spell.OpenDictionary(args[1])) {
            err << "qndict: cannot read dictionary " << args[1] << "\n";
            return 2;
        }
        spell.ForEachWord([&out](const std::string &w) { out << ToUtf8(w) << '\n'; });
        return 0;
    }

    if (command == "check" || command == "suggest") {
        Lookup lookup;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--user" && i + 1 < args.size())
                lookup.user = args[++i];
            else if (args[i] == "--classic" && command == "suggest")
                lookup.classic = true;
            else if (lookup.dictionary.empty())
                lookup.dictionary = args[i];
            else
                lookup.words.push_back(args[i]);
        }
        if (lookup.dictionary.empty() || lookup.words.empty()) {
            err << kUsage;
            return 2;
        }
        TQnSpell spell;
        spell.SetSuggestionRanking(lookup.classic ? TQnSpell::Ranking::Classic
                                                  : TQnSpell::Ranking::ByEdits);
        if (!open(spell, lookup, err))
            return 2;
        bool anyWrong = false;
        for (const std::string &word : lookup.words) {
            // A word Windows-1252 cannot hold is in no dictionary.
            const auto ansi = InputToAnsi(word);
            if (command == "check") {
                const bool ok = ansi && spell.IsCorrect(*ansi);
                anyWrong = anyWrong || !ok;
                out << word << (ok ? " ok\n" : " wrong\n");
            } else {
                out << word << ":";
                const char *separator = " ";
                if (ansi)
                    for (const std::string &s : spell.Suggest(*ansi)) {
                        out << separator << ToUtf8(s);
                        separator = "|";
                    }
                out << '\n';
            }
        }
        return anyWrong ? 1 : 0;
    }

    err << kUsage;
    return 2;
}

} // namespace qn::qndict
