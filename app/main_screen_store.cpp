// The diary store of the main window: the table at start, date keys and
// positioning, the moves, the month callback and "Rebuild Indexes".
#include "app/date_key.h"
#include "app/date_selector.h"
#include "app/exchange/diary_records.h"
#include "app/main_screen.h"
#include "app/rebuild_indexes.h"

#include "engine/xt.h"
#include "engine/xtable.h"
#include "engine/xtable_error.h"
#include "platform/ascii_text.h"
#include "platform/modal_result.h"
#include "platform/program_dir.h"
#include "platform/qt/messages.h"

#include <QPushButton>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace qn {

namespace fs = std::filesystem;
using engine::TXDataSource;
using engine::TXDataTable;
using engine::TXTable;
using engine::TXTableEnv;

namespace {

// True when another process holds the file's exclusive lock (the engine
// takes one for every table it opens exclusively).
bool heldElsewhere(const fs::path &file)
{
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool writableDir(const fs::path &dir)
{
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// Makes `tag` the table's active index. SetOrder counts the table's own
// index definitions, where a tag created after opening comes last, while
// TagArea counts the index file's tags in name order: the two agree only
// while the file holds no tag that sorts after the new one. So the order
// is looked up among the definitions.
void selectTag(TXTable &component, TXDataTable &table, const std::string &tag)
{
    const std::vector<std::string> &defs = table.Cursor().IndexDefs();
    for (size_t i = 0; i < defs.size(); ++i) {
        if (AsciiSameText(defs[i], tag)) {
            component.SetOrder(static_cast<int16_t>(i + 1));
            return;
        }
    }
    // Positioning in any other order would find the wrong records.
    throw std::runtime_error("The diary's index has no tag " + tag +
                             "; choose \"Rebuild Indexes\" in the File menu.");
}

// The rebuild dialog's view of the main window's table.
class TDiaryRebuild : public TRebuildTarget {
public:
    explicit TDiaryRebuild(TMainScreen &main) : main_(main) {}
    ~TDiaryRebuild() override { main_.DiaryXTable->SetGaugeHook({}); }

    void DisableControls() override { main_.DiaryTable->DisableControls(); }
    void EnableControls() override { main_.DiaryTable->EnableControls(); }
    void SetDeleted(bool on) override { main_.XTableEnv1->SetDeleted(on); }
    std::string DBFilter() override { return main_.DiaryXTable->DBFilter(); }
    void Query(const std::string &filter) override { main_.DiaryXTable->Query(filter); }
    void CloseIndexes() override { main_.DiaryXTable->CloseIndexes(); }
    fs::path Directory() override { return main_.DiaryDir(); }
    void SetGaugeHook(std::function<void(int32_t)> hook) override
    {
        main_.DiaryXTable->SetGaugeHook(std::move(hook));
    }
    void Pack() override { main_.DiaryXTable->Pack(); }
    void CreateIndex() override { main_.CreateDiaryIndex(); }
    int TagArea(const std::string &tag) override { return main_.DiaryXTable->TagArea(tag); }
    std::string ActiveTag() override { return main_.DiaryTable->IndexFieldNames(); }
    void SelectTag(const std::string &tag) override
    {
        selectTag(*main_.DiaryXTable, *main_.DiaryTable, tag);
    }

private:
    TMainScreen &main_;
};

// The date selector over the main window, on `date`, with the window's
// month callback; on OK `date` becomes the date picked.
int showDateSelector(TMainScreen &main, TDateTime &date)
{
    TDateSelector dialog(&main);
    main.CenterOnMainScreen(&dialog);
    dialog.InitialDate = date;
    dialog.OnFillMonth = [&main](QStringList &list, int year, int month) {
        main.MarkEntryDays(list, year, month);
    };
    const int result = dialog.exec();
    if (result == mrOk)
        date = dialog.Calendar->CalendarDate();
    return result;
}

} // namespace

void TMainScreen::createDiaryComponents()
{
    DiaryTable = std::make_unique<TXDataTable>();
    DataSource1 = std::make_unique<TXDataSource>(DiaryTable.get());
    DiaryXTable = std::make_unique<TXTable>();
    DiaryXTable->SetDataSource(DataSource1.get());
    XTableEnv1 = std::make_unique<TXTableEnv>();
    watchEntryTexts();
}

void TMainScreen::closeDiaryTable()
{
    if (!DiaryTable || !DiaryTable->Active())
        return;
    ProcessPendingMessages();
    DiaryTable->Close();
    DiaryTableDATE = DiaryTableENTRY = nullptr;
    ProcessPendingMessages();
}

std::string TMainScreen::explainOpenFailure(const std::string &engineText, bool creating) const
{
    auto table = FindFileNoCase(diaryDir_, "QUILLNK.DBF");
    if ((table && heldElsewhere(*table)) || (!diaryLock_ && DiaryLock::HeldElsewhere(diaryDir_)))
        return "The diary in " + diaryDir_ +
               " is in use by another Quillnook (or another program). Close it first and start "
               "Quillnook again.";
    if (!writableDir(diaryDir_))
        return "The diary cannot be " + std::string(creating ? "created" : "opened") +
               " because the folder " + diaryDir_ + " is not writable.";
    return "The diary in " + diaryDir_ + " cannot be " + (creating ? "created" : "opened") + ": " +
           (engineText.empty() ? std::string("unknown error") : engineText);
}

bool TMainScreen::OpenDiaryFile()
{
    openFailure_.clear();
    keyRefused_ = false;
    // The window is the diary's one writer while it is open.
    if (!diaryLock_) {
        try {
            exchange::MakeDiaryFolder(diaryDir_);
            diaryLock_ = std::make_unique<DiaryLock>(diaryDir_);
        } catch (const DiaryInUseError &) {
            openFailure_ = "The diary in " + diaryDir_ +
                           " is in use by another Quillnook (or another program). Close it first "
                           "and start Quillnook again.";
            return false;
        } catch (const std::exception &error) {
            openFailure_ =
                explainOpenFailure(error.what(), !FindFileNoCase(diaryDir_, "QUILLNK.DBF"));
            return false;
        }
    }
    auto table = FindFileNoCase(diaryDir_, "QUILLNK.DBF");
    if (!table) {
        if (!CreateDiaryTable()) {
            openFailure_ = explainOpenFailure(DiaryXTable->LastError(), true);
            return false;
        }
        table = FindFileNoCase(diaryDir_, "QUILLNK.DBF");
        if (!table) {
            openFailure_ = explainOpenFailure({}, true);
            return false;
        }
    }
    DiaryTable->TableName = table->filename().string();
    DiaryTable->DatabaseName = diaryDir_;
    DiaryTable->Exclusive = true;
    try {
        DiaryTable->Open();
        DiaryTableDATE = &DiaryTable->FieldByName("DATE");
        DiaryTableENTRY = &DiaryTable->FieldByName("ENTRY");
        // An index file without the date tag (written by another program)
        // is as good as missing: every positioning seeks in that tag.
        if (DiaryXTable->RecoveredUnfinishedSave())
            ShowInformation(QStringLiteral(
                "The last save of the diary was interrupted (the program or the "
                "computer stopped). It was undone; the diary is as it was before it."));
        // A table whose key refuses the stored password waits, closed, for
        // the password to be typed before anything of it is read.
        keyRefused_ = DiaryXTable->KeyState() == TXTable::TKeyState::Refused;
        if (keyRefused_) {
            closeDiaryTable();
            return true;
        }
        return finishOpeningDiary();
    } catch (const engine::EXTableError &error) {
        if (DiaryTable->Active())
            DiaryTable->Close();
        DiaryTableDATE = DiaryTableENTRY = nullptr;
        // Reading the first record needs the table's key.
        keyRefused_ = error.code() == XT_ERR_PASSWORD;
        if (keyRefused_)
            return true;
        openFailure_ = explainOpenFailure(error.what(), false);
        return false;
    } catch (const std::exception &error) {
        std::string text = error.what();
        if (DiaryTable->Active())
            DiaryTable->Close();
        DiaryTableDATE = DiaryTableENTRY = nullptr;
        openFailure_ = explainOpenFailure(text, false);
        return false;
    }
}

bool TMainScreen::finishOpeningDiary()
{
    try {
        // The index is derived from the entries: one that does not match them
        // (or cannot be read) is rebuilt, and finds every date again.
        const bool indexFile = FindFileNoCase(diaryDir_, "QUILLNK.CDX").has_value();
        const std::string fault = indexFile ? DiaryXTable->CheckIndexes() : std::string();
        if (!fault.empty()) {
            CreateDiaryIndex();
            ShowInformation("The index of the diary did not match its entries (" + fault +
                            "). It was rebuilt.");
        } else if (!indexFile || DiaryXTable->TagArea("DATE") == 0) {
            CreateDiaryIndex();
        }
        selectDateTag();
        XTableEnv1->SetDeleted(true);
        return true;
    } catch (const std::exception &error) {
        std::string text = error.what();
        if (DiaryTable->Active())
            DiaryTable->Close();
        DiaryTableDATE = DiaryTableENTRY = nullptr;
        openFailure_ = explainOpenFailure(text, false);
        return false;
    }
}

bool TMainScreen::CreateDiaryTable()
{
    const std::string path = diaryDir_ + "QUILLNK.DBF";
    if (!DiaryXTable->CreateNew(path, 2, 2))
        return false;
    bool fields = DiaryXTable->CreateField("DATE", "C", 8, 0) &&
                  DiaryXTable->CreateField("ENTRY", "M", 10, 0);
    bool written = DiaryXTable->CreateExec();
    return fields && written && fs::exists(path);
}

void TMainScreen::CreateDiaryIndex()
{
    DiaryXTable->IndexTag("", "DATE", "date", 0, false, "");
}

void TMainScreen::selectDateTag()
{
    // Order 1 in every diary this program wrote; an index file from
    // elsewhere may hold other tags.
    selectTag(*DiaryXTable, *DiaryTable, "DATE");
}

void TMainScreen::FindDateRecord()
{
    if (DiaryTable->Active()) {
        const std::string key = DateKey(CurrentDate);
        // Every time: searches and the calendar move the table meanwhile.
        selectDateTag();
        RecordChangedOutside = false;
        try {
            RecordFound = DiaryXTable->Seek(key);
        } catch (const engine::EXTableError &error) {
            if (error.code() != XT_ERR_CHANGED)
                throw;
            RecordFound = true;
            RecordChangedOutside = true;
        }
    } else {
        RecordFound = false;
        RecordChangedOutside = false;
    }
    SetDateCaption();
}

TDateTime TMainScreen::FirstDiaryRecord()
{
    DiaryTable->First();
    return STOD(DiaryTableDATE->AsString());
}

TDateTime TMainScreen::LastDiaryRecord()
{
    DiaryTable->Last();
    return STOD(DiaryTableDATE->AsString());
}

void TMainScreen::MarkEntryDays(QStringList &list, int year, int month)
{
    list.clear();
    const int days = DaysInMonth(year, month);
    for (int day = 1; day <= days; ++day)
        if (DiaryXTable->Seek(DateKey(year, month, day)))
            list.append(QString::number(day));
}

void TMainScreen::FirstButtonClick()
{
    if (!SaveButtonClick())
        return;
    selectDateTag();
    CurrentDate = FirstDiaryRecord();
    FindDateRecord();
    LoadRichText();
}

void TMainScreen::PriorButtonClick()
{
    if (!SaveButtonClick())
        return;
    CurrentDate -= 1;
    FindDateRecord();
    LoadRichText();
}

void TMainScreen::NextButtonClick()
{
    if (!SaveButtonClick())
        return;
    CurrentDate += 1;
    FindDateRecord();
    LoadRichText();
}

void TMainScreen::LastButtonClick()
{
    if (!SaveButtonClick())
        return;
    selectDateTag();
    CurrentDate = LastDiaryRecord();
    FindDateRecord();
    LoadRichText();
}

void TMainScreen::CalendarButtonClick()
{
    // Saved before the dialog shows: its month callback moves the record
    // pointer away from the entry on screen.
    if (!SaveButtonClick())
        return;
    TDateTime picked = CurrentDate;
    const int result =
        RunDateSelector ? RunDateSelector(*this, picked) : showDateSelector(*this, picked);
    if (result == mrOk) {
        CurrentDate = picked;
        FindDateRecord();
        LoadRichText();
    } else {
        // The month callback has moved the record pointer; a later save must
        // address the record of the date on screen.
        FindDateRecord();
    }
}

void TMainScreen::RebuildIndexes1Click()
{
    if (!SaveButtonClick())
        return;
    {
        TDiaryRebuild target(*this);
        TRebuildInd dialog(target, this);
        CenterOnMainScreen(&dialog);
        dialog.exec();
        if (!dialog.Failure().empty())
            ShowInformationUtf8("The indexes could not be rebuilt: " + dialog.Failure());
    }
    FindDateRecord();
    LoadRichText();
}

} // namespace qn
