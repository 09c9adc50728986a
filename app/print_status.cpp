#include "app/print_status.h"

#include "app/date_key.h"
#include "platform/modal_result.h"
#include "platform/notifications.h"
#include "platform/qt/messages.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_print.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdint>

namespace qn {

namespace {

constexpr int kTwipsPerInch = 1440;

QFont arialPixels(int pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

// trunc(pixels / dotsPerInch * 1440), exactly, toward zero.
int pixelsToTwips(int pixels, int dotsPerInch)
{
    if (dotsPerInch <= 0)
        return 0;
    return int(int64_t(pixels) * kTwipsPerInch / dotsPerInch);
}

// trunc(value), toward zero.
int truncated(double value)
{
    return int(std::trunc(value));
}

// A print job's pages as the rich text control prints on them.
class JobPages : public TQnPrintTarget {
public:
    explicit JobPages(TPrintJob &job) : job_(job) {}
    Canvas *PageCanvas() override { return job_.PageCanvas(); }
    int OffsetX() const override { return job_.OffsetX(); }
    int OffsetY() const override { return job_.OffsetY(); }
    int PrintableHeight() const override { return job_.PrintableHeight(); }
    bool NewPage() override { return job_.NewPage(); }

private:
    TPrintJob &job_;
};

void setUpHiddenControl(TQnRichText &control, QWidget *parent)
{
    control.setParent(parent);
    control.SetZooming(100);
    control.SetScrollBars(TScrollStyle::ssNone);
    control.WantTabs = true;
    control.SetBorderStyle(TBorderStyle::bsSingle);
    control.setFont(arialPixels(11));
    control.setGeometry(0, 0, 300, 120);
    control.hide();
}

} // namespace

TQnPageSize QnPageSizeFor(int dpiX, int dpiY, int printableWidth, int printableHeight, int offsetX,
                          int offsetY, double left, double right, double top, double bottom)
{
    TQnPageSize size;
    // The paper's full size: the printable area and the unprintable border
    // on both sides of it.
    size.PageWidth = pixelsToTwips(printableWidth + 2 * offsetX, dpiX);
    size.PageHeight = pixelsToTwips(printableHeight + 2 * offsetY, dpiY);
    size.MarginLeft = truncated(left * kTwipsPerInch);
    size.MarginRight = truncated(right * kTwipsPerInch);
    // Room for the dated header above the text.
    size.MarginTop = truncated((top + 0.3125) * kTwipsPerInch);
    size.MarginBottom = truncated(bottom * kTwipsPerInch);
    return size;
}

TMergedGeometry MergedGeometryFor(int dpiX, int dpiY, int offsetX, int offsetY, int printableWidth,
                                  int printableHeight, double left, double right, double top,
                                  double bottom)
{
    TMergedGeometry g;
    g.Top = truncated(dpiY * top) - offsetY;
    g.Bottom = truncated(dpiY * bottom) - offsetY;
    g.Left = truncated(dpiX * left) - offsetX;
    g.Right = truncated(dpiX * right) - offsetX;
    g.TextWidth = printableWidth - g.Left - g.Right;
    g.TextHeight = printableHeight - g.Top - g.Bottom;
    g.PageBottom = g.Top + g.TextHeight;
    g.TopTwips = pixelsToTwips(g.Top, dpiY);
    g.BottomTwips = pixelsToTwips(g.Bottom, dpiY);
    g.LeftTwips = pixelsToTwips(g.Left, dpiX);
    g.RightTwips = pixelsToTwips(g.Right, dpiX);
    g.AreaWidthTwips = pixelsToTwips(printableWidth, dpiX) - g.LeftTwips - g.RightTwips;
    g.AreaHeightTwips = pixelsToTwips(printableHeight, dpiY) - g.TopTwips - g.BottomTwips;
    return g;
}

TPrintStatusForm::TPrintStatusForm(TPrintEntryReader entries, QWidget *parent)
    : QDialog(parent), Printer(CurrentPrinter()), entries_(std::move(entries))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Print Status"));
    setFont(arialPixels(11));
    setFixedSize(307, 154);

    printerstatus = new QLabel(QStringLiteral("Printing"), this);
    printerstatus->setObjectName(QStringLiteral("printerstatus"));
    printerstatus->setGeometry(29, 22, 259, 50);
    printerstatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    printerstatus->setWordWrap(true);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(109, 104, 89, 33);
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        if (okRole_)
            done(mrOk);
        else
            CancelButtonClick();
    });

    QnRichTextAllPurpose = new TQnRichText(this);
    QnRichTextAllPurpose->setObjectName(QStringLiteral("QnRichTextAllPurpose"));
    setUpHiddenControl(*QnRichTextAllPurpose, this);
    QnRichTextAllPurpose->PrintHeader = [this](TQnCustomRichText *sender, Canvas &canvas, int x,
                                               int y, int w, int h, int page, int line) {
        QnRichTextAllPurposePrintHeader(sender, canvas, x, y, w, h, page, line);
    };
    QnRichTextAllPurpose->PrintFooter = [this](TQnCustomRichText *sender, Canvas &canvas, int x,
                                               int y, int w, int h, int page, int line) {
        QnRichTextAllPurposePrintFooter(sender, canvas, x, y, w, h, page, line);
    };
    QnRichTextLoader = new TQnRichText(this);
    QnRichTextLoader->setObjectName(QStringLiteral("QnRichTextLoader"));
    setUpHiddenControl(*QnRichTextLoader, this);
}

TPrintStatusForm::~TPrintStatusForm() = default;

void TPrintStatusForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The run starts once the window is on screen, from the event loop of
    // its modal showing, so that the user sees it and can cancel.
    if (!started_)
        QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TPrintStatusForm::FormActivate()
{
    // Once: activating the window again after the run prints nothing more.
    if (started_)
        return;
    started_ = true;
    struct Done {
        TPrintStatusForm &form;
        ~Done() { form.finished_ = true; }
    } done{*this};
    TopMargin = LeftMargin = RightMargin = BottomMargin = 1.0;
    if (Merge)
        PrintEntriesMerged();
    else
        PrintEntriesSeperate();
}

void TPrintStatusForm::CancelButtonClick()
{
    Cancelled = true;
    turnIntoOk();
    printerstatus->setText(QStringLiteral("Cancelled"));
}

void TPrintStatusForm::reject()
{
    // Escape and the window's close do what the button says.
    CancelButton->click();
}

void TPrintStatusForm::turnIntoOk()
{
    okRole_ = true;
    CancelButton->setText(QStringLiteral("OK"));
    CancelButton->setDefault(true);
}

bool TPrintStatusForm::loadEntry(TDateTime date, TQnRichText &into)
{
    const std::optional<std::string> rtf = entries_ ? entries_(date) : std::nullopt;
    if (!rtf)
        return false;
    into.Clear();
    into.SetText(*rtf);
    return true;
}

bool TPrintStatusForm::afterDate(TDateTime date)
{
    if (!Cancelled)
        printerstatus->setText(QString::fromStdString("Printed " + FormatDateTime("ddddd", date)));
    ProcessPendingMessages();
    return !Cancelled;
}

bool TPrintStatusForm::isBlank(TQnRichText &control)
{
    if (control.IsEmpty())
        return true;
    control.SetCursorOffset(0);
    do {
        if (control.CharAtCursor() > 32)
            return false;
    } while (control.NextChar());
    return true;
}

void TPrintStatusForm::SetQnPageSize(int dpiX, int dpiY, int printableWidth, int printableHeight,
                                     int offsetX, int offsetY)
{
    const TQnPageSize size =
        QnPageSizeFor(dpiX, dpiY, printableWidth, printableHeight, offsetX, offsetY, LeftMargin,
                      RightMargin, TopMargin, BottomMargin);
    QnRichTextAllPurpose->SetPageLayout(size.MarginLeft, size.MarginRight, size.MarginTop,
                                        size.MarginBottom, size.PageWidth, size.PageHeight);
}

void TPrintStatusForm::QnRichTextAllPurposePrintHeader(TQnCustomRichText *, Canvas &canvas, int x,
                                                       int y, int w, int h, int, int)
{
    if (Merge)
        return;
    canvas.SetPen(0, 1);
    FontSpec font;
    font.Name = "Arial";
    font.SizePoints = 12;
    font.Bold = true;
    font.Italic = true;
    canvas.SelectFont(font);
    canvas.SetTextAlign(kAlignTop);
    canvas.SetBackgroundMode(BackgroundMode::Transparent);
    canvas.TextOut(x, truncated(y + h * 0.5), HeaderText);
    const int rule = y + h - h / 4;
    canvas.MoveTo(x, rule);
    canvas.LineTo(x + w, rule);
}

void TPrintStatusForm::QnRichTextAllPurposePrintFooter(TQnCustomRichText *, Canvas &canvas, int x,
                                                       int y, int w, int, int, int)
{
    if (Merge)
        return;
    canvas.SetPen(0, 1);
    canvas.MoveTo(x, y);
    canvas.LineTo(x + w, y);
}

void TPrintStatusForm::PrintEntriesSeperate()
{
    TQnRichText &print = *QnRichTextAllPurpose;
    print.Clear();
    // A window of its own for layout, outside the part of the window seen.
    print.QWidget::move(width(), 0);
    print.show();
    struct Hide {
        TQnRichText &control;
        ~Hide() { control.hide(); }
    } hide{print};

    for (TDateTime date = FromDate; date <= ToDate; date += 1) {
        if (loadEntry(date, print)) {
            HeaderText = FormatDateTime("dddddd", date);
            if (!print.IsEmpty()) {
                TPrinterSetup setup = Printer;
                if (setup.IsPdf() && !PdfFolder.isEmpty())
                    setup.PdfFileName = QDir(PdfFolder).filePath(
                        QString::fromStdString(FormatDateTime("yyyy-mm-dd", date) + ".pdf"));
                TPrintJob job(setup);
                if (job.Begin(QString::fromStdString("Quillnook " + HeaderText))) {
                    SetQnPageSize(job.PixelsPerInchX(), job.PixelsPerInchY(), job.PrintableWidth(),
                                  job.PrintableHeight(), job.OffsetX(), job.OffsetY());
                    print.ReformatAll();
                    JobPages pages(job);
                    if (print.PrintOn(pages) && job.End())
                        outputFiles_.append(job.OutputFile());
                } else if (job.Cancelled()) {
                    // The user declined the file: the rest is not wanted either.
                    CancelButtonClick();
                } else {
                    throw std::runtime_error(job.ErrorText().toStdString());
                }
            }
        }
        if (!afterDate(date))
            break;
    }
    if (!Cancelled)
        showCompleted();
    turnIntoOk();
}

void TPrintStatusForm::showCompleted()
{
    // A PDF run says where its files went: the user chose them once, long
    // before the run ended.
    QStringList files;
    for (const QString &file : outputFiles_)
        if (!file.isEmpty())
            files.append(file);
    QString text = QStringLiteral("Completed");
    if (files.size() == 1) {
        text += QStringLiteral(": written to ") + QFileInfo(files.first()).fileName();
        printerstatus->setToolTip(files.first());
    } else if (files.size() > 1) {
        const QString folder = QFileInfo(files.first()).absolutePath();
        text += QStringLiteral(": %1 files written to %2").arg(files.size()).arg(folder);
        printerstatus->setToolTip(files.join(QLatin1Char('\n')));
    }
    printerstatus->setText(text);
}

void TPrintStatusForm::PrintEntriesMerged()
{
    TQnRichText &loader = *QnRichTextLoader;
    TQnRichText &print = *QnRichTextAllPurpose;
    TPrintJob job(Printer);
    bool aborted = false;
    try {
        TMergedGeometry g;
        int half = 0, quarter = 0;
        int y = 0, bottomLimit = 0;
        bool newPageWanted = false;
        Canvas *canvas = nullptr;

        TParProps heading;
        heading.Alignment = kAlignLeft;
        heading.SpaceAfter = 90;
        heading.CharAttr.Style = kStyleBold | kStyleItalic | kStyleUnderline;
        heading.CharAttr.Size = 10;

        // Shrinks the area of the entry's rest to its height in quarter-inch
        // steps, as long as the rest still fits.
        auto fit = [&](int firstLine) {
            bottomLimit = g.PageBottom;
            for (;;) {
                if (print.PrintLines(*canvas, g.Left, 0, firstLine, bottomLimit - quarter - y,
                                     g.TextWidth, y) != 0)
                    break;
                if (y + quarter >= bottomLimit)
                    break;
                bottomLimit -= quarter;
            }
        };
        auto newPage = [&] {
            if (!job.NewPage())
                throw std::runtime_error("The printer refused a new page");
            y = g.Top;
            bottomLimit = g.PageBottom;
        };

        for (TDateTime date = FromDate; date <= ToDate; date += 1) {
            if (loadEntry(date, loader) && !isBlank(loader)) {
                // The job starts with the first entry that prints: a span
                // without one prints no empty page.
                if (!job.Active()) {
                    if (!job.Begin(QStringLiteral("Quillnook"))) {
                        if (job.Cancelled()) {
                            CancelButtonClick();
                            break;
                        }
                        throw std::runtime_error(job.ErrorText().toStdString());
                    }
                    canvas = job.PageCanvas();
                    g = MergedGeometryFor(job.PixelsPerInchX(), job.PixelsPerInchY(), job.OffsetX(),
                                          job.OffsetY(), job.PrintableWidth(),
                                          job.PrintableHeight(), LeftMargin, RightMargin, TopMargin,
                                          BottomMargin);
                    half = job.PixelsPerInchY() / 2;
                    quarter = job.PixelsPerInchY() / 4;
                    y = g.Top;
                    newPageWanted = false;
                }
                print.Clear();
                print.AssignHeader(loader);
                print.SetPageLayout(0, 0, 0, 0, g.AreaWidthTwips, g.AreaHeightTwips);
                heading.Text = FormatDateTime("dddd, mmmm d, yyyy", date);
                heading.CharAttr.FontIndex = uint8_t(print.FontIndexOf("arial"));
                print.SetParagraphFromProps(heading);
                print.FastAppendText(loader);

                if (newPageWanted) {
                    newPage();
                    newPageWanted = false;
                }
                fit(0);
                int next = print.PrintLines(*canvas, g.Left, 1, 0, bottomLimit - y, g.TextWidth, y);
                while (next > 0) {
                    newPage();
                    fit(next);
                    next =
                        print.PrintLines(*canvas, g.Left, 1, next, bottomLimit - y, g.TextWidth, y);
                }
                y = bottomLimit + quarter;
                newPageWanted = y + half > g.PageBottom;
            }
            if (!afterDate(date)) {
                job.Abort();
                aborted = true;
                break;
            }
        }
        if (job.Active() && !aborted) {
            if (!job.End())
                throw std::runtime_error("The printer could not finish the job");
            outputFiles_.append(job.OutputFile());
        }
        turnIntoOk();
        if (!Cancelled)
            showCompleted();
    } catch (const std::exception &) {
        // A failed job is given up, so that a later print starts afresh.
        job.Abort();
        MessageBeep(0);
        printerstatus->setText(QStringLiteral("Error - too many pages"));
    }
}

} // namespace qn
