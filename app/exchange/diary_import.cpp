#include "app/exchange/diary_import.h"

#include "app/exchange/json_text.h"
#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <chrono>
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

// The sources of an import, read one at a time so that only the one being
// brought in is held in memory.
class SourceList {
public:
    virtual ~SourceList() = default;
    virtual int Total() const = 0;
    // The next source; false after the last.
    virtual bool Next(Source &source) = 0;
};

class FolderSources : public SourceList {
public:
    explicit FolderSources(const fs::path &folder)
    {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            files_.push_back(it->path());
        if (ec)
            throw std::runtime_error("The folder " + folder.string() +
                                     " cannot be read: " + ec.message());
        std::sort(files_.begin(), files_.end());
    }
    int Total() const override { return static_cast<int>(files_.size()); }
    bool Next(Source &source) override
    {
        if (next_ >= files_.size())
            return false;
        source = folderSource(files_[next_++]);
        return true;
    }

private:
    std::vector<fs::path> files_;
    size_t next_ = 0;
};

bool blankLine(std::string_view line)
{
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// One line of the line file as a source.
Source lineSource(const std::string &name, int number, const std::string &line, bool cut)
{
    Source source;
    source.Name = name + " line " + std::to_string(number);
    std::string error;
    auto members = cut ? std::nullopt : ParseJsonStringObject(line, error);
    if (cut) {
        source.Error = "not a line of the export (longer than " +
                       std::to_string(kLargestEntryFile) + " bytes)";
    } else if (!members) {
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
    return source;
}

class LineFileSources : public SourceList {
public:
    explicit LineFileSources(const fs::path &file)
        : reader_(file, kLargestLineFile, true), name_(ShownBytes(file.filename().string()))
    {
        // The file the user named may be a link; it must still be a file.
        if (reader_.What != RegularFileContents::Read)
            throw std::runtime_error("The file " + file.string() +
                                     " cannot be read: " + reader_.Reason + ".");
        try {
            // Counted first, for the progress shown.
            bool cut = false;
            while (reader_.ReadLine(line_, kLargestEntryFile, cut))
                total_ += blankLine(line_) ? 0 : 1;
            reader_.Rewind();
        } catch (const FileError &error) {
            throw std::runtime_error("The file " + file.string() +
                                     " cannot be read: " + error.what() + ".");
        }
    }
    int Total() const override { return total_; }
    bool Next(Source &source) override
    {
        bool cut = false;
        for (;;) {
            if (given_ >= total_ || !reader_.ReadLine(line_, kLargestEntryFile, cut))
                return false;
            ++number_;
            if (!blankLine(line_))
                break;
        }
        ++given_;
        source = lineSource(name_, number_, line_, cut);
        return true;
    }

private:
    RegularFileReader reader_;
    std::string name_;
    std::string line_;
    int total_ = 0;
    int given_ = 0;
    int number_ = 0;
};

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
                "). The items told as brought in were done; the others were not, and the rest "
                "were not tried.\n";
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
        else
            written[s.Key] = text;
    }
    return item;
}

} // namespace

namespace {

// Entries stored between two commits: at most this many, and for at most
// this long. A crash loses at most the entries since the last commit.
constexpr int kBatchEntries = 1000;
constexpr auto kBatchTime = std::chrono::seconds(1);

// Imports with the diary's commits held: each batch of stored entries
// becomes durable in one commit.
class BatchedImport {
public:
    BatchedImport(DiaryRecords *records, bool dryRun, ImportResult &result)
        : records_(dryRun ? nullptr : records), result_(result)
    {
        if (records_)
            records_->HoldCommits(true);
    }
    ~BatchedImport()
    {
        if (records_)
            records_->HoldCommits(false);
    }

    // After each item: commits when the batch is full or old enough.
    void Stored(bool wrote)
    {
        pending_ += wrote ? 1 : 0;
        if (pending_ >= kBatchEntries || (pending_ > 0 && Clock::now() - started_ >= kBatchTime))
            Commit();
    }
    void Commit()
    {
        if (records_ && pending_ > 0)
            records_->Commit();
        pending_ = 0;
        started_ = Clock::now();
        firstOfBatch_ = result_.Items.size();
    }
    // The diary could not be written: the batch is dropped, and its items
    // are told as not imported.
    void Failed(const std::string &why)
    {
        if (records_) {
            try {
                records_->Rollback();
            } catch (const std::exception &) {
                // The table refuses further writes; its journal undoes the rest.
            }
        }
        for (size_t i = firstOfBatch_; i < result_.Items.size(); ++i) {
            ImportItem &item = result_.Items[i];
            if (item.What == ImportItem::Added || item.What == ImportItem::Appended) {
                item.What = ImportItem::Failed;
                item.Message = "the diary could not be written: " + why;
            }
        }
        pending_ = 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    DiaryRecords *records_;
    ImportResult &result_;
    int pending_ = 0;
    size_t firstOfBatch_ = 0;
    Clock::time_point started_ = Clock::now();
};

} // namespace

ImportResult ImportIntoDiary(DiaryRecords *records, const fs::path &source, bool dryRun,
                             const ProgressHook &progress)
{
    if (!records && !dryRun)
        throw std::runtime_error("There is no diary to import into.");
    std::error_code ec;
    if (!fs::exists(source, ec))
        throw std::runtime_error("There is no file or folder " + source.string() + ".");
    std::unique_ptr<SourceList> sources;
    if (fs::is_directory(source, ec))
        sources = std::make_unique<FolderSources>(source);
    else
        sources = std::make_unique<LineFileSources>(source);

    ImportResult result;
    result.DryRun = dryRun;
    // What a dry run would have written, so that two sources of one date
    // meet as they would in the diary (a real run reads the diary back).
    std::map<std::string, std::string> written;
    const int total = sources->Total();
    if (progress && !progress(0, total)) {
        result.Cancelled = true;
        return result;
    }
    BatchedImport batch(records, dryRun, result);
    Source s;
    for (int i = 0; i < total; ++i) {
        try {
            if (!sources->Next(s))
                break;
        } catch (const std::exception &error) {
            // The source failed part way: what was brought in stays.
            ImportItem item;
            item.Source = ShownBytes(source.filename().string());
            item.What = ImportItem::Failed;
            item.Message = std::string("the rest cannot be read: ") + error.what();
            result.Items.push_back(std::move(item));
            break;
        }
        try {
            result.Items.push_back(importOne(s, records, dryRun, written));
            const ImportItem::Action what = result.Items.back().What;
            batch.Stored(what == ImportItem::Added || what == ImportItem::Appended);
        } catch (const std::exception &error) {
            // The diary cannot be written (a full disk, a read-only folder, an
            // I/O error): what was committed stays, nothing more is tried.
            batch.Failed(error.what());
            if (result.Items.empty() || result.Items.back().Source != s.Name) {
                ImportItem item;
                item.Source = s.Name;
                item.Key = s.Key;
                item.What = ImportItem::Failed;
                item.Message = std::string("the diary could not be written: ") + error.what();
                result.Items.push_back(std::move(item));
            }
            result.Failure = error.what();
            return result;
        }
        s = Source{};
        if (progress && !progress(i + 1, total)) {
            result.Cancelled = i + 1 < total;
            break;
        }
    }
    try {
        batch.Commit();
    } catch (const std::exception &error) {
        batch.Failed(error.what());
        result.Failure = error.what();
    }
    return result;
}

} // namespace qn::exchange
