// The editor's mouse, clipboard, font binding, appending and accessibility.
#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QDir>
#include <QScrollBar>

#include "platform/qt/messages.h"
#include "platform/winmath.h"
#include "richtext/controls/clipboard_picture.h"
#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

const std::string kHead = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                          "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}\\f0\\fs24 ";

class EditorMouse : public EditorTest {};

TEST_F(EditorMouse, ClickPlacesTheCursorAndDragSelects)
{
    load(kHead + "alpha beta gamma}");
    QTest::mouseClick(edit, Qt::LeftButton, {}, charPoint(0, 6) - QPoint(3, 0));
    EXPECT_EQ(edit->CursorAbsolutePosition(), 6);
    EXPECT_FALSE(edit->BlockMarked());

    QTest::mousePress(edit, Qt::LeftButton, {}, charPoint(0, 0) - QPoint(3, 0));
    QTest::mouseMove(edit, charPoint(0, 8));
    QMouseEvent move(QEvent::MouseMove, charPoint(0, 10) - QPoint(3, 0),
                     edit->mapToGlobal(charPoint(0, 10) - QPoint(3, 0)), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &move);
    QTest::mouseRelease(edit, Qt::LeftButton, {}, charPoint(0, 10) - QPoint(3, 0));
    EXPECT_EQ(copiedBlock(), "alpha beta");
    EXPECT_EQ(edit->CursorAbsolutePosition(), 10);
}

TEST_F(EditorMouse, DoubleClickSelectsTheWordBetweenBlanksAndTabs)
{
    load(kHead + "one two-three\\tab four}");
    QTest::mouseDClick(edit, Qt::LeftButton, {}, charPoint(0, 6));
    EXPECT_EQ(copiedBlock(), "two-three");
    QTest::mouseDClick(edit, Qt::LeftButton, {}, charPoint(0, 15));
    EXPECT_EQ(copiedBlock(), "four");
    EXPECT_EQ(text(0), "one two-three\tfour");
}

TEST_F(EditorMouse, DoubleClickOnALinkRaisesTheHyperlinkEvent)
{
    load(kHead + "See {\\uldb the home page}{\\v STAMP-42} now\\par second line}");
    std::string linkText, stamp;
    int line = -1, events = 0;
    edit->HyperLinkEvent = [&](TQnCustomRtfEdit *sender, const std::string &t, const std::string &s,
                               int number) {
        EXPECT_EQ(sender, edit);
        linkText = t;
        stamp = s;
        line = number;
        ++events;
    };
    QTest::mouseDClick(edit, Qt::LeftButton, {}, charPoint(0, 9));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(linkText, "the home page");
    EXPECT_EQ(stamp, "STAMP-42");
    EXPECT_EQ(line, 0);
    EXPECT_FALSE(edit->BlockMarked()); // the click was the link's, not a word selection

    // Off the link a double click selects a word as usual.
    QTest::mouseDClick(edit, Qt::LeftButton, {}, charPoint(0, 1));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(copiedBlock(), "See");

    // With one-click links a single press is enough.
    edit->OneClickHyperlink = true;
    QTest::mouseClick(edit, Qt::LeftButton, {}, charPoint(0, 5));
    EXPECT_EQ(events, 2);
}

TEST_F(EditorMouse, LinksChangeTheMouseCursor)
{
    load(kHead + "plain {\\uldb link}}");
    edit->HyperLinkCursor = Qt::PointingHandCursor;
    QTest::mouseMove(edit, charPoint(0, 7));
    EXPECT_EQ(edit->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(edit, charPoint(0, 1));
    EXPECT_EQ(edit->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(EditorMouse, WheelScrollsAndTheBarFollows)
{
    std::string rtf = kHead;
    for (int i = 0; i < 100; ++i)
        rtf += "Paragraph " + std::to_string(i) + "\\par ";
    load(rtf + "}");
    QWheelEvent down(QPointF(50, 50), edit->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(edit, &down);
    EXPECT_GT(doc().ScrollY, 0);
    EXPECT_GT(edit->VerticalBar()->value(), 0);
    // The bar's own actions scroll through the document's codes.
    edit->VerticalBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(doc().ScrollY, 0);
    edit->VerticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_GE(doc().ScrollY, doc().WindowHeight / 2);
}

TEST_F(EditorMouse, ObjectsAreSelectedByDoubleClickAndResizedByTheirHandle)
{
    load(kHead + "A  B}");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    int tag = 0;
    doc().InsertObject(tag, GraphicFromImage(picture), 0, 0);
    doc().FormatAll();
    edit->Repaint();
    ASSERT_FALSE(doc().PaintedObjects().empty());
    const CanvasRect r = doc().PaintedObjects().front().Rect;
    const QPoint origin = edit->ClientRect().topLeft();
    QTest::mouseDClick(edit, Qt::LeftButton, {}, origin + QPoint(r.Left + 5, r.Top + 5));
    ASSERT_TRUE(edit->SelectedObject());
    const QPoint handle = origin + QPoint(r.Right - 3, r.Bottom - 3);
    QTest::mouseMove(edit, handle);
    EXPECT_EQ(edit->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mousePress(edit, Qt::LeftButton, {}, handle);
    QMouseEvent drag(QEvent::MouseMove, handle + QPoint(20, 10), edit->mapToGlobal(handle),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drag);
    QTest::mouseRelease(edit, Qt::LeftButton, {}, handle + QPoint(20, 10));
    const TQnObject *object = edit->SelectedObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(object->Width, MulDiv(r.Width() + 17, 1440, doc().Header->PixelsPerInchX));
    EXPECT_EQ(object->Height, MulDiv(r.Height() + 7, 1440, doc().Header->PixelsPerInchY));
    EXPECT_TRUE(edit->Modified);
}

class EditorClipboard : public EditorTest {};

TEST_F(EditorClipboard, CopyWritesRtfUnderBothTypesAndPlainText)
{
    load(kHead + "Before {\\b\\cf2 bold red} after}");
    QTest::keyClick(edit, Qt::Key_Home);
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(edit, Qt::Key_Right);
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    edit->CopyToClipboard();
    const QMimeData *data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "bold red");
    for (const char *type : TQnCustomRtfEdit::kRtfMimeTypes) {
        const QByteArray rtf = data->data(type);
        EXPECT_TRUE(rtf.startsWith("{\\rtf")) << type;
        EXPECT_TRUE(rtf.contains("\\b")) << type;
        EXPECT_TRUE(rtf.contains("bold red")) << type;
        EXPECT_FALSE(rtf.contains('\0')) << type;
    }
    EXPECT_EQ(doc().SaveFormat, kFormatAuto);
}

TEST_F(EditorClipboard, PastePrefersRtfAndReadsEitherType)
{
    for (const char *type : TQnCustomRtfEdit::kRtfMimeTypes) {
        SCOPED_TRACE(type);
        load(kHead + "x}");
        auto *data = new QMimeData;
        data->setText("plain words");
        data->setData(type, QByteArray::fromStdString(kHead + "{\\b rich words}}"));
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(text(0), "xrich words");
        const TLine *line = doc().FirstParagraph->Lines;
        EXPECT_TRUE(line->Attrs[2].Style & kStyleBold);
    }
}

TEST_F(EditorClipboard, PlainTextPasteKeepsEveryCharacter)
{
    qn::test::NotificationCapture capture;
    QApplication::clipboard()->setText(QStringLiteral("caf\u00E9\nna\u00EFve"));
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(doc().ParagraphCount(), 2);
    EXPECT_EQ(text(0), "caf\xE9");
    EXPECT_EQ(text(1), "na\xEFve");

    // Characters beyond the code page are pasted too, a line end still
    // making a paragraph.
    QApplication::clipboard()->setText(QStringLiteral("\u2603 snow\n\u65E5"));
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(capture.beeps.size(), 0u);
    ASSERT_EQ(doc().ParagraphCount(), 3);
    EXPECT_EQ(doc().ParagraphText(1), U"na\u00EFve\u2603 snow");
    EXPECT_EQ(doc().ParagraphText(2), U"\u65E5");
}

TEST_F(EditorClipboard, RoundTripKeepsFormatting)
{
    load(kHead + "{\\i slanted} and {\\f1 serif}}");
    QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(doc().ParagraphCount(), 2);
    EXPECT_EQ(text(1), "slanted and serif");
    const TLine *line = doc().ParagraphAt(1)->Lines;
    EXPECT_TRUE(line->Attrs[0].Style & kStyleItalic);
    EXPECT_EQ(doc().Header->FontNames[line->Attrs[line->Length - 1].FontIndex], "Times New Roman");
}

TEST_F(EditorClipboard, CopyWithoutABlockAndPasteIntoReadOnlyDoNothing)
{
    QTest::keyClicks(edit, "text");
    QApplication::clipboard()->setText("untouched");
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "untouched");

    edit->SetReadOnly(true);
    edit->Modified = false;
    int undoCalls = 0;
    edit->SaveForUNDO = [&](TQnCustomRtfEdit *) { ++undoCalls; };
    edit->PasteFromClipboard();
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(text(0), "text");
    EXPECT_EQ(undoCalls, 0);
    EXPECT_FALSE(edit->Modified);
}

TEST_F(EditorClipboard, EditStateTellsSelectionAndClipboard)
{
    bool marked = true, clip = true;
    int calls = 0;
    edit->EditStateEvent = [&](TQnCustomRtfEdit *, bool m, bool c) {
        marked = m;
        clip = c;
        ++calls;
    };
    QApplication::clipboard()->clear();
    edit->EditStateChanged();
    EXPECT_FALSE(marked);
    EXPECT_FALSE(clip);
    QTest::keyClicks(edit, "abc");
    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_TRUE(marked);
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(clip);
    EXPECT_GE(calls, 3);
}

class EditorControl : public EditorTest {};

TEST_F(EditorControl, DefaultsOfANewControl)
{
    TQnCustomRtfEdit fresh;
    EXPECT_EQ(fresh.size(), QSize(100, 100));
    EXPECT_TRUE(fresh.ShowPageBreak());
    EXPECT_TRUE(fresh.WantTabs);
    EXPECT_EQ(fresh.Color(), kSysColorWindow);
    EXPECT_EQ(fresh.BorderStyle(), TBorderStyle::bsSingle);
    EXPECT_EQ(fresh.cursor().shape(), Qt::IBeamCursor);
    EXPECT_EQ(fresh.focusPolicy(), Qt::StrongFocus);
    EXPECT_FALSE(fresh.Modified);
    fresh.SetShowPageBreak(false);
    EXPECT_TRUE(fresh.Document->PaintFlags & kPaintNoAutoBreakMarks);
}

TEST_F(EditorControl, FontBindingRebuildsTheDefaultAttribute)
{
    QTest::keyClicks(edit, "gone");
    edit->SetFontColor(Rgb(0, 0, 0));
    QFont font("Liberation Serif");
    font.setPointSize(14);
    font.setBold(true);
    font.setItalic(true);
    edit->setFont(font);
    EXPECT_EQ(text(0), ""); // the document starts again
    EXPECT_EQ(doc().Header->FontNames[0], "Liberation Serif");
    const TCharAttr &a = doc().CurrentAttr;
    EXPECT_EQ(a.Size, 14);
    EXPECT_EQ(a.FontIndex, 0);
    EXPECT_EQ(a.Style & (kStyleBold | kStyleItalic | kStyleUnderline), kStyleBold | kStyleItalic);
    QTest::keyClicks(edit, "new");
    EXPECT_TRUE(doc().FirstParagraph->Lines->Attrs[0].Style & kStyleBold);
    EXPECT_EQ(doc().FirstParagraph->Lines->Attrs[0].Size, 14);
}

TEST_F(EditorControl, FastAppendTextAppendsAnotherControlButNotItself)
{
    TQnCustomRtfEdit other;
    TQnMemoryStream rtf(kHead + "second {\\b part}}");
    other.Document->LoadFromStream(rtf);
    QTest::keyClicks(edit, "first");
    edit->FastAppendText(other);
    ASSERT_GE(doc().ParagraphCount(), 1);
    EXPECT_EQ(edit->PlainText().left(5), "first");
    EXPECT_TRUE(edit->PlainText().contains("second part"));
    try {
        edit->FastAppendText(*edit);
        FAIL() << "appending to itself must raise";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "Cannot perform FastAppendText(self)");
    }
}

TEST_F(EditorControl, FastAppendTextKeepsTheFirstParagraphsOwnProperties)
{
    TQnCustomRtfEdit other;
    TQnMemoryStream rtf(kHead + "\\qc\\li720\\sb240 centred\\par\\pard\\page after}");
    other.Document->LoadFromStream(rtf);
    QTest::keyClicks(edit, "first");
    edit->FastAppendText(other);
    ASSERT_EQ(doc().ParagraphCount(), 3);
    const TParagraph &centred = *doc().ParagraphAt(1);
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(&centred)), "centred");
    EXPECT_EQ(centred.Alignment, kAlignCenter);
    EXPECT_EQ(centred.LeftIndent, 720);
    EXPECT_EQ(centred.SpaceBefore, 240);
    EXPECT_TRUE(doc().ParagraphAt(2)->ParFlags & kParPageBreak);
    // The paragraph written into stays as it was.
    EXPECT_EQ(doc().ParagraphAt(0)->Alignment, kAlignLeft);
    EXPECT_EQ(edit->PlainText(), "first\ncentred\nafter");
}

TEST_F(EditorControl, AccessibilityReportsTextCaretAndSelection)
{
    load(kHead + "first line\\par second}");
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(edit);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    EXPECT_EQ(iface->text(QAccessible::Value), "first line\nsecond");
    QAccessibleTextInterface *t = iface->textInterface();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->characterCount(), 17);
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(t->cursorPosition(), 17);
    ASSERT_EQ(t->selectionCount(), 1);
    int start, end;
    t->selection(0, &start, &end);
    EXPECT_EQ(start, 11);
    EXPECT_EQ(end, 17);
    EXPECT_EQ(t->textAtOffset(13, QAccessible::WordBoundary, &start, &end), "second");
    EXPECT_EQ(t->textAtOffset(2, QAccessible::LineBoundary, &start, &end), "first line\n");
    t->setCursorPosition(6);
    EXPECT_EQ(edit->CursorAbsolutePosition(), 6);
    EXPECT_FALSE(iface->state().readOnly);
    EXPECT_TRUE(iface->state().multiLine);
}

TEST_F(EditorControl, FocusIsVisibleAndTheCaretBlinksOnlyWithFocus)
{
    EXPECT_TRUE(edit->CaretShown());
    const QImage focused = edit->grab().toImage();
    next->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(edit->CaretShown());
    const QImage unfocused = edit->grab().toImage();
    // The frame's inner ring shows the focus.
    EXPECT_NE(focused.pixel(1, 20), unfocused.pixel(1, 20));
}

TEST_F(EditorControl, ScreenshotOfAFormattedDocumentWithASelection)
{
    window->resize(520, 380);
    edit->setGeometry(0, 0, 520, 340);
    load(kHead + "{\\fs32\\b A day by the sea}\\par "
                 "The morning was {\\i grey and still}, and we walked along the {\\ul beach} "
                 "before breakfast. {\\cf2 The water was cold.}\\par "
                 "{\\f1 Later the letters arrived from friends abroad, with photographs of "
                 "mountains and lakes.}\\par "
                 "\\qc {\\b Centred} closing line\\par}");
    // Select from "walked" to "breakfast".
    QTest::mouseClick(edit, Qt::LeftButton, {}, charPoint(1, 39) - QPoint(2, 0));
    QTest::mouseClick(edit, Qt::LeftButton, Qt::ShiftModifier, charPoint(1, 78) - QPoint(1, 0));
    EXPECT_TRUE(edit->BlockMarked());
    QApplication::processEvents();
    const QImage shot = edit->grab().toImage();
    const QString dir = QString::fromStdString((binaryDir() / "screenshots").string());
    QDir().mkpath(dir);
    EXPECT_TRUE(shot.save(dir + "/editor_selection.png", "PNG"));
    // Selected text is painted on the highlight colour.
    const QPoint blank = charPoint(1, 45);
    EXPECT_EQ(QColor(shot.pixel(blank.x(), blank.y())).rgb() & 0xFFFFFF,
              edit->palette().color(QPalette::Highlight).rgb() & 0xFFFFFF);
}

} // namespace
