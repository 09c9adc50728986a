#include "spell/spelling_engine.h"

#include "spell/qnspell.h"

#include <algorithm>
#include <filesystem>

namespace qn::spell {

namespace {

class OwnDictionaryEngine : public SpellingEngine {
public:
    OwnDictionaryEngine(const std::string &main, std::string user, FileSystem &fs)
        : spell_(fs), user_(std::move(user))
    {
        spell_.SetSuggestionRanking(TQnSpell::Ranking::ByEdits);
        spell_.SetDictionaryName(main);
        spell_.OpenDictionary(main);
        openUser();
    }

    bool MainOpen() const { return spell_.MainDictionaryOpen(); }

    bool IsCorrect(std::string_view word) override
    {
        if (spell_.IsCorrect(word))
            return true;
        if (handle_ > 0)
            return false;
        openUser(); // the spell check dialog may have made it since
        return handle_ > 0 && spell_.IsCorrect(word);
    }

    std::vector<std::string> Suggest(std::string_view word, int count) override
    {
        spell_.SetMaxSuggestions(count);
        return spell_.Suggest(word);
    }

    bool AddWord(std::string_view word) override
    {
        if (handle_ <= 0)
            openUser();
        if (handle_ <= 0)
            handle_ = spell_.CreateUserDictionary(user_, {});
        return handle_ > 0 && spell_.AddWord(word, handle_);
    }

private:
    void openUser()
    {
        std::error_code error;
        if (!user_.empty() && std::filesystem::is_regular_file(user_, error))
            handle_ = spell_.OpenUserDictionary(user_);
    }

    TQnSpell spell_;
    std::string user_;
    int handle_ = -1;
};

} // namespace

std::unique_ptr<SpellingEngine> MakeOwnDictionaryEngine(const std::string &mainDictionary,
                                                        const std::string &userDictionary,
                                                        FileSystem &fs)
{
    // Without the main dictionary every word would be unknown.
    if (mainDictionary.empty())
        return nullptr;
    auto engine = std::make_unique<OwnDictionaryEngine>(mainDictionary, userDictionary, fs);
    if (!engine->MainOpen())
        return nullptr;
    return engine;
}

bool IsPlainLanguageCode(std::string_view code)
{
    return !code.empty() && code.size() <= 32 && std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

std::vector<InstalledDictionary> InstalledDictionaries(const std::string &folder)
{
    std::vector<InstalledDictionary> found;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        const std::filesystem::path &path = entry.path();
        if (path.extension() != ".dic")
            continue;
        const std::string code = path.stem().string();
        std::filesystem::path aff = path;
        aff.replace_extension(".aff");
        std::error_code e1, e2;
        if (IsPlainLanguageCode(code) && std::filesystem::is_regular_file(path, e1) &&
            std::filesystem::is_regular_file(aff, e2))
            found.push_back({code, (path.parent_path() / code).string()});
    }
    std::sort(
        found.begin(), found.end(),
        [](const InstalledDictionary &a, const InstalledDictionary &b) { return a.Code < b.Code; });
    return found;
}

} // namespace qn::spell
