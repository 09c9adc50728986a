#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label("Quillnook");
    label.setWindowTitle("Quillnook");
    label.resize(610, 460);
    label.show();
    return app.exec();
}
