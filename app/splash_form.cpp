#include "app/splash_form.h"

#include "platform/modal_result.h"
#include "platform/version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace qn {

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

    PlatformLabel = new QLabel(QStringLiteral("32-bit version for Windows 95"), Panel1);
    PlatformLabel->setAlignment(Qt::AlignCenter);
    PlatformLabel->setGeometry(8, 114, 318, 20);
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
