#include "app/print_options.h"
#include "app/dialog_keys.h"

#include "app/action_bar_glyphs.h"
#include "app/date_selector.h"
#include "platform/ascii_text.h"
#include "platform/modal_result.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_canvas.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cctype>
#include <cmath>
#include <string>

namespace qn {

namespace {

QFont arialPixels(int pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

std::string shortDate(TDateTime date)
{
    return FormatDateTime("ddddd", date);
}

// Reads "h:nn", "h:nn:ss", either with " AM" or " PM" after it.
bool isTimeOfDay(std::string_view text)
{
    std::string t(text);
    for (char &c : t)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    int limit = 23;
    for (const char *suffix : {"AM", "PM"}) {
        if (t.size() > 2 && t.compare(t.size() - 2, 2, suffix) == 0) {
            t.resize(t.size() - 2);
            while (!t.empty() && t.back() == ' ')
                t.pop_back();
            limit = 12;
            break;
        }
    }
    int parts[3] = {-1, -1, 0};
    int count = 0;
    size_t i = 0;
    const char sep = FormatSettings().TimeSeparator;
    while (count < 3) {
        size_t start = i;
        int value = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && i - start < 2)
            value = value * 10 + (t[i++] - '0');
        if (i == start)
            return false;
        parts[count++] = value;
        if (i == t.size())
            break;
        if (t[i] != sep)
            return false;
        ++i;
    }
    if (i != t.size() || count < 2)
        return false;
    if (limit == 12 && (parts[0] < 1 || parts[0] > 12))
        return false;
    return parts[0] <= limit && parts[1] < 60 && parts[2] < 60;
}

// The date part of a text in the short date format with an optional time:
// the text up to the first blank that follows a digit and precedes more text.
bool splitDateTime(std::string_view text, TDateTime &date)
{
    if (TryStrToDate(text, date))
        return true;
    std::string_view trimmed = text;
    while (!trimmed.empty() && trimmed.front() == ' ')
        trimmed.remove_prefix(1);
    const size_t blank = trimmed.find(' ');
    if (blank == std::string_view::npos)
        return false;
    std::string_view rest = trimmed.substr(blank);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ')
        rest.remove_suffix(1);
    return !rest.empty() && isTimeOfDay(rest) && TryStrToDate(trimmed.substr(0, blank), date);
}

QPushButton *calendarButton(QWidget *parent, const char *name, const char *hint, const QRect &place)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setToolTip(QString::fromLatin1(hint));
    button->setIcon(QIcon(QPixmap::fromImage(ToQImage(ActionBarGlyph("date")))));
    button->setIconSize(QSize(16, 16));
    button->setAutoDefault(false);
    return button;
}

QRadioButton *radio(QWidget *parent, const char *name, const char *caption, const char *hint,
                    const QRect &place)
{
    auto *button = new QRadioButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

} // namespace

bool IsValidDate(std::string_view text)
{
    TDateTime date = 0;
    return splitDateTime(text, date);
}

TDateTime DateOfText(std::string_view text)
{
    TDateTime date = 0;
    if (!splitDateTime(text, date))
        throw EConvertError("'" + std::string(text) + "' is not a valid date");
    return std::floor(date);
}

TPrintOptions::TPrintOptions(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Print Options"));
    setFont(arialPixels(11));
    setFixedSize(315, 279);

    PrintCurrentOnly = radio(this, "PrintCurrentOnly", "Print current entry only",
                             "Print only the currntly showing entry", {30, 12, 178, 17});
    PrintCurrentOnly->setChecked(true);
    PrintAll =
        radio(this, "PrintAll", "Print all entries", "Print all diary entries", {30, 34, 189, 17});
    PrintRangeOfDates = radio(this, "PrintRangeOfDates", "Print range of dates",
                              "Print diary entries that fall between a starting\nand ending date",
                              {30, 55, 189, 17});

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(30, 80, 252, 74);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    DateEditLabel = new QLabel(QStringLiteral("Starting Date"), Panel1);
    DateEditLabel->move(6, 7);
    DateEditFrom = new QLineEdit(Panel1);
    DateEditFrom->setObjectName(QStringLiteral("DateEditFrom"));
    DateEditFrom->setGeometry(6, 23, 66, 24);
    DateEditFrom->setToolTip(QStringLiteral("Print diary entries starting with this date"));
    CalendarFrom = calendarButton(Panel1, "CalendarFrom",
                                  "Select the starting date from a calendar", {73, 23, 24, 24});
    Label1 = new QLabel(QStringLiteral("Ending Date"), Panel1);
    Label1->move(142, 6);
    DateEditTo = new QLineEdit(Panel1);
    DateEditTo->setObjectName(QStringLiteral("DateEditTo"));
    DateEditTo->setGeometry(142, 23, 66, 24);
    DateEditTo->setToolTip(QStringLiteral("Print diary entries up to and including this date"));
    CalendarTo = calendarButton(Panel1, "CalendarTo", "Select the ending date from a calendar",
                                {209, 22, 24, 24});
    // What readers call the fields and the picture buttons.
    DateEditLabel->setBuddy(DateEditFrom);
    Label1->setBuddy(DateEditTo);
    CalendarFrom->setAccessibleName(QStringLiteral("Choose the starting date"));
    CalendarTo->setAccessibleName(QStringLiteral("Choose the ending date"));
    DateFormat = new QLabel(Panel1);
    DateFormat->setObjectName(QStringLiteral("DateFormat"));
    DateFormat->setGeometry(1, 74 - 1 - 18, 250, 18);
    DateFormat->setAlignment(Qt::AlignCenter);
    DateFormat->setFont(arialPixels(11));
    QPalette black = DateFormat->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    DateFormat->setPalette(black);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(30, 160, 252, 53);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    EachPageSeparate = radio(Panel2, "EachPageSeparate", "Print each page separately",
                             "Print each diary entry (day) on its own page", {8, 10, 153, 17});
    EachPageSeparate->setChecked(true);
    MergePages = radio(Panel2, "MergePages", "Merge pages ",
                       "Print as many diary entries per page as possible to conserve paper",
                       {8, 28, 131, 17});

    OKButton = new TFlatButton(this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->SetCaption(QStringLiteral("Ok"));
    OKButton->setGeometry(30, 230, 79, 34);
    OKButton->SetDefault(true);
    CancelButton = new TFlatButton(this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->SetCaption(QStringLiteral("Cancel"));
    CancelButton->setGeometry(202, 230, 79, 34);
    CancelButton->SetCancel(true);

    connect(PrintCurrentOnly, &QRadioButton::clicked, this, &TPrintOptions::PrintCurrentOnlyClick);
    connect(PrintAll, &QRadioButton::clicked, this, &TPrintOptions::PrintRangeOfDatesClick);
    connect(PrintRangeOfDates, &QRadioButton::clicked, this,
            &TPrintOptions::PrintRangeOfDatesClick);
    connect(DateEditFrom, &QLineEdit::textChanged, this, &TPrintOptions::DateEditFromChange);
    connect(DateEditTo, &QLineEdit::textChanged, this, &TPrintOptions::DateEditToChange);
    DateEditFrom->installEventFilter(this);
    DateEditTo->installEventFilter(this);
    connect(CalendarFrom, &QPushButton::clicked, this, [this] { CalendarFromClick(CalendarFrom); });
    connect(CalendarTo, &QPushButton::clicked, this, [this] { CalendarFromClick(CalendarTo); });
    connect(OKButton, &TFlatButton::clicked, this, &TPrintOptions::OKButtonClick);
    connect(CancelButton, &TFlatButton::clicked, this, &TPrintOptions::CancelButtonClick);

    FormCreate();
}

TPrintOptions::~TPrintOptions() = default;

void TPrintOptions::FormCreate()
{
    FirstActivation = true;
    DateFormat->setText(QString::fromStdString("(use: " + FormatSettings().ShortDateFormat + ")"));
}

void TPrintOptions::FormActivate()
{
    if (!FirstActivation)
        return;
    DateEditFrom->setText(QString::fromStdString(shortDate(FromDate)));
    DateEditTo->setText(QString::fromStdString(shortDate(ToDate)));
    SetButtons();
    FirstActivation = false;
}

void TPrintOptions::SetButtons()
{
    const bool range = PrintRangeOfDates->isChecked();
    DateEditFrom->setEnabled(range);
    DateEditTo->setEnabled(range);
    CalendarFrom->setEnabled(range);
    CalendarTo->setEnabled(range);
    const bool layouts = range || PrintAll->isChecked();
    EachPageSeparate->setEnabled(layouts);
    MergePages->setEnabled(layouts);
    // A start after the end is allowed: it prints nothing.
    if (range)
        OKButton->setEnabled(IsValidDate(DateEditFrom->text().toStdString()) &&
                             IsValidDate(DateEditTo->text().toStdString()));
    else
        OKButton->setEnabled(true);
}

void TPrintOptions::PrintCurrentOnlyClick()
{
    SetButtons();
}

void TPrintOptions::PrintRangeOfDatesClick()
{
    SetButtons();
}

void TPrintOptions::DateEditFromChange()
{
    SetButtons();
}

void TPrintOptions::DateEditToChange()
{
    SetButtons();
}

void TPrintOptions::DateEditFromExit(QLineEdit *edit)
{
    const std::string text = AsciiUpperCase(edit->text().toStdString());
    edit->setText(QString::fromStdString(text));
    if (!text.empty()) {
        if (IsValidDate(text)) {
            edit->setText(QString::fromStdString(shortDate(DateOfText(text))));
        } else {
            checkingExit_ = true;
            ShowInformation(QString::fromStdString("Please use the date format " +
                                                   FormatSettings().ShortDateFormat +
                                                   "\n   Example: " + shortDate(Date())));
            checkingExit_ = false;
            edit->setText(
                QString::fromStdString(shortDate(edit == DateEditFrom ? FromDate : ToDate)));
            edit->setFocus();
        }
    }
    SetButtons();
}

void TPrintOptions::CalendarFromClick(QPushButton *sender)
{
    QLineEdit *target = sender == CalendarFrom ? DateEditFrom : DateEditTo;
    const std::string text = target->text().toStdString();
    TDateTime date = IsValidDate(text) ? DateOfText(text) : Date();
    int result = mrCancel;
    if (RunDateSelector) {
        result = RunDateSelector(date);
    } else {
        TDateSelector selector(this);
        selector.InitialDate = date;
        result = selector.exec();
        if (result == mrOk)
            date = selector.Calendar->CalendarDate();
    }
    if (result == mrOk)
        target->setText(QString::fromStdString(shortDate(date)));
}

void TPrintOptions::OKButtonClick()
{
    if (!OKButton->isEnabled())
        return;
    MergeResult = MergePages->isChecked();
    CurrentOnlyResult = PrintCurrentOnly->isChecked();
    AllEntriesResult = PrintAll->isChecked();
    if (!CurrentOnlyResult && !AllEntriesResult) {
        // Enter on the default button may come before the edit is left.
        const std::string from = DateEditFrom->text().toStdString();
        const std::string to = DateEditTo->text().toStdString();
        if (!IsValidDate(from) || !IsValidDate(to))
            return;
        FromDate = DateOfText(from);
        ToDate = DateOfText(to);
    } else {
        ToDate = FromDate;
    }
    done(mrOk);
}

void TPrintOptions::CancelButtonClick()
{
    done(mrCancel);
}

void TPrintOptions::reject()
{
    CancelButtonClick();
}

bool TPrintOptions::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TPrintOptions::showEvent(QShowEvent *event)
{
    // A window that is never activated (no window manager) still shows its dates.
    FormActivate();
    QDialog::showEvent(event);
}

bool TPrintOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && !checkingExit_ &&
        (watched == DateEditFrom || watched == DateEditTo)) {
        auto *focus = static_cast<QFocusEvent *>(event);
        // Leaving the window (a message box, another program) is no exit.
        if (focus->reason() != Qt::ActiveWindowFocusReason &&
            focus->reason() != Qt::PopupFocusReason)
            DateEditFromExit(static_cast<QLineEdit *>(watched));
    }
    return QDialog::eventFilter(watched, event);
}

void TPrintOptions::keyPressEvent(QKeyEvent *event)
{
    if (!RunDialogKey(
            event, [this] { OKButtonClick(); }, [this] { CancelButtonClick(); }))
        QDialog::keyPressEvent(event);
}

} // namespace qn
