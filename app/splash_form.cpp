#include "app/splash_form.h"

#include "platform/modal_result.h"
#include "platform/version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>

namespace qn {

QString BuildDescription()
{
    QString text = QStringLiteral("Build %1 for %2 (%3) with Qt %4")
                       .arg(QStringLiteral(QN_VERSION), QStringLiteral("Linux"),
                            QSysInfo::buildCpuArchitecture(), QStringLiteral(QT_VERSION_STR));
    // A program built against one Qt may run on a later one.
    if (QString::fromLatin1(qVersion()) != QStringLiteral(QT_VERSION_STR))
        text += QStringLiteral(", running on Qt %1").arg(QString::fromLatin1(qVersion()));
    return text;
}

TSplashform::TSplashform(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setFixedSize(334, 221);
    setWindowTitle(QStringLiteral("Quillnook!"));

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(0, 0, 334, 221);

    TitleLabel = new QLabel(QStringLiteral("Quillnook!"), Panel1);
    QFont title(QStringLiteral("Times New Roman"));
    title.setPixelSize(24);
    title.setBold(true);
    title.setItalic(true);
    TitleLabel->setFont(title);
    TitleLabel->setAlignment(Qt::AlignCenter);
    TitleLabel->setGeometry(8, 36, 318, 40);

    VersionLabel = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(Version()), Panel1);
    VersionLabel->setAlignment(Qt::AlignCenter);
    VersionLabel->setGeometry(8, 88, 318, 20);

    PlatformLabel = new QLabel(BuildDescription(), Panel1);
    PlatformLabel->setAlignment(Qt::AlignCenter);
    PlatformLabel->setWordWrap(true);
    PlatformLabel->setGeometry(8, 110, 318, 40);
    PlatformLabel->setVisible(false);

    Okbutton = new QPushButton(QStringLiteral("OK"), Panel1);
    Okbutton->setDefault(true);
    Okbutton->setGeometry(129, 170, 75, 27);
    Okbutton->setVisible(false);
    connect(Okbutton, &QPushButton::clicked, this, [this] { done(mrOk); });

    FormCreate();
}

void TSplashform::FormCreate()
{
    PlatformLabel->setVisible(true);
}

} // namespace qn
