#include "app/exchange/diary_import.h"

#include "app/exchange/json_text.h"
#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace qn::exchange {

namespace fs = std::filesystem;

namespace {

// One thing to bring in: where it comes from, its date, and its document
// (or why there is none).
struct Source {
    std::string Name;
    std::string Key;
    std::unique_ptr<TQnRTFText> Document;
    std::string Error;
    bool Skip = false; // not a dated file: told, but no failure
};

// The largest file read: far above any diary entry, and a bound on memory.
constexpr uint64_t kLargestEntryFile = 256u << 20;
constexpr uint64_t kLargestLineFile = 1u << 30;

std::string lowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A document from outside, refused when RTF is cut short.
std::unique_ptr<TQnRTFText> readSource(const std::string &bytes, SourceFormat format,
                                       std::string &error)
{
    std::unique_ptr<TQnRTFText> document = ReadDocument(bytes, format, error);
    if (document && format == SourceFormat::Rtf && !RtfGroupsClosed(bytes)) {
        error = "the RTF is cut short (its groups are not all closed)";
        return nullptr;
    }
    return document;
}

// Why a name of the folder is passed over without being read, or nothing
// for a regular file. A symbolic link is never followed, wherever it points:
// what it names may lie outside the folder, and checking that first would
// leave a moment in which the link can be changed.
std::string skippedKind(const fs::path &file)
{
    const std::string kind = KindOfNonFile(file);
    if (kind.empty())
        return {};
    if (kind.rfind("a symbolic link", 0) == 0)
        return kind + "; links are not followed";
    if (kind == "a folder")
        return "a folder; folders inside are not read";
    return kind + ", not a file";
}

// One name of the folder as a source.
Source folderSource(const fs::path &file)
{
    Source source;
    // The name is shown as it is only when it holds nothing a terminal or
    // a UTF-8 reader would choke on.
    source.Name = ShownBytes(file.filename().string());
    source.Error = skippedKind(file);
    if (!source.Error.empty()) {
        source.Skip = true;
        return source;
    }
    SourceFormat format = SourceFormat::Text;
    source.Key = KeyOfFileName(file.filename().string(), format);
    if (source.Key.empty()) {
        source.Skip = true;
        const std::string ext = lowerAscii(file.extension().string());
        source.Error = (ext == ".rtf" || ext == ".htm" || ext == ".html" || ext == ".txt")
                           ? "the name is not a date (yyyy-mm-dd or yyyymmdd) that exists"
                           : "not a dated .rtf, .htm, .html or .txt file";
        return source;
    }
    // Opened without following a link and checked again once open, so that
    // a name changed since it was looked at is not read either.
    RegularFileContents contents = ReadRegularFile(file, kLargestEntryFile);
    switch (contents.What) {
    case RegularFileContents::Read:
        source.Document = readSource(contents.Bytes, format, source.Error);
        break;
    case RegularFileContents::Link:
    case RegularFileContents::NotRegular:
    case RegularFileContents::Missing:
        source.Skip = true;
        source.Error = contents.Reason;
        break;
    default:
        source.Error = "the file cannot be read: " + contents.Reason;
    }
    return source;
}

std::vector<Source> folderSources(const fs::path &folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        files.push_back(it->path());
    if (ec)
        throw std::runtime_error("The folder " + folder.string() +
                                 " cannot be read: " + ec.message());
    std::sort(files.begin(), files.end());
    std::vector<Source> sources;
    for (const fs::path &file : files)
        sources.push_back(folderSource(file));
    return sources;
}

std::vector<Source> lineFileSources(const fs::path &file)
{
    // The file the user named may be a link; it must still be a file.
    RegularFileContents contents = ReadRegularFile(file, kLargestLineFile, true);
    if (contents.What != RegularFileContents::Read)
        throw std::runtime_error("The file " + file.string() +
                                 " cannot be read: " + contents.Reason + ".");
    const std::string *bytes = &contents.Bytes;
    const std::string name = ShownBytes(file.filename().string());
    std::vector<Source> sources;
    size_t start = 0;
    for (int number = 1; start < bytes->size(); ++number) {
        size_t end = bytes->find('\n', start);
        if (end == std::string::npos)
            end = bytes->size();
        std::string_view line(bytes->data() + start, end - start);
        start = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        Source source;
        source.Name = name + " line " + std::to_string(number);
        std::string error;
        auto members = ParseJsonStringObject(line, error);
        if (!members) {
            source.Error = "not a line of the export (" + error + ")";
        } else if (!members->count("date")) {
            source.Error = "the line has no \"date\"";
        } else if ((source.Key = KeyOfDateText((*members)["date"])).empty()) {
            source.Error = "\"" + (*members)["date"] + "\" is not a date (yyyy-mm-dd) that exists";
        } else if (members->count("rtf")) {
            // The formatted text counts; the plain text is there for other readers.
            std::optional<std::string> rtf = Utf8ToAnsi((*members)["rtf"]);
            if (!rtf)
                source.Error = "the \"rtf\" text holds characters a diary entry cannot hold";
            else
                source.Document = readSource(*rtf, SourceFormat::Rtf, source.Error);
        } else if (members->count("text")) {
            source.Document = ReadDocument((*members)["text"], SourceFormat::Text, source.Error);
        } else {
            source.Error = "the line has neither \"rtf\" nor \"text\"";
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

// Whether the document's last paragraphs are those of `tail`.
bool endsWith(const std::vector<std::string> &whole, const std::vector<std::string> &tail)
{
    return tail.size() <= whole.size() &&
           std::equal(tail.begin(), tail.end(), whole.end() - static_cast<long>(tail.size()));
}

} // namespace

std::string KeyOfFileName(const std::string &name, SourceFormat &format)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    const std::string ext = lowerAscii(name.substr(dot + 1));
    if (ext == "rtf")
        format = SourceFormat::Rtf;
    else if (ext == "htm" || ext == "html")
        format = SourceFormat::Html;
    else if (ext == "txt")
        format = SourceFormat::Text;
    else
        return {};
    return KeyOfDateText(name.substr(0, dot));
}

int ImportResult::Count(ImportItem::Action action) const
{
    return static_cast<int>(std::count_if(Items.begin(), Items.end(),
                                          [&](const ImportItem &i) { return i.What == action; }));
}

std::string ImportResult::Report() const
{
    std::string text;
    for (const ImportItem &item : Items) {
        text += item.Source + ": ";
        const std::string date = KeyAsIsoDate(item.Key);
        switch (item.What) {
        case ImportItem::Added:
            text += (DryRun ? "would become the entry of " : "became the entry of ") + date;
            break;
        case ImportItem::Appended:
            text += (DryRun ? "would be added after a page break to the entry of "
                            : "added after a page break to the entry of ") +
                    date;
            break;
        case ImportItem::Unchanged:
            text += "the entry of " + date + " already holds this text; left as it is";
            break;
        case ImportItem::Skipped:
            text += "skipped: " + item.Message;
            break;
        case ImportItem::Failed:
            text += "not imported: " + item.Message;
            break;
        }
        text += "\n";
    }
    text += std::to_string(Count(ImportItem::Added)) + " new, " +
            std::to_string(Count(ImportItem::Appended)) + " added to existing entries, " +
            std::to_string(Count(ImportItem::Unchanged)) + " already there, " +
            std::to_string(Count(ImportItem::Skipped)) + " skipped, " +
            std::to_string(Count(ImportItem::Failed)) + " not imported.\n";
    if (DryRun)
        text += "Dry run: the diary was not changed.\n";
    if (!Failure.empty())
        text += "Stopped: the diary could not be written (" + Failure +
                "). The items above the last were done, the rest not tried.\n";
    if (Cancelled)
        text += "Stopped before the end: the items above were done, the rest not.\n";
    return text;
}

namespace {

// The text a date has now: what this run wrote to it, or the diary's entry.
std::optional<std::string> currentText(DiaryRecords *records, const std::string &key,
                                       const std::map<std::string, std::string> &written)
{
    if (auto it = written.find(key); it != written.end())
        return it->second;
    if (records)
        return records->Entry(key);
    return std::nullopt;
}

// What a source does to the date's entry; `text` receives the entry's new
// text when it is Added or Appended.
ImportItem::Action decide(const Source &s, const std::optional<std::string> &existing,
                          std::string &text, std::string &message)
{
    const std::string imported = DocumentRtf(*s.Document);
    if (!existing) {
        text = imported;
        return ImportItem::Added;
    }
    std::string error;
    std::unique_ptr<TQnRTFText> current = ReadDocument(*existing, SourceFormat::Rtf, error);
    if (!current) {
        message = "the entry of " + KeyAsIsoDate(s.Key) + " cannot be read (" + error +
                  "); it was left as it is";
        return ImportItem::Failed;
    }
    if (IsBlankDocument(*current)) {
        text = imported;
        return ImportItem::Added;
    }
    if (endsWith(ParagraphTexts(*current), ParagraphTexts(*s.Document)))
        return ImportItem::Unchanged;
    if (!AppendRtf(*current, imported, true, error)) {
        message = error;
        return ImportItem::Failed;
    }
    text = DocumentRtf(*current);
    return ImportItem::Appended;
}

// One source brought in. A failure to write the diary throws.
ImportItem importOne(Source &s, DiaryRecords *records, bool dryRun,
                     std::map<std::string, std::string> &written)
{
    ImportItem item;
    item.Source = s.Name;
    item.Key = s.Key;
    if (!s.Document) {
        item.What = s.Skip ? ImportItem::Skipped : ImportItem::Failed;
        item.Message = s.Error;
        return item;
    }
    if (IsBlankDocument(*s.Document)) {
        item.What = ImportItem::Skipped;
        item.Message = "it holds no text";
        return item;
    }
    std::optional<std::string> existing;
    try {
        existing = currentText(records, s.Key, written);
    } catch (const std::exception &error) {
        item.What = ImportItem::Failed;
        item.Message = "the entry of " + KeyAsIsoDate(s.Key) + " cannot be read (" + error.what() +
                       "); it was left as it is";
        return item;
    }
    std::string text;
    item.What = decide(s, existing, text, item.Message);
    if (item.What == ImportItem::Added || item.What == ImportItem::Appended) {
        if (!dryRun)
            records->Store(s.Key, text);
        written[s.Key] = text;
    }
    return item;
}

} // namespace

ImportResult ImportIntoDiary(DiaryRecords *records, const fs::path &source, bool dryRun,
                             const ProgressHook &progress)
{
    if (!records && !dryRun)
        throw std::runtime_error("There is no diary to import into.");
    std::error_code ec;
    if (!fs::exists(source, ec))
        throw std::runtime_error("There is no file or folder " + source.string() + ".");
    std::vector<Source> sources =
        fs::is_directory(source, ec) ? folderSources(source) : lineFileSources(source);

    ImportResult result;
    result.DryRun = dryRun;
    // The texts this run has written (or, in a dry run, would have), so that
    // two sources of one date meet as they would in the diary.
    std::map<std::string, std::string> written;
    const int total = static_cast<int>(sources.size());
    if (progress && !progress(0, total)) {
        result.Cancelled = true;
        return result;
    }
    for (int i = 0; i < total; ++i) {
        try {
            result.Items.push_back(importOne(sources[i], records, dryRun, written));
        } catch (const std::exception &error) {
            // The diary cannot be written (a full disk, a read-only folder, an
            // I/O error): what was stored stays, nothing more is tried.
            ImportItem item;
            item.Source = sources[i].Name;
            item.Key = sources[i].Key;
            item.What = ImportItem::Failed;
            item.Message = std::string("the diary could not be written: ") + error.what();
            result.Items.push_back(std::move(item));
            result.Failure = error.what();
            break;
        }
        if (progress && !progress(i + 1, total)) {
            result.Cancelled = i + 1 < total;
            break;
        }
    }
    return result;
}

} // namespace qn::exchange
