#pragma once

// Bringing writing in from elsewhere: a folder of files named by date, or a
// line file as the export writes it. A date that already has an entry keeps
// it and gets the imported text after a page break; nothing is replaced.

#include "app/exchange/diary_export.h"
#include "app/exchange/diary_records.h"
#include "app/exchange/entry_document.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qn::exchange {

struct ImportItem {
    enum Action {
        Added,     // a new entry
        Appended,  // after a page break in the entry the date had
        Unchanged, // the entry already ends with this text
        Skipped,   // nothing to bring in (empty text, a name that is no date, not a
                   // regular file: links, folders, FIFOs, devices are never read)
        Failed,    // the source cannot be read; nothing was written for it
    };
    std::string Source; // file name, or "name line n"
    std::string Key;    // the date, when known
    Action What = Skipped;
    std::string Message; // why, for Skipped and Failed
};

struct ImportResult {
    std::vector<ImportItem> Items;
    bool DryRun = false;
    bool Cancelled = false;
    // Why the import stopped before its end (the diary could not be
    // written). The diary is committed in batches: the items of the batch
    // that could not be written are told as Failed, like the item it
    // stopped at; those told as Added or Appended are in the diary.
    std::string Failure;
    int Count(ImportItem::Action action) const;
    // Entries added or appended to (in a dry run: that would be).
    int Written() const { return Count(ImportItem::Added) + Count(ImportItem::Appended); }
    // Ran to its end and brought in every dated file.
    bool Complete() const
    {
        return !Cancelled && Failure.empty() && Count(ImportItem::Failed) == 0;
    }
    // One line per item and a summary, for the user.
    std::string Report() const;
};

// Imports the folder or line file at `source`. Of a folder, only the regular
// files in it are read; every other name (symbolic links, which are never
// followed, folders, FIFOs, devices) is reported as skipped. A dry run reads
// and checks everything and writes nothing. Throws std::runtime_error when
// the source itself cannot be read. A failure to write the diary stops the
// import (see ImportResult::Failure). Without records (a dry run only) the
// diary is taken to be empty, as a diary not yet made is.
ImportResult ImportIntoDiary(DiaryRecords *records, const std::filesystem::path &source,
                             bool dryRun, const ProgressHook &progress = {});

// The date key of a file name such as "2026-12-07.rtf" or "20261207.txt",
// empty when the name holds no date; `format` receives the file's format.
std::string KeyOfFileName(const std::string &name, SourceFormat &format);

} // namespace qn::exchange
