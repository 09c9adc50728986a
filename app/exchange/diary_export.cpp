#include "app/exchange/diary_export.h"

#include "app/exchange/entry_document.h"
#include "app/exchange/json_text.h"
#include "platform/ansi.h"
#include "platform/datetime.h"
#include "platform/file_replacement.h"
#include "richtext/io/html_writer.h"
#include "richtext/io/stream.h"

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

// The entry's text as the user reads it, UTF-8, paragraphs on lines of their own.
std::string entryText(const DiaryEntry &entry)
{
    std::string error;
    std::unique_ptr<TQnRTFText> document = entryDocument(entry, error);
    if (!document)
        return "[This entry cannot be read: " + error + "]";
    std::string text = unixLines(DocumentText(*document));
    // The writer ends the text with a zero byte; no reader wants it.
    std::erase(text, '\0');
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return AnsiToUtf8(text);
}

bool report(const ProgressHook &progress, int done, int total)
{
    return !progress || progress(done, total);
}

void writeWhole(const fs::path &file, const std::string &bytes, ExportResult &result)
{
    try {
        ReplaceFile(file, bytes);
    } catch (const std::exception &error) {
        throw std::runtime_error("The export file " + file.string() +
                                 " cannot be written: " + error.what());
    }
    result.Files.push_back(file.string());
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
             const ProgressHook &progress)
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
            entry = std::make_unique<TQnRTFText>();
            TCharAttr attr;
            attr.Size = 10;
            entry->AppendToLine(entry->FirstParagraph->Lines,
                                "[This entry cannot be read: " + error + "]", attr);
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
                    const ProgressHook &progress)
{
    const int total = static_cast<int>(entries.size());
    TParagraph *tail = nullptr;
    for (int i = 0; i < total; ++i) {
        const DiaryEntry &entry = entries[i];
        AppendHeading(merged, headingOf(entry.Key), i == 0 ? 0 : 360, &tail);
        std::string error;
        if (!AppendRtf(merged, entry.Rtf, false, error, &tail)) {
            // What cannot be read is said in its place rather than left out silently.
            TParagraph *note = nullptr;
            merged.NewParagraph(note, 64);
            TCharAttr attr;
            merged.AppendToLine(note->Lines, "[This entry cannot be read: " + error + "]", attr);
            tail->Next = note;
            note->Prev = tail;
            tail = note;
        }
        if (!report(progress, i + 1, total))
            return false;
    }
    return true;
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
    const std::vector<DiaryEntry> entries = records.Entries(request.FromKey, request.ToKey);
    const int total = static_cast<int>(entries.size());
    if (!report(progress, 0, total)) {
        result.Cancelled = true;
        return result;
    }

    switch (request.Format) {
    case ExportFormat::Html: {
        std::string page;
        if (!webPage(entries, page, progress)) {
            result.Cancelled = true;
            return result;
        }
        writeWhole(request.Target, page, result);
        break;
    }
    case ExportFormat::Rtf: {
        TQnRTFText merged;
        merged.Header->Title = "Quillnook diary";
        if (!mergedDocument(entries, merged, progress)) {
            result.Cancelled = true;
            return result;
        }
        writeWhole(request.Target, DocumentRtf(merged), result);
        break;
    }
    case ExportFormat::Text: {
        std::string text;
        for (int i = 0; i < total; ++i) {
            if (i > 0)
                text += "\n\n";
            text += AnsiToUtf8(headingOf(entries[i].Key));
            text += "\n\n";
            text += entryText(entries[i]);
            text += "\n";
            if (!report(progress, i + 1, total)) {
                result.Cancelled = true;
                return result;
            }
        }
        writeWhole(request.Target, text, result);
        break;
    }
    case ExportFormat::JsonLines: {
        std::string lines;
        for (int i = 0; i < total; ++i) {
            const DiaryEntry &entry = entries[i];
            lines += "{\"date\":" + JsonQuote(KeyAsIsoDate(entry.Key)) +
                     ",\"text\":" + JsonQuote(entryText(entry)) +
                     ",\"rtf\":" + JsonQuote(AnsiToUtf8(entry.Rtf)) + "}\n";
            if (!report(progress, i + 1, total)) {
                result.Cancelled = true;
                return result;
            }
        }
        writeWhole(request.Target, lines, result);
        break;
    }
    case ExportFormat::RtfFolder: {
        std::error_code ec;
        fs::create_directories(request.Target, ec);
        if (!fs::is_directory(request.Target))
            throw std::runtime_error("The export folder " + request.Target.string() +
                                     " cannot be made" + (ec ? ": " + ec.message() : "."));
        for (int i = 0; i < total; ++i) {
            writeWhole(request.Target / (KeyAsIsoDate(entries[i].Key) + ".rtf"), entries[i].Rtf,
                       result);
            if (!report(progress, i + 1, total)) {
                result.Cancelled = true;
                result.Entries = i + 1;
                return result;
            }
        }
        break;
    }
    }
    result.Entries = total;
    return result;
}

} // namespace qn::exchange
