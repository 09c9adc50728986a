// The clipboard of the editor control, as programs on the desktop use it.
// The block goes out as RTF (under both MIME types in use), as HTML and as
// UTF-8 text; paste prefers RTF, then HTML, then text, then a picture. What
// is pasted is read into a scratch document first, so that a clipboard that
// cannot be read changes nothing. Middle-click pastes the X primary
// selection, which a selection made here offers.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>

#include "platform/notifications.h"
#include "platform/qt/qt_text.h"
#include "richtext/controls/clipboard_picture.h"
#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rtf_edit.h"
#include "richtext/io/html_reader.h"

namespace qn {

namespace {

const char *const kUnreadable = "The clipboard's contents cannot be read: ";

// Clipboard data is taken up to its first NUL byte.
std::string upToNul(std::string bytes)
{
    const size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    return bytes;
}

std::string writeBlock(TQnRTFTextInput &document, int format)
{
    TQnMemoryStream stream;
    document.SaveFormat = static_cast<uint8_t>(format);
    document.SaveSelectionToStream(stream);
    return upToNul(stream.TakeBytes());
}

// Pictures named by pasted HTML are never looked up on this computer: the
// names come from another program and are no paths of ours.
class ClipboardHtmlReader : public TQnHTMLReader {
public:
    std::shared_ptr<TQnGraphic> LoadPicture(const std::string &) override { return nullptr; }
};

std::unique_ptr<TQnTextReader> clipboardReader(int format, bool utf8)
{
    if (format == kFormatHtml)
        return std::make_unique<ClipboardHtmlReader>();
    std::unique_ptr<TQnTextReader> reader = TQnRTFTextIo::MakeReader(format);
    reader->Utf8 = utf8 && format == kFormatText;
    return reader;
}

// Text with the paragraph ends of the document's plain text (CR LF).
std::optional<std::string> ansiParagraphs(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return QStringToAnsi(text);
}

std::string utf8Paragraphs(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool isImageType(const QString &type)
{
    return type.startsWith(QLatin1String("image/"));
}

} // namespace

// ---------------------------------------------------------------------------
// Copy and cut

QMimeData *TQnCustomRtfEdit::SelectionMimeData()
{
    if (!BlockMarked())
        return nullptr;
    TQnRTFTextInput &d = *Document;
    const uint8_t savedFormat = d.SaveFormat;
    std::string rtf, html, text;
    try {
        rtf = writeBlock(d, kFormatRtf);
        html = writeBlock(d, kFormatHtml);
        d.PlainTextUtf8 = true;
        text = writeBlock(d, kFormatText);
        d.PlainTextUtf8 = false;
    } catch (...) {
        d.SaveFormat = savedFormat;
        d.PlainTextUtf8 = false;
        throw;
    }
    d.SaveFormat = savedFormat;

    auto *data = new QMimeData;
    const QByteArray rtfBytes(rtf.data(), static_cast<qsizetype>(rtf.size()));
    for (const char *type : kRtfMimeTypes)
        data->setData(QLatin1String(type), rtfBytes);
    // The HTML writer writes the document's code page; the desktop reads
    // clipboard HTML as UTF-8.
    QString page = AnsiToQString(html);
    page.replace(QLatin1String("windows-1252"), QLatin1String("utf-8"), Qt::CaseInsensitive);
    // The writer gives the code page's own numbers for its characters
    // 128..159 (the euro sign is &#128;); in UTF-8 HTML they are C1 codes.
    static const QRegularExpression c1(QStringLiteral("&#(1[2-5][0-9]);"));
    QString fixed;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator it = c1.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int code = m.captured(1).toInt();
        fixed += page.mid(from, m.capturedStart() - from);
        fixed += code <= 159 ? AnsiToQString(std::string(1, char(code))) : m.captured(0);
        from = m.capturedEnd();
    }
    page = fixed + page.mid(from);
    data->setHtml(page);
    // Other programs here end lines with a line feed alone.
    QString plain = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    data->setText(plain);
    return data;
}

void TQnCustomRtfEdit::CopyToClipboard()
{
    QMimeData *data = SelectionMimeData();
    if (!data)
        return;
    QApplication::clipboard()->setMimeData(data);
    EditStateChanged();
}

void TQnCustomRtfEdit::CutToClipboard()
{
    if (!BlockMarked())
        return;
    CopyToClipboard();
    if (!Document->ReadOnly && BeginEdit()) {
        if (SaveForUNDO)
            SaveForUNDO(this);
        UndoRecord record(*this, UndoKind::Other);
        Document->DeleteBlock();
        Document->FormatAll();
        Document->UpdateCurrentAttr();
        Document->ShowCaret();
        Repaint();
        barsChanged();
        Changed();
    }
    Document->ShowCaret();
    Repaint();
    EditStateChanged();
}

// ---------------------------------------------------------------------------
// Paste

bool TQnCustomRtfEdit::CanPaste(const QMimeData *data)
{
    if (!data)
        return false;
    if (data->hasText() || data->hasHtml() || data->hasImage())
        return true;
    for (const QString &type : data->formats())
        if (isImageType(type) || type == QLatin1String(kRtfMimeTypes[0]) ||
            type == QLatin1String(kRtfMimeTypes[1]))
            return true;
    return false;
}

void TQnCustomRtfEdit::PasteFromClipboard()
{
    PasteFromClipboardData(QApplication::clipboard()->mimeData());
}

bool TQnCustomRtfEdit::PasteMimeData(const QMimeData *data)
{
    if (!data || Document->ReadOnly || !Document->FirstParagraph)
        return false;
    std::string why;
    // Each form the data comes in, best first; one that cannot be read
    // gives way to the next.
    for (const char *type : kRtfMimeTypes)
        if (data->hasFormat(QLatin1String(type))) {
            const QByteArray bytes = data->data(QLatin1String(type));
            if (insertStream(std::string(bytes.constData(), size_t(bytes.size())), kFormatRtf, why))
                return true;
            break;
        }
    if (data->hasHtml()) {
        // The page's characters as UTF-8 behind a byte order mark, which
        // outweighs whatever charset its <meta> still names.
        const QByteArray page = data->html().toUtf8();
        if (insertStream("\xEF\xBB\xBF" + std::string(page.constData(), size_t(page.size())),
                         kFormatHtml, why))
            return true;
    }
    if (data->hasText()) {
        // Text in the code page is read as before; any other as UTF-8.
        const std::optional<std::string> text = ansiParagraphs(data->text());
        if (text ? insertStream(*text, kFormatText, why)
                 : insertStream(utf8Paragraphs(data->text()), kFormatText, why, true))
            return true;
    }
    QImage image;
    if (data->hasImage())
        image = qvariant_cast<QImage>(data->imageData());
    for (const QString &type : data->formats()) {
        if (!image.isNull())
            break;
        if (isImageType(type))
            image = QImage::fromData(data->data(type));
    }
    if (!image.isNull() && insertPicture(image, why))
        return true;
    if (image.isNull() && why.empty())
        for (const QString &type : data->formats())
            if (isImageType(type))
                why = std::string(kUnreadable) + "the picture is damaged.";
    // Nothing that could be pasted: a beep, and the box says why.
    if (why.empty())
        MessageBeep();
    if (!why.empty())
        ShowInformationUtf8(why);
    return false;
}

bool TQnCustomRtfEdit::insertStream(const std::string &bytes, int format, std::string &why,
                                    bool utf8)
{
    std::string data = upToNul(bytes);
    if (data.empty())
        return false;
    data += '\0';
    TQnRTFTextInput &d = *Document;
    // Read once aside: only what can be read, and holds something, goes in.
    {
        TQnRTFTextIo scratch;
        TQnMemoryStream probe(data);
        std::unique_ptr<TQnTextReader> reader = clipboardReader(format, utf8);
        try {
            scratch.ReadWithReader(&probe, reader.get());
        } catch (const std::exception &error) {
            if (why.empty())
                why = kUnreadable + std::string(error.what());
            return false;
        }
        if (scratch.ErrorState != kIoOk) {
            if (why.empty())
                why = kUnreadable + (scratch.LastIoError.empty() ? std::string("damaged data.")
                                                                 : scratch.LastIoError);
            return false;
        }
        if (scratch.IsEmpty())
            return false;
        TTextPos start = d.Cursor, end = d.Cursor;
        if (BlockMarked())
            d.OrderedBlock(start, end);
        if (scratch.FirstParagraph && scratch.FirstParagraph->Next && start.Paragraph &&
            start.Paragraph->IsTableCell()) {
            if (why.empty())
                why = "Text of several paragraphs cannot be pasted into a table cell.";
            return false;
        }
    }
    if (SaveForUNDO)
        SaveForUNDO(this);
    UndoRecord record(*this, UndoKind::Other);
    d.DeleteBlock();
    if (!d.CursorIsValid())
        d.ResetCursor();
    const int at = AbsolutePosition(d, d.Cursor);
    const int lengthBefore = TextEndPosition(d);
    TQnMemoryStream stream(std::move(data));
    std::unique_ptr<TQnTextReader> reader = clipboardReader(format, utf8);
    try {
        d.ReadWithReader(&stream, reader.get());
    } catch (...) {
        // Read once already; nothing more is known here.
    }
    d.FormatAll();
    // The caret stands after what was pasted, also where the document was
    // empty and the reader put it back at the start.
    d.DropBlock();
    d.Cursor = PlaceOfPosition(d, at + (TextEndPosition(d) - lengthBefore));
    afterInsertion();
    return true;
}

bool TQnCustomRtfEdit::insertPicture(const QImage &image, std::string &why)
{
    std::shared_ptr<TQnGraphic> graphic;
    try {
        graphic = GraphicFromImage(image);
    } catch (const std::exception &error) {
        if (why.empty())
            why = kUnreadable + std::string(error.what());
        return false;
    }
    if (!graphic)
        return false;
    if (SaveForUNDO)
        SaveForUNDO(this);
    UndoRecord record(*this, UndoKind::Other);
    TQnRTFTextInput &d = *Document;
    d.DeleteBlock();
    int tag = 0;
    try {
        d.InsertObject(tag, graphic, 0, 0);
    } catch (const std::exception &error) {
        if (why.empty())
            why = kUnreadable + std::string(error.what());
        return false;
    }
    d.FormatAll();
    afterInsertion();
    return true;
}

void TQnCustomRtfEdit::afterInsertion()
{
    TQnRTFTextInput &d = *Document;
    d.UpdateCurrentAttr();
    d.ShowCaret();
    keepCaretLineInView();
    barsChanged();
    if (d.AttrListener)
        d.AttrListener->CursorMoved();
}

// ---------------------------------------------------------------------------
// The X primary selection

void TQnCustomRtfEdit::offerPrimarySelection()
{
    QClipboard *clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection() || !BlockMarked())
        return;
    if (QMimeData *data = SelectionMimeData())
        clipboard->setMimeData(data, QClipboard::Selection);
}

void TQnCustomRtfEdit::pastePrimarySelection(QPoint at)
{
    QClipboard *clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection() || Document->ReadOnly || !Document->FirstParagraph)
        return;
    const QMimeData *data = clipboard->mimeData(QClipboard::Selection);
    if (!CanPaste(data))
        return;
    // The text goes where the middle button was pressed; a selection here
    // stays text, as everywhere on the desktop.
    Document->DropBlock();
    Document->PointToPosition(at.x(), at.y(), false);
    PasteFromClipboardData(data);
}

void TQnCustomRtfEdit::PasteFromClipboardData(const QMimeData *data)
{
    if (Document->ReadOnly)
        return;
    const bool wasModified = Modified;
    if (!BeginEdit())
        return;
    // A paste that changes nothing leaves the entry as it was.
    if (PasteMimeData(data))
        Changed();
    else
        Modified = wasModified;
    Repaint();
}

} // namespace qn
