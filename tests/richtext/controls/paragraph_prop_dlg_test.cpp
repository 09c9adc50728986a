// The paragraph properties dialog over a rich text control, driven with keys
// and mouse clicks: units, the first-indent choice, refused input, and the
// values applied to the caret's paragraph or to every selected paragraph.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/modal_result.h"
#include "richtext/controls/paragraph_prop_dlg.h"
#include "richtext/controls/rich_text.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

// Three paragraphs: left aligned with a first indent equal to its left
// indent, centred with a hanging first line, right aligned with spacing.
const char *kEntry = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 "
                     "\\li720\\sb50 Dear diary, today the paragraphs were set.\\par "
                     "\\pard\\qc\\li360\\fi360\\ri144 A centred line of the entry.\\par "
                     "\\pard\\qr\\sa240\\sl280 The right aligned closing words.\\par "
                     "\\pard Last paragraph, never selected.}";

class ParagraphDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(640, 360);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 640, 360);
        edit->SetWordWrap(true);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        edit->SetText(kEntry);
        QApplication::processEvents();
    }
    void TearDown() override
    {
        dialog.reset();
        window.reset();
    }

    TParagraph &paragraph(int n) { return *edit->Document->ParagraphAt(n); }

    // Puts the caret into a paragraph with a click on its first line.
    void clickInto(int n)
    {
        TParagraph &p = paragraph(n);
        const QPoint at = edit->ClientRect().topLeft() +
                          QPoint(edit->Document->XOfChar(&p, p.Lines, 2),
                                 p.Lines->Top - edit->Document->ScrollY + p.Lines->Height / 2);
        QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_EQ(edit->Document->Cursor.Paragraph, &p);
    }

    TParagraphPropDlg &open()
    {
        dialog = std::make_unique<TParagraphPropDlg>(window.get());
        dialog->Editor = edit;
        dialog->show();
        QApplication::processEvents();
        return *dialog;
    }

    // Replaces an edit's text as a user does: select all, then type.
    void retype(QLineEdit *e, const QString &text)
    {
        e->setFocus();
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Delete);
        else
            QTest::keyClicks(e, text);
    }

    void chooseItem(QComboBox *box, int index)
    {
        box->setFocus();
        while (box->currentIndex() < index)
            QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > index)
            QTest::keyClick(box, Qt::Key_Up);
    }

    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
    std::unique_ptr<TParagraphPropDlg> dialog;
};

} // namespace

TEST_F(ParagraphDialogTest, ShowsTheCaretParagraphInInchesCentimetresAndPoints)
{
    clickInto(0);
    const int32_t nextLeft = paragraph(1).LeftIndent;
    TParagraphPropDlg &d = open();
    EXPECT_EQ(d.windowTitle(), "Paragraph Properties");
    EXPECT_EQ(d.size(), QSize(494, 128));
    EXPECT_EQ(d.LeftIndent->text(), "0.50");
    EXPECT_EQ(d.FirstIndent->text(), "0.50");
    EXPECT_EQ(d.RightIndent->text(), "0.00");
    EXPECT_EQ(d.FirstIndentCombo->currentText(), "Same as Left Indent");
    EXPECT_FALSE(d.FirstIndent->isEnabled());
    // 50 twips are 2.5 points, shown as 2 (halves to even) and so stored as 40.
    EXPECT_EQ(d.SpaceBeforePts->text(), "2");
    EXPECT_EQ(d.SpaceBeforeValue, 40);
    EXPECT_EQ(d.LeftIndent->toolTip(), "Specify left indent for the paragraph in inches");

    chooseItem(d.ComboBox1, 1);
    EXPECT_EQ(d.ComboBox1->currentText(), "Cm");
    EXPECT_EQ(d.LeftIndent->text(), "1.27");
    EXPECT_EQ(d.LeftIndent->toolTip(), "Specify left indent for the paragraph in centimeters");
    EXPECT_EQ(d.FirstIndent->toolTip(),
              "Specify first line indent for the paragraph in centimeters");
    chooseItem(d.ComboBox1, 0);
    EXPECT_EQ(d.LeftIndent->text(), "0.50");
    EXPECT_NEAR(d.LeftIndentValue, 720, 14.4) << "within a hundredth of an inch";

    // With "Same as Left Indent" the first indent follows the left indent.
    retype(d.LeftIndent, "1.25");
    EXPECT_EQ(d.FirstIndent->text(), "1.25");
    EXPECT_EQ(d.LeftIndentValue, 1800);
    EXPECT_EQ(d.FirstIndentValue, 1800);
    // Centimetres typed are converted at 566.929 twips each.
    chooseItem(d.ComboBox1, 1);
    retype(d.RightIndent, "2");
    EXPECT_EQ(d.RightIndentValue, 1134);

    QTest::mouseClick(d.Okbutton, Qt::LeftButton);
    EXPECT_EQ(d.result(), mrOk);
    EXPECT_FALSE(d.isVisible());
    // Switching to centimetres showed 1.25 in as 3.18 cm and took that back:
    // round(3.18 x 566.929) = 1803.
    TParagraph &p = paragraph(0);
    EXPECT_EQ(p.LeftIndent, 1803);
    EXPECT_EQ(p.FirstIndent, 1803);
    EXPECT_EQ(p.RightIndent, 1134);
    EXPECT_EQ(p.SpaceBefore, 40);
    EXPECT_TRUE(edit->Modified);
    // The paragraph below kept its own values.
    EXPECT_EQ(paragraph(1).LeftIndent, nextLeft);
}

TEST_F(ParagraphDialogTest, ChecksAnEditWhenItIsLeftAndOnOkNotAtEveryKey)
{
    clickInto(1);
    test::NotificationCapture messages;
    const int32_t left = paragraph(1).LeftIndent, first = paragraph(1).FirstIndent;
    ASSERT_NE(left, first);
    TParagraphPropDlg &d = open();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    EXPECT_EQ(d.FirstIndentCombo->currentText(), "Indented by");
    EXPECT_TRUE(d.FirstIndent->isEnabled());

    // Typing is never interrupted: every key of "abc" arrives.
    retype(d.LeftIndent, "abc");
    QApplication::processEvents();
    EXPECT_TRUE(messages.informations.empty());
    EXPECT_EQ(d.LeftIndent->text(), "abc");
    EXPECT_EQ(d.LeftIndentValue, left);
    // Leaving the edit reports the text once and puts the focus back.
    QTest::keyClick(d.LeftIndent, Qt::Key_Tab);
    QApplication::processEvents();
    ASSERT_EQ(messages.informations.size(), 1u);
    EXPECT_EQ(messages.informations[0], "'abc' is not a valid floating point value");
    EXPECT_EQ(QApplication::focusWidget(), d.LeftIndent);

    // A leading minus or point can be typed; the value follows the text.
    retype(d.LeftIndent, ".5");
    EXPECT_EQ(d.LeftIndentValue, 720);
    retype(d.RightIndent, "-.25");
    EXPECT_EQ(d.RightIndentValue, -360);
    retype(d.SpaceAfterPts, "-");
    QApplication::processEvents();
    EXPECT_EQ(messages.informations.size(), 1u);
    EXPECT_EQ(d.SpaceAfterValue, 0);
    QTest::keyClick(d.SpaceAfterPts, Qt::Key_Backspace); // an empty edit means 0
    EXPECT_EQ(d.SpaceAfterValue, 0);

    // Too large a value is refused when the edit is left, and OK will not
    // apply an older value while the edit shows the refused one.
    retype(d.LeftIndent, "30");
    EXPECT_EQ(d.LeftIndentValue, 3 * 1440) << "the last value taken, from the text 3";
    QTest::mouseClick(d.Okbutton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(d.isVisible());
    ASSERT_GE(messages.informations.size(), 2u);
    EXPECT_NE(messages.informations.back().find("'30' is out of range"), std::string::npos)
        << messages.informations.back();
    EXPECT_EQ(paragraph(1).LeftIndent, left);
    retype(d.LeftIndent, "1");
    // Negative spacing is refused; a negative indent is taken.
    retype(d.SpaceBeforePts, "-3");
    QTest::mouseClick(d.Okbutton, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(messages.informations.back().find("'-3' is out of range"), std::string::npos);
    retype(d.SpaceBeforePts, "");

    // A cleared edit applies 0.
    retype(d.LeftIndent, "");
    EXPECT_EQ(d.LeftIndentValue, 0);
    const size_t said = messages.informations.size();
    QTest::mouseClick(d.Okbutton, Qt::LeftButton);
    EXPECT_EQ(d.result(), mrOk);
    EXPECT_EQ(messages.informations.size(), said);
    EXPECT_EQ(paragraph(1).LeftIndent, 0);
    EXPECT_EQ(paragraph(1).FirstIndent, first);
    EXPECT_EQ(paragraph(1).RightIndent, -360);
}

TEST_F(ParagraphDialogTest, ANegativeIndentFromTheEntryOpensAndApplies)
{
    // A hanging first line out to the left of the margin, and a right
    // indent beyond the right one, as the RTF reader keeps them.
    edit->SetText("{\\rtf1\\ansi\\fi-360\\ri-144 Outdented first line of a long paragraph.}");
    QApplication::processEvents();
    const int32_t first = paragraph(0).FirstIndent;
    ASSERT_LT(first, 0);
    ASSERT_EQ(first % 144, 0) << "on the grid the reader snaps to: shown exactly";
    test::NotificationCapture messages;
    TParagraphPropDlg &d = open();
    EXPECT_EQ(d.FirstIndent->text(), QLocale().toString(first / 1440.0, 'f', 2));
    EXPECT_EQ(d.RightIndent->text(), QLocale().toString(-0.1, 'f', 2));
    QTest::mouseClick(d.Okbutton, Qt::LeftButton);
    EXPECT_EQ(d.result(), mrOk);
    EXPECT_TRUE(messages.informations.empty());
    EXPECT_EQ(paragraph(0).FirstIndent, first);
    EXPECT_EQ(paragraph(0).RightIndent, -144);
}

TEST_F(ParagraphDialogTest, TheFirstIndentChoiceShowsItsWholeText)
{
    TParagraphPropDlg &d = open();
    QComboBox *box = d.FirstIndentCombo;
    EXPECT_GE(box->width(), box->sizeHint().width());
    EXPECT_LE(box->geometry().right(), d.FirstIndent->geometry().left() - 2);
    EXPECT_GE(box->geometry().left(), d.Bevel1->geometry().left());
}

TEST_F(ParagraphDialogTest, AppliesAllSixValuesToEverySelectedParagraph)
{
    clickInto(0);
    QTest::keyClick(edit, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(edit->Document->Cursor.Paragraph, &paragraph(2));
    const uint8_t alignments[] = {paragraph(0).Alignment, paragraph(1).Alignment,
                                  paragraph(2).Alignment};
    ASSERT_NE(alignments[1], alignments[2]);
    TParProps was[3];
    for (int n = 0; n < 3; ++n)
        was[n].TakeFrom(paragraph(n));

    TParagraphPropDlg &d = open();
    // The caret's paragraph (the third) is shown.
    EXPECT_EQ(d.SpaceAfterPts->text(), "12");
    EXPECT_EQ(d.LineHeightPts->text(), "14");
    chooseItem(d.FirstIndentCombo, 1);
    retype(d.LeftIndent, "0.5");
    retype(d.FirstIndent, "0.75");
    retype(d.RightIndent, "0.25");
    retype(d.SpaceBeforePts, "6");
    retype(d.SpaceAfterPts, "3");
    retype(d.LineHeightPts, "18");
    d.Okbutton->setFocus();
    QTest::keyClick(d.Okbutton, Qt::Key_Space);
    EXPECT_EQ(d.result(), mrOk);

    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        TParagraph &p = paragraph(n);
        EXPECT_EQ(p.LeftIndent, 720);
        EXPECT_EQ(p.FirstIndent, 1080);
        EXPECT_EQ(p.RightIndent, 360);
        EXPECT_EQ(p.SpaceBefore, 120);
        EXPECT_EQ(p.SpaceAfter, 60);
        EXPECT_EQ(p.LineSpacing, 360);
        EXPECT_EQ(p.Alignment, alignments[n]) << "the alignment stays the paragraph's own";
    }
    EXPECT_EQ(paragraph(3).LeftIndent, 0);
    EXPECT_EQ(paragraph(3).SpaceBefore, 0);

    // The six values are one step: one undo takes them all back.
    edit->Undo();
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(paragraph(n).LeftIndent, was[n].LeftIndent);
        EXPECT_EQ(paragraph(n).FirstIndent, was[n].FirstIndent);
        EXPECT_EQ(paragraph(n).SpaceAfter, was[n].SpaceAfter);
        EXPECT_EQ(paragraph(n).LineSpacing, was[n].LineSpacing);
    }
    EXPECT_FALSE(edit->CanUndo());
}

TEST_F(ParagraphDialogTest, CancelOrNoEditorChangesNothing)
{
    clickInto(0);
    TParagraphPropDlg &d = open();
    retype(d.LeftIndent, "2");
    QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    EXPECT_NE(d.result(), mrOk);
    EXPECT_EQ(paragraph(0).LeftIndent, 720);
    EXPECT_FALSE(edit->Modified);

    TParagraphPropDlg alone(window.get());
    alone.show();
    QApplication::processEvents();
    EXPECT_EQ(alone.LeftIndent->text(), "0.00");
    QTest::mouseClick(alone.Okbutton, Qt::LeftButton);
    EXPECT_EQ(alone.result(), mrOk);
}

TEST_F(ParagraphDialogTest, PictureOverAnEntry)
{
    clickInto(1);
    TParagraphPropDlg &d = open();
    // The dialog centred over the entry, with a drawn caption bar (the
    // offscreen platform has no window frames).
    QImage picture = window->grab().toImage();
    QPainter painter(&picture);
    const QRect place((picture.width() - d.width()) / 2, (picture.height() - d.height()) / 2 + 10,
                      d.width(), d.height());
    const QRect caption(place.left(), place.top() - 20, place.width(), 20);
    painter.fillRect(caption, QColor(0, 0, 128));
    painter.setPen(Qt::white);
    painter.drawText(caption.adjusted(6, 0, 0, 0), Qt::AlignVCenter, d.windowTitle());
    painter.drawPixmap(place.topLeft(), d.grab());
    painter.setPen(Qt::black);
    painter.drawRect(caption.united(place).adjusted(0, 0, -1, -1));
    painter.end();
    const auto dir = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(picture.save(QString::fromStdString((dir / "paragraph_dialog.png").string())));
}

TEST(ParagraphDialogNumbers, ReadsWhatAUserTypes)
{
    EXPECT_EQ(ParseDialogNumber("1.5"), 1.5);
    EXPECT_EQ(ParseDialogNumber(" 2 "), 2.0);
    EXPECT_EQ(ParseDialogNumber("1."), 1.0);
    EXPECT_EQ(ParseDialogNumber(".5"), 0.5);
    EXPECT_EQ(ParseDialogNumber("+3"), 3.0);
    EXPECT_EQ(ParseDialogNumber("-0.25"), -0.25);
    for (const char *bad : {"", "-", ".", "1,5.", "abc", "1 2", "0x10", "inf", "nan", "1e999"})
        EXPECT_EQ(ParseDialogNumber(bad), std::nullopt) << bad;
}
