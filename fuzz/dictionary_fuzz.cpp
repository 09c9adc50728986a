// libFuzzer target: a dictionary file from outside, opened as the main
// dictionary and as a user dictionary, looked up, searched for suggestions,
// listed, and (as a user dictionary) given a word.

#include <cstdlib>
#include <exception>
#include <fstream>

#include "fuzz/fuzz_files.h"
#include "spell/dictionary_builder.h"
#include "spell/qnspell.h"

namespace {

void exercise(qn::TQnSpell &spell)
{
    for (const char *word : {"apple", "aple", "diary", "a", "zzzz", "caf\xe9", "ha-ha", "l'eau"}) {
        spell.IsCorrect(word);
        spell.Suggest(word);
    }
    long words = 0;
    spell.ForEachWord([&words](const std::string &) { ++words; });
}

} // namespace

// With QN_FUZZ_SEEDS set to a folder, writes seed dictionaries there (a
// main and a user dictionary of a few words) and ends.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *seeds = std::getenv("QN_FUZZ_SEEDS");
    if (!seeds)
        return 0;
    const std::vector<std::string> words = {"apple",     "apply", "ape",   "banana", "band",
                                            "can",       "cane",  "cat's", "diary",  "dog",
                                            "\xE9t\xE9", "go",    "ha-ha", "l'eau",  "zebra"};
    qn::spell::DictionaryBuilder builder;
    for (const auto &w : words)
        builder.Add(w);
    const std::string bytes = builder.Build().Bytes;
    const std::filesystem::path dir(seeds);
    std::ofstream(dir / "main.dct", std::ios::binary)
        .write(bytes.data(), std::streamsize(bytes.size()));
    qn::TQnSpell spell;
    spell.CreateUserDictionary((dir / "user.dct").string(), {"diary", "quill",
                                                             "\xFC"
                                                             "ber"});
    std::exit(0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qn::fuzz::writeParts(data, size, {"main.dct"});
    const std::string path = (qn::fuzz::workFolder() / "main.dct").string();
    try {
        qn::TQnSpell main;
        main.SetDictionaryName(path);
        if (main.OpenDictionary(path))
            exercise(main);
    } catch (const std::exception &) {
    }
    try {
        qn::TQnSpell user;
        user.SetDictionaryName((qn::fuzz::workFolder() / "missing.dct").string());
        const int handle = user.OpenUserDictionary(path);
        if (handle > 0) {
            exercise(user);
            user.AddWord("quillwort", handle);
            exercise(user);
        }
    } catch (const std::exception &) {
    }
    return 0;
}
