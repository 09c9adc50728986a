// A rich text control in a real X window, for the tests that go through the
// X clipboard, the primary selection and the keyboard layout. It runs on the
// display it is given and reports the document as lines on standard output:
//   TEXT <the text, UTF-8>
//   LOOK <one letter a character: B bold, O object, . other>
//   COLOR <each character's text colour as 0x00BBGGRR, hex, space-separated>
//   MODIFIED <0 or 1>
//
// editor_x11_probe paste [rtf]      loads rtf (if given), selects all, pastes
//                                   the clipboard, reports
// editor_x11_probe serve rtf ready stop
//                                   loads rtf, selects all, copies, writes the
//                                   ready file and serves the clipboard until
//                                   the stop file appears; then reports
//                                   (rtf "-": an empty entry with the focus,
//                                   for keys sent from outside)
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <string>

#include "platform/qt/qt_text.h"
#include "richtext/controls/rich_text.h"
#include "richtext/io/stream.h"

using namespace qn;

namespace {

std::string readAll(const char *path)
{
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void report(TQnRichText &edit)
{
    std::string look, colors;
    const TQnRTFTextInput &d = *edit.Document;
    for (const TParagraph *p = d.FirstParagraph; p; p = p->Next)
        for (const TLine *l = p->Lines; l; l = l->Next)
            for (int i = 0; i < l->Length; ++i) {
                const TCharAttr &a = l->Attrs[i];
                look += (a.Style & kStyleObject) ? 'O' : (a.Style & kStyleBold) ? 'B' : '.';
                char hex[16];
                std::snprintf(hex, sizeof hex, "%06X ",
                              unsigned(d.Header->Colors[a.Colors & 0x0F]) & 0xFFFFFFu);
                colors += hex;
            }
    std::printf("TEXT %s\nLOOK %s\nCOLOR %s\nMODIFIED %d\n", edit.PlainText().toUtf8().constData(),
                look.c_str(), colors.c_str(), edit.Modified ? 1 : 0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    QWidget window;
    window.setWindowTitle(QStringLiteral("editor probe"));
    window.resize(600, 300);
    auto *edit = new TQnRichText(&window);
    edit->setGeometry(0, 0, 600, 300);
    edit->SetWordWrap(true);
    edit->DragAndDropSupport = true;
    window.show();
    window.activateWindow();
    edit->setFocus();
    wait(300);
    const bool loaded = argc >= 3 && std::string(argv[2]) != "-";
    if (loaded) {
        edit->SetText(readAll(argv[2]));
        edit->Modified = false;
        edit->SelectAll();
    }
    if (mode == "paste") {
        edit->PasteFromClipboard();
        wait(100);
        report(*edit);
        return 0;
    }
    if (mode == "serve" && argc >= 5) {
        if (loaded)
            edit->CopyToClipboard();
        wait(400); // the primary selection follows the selection
        QFile(QString::fromLocal8Bit(argv[3])).open(QIODevice::WriteOnly);
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(QString::fromLocal8Bit(argv[4])) && t.elapsed() < 30000)
            wait(50);
        report(*edit);
        return 0;
    }
    return 2;
}
