// Second process for the diary tests: starts a main window on a diary folder
// as an ordinary user and prints what the user was told, one line per box,
// then "failed" or "opened".
//   diary_open_probe DIR
// Run by the superuser it first becomes "nobody", for whom permissions hold.
#include "app/main_screen.h"

#include "tests/support/notification_capture.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 4;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QUILLNOOK_HOME", argv[1], 1);
    QApplication app(argc, argv);
    qn::test::NotificationCapture capture;
    bool failed = qn::TMainScreen(argv[1]).StartFailed();
    for (const std::string &text : capture.informations)
        std::printf("%s\n", text.c_str());
    std::printf(failed ? "failed\n" : "opened\n");
    return 0;
}
