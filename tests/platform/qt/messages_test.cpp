#include "platform/qt/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qn;

namespace {

struct BoxSeen {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Inspects the box once it shows, then closes it as the user would.
void inspectNextBox(BoxSeen &seen)
{
    QTimer::singleShot(0, [&seen] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                seen.caption = box->windowTitle();
                seen.text = box->text();
                seen.icon = box->icon();
                seen.buttons = box->standardButtons();
                EXPECT_TRUE(box->isModal());
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
}

// The application's receiver, installed for one test.
struct QtReceiverInstalled {
    QtNotificationReceiver receiver;
    NotificationReceiver *previous = SetNotificationReceiver(&receiver);
    ~QtReceiverInstalled() { SetNotificationReceiver(previous); }
};

} // namespace

TEST(Messages, TheRealBoxIsModalWithItsCaptionIconAndOk)
{
    QtReceiverInstalled installed;
    BoxSeen seen;
    inspectNextBox(seen);
    ShowInformation(QStringLiteral("Quillnook! is already running"));
    EXPECT_EQ(seen.caption, "Information");
    EXPECT_EQ(seen.text, "Quillnook! is already running");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // Windows-1252 text from the pure layers arrives as the same characters.
    inspectNextBox(seen);
    ShowInformation(std::string_view("caf\xE9"));
    EXPECT_EQ(seen.text, QString::fromUtf8("café"));
}

TEST(Messages, EngineMessagesShowTheirTwoHalvesOnTwoLines)
{
    QtReceiverInstalled installed;
    BoxSeen seen;
    inspectNextBox(seen);
    ShowEngineMessage("Table not\tcorrect");
    EXPECT_EQ(seen.text, "Table not\ncorrect");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}
