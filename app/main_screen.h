#pragma once

// The main window: the date line and the entry on a ring-binder area, the
// tool bar and ruler above, the action bar below, and the menus.
//
// Components keep the names they are known by, so the handlers read as the
// diary's own logic. Parts that arrive later (tool bar, ruler, editor, ring
// panel, flat buttons, diary table) take the place of the plain widgets here.

#include "platform/datetime.h"
#include "platform/diary_lock.h"
#include "platform/keys.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/tool_bar.h"
#include "widgets/flat_button.h"
#include "widgets/ring_panel.h"

#include <QFont>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpacerItem;
class QToolButton;

namespace qn::engine {
class TXDataSource;
class TXDataTable;
class TXField;
class TXTable;
class TXTableEnv;
enum class TXDataEvent;
} // namespace qn::engine

namespace qn {

class TSaveFormStateAndPosition;
class TEntryTexts;
class THelpViewer;
class TGetPassword;
class TDefaultFontDialog;

// The help context the Contents command opens.
constexpr int kHelpContentsContext = 1009;

class TMainScreen : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainScreen(QWidget *parent = nullptr);
    // A window on the diary in `diaryDir` rather than ProgramDir() (tests
    // keep one diary folder per case).
    explicit TMainScreen(const std::string &diaryDir, QWidget *parent = nullptr);
    ~TMainScreen() override;

    // The diary table: the data-access layer over it with its two fields,
    // the data source that binds them, the table component and the engine
    // settings. Owned for the window's whole life.
    std::unique_ptr<engine::TXDataTable> DiaryTable;
    engine::TXField *DiaryTableDATE = nullptr;
    engine::TXField *DiaryTableENTRY = nullptr;
    std::unique_ptr<engine::TXDataSource> DataSource1;
    std::unique_ptr<engine::TXTable> DiaryXTable;
    std::unique_ptr<engine::TXTableEnv> XTableEnv1;

    // The folder of the diary's files, with a trailing separator.
    const std::string &DiaryDir() const { return diaryDir_; }
    // True when the diary could not be opened at creation: the user has been
    // told why and the program must end.
    bool StartFailed() const { return startFailed_; }

    // State of the window.
    TDateTime CurrentDate = 0; // date of the entry on screen
    bool RecordFound = false;  // the diary holds a record for CurrentDate
    // That record fails its authentication: someone without the password
    // changed it, and nothing of it is shown or written over.
    bool RecordChangedOutside = false;
    std::string DiaryPassword; // in clear; empty means none
    std::string DefaultFontName = "Arial";
    int DefaultFontSize = 10;
    bool DefaultFontBold = false;
    bool DefaultFontItalic = false;
    bool DefaultFontUnderline = false;
    uint32_t DefaultFontColor = 0; // 0x00BBGGRR
    std::string SearchText;        // UTF-8
    bool SearchHit = false;
    std::filesystem::path HelpFile;

    // Components, top to bottom.
    TQnToolBar *QnToolBar2; // formatting tool bar, height 28
    TQnRuler *QnRuler1;     // ruler, height 15
    // Moved into the tool bar at start.
    QToolButton *DocPageBreakButton, *ParagraphSetupButton, *DocWordWrapButton, *Printbutton;
    TRingPanel *RingPanel1; // fills the rest of the client area
    QLabel *DateLabel;
    QFrame *TopLine;
    QFrame *Bottomline;
    TQnRichText *QnRichText1;          // the entry editor
    TQnRichText *QnRichTextAllPurpose; // hidden scratch document
    QFrame *PrivacyPanel;
    QLabel *PrivacyLabel;
    QLineEdit *Pass;
    QPushButton *BitBtn1; // "OK"
    QPushButton *BitBtn2; // "Close"
    QFrame *ActionPanel;  // action bar, height 39
    TFlatButton *SaveButton;
    TFlatButton *CancelButton;
    TFlatButton *FirstButton;
    TFlatButton *PriorButton;
    TFlatButton *CalendarButton;
    TFlatButton *Nextbutton;
    TFlatButton *LastButton;
    TFlatButton *Hidebutton;
    TFlatButton *FlatButton1; // "E&xit"
    QFrame *ActionSeparator1; // after Cancel
    QFrame *ActionSeparator2; // after Last
    // Keeps the window's place between runs.
    TSaveFormStateAndPosition *SaveFormStateAndPosition1;

    // Menus; the N<n> actions are the separators.
    QMenu *mnuFile;
    QAction *mnuSecurity, *N2, *RebuildIndexes1, *N1, *PrintSetup1, *PrintNow, *N6, *exit1;
    QMenu *mnuEdit;
    QAction *mnuUndo, *mnuRedo, *N8;
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

    // The diary store.
    bool OpenDiaryFile();
    bool CreateDiaryTable();
    void CreateDiaryIndex();
    void FindDateRecord();
    TDateTime FirstDiaryRecord();
    TDateTime LastDiaryRecord();
    // Month callback of the calendar: the days (as text) of that month that
    // hold an entry. Moves the table's record pointer.
    void MarkEntryDays(QStringList &list, int year, int month);
    // The calendar: shows `date` and this window's month callback, answers
    // the modal result and, on OK, the date picked in `date`. When empty
    // (as it is unless a test puts its own here), the date selector dialog.
    using TDateSelectorRun = std::function<int(TMainScreen &, TDateTime &date)>;
    TDateSelectorRun RunDateSelector;
    // Why the last OpenDiaryFile failed, for the user.
    const std::string &OpenFailure() const { return openFailure_; }
    // The diary's lock, held from the first open until the window closes
    // (after the backup at closing); null before.
    const DiaryLock *HeldDiaryLock() const { return diaryLock_.get(); }
    void ReleaseDiaryLock() { diaryLock_.reset(); }
    // Whether the conflicted copies beside the diary were looked for (once
    // the diary is open and, when it is encrypted, its password typed).
    bool ConflictedCopiesOffered = false;
    void OfferConflictedCopiesLater();

    // Entries.
    void LoadRichText();
    // Stores the entry on screen for CurrentDate: rewrites, creates or
    // deletes its record. Throws what the table throws; nothing is stored
    // then.
    void SaveRichText();
    // True when the entry holds no character above a blank.
    bool EntryIsBlank();
    // New entries write in the default font.
    void SetDefaultFontNow();
    // The entry text as stored: lines ending in CR LF, one blank appended to
    // the last line when the lines joined by CR LF are a non-empty multiple
    // of four characters long.
    static std::string PadMemoText(const std::string &rtf);
    // Whether the entry on screen is modified (Save and Cancel shown).
    bool EntryModified() const;

    // Searching every entry, oldest first, for SearchText.
    void mnuFindentrycontainingClick();
    void mnuFindNextBigClick();
    // The dialog asking for the text: answers the modal result and, on OK,
    // the text typed. When empty (unless a test puts its own here), the
    // dialog "Find text from any entry".
    using TLookForAllRun = std::function<int(TMainScreen &, std::string &text)>;
    TLookForAllRun RunLookForAll;
    // Called between entries of a scan with the date about to be searched;
    // true stops the scan (tests; the progress window's Cancel does the same).
    std::function<bool(TDateTime)> OnScanStep;

    // Preferences (QN.INI beside the diary) and the password.
    void LoadPreferences();
    void SavePreferences(); // raises EProfileError when QN.INI cannot be written
    std::filesystem::path PreferencesFile() const;
    // The font of the default font dialog, mirroring the Default* fields.
    QFont DefaultFontdialogFont;
    uint32_t DefaultFontdialogColor = 0;
    void mnuSecurityClick();
    void mnuDefaultFontClick();
    // Runs the default font dialog and answers whether it ended with OK.
    // When empty (as it is unless a test puts its own here), its modal loop.
    using TFontDialogRun = std::function<bool(TDefaultFontDialog &)>;
    TFontDialogRun RunFontDialog;
    // Runs the password dialog; when empty, its modal loop.
    std::function<void(TGetPassword &)> RunPasswordDialog;
    // The table's key refuses the stored password: the privacy panel asks
    // for the diary's own.
    bool DiaryKeyRefused() const { return keyRefused_; }

    // Commands.
    // Saves a modified entry. False when saving failed: the user has been
    // told, the entry stays on screen and modified, and the caller must not
    // leave it.
    bool SaveButtonClick();
    void CancelButtonClick();
    void QnRichText1Change();
    void QnRichText1KeyDown(TKey &Key, TShiftState Shift);
    void EnterDate1Click();
    void mnuUndoClick();
    void mnuRedoClick();
    void mnuFindClick();
    void Replace1Click();
    void mnuWrapTexttofitScreenClick();
    void DocWordWrapButtonClick();
    void DocPageBreakButtonClick();
    // Ends the program on a termination request (signal, session end):
    // saves a modified entry without asking anything, then closes.
    void TerminateRequested();
    // The session ends (logout): a modified entry is saved, without asking.
    void CommitDataRequested();
    void FirstButtonClick();
    void PriorButtonClick();
    void NextButtonClick();
    void LastButtonClick();
    void CalendarButtonClick();
    void RebuildIndexes1Click();
    void HideButtonClick();
    // The ruler's choices and clicks mark the entry modified.
    void QnRuler1Selection();
    void QnRuler1MouseDown();
    void exit1Click();
    void Contents1Click();
    void About1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    // The editor's dialogs (main_screen_dialogs.cpp).
    void ParagraphSetupButtonClick();
    void SpellCheck1Click();

    // Spelling while typing (main_screen_spelling.cpp), kept in QN.INI.
    QAction *mnuSpellAsYouType = nullptr;
    QMenu *mnuSpellingLanguage = nullptr;
    // Empty for English with the diary's own dictionary, else the code of a
    // Hunspell dictionary of the system ("de_DE").
    std::string SpellingLanguage;
    void SetSpellAsYouType(bool on);
    void SetSpellingLanguage(const std::string &code);

    // Printing.
    void PrintNowClick();
    void PrintbuttonClick();
    void PrintSetup1Click();
    // On the "Print to PDF" printer: where a run writes, a file for a merged
    // run or a folder for one file per entry; empty cancels the run. When
    // empty (as it is unless a test puts its own here), a file dialog asks.
    using TPdfOutputQuestion = std::function<QString(TMainScreen &, bool folder)>;
    TPdfOutputQuestion AskPdfOutput;
    // The PDF files the last print run wrote.
    QStringList LastPrintFiles;

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
    void describeActionBar();
    void createToolBarKeys();
    void createActionBar();
    void placeRingChildren();
    void createDiaryComponents();
    void createEditors();
    // The four speed buttons move from the privacy panel into the tool bar.
    void addSpeedButtons();
    void setEntryModified(bool modified);
    // The stored text of the current record; a failure to read it goes to
    // `failure`.
    // `changedOutside`: the entry's tag does not match (an encrypted diary
    // changed by someone without the password).
    std::string readStoredEntry(std::string &failure, bool &changedOutside);
    // Searches from the current record on; false when stopped before the end.
    bool scanEntries();
    void closeDiaryTable();
    void selectDateTag(); // the active index becomes the tag DATE
    void lockMenuActions(bool lock);
    // Undo and Redo are enabled when the entry has a step to take back or
    // to put again (and the menus are not locked).
    void updateUndoActions();
    // The calendar of the print options, over `over`.
    int selectPrintDate(QWidget *over, TDateTime &date);
    // What to tell the user when the diary cannot be opened or created.
    std::string explainOpenFailure(const std::string &engineText, bool creating) const;
    bool finishOpeningDiary(); // what opening does once the table's key fits
    void setDefaultFontDialogFont();
    bool unlockRefusedKey(const std::string &typed);
    void refuseTypedPassword();
    void finishInterruptedClear();
    void createSpellingMenus();
    void loadSpellingPreferences();
    void saveSpellingPreferences();
    void applySpellingEngine();

    THelpViewer *helpViewer_ = nullptr;
    std::string diaryDir_;
    std::string openFailure_;
    std::unique_ptr<DiaryLock> diaryLock_;
    bool startFailed_ = false;
    bool locked_ = false;                          // the privacy panel covers the entry
    bool terminating_ = false;                     // closing without questions
    std::unique_ptr<TQnRTFTextIo> searchDocument_; // an entry the one-pass reading cannot take
    // The entries' text, read once a session; shared with the table's
    // listener that drops what is changed.
    std::shared_ptr<TEntryTexts> entryTexts_;
    std::u32string uncachedText_; // an entry's text past the texts' limit
    // The folded text of the current record's entry (nullptr: no date).
    const std::u32string *currentEntryText();
    void watchEntryTexts();
    bool keyRefused_ = false;                // the stored password does not open the table
    bool preferencesBehind_ = false;         // QN.INI could not record the password in effect
    bool preferencesRefusalShown_ = false;   // the user was told QN.INI is not read
    std::vector<QAction *> actionsLocked_;   // disabled by locking, enabled by unlocking
    QSpacerItem *saveCancelPlace_ = nullptr; // holds the place of hidden Save and Cancel
    int actionSpacing() const;
};

// The corrected frame of a maximized window: when the full-screen area is
// lower than the window, the height becomes the area's and the window moves
// to its top; otherwise, when it is narrower, the width becomes the area's
// and the window moves to its left. At most one correction.
QRect FitMaximizedRect(const QRect &frame, const QRect &fullScreen);

// Where `form` goes to be centred over `main` (both outer frames).
QPoint CenteredPosition(const QRect &main, const QSize &form);

} // namespace qn
