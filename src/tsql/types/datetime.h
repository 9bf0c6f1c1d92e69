// Calendar arithmetic on datetime ticks (1/300 s since 1900-01-01): civil dates, the range
// SQL Server allows, reading date/time text, the CONVERT styles for writing it, and the
// datepart-based functions (DATEPART, DATEDIFF, DATEADD).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/types/value.h"

namespace orv::tsql::dt {

// Days since 1900-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(int64_t days, int& year, int& month, int& day);
int DaysInMonth(int year, int month);

int64_t FloorDiv(int64_t a, int64_t b);

// 1753-01-01 00:00:00.000 through 9999-12-31 23:59:59.997.
extern const int64_t kMinTicks;
extern const int64_t kMaxTicks;
inline bool InRange(int64_t ticks) { return ticks >= kMinTicks && ticks <= kMaxTicks; }

// Milliseconds to ticks with datetime's rounding (.xx0, .xx3, .xx7) and back.
inline int64_t MillisToTicks(int64_t ms) { return (ms * 3 + 5) / 10; }
inline int TicksToMillis(int64_t ticks_in_second) {
  return static_cast<int>((ticks_in_second * 10 + 1) / 3);
}

// Order of the day, month and year of numeric date text (SET DATEFORMAT, or a CONVERT style).
enum class DateOrder { kMdy, kDmy, kYmd };

enum class ParseResult { kOk, kInvalid, kOutOfRange };
ParseResult Parse(std::string_view text, DateOrder order, int64_t& ticks);

// The date order CONVERT's style implies when reading text (103 -> dmy, ...).
DateOrder OrderForStyle(int style);

// Writes ticks in a CONVERT style; false when the style is not a date style. date_only
// selects the form of the date type for style 0 ("yyyy-mm-dd").
bool Format(int64_t ticks, int style, bool date_only, std::string& out);

enum class DatePart {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeek,
  kWeekday,
  kHour,
  kMinute,
  kSecond,
  kMillisecond,
};
// "yy", "YEAR", "mm", "dd", "wk", "dw", ... case-insensitive.
std::optional<DatePart> ParseDatePart(std::string_view name);

int64_t Part(DatePart part, int64_t ticks);
// Number of part boundaries crossed from start to end.
int64_t Diff(DatePart part, int64_t start, int64_t end);
// nullopt when the result leaves the datetime range.
std::optional<int64_t> Add(DatePart part, int64_t n, int64_t ticks);

}  // namespace orv::tsql::dt
