#pragma once

// The main window: the date line and the entry on a ring-binder area, the
// tool bar and ruler above, the action bar below, and the menus.
//
// Components keep the names they are known by, so the handlers read as the
// diary's own logic. Parts that arrive later (tool bar, ruler, editor, ring
// panel, flat buttons, diary table) take the place of the plain widgets here.

#include "platform/datetime.h"
#include "platform/keys.h"

#include <QMainWindow>

#include <cstdint>
#include <filesystem>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace qn {

class TRingArea;
class THelpViewer;

// The help context the Contents command opens.
constexpr int kHelpContentsContext = 1009;

class TMainScreen : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainScreen(QWidget *parent = nullptr);
    ~TMainScreen() override;

    // State of the window.
    TDateTime CurrentDate = 0; // date of the entry on screen
    bool RecordFound = false;  // the diary holds a record for CurrentDate
    std::string DiaryPassword; // in clear; empty means none
    std::string DefaultFontName = "Arial";
    int DefaultFontSize = 10;
    bool DefaultFontBold = false;
    bool DefaultFontItalic = false;
    bool DefaultFontUnderline = false;
    uint32_t DefaultFontColor = 0; // 0x00BBGGRR
    std::string SearchText;
    bool SearchHit = false;
    std::filesystem::path HelpFile;

    // Components, top to bottom.
    QWidget *QnToolBar2;   // formatting tool bar, height 28
    QWidget *QnRuler1;     // ruler, height 15
    TRingArea *RingPanel1; // fills the rest of the client area
    QLabel *DateLabel;
    QFrame *TopLine;
    QFrame *Bottomline;
    QWidget *QnRichText1; // the entry editor
    QFrame *PrivacyPanel;
    QLabel *PrivacyLabel;
    QLineEdit *Pass;
    QPushButton *BitBtn1; // "OK"
    QPushButton *BitBtn2; // "Close"
    QFrame *ActionPanel;  // action bar, height 39
    QPushButton *SaveButton;
    QPushButton *CancelButton;
    QPushButton *FirstButton;
    QPushButton *PriorButton;
    QPushButton *CalendarButton;
    QPushButton *Nextbutton;
    QPushButton *LastButton;
    QPushButton *Hidebutton;
    QPushButton *FlatButton1; // "E&xit"
    QFrame *ActionSeparator1; // after Cancel
    QFrame *ActionSeparator2; // after Last

    // Menus; the N<n> actions are the separators.
    QMenu *mnuFile;
    QAction *mnuSecurity, *N2, *RebuildIndexes1, *N1, *PrintSetup1, *PrintNow, *N6, *exit1;
    QMenu *mnuEdit;
    QAction *mnuFind, *Replace1, *N3, *SpellCheck1, *EnterDate1, *N4, *mnuWrapTexttofitScreen, *N7,
        *mnuDefaultFont;
    QMenu *mnuUtilities;
    QAction *mnuFindentrycontaining, *mnuFindNextBig;
    QMenu *Help1;
    QAction *Contents1, *N5, *About1;

    // Window operations.
    void FormCreate();
    void FormActivate();
    void FormResize();
    bool FormCloseQuery();
    void FormKeyDown(TKey &Key, TShiftState Shift);
    void HideAllThings(bool hide);
    void SetDateCaption();
    void FitMaximizedWindow();

    // Commands.
    void SaveButtonClick();
    void PriorButtonClick();
    void NextButtonClick();
    void HideButtonClick();
    void exit1Click();
    void Contents1Click();
    void About1Click();
    void BitBtn1Click();
    void BitBtn2Click();

    // Centres a dialog over this window (integer halves toward zero).
    void CenterOnMainScreen(QWidget *form) const;

    // The help window, once the Contents command has opened it.
    THelpViewer *HelpViewer() const { return helpViewer_; }

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    void createClientArea();
    void createRingArea();
    void createPrivacyPanel();
    void createActionBar();
    void placeRingChildren();
    // Shows the entry of CurrentDate after a move.
    void GoToCurrentDate();

    THelpViewer *helpViewer_ = nullptr;
};

// The corrected frame of a maximized window: when the full-screen area is
// lower than the window, the height becomes the area's and the window moves
// to its top; otherwise, when it is narrower, the width becomes the area's
// and the window moves to its left. At most one correction.
QRect FitMaximizedRect(const QRect &frame, const QRect &fullScreen);

// Where `form` goes to be centred over `main` (both outer frames).
QPoint CenteredPosition(const QRect &main, const QSize &form);

} // namespace qn
