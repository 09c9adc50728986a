#include "spell/spelling_engine.h"

#ifdef QN_WITH_HUNSPELL

#include "platform/ansi.h"
#include "platform/file_replacement.h"
#include "spell/dictionary_file.h"

#include <hunspell.h>

#include <filesystem>
#include <optional>
#include <set>

namespace qn::spell {

namespace {

constexpr int64_t kMaxUserWordsSize = 4 << 20;

class HunspellEngine : public SpellingEngine {
public:
    HunspellEngine(Hunhandle *handle, std::string userWords, FileSystem &fs)
        : handle_(handle), userWords_(std::move(userWords)), fs_(fs)
    {
        const char *encoding = Hunspell_get_dic_encoding(handle_);
        utf8_ = encoding && std::string_view(encoding) == "UTF-8";
        loadUserWords();
    }
    ~HunspellEngine() override { Hunspell_destroy(handle_); }

    bool IsCorrect(std::string_view word) override
    {
        return Hunspell_spell(handle_, toDictionary(word).c_str()) != 0;
    }

    std::vector<std::string> Suggest(std::string_view word, int count) override
    {
        char **list = nullptr;
        const int n = Hunspell_suggest(handle_, &list, toDictionary(word).c_str());
        std::vector<std::string> out;
        for (int i = 0; i < n && static_cast<int>(out.size()) < count; ++i)
            if (const auto ansi = fromDictionary(list[i]))
                out.push_back(*ansi);
        Hunspell_free_list(handle_, &list, n);
        return out;
    }

    bool AddWord(std::string_view word) override
    {
        // A list that is there but could not be read is not written over:
        // the words in it would be lost.
        if (!listReadable_ || word.empty() || word.size() > 100 ||
            word.find_first_of("\r\n") != std::string_view::npos)
            return false;
        std::set<std::string> words = words_;
        words.insert(AnsiToUtf8(word));
        std::string text;
        for (const std::string &w : words)
            text += w + '\n';
        for (const std::string &line : kept_)
            text += line + '\n';
        try {
            ReplaceFile(userWords_, text, fs_);
        } catch (const FileError &) {
            return false;
        }
        words_ = std::move(words);
        Hunspell_add(handle_, toDictionary(word).c_str());
        return true;
    }

private:
    std::string toDictionary(std::string_view word) const
    {
        return utf8_ ? AnsiToUtf8(word) : std::string(word);
    }

    std::optional<std::string> fromDictionary(const char *word) const
    {
        if (!utf8_)
            return std::string(word);
        return Utf8ToAnsi(word);
    }

    // The list is the user's own file: lines that are no words are not
    // taken, but kept in the file when it is written again.
    void loadUserWords()
    {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(userWords_, error)))
            return; // made with the first word
        listReadable_ = false;
        const auto file = DictionaryFile::Open(userWords_, DictionaryFile::Mode::ReadOnly, fs_);
        if (!file || file->Size() < 0 || file->Size() > kMaxUserWordsSize)
            return;
        std::string text(static_cast<size_t>(file->Size()), '\0');
        if (file->ReadAt(0, text.data(), text.size()) != text.size())
            return;
        listReadable_ = true;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            const auto ansi = Utf8ToAnsi(line);
            if (line.size() > 100 || !ansi) {
                kept_.push_back(line);
                continue;
            }
            words_.insert(line);
            Hunspell_add(handle_, toDictionary(*ansi).c_str());
        }
    }

    Hunhandle *handle_;
    std::string userWords_;
    FileSystem &fs_;
    bool utf8_ = true;
    std::set<std::string> words_;   // UTF-8, as the file keeps them
    std::vector<std::string> kept_; // lines of the file that are no words
    bool listReadable_ = true;
};

} // namespace

std::unique_ptr<SpellingEngine> MakeHunspellEngine(const std::string &base,
                                                   const std::string &userWords, FileSystem &fs)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(base + ".aff", error) ||
        !std::filesystem::is_regular_file(base + ".dic", error))
        return nullptr;
    Hunhandle *handle = Hunspell_create((base + ".aff").c_str(), (base + ".dic").c_str());
    if (!handle)
        return nullptr;
    return std::make_unique<HunspellEngine>(handle, userWords, fs);
}

} // namespace qn::spell

#else

namespace qn::spell {

std::unique_ptr<SpellingEngine> MakeHunspellEngine(const std::string &, const std::string &,
                                                   FileSystem &)
{
    return nullptr;
}

} // namespace qn::spell

#endif
