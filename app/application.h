#pragma once

// The application object: failures that end a command (engine, file system)
// reach the user in an error box with their text instead of ending the
// program.

#include "platform/qt/messages.h"

#include <QApplication>
#include <QString>

#include <functional>

namespace qn {

// Runs one delivery; an exception that escapes it is shown with
// ShowApplicationError and the delivery counts as not handled.
bool DeliverGuarded(const std::function<bool()> &deliver);

// The application's error box: the text, the caption "Quillnook", an error
// icon and OK. The hook replaces the box (tests); an empty hook restores it.
void ShowApplicationError(const QString &text);
using TErrorBoxHook = std::function<void(const QString &)>;
TErrorBoxHook SetErrorBoxHook(TErrorBoxHook hook);

// The program's application object: it shows the user's notifications
// (information boxes, beeps, engine messages) for its whole life.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;
    bool notify(QObject *receiver, QEvent *event) override;

private:
    QtNotificationReceiver notifications_;
    NotificationReceiver *previousNotifications_;
};

} // namespace qn
