#include "app/look_for_all.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/modal_result.h"

namespace qn {

TLookForAll::TLookForAll(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Find text from any entry"));
    // A dialog frame without the title bar's buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(264, 142);

    Label1 = new QLabel(QStringLiteral("Text to look for"), this);
    Label1->setGeometry(16, 14, 232, 16);
    LookForText = new QLineEdit(this);
    LookForText->setGeometry(16, 34, 232, 24);
    Label1->setBuddy(LookForText);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setGeometry(40, 96, 82, 28);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setGeometry(142, 96, 82, 28);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    LookForText->setFocus();
}

void TLookForAll::reject()
{
    done(mrCancel); // Cancel, Escape and the window's close
}

} // namespace qn
