// The clipboard of the editor control: the block goes out as RTF (under the
// MIME types other programs on the desktop use) and as plain text; paste
// prefers RTF, then text, then a picture.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include "platform/notifications.h"
#include "platform/qt/qt_text.h"
#include "richtext/controls/clipboard_picture.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

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

} // namespace

void TQnCustomRtfEdit::CopyToClipboard()
{
    if (!BlockMarked())
        return;
    TQnRTFTextInput &d = *Document;
    const uint8_t savedFormat = d.SaveFormat;
    const std::string rtf = writeBlock(d, kFormatRtf);
    std::string text = writeBlock(d, kFormatText);
    d.SaveFormat = savedFormat;

    auto *data = new QMimeData;
    const QByteArray rtfBytes(rtf.data(), static_cast<qsizetype>(rtf.size()));
    for (const char *type : kRtfMimeTypes)
        data->setData(QLatin1String(type), rtfBytes);
    // Other programs here end lines with a line feed alone.
    QString plain = AnsiToQString(text);
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    data->setText(plain);
    QApplication::clipboard()->setMimeData(data);
    EditStateChanged();
}

void TQnCustomRtfEdit::CutToClipboard()
{
    if (!BlockMarked())
        return;
    CopyToClipboard();
    if (!Document->ReadOnly && BeginEdit()) {
        UndoRecord record(*this, UndoKind::Other);
        Document->DeleteBlock();
        Document->FormatAll();
        Document->ShowCaret();
        Repaint();
        barsChanged();
        Changed();
    }
    Document->ShowCaret();
    Repaint();
    EditStateChanged();
}

void TQnCustomRtfEdit::PasteFromClipboard()
{
    if (Document->ReadOnly || !BeginEdit())
        return;
    const QMimeData *data = QApplication::clipboard()->mimeData();
    UndoRecord record(*this, UndoKind::Other);
    if (data && pasteMimeData(data))
        Changed();
    Repaint();
}

bool TQnCustomRtfEdit::pasteMimeData(const QMimeData *data)
{
    for (const char *type : kRtfMimeTypes)
        if (data->hasFormat(QLatin1String(type))) {
            const QByteArray bytes = data->data(QLatin1String(type));
            return insertStream(std::string(bytes.constData(), size_t(bytes.size())), kFormatRtf);
        }
    if (data->hasText()) {
        // Paragraphs end in CR LF in the document's plain text; other
        // programs here end lines with a line feed alone.
        QString text = data->text();
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        const std::optional<std::string> ansi = QStringToAnsi(text);
        if (!ansi) {
            // Nothing garbled goes in: text the code page cannot hold is refused.
            MessageBeep();
            return false;
        }
        return insertStream(*ansi, kFormatText);
    }
    if (data->hasImage()) {
        try {
            const QImage image = qvariant_cast<QImage>(data->imageData());
            std::shared_ptr<TQnGraphic> graphic = GraphicFromImage(image);
            if (!graphic)
                return false;
            if (SaveForUNDO)
                SaveForUNDO(this);
            UndoRecord record(*this, UndoKind::Other);
            Document->DeleteBlock();
            int tag = 0;
            Document->InsertObject(tag, graphic, 0, 0);
            Document->FormatAll();
            Document->ShowCaret();
            barsChanged();
            return true;
        } catch (...) {
            return false; // a picture that cannot be made is no paste
        }
    }
    return false;
}

bool TQnCustomRtfEdit::insertStream(const std::string &bytes, int format)
{
    std::string data = upToNul(bytes);
    if (data.empty())
        return false;
    data += '\0';
    TQnMemoryStream stream(std::move(data));
    if (SaveForUNDO)
        SaveForUNDO(this);
    UndoRecord record(*this, UndoKind::Other);
    TQnRTFTextInput &d = *Document;
    d.DeleteBlock();
    std::unique_ptr<TQnTextReader> reader = TQnRTFTextIo::MakeReader(format);
    bool read = true;
    try {
        d.ReadWithReader(&stream, reader.get());
    } catch (...) {
        read = false; // an unreadable clipboard leaves the text as it was
    }
    d.FormatAll();
    d.ShowCaret();
    keepCaretLineInView();
    barsChanged();
    return read;
}

} // namespace qn
