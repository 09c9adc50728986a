#include "richtext/controls/find_replace_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qn {

TQnFindDialog::TQnFindDialog(Kind kind, QWidget *parent) : QDialog(parent), kind_(kind)
{
    const bool replace = kind == Replace;
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setModal(false);

    auto *grid = new QGridLayout;
    findEdit_ = new QLineEdit(this);
    findEdit_->setObjectName(QStringLiteral("findWhat"));
    auto *findLabel = new QLabel(QStringLiteral("Fi&nd what:"), this);
    findLabel->setBuddy(findEdit_);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findEdit_, 0, 1);
    if (replace) {
        replaceEdit_ = new QLineEdit(this);
        replaceEdit_->setObjectName(QStringLiteral("replaceWith"));
        auto *replaceLabel = new QLabel(QStringLiteral("Re&place with:"), this);
        replaceLabel->setBuddy(replaceEdit_);
        grid->addWidget(replaceLabel, 1, 0);
        grid->addWidget(replaceEdit_, 1, 1);
    }

    wholeWord_ = new QCheckBox(QStringLiteral("Match &whole word only"), this);
    matchCase_ = new QCheckBox(QStringLiteral("Match &case"), this);
    auto *direction = new QGroupBox(QStringLiteral("Direction"), this);
    up_ = new QRadioButton(QStringLiteral("&Up"), direction);
    down_ = new QRadioButton(QStringLiteral("&Down"), direction);
    down_->setChecked(true);
    auto *directionRow = new QHBoxLayout(direction);
    directionRow->addWidget(up_);
    directionRow->addWidget(down_);
    auto *options = new QHBoxLayout;
    auto *checks = new QVBoxLayout;
    checks->addWidget(wholeWord_);
    checks->addWidget(matchCase_);
    options->addLayout(checks);
    options->addWidget(direction);

    auto *left = new QVBoxLayout;
    left->addLayout(grid);
    left->addLayout(options);
    left->addStretch();

    auto *buttons = new QVBoxLayout;
    findNext_ = new QPushButton(QStringLiteral("&Find Next"), this);
    findNext_->setDefault(true);
    buttons->addWidget(findNext_);
    connect(findNext_, &QPushButton::clicked, this, &TQnFindDialog::FindNext);
    if (replace) {
        replace_ = new QPushButton(QStringLiteral("&Replace"), this);
        replaceAll_ = new QPushButton(QStringLiteral("Replace &All"), this);
        buttons->addWidget(replace_);
        buttons->addWidget(replaceAll_);
        connect(replace_, &QPushButton::clicked, this, &TQnFindDialog::ReplaceOne);
        connect(replaceAll_, &QPushButton::clicked, this, &TQnFindDialog::ReplaceAll);
    }
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(cancel);
    buttons->addStretch();
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *row = new QHBoxLayout(this);
    row->addLayout(left, 1);
    row->addLayout(buttons);

    connect(findEdit_, &QLineEdit::textChanged, this, &TQnFindDialog::updateButtons);
    updateButtons();
}

TQnFindDialog::~TQnFindDialog() = default;

QString TQnFindDialog::FindText() const
{
    return findEdit_->text();
}
void TQnFindDialog::SetFindText(const QString &text)
{
    findEdit_->setText(text);
}
QString TQnFindDialog::ReplaceText() const
{
    return replaceEdit_ ? replaceEdit_->text() : QString();
}
void TQnFindDialog::SetReplaceText(const QString &text)
{
    if (replaceEdit_)
        replaceEdit_->setText(text);
}
bool TQnFindDialog::WholeWord() const
{
    return wholeWord_->isChecked();
}
void TQnFindDialog::SetWholeWord(bool on)
{
    wholeWord_->setChecked(on);
}
bool TQnFindDialog::MatchCase() const
{
    return matchCase_->isChecked();
}
void TQnFindDialog::SetMatchCase(bool on)
{
    matchCase_->setChecked(on);
}
bool TQnFindDialog::Down() const
{
    return down_->isChecked();
}
void TQnFindDialog::SetDown(bool down)
{
    (down ? down_ : up_)->setChecked(true);
}

void TQnFindDialog::Unbind(TQnFindTarget *target)
{
    if (target_ == target)
        target_ = nullptr;
}

void TQnFindDialog::updateButtons()
{
    const bool any = !findEdit_->text().isEmpty();
    findNext_->setEnabled(any);
    if (replace_)
        replace_->setEnabled(any);
    if (replaceAll_)
        replaceAll_->setEnabled(any);
}

void TQnFindDialog::FindNext()
{
    if (target_ && !FindText().isEmpty())
        target_->DialogFind(*this);
}

void TQnFindDialog::ReplaceOne()
{
    if (target_ && !FindText().isEmpty())
        target_->DialogReplace(*this, false);
}

void TQnFindDialog::ReplaceAll()
{
    if (target_ && !FindText().isEmpty())
        target_->DialogReplace(*this, true);
}

// ---------------------------------------------------------------------------
// The program's pair

namespace {

QPointer<TQnFindDialog> findDialog, replaceDialog;

TQnFindDialog *shared(QPointer<TQnFindDialog> &slot, TQnFindDialog::Kind kind, bool create)
{
    if (!slot && create) {
        slot = new TQnFindDialog(kind);
        // Owned by the application: gone when it quits.
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, slot.data(),
                             &QObject::deleteLater);
    }
    return slot.data();
}

} // namespace

TQnFindDialog *SharedFindDialog(bool create)
{
    return shared(findDialog, TQnFindDialog::Find, create);
}

TQnFindDialog *SharedReplaceDialog(bool create)
{
    return shared(replaceDialog, TQnFindDialog::Replace, create);
}

void UnbindFindDialogs(TQnFindTarget *target)
{
    if (findDialog)
        findDialog->Unbind(target);
    if (replaceDialog)
        replaceDialog->Unbind(target);
}

} // namespace qn
