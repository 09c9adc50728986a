#include "platform/qt/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qn;

TEST(Messages, TheRealBoxIsModalWithItsCaptionIconAndOk)
{
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    // Inspect the box once it shows, then close it as the user would.
    QTimer::singleShot(0, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                caption = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                EXPECT_TRUE(box->isModal());
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    ShowInformation(QStringLiteral("Quillnook! is already running"));
    EXPECT_EQ(caption, "Information");
    EXPECT_EQ(text, "Quillnook! is already running");
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(Messages, ACaptureRecordsBoxesAndBeepsAndThenStepsAside)
{
    {
        TMessageCapture capture;
        ShowInformation(std::string_view("caf\xE9"));
        MessageBeep();
        MessageBeep();
        ASSERT_EQ(capture.Informations.size(), 1u);
        EXPECT_EQ(capture.Informations[0], QString::fromUtf8("café"));
        EXPECT_EQ(capture.Beeps, 2);
        {
            TMessageCapture inner;
            MessageBeep();
            EXPECT_EQ(inner.Beeps, 1);
        }
        MessageBeep();
        EXPECT_EQ(capture.Beeps, 3) << "the outer capture is back in place";
    }
    int calls = 0;
    TBeepHook previous = SetBeepHook([&] { ++calls; });
    EXPECT_FALSE(previous) << "no hook left behind by the captures";
    MessageBeep();
    SetBeepHook(nullptr);
    EXPECT_EQ(calls, 1);
}
