// Dates as text: reading the date texts the platform accepts, the fixed text form of a Date,
// and date patterns such as "YYYY-MM-DD" for Format.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orv::automation::internal {

// A text that reads as a date: "yyyy-m-d", "yyyy/m/d" or "yyyy.m.d" (the same separator
// twice, four-digit year, a real calendar day), optionally followed by a space (or 'T') and
// "h:mm", "h:mm:ss" or "h:mm:ss.fff". Spaces around are allowed. "20240105" is not a date.
std::optional<DateValue> ParseDateText(std::string_view text);

// "yyyy-mm-dd hh:mm:ss", or "yyyy-mm-dd" when the time rounds to 00:00:00.
std::string DateToText(const DateValue& date);

// Whether a Format pattern is a date pattern: only the tokens yyyy, yy, m, mm, d, dd, h, hh,
// n, nn, s, ss (any case; m/mm after an hour token means minutes) and non-letters.
bool IsDatePattern(std::string_view pattern);

// Lays out a date by a pattern for which IsDatePattern holds.
std::string FormatDate(const DateValue& date, std::string_view pattern);

}  // namespace orv::automation::internal
