#include "app/main_screen.h"

#include "app/action_bar_glyphs.h"
#include "app/exchange_commands.h"
#include "app/help_viewer.h"
#include "app/splash_form.h"
#include "engine/xtable.h"
#include "platform/modal_result.h"
#include "platform/program_dir.h"
#include "platform/qt/key_translation.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"
#include "platform/winmath.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/tool_bar.h"
#include "richtext/controls/tool_bar_glyphs.h"
#include "widgets/flat_button.h"
#include "widgets/ring_panel.h"
#include "widgets/save_form_state.h"
#include "widgets/widget_accessible.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

static void initAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace qn {

namespace {

QFont arialPixels(int pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

QFrame *horizontalLine(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameStyle(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    line->setPalette(palette);
    return line;
}

QFrame *verticalSeparator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    return line;
}

} // namespace

QRect FitMaximizedRect(const QRect &frame, const QRect &fullScreen)
{
    QRect fitted = frame;
    if (fullScreen.height() < frame.height()) {
        fitted.setHeight(fullScreen.height());
        fitted.moveTop(fullScreen.top());
    } else if (fullScreen.width() < frame.width()) {
        fitted.setWidth(fullScreen.width());
        fitted.moveLeft(fullScreen.left());
    }
    return fitted;
}

QPoint CenteredPosition(const QRect &main, const QSize &form)
{
    return {main.left() + PascalDiv(main.width() - form.width(), 2),
            main.top() + PascalDiv(main.height() - form.height(), 2)};
}

TMainScreen::TMainScreen(QWidget *parent) : TMainScreen(ProgramDir(), parent) {}

TMainScreen::TMainScreen(const std::string &diaryDir, QWidget *parent)
    : QMainWindow(parent), diaryDir_(diaryDir)
{
    if (diaryDir_.empty() || diaryDir_.back() != '/')
        diaryDir_ += '/';
    initAppResources();
    setWindowTitle(QStringLiteral("Quillnook"));
    setWindowIcon(QIcon(QStringLiteral(":/quillnook/quillnook.png")));
    setFont(arialPixels(11));
    move(144, 99);
    resize(610, 460);

    createMenus();
    InstallExchangeCommands(*this);
    createClientArea();
    createDiaryComponents();

    // The window's place from the last run, kept beside the diary.
    SaveFormStateAndPosition1 = new TSaveFormStateAndPosition(this);
    SaveFormStateAndPosition1->IniFileName = PlacementFileName(diaryDir_);
    SaveFormStateAndPosition1->Loaded();

    // The form sees every key before the control that has the focus.
    qApp->installEventFilter(this);

    FormCreate();
}

TMainScreen::~TMainScreen()
{
    closeDiaryTable();
}

void TMainScreen::createMenus()
{
    QMenuBar *bar = menuBar();
    // Menus use the desktop's menu font, not the window's.
    bar->setFont(QApplication::font(bar));

    mnuFile = bar->addMenu(QStringLiteral("&File"));
    mnuSecurity = mnuFile->addAction(QStringLiteral("Select or Change Password"));
    N2 = mnuFile->addSeparator();
    RebuildIndexes1 = mnuFile->addAction(QStringLiteral("Rebuild Indexes (do this often!)"));
    N1 = mnuFile->addSeparator();
    PrintSetup1 = mnuFile->addAction(QStringLiteral("Print Setup"));
    PrintNow = mnuFile->addAction(QStringLiteral("Print"));
    PrintNow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    N6 = mnuFile->addSeparator();
    exit1 = mnuFile->addAction(QStringLiteral("E&xit"));

    mnuEdit = bar->addMenu(QStringLiteral("&Edit"));
    mnuUndo = mnuEdit->addAction(QStringLiteral("&Undo"));
    mnuUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuUndo->setEnabled(false);
    mnuRedo = mnuEdit->addAction(QStringLiteral("R&edo")); // R is Replace's
    mnuRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    mnuRedo->setEnabled(false);
    N8 = mnuEdit->addSeparator();
    mnuFind = mnuEdit->addAction(QStringLiteral("&Find"));
    mnuFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    Replace1 = mnuEdit->addAction(QStringLiteral("&Replace"));
    Replace1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    N3 = mnuEdit->addSeparator();
    SpellCheck1 = mnuEdit->addAction(QStringLiteral("&Spell Check"));
    SpellCheck1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    EnterDate1 = mnuEdit->addAction(QStringLiteral("Insert Today's &Date "));
    EnterDate1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    N4 = mnuEdit->addSeparator();
    mnuWrapTexttofitScreen = mnuEdit->addAction(QStringLiteral("&Wrap Text to fit Screen"));
    mnuWrapTexttofitScreen->setCheckable(true);
    mnuWrapTexttofitScreen->setChecked(true);
    N7 = mnuEdit->addSeparator();
    mnuDefaultFont = mnuEdit->addAction(QStringLiteral("Default Font"));

    mnuUtilities = bar->addMenu(QStringLiteral("&Utilities"));
    mnuFindentrycontaining = mnuUtilities->addAction(QStringLiteral("Find entry containing..."));
    mnuFindentrycontaining->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    mnuFindNextBig = mnuUtilities->addAction(QStringLiteral("Find Next Entry"));
    mnuFindNextBig->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    mnuFindNextBig->setEnabled(false);

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Contents1 = Help1->addAction(QStringLiteral("Contents"));
    N5 = Help1->addSeparator();
    About1 = Help1->addAction(QStringLiteral("About"));

    connect(mnuSecurity, &QAction::triggered, this, &TMainScreen::mnuSecurityClick);
    connect(mnuDefaultFont, &QAction::triggered, this, &TMainScreen::mnuDefaultFontClick);
    connect(RebuildIndexes1, &QAction::triggered, this, &TMainScreen::RebuildIndexes1Click);
    connect(PrintSetup1, &QAction::triggered, this, &TMainScreen::PrintSetup1Click);
    connect(PrintNow, &QAction::triggered, this, &TMainScreen::PrintNowClick);
    connect(mnuUndo, &QAction::triggered, this, &TMainScreen::mnuUndoClick);
    connect(mnuRedo, &QAction::triggered, this, &TMainScreen::mnuRedoClick);
    connect(mnuFind, &QAction::triggered, this, &TMainScreen::mnuFindClick);
    connect(Replace1, &QAction::triggered, this, &TMainScreen::Replace1Click);
    connect(EnterDate1, &QAction::triggered, this, &TMainScreen::EnterDate1Click);
    connect(mnuFindentrycontaining, &QAction::triggered, this,
            &TMainScreen::mnuFindentrycontainingClick);
    connect(mnuFindNextBig, &QAction::triggered, this, &TMainScreen::mnuFindNextBigClick);
    // The handler inverts the check mark itself, as the tool bar's button
    // does: undo the toggle the action made on its own.
    connect(mnuWrapTexttofitScreen, &QAction::triggered, this, [this](bool checked) {
        mnuWrapTexttofitScreen->setChecked(!checked);
        mnuWrapTexttofitScreenClick();
    });
    connect(SpellCheck1, &QAction::triggered, this, &TMainScreen::SpellCheck1Click);
    connect(exit1, &QAction::triggered, this, &TMainScreen::exit1Click);
    connect(Contents1, &QAction::triggered, this, &TMainScreen::Contents1Click);
    connect(About1, &QAction::triggered, this, &TMainScreen::About1Click);
    createSpellingMenus();
}

void TMainScreen::createClientArea()
{
    auto *client = new QWidget(this);
    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    QnToolBar2 = new TQnToolBar(client);
    QnToolBar2->setObjectName(QStringLiteral("QnToolBar2"));
    QnToolBar2->SetAlign(TToolAlign::alTop);
    QnToolBar2->SetDesignHeight(28);
    QnToolBar2->SetFontChoice(fsPrinterFonts);
    QnToolBar2->SetFontSizeRange(8, 72);
    QStringList hints = TQnToolBar::DefaultHints();
    hints.removeAll(QStringLiteral("QNI_Hidden=Hidden"));
    hints.removeAll(QStringLiteral("QNI_RTFCode=RTFCode"));
    QnToolBar2->SetHints(hints);
    QnRuler1 = new TQnRuler(client);
    QnRuler1->setObjectName(QStringLiteral("QnRuler1"));
    QnRuler1->Align = TToolAlign::alTop;
    QnRuler1->setFixedHeight(15);
    QnRuler1->BevelInner = TToolBevel::bvNone;
    QnRuler1->SetUnits(Inch);
    QnRuler1->SetShowNumbers(false);
    QnRuler1->NewTabKind = tkAll;
    QnRuler1->OnSelection = [this](TQnRuler *, int, int, int, bool) { QnRuler1Selection(); };
    QnRuler1->OnMouseDown = [this](TQnRuler *, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
        QnRuler1MouseDown();
    };
    createRingArea();
    createToolBarKeys();
    // The speed buttons wait on the privacy panel until start-up moves them.
    auto speedButton = [this](const char *name, const char *glyph, const QString &hint) {
        auto *button = new QToolButton(PrivacyPanel);
        button->setObjectName(QLatin1String(name));
        button->setIcon(ToolBarGlyph(QLatin1String(glyph)));
        button->setFixedSize(QFontInfo(font()).pixelSize() + 9, QFontInfo(font()).pixelSize() + 9);
        button->setToolTip(hint);
        button->setAccessibleName(hint);
        button->hide();
        return button;
    };
    DocPageBreakButton =
        speedButton("DocPageBreakButton", "PAGEBREAK", QStringLiteral("Insert Page Break"));
    ParagraphSetupButton =
        speedButton("ParagraphSetupButton", "PARAGRAPH", QStringLiteral("Paragraph properties"));
    DocWordWrapButton =
        speedButton("DocWordWrapButton", "WORDWRAP", QStringLiteral("Toggle word wrap"));
    Printbutton = speedButton("Printbutton", "QNI_PRINT", QStringLiteral("Print diary entries"));
    connect(DocPageBreakButton, &QToolButton::clicked, this, &TMainScreen::DocPageBreakButtonClick);
    connect(DocWordWrapButton, &QToolButton::clicked, this, &TMainScreen::DocWordWrapButtonClick);
    connect(ParagraphSetupButton, &QToolButton::clicked, this,
            &TMainScreen::ParagraphSetupButtonClick);
    connect(Printbutton, &QToolButton::clicked, this, &TMainScreen::PrintbuttonClick);
    RingPanel1->setParent(client);
    createActionBar();
    ActionPanel->setParent(client);

    layout->addWidget(QnToolBar2);
    layout->addWidget(QnRuler1);
    layout->addWidget(RingPanel1, 1);
    layout->addWidget(ActionPanel);
    setCentralWidget(client);
    // The window opens on the entry, not on the first list of the tool bar.
    QnRichText1->setFocus(Qt::OtherFocusReason);
}

void TMainScreen::createToolBarKeys()
{
    // F6 moves between the entry and the tool bar's lists (Tab then goes
    // along the lists); Escape on the bar goes back to the entry.
    auto *toBar = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(toBar, &QShortcut::activated, this, [this] {
        QWidget *focus = QApplication::focusWidget();
        if (focus && QnToolBar2->isAncestorOf(focus)) {
            QnRichText1->setFocus(Qt::ShortcutFocusReason);
            return;
        }
        for (int i = 0; i < QnToolBar2->ControlCount(); ++i) {
            QWidget *control = QnToolBar2->Control(i);
            if (control && control->isVisible() && control->isEnabled() &&
                (control->focusPolicy() & Qt::TabFocus)) {
                control->setFocus(Qt::ShortcutFocusReason);
                return;
            }
        }
    });
    auto *back = new QShortcut(QKeySequence(Qt::Key_Escape), QnToolBar2);
    back->setContext(Qt::WidgetWithChildrenShortcut);
    connect(back, &QShortcut::activated, this,
            [this] { QnRichText1->setFocus(Qt::ShortcutFocusReason); });
}

void TMainScreen::createRingArea()
{
    RingPanel1 = new TRingPanel;
    RingPanel1->setObjectName(QStringLiteral("RingPanel1"));
    RingPanel1->SetBorderStyle(bsSingle);
    RingPanel1->SetDoubleRing(true);
    RingPanel1->SetSmallRing(true);
    RingPanel1->SetLeftEdge(31);
    RingPanel1->SetRightEdge(15);

    DateLabel = new QLabel(RingPanel1);
    DateLabel->setObjectName(QStringLiteral("DateLabel"));
    MarkAsHeading(DateLabel);
    QFont dateFont = arialPixels(16);
    dateFont.setBold(true);
    dateFont.setItalic(true);
    DateLabel->setFont(dateFont);
    QPalette palette = DateLabel->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 0, 128)); // purple
    DateLabel->setPalette(palette);
    DateLabel->setAutoFillBackground(false); // transparent

    TopLine = horizontalLine(RingPanel1);
    Bottomline = horizontalLine(RingPanel1);

    createEditors();
    createPrivacyPanel();
    RingPanel1->OnResize = [this] { placeRingChildren(); };
}

void TMainScreen::createEditors()
{
    // The entry editor: white, no border, both scroll bars, word wrap on,
    // insert mode, Tab typed into the text, no drag and drop, Arial 11
    // pixels black, status texts in German.
    QnRichText1 = new TQnRichText(RingPanel1);
    QnRichText1->setObjectName(QStringLiteral("QnRichText1"));
    QnRichText1->setAccessibleName(QStringLiteral("Entry"));
    QnRichText1->SetColor(0x00FFFFFF);
    QnRichText1->SetBorderStyle(TBorderStyle::bsNone);
    QnRichText1->SetScrollBars(TScrollStyle::ssBoth);
    QnRichText1->SetWordWrap(true);
    QnRichText1->SetZooming(100);
    QnRichText1->SetInserting(true);
    QnRichText1->WantTabs = true;
    QnRichText1->DragAndDropSupport = true;
    QnRichText1->setFont(arialPixels(11));
    QnRichText1->SetFontColor(0);
    QnRichText1->SetLanguage(tqnGerman);
    QnRichText1->OnChange = [this](TQnCustomRtfEdit *) { QnRichText1Change(); };
    QnRichText1->OnKeyDown = [this](TQnCustomRtfEdit *, TKey &key, TShiftState shift) {
        QnRichText1KeyDown(key, shift);
    };
    connect(QnRichText1, &TQnCustomRtfEdit::UndoStateChanged, this,
            &TMainScreen::updateUndoActions);

    // The scratch document for blank tests and searches: never shown.
    QnRichTextAllPurpose = new TQnRichText(RingPanel1);
    QnRichTextAllPurpose->setObjectName(QStringLiteral("QnRichTextAllPurpose"));
    QnRichTextAllPurpose->SetScrollBars(TScrollStyle::ssNone);
    QnRichTextAllPurpose->setFont(arialPixels(11));
    QnRichTextAllPurpose->hide();

    // The bar and the ruler above show and change what is at the caret.
    QnRichText1->SetQnToolBar(QnToolBar2);
    QnRichText1->SetQnRuler(QnRuler1);
}

void TMainScreen::createPrivacyPanel()
{
    PrivacyPanel = new QFrame(RingPanel1);
    PrivacyPanel->setObjectName(QStringLiteral("PrivacyPanel"));
    PrivacyPanel->setAutoFillBackground(true);
    PrivacyPanel->setVisible(false);

    PrivacyLabel = new QLabel(
        QStringLiteral("This diary requires a password. Please enter your password and press OK"),
        PrivacyPanel);
    QFont bold = arialPixels(16);
    bold.setBold(true);
    PrivacyLabel->setFont(bold);
    PrivacyLabel->setWordWrap(true);
    PrivacyLabel->setAlignment(Qt::AlignCenter);

    Pass = new QLineEdit(PrivacyPanel);
    Pass->setEchoMode(QLineEdit::Password);
    Pass->setAccessibleName(QStringLiteral("Password"));
    PrivacyLabel->setBuddy(Pass);
    Pass->setFixedWidth(160);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), PrivacyPanel);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Close"), PrivacyPanel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(PrivacyPanel);
    layout->addStretch();
    layout->addWidget(PrivacyLabel);
    layout->addSpacing(12);
    layout->addWidget(Pass, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(BitBtn1, &QPushButton::clicked, this, &TMainScreen::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TMainScreen::BitBtn2Click);
    connect(Pass, &QLineEdit::returnPressed, this, &TMainScreen::BitBtn1Click);
}

void TMainScreen::describeActionBar()
{
    // What a screen reader says of each button besides its caption.
    const std::pair<TFlatButton *, const char *> descriptions[] = {
        {SaveButton, "Save the changes to this entry"},
        {CancelButton, "Undo the changes to this entry since it was last saved"},
        {FirstButton, "Go to the first entry of the diary"},
        {PriorButton, "Go to the day before"},
        {CalendarButton, "Choose a date on a calendar"},
        {Nextbutton, "Go to the next day"},
        {LastButton, "Go to the last entry of the diary"},
        {Hidebutton, "Minimise the window"},
        {FlatButton1, "Close the diary"},
    };
    for (const auto &[button, text] : descriptions)
        button->setAccessibleDescription(QString::fromLatin1(text));
}

void TMainScreen::createActionBar()
{
    ActionPanel = new QFrame;
    ActionPanel->setObjectName(QStringLiteral("ActionPanel"));
    ActionPanel->setFixedHeight(39);
    auto *layout = new QHBoxLayout(ActionPanel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);

    // Flat buttons with their pictures, grey until the mouse is over them.
    auto button = [this, layout](const QString &caption, const QString &name, const char *glyph,
                                 TButtonLayout side) {
        auto *b = new TFlatButton(ActionPanel);
        b->setObjectName(name);
        b->SetCaption(caption);
        b->SetBitmap(ActionBarGlyph(glyph));
        b->SetLayout(side);
        b->SetOptions(boMonoDisplay | boPopupMark);
        b->setFixedSize(64, 31);
        layout->addWidget(b);
        return b;
    };
    SaveButton =
        button(QStringLiteral("&Save"), QStringLiteral("SaveButton"), "save", blBitmapLeft);
    CancelButton =
        button(QStringLiteral("&Cancel"), QStringLiteral("CancelButton"), "cancel", blBitmapLeft);
    ActionSeparator1 = verticalSeparator(ActionPanel);
    layout->addWidget(ActionSeparator1);
    FirstButton =
        button(QStringLiteral("Fi&rst"), QStringLiteral("FirstButton"), "first", blBitmapLeft);
    PriorButton =
        button(QStringLiteral("&Prev"), QStringLiteral("PriorButton"), "prev", blBitmapLeft);
    CalendarButton =
        button(QStringLiteral("&Date"), QStringLiteral("CalendarButton"), "date", blBitmapRight);
    Nextbutton =
        button(QStringLiteral("&Next"), QStringLiteral("Nextbutton"), "next", blBitmapRight);
    LastButton =
        button(QStringLiteral("&Last"), QStringLiteral("LastButton"), "last", blBitmapRight);
    ActionSeparator2 = verticalSeparator(ActionPanel);
    layout->addWidget(ActionSeparator2);
    Hidebutton =
        button(QStringLiteral("H&ide"), QStringLiteral("Hidebutton"), "hide", blBitmapRight);
    FlatButton1 =
        button(QStringLiteral("E&xit"), QStringLiteral("FlatButton1"), "exit", blBitmapRight);
    describeActionBar();
    layout->addStretch();

    // While Save and Cancel are hidden a space as wide holds their place,
    // so that no button moves under the mouse when they come and go. The
    // space gives way in a window too narrow for it, so the window can
    // still be made as narrow as the other buttons allow.
    saveCancelPlace_ = new QSpacerItem(0, 0, QSizePolicy::Maximum, QSizePolicy::Fixed);
    layout->insertItem(0, saveCancelPlace_);
    setEntryModified(false);

    connect(SaveButton, &TFlatButton::clicked, this, &TMainScreen::SaveButtonClick);
    connect(CancelButton, &TFlatButton::clicked, this, &TMainScreen::CancelButtonClick);
    connect(FirstButton, &TFlatButton::clicked, this, &TMainScreen::FirstButtonClick);
    connect(PriorButton, &TFlatButton::clicked, this, &TMainScreen::PriorButtonClick);
    connect(CalendarButton, &TFlatButton::clicked, this, &TMainScreen::CalendarButtonClick);
    connect(Nextbutton, &TFlatButton::clicked, this, &TMainScreen::NextButtonClick);
    connect(LastButton, &TFlatButton::clicked, this, &TMainScreen::LastButtonClick);
    connect(Hidebutton, &TFlatButton::clicked, this, &TMainScreen::HideButtonClick);
    connect(FlatButton1, &TFlatButton::clicked, this, &TMainScreen::exit1Click);
}

int TMainScreen::actionSpacing() const
{
    return ActionPanel->layout()->spacing();
}

void TMainScreen::FormCreate()
{
    try {
        engine::StartTableEngine();
    } catch (const std::exception &error) {
        startFailed_ = true;
        ShowInformation(QString::fromStdString(error.what()));
        close();
        return;
    }
    DiaryXTable->SysProp(1009, 0);
    // Dates shown without an explicit format use the American short form.
    SetShortDateFormat("mm/dd/yyyy");
    LoadPreferences();
    // An encrypted diary is read from its first record on: the engine needs
    // its key before the table opens, not only afterwards.
    DiaryXTable->SetPassword(DiaryPassword);
    if (!OpenDiaryFile()) {
        // The program cannot work without its diary; say why, then end.
        startFailed_ = true;
        ShowInformationUtf8(openFailure_); // file names are UTF-8
        close();
        return;
    }
    HelpFile = FindResourceFile("QUILLNK.HLP")
                   .value_or(std::filesystem::path(ProgramDir()) / "QUILLNK.HLP");
    if (keyRefused_) {
        // Nothing of the table can be read until its password is typed.
        HideAllThings(true);
        CurrentDate = Date();
        RecordFound = false;
        SetDateCaption();
        return;
    }
    HideAllThings(!DiaryPassword.empty());
    addSpeedButtons();
    // The engine's key for the table, also when there is no password.
    DiaryXTable->SetPassword(DiaryPassword);
    CurrentDate = Date();
    RecordFound = false;
    FindDateRecord();
    LoadRichText();
    // An encrypted diary's copies are offered once its password is typed.
    if (DiaryPassword.empty())
        OfferConflictedCopiesLater();
}

void TMainScreen::OfferConflictedCopiesLater()
{
    // Once the window is up, so that the question stands over it.
    QTimer::singleShot(0, this, [this] { OfferConflictedCopyMerge(*this); });
}

void TMainScreen::addSpeedButtons()
{
    // Once: a second call would find them in the tool bar already.
    if (DocPageBreakButton->parentWidget() != PrivacyPanel)
        return;
    for (QToolButton *button :
         {DocPageBreakButton, ParagraphSetupButton, DocWordWrapButton, Printbutton})
        QnToolBar2->AddButton(button);
    DocWordWrapButton->setToolTip(mnuWrapTexttofitScreen->isChecked()
                                      ? QStringLiteral("Toggle word wrap off")
                                      : QStringLiteral("Toggle word wrap on"));
}

// Until the entry editor is in place the notification's effect is shown
// directly: Save and Cancel appear.
void TMainScreen::QnRuler1Selection()
{
    // What the ruler changed is a change of the entry.
    QnRichText1->Changed();
}

void TMainScreen::QnRuler1MouseDown()
{
    QnRuler1Selection();
}

void TMainScreen::FormActivate()
{
    setVisible(true);
    if (PrivacyPanel->isVisible())
        Pass->setFocus();
}

void TMainScreen::FitMaximizedWindow()
{
    if (!isMaximized())
        return;
    QScreen *screen = this->screen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    QRect fitted = FitMaximizedRect(frame, screen->availableGeometry());
    if (fitted == frame)
        return;
    // The frame's corrections, applied to the client area inside it.
    QMargins margins(geometry().left() - frame.left(), geometry().top() - frame.top(),
                     frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
    setGeometry(fitted.marginsRemoved(margins));
}

void TMainScreen::FormResize()
{
    FitMaximizedWindow();
    placeRingChildren();
}

void TMainScreen::placeRingChildren()
{
    // Sizes are the panel's outer ones; places are inside its border.
    const int panelWidth = RingPanel1->width();
    const int panelHeight = RingPanel1->height();
    const QPoint client = RingPanel1->ClientRect().topLeft();
    const int left = client.x() + RingPanel1->LeftEdge() + 15;
    const int width =
        std::max(0, panelWidth - RingPanel1->LeftEdge() - RingPanel1->RightEdge() - 20);
    const int editorTop = client.y() + 35;

    DateLabel->setGeometry(left, client.y() + 8, width, DateLabel->sizeHint().height());
    TopLine->setGeometry(left, client.y() + 28, width, 1);
    Bottomline->setGeometry(left, client.y() + panelHeight - 20, width, 1);
    QnRichText1->setGeometry(left, editorTop, width, std::max(0, panelHeight - 35 - 22));
    // The privacy panel fills the area whether shown or not.
    PrivacyPanel->setGeometry(RingPanel1->contentsRect());
    QnRichText1->SetCursorOffset(0);
    QnRichText1->Repaint();
}

bool TMainScreen::FormCloseQuery()
{
    if (!SaveButtonClick() && !terminating_) {
        // The user has been told why; closing now would lose the entry.
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Quillnook"),
            QStringLiteral("The entry on screen is not saved. Close anyway and lose the "
                           "changes?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }
    ProcessPendingMessages();
    const int entries = EntriesBeforeClosing(*this);
    closeDiaryTable();
    // A normal close leaves the day's copy of the closed diary's files.
    BackupAfterClosing(*this, entries);
    ReleaseDiaryLock();
    // Closing this window ends the program: the engine lets every table go.
    engine::StopTableEngine();
    return true;
}

void TMainScreen::FormKeyDown(TKey &Key, TShiftState Shift)
{
    // A locked diary moves nowhere: only the password panel and Help answer.
    if (locked_)
        return;
    if (Shift.Keys() != TShiftState(ssCtrl))
        return;
    if (Key == VK_NEXT) {
        Key = 0;
        NextButtonClick();
    } else if (Key == VK_PRIOR) {
        Key = 0;
        PriorButtonClick();
    }
}

void TMainScreen::HideAllThings(bool hide)
{
    PrivacyPanel->setGeometry(RingPanel1->contentsRect());
    PrivacyPanel->setVisible(hide);
    if (hide)
        PrivacyPanel->raise();
    ActionPanel->setVisible(!hide);
    QnToolBar2->setVisible(!hide);
    locked_ = hide;
    for (QMenu *menu : {mnuFile, mnuEdit, mnuUtilities}) {
        menu->setEnabled(!hide);
        menu->menuAction()->setEnabled(!hide);
    }
    lockMenuActions(hide);
    FormResize();
}

void TMainScreen::lockMenuActions(bool lock)
{
    // A disabled menu still lets the shortcuts of its actions through, so
    // each action is disabled too. Unlocking enables only the actions that
    // locking disabled: Find Next Entry keeps its own state.
    if (!lock) {
        for (QAction *action : actionsLocked_)
            action->setEnabled(true);
        actionsLocked_.clear();
        updateUndoActions();
        return;
    }
    for (QMenu *menu : {mnuFile, mnuEdit, mnuUtilities}) {
        for (QAction *action : menu->actions()) {
            if (action->isEnabled() && !action->isSeparator()) {
                action->setEnabled(false);
                actionsLocked_.push_back(action);
            }
        }
    }
}

void TMainScreen::updateUndoActions()
{
    const bool locked = !actionsLocked_.empty();
    mnuUndo->setEnabled(!locked && QnRichText1->CanUndo());
    mnuRedo->setEnabled(!locked && QnRichText1->CanRedo());
}

void TMainScreen::SetDateCaption()
{
    DateLabel->setText(AnsiToQString(FormatDateTime("dddd, mmmm d, yyyy", CurrentDate)));
}

void TMainScreen::HideButtonClick()
{
    showMinimized();
}

void TMainScreen::exit1Click()
{
    // Closing saves a modified entry first (FormCloseQuery).
    close();
}

void TMainScreen::Contents1Click()
{
    if (!std::filesystem::is_regular_file(HelpFile)) {
        ShowInformation(QStringLiteral("The help file QUILLNK.HLP cannot be found."));
        return;
    }
    if (!helpViewer_)
        helpViewer_ = new THelpViewer(this);
    std::string error;
    if (!helpViewer_->LoadFile(HelpFile, error)) {
        ShowInformation(QString::fromStdString(error));
        return;
    }
    helpViewer_->ShowContext(kHelpContentsContext);
}

void TMainScreen::About1Click()
{
    TSplashform splash(this);
    CenterOnMainScreen(&splash);
    splash.Okbutton->setVisible(true);
    splash.exec();
}

void TMainScreen::BitBtn1Click()
{
    // Text the code page cannot hold can never be the password.
    std::optional<std::string> typed = QStringToAnsi(Pass->text());
    if (keyRefused_) {
        if (!typed || !unlockRefusedKey(*typed)) {
            refuseTypedPassword();
            return;
        }
        if (QnRichText1->isVisible())
            QnRichText1->setFocus();
        OfferConflictedCopiesLater();
        return;
    }
    if (!typed || *typed != DiaryPassword) {
        refuseTypedPassword();
        return;
    }
    finishInterruptedClear();
    HideAllThings(false);
    if (QnRichText1->isVisible())
        QnRichText1->setFocus();
    OfferConflictedCopiesLater();
}

void TMainScreen::refuseTypedPassword()
{
    ShowInformation(QStringLiteral("Sorry, that is the wrong password"));
    // The next try starts from an empty edit, not from the wrong text.
    Pass->clear();
    Pass->setFocus();
}

void TMainScreen::BitBtn2Click()
{
    close();
}

void TMainScreen::CenterOnMainScreen(QWidget *form) const
{
    form->move(CenteredPosition(frameGeometry(), form->frameGeometry().size()));
}

bool TMainScreen::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

bool TMainScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QMainWindow::eventFilter(watched, event);
    // Once per key: when it reaches the widget with the focus (or the window
    // itself when nothing has it), and only for keys of this window.
    auto *widget = static_cast<QWidget *>(watched);
    QWidget *focus = QApplication::focusWidget();
    bool first = focus ? widget == focus : widget == this;
    if (!first || widget->window() != this)
        return QMainWindow::eventFilter(watched, event);
    TKeyDown down = TranslateKeyEvent(*static_cast<QKeyEvent *>(event));
    if (down.Key == 0)
        return QMainWindow::eventFilter(watched, event);
    FormKeyDown(down.Key, down.Shift);
    return down.Key == 0;
}

void TMainScreen::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainScreen::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    if (helpViewer_)
        helpViewer_->close();
    event->accept();
}

} // namespace qn
