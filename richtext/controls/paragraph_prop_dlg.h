#pragma once

// The paragraph properties dialog: indents (in inches or centimetres) and
// spacing (in points) of the paragraph at the caret of a rich text control,
// applied on OK to the selected paragraphs, or to the caret's paragraph when
// nothing is selected. Values are kept in twips while the user types.

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qn {

class TQnCustomRichText;

// The number a user typed, read as the dialog reads it: blanks around it are
// ignored, the locale's decimal separator (or a point) separates the
// fraction. Nullopt for a text that is not a number. An empty text is no
// number either; the dialog treats it as 0 itself.
std::optional<double> ParseDialogNumber(const QString &text);

// "'TEXT' is not a valid floating point value".
QString NotAFloatMessage(const QString &text);

class TParagraphPropDlg : public QDialog {
    Q_OBJECT

public:
    explicit TParagraphPropDlg(QWidget *parent = nullptr);
    ~TParagraphPropDlg() override;

    // The control to read and change; not owned. Nothing is applied without one.
    TQnCustomRichText *Editor = nullptr;

    // Twips. The first indent is absolute from the text area's left edge.
    int32_t FirstIndentValue = 0;
    int32_t LeftIndentValue = 0;
    int32_t RightIndentValue = 0;
    int32_t SpaceBeforeValue = 0;
    int32_t SpaceAfterValue = 0;
    int32_t LineHeightValue = 0; // 0 = automatic

    QLabel *Label1, *Label2, *Label3, *Label7, *Label8, *Label9, *Label10;
    QFrame *Bevel1;
    QLineEdit *LeftIndent, *RightIndent, *FirstIndent;
    QLineEdit *SpaceBeforePts, *SpaceAfterPts, *LineHeightPts;
    QComboBox *FirstIndentCombo; // "Same as Left Indent", "Indented by"
    QComboBox *ComboBox1;        // "Inch", "Cm"
    QPushButton *Okbutton, *CancelButton;

    void FormShow();
    void ShowValues();
    void EditChange(QLineEdit *edit);
    // Whether the edit's text is a value the dialog takes; when not, says
    // why and puts the focus back on it.
    bool CheckEdit(QLineEdit *edit);
    void ComboBox1Change();
    void FirstIndentComboClick();
    void SetHints();
    void OkbuttonClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *makeEdit(const QString &name, int tag, QRect place);
    bool centimetres() const;
    int32_t *valueOf(QLineEdit *edit);
    QString shownText(QLineEdit *edit, int32_t twips) const;

    bool shown_ = false;
};

} // namespace qn
