#include "platform/qt/messages.h"

#include "platform/qt/qt_text.h"

#include <QApplication>
#include <QMessageBox>

namespace qn {

namespace {

TInformationHook &informationHook()
{
    static TInformationHook hook;
    return hook;
}

TBeepHook &beepHook()
{
    static TBeepHook hook;
    return hook;
}

} // namespace

void ShowInformation(const QString &text)
{
    if (informationHook()) {
        informationHook()(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void ShowInformation(std::string_view ansiText)
{
    ShowInformation(AnsiToQString(ansiText));
}

void MessageBeep()
{
    if (beepHook()) {
        beepHook()();
        return;
    }
    QApplication::beep();
}

void ProcessPendingMessages()
{
    QCoreApplication::processEvents();
}

TInformationHook SetInformationHook(TInformationHook hook)
{
    return std::exchange(informationHook(), std::move(hook));
}

TBeepHook SetBeepHook(TBeepHook hook)
{
    return std::exchange(beepHook(), std::move(hook));
}

TMessageCapture::TMessageCapture()
{
    previousInformation_ =
        SetInformationHook([this](const QString &text) { Informations.push_back(text); });
    previousBeep_ = SetBeepHook([this] { ++Beeps; });
}

TMessageCapture::~TMessageCapture()
{
    SetInformationHook(std::move(previousInformation_));
    SetBeepHook(std::move(previousBeep_));
}

} // namespace qn
