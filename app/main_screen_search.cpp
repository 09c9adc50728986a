// "Find entry containing..." and "Find Next Entry": every entry, oldest
// first, searched in its text (never in its RTF). The text of each entry is
// read once a session and kept folded (entry_texts.h).
#include "app/date_key.h"
#include "app/entry_texts.h"
#include "app/look_for_all.h"
#include "app/main_screen.h"
#include "platform/unicode_text.h"

#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/datetime.h"
#include "platform/modal_result.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"
#include "richtext/edit/buffer_finder.h"
#include "richtext/io/rtf_text_io.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressDialog>

namespace qn {

namespace {

int showLookForAll(TMainScreen &main, std::string &text)
{
    TLookForAll dialog(&main);
    main.CenterOnMainScreen(&dialog);
    const int result = dialog.exec();
    text = dialog.LookForText->text().toStdString(); // UTF-8
    return result;
}

// After this long a scan shows where it is and can be stopped; the window
// then follows it this often.
constexpr int kProgressAfterMs = 500;
constexpr int kProgressStepMs = 50;

} // namespace

const std::u32string *TMainScreen::currentEntryText()
{
    const std::string key = DiaryTableDATE->AsString();
    if (key.empty())
        return nullptr; // a record without a date matches nothing
    if (const std::u32string *text = entryTexts_->Find(key))
        return text;
    if (!searchDocument_)
        searchDocument_ = std::make_unique<TQnRTFTextIo>();
    std::u32string text = FoldedEntryText(DiaryTable->MemoText("ENTRY"), *searchDocument_);
    entryTexts_->Store(key, text);
    if (const std::u32string *kept = entryTexts_->Find(key))
        return kept;
    uncachedText_ = std::move(text);
    return &uncachedText_;
}

void TMainScreen::watchEntryTexts()
{
    entryTexts_ = std::make_shared<TEntryTexts>();
    engine::TXDataTable *table = DiaryTable.get();
    table->AddListener([texts = entryTexts_, table](engine::TXDataEvent event) {
        switch (event) {
        case engine::TXDataEvent::Opened:
        case engine::TXDataEvent::Closed:
        case engine::TXDataEvent::Destroyed:
            texts->Clear();
            break;
        case engine::TXDataEvent::StateChanged:
            // A record being edited, or the record just written or
            // deleted: the next search reads its text again.
            if (engine::TXField *date = table->FindField("DATE"))
                texts->Drop(date->AsString());
            break;
        case engine::TXDataEvent::RecordChanged:
            break; // moving changes nothing
        }
    });
}

bool TMainScreen::scanEntries()
{
    SearchHit = false;
    const TQnBufferFinder finder(unicode::FromUtf8(SearchText), U'*');
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    qint64 shown = 0; // when the progress window last showed where the scan is
    while (!DiaryTable->Eof()) {
        const std::string key = DiaryTableDATE->AsString();
        if (OnScanStep && OnScanStep(STOD(key)))
            return false; // stopped: no hit
        const qint64 now = clock.elapsed();
        if (!progress && now > kProgressAfterMs) {
            progress =
                std::make_unique<QProgressDialog>(QString(), QStringLiteral("Cancel"), 0, 0, this);
            progress->setWindowTitle(QStringLiteral("Find entry containing..."));
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
            progress->show();
            shown = now - kProgressStepMs;
        }
        if (progress && now - shown >= kProgressStepMs) {
            shown = now;
            if (!key.empty())
                progress->setLabelText(
                    QStringLiteral("Searching the entry of ") +
                    AnsiToQString(FormatDateTime("dddd, mmmm d, yyyy", STOD(key))));
            QApplication::processEvents();
        }
        // Escape or Cancel in the progress window.
        if (progress && progress->wasCanceled())
            return false; // stopped by the user: no hit
        if (const std::u32string *text = currentEntryText(); text && finder.Matches(*text)) {
            SearchHit = true;
            return true;
        }
        DiaryTable->Next();
    }
    return true;
}

void TMainScreen::mnuFindentrycontainingClick()
{
    if (!SaveButtonClick())
        return;
    std::string text;
    const int result = RunLookForAll ? RunLookForAll(*this, text) : showLookForAll(*this, text);
    if (result != mrOk || text.empty())
        return;
    selectDateTag();
    DiaryTable->First();
    SearchText = text;
    const bool finished = scanEntries();
    mnuFindNextBig->setEnabled(SearchHit);
    if (SearchHit)
        CurrentDate = STOD(DiaryTableDATE->AsString());
    FindDateRecord();
    LoadRichText();
    // A scan the user stopped answers nothing.
    if (!SearchHit && finished)
        ShowInformation(QStringLiteral("No matches"));
}

void TMainScreen::mnuFindNextBigClick()
{
    if (!SaveButtonClick())
        return;
    // The scan goes on after the record of the date on screen; a date
    // without an entry stands past the last record: nothing is left.
    bool finished = true;
    SearchHit = false;
    if (RecordFound) {
        DiaryTable->Next();
        finished = scanEntries();
    }
    mnuFindNextBig->setEnabled(SearchHit);
    if (SearchHit)
        CurrentDate = STOD(DiaryTableDATE->AsString());
    FindDateRecord();
    LoadRichText();
    if (!SearchHit && finished)
        ShowInformation(QStringLiteral("No more matches"));
}

} // namespace qn
