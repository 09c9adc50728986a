// The clipboard in the formats the desktop uses, pastes that cannot be read,
// and drag and drop within the entry and from outside.
#include <QBuffer>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QUrl>

#include "richtext/io/rtf_reader.h"
#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

using namespace qn;
using namespace qn::test;

namespace {

const std::string kHead = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}"
                          "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}\\f0\\fs20 ";

class EditorPaste : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        edit->OnChange = [this](TQnCustomRtfEdit *) { ++changes; };
    }

    void setClipboard(QMimeData *data) { QApplication::clipboard()->setMimeData(data); }

    // The document as RTF, to compare before and after.
    std::string rtf()
    {
        TQnMemoryStream out;
        const uint8_t saved = doc().SaveFormat;
        doc().SaveFormat = kFormatRtf;
        doc().SaveToStream(out);
        doc().SaveFormat = saved;
        return out.TakeBytes();
    }

    const TCharAttr &attrAt(int paragraph, int offset)
    {
        return doc().ParagraphAt(paragraph)->Lines->Attrs[offset];
    }

    ColorRef colorOf(const TCharAttr &a) { return doc().Header->Colors[a.Colors & 0x0F]; }

    int changes = 0;
};

TEST_F(EditorPaste, CopyOffersRtfHtmlAndUtf8Text)
{
    load(kHead + "plain {\\b bold} \\'80 euro}");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    edit->CopyToClipboard();
    const QMimeData *data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    for (const char *type : {"text/rtf", "application/rtf", "text/html", "text/plain"})
        EXPECT_TRUE(data->hasFormat(QLatin1String(type))) << type;
    EXPECT_TRUE(data->data("text/rtf").startsWith("{\\rtf1"));
    EXPECT_EQ(data->data("text/rtf"), data->data("application/rtf"));
    EXPECT_EQ(data->text(), QString::fromUtf8("plain bold \xe2\x82\xac euro"));
    EXPECT_EQ(data->data("text/plain"), QByteArray("plain bold \xe2\x82\xac euro"));
    const QString html = data->html();
    EXPECT_TRUE(html.contains(QStringLiteral("<b>")) || html.contains(QStringLiteral("bold")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QChar(0x20AC))) << html.toStdString();
    EXPECT_FALSE(html.contains(QLatin1String("windows-1252"), Qt::CaseInsensitive));
}

TEST_F(EditorPaste, HtmlAloneIsPastedWithItsLook)
{
    load(kHead + "ab}");
    QTest::keyClick(edit, Qt::Key_Right);
    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<html><body><b>Bold</b> <font color=\"#c80000\">red</font>"
                                 " \u20ac</body></html>"));
    setClipboard(data);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->PlainText(), QString::fromUtf8("aBold red \xe2\x82\xac"
                                                   "b"));
    EXPECT_TRUE(attrAt(0, 1).Style & kStyleBold);
    EXPECT_FALSE(attrAt(0, 6).Style & kStyleBold);
    EXPECT_EQ(colorOf(attrAt(0, 7)), Rgb(200, 0, 0));
    EXPECT_EQ(changes, 1);
    // The caret stands after the pasted text.
    QTest::keyClicks(edit, "Z");
    EXPECT_TRUE(edit->PlainText().contains(QString::fromUtf8("\xe2\x82\xacZ")))
        << edit->PlainText().toStdString();
}

TEST_F(EditorPaste, PastePrefersRtfThenHtmlThenText)
{
    auto *data = new QMimeData;
    data->setData("text/rtf", QByteArray("{\\rtf1\\ansi from rtf}"));
    data->setHtml(QStringLiteral("<p>from html</p>"));
    data->setText(QStringLiteral("from text"));
    setClipboard(data);
    edit->PasteFromClipboard();
    EXPECT_EQ(text(0), "from rtf");

    doc().Clear();
    data = new QMimeData;
    data->setHtml(QStringLiteral("<p>from html</p>"));
    data->setText(QStringLiteral("from text"));
    setClipboard(data);
    edit->PasteFromClipboard();
    EXPECT_EQ(text(0), "from html");
}

TEST_F(EditorPaste, TheCaretEndsAfterTextPastedIntoAnEmptyEntry)
{
    auto *data = new QMimeData;
    data->setText(QStringLiteral("first\nsecond"));
    setClipboard(data);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(edit, "!");
    EXPECT_EQ(edit->PlainText(), "first\nsecond!");

    doc().Clear();
    data = new QMimeData;
    data->setData("text/rtf", QByteArray("{\\rtf1\\ansi {\\b rich}}"));
    setClipboard(data);
    edit->PasteFromClipboard();
    QTest::keyClicks(edit, "!");
    EXPECT_EQ(text(0), "rich!");
}

TEST_F(EditorPaste, APasteThatCannotBeReadChangesNothingAndSaysWhy)
{
    load(kHead + "keep this text}");
    edit->Modified = false;
    QTest::keyClick(edit, Qt::Key_Home);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    const std::string before = rtf();
    NotificationCapture capture;

    // A damaged picture.
    auto *data = new QMimeData;
    data->setData("image/png", QByteArray("\x89PNG\r\n\x1a\nbroken", 14));
    setClipboard(data);
    edit->PasteFromClipboard();

    EXPECT_EQ(rtf(), before);
    EXPECT_EQ(copiedBlock(), "keep");
    EXPECT_FALSE(edit->Modified);
    EXPECT_EQ(changes, 0);
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_NE(capture.informations[0].find("picture"), std::string::npos);
}

TEST_F(EditorPaste, AnEmptyPasteRaisesNoChangeAndAPictureGoesInAsAnObject)
{
    load(kHead + "ab}");
    NotificationCapture capture;
    QApplication::clipboard()->clear();
    edit->PasteFromClipboard();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(text(0), "ab");

    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    auto *data = new QMimeData;
    data->setData("image/png", png);
    setClipboard(data);
    QTest::keyClick(edit, Qt::Key_End);
    edit->PasteFromClipboard();
    EXPECT_EQ(changes, 1);
    const TLine *line = doc().ParagraphAt(0)->Lines;
    ASSERT_EQ(line->Length, 3);
    EXPECT_TRUE(line->Attrs[2].Style & kStyleObject);
    EXPECT_EQ(edit->CursorAbsolutePosition(), 3);
}

TEST_F(EditorPaste, PastedHtmlNeverLoadsPicturesFromThisComputer)
{
    TempDir dir;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString file = QString::fromStdString((dir.path() / "local.png").string());
    ASSERT_TRUE(image.save(file));
    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<p>x<img src=\"%1\">y</p>").arg(file));
    setClipboard(data);
    edit->PasteFromClipboard();
    EXPECT_EQ(text(0).substr(0, 1), "x");
    // The picture's place is kept, its file is not read.
    for (const auto &object : doc().Objects)
        EXPECT_FALSE(object->Graphic) << object->FileName;
}

// ---------------------------------------------------------------------------
// Drag and drop

// A file of these bytes in the folder, as a drop names it.
QUrl droppedFile(const TempDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = QString::fromStdString((dir.path() / name).string());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return QUrl::fromLocalFile(path);
}

class EditorDrag : public EditorPaste {
protected:
    void SetUp() override
    {
        EditorPaste::SetUp();
        edit->DragAndDropSupport = true;
    }

    // A drop at a widget point, as the window system delivers one.
    bool drop(const QMimeData &data, QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(edit, &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(edit, &move);
        QDropEvent dropped(at, actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(edit, &dropped);
        return dropped.isAccepted();
    }

    void select(int start, int length)
    {
        QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < start; ++i)
            QTest::keyClick(edit, Qt::Key_Right);
        for (int i = 0; i < length; ++i)
            QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    }
};

TEST_F(EditorPaste, RtfAndHtmlOnTheClipboardCarryEveryCharacter)
{
    const std::u32string text = U"\u0141\u00F3d\u017A \u03B1\u03B8\u03AE\u03BD\u03B1 \u65E5\u672C "
                                U"e\u0301 \U0001F44D\U0001F3FD \u20AC";
    load(kHead + "x}");
    doc().SetParagraphText(0, text, &attrAt(0, 0));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    edit->CopyToClipboard();
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QByteArray rtfBytes = copied->data("text/rtf");
    for (const char c : rtfBytes)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "RTF stays seven-bit";
    const QString html = copied->html();

    // Each form alone pastes the same characters back.
    for (const char *form : {"rtf", "html"}) {
        auto *data = new QMimeData;
        if (std::string(form) == "rtf")
            data->setData(QStringLiteral("text/rtf"), rtfBytes);
        else
            data->setHtml(html);
        setClipboard(data);
        load(kHead + "}");
        edit->PasteFromClipboard();
        EXPECT_EQ(doc().ParagraphText(0), text) << form;
    }
    // HTML from a browser is text already: a charset its page still names
    // does not change it.
    auto *data = new QMimeData;
    data->setHtml(QString::fromUcs4(U"<meta charset=\"windows-1252\"><p>\u0141\u00F3d\u017A "
                                    U"&Ccaron;&#147;</p>"));
    setClipboard(data);
    load(kHead + "}");
    edit->PasteFromClipboard();
    EXPECT_EQ(doc().ParagraphText(0), U"\u0141\u00F3d\u017A \u010C\u201C");
}

TEST_F(EditorDrag, DroppedFilesAreReadInTheirEncoding)
{
    load(kHead + "ab}");
    TempDir dir;
    // UTF-16 with its mark, a web page in Windows-1251, UTF-8 with Greek.
    QByteArray utf16("\xFF\xFE", 2);
    for (const char16_t unit : std::u16string(u"\u65E5\u672C\U0001F600"))
        utf16 += QByteArray(reinterpret_cast<const char *>(&unit), 2);
    QMimeData files;
    files.setUrls(
        {droppedFile(dir, "jp.txt", utf16),
         droppedFile(dir, "ru.html", QByteArray("<meta charset=windows-1251><b>\xcf\xf0\xe8</b>")),
         droppedFile(dir, "gr.txt", QByteArray("\xce\xb1\xce\xb8"))});
    EXPECT_TRUE(drop(files, charPoint(0, 2) + QPoint(20, 0)));
    EXPECT_EQ(doc().ParagraphText(0), U"ab\u65E5\u672C\U0001F600\u041F\u0440\u0438\u03B1\u03B8");
}

TEST_F(EditorDrag, ASelectionMovesWithinTheEntryAndCtrlCopiesIt)
{
    load(kHead + "one two three}");
    select(0, 4); // "one "
    std::unique_ptr<QMimeData> dragged(edit->DragMimeData());
    ASSERT_TRUE(dragged);
    EXPECT_TRUE(drop(*dragged, charPoint(0, 13) + QPoint(20, 0)));
    EXPECT_EQ(text(0), "two threeone ");
    EXPECT_EQ(copiedBlock(), "one ");
    EXPECT_EQ(changes, 1);

    // Onto itself nothing happens.
    dragged.reset(edit->DragMimeData());
    EXPECT_FALSE(drop(*dragged, charPoint(0, 10)));
    EXPECT_EQ(text(0), "two threeone ");

    // With Ctrl the text is copied; before the block too.
    dragged.reset(edit->DragMimeData());
    EXPECT_TRUE(drop(*dragged, charPoint(0, 0) - QPoint(3, 0), Qt::ControlModifier));
    EXPECT_EQ(text(0), "one two threeone ");
    EXPECT_EQ(copiedBlock(), "one ");
    EXPECT_EQ(changes, 2);
}

TEST_F(EditorDrag, TheDragStartsOnlyPastSixPixels)
{
    load(kHead + "one two three}");
    select(4, 3); // "two"
    int runs = 0;
    const TQnCustomRtfEdit::TDragRunner previous =
        TQnCustomRtfEdit::SetDragRunner([&](QDrag &drag, Qt::DropActions actions) {
            ++runs;
            EXPECT_TRUE(actions & Qt::MoveAction);
            EXPECT_EQ(drag.mimeData()->text(), "two");
            // Dropped at the end of the text, as the window system would.
            const QPoint end = charPoint(0, 12) + QPoint(20, 0);
            return drop(*drag.mimeData(), end) ? Qt::MoveAction : Qt::IgnoreAction;
        });
    const QPoint start = charPoint(0, 5);
    QTest::mousePress(edit, Qt::LeftButton, {}, start);
    QTest::mouseMove(edit, start + QPoint(3, 3)); // six: not yet
    EXPECT_EQ(runs, 0);
    QTest::mouseMove(edit, start + QPoint(4, 3));
    QTest::mouseRelease(edit, Qt::LeftButton, {}, start + QPoint(4, 3));
    TQnCustomRtfEdit::SetDragRunner(previous);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(text(0), "one  threetwo");

    // A click inside the selection without a drag places the cursor.
    select(0, 3);
    QTest::mouseClick(edit, Qt::LeftButton, {}, charPoint(0, 1) - QPoint(3, 0));
    EXPECT_FALSE(edit->BlockMarked());
    EXPECT_EQ(edit->CursorAbsolutePosition(), 1);
}

TEST_F(EditorDrag, AMoveComesBackWithOneUndo)
{
    load(kHead + "one two three}");
    select(0, 4);
    std::unique_ptr<QMimeData> dragged(edit->DragMimeData());
    ASSERT_TRUE(dragged);
    ASSERT_TRUE(drop(*dragged, charPoint(0, 13) + QPoint(20, 0)));
    EXPECT_EQ(text(0), "two threeone ");
    edit->Undo();
    EXPECT_EQ(text(0), "one two three");
    EXPECT_FALSE(edit->CanUndo());
    edit->Redo();
    EXPECT_EQ(text(0), "two threeone ");
}

TEST_F(EditorDrag, TextAndFilesFromOutsideDropAtThePoint)
{
    load(kHead + "ab}");
    QMimeData html;
    html.setHtml(QStringLiteral("<b>B</b>"));
    EXPECT_TRUE(drop(html, charPoint(0, 1) - QPoint(3, 0)));
    EXPECT_EQ(text(0), "aBb");
    EXPECT_TRUE(attrAt(0, 1).Style & kStyleBold);

    TempDir dir;
    QMimeData files;
    files.setUrls({droppedFile(dir, "note.txt", QByteArray("t\xc3\xa9xt")),
                   droppedFile(dir, "doc.RTF", QByteArray("{\\rtf1\\ansi {\\i R}}"))});
    EXPECT_TRUE(drop(files, charPoint(0, 2) + QPoint(20, 0)));
    EXPECT_EQ(text(0), "aBbt\xe9xtR");
    EXPECT_TRUE(attrAt(0, 7).Style & kStyleItalic);

    QImage image(5, 5, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString png = QString::fromStdString((dir.path() / "picture.png").string());
    ASSERT_TRUE(image.save(png));
    QMimeData picture;
    picture.setUrls({QUrl::fromLocalFile(png)});
    EXPECT_TRUE(drop(picture, charPoint(0, 0) - QPoint(3, 0)));
    EXPECT_TRUE(attrAt(0, 0).Style & kStyleObject);

    // A file that is nothing of these is refused, with the reason.
    NotificationCapture capture;
    const std::string before = rtf();
    QMimeData other;
    other.setUrls({droppedFile(dir, "data.bin", QByteArray("\x01\x02\x03", 3))});
    EXPECT_FALSE(drop(other, charPoint(0, 1)));
    EXPECT_EQ(rtf(), before);
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_NE(capture.informations[0].find("data.bin"), std::string::npos);

    // Without drag and drop nothing is accepted.
    edit->DragAndDropSupport = false;
    EXPECT_FALSE(drop(html, charPoint(0, 1)));
}

} // namespace
