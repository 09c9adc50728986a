// Start-up: printer list correction and single instance, then the main
// window, whose closing ends the program.
#include "app/application.h"
#include "app/main_screen.h"
#include "app/start_up.h"
#include "app/termination.h"
#include "platform/qt/messages.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char **argv)
{
    qn::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    QApplication::setDesktopFileName(QStringLiteral("quillnook"));

    if (!qn::PrepareStart())
        return 0;

    qn::ProcessPendingMessages();
    qn::TMainScreen mainScreen;
    // Without its diary the program has nothing to show; the user has been
    // told why.
    if (mainScreen.StartFailed())
        return 1;
    // A termination signal or the end of the session saves the entry on
    // screen, as closing the window does.
    qn::WatchTerminationSignals([&mainScreen] { mainScreen.TerminateRequested(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainScreen,
                     [&mainScreen](QSessionManager &) { mainScreen.CommitDataRequested(); });
    mainScreen.show();
    return QApplication::exec();
}
