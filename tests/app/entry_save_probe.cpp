// Second process for the entry tests: opens a main window on a diary folder,
// writes an entry, and ends abruptly.
//   entry_save_probe DIR kill   saves the entry of 2 January 2025, prints
//                               "saved" and kills itself with SIGKILL
//   entry_save_probe DIR term   modifies the entry of 3 January 2025 and
//                               sends itself SIGTERM from the event loop;
//                               the window saves and closes, exit status 0
#include "app/main_screen.h"
#include "app/termination.h"
#include "platform/datetime.h"

#include "tests/support/notification_capture.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QUILLNOOK_HOME", argv[1], 1);
    QApplication app(argc, argv);
    qn::test::NotificationCapture capture;
    qn::TMainScreen w(argv[1]);
    if (w.StartFailed())
        return 3;
    w.show();
    const bool kill = std::strcmp(argv[2], "kill") == 0;
    w.CurrentDate = qn::EncodeDate(2025, 1, kill ? 2 : 3);
    w.FindDateRecord();
    w.LoadRichText();
    w.QnRichText1->TypeText(
        std::string(kill ? "saved and then killed" : "modified when terminated"));
    if (kill) {
        if (!w.SaveButtonClick())
            return 4;
        std::printf("saved\n");
        std::fflush(stdout);
        ::raise(SIGKILL);
        return 5; // not reached
    }
    qn::WatchTerminationSignals([&w] { w.TerminateRequested(); });
    QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
    QApplication::exec();
    for (const std::string &text : capture.informations)
        std::printf("%s\n", text.c_str());
    return 0;
}
