#include "app/exchange/diary_export.h"

#include "app/exchange/entry_document.h"
#include "app/exchange/json_text.h"
#include "platform/ansi.h"
#include "platform/datetime.h"
#include "platform/file_replacement.h"
#include "platform/file_system.h"
#include "platform/unicode_text.h"
#include "richtext/io/html_writer.h"
#include "richtext/io/stream.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace qn::exchange {

namespace fs = std::filesystem;

namespace {

TDateTime dateOfKey(const std::string &key)
{
    TDateTime date = 0;
    if (key.size() != 8 || !TryEncodeDate(std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                                          std::stoi(key.substr(6, 2)), date))
        return 0;
    return date;
}

bool allDigits(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The date line of an entry; a record whose key is no date shows the key.
std::string headingOf(const std::string &key)
{
    if (!allDigits(key) || key.size() != 8 || dateOfKey(key) == 0)
        return "Entry " + key;
    return FormatDateTime("dddd, mmmm d, yyyy", dateOfKey(key));
}

// Text with the line ends of the system: LF.
std::string unixLines(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::unique_ptr<TQnRTFText> entryDocument(const DiaryEntry &entry, std::string &error)
{
    return ReadDocument(entry.Rtf, SourceFormat::Rtf, error);
}

// The entry's text as the user reads it, UTF-8, paragraphs on lines of their
// own; a note and the reason in `error` when it cannot be read.
std::string entryText(const DiaryEntry &entry, std::string &error)
{
    std::unique_ptr<TQnRTFText> document = entryDocument(entry, error);
    if (!document)
        return AnsiToUtf8("[This entry cannot be read: " + error + "]");
    std::string text = unixLines(DocumentText(*document));
    // The writer ends the text with a zero byte; no reader wants it.
    std::erase(text, '\0');
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

bool report(const ProgressHook &progress, int done, int total)
{
    return !progress || progress(done, total);
}

// Thrown by the writers below when a file cannot be written; the export
// stops there.
struct WriteStop {
    std::string Why;
};

// The whole file at once, readable and writable by its owner alone.
void writePrivate(const fs::path &file, const std::string &bytes, FileSystem &files,
                  ExportResult &result)
{
    try {
        FileReplacement replacement(file, files);
        std::error_code ec;
        fs::permissions(replacement.temporaryName(), fs::perms::owner_read | fs::perms::owner_write,
                        ec);
        if (ec)
            throw std::runtime_error("its permissions cannot be set: " + ec.message());
        replacement.file().writeAt(0, bytes.data(), bytes.size());
        replacement.commit();
    } catch (const std::exception &error) {
        throw WriteStop{"The export file " + file.string() + " cannot be written: " + error.what()};
    }
    result.Files.push_back(file.string());
}

// The export folder; one made here is its owner's alone.
// True when the folder was made now (it was not there).
bool makeFolder(const fs::path &folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return false;
    return CreatePrivateFolder(folder);
}

// An entry whose text cannot be read is written as a note, and told.
void noteUnreadable(const DiaryEntry &entry, const std::string &error, ExportResult &result)
{
    result.Problems.push_back("the entry of " + KeyAsIsoDate(entry.Key) + " cannot be read (" +
                              AnsiToUtf8(error) + "); a note stands in its place");
}

// A writer of the export's web page: UTF-8, laid out with CSS.
void pageOptions(TQnHTMLWriter &writer)
{
    writer.CompletePage = true;
    writer.Utf8Text = true;
    writer.CssLayout = true;
}

std::string pageBody(TQnRTFText &document)
{
    TQnMemoryStream out;
    TQnHTMLWriter writer(document);
    pageOptions(writer);
    writer.BodyOnly = true;
    writer.Write(out);
    return out.TakeBytes();
}

// The web page: every entry under its dated heading, each written with its
// own fonts and colours (a merged document would have one colour table for
// all of them), in one UTF-8 page laid out as the entries look.
bool webPage(const std::vector<DiaryEntry> &entries, std::string &page,
             const ProgressHook &progress, ExportResult &result)
{
    TQnRTFText title;
    title.Header->Title = "Quillnook diary";
    TQnHTMLWriter head(title);
    pageOptions(head);
    page = head.PageStart();
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        TQnRTFText heading;
        AppendHeading(heading, headingOf(entries[i].Key), i == 0 ? 0 : 360, nullptr);
        page += pageBody(heading);
        std::string error;
        std::unique_ptr<TQnRTFText> entry = entryDocument(entries[i], error);
        if (!entry) {
            // What cannot be read is said in its place rather than left out silently.
            noteUnreadable(entries[i], error, result);
            entry = std::make_unique<TQnRTFText>();
            TCharAttr attr;
            attr.Size = 10;
            entry->AppendToLine(entry->FirstParagraph->Lines,
                                unicode::FromAnsi("[This entry cannot be read: " + error + "]"),
                                attr);
        }
        page += pageBody(*entry);
        if (!report(progress, i + 1, total))
            return false;
    }
    page += TQnHTMLWriter::PageEnd();
    return true;
}

// Headings and entries in one document (the merged print layout).
bool mergedDocument(const std::vector<DiaryEntry> &entries, TQnRTFText &merged,
                    const ProgressHook &progress, ExportResult &result)
{
    const int total = static_cast<int>(entries.size());
    TParagraph *tail = nullptr;
    for (int i = 0; i < total; ++i) {
        const DiaryEntry &entry = entries[i];
        AppendHeading(merged, headingOf(entry.Key), i == 0 ? 0 : 360, &tail);
        std::string error;
        if (!AppendRtf(merged, entry.Rtf, false, error, &tail)) {
            // What cannot be read is said in its place rather than left out silently.
            noteUnreadable(entry, error, result);
            TParagraph *note = nullptr;
            merged.NewParagraph(note, 64);
            TCharAttr attr;
            merged.AppendToLine(
                note->Lines, unicode::FromAnsi("[This entry cannot be read: " + error + "]"), attr);
            tail->Next = note;
            note->Prev = tail;
            tail = note;
        }
        if (!report(progress, i + 1, total))
            return false;
    }
    return true;
}

// The whole export as one text; false when cancelled.
bool textExport(const std::vector<DiaryEntry> &entries, ExportFormat format,
                const ProgressHook &progress, ExportResult &result, std::string &bytes)
{
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        const DiaryEntry &entry = entries[i];
        std::string error;
        std::string text = entryText(entry, error);
        if (!error.empty())
            noteUnreadable(entry, error, result);
        if (format == ExportFormat::Text) {
            if (i > 0)
                bytes += "\n\n";
            bytes += AnsiToUtf8(headingOf(entry.Key)) + "\n\n" + text + "\n";
        } else {
            bytes += "{\"date\":" + JsonQuote(KeyAsIsoDate(entry.Key)) +
                     ",\"text\":" + JsonQuote(text) +
                     ",\"rtf\":" + JsonQuote(AnsiToUtf8(entry.Rtf)) + "}\n";
        }
        if (!report(progress, i + 1, total))
            return false;
    }
    return true;
}

// A file of the folder export written under its temporary name, readable
// and writable by its owner alone, and closed unsynced.
std::unique_ptr<FileReplacement> stageFile(const fs::path &file, const std::string &bytes,
                                           FileSystem &files)
{
    try {
        // The file door makes it private (0600), whatever the umask.
        auto replacement = std::make_unique<FileReplacement>(file, files);
        replacement->file().writeAt(0, bytes.data(), bytes.size());
        replacement->closeUnsynced();
        return replacement;
    } catch (const std::exception &error) {
        throw WriteStop{"The export file " + file.string() + " cannot be written: " + error.what()};
    }
}

// Makes every staged file durable with one sync of their file system, puts
// each in the place of its name, and makes the names durable with one sync
// of the folder.
void commitStaged(std::vector<std::unique_ptr<FileReplacement>> &staged, const fs::path &folder,
                  FileSystem &files, ExportResult &result)
{
    std::vector<fs::path> folders{folder};
    for (const auto &r : staged)
        if (std::find(folders.begin(), folders.end(), FolderOf(r->target())) == folders.end())
            folders.push_back(FolderOf(r->target())); // a name that is a link elsewhere
    try {
        for (const fs::path &f : folders)
            files.syncFiles(f);
    } catch (const std::exception &error) {
        throw WriteStop{"The export folder " + folder.string() +
                        " cannot be written: " + error.what()};
    }
    // Names already put in place are made durable also when a later one fails.
    struct FolderSync {
        std::vector<fs::path> &folders;
        FileSystem &files;
        bool done = false;
        ~FolderSync()
        {
            if (done)
                return;
            for (const fs::path &f : folders) {
                try {
                    files.syncFolder(f);
                } catch (const std::exception &) {
                    // The failure that stopped the export is the one told.
                }
            }
        }
    } names{folders, files};
    for (auto &r : staged) {
        try {
            r->commit(false);
        } catch (const std::exception &error) {
            throw WriteStop{"The export file " + r->target().string() +
                            " cannot be written: " + error.what()};
        }
        result.Files.push_back(r->target().string());
    }
    staged.clear();
    names.done = true;
    try {
        for (const fs::path &f : folders)
            files.syncFolder(f);
    } catch (const std::exception &error) {
        throw WriteStop{"The export folder " + folder.string() +
                        " cannot be written: " + error.what()};
    }
}

// A folder the export has just made holds nothing to keep: its files are
// written under their own names (one create and one write each) and made
// durable with one sync of the file system and one of the folder. A failure
// or a stop removes the folder again.
void freshFolderExport(const std::vector<DiaryEntry> &entries, const ExportRequest &request,
                       FileSystem &files, const ProgressHook &progress, ExportResult &result)
{
    std::vector<fs::path> written;
    bool done = false;
    struct Cleanup {
        const fs::path &folder;
        std::vector<fs::path> &written;
        FileSystem &files;
        bool &done;
        ~Cleanup()
        {
            if (done)
                return;
            try {
                for (const fs::path &file : written)
                    files.remove(file);
                std::error_code ec;
                fs::remove(folder, ec);
            } catch (const std::exception &) {
                // The failure that stopped the export is the one told.
            }
        }
    } cleanup{request.Target, written, files, done};
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        if (IsDateKey(entries[i].Key)) {
            const fs::path file = request.Target / (KeyAsIsoDate(entries[i].Key) + ".rtf");
            try {
                std::unique_ptr<File> out;
                try {
                    out = files.open(file, OpenMode::CreateNew);
                    written.push_back(file);
                } catch (const FileExistsError &) {
                    out = files.open(file, OpenMode::Create); // one date twice: the later wins
                }
                out->writeAt(0, entries[i].Rtf.data(), entries[i].Rtf.size());
            } catch (const std::exception &error) {
                throw WriteStop{"The export file " + file.string() +
                                " cannot be written: " + error.what()};
            }
            ++result.Entries;
        }
        if (!report(progress, i + 1, total)) {
            result.Cancelled = true;
            result.Entries = 0;
            return;
        }
    }
    try {
        files.syncFiles(request.Target);
        files.syncFolder(request.Target);
        files.syncFolder(FolderOf(request.Target));
    } catch (const std::exception &error) {
        throw WriteStop{"The export folder " + request.Target.string() +
                        " cannot be written: " + error.what()};
    }
    done = true;
    for (const fs::path &file : written)
        result.Files.push_back(file.string());
}

// One yyyy-mm-dd.rtf per entry; the name comes from a checked date only.
// In a folder that was there before, the files are written under temporary
// names first and synced together; a failure or a stop before then leaves
// the folder as it was.
void folderExport(const std::vector<DiaryEntry> &entries, const ExportRequest &request,
                  FileSystem &files, const ProgressHook &progress, ExportResult &result)
{
    if (makeFolder(request.Target)) {
        freshFolderExport(entries, request, files, progress, result);
        return;
    }
    std::vector<std::unique_ptr<FileReplacement>> staged;
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        if (IsDateKey(entries[i].Key)) {
            staged.push_back(stageFile(request.Target / (KeyAsIsoDate(entries[i].Key) + ".rtf"),
                                       entries[i].Rtf, files));
            ++result.Entries;
        }
        if (!report(progress, i + 1, total)) {
            result.Cancelled = true;
            result.Entries = 0;
            return;
        }
    }
    commitStaged(staged, request.Target, files, result);
}

} // namespace

bool ExportFormatNamed(const std::string &name, ExportFormat &format)
{
    static const std::pair<const char *, ExportFormat> names[] = {
        {"html", ExportFormat::Html},        {"rtf", ExportFormat::Rtf},
        {"text", ExportFormat::Text},        {"txt", ExportFormat::Text},
        {"folder", ExportFormat::RtfFolder}, {"jsonl", ExportFormat::JsonLines},
        {"json", ExportFormat::JsonLines}};
    for (const auto &[n, f] : names)
        if (name == n) {
            format = f;
            return true;
        }
    return false;
}

const char *ExportFormatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Html:
        return "html";
    case ExportFormat::Rtf:
        return "rtf";
    case ExportFormat::Text:
        return "text";
    case ExportFormat::RtfFolder:
        return "folder";
    case ExportFormat::JsonLines:
        return "jsonl";
    }
    return "";
}

const char *ExportFormatExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Html:
        return ".html";
    case ExportFormat::Rtf:
        return ".rtf";
    case ExportFormat::Text:
        return ".txt";
    case ExportFormat::RtfFolder:
        return "";
    case ExportFormat::JsonLines:
        return ".jsonl";
    }
    return "";
}

std::string KeyAsIsoDate(const std::string &key)
{
    if (key.size() != 8)
        return key;
    return key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6, 2);
}

std::string KeyOfDateText(const std::string &text)
{
    std::string key;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-')
        key = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
    else if (text.size() == 8)
        key = text;
    if (!allDigits(key) || dateOfKey(key) == 0)
        return {};
    return key;
}

ExportResult ExportDiary(DiaryRecords &records, const ExportRequest &request,
                         const ProgressHook &progress)
{
    ExportResult result;
    if (request.Target.empty())
        throw std::runtime_error("No file was named to export to.");
    if (!request.FromKey.empty() && !request.ToKey.empty() && request.FromKey > request.ToKey)
        throw std::runtime_error("The first date of the range lies after the last one.");
    FileSystem &files = request.Files ? *request.Files : DefaultFileSystem();
    std::vector<DamagedRecord> damaged;
    const std::vector<DiaryEntry> entries =
        records.Entries(request.FromKey, request.ToKey, &damaged);
    for (const DamagedRecord &record : damaged)
        result.Problems.push_back(record.Describe() + "; left out");
    if (!report(progress, 0, static_cast<int>(entries.size()))) {
        result.Cancelled = true;
        return result;
    }
    try {
        if (request.Format == ExportFormat::RtfFolder) {
            folderExport(entries, request, files, progress, result);
            return result;
        }
        std::string bytes;
        if (request.Format == ExportFormat::Html) {
            result.Cancelled = !webPage(entries, bytes, progress, result);
        } else if (request.Format == ExportFormat::Rtf) {
            TQnRTFText merged;
            merged.Header->Title = "Quillnook diary";
            result.Cancelled = !mergedDocument(entries, merged, progress, result);
            if (!result.Cancelled)
                bytes = DocumentRtf(merged);
        } else {
            result.Cancelled = !textExport(entries, request.Format, progress, result, bytes);
        }
        if (result.Cancelled)
            return result;
        writePrivate(request.Target, bytes, files, result);
        result.Entries = static_cast<int>(entries.size());
    } catch (const WriteStop &stop) {
        result.Failure = stop.Why;
    }
    return result;
}

} // namespace qn::exchange
