#pragma once

// The About box: the program's name and version on a lowered panel.

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;

namespace qn {

// What this build is: its version, the platform and the Qt it was built
// with (and runs on, when that differs).
QString BuildDescription();

class TSplashform : public QDialog {
    Q_OBJECT
public:
    explicit TSplashform(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *TitleLabel;
    QLabel *VersionLabel;
    QLabel *PlatformLabel;
    QPushButton *Okbutton; // hidden until the About command shows it

private:
    void FormCreate();
};

} // namespace qn
