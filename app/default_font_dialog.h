#pragma once

// "Default Font": the font and colour new entries are written in. The font
// chooser shows the installed font nearest to the stored one and says so;
// the stored name is kept unless the user picks another family, so a diary
// moved between machines keeps asking for the font it was set up with.

#include <QColor>
#include <QDialog>
#include <QFont>

#include <cstdint>
#include <functional>

class QFontDialog;
class QLabel;
class QPushButton;

namespace qn {

// Colours as the preferences keep them: 0x00BBGGRR.
QColor ColorOfWindowsValue(uint32_t value);
uint32_t WindowsValueOfColor(const QColor &color);

class TDefaultFontDialog : public QDialog {
    Q_OBJECT
public:
    TDefaultFontDialog(const QFont &stored, uint32_t color, QWidget *parent = nullptr);

    QFontDialog *FontChooser; // embedded, without buttons of its own
    QLabel *FontNote;         // the stored name and the font shown for it
    QLabel *ColorLabel;
    QPushButton *ColorButton; // shows the colour; a click asks for another
    QPushButton *OkButton;
    QPushButton *CancelButton;

    // The font chosen: the stored family while the user kept the one shown
    // for it, else the family picked.
    QFont ChosenFont() const;
    uint32_t ChosenColor() const { return color_; }
    void SetColor(uint32_t color);
    // The family the chooser shows for the stored font.
    const QString &ShownFamily() const { return shownFamily_; }

    // Asks for a colour, starting from the given one; false when cancelled.
    // When empty, the system's colour dialog.
    std::function<bool(QColor &)> AskColor;
    void ColorButtonClick();

private:
    QString storedFamily_;
    QString shownFamily_;
    uint32_t color_ = 0;
};

} // namespace qn
