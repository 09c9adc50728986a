#pragma once

// "Set Up Password": the old password (when there is one), the new one, and
// the run that puts the diary table under the new key with a gauge.
//
// The table is rewritten first and QN.INI written only once the table is
// under the new key, so that the stored password and the table agree after
// any interruption (the start asks for the password when they do not).

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QFrame;

namespace qn {

class TMainScreen;

// Letters A-Z and a-z, digits and the blank.
bool ValidPasswordText(const std::string &text);
constexpr int kMaxPasswordLength = 8;

class TGetPassword : public QDialog {
    Q_OBJECT
public:
    explicit TGetPassword(TMainScreen &main, QWidget *parent = nullptr);
    ~TGetPassword() override;

    QFrame *PassPanel;
    QLabel *OldPasswordLabel;
    QLabel *NoneLabel; // "(none)", in the place of a hidden OldPassword
    QLabel *NewPasswordLabel;
    QLabel *RulesLabel;
    QLineEdit *OldPassword;
    QLineEdit *NewPassword;
    // The new password typed a second time: both edits hide what is typed,
    // so a typo would otherwise put the diary under an unknown password.
    QLabel *NewPasswordAgainLabel;
    QLineEdit *NewPasswordAgain;
    QLabel *ProcessingLabel;
    QPushButton *OkButton;
    QPushButton *CancelButton;
    QPushButton *ClearButton;
    QProgressBar *Gauge1;

    void FormCreate();
    bool checkoldpassword() const;
    // Focus left NewPassword: text with characters outside the allowed set
    // is refused with a beep and a message, emptied, and the edit takes the
    // focus again. Answers whether the text was acceptable.
    bool NewPasswordExit();
    void OkButtonClick();
    void ClearButtonClick();
    // Puts the table under `now` and, once it is, writes QN.INI. On failure
    // the user is told, the previous password stays in effect and the
    // dialog stays usable; answers whether the change happened.
    bool ProcessPassword(const std::string &old, const std::string &now);
    // A progress report of the engine (0 to 100).
    void GaugeReport(int32_t value);

    // Called at every progress report once the gauge moved (tests look at
    // the dialog in the middle of a run here).
    std::function<void()> OnProgress;

    // Once the table is under the new key, the backups follow: encrypted
    // under it (decrypted when the password is removed), or deleted when
    // this box is checked.
    QCheckBox *DeleteBackups;
    // Puts the backups under the password now in effect (`old` the one they
    // were under), or deletes them; with progress, and a message naming any
    // backup left as it was.
    void ProcessBackups(const std::string &old, const std::string &now);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override; // not while the table is rewritten

private:
    bool refuseOldPassword() const; // the message when checkoldpassword fails
    bool refuseDifferentNew();      // the message when the two new passwords differ
    void enableControls(bool on);
    // The password the table is under after a failed run.
    std::string passwordInEffect(const std::string &old, const std::string &now);

    TMainScreen &main_;
    bool running_ = false;
};

} // namespace qn
