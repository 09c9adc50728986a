#include "platform/qt/print_job.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>

#include "platform/qt/printers.h"
#include "platform/qt/qt_canvas.h"

namespace qn {

bool TPrinterSetup::IsPdf() const
{
    return PrinterName == kPdfPrinterName;
}

TPrinterSetup &CurrentPrinter()
{
    static TPrinterSetup setup = [] {
        TPrinterSetup s;
        const TPrinterList &list = TPrinterList::Instance();
        const int index = list.DefaultIndex();
        s.PrinterName = index >= 0 ? list.Printers()[size_t(index)].Name : kPdfPrinterName;
        return s;
    }();
    return setup;
}

// ---------------------------------------------------------------------------
// Set-up dialog

namespace {

struct PaperChoice {
    const char *Name;
    QPageSize::PageSizeId Id;
};
const PaperChoice kPapers[] = {
    {"Letter", QPageSize::Letter},
    {"Legal", QPageSize::Legal},
    {"A4", QPageSize::A4},
    {"A5", QPageSize::A5},
};

} // namespace

bool ShowPrinterSetupDialog(QWidget *parent)
{
    TPrinterSetup &current = CurrentPrinter();
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    auto *form = new QFormLayout(&dialog);

    auto *printers = new QComboBox(&dialog);
    printers->setObjectName(QStringLiteral("printer"));
    for (const TPrinterEntry &entry : TPrinterList::Instance().Printers())
        printers->addItem(entry.Name);
    printers->setCurrentIndex(std::max(0, printers->findText(current.PrinterName)));
    form->addRow(QStringLiteral("&Name:"), printers);

    auto *paper = new QComboBox(&dialog);
    paper->setObjectName(QStringLiteral("paper"));
    for (const PaperChoice &choice : kPapers) {
        paper->addItem(QString::fromLatin1(choice.Name), int(choice.Id));
        if (current.PageSize.id() == choice.Id)
            paper->setCurrentIndex(paper->count() - 1);
    }
    form->addRow(QStringLiteral("Si&ze:"), paper);

    auto *portrait = new QRadioButton(QStringLiteral("P&ortrait"), &dialog);
    auto *landscape = new QRadioButton(QStringLiteral("L&andscape"), &dialog);
    (current.Orientation == QPageLayout::Landscape ? landscape : portrait)->setChecked(true);
    auto *orientation = new QHBoxLayout;
    orientation->addWidget(portrait);
    orientation->addWidget(landscape);
    form->addRow(QStringLiteral("Orientation:"), orientation);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    current.PrinterName = printers->currentText();
    current.PageSize = QPageSize(QPageSize::PageSizeId(paper->currentData().toInt()));
    current.Orientation = landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
    return true;
}

// ---------------------------------------------------------------------------
// Jobs

namespace {

TPdfFileQuestion &pdfFileQuestion()
{
    static TPdfFileQuestion question;
    return question;
}

} // namespace

TPdfFileQuestion SetPdfFileQuestion(TPdfFileQuestion question)
{
    TPdfFileQuestion previous = std::move(pdfFileQuestion());
    pdfFileQuestion() = std::move(question);
    return previous;
}

TPrintJob::TPrintJob(const TPrinterSetup &setup) : setup_(setup) {}

TPrintJob::~TPrintJob()
{
    if (Active())
        Abort();
}

bool TPrintJob::Begin(const QString &title)
{
    error_.clear();
    cancelled_ = false;
    if (setup_.IsPdf()) {
        outputFile_ = setup_.PdfFileName;
        if (outputFile_.isEmpty() && pdfFileQuestion())
            outputFile_ = pdfFileQuestion()();
        else if (outputFile_.isEmpty())
            outputFile_ =
                QFileDialog::getSaveFileName(nullptr, QStringLiteral("Print to PDF"), QString(),
                                             QStringLiteral("PDF files (*.pdf)"));
        if (outputFile_.isEmpty()) {
            cancelled_ = true;
            error_ = QStringLiteral("Printing cancelled");
            return false;
        }
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(outputFile_);
        printer_->setResolution(setup_.PdfResolution);
        // A file has no unprintable border.
        printer_->setFullPage(true);
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(setup_.PrinterName);
        if (info.isNull()) {
            error_ = QStringLiteral("Printer not found: ") + setup_.PrinterName;
            return false;
        }
        printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    printer_->setPageSize(setup_.PageSize);
    printer_->setPageOrientation(setup_.Orientation);
    printer_->setDocName(title);
    canvas_ = std::make_unique<QtCanvas>(static_cast<QPagedPaintDevice *>(printer_.get()));
    if (!canvas_->Painter() || !canvas_->Painter()->isActive()) {
        canvas_.reset();
        printer_.reset();
        error_ = QStringLiteral("The printer could not be opened");
        return false;
    }
    return true;
}

Canvas *TPrintJob::PageCanvas() const
{
    return canvas_.get();
}

bool TPrintJob::NewPage()
{
    return canvas_ && canvas_->NewPage();
}

bool TPrintJob::End()
{
    if (!canvas_)
        return false;
    canvas_->End();
    canvas_.reset();
    const bool ok = printer_->printerState() != QPrinter::Error;
    printer_.reset();
    return ok;
}

void TPrintJob::Abort()
{
    if (!canvas_)
        return;
    const bool pdf = printer_->outputFormat() == QPrinter::PdfFormat;
    if (!pdf)
        printer_->abort();
    canvas_->End();
    canvas_.reset();
    printer_.reset();
    if (pdf && !outputFile_.isEmpty())
        QFile::remove(outputFile_);
    cancelled_ = true;
}

int TPrintJob::PixelsPerInchX() const
{
    return canvas_ ? canvas_->PixelsPerInchX() : 0;
}

int TPrintJob::PixelsPerInchY() const
{
    return canvas_ ? canvas_->PixelsPerInchY() : 0;
}

int TPrintJob::PrintableWidth() const
{
    return printer_ ? printer_->width() : 0;
}

int TPrintJob::PrintableHeight() const
{
    return printer_ ? printer_->height() : 0;
}

int TPrintJob::OffsetX() const
{
    if (!printer_ || printer_->fullPage())
        return 0;
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).left();
}

int TPrintJob::OffsetY() const
{
    if (!printer_ || printer_->fullPage())
        return 0;
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).top();
}

} // namespace qn
