// Printing, the tool bar's icons and lists, the ruler's requests, and
// opening, saving and closing by file dialog.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>

#include "platform/notifications.h"
#include "platform/qt/print_job.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rich_text_print.h"

namespace qn {

namespace {

// A print job's pages as a print target.
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

TQnCustomRichText::TFileDialogHook &fileDialogHook()
{
    static TQnCustomRichText::TFileDialogHook hook;
    return hook;
}

} // namespace

// ---------------------------------------------------------------------------
// Printing

bool TQnCustomRichText::Print()
{
    TPrintJob job;
    if (!job.Begin(FileName.isEmpty() ? QStringLiteral("Quillnook") : FileName)) {
        // A printer that is gone or will not open is not a silent no-op.
        if (!job.Cancelled())
            ShowInformationUtf8(job.ErrorText().toStdString());
        return false;
    }
    JobPages pages(job);
    const bool printed = PrintOn(pages);
    if (printed)
        return job.End();
    job.Abort();
    return false;
}

bool TQnCustomRichText::PrintOn(TQnPrintTarget &target)
{
    abortPrint_ = false;
    auto band = [this](const TPrintBand &event) -> TQnPrintBandEvent {
        if (!event)
            return {};
        return [this, &event](Canvas &canvas, int x, int y, int w, int h, int page, int line) {
            event(this, canvas, x, y, w, h, page, line);
        };
    };
    struct Screen {
        TQnCustomRichText &c;
        // The document has its screen state back; show it again.
        ~Screen()
        {
            c.Document->ShowCaret();
            c.Repaint();
            c.updateExternBars();
        }
    } screen{*this};
    const TQnPrintOutcome outcome = PrintDocumentPages(
        *Document, target, band(PrintHeader), band(PrintFooter), [this] { return abortPrint_; });
    return !outcome.Aborted;
}

void TQnCustomRichText::PrinterSetup()
{
    ShowPrinterSetupDialog(this);
}

int TQnCustomRichText::PrintLines(Canvas &canvas, int x, int mode, int firstLine, int height,
                                  int width, int y)
{
    const int next = PrintDocumentLines(*Document, canvas, x, mode, firstLine, height, width, y);
    if (isVisible())
        Repaint();
    return next;
}

// ---------------------------------------------------------------------------
// Tool bar

void TQnCustomRichText::ToolBarIcon(int typ, int group, int number)
{
    TQnRTFTextInput &d = *Document;
    const bool down = typ == snIconDown;
    auto release = [&](int g, int n) {
        if (toolBar_)
            toolBar_->SetIconDown(g, n, false);
    };
    auto style = [&](uint16_t bits, bool on) {
        if (!BeginEdit())
            return;
        UndoRecord record(*this, UndoKind::Other);
        d.SetStyle(bits, on);
        Repaint();
        Changed();
    };
    if (group == kIconGroupStyle) {
        switch (number) {
        case 1:
            if (down)
                style(0, true);
            break;
        case 2:
            style(kStyleBold, down);
            break;
        case 3:
            style(kStyleItalic, down);
            break;
        case 4:
            style(kStyleUnderline, down);
            break;
        case 5:
            style(kStyleDoubleUnderline, down);
            break;
        case 6:
            style(kStyleStrikeout, down);
            break;
        case 7:
            if (down) {
                release(1, 8);
                style(kStyleSubscript, false);
            }
            style(kStyleSuperscript, down);
            break;
        case 8:
            if (down) {
                release(1, 7);
                style(kStyleSuperscript, false);
            }
            style(kStyleSubscript, down);
            break;
        case 9:
            if (down) {
                const bool on = !SetMode->HiddenToggle;
                SetMode->HiddenToggle = on;
                style(kStyleHidden, on);
            } else {
                style(kStyleHidden, false);
            }
            break;
        case 19:
            style(kStyleRtfCode, down);
            break;
        default:
            break;
        }
        return;
    }
    if (group == kIconGroupAlign) {
        static const uint8_t kAlignments[] = {kAlignLeft, kAlignRight, kAlignJustify, kAlignCenter};
        if (down && number >= 1 && number <= 4 && BeginEdit()) {
            UndoRecord record(*this, UndoKind::Other);
            d.SetAlignment(kAlignments[number - 1]);
            Repaint();
            Changed();
        }
        return;
    }
    if (group == kIconGroupEdit) {
        switch (number) {
        case 1:
            if (BlockMarked())
                CopyToClipboard();
            else
                ShowStatus(RichTextString(rtsNoSelection));
            release(3, 1);
            break;
        case 2:
            if (!BlockMarked())
                ShowStatus(RichTextString(rtsNoSelection));
            else
                CutToClipboard(); // raises the change itself
            release(3, 2);
            break;
        case 3:
            PasteFromClipboard(); // raises the change only when it pasted
            release(3, 3);
            break;
        case 4:
            if (down)
                SelectAll();
            else
                HideSelection();
            break;
        case 5:
            HideSelection();
            break;
        case 6:
            ShowFindDialog();
            release(3, 6);
            break;
        case 7:
            if (!ReadOnly())
                ShowReplaceDialog();
            release(3, 7);
            break;
        case 8:
            if (!ReadOnly() && StartSpellCheck)
                StartSpellCheck(this);
            release(3, 8);
            break;
        default:
            break;
        }
        return;
    }
    if (group == kIconGroupFile && down) {
        if (number == 3)
            OpenFile();
        else if (number == 4)
            SaveFileAs();
        else if (number == 5)
            CloseFile();
        return;
    }
    if (group == kIconGroupPrint && down) {
        if (number == 1)
            Print();
        else if (number == 2)
            PrinterSetup();
    }
}

void TQnCustomRichText::ToolBarList(int typ, const std::string &text, int number)
{
    TQnRTFTextInput &d = *Document;
    if (ReadOnly() || !BeginEdit()) {
        d.ErrorState = kResultRefused;
        return;
    }
    UndoRecord record(*this, UndoKind::Other);
    TCharAttr attr = d.CurrentAttr;
    uint8_t parts = 0;
    switch (typ) {
    case snFontName: {
        const int slot = d.FindOrAddFont(text);
        if (slot >= kFontSlots)
            return;
        attr.FontIndex = static_cast<uint8_t>(slot);
        parts = kAttrFont;
        break;
    }
    case snFontSize:
        attr.Size = static_cast<uint8_t>(std::clamp(number, 1, 255));
        parts = kAttrSize;
        break;
    case snTextColor:
        attr.Colors = static_cast<uint8_t>((attr.Colors & 0xF0) | (number & 0x0F));
        parts = kAttrTextColor;
        break;
    case snBackColor:
        attr.Colors = static_cast<uint8_t>((attr.Colors & 0x0F) | ((number & 0x0F) << 4));
        parts = kAttrBackColor;
        break;
    default:
        return;
    }
    d.SetSelectionAttr(attr, parts);
    Repaint();
    Changed();
}

void TQnCustomRichText::RulerTab(uint32_t mask, bool remove)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    Document->SetTab(mask, remove);
    Document->ShowCaret();
    Repaint();
}

void TQnCustomRichText::RulerIndents(bool changing)
{
    TQnRTFTextInput &d = *Document;
    if (!BeginEdit())
        return;
    // A drag of the marker is one step.
    UndoRecord record(*this, UndoKind::Indents, 0, 0);
    // While the marker is dragged a table cell is left alone.
    if (!(changing && d.Cursor.Paragraph && d.Cursor.Paragraph->IsTableCell())) {
        const TTextHeader &h = *d.Header;
        d.SetIndents(h.RulerFirstIndent, h.RulerLeftIndent, h.RulerRightIndent);
    }
    if (!changing)
        Changed();
    Repaint();
}

// ---------------------------------------------------------------------------
// Opening, saving and closing by dialog

TQnCustomRichText::TFileDialogHook TQnCustomRichText::SetFileDialogHook(TFileDialogHook hook)
{
    TFileDialogHook previous = std::move(fileDialogHook());
    fileDialogHook() = std::move(hook);
    return previous;
}

namespace {

// The chosen file; empty for cancel, nullopt when no dialog could be shown.
std::optional<QString> askFile(QWidget *parent, bool save)
{
    const QString filter = FileDialogFilter(RichTextString(rtsFileFilter));
    if (fileDialogHook())
        return fileDialogHook()(save, filter);
    if (!QApplication::instance())
        return std::nullopt;
    return save ? QFileDialog::getSaveFileName(parent, QString(), QString(), filter)
                : QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

} // namespace

void TQnCustomRichText::OpenFile()
{
    TQnRTFTextInput &d = *Document;
    if (ReadOnly() || !BeginEdit()) {
        d.ErrorState = kResultRefused;
        return;
    }
    d.ErrorState = kResultOk;
    const std::optional<QString> name = askFile(this, false);
    if (!name) {
        d.ErrorState = kResultNoDialog;
        return;
    }
    if (name->isEmpty()) {
        d.ErrorState = kResultCancelled;
        return;
    }
    // The old document, to put back when the file cannot be read.
    TQnMemoryStream backup;
    const uint8_t savedFormat = d.SaveFormat;
    d.SaveFormat = kFormatRtf;
    d.SaveToStream(backup);
    d.SaveFormat = savedFormat;
    const QString keptName = FileName;
    bool failed = false;
    try {
        applyDefaultFontAsAttr();
        LoadFromFile(*name);
        failed = d.ErrorState != kIoOk;
    } catch (const std::exception &) {
        failed = true;
    }
    if (failed) {
        applyDefaultFontAsAttr();
        backup.Seek(0);
        d.LoadFromStream(backup);
        d.ShowCaret();
        Repaint();
        FileName = keptName;
        d.ErrorState = kResultFailed;
        bindStatusBar();
        return;
    }
    Modified = false;
    FileName = *name;
    bindStatusBar();
    Changed();
}

void TQnCustomRichText::SaveFileAs()
{
    TQnRTFTextInput &d = *Document;
    d.ErrorState = kResultOk;
    const std::optional<QString> name = askFile(this, true);
    if (!name) {
        d.ErrorState = kResultNoDialog;
        return;
    }
    if (name->isEmpty()) {
        d.ErrorState = kResultCancelled;
        return;
    }
    try {
        SaveToFile(*name);
    } catch (const std::exception &) {
        d.ErrorState = kResultFailed;
    }
    if (d.ErrorState == kResultOk)
        Modified = false;
}

void TQnCustomRichText::SaveFile()
{
    if (FileName.isEmpty()) {
        SaveFileAs();
        return;
    }
    TQnRTFTextInput &d = *Document;
    try {
        SaveToFile(FileName);
    } catch (const std::exception &) {
        d.ErrorState = kResultFailed;
    }
    if (d.ErrorState == kResultOk)
        Modified = false;
}

void TQnCustomRichText::CloseFile()
{
    SaveFile();
    if (Document->ErrorState != kResultOk)
        return;
    Clear();
    Modified = false;
    Changed();
}

} // namespace qn
