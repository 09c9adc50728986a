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
#include <unistd.h>

namespace qn::qndict {

namespace {

constexpr const char *kUsage = "usage: qndict build WORDLIST OUT.dct\n"
                               "       qndict words DICT.dct\n"
                               "       qndict check [--user USER.dct] DICT.dct WORD...\n"
                               "       qndict suggest [--user USER.dct] DICT.dct WORD...\n"
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

struct Lookup {
    std::string dictionary;
    std::string user;
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
