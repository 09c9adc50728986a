#include "platform/qt/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace qn {

void ShowInformation(const QString &text)
{
    ShowInformationUtf8(text.toStdString());
}

void ProcessPendingMessages()
{
    QCoreApplication::processEvents();
}

void QtNotificationReceiver::Information(const std::string &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtNotificationReceiver::Beep(uint32_t)
{
    QApplication::beep();
}

void QtNotificationReceiver::EngineMessage(const std::string &text)
{
    // The two halves of the engine's box become its two lines.
    QString lines = QString::fromStdString(text);
    lines.replace(QLatin1Char('\t'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), lines,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace qn
