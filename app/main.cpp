// Start-up: printer list correction and single instance, then the main
// window, whose closing ends the program.
#include "app/application.h"
#include "app/exchange/command_line.h"
#include "app/main_screen.h"
#include "app/start_up.h"
#include "app/termination.h"
#include "platform/qt/messages.h"

#include "platform/program_dir.h"

#include <QApplication>
#include <QSessionManager>

#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Export, import, backups, help and the version run without a window (and
    // without a display); help and the version make no diary folder either.
    if (argc > 1 && qn::exchange::IsDiaryCommand(argv[1])) {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const std::string diaryDir =
            qn::exchange::AsksForInformation(args) ? std::string() : qn::ProgramDir();
        return qn::exchange::RunDiaryCommand(args, std::cin, std::cout, std::cerr, diaryDir,
                                             ::isatty(STDIN_FILENO) != 0);
    }

    // The window takes no arguments of its own; a mistyped command or option
    // is told, not ignored (long options first, which need no display).
    const auto refuse = [](const std::string &argument) {
        std::cerr << "quillnook: unknown command or option \"" << argument
                  << "\"; quillnook --help lists them.\n";
        return 2;
    };
    if (argc > 1 && (argv[1][0] != '-' || std::string(argv[1]).rfind("--", 0) == 0))
        return refuse(argv[1]);

    qn::TApplication app(argc, argv);
    // What is left after Qt took its own options (-platform, -style, ...).
    if (QCoreApplication::arguments().size() > 1)
        return refuse(QCoreApplication::arguments().at(1).toStdString());
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    QApplication::setDesktopFileName(QStringLiteral("org.quillnook.Quillnook"));

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
