#pragma once

// "Select Date": a month calendar on which the days holding an entry carry a
// small tag, the chosen date in words above it, and buttons that step by
// month and year, go to today, accept or cancel. The dialog never reads the
// diary: its caller's OnFillMonth lists the days of a month that have entries,
// called once when the dialog first shows and again on every change of month
// or year.
//
// Keys: arrows move by day and week, Page Up and Page Down by month (with
// Ctrl by year), Home and End to the first and last day, Enter accepts,
// Escape cancels.

#include "app/calendar_with_glyphs.h"
#include "platform/canvas.h"
#include "platform/datetime.h"
#include "widgets/flat_button.h"

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace qn {

class TGraphicPanel;

// Fills the list with the days (decimal text, "1" .. "31") of that month
// that have an entry; the list is cleared first.
using TFillMonthEvent = std::function<void(QStringList &list, int year, int month)>;

// The buttons of the dialog.
using TSelectorButton = TFlatButton;

class TDateSelector : public QDialog {
    Q_OBJECT
public:
    explicit TDateSelector(QWidget *parent = nullptr);
    ~TDateSelector() override;

    // Controls.
    TGraphicPanel *ShowDatePanel;
    TCalendarWithGlyphs *Calendar;
    TSelectorButton *PrevYear;
    TSelectorButton *PrevMonth;
    TSelectorButton *DoCurrentDate;
    TSelectorButton *NextMonth;
    TSelectorButton *NextYear;
    TSelectorButton *OKButton;
    TSelectorButton *CancelButton;
    CanvasBitmap Image1; // the entry glyph (a hidden picture)

    bool FirstActivation = true; // until the first activation set InitialDate
    QStringList MarkedDays;      // days of the shown month that have entries
    TFillMonthEvent OnFillMonth; // set by the caller
    TDateTime InitialDate = 0;   // set by the caller: the date first shown
    TDateTime SelectedDate = 0;  // the calendar's date after every change
    int32_t LastMonth = -1;      // month and year MarkedDays was filled for
    int32_t LastYear = -1;

    void FormCreate();
    void FormActivate();
    void CalendarChange();
    void PrevYearClick();
    void NextYearClick();
    void PrevMonthClick();
    void NextMonthClick();
    void DoCurrentDateClick();
    void OKButtonClick();
    void CalendarDblClick();
    void CancelButtonClick();
    void CalendarDrawCalendarCellEvent(qn::Canvas &can, int32_t ACol, int32_t ARow,
                                       const CanvasRect &ARect, TGridDrawState AState,
                                       const std::string &Celltext);

    // Every other way of closing (the window's close) is Cancel too.
    void reject() override;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    TSelectorButton *makeButton(const char *name, const char *caption, const char *hint,
                                const QRect &place);
};

} // namespace qn
