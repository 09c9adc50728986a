#include "app/calendar_with_glyphs.h"

namespace qn {

TCalendarWithGlyphs::TCalendarWithGlyphs(QWidget *parent) : MonthCalendar(parent) {}

void TCalendarWithGlyphs::DrawCell(int ACol, int ARow, const CanvasRect &ARect,
                                   TGridDrawState AState)
{
    const std::string text = CellText(ACol, ARow);
    if (DrawCalendarCellEvent && !text.empty() && text[0] >= '0' && text[0] <= '9') {
        DrawCalendarCellEvent(Canvas(), ACol, ARow, ARect, AState, text);
        return;
    }
    MonthCalendar::DrawCell(ACol, ARow, ARect, AState);
}

} // namespace qn
