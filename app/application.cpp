#include "app/application.h"

#include <QMessageBox>

#include <exception>

namespace qn {

namespace {

TErrorBoxHook &errorBoxHook()
{
    static TErrorBoxHook hook;
    return hook;
}

} // namespace

void ShowApplicationError(const QString &text)
{
    if (errorBoxHook()) {
        errorBoxHook()(text);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Quillnook"), text);
}

TErrorBoxHook SetErrorBoxHook(TErrorBoxHook hook)
{
    TErrorBoxHook previous = std::move(errorBoxHook());
    errorBoxHook() = std::move(hook);
    return previous;
}

bool DeliverGuarded(const std::function<bool()> &deliver)
{
    try {
        return deliver();
    } catch (const std::exception &error) {
        ShowApplicationError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowApplicationError(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv), previousNotifications_(SetNotificationReceiver(&notifications_))
{
}

TApplication::~TApplication()
{
    SetNotificationReceiver(previousNotifications_);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    return DeliverGuarded([&] { return QApplication::notify(receiver, event); });
}

} // namespace qn
