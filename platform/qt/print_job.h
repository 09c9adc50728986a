#pragma once

// Printing on the program's current printer: one of the system's printers
// (through CUPS) or the "Print to PDF" printer, which writes a PDF file. A job
// begins, draws on the canvas of its pages, starts new pages, and ends or is
// aborted. Coordinates on the page canvas start at the corner of the
// printable area, as on a Windows printer; the printing offset says how far
// that corner lies from the paper's edge.

#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <functional>
#include <memory>

#include "platform/canvas.h"

class QPrinter;
class QWidget;

namespace qn {

class QtCanvas;

// The printer that print jobs use, chosen in the printer set-up dialog.
struct TPrinterSetup {
    QString PrinterName; // a system printer, or kPdfPrinterName
    // For the PDF printer: the file to write; empty asks the user at each job.
    QString PdfFileName;
    QPageSize PageSize = QPageSize(QPageSize::Letter);
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    int PdfResolution = 600; // dots per inch of the PDF printer

    bool IsPdf() const;
};

// The program-wide current printer; at first the system's default printer
// (the PDF printer when the system has none).
TPrinterSetup &CurrentPrinter();

// Asks the user for the file of a PDF job (a save dialog); empty when
// cancelled. Tests replace the question; the previous one is returned.
using TPdfFileQuestion = std::function<QString()>;
TPdfFileQuestion SetPdfFileQuestion(TPdfFileQuestion question);

// Shows the printer set-up dialog (printer, paper, orientation) over parent;
// on OK the choice becomes the current printer. True on OK.
bool ShowPrinterSetupDialog(QWidget *parent);

class TPrintJob {
public:
    explicit TPrintJob(const TPrinterSetup &setup = CurrentPrinter());
    // A job that was begun and neither ended nor aborted is aborted.
    ~TPrintJob();
    TPrintJob(const TPrintJob &) = delete;
    TPrintJob &operator=(const TPrintJob &) = delete;

    // Starts the job (for the PDF printer without a file name the user is
    // asked for one). False when the user cancelled or the printer could not
    // be opened; ErrorText() tells which.
    bool Begin(const QString &title);
    bool Active() const { return canvas_ != nullptr; }
    // The canvas of the current page; null before Begin and after the end.
    Canvas *PageCanvas() const;
    bool NewPage();
    // Ends the job: the pages go to the printer or the file.
    bool End();
    // Abandons the job; a PDF file begun by it is removed.
    void Abort();
    bool Cancelled() const { return cancelled_; }
    const QString &ErrorText() const { return error_; }
    const QString &OutputFile() const { return outputFile_; }

    // Device facts, valid once the job has begun.
    int PixelsPerInchX() const;
    int PixelsPerInchY() const;
    // Size of the printable area in pixels.
    int PrintableWidth() const;
    int PrintableHeight() const;
    // Distance of the printable area from the paper's left and top edge, pixels.
    int OffsetX() const;
    int OffsetY() const;

private:
    TPrinterSetup setup_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QtCanvas> canvas_;
    QString outputFile_;
    QString error_;
    bool cancelled_ = false;
};

} // namespace qn
