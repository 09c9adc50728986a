#pragma once

// "Print Options": what to print (the entry on screen, all entries, or a
// range of dates typed in the short date format or picked from calendars)
// and how (each entry on pages of its own, or merged onto shared pages).

#include "platform/datetime.h"
#include "widgets/flat_button.h"

#include <QDialog>

#include <functional>
#include <string_view>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qn {

// True when the text is a date in the short date format, optionally
// followed by a time of day (h:nn or h:nn:ss, with AM or PM).
bool IsValidDate(std::string_view text);
// The day of such a text (any time dropped); EConvertError when it is none.
TDateTime DateOfText(std::string_view text);

class TPrintOptions : public QDialog {
    Q_OBJECT
public:
    explicit TPrintOptions(QWidget *parent = nullptr);
    ~TPrintOptions() override;

    // Controls.
    QRadioButton *PrintCurrentOnly;
    QRadioButton *PrintAll;
    QRadioButton *PrintRangeOfDates;
    QFrame *Panel1;
    QLabel *DateEditLabel;
    QLineEdit *DateEditFrom;
    QPushButton *CalendarFrom;
    QLabel *Label1;
    QLineEdit *DateEditTo;
    QPushButton *CalendarTo;
    QLabel *DateFormat;
    QFrame *Panel2;
    QRadioButton *EachPageSeparate;
    QRadioButton *MergePages;
    TFlatButton *OKButton;
    TFlatButton *CancelButton;

    bool FirstActivation = true;
    TDateTime FromDate = 0; // in: the start date shown; out: first date to print
    TDateTime ToDate = 0;   // in: the end date shown; out: last date to print
    bool MergeResult = false;
    bool CurrentOnlyResult = false;
    bool AllEntriesResult = false;

    // Opens the calendar on `date`; answers the modal result and, on OK, the
    // date picked in `date`. When empty, a date selector without marks.
    std::function<int(TDateTime &date)> RunDateSelector;

    void FormCreate();
    void FormActivate();
    void SetButtons();
    void PrintCurrentOnlyClick();
    void PrintRangeOfDatesClick();
    void DateEditFromChange();
    void DateEditToChange();
    // Leaving either date edit.
    void DateEditFromExit(QLineEdit *edit);
    void CalendarFromClick(QPushButton *sender);
    void OKButtonClick();
    void CancelButtonClick();

    void reject() override;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool checkingExit_ = false; // the message of a bad date is showing
};

} // namespace qn
