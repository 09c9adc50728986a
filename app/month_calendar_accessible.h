#pragma once

// What assistive technology sees of a month calendar: a list of the month's
// days, each named by its date in words and whether it holds an entry; the
// chosen day is the focused item, announced as the choice moves.

#include <QString>

namespace qn {

class MonthCalendar;

// Makes Qt's accessibility use this description (once per program).
void InstallCalendarAccessibility();

// The name a reader says for a day of the calendar's month.
QString CalendarDayName(const MonthCalendar &calendar, int day);

// Tells assistive technology which day has the focus now.
void AnnounceCalendarDay(MonthCalendar *calendar);

} // namespace qn
