#pragma once

// Keeps a window's place: restores its position, size and maximized state
// when the window is made and saves them when it closes or is destroyed, in
// an INI file named after the program in the diary's folder, one section per
// window class ("<class>_Placement": Left, Top, Right, Bottom, Maximized).
// Other sections of the file are left alone.

#include <QObject>
#include <QRect>

#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

namespace qn {

class ESaveFormStateAndPositionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The placement file in `dir`: the program file's name with the extension
// ".INI" (an existing file of that name in any case is the one).
std::string PlacementFileName(const std::string &dir);

// Where a saved window rectangle goes on the screens there are now. Step by
// step: a rectangle on no screen at all (its monitor went) moves onto the
// primary screen; one that reaches past the right or bottom edge of its
// screen is shifted back so that its edge meets the screen's, keeping its
// size (it may then start left of or above the screen).
QRect PlaceOnScreens(const QRect &saved, const std::vector<QRect> &screens);

class TSaveFormStateAndPosition : public QObject {
    Q_OBJECT
public:
    // The owner must be a window; otherwise "Control parent must be a form!".
    explicit TSaveFormStateAndPosition(QWidget *owner);
    ~TSaveFormStateAndPosition() override;

    bool SavePlacement = true;   // restore when loaded, save when closed
    bool CenterAsDefault = true; // centre when nothing was saved yet

    // Set by Loaded unless given before.
    std::string IniFileName;
    std::string SectionName;

    // After the window is made: works out the names and restores.
    void Loaded();
    void Restore();
    // Nothing for a window that was never shown.
    void Save();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *form_;
    bool shown_ = false;
};

} // namespace qn
