// Times the export of a diary of 10,000 formatted entries to each format.
//   exchange_bench [ENTRIES] [FOLDER]
// The diary is made once in FOLDER (a fresh temporary folder by default).
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_records.h"
#include "app/exchange/entry_document.h"
#include "platform/unicode_text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace qn;
using namespace qn::exchange;
namespace fs = std::filesystem;

namespace {

std::string entryRtf(int n)
{
    TQnRTFText doc;
    TCharAttr plain, bold;
    bold.Style = kStyleBold;
    bold.FontIndex = static_cast<uint8_t>(doc.FindOrAddFont("Times New Roman"));
    for (int p = 0; p < 4; ++p) {
        doc.AddParagraphWithText(
            p,
            qn::unicode::FromAnsi("Entry " + std::to_string(n) + ", paragraph " +
                                  std::to_string(p) +
                                  ": the day went on as days do, "
                                  "with caf\xe9 in the morning and a walk at night."),
            &plain);
        doc.AppendToLine(doc.ParagraphAt(p)->Lines, qn::unicode::FromAnsi(" Bold words here."),
                         bold);
    }
    return DocumentRtf(doc);
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    fs::path folder =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("qn-exchange-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    auto start = std::chrono::steady_clock::now();
    if (!DiaryTableFile(folder)) {
        DiaryFolder diary(folder, "", DiaryFolder::CreateWhenMissing);
        const TDateTime first = EncodeDate(1999, 1, 1);
        for (int n = 0; n < count; ++n)
            diary.Records().Store(FormatDateTime("yyyymmdd", first + n), entryRtf(n));
        std::printf("made a diary of %d entries in %.2f s (%s)\n", count, seconds(start),
                    folder.c_str());
    }
    start = std::chrono::steady_clock::now();
    DiaryFolder diary(folder, "", DiaryFolder::ReadOnly);
    std::printf("opened read-only, its index checked, in %.3f s\n", seconds(start));
    for (ExportFormat format : {ExportFormat::Html, ExportFormat::Rtf, ExportFormat::Text,
                                ExportFormat::RtfFolder, ExportFormat::JsonLines}) {
        ExportRequest request;
        request.Format = format;
        request.Target = folder / (std::string("export-") + ExportFormatName(format) +
                                   ExportFormatExtension(format));
        start = std::chrono::steady_clock::now();
        ExportResult result = ExportDiary(diary.Records(), request);
        const double took = seconds(start);
        uintmax_t bytes = 0;
        for (const std::string &file : result.Files)
            bytes += fs::file_size(file);
        std::printf("%-7s %6d entries  %7.3f s  %9.1f KiB\n", ExportFormatName(format),
                    result.Entries, took, bytes / 1024.0);
    }
    return 0;
}
