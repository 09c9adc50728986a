// The main window's print commands: the options, the printer's file or
// folder when it writes PDF, the run in the status window, and the entry on
// screen put back afterwards.
#include "app/date_key.h"
#include "app/date_selector.h"
#include "app/main_screen.h"
#include "app/print_options.h"
#include "app/print_status.h"

#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/modal_result.h"
#include "platform/qt/messages.h"
#include "platform/qt/print_job.h"
#include "platform/qt/printers.h"

#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

namespace qn {

namespace {

QString askPdfOutput(TMainScreen &main, bool folder)
{
    if (folder)
        return QFileDialog::getExistingDirectory(
            &main, QStringLiteral("Print to PDF: the folder for the entries' files"));
    QString file = QFileDialog::getSaveFileName(&main, QStringLiteral("Print to PDF"), QString(),
                                                QStringLiteral("PDF files (*.pdf)"));
    if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".pdf");
    return file;
}

} // namespace

int TMainScreen::selectPrintDate(QWidget *over, TDateTime &date)
{
    if (RunDateSelector)
        return RunDateSelector(*this, date);
    TDateSelector dialog(over);
    dialog.InitialDate = date;
    dialog.OnFillMonth = [this](QStringList &list, int year, int month) {
        MarkEntryDays(list, year, month);
    };
    const int result = dialog.exec();
    if (result == mrOk)
        date = dialog.Calendar->CalendarDate();
    return result;
}

void TMainScreen::PrintNowClick()
{
    // An entry that could not be saved stays on screen: printing reloads
    // the entry afterwards and would lose it.
    if (!SaveButtonClick())
        return;
    if (TPrinterList::Instance().Count() == 0) {
        ShowInformation(QStringLiteral("No printers installed"));
        return;
    }

    bool merge = false, currentOnly = false, all = false;
    TDateTime from = 0, to = 0;
    {
        TPrintOptions options(this);
        options.FromDate = CurrentDate;
        // A page in the future prints up to itself, never a range that
        // ends before it starts.
        options.ToDate = std::max(Date(), CurrentDate);
        options.RunDateSelector = [this, &options](TDateTime &date) {
            return selectPrintDate(&options, date);
        };
        CenterOnMainScreen(&options);
        if (options.exec() != mrOk) {
            // The calendars have moved the table.
            FindDateRecord();
            return;
        }
        merge = options.MergeResult;
        currentOnly = options.CurrentOnlyResult;
        all = options.AllEntriesResult;
        from = options.FromDate;
        to = options.ToDate;
    }
    if (currentOnly) {
        from = to = CurrentDate;
    } else if (all && DiaryTable->Active()) {
        selectDateTag();
        from = FirstDiaryRecord();
        to = LastDiaryRecord();
    }

    TPrinterSetup printer = CurrentPrinter();
    QString pdfFolder;
    // Asked once for the whole run; separate pages always need a folder, as
    // one fixed file would hold only the last entry.
    if (printer.IsPdf() && (!merge || printer.PdfFileName.isEmpty())) {
        const QString answer =
            AskPdfOutput ? AskPdfOutput(*this, !merge) : askPdfOutput(*this, !merge);
        if (answer.isEmpty()) {
            FindDateRecord();
            LoadRichText();
            return;
        }
        (merge ? printer.PdfFileName : pdfFolder) = answer;
    }

    {
        TPrintStatusForm status(
            [this](TDateTime date) -> std::optional<std::string> {
                if (!DiaryTable->Active())
                    return std::nullopt;
                selectDateTag();
                if (!DiaryXTable->Seek(DateKey(date)))
                    return std::nullopt;
                return DiaryTable->MemoText("ENTRY");
            },
            this);
        status.FromDate = from;
        status.ToDate = to;
        status.Merge = merge;
        status.Printer = printer;
        status.PdfFolder = pdfFolder;
        CenterOnMainScreen(&status);
        status.exec();
        LastPrintFiles = status.OutputFiles();
    }
    // Printing has moved the table.
    FindDateRecord();
    LoadRichText();
}

void TMainScreen::PrintbuttonClick()
{
    PrintNowClick();
}

void TMainScreen::PrintSetup1Click()
{
    SaveButtonClick();
    if (TPrinterList::Instance().Count() == 0) {
        ShowInformation(QStringLiteral("No printers installed"));
        return;
    }
    ShowPrinterSetupDialog(this);
}

} // namespace qn
