#pragma once

// Writing the diary's entries out, for other programs and for people.

#include "app/exchange/diary_records.h"
#include "platform/file_system.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qn::exchange {

enum class ExportFormat {
    Html,      // one page, a dated heading before each entry
    Rtf,       // one document, entries merged under dated headings
    Text,      // plain UTF-8 text, a dated heading per entry
    RtfFolder, // a folder with one yyyy-mm-dd.rtf per entry
    JsonLines, // {"date":"yyyy-mm-dd","text":"...","rtf":"..."} per line
};

// The format of a name as the command line takes it ("html", "rtf", "text",
// "folder", "jsonl"); false for an unknown name.
bool ExportFormatNamed(const std::string &name, ExportFormat &format);
const char *ExportFormatName(ExportFormat format);
// The usual name ending of the format's file ("" for the folder).
const char *ExportFormatExtension(ExportFormat format);

// Told how far the work is: entries done of all; answering false stops it.
using ProgressHook = std::function<bool(int done, int total)>;

struct ExportRequest {
    ExportFormat Format = ExportFormat::Html;
    std::filesystem::path Target; // the file, or the folder for RtfFolder
    std::string FromKey, ToKey;   // "yyyymmdd"; empty: from the first / to the last entry
    FileSystem *Files = nullptr;  // where the export is written; null: the system's files
};

struct ExportResult {
    int Entries = 0;                // entries written
    bool Cancelled = false;         // stopped by the progress hook; nothing was written
    std::vector<std::string> Files; // files written
    // What was left out or could not be read, one line for the user each:
    // entries by date, records whose date is no date by record number.
    std::vector<std::string> Problems;
    // Why the export stopped before its end (a file could not be written);
    // Files says what was written before. Empty when it ran to its end.
    std::string Failure;
    // Every entry of the range written, and nothing left out.
    bool Complete() const { return !Cancelled && Failure.empty() && Problems.empty(); }
};

// Writes the entries of the range; an entry that cannot be read, or whose
// date is no date, is left out and named in Problems, and the rest are
// written. Files are created for their owner alone (0600, a new folder 0700)
// and replaced as a whole, so that a failure leaves an earlier file of that
// name as it was. Reads only: the diary is never changed. Throws
// std::runtime_error with a text for the user when the request cannot be
// done or the diary cannot be read at all.
ExportResult ExportDiary(DiaryRecords &records, const ExportRequest &request,
                         const ProgressHook &progress = {});

// "yyyy-mm-dd" of a key, and the key of "yyyy-mm-dd" or "yyyymmdd" (empty
// when the text is not an existing date).
std::string KeyAsIsoDate(const std::string &key);
std::string KeyOfDateText(const std::string &text);

} // namespace qn::exchange
