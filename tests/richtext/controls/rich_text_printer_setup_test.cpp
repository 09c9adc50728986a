// Choosing the printer through the control's printer set-up dialog: the
// dialog offers the system's printers and "Print to PDF", its choice of
// printer, paper and orientation is what the next print uses, Cancel keeps
// the old choice, and a printer that is not there is reported, not ignored.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include "platform/qt/print_job.h"
#include "platform/qt/printers.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_links.h"
#include "tests/support/command.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

// Acts on the next modal dialog once it is up (the dialogs run their own loop).
void onModalDialog(std::function<void(QDialog &)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start();
}

QStringList items(const QComboBox &box)
{
    QStringList result;
    for (int i = 0; i < box.count(); ++i)
        result << box.itemText(i);
    return result;
}

void press(QDialog &dialog, QDialogButtonBox::StandardButton which)
{
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(which)->click();
}

class RichTextPrinterSetupTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved = CurrentPrinter();
        window = std::make_unique<QWidget>();
        window->resize(420, 320);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 400, 300);
        edit->SetText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Set up and printed\\par}");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        CurrentPrinter() = saved;
    }

    TPrinterSetup saved;
    test::TempDir dir;
    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
};

} // namespace

TEST_F(RichTextPrinterSetupTest, TheDialogsChoiceOfPdfPaperAndOrientationIsWhatTheNextPrintUses)
{
    CurrentPrinter().PageSize = QPageSize(QPageSize::Letter);
    CurrentPrinter().Orientation = QPageLayout::Portrait;
    QStringList offered;
    QString preselected;
    onModalDialog([&](QDialog &dialog) {
        auto *printer = dialog.findChild<QComboBox *>(QStringLiteral("printer"));
        auto *paper = dialog.findChild<QComboBox *>(QStringLiteral("paper"));
        ASSERT_TRUE(printer && paper);
        offered = items(*printer);
        preselected = printer->currentText();
        printer->setCurrentIndex(printer->findText(kPdfPrinterName));
        paper->setCurrentIndex(paper->findText(QStringLiteral("A4")));
        const auto radios = dialog.findChildren<QRadioButton *>();
        for (QRadioButton *r : radios)
            if (r->text().contains(QStringLiteral("andscape")))
                r->setChecked(true);
        press(dialog, QDialogButtonBox::Ok);
    });
    // The tool bar's set-up icon opens the dialog.
    edit->ToolBarIcon(snIconDown, 5, 2);

    // The system's printers (none on a machine without CUPS queues) and the
    // PDF printer last.
    const TPrinterList &list = TPrinterList::Instance();
    QStringList expected = list.SystemPrinterNames();
    expected << kPdfPrinterName;
    EXPECT_EQ(offered, expected);
    if (list.SystemPrinterNames().isEmpty())
        EXPECT_EQ(preselected, kPdfPrinterName) << "without printers the PDF printer is offered";

    EXPECT_TRUE(CurrentPrinter().IsPdf());
    EXPECT_EQ(CurrentPrinter().PageSize.id(), QPageSize::A4);
    EXPECT_EQ(CurrentPrinter().Orientation, QPageLayout::Landscape);

    const auto pdf = dir / "setup.pdf";
    CurrentPrinter().PdfFileName = QString::fromStdString(pdf.string());
    ASSERT_TRUE(edit->Print());
    const auto info = test::commandOutput("pdfinfo " + test::shellQuote(pdf.string()));
    ASSERT_TRUE(info.has_value());
    // A4 across: 842 x 595 points.
    EXPECT_NE(info->find("842 x 595 pts (A4)"), std::string::npos) << *info;
    const auto text = test::commandOutput("pdftotext " + test::shellQuote(pdf.string()) + " -");
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("Set up and printed"), std::string::npos);
}

TEST_F(RichTextPrinterSetupTest, CancelKeepsThePrinterAndASystemPrinterCanBeChosen)
{
    CurrentPrinter().PrinterName = kPdfPrinterName;
    CurrentPrinter().PageSize = QPageSize(QPageSize::Legal);
    CurrentPrinter().Orientation = QPageLayout::Portrait;
    onModalDialog([&](QDialog &dialog) {
        auto *paper = dialog.findChild<QComboBox *>(QStringLiteral("paper"));
        ASSERT_NE(paper, nullptr);
        EXPECT_EQ(paper->currentText(), QStringLiteral("Legal")) << "the current paper is shown";
        paper->setCurrentIndex(paper->findText(QStringLiteral("A5")));
        press(dialog, QDialogButtonBox::Cancel);
    });
    edit->PrinterSetup();
    EXPECT_TRUE(CurrentPrinter().IsPdf());
    EXPECT_EQ(CurrentPrinter().PageSize.id(), QPageSize::Legal);

    // Where the machine has CUPS queues, the first one can be chosen.
    const QStringList system = TPrinterList::Instance().SystemPrinterNames();
    if (system.isEmpty())
        return;
    onModalDialog([&](QDialog &dialog) {
        auto *printer = dialog.findChild<QComboBox *>(QStringLiteral("printer"));
        ASSERT_NE(printer, nullptr);
        printer->setCurrentIndex(0);
        press(dialog, QDialogButtonBox::Ok);
    });
    edit->PrinterSetup();
    EXPECT_EQ(CurrentPrinter().PrinterName, system.first());
    EXPECT_FALSE(CurrentPrinter().IsPdf());
}

TEST_F(RichTextPrinterSetupTest, APrinterThatIsNotThereIsReportedAndTheScreenStays)
{
    CurrentPrinter().PrinterName = QStringLiteral("Quillnook test printer that is not there");
    edit->SetCursorOffset(4);
    const QImage before = edit->BackingImage().copy();
    test::NotificationCapture notes;
    EXPECT_FALSE(edit->Print());
    ASSERT_EQ(notes.informations.size(), 1u);
    EXPECT_NE(notes.informations[0].find("Printer not found: Quillnook test printer"),
              std::string::npos);
    EXPECT_EQ(edit->GetCursorOffset(), 4);
    EXPECT_TRUE(edit->BackingImage() == before);

    // Cancelling the PDF printer's file question is the user's choice: no message.
    CurrentPrinter().PrinterName = kPdfPrinterName;
    CurrentPrinter().PdfFileName.clear();
    auto previous = SetPdfFileQuestion([] { return QString(); });
    EXPECT_FALSE(edit->Print());
    SetPdfFileQuestion(previous);
    EXPECT_EQ(notes.informations.size(), 1u);
}
