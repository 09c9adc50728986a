// Drag and drop in the editor control, when DragAndDropSupport is on. A
// press inside the selection becomes a drag once the mouse has moved more
// than 6 pixels; dropped in the same control the text moves (with Ctrl it
// is copied). Text, RTF and HTML from other programs drop at the point; a
// dropped .rtf, .txt or .htm(l) file inserts its content, a picture file its
// picture.
#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "platform/notifications.h"
#include "platform/text_encoding.h"
#include "platform/unicode_text.h"
#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

constexpr int kDragThreshold = 6;                 // |dx| + |dy|, pixels
constexpr uint64_t kMaxDroppedFile = 64ull << 20; // larger files are refused

std::string lowerExtension(const std::filesystem::path &path)
{
    std::string ext = path.extension().string();
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The bytes of a dropped file: a regular file of reasonable size only
// (a pipe or a device could block or never end).
bool readDroppedFile(const std::filesystem::path &path, std::string &bytes, std::string &why)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        why = "\"" + path.filename().string() + "\" is not a file that can be inserted.";
        return false;
    }
    try {
        std::unique_ptr<File> file = DefaultFileSystem().open(path, OpenMode::ReadOnly);
        const uint64_t size = file->size();
        if (size > kMaxDroppedFile) {
            why = "\"" + path.filename().string() + "\" is too large to be inserted.";
            return false;
        }
        bytes.resize(size_t(size));
        bytes.resize(file->readSomeAt(0, bytes.data(), bytes.size()));
    } catch (const std::exception &error) {
        why = error.what();
        return false;
    }
    return true;
}

// A dropped text file's characters (UTF-8 with or without its mark, UTF-16
// with its mark, else Windows-1252) as UTF-8, paragraphs ending in CR LF.
std::string fileTextAsUtf8(const std::string &bytes)
{
    std::string text = unicode::ToUtf8(DecodeText(bytes));
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n')
            out += "\r\n";
        else
            out.push_back(text[i]);
    }
    return out;
}

TQnCustomRtfEdit::TDragRunner &dragRunner()
{
    static TQnCustomRtfEdit::TDragRunner runner;
    return runner;
}

constexpr const char *kOwnDragType = "application/x-quillnook-drag";

} // namespace

// ---------------------------------------------------------------------------
// Starting a drag

bool TQnCustomRtfEdit::pressInSelection(QPoint at)
{
    if (!BlockMarked())
        return false;
    TQnRTFTextInput &d = *Document;
    TParagraph *paragraph = nullptr;
    TLine *line = nullptr;
    int index = 0;
    if (!charAt(at, paragraph, line, index))
        return false;
    int start = 0, length = 0;
    BlockRange(d, start, length);
    const int position = AbsolutePosition(d, TTextPos{paragraph, line, index});
    return position >= start && position < start + length;
}

bool TQnCustomRtfEdit::dragPastThreshold(QPoint at) const
{
    const QPoint moved = at - pressPoint_;
    return std::abs(moved.x()) + std::abs(moved.y()) > kDragThreshold;
}

TQnCustomRtfEdit::TDragRunner TQnCustomRtfEdit::SetDragRunner(TDragRunner runner)
{
    TDragRunner previous = std::move(dragRunner());
    dragRunner() = std::move(runner);
    return previous;
}

QMimeData *TQnCustomRtfEdit::DragMimeData()
{
    QMimeData *data = SelectionMimeData();
    if (data)
        data->setData(QLatin1String(kOwnDragType), ownDragMark());
    return data;
}

QByteArray TQnCustomRtfEdit::ownDragMark() const
{
    // Names this control in this process; a drop that carries it is a move
    // within the entry.
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
           QByteArray::number(quintptr(this), 16);
}

bool TQnCustomRtfEdit::isOwnDrag(const QMimeData *data) const
{
    return data && data->data(QLatin1String(kOwnDragType)) == ownDragMark();
}

void TQnCustomRtfEdit::startDrag()
{
    dragPending_ = false;
    buttonHeld_ = false;
    QMimeData *data = DragMimeData();
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    dragging_ = true;
    ownDropDone_ = false;
    const Qt::DropActions actions =
        ReadOnly() ? Qt::CopyAction : Qt::DropActions(Qt::CopyAction | Qt::MoveAction);
    const Qt::DropAction result =
        dragRunner() ? dragRunner()(*drag, actions) : drag->exec(actions, Qt::MoveAction);
    drag->deleteLater();
    dragging_ = false;
    // Moved to another program: the text leaves this one.
    if (result == Qt::MoveAction && !ownDropDone_ && BlockMarked() && BeginEdit()) {
        if (SaveForUNDO)
            SaveForUNDO(this);
        DeleteSelection();
        barsChanged();
        Changed();
    }
}

// ---------------------------------------------------------------------------
// Dropping

void TQnCustomRtfEdit::dragEnterEvent(QDragEnterEvent *event)
{
    if (!DragAndDropSupport || ReadOnly() || !event->mimeData() ||
        !(CanPaste(event->mimeData()) || event->mimeData()->hasUrls())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TQnCustomRtfEdit::dragMoveEvent(QDragMoveEvent *event)
{
    if (!DragAndDropSupport || ReadOnly()) {
        event->ignore();
        return;
    }
    // The caret shows where the text will go.
    const QPoint at = event->position().toPoint() - clientOrigin();
    TQnRTFTextInput &d = *Document;
    TParagraph *paragraph = nullptr;
    TLine *line = nullptr;
    if (d.LineAt(at.x(), at.y(), paragraph, line)) {
        const TTextPos cursor = d.Cursor;
        d.Cursor = TTextPos{paragraph, line, d.CharAt(paragraph, line, at.x())};
        d.PlaceCaret();
        d.Cursor = cursor;
    }
    // Within the control Ctrl copies, otherwise the text moves.
    if (isOwnDrag(event->mimeData()))
        event->setDropAction((event->modifiers() & Qt::ControlModifier) ? Qt::CopyAction
                                                                        : Qt::MoveAction);
    event->accept();
}

void TQnCustomRtfEdit::dragLeaveEvent(QDragLeaveEvent *event)
{
    Document->PlaceCaret();
    event->accept();
}

void TQnCustomRtfEdit::dropEvent(QDropEvent *event)
{
    if (!DragAndDropSupport || ReadOnly() || !event->mimeData()) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint() - clientOrigin();
    const bool own = isOwnDrag(event->mimeData());
    const bool move = own && !(event->modifiers() & Qt::ControlModifier);
    if (dropAt(at, event->mimeData(), own, move)) {
        if (own)
            ownDropDone_ = true;
        event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    setFocus(Qt::MouseFocusReason);
}

bool TQnCustomRtfEdit::dropAt(QPoint at, const QMimeData *data, bool own, bool move)
{
    TQnRTFTextInput &d = *Document;
    const bool wasModified = Modified;
    if (!d.FirstParagraph || !BeginEdit())
        return false;
    // Where the point lies in the text before anything changes.
    TParagraph *paragraph = nullptr;
    TLine *line = nullptr;
    if (!d.LineAt(at.x(), at.y(), paragraph, line)) {
        Modified = wasModified;
        return false;
    }
    int target = AbsolutePosition(d, TTextPos{paragraph, line, d.CharAt(paragraph, line, at.x())});
    int start = 0, length = 0;
    BlockRange(d, start, length);
    // Onto itself the text stays where it is.
    if (own && (length == 0 || (target >= start && target <= start + length))) {
        Modified = wasModified;
        return false;
    }
    // Insertion and removal are one step: the drop comes back whole. The
    // two places may lie far apart, so the whole document is recorded.
    UndoRecord record = UndoRecord::WholeDocument(*this);
    d.DropBlock();
    d.Cursor = PlaceOfPosition(d, target);
    const int before = TextEndPosition(d);
    // Inserted first and deleted after, so that a drop that fails loses nothing.
    const bool done = !own && data->hasUrls() ? dropFiles(data) : PasteMimeData(data);
    if (!done) {
        Modified = wasModified;
        if (own)
            SelectRange(d, start, length);
        d.ShowCaret();
        Repaint();
        return false;
    }
    const int inserted = TextEndPosition(d) - before;
    if (own && move) {
        SelectRange(d, target < start ? start + inserted : start, length);
        d.DeleteBlock();
        d.FormatAll();
        if (target > start)
            target -= length;
    }
    // The dropped text is selected, as it is after any drop.
    SelectRange(d, target, inserted);
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    barsChanged();
    Changed();
    EditStateChanged();
    offerPrimarySelection();
    return true;
}

bool TQnCustomRtfEdit::dropFiles(const QMimeData *data)
{
    bool any = false;
    std::string why;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const std::filesystem::path path(url.toLocalFile().toStdString());
        const std::string ext = lowerExtension(path);
        int format = 0;
        if (ext == ".rtf")
            format = kFormatRtf;
        else if (ext == ".txt")
            format = kFormatText;
        else if (ext == ".htm" || ext == ".html")
            format = kFormatHtml;
        std::string bytes;
        if (!readDroppedFile(path, bytes, why))
            break;
        // A web page's reader finds its encoding itself.
        if (format == kFormatText)
            bytes = fileTextAsUtf8(bytes);
        if (format != 0) {
            if (!insertStream(bytes, format, why, format == kFormatText))
                break;
        } else {
            const QImage image = QImage::fromData(
                QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
            if (image.isNull()) {
                why = "\"" + path.filename().string() + "\" is no text, RTF, HTML or picture file.";
                break;
            }
            if (!insertPicture(image, why))
                break;
        }
        any = true;
    }
    if (!why.empty())
        ShowInformationUtf8(why);
    return any;
}

} // namespace qn
