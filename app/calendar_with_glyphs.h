#pragma once

// The month calendar whose owner draws the day cells: a cell whose text
// starts with a digit goes to DrawCalendarCellEvent when that is set; the
// day names, the empty cells and every cell without a handler are drawn by
// the calendar itself.

#include "app/month_calendar.h"

#include <functional>
#include <string>

namespace qn {

using TDrawCalendarCellEvent =
    std::function<void(qn::Canvas &can, int32_t ACol, int32_t ARow, const CanvasRect &ARect,
                       TGridDrawState AState, const std::string &Celltext)>;

class TCalendarWithGlyphs : public MonthCalendar {
    Q_OBJECT
public:
    explicit TCalendarWithGlyphs(QWidget *parent = nullptr);

    TDrawCalendarCellEvent DrawCalendarCellEvent;

protected:
    void DrawCell(int ACol, int ARow, const CanvasRect &ARect, TGridDrawState AState) override;
};

} // namespace qn
