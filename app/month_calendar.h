#pragma once

// A month calendar grid: 7 columns by 7 rows, the day names in the fixed top
// row, the days of one month below. It holds one date; selecting a numbered
// cell (mouse or keys) changes the day, month and year steps keep the day as
// far as the new month allows. Cells are painted through a canvas into a
// backing image when the widget is painted, so a change of date is drawn only
// after OnChange has run.

#include "platform/canvas.h"
#include "platform/datetime.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace qn {

class QtCanvas;

// How a cell is drawn (bits).
enum : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

class MonthCalendar : public QWidget {
    Q_OBJECT
public:
    explicit MonthCalendar(QWidget *parent = nullptr);
    ~MonthCalendar() override;

    TDateTime CalendarDate() const;
    // Recomputes the month, selects the day, repaints, then fires OnChange.
    void SetCalendarDate(TDateTime date);
    int Day() const { return day_; }
    int Month() const { return month_; }
    int Year() const { return year_; }
    // A day of the shown month; ignored when the month has no such day.
    void SetDay(int day);

    // The column of the first weekday, 0 = Sunday .. 6 = Saturday.
    int StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(int day);

    // Month steps keep the day, clamped to the new month's length; year steps
    // turn 29 February into 28 first. Steps outside years 1..9999 do nothing.
    void PrevMonth();
    void NextMonth();
    void PrevYear();
    void NextYear();

    static constexpr int kColumns = 7;
    static constexpr int kRows = 7;
    int GridLineWidth() const { return 1; }
    int ColWidth() const;
    int RowHeight() const;
    CanvasRect CellRect(int col, int row) const;
    // The day names in row 0, day numbers (or nothing) below.
    std::string CellText(int col, int row) const;
    // The cell of a day of the shown month.
    void CellOfDay(int day, int &col, int &row) const;
    // The cell under a point; false outside every cell.
    bool CellAt(int x, int y, int &col, int &row) const;
    int Col() const;
    int Row() const;

    // The canvas cells are drawn on (the backing image).
    qn::Canvas &Canvas();

    std::function<void()> OnChange;
    std::function<void()> OnDblClick;
    // Whether a day of the shown month holds an entry (for readers).
    std::function<bool(int day)> DayHasEntry;

protected:
    // Draws one cell; the brush and text colours are set for its state.
    virtual void DrawCell(int ACol, int ARow, const CanvasRect &ARect, TGridDrawState AState);

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void changeDate(int year, int month, int day);
    void moveByDays(int days);
    int monthOffset() const;
    void invalidate();
    void paintCells();

    int year_ = 0, month_ = 0, day_ = 0;
    int startOfWeek_ = 0;
    bool dirty_ = true;
    QImage image_;
    std::unique_ptr<QtCanvas> canvas_;
};

} // namespace qn
