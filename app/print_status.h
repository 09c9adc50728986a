#pragma once

// "Print Status": prints the entries of a span of dates while it is shown,
// either each entry as a job of its own under a dated page header, or all of
// them merged into one job, each led by its date as a heading. It reports
// each date as it passes and can be cancelled between dates.

#include "platform/canvas.h"
#include "platform/datetime.h"
#include "platform/qt/print_job.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace qn {

class TQnRichText;
class TQnCustomRichText;

// Where the entries come from: the stored RTF of a date's entry, or nothing
// when the diary holds none for that date. May move the diary's table.
using TPrintEntryReader = std::function<std::optional<std::string>(TDateTime date)>;

// The page measures of a separate-layout job in twips, from the printer's
// resolution, printable size and printing offset and the margins in inches.
struct TQnPageSize {
    int PageWidth = 0, PageHeight = 0;
    int MarginLeft = 0, MarginRight = 0, MarginTop = 0, MarginBottom = 0;
};
TQnPageSize QnPageSizeFor(int dpiX, int dpiY, int printableWidth, int printableHeight, int offsetX,
                          int offsetY, double left, double right, double top, double bottom);

// The geometry of a merged job: the text area in printer pixels of the
// printable area, and the same in twips for the document's page.
struct TMergedGeometry {
    int Top = 0, Bottom = 0, Left = 0, Right = 0; // pixels
    int TextWidth = 0, TextHeight = 0, PageBottom = 0;
    int TopTwips = 0, BottomTwips = 0, LeftTwips = 0, RightTwips = 0;
    int AreaWidthTwips = 0, AreaHeightTwips = 0;
};
TMergedGeometry MergedGeometryFor(int dpiX, int dpiY, int offsetX, int offsetY, int printableWidth,
                                  int printableHeight, double left, double right, double top,
                                  double bottom);

class TPrintStatusForm : public QDialog {
    Q_OBJECT
public:
    TPrintStatusForm(TPrintEntryReader entries, QWidget *parent = nullptr);
    ~TPrintStatusForm() override;

    // Controls.
    QLabel *printerstatus;
    QPushButton *CancelButton;
    TQnRichText *QnRichTextAllPurpose; // what is printed
    TQnRichText *QnRichTextLoader;     // each entry as it is read

    std::string HeaderText; // the date of the entry printing, for its header
    bool Cancelled = false;
    TDateTime FromDate = 0, ToDate = 0; // inclusive
    bool Merge = false;
    double TopMargin = 1.0, LeftMargin = 1.0, RightMargin = 1.0, BottomMargin = 1.0; // inches

    // The printer of the run. On the "Print to PDF" printer a merged run
    // writes Printer.PdfFileName; a separate run writes one file per entry,
    // named after its date, into PdfFolder.
    TPrinterSetup Printer;
    QString PdfFolder;

    // Starts the run, once; the window does so when it is first shown.
    void FormActivate();
    void PrintEntriesSeperate();
    void PrintEntriesMerged();
    void SetQnPageSize(int dpiX, int dpiY, int printableWidth, int printableHeight, int offsetX,
                       int offsetY);
    void CancelButtonClick();
    void QnRichTextAllPurposePrintHeader(TQnCustomRichText *sender, Canvas &canvas, int x, int y,
                                         int w, int h, int page, int line);
    void QnRichTextAllPurposePrintFooter(TQnCustomRichText *sender, Canvas &canvas, int x, int y,
                                         int w, int h, int page, int line);

    // True once a run has finished (or stopped); the button says "OK" then.
    bool Finished() const { return finished_; }
    // Files the run wrote (PDF printer only), in order.
    const QStringList &OutputFiles() const { return outputFiles_; }

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showCompleted(); // "Completed", naming the files a PDF run wrote
    // Reads a date's entry into a control; false when there is none.
    bool loadEntry(TDateTime date, TQnRichText &into);
    // Per date: progress, pending messages; false when the run should stop.
    bool afterDate(TDateTime date);
    bool isBlank(TQnRichText &control);
    void turnIntoOk();

    TPrintEntryReader entries_;
    bool started_ = false;
    bool finished_ = false;
    bool okRole_ = false; // the button has become "OK"
    QStringList outputFiles_;
};

} // namespace qn
