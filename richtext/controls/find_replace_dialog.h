#pragma once

// The program's find dialog and replace dialog: one of each for the whole
// program, modeless, created on first use and owned by the application.
// Each is bound to one target at a time (the editor that has the focus) and
// hands it the button presses.

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qn {

class TQnFindDialog;

// What a find or replace dialog acts on.
class TQnFindTarget {
public:
    virtual ~TQnFindTarget() = default;
    // Find Next was pressed.
    virtual void DialogFind(TQnFindDialog &dialog) = 0;
    // Replace (all = false) or Replace All was pressed.
    virtual void DialogReplace(TQnFindDialog &dialog, bool all) = 0;
};

class TQnFindDialog : public QDialog {
    Q_OBJECT

public:
    enum Kind { Find, Replace };
    explicit TQnFindDialog(Kind kind, QWidget *parent = nullptr);
    ~TQnFindDialog() override;

    Kind DialogKind() const { return kind_; }

    QString FindText() const;
    void SetFindText(const QString &text);
    QString ReplaceText() const;
    void SetReplaceText(const QString &text);
    bool WholeWord() const;
    void SetWholeWord(bool on);
    bool MatchCase() const;
    void SetMatchCase(bool on);
    // The direction: down (forward) or up.
    bool Down() const;
    void SetDown(bool down);

    // The target of the buttons; the dialog does not own it.
    void Bind(TQnFindTarget *target) { target_ = target; }
    TQnFindTarget *Target() const { return target_; }
    // Forgets target when it is the bound one (a target going away).
    void Unbind(TQnFindTarget *target);

    // The buttons, as the user would press them.
    void FindNext();
    void ReplaceOne();
    void ReplaceAll();

private:
    void updateButtons();

    Kind kind_;
    TQnFindTarget *target_ = nullptr;
    QLineEdit *findEdit_ = nullptr;
    QLineEdit *replaceEdit_ = nullptr;
    QCheckBox *wholeWord_ = nullptr;
    QCheckBox *matchCase_ = nullptr;
    QRadioButton *up_ = nullptr;
    QRadioButton *down_ = nullptr;
    QPushButton *findNext_ = nullptr;
    QPushButton *replace_ = nullptr;
    QPushButton *replaceAll_ = nullptr;
};

// The program's two dialogs: null until created (create = true makes one).
TQnFindDialog *SharedFindDialog(bool create);
TQnFindDialog *SharedReplaceDialog(bool create);
// Forgets a target in both dialogs.
void UnbindFindDialogs(TQnFindTarget *target);

} // namespace qn
