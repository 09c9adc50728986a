#pragma once

// Date keys: the diary's records are keyed by their date as "yyyymmdd", so
// that the index order is the date order.

#include "platform/datetime.h"

#include <string>
#include <string_view>

namespace qn {

// The date as eight digits: year (4), month (2), day (2).
std::string DateKey(TDateTime date);

// The key of a day given by its parts (the month callback of the calendar
// forms keys without building dates).
std::string DateKey(int year, int month, int day);

// The date of a key. Anything that is not a valid key (empty, short, not
// digits, no such day) gives today, without a message.
TDateTime STOD(std::string_view key);

} // namespace qn
