#include "app/get_password.h"

#include "app/exchange/diary_backup.h"
#include "app/main_screen.h"
#include "engine/xtable.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace qn {

using engine::TXTable;

bool ValidPasswordText(const std::string &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == ' ';
    });
}

namespace {

QLabel *label(const QString &text, QWidget *parent, int x, int y, int width)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, width, 20);
    return l;
}

QLineEdit *passwordEdit(QWidget *parent, int x, int y)
{
    auto *edit = new QLineEdit(parent);
    edit->setGeometry(x, y, 121, 24);
    edit->setMaxLength(kMaxPasswordLength);
    return edit;
}

// What the edit holds as the password's bytes; text the code page cannot
// hold is never a valid password.
std::string editText(const QLineEdit *edit)
{
    return QStringToAnsi(edit->text()).value_or(std::string(1, '\x7f'));
}

} // namespace

TGetPassword::TGetPassword(TMainScreen &main, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), main_(main)
{
    setWindowTitle(QStringLiteral("Set Up Password"));
    setFixedSize(366, 239);

    // Behind the panel: what shows while the table is rewritten.
    ProcessingLabel = label(QStringLiteral("Processing new password:"), this, 24, 48, 300);
    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(24, 76, 318, 36);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setAlignment(Qt::AlignCenter);
    Gauge1->setVisible(false);

    PassPanel = new QFrame(this);
    PassPanel->setObjectName(QStringLiteral("PassPanel"));
    PassPanel->setGeometry(8, 8, 350, 170);
    PassPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PassPanel->setAutoFillBackground(true);

    OldPasswordLabel = label(QStringLiteral("Old Password"), PassPanel, 24, 20, 120);
    NoneLabel = label(QStringLiteral("(none)"), PassPanel, 150, 22, 121);
    OldPassword = passwordEdit(PassPanel, 150, 18);
    OldPassword->setObjectName(QStringLiteral("OldPassword"));
    OldPassword->setEchoMode(QLineEdit::Password);
    NewPasswordLabel = label(QStringLiteral("New Password"), PassPanel, 24, 58, 120);
    NewPassword = passwordEdit(PassPanel, 150, 56);
    NewPassword->setObjectName(QStringLiteral("NewPassword"));
    NewPassword->setEchoMode(QLineEdit::Password);
    NewPasswordAgainLabel = label(QStringLiteral("New Password again"), PassPanel, 24, 96, 124);
    NewPasswordAgain = passwordEdit(PassPanel, 150, 94);
    NewPasswordAgain->setObjectName(QStringLiteral("NewPasswordAgain"));
    NewPasswordAgain->setEchoMode(QLineEdit::Password);
    OldPasswordLabel->setBuddy(OldPassword);
    NewPasswordLabel->setBuddy(NewPassword);
    NewPasswordAgainLabel->setBuddy(NewPasswordAgain);
    RulesLabel =
        label(QStringLiteral("(maximum 8 chars - A-Z, 0-9 and spaces)"), PassPanel, 24, 124, 310);
    DeleteBackups =
        new QCheckBox(QStringLiteral("Delete backups (else they are re-encrypted)"), PassPanel);
    DeleteBackups->setToolTip(
        QStringLiteral("Backups that are kept are encrypted with the new password."));
    DeleteBackups->setObjectName(QStringLiteral("DeleteBackups"));
    DeleteBackups->setGeometry(24, 146, 320, 22);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setGeometry(16, 194, 96, 30);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(120, 194, 96, 30);
    ClearButton = new QPushButton(QStringLiteral("Clear (no password)"), this);
    ClearButton->setGeometry(224, 194, 126, 30);

    connect(OkButton, &QPushButton::clicked, this, &TGetPassword::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TGetPassword::reject);
    connect(ClearButton, &QPushButton::clicked, this, &TGetPassword::ClearButtonClick);
    NewPassword->installEventFilter(this);

    FormCreate();
}

TGetPassword::~TGetPassword()
{
    // Never leave the engine reporting to a dialog that is gone.
    if (running_)
        main_.DiaryXTable->SetGaugeHook({});
}

void TGetPassword::FormCreate()
{
    main_.LoadPreferences();
    if (main_.DiaryPassword.empty())
        OldPassword->setVisible(false); // "(none)" shows in its place
}

bool TGetPassword::checkoldpassword() const
{
    if (OldPassword->isHidden())
        return true;
    return QStringToAnsi(OldPassword->text()) == main_.DiaryPassword;
}

bool TGetPassword::refuseOldPassword() const
{
    if (checkoldpassword())
        return false;
    ShowInformation(OldPassword->text().isEmpty()
                        ? QStringLiteral("Previous password is required")
                        : QStringLiteral("Previous password is incorrect"));
    return true;
}

bool TGetPassword::refuseDifferentNew()
{
    if (NewPasswordAgain->text() == NewPassword->text())
        return false;
    MessageBeep(0);
    ShowInformation(QStringLiteral("The two new passwords differ. Please type the new password "
                                   "twice, the same both times."));
    NewPassword->clear();
    NewPasswordAgain->clear();
    NewPassword->setFocus();
    return true;
}

bool TGetPassword::eventFilter(QObject *watched, QEvent *event)
{
    // The check runs once the focus has moved: a message box opened inside
    // the focus change would swallow the click that moved it.
    if (watched == NewPassword && event->type() == QEvent::FocusOut && !running_)
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && !running_)
                NewPasswordExit();
        });
    return QDialog::eventFilter(watched, event);
}

bool TGetPassword::NewPasswordExit()
{
    if (ValidPasswordText(editText(NewPassword)))
        return true;
    MessageBeep(0);
    ShowInformation(QStringLiteral("Valid password characters are A-Z, 0-9 and spaces"));
    NewPassword->clear();
    NewPasswordAgain->clear();
    NewPassword->setFocus();
    return false;
}

void TGetPassword::OkButtonClick()
{
    // A refused new password is never taken for an empty one (which would
    // clear the password).
    if (!NewPasswordExit())
        return;
    if (refuseDifferentNew())
        return;
    if (NewPassword->text().isEmpty()) {
        ClearButtonClick();
        return;
    }
    const std::string old = main_.DiaryPassword;
    if (refuseOldPassword())
        return;
    const std::string now = editText(NewPassword);
    if (now == old) {
        // Nothing to rewrite, nothing to store.
        accept();
        return;
    }
    if (ProcessPassword(old, now))
        accept();
}

void TGetPassword::ClearButtonClick()
{
    if (refuseOldPassword())
        return;
    const std::string old = main_.DiaryPassword;
    if (old.empty()) {
        accept();
        return;
    }
    if (ProcessPassword(old, std::string()))
        accept();
}

void TGetPassword::enableControls(bool on)
{
    OkButton->setEnabled(on);
    CancelButton->setEnabled(on);
    ClearButton->setEnabled(on);
    PassPanel->setVisible(on);
}

bool TGetPassword::ProcessPassword(const std::string &old, const std::string &now)
{
    enableControls(false);
    running_ = true;
    Gauge1->setValue(0);
    Gauge1->setVisible(true);
    TXTable &table = *main_.DiaryXTable;
    table.SetGaugeHook([this](int32_t value) { GaugeReport(value); });
    std::string failure;
    try {
        table.SetPassword(old); // the key the table is under now
        table.DbfChangeKey(now);
    } catch (const std::exception &error) {
        failure = error.what();
    }
    ProcessPendingMessages();
    table.SetGaugeHook({});
    running_ = false;
    Gauge1->setVisible(false);

    std::string inEffect = failure.empty() ? now : passwordInEffect(old, now);
    if (inEffect != now) {
        main_.DiaryPassword = old;
        enableControls(true);
        ShowInformationUtf8("The password could not be changed (" + failure +
                            "). The diary keeps its previous password.");
        return false;
    }

    // The table is under the new key: now the file may say so.
    main_.DiaryPassword = now;
    try {
        main_.SavePreferences();
        main_.LoadPreferences();
    } catch (const std::exception &error) {
        ShowInformationUtf8(std::string("The diary is now under the new password, but QN.INI "
                                        "could not be written (") +
                            error.what() +
                            "). Quillnook will ask for the password at its next start.");
    }
    ProcessBackups(old, now);
    if (now.empty())
        ShowInformation(QStringLiteral("Password cleared. No password now required."));
    else
        ShowInformation("Be sure to write down your new password: " + AnsiToQString(now));
    return true;
}

void TGetPassword::ProcessBackups(const std::string &old, const std::string &now)
{
    const std::filesystem::path dir = main_.DiaryDir();
    if (exchange::ListBackups(dir).empty() && exchange::ListUnusableBackups(dir).empty())
        return;
    const bool remove = DeleteBackups->isChecked();
    try {
        if (remove) {
            exchange::DeleteAllBackups(dir, main_.HeldDiaryLock());
            return;
        }
        running_ = true;
        ProcessingLabel->setText(QStringLiteral("Processing the backups:"));
        Gauge1->setValue(0);
        Gauge1->setVisible(true);
        exchange::BackupKeyResult result = exchange::ChangeBackupKeys(
            dir, old, now,
            [this](int done, int total) { GaugeReport(total ? done * 100 / total : 100); },
            main_.HeldDiaryLock());
        running_ = false;
        Gauge1->setVisible(false);
        ProcessingLabel->setText(QStringLiteral("Processing new password:"));
        if (!result.LeftAlone.empty()) {
            std::string names;
            for (const std::string &line : result.LeftAlone)
                names += "\n" + line;
            ShowInformationUtf8("These backups were left as they were:" + names);
        }
    } catch (const std::exception &error) {
        running_ = false;
        Gauge1->setVisible(false);
        ShowInformationUtf8(std::string("The backups could not be processed: ") + error.what());
    }
}

std::string TGetPassword::passwordInEffect(const std::string &old, const std::string &now)
{
    // A run that failed after its switch has the table under the new key.
    TXTable &table = *main_.DiaryXTable;
    switch (table.KeyState()) {
    case TXTable::TKeyState::Clear:
        return now.empty() ? now : old;
    case TXTable::TKeyState::Fits:
        return old;
    default:
        break;
    }
    table.SetPassword(now);
    if (table.KeyState() == TXTable::TKeyState::Fits)
        return now;
    table.SetPassword(old);
    return old;
}

void TGetPassword::GaugeReport(int32_t value)
{
    Gauge1->setValue(std::clamp(value, 0, 100));
    if (OnProgress)
        OnProgress();
    ProcessPendingMessages();
}

void TGetPassword::reject()
{
    if (running_)
        return;
    QDialog::reject();
}

} // namespace qn
