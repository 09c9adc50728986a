#pragma once

// "Find text from any entry": asks for the text that "Find entry
// containing..." looks for in every entry.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qn {

class TLookForAll : public QDialog {
    Q_OBJECT
public:
    explicit TLookForAll(QWidget *parent = nullptr);

    QLabel *Label1;         // "Text to look for"
    QLineEdit *LookForText; // has the focus when the dialog opens
    QPushButton *BitBtn1;   // OK
    QPushButton *BitBtn2;   // Cancel

    void reject() override;
};

} // namespace qn
