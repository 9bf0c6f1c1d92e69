// Calendar arithmetic on datetime ticks (1/300 s since 1900-01-01): civil dates, the range
// SQL Server allows, reading date/time text, the CONVERT styles for writing it, and the
// datepart-based functions (DATEPART, DATEDIFF, DATEADD).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/types/types.h"
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
enum class DateOrder { kMdy, kDmy, kYmd, kYdm, kMyd, kDym };

// The languages whose date names the engine knows (SET LANGUAGE).
enum class Language { kUsEnglish, kDeutsch };

// The session settings that change how dates read and print: SET DATEFORMAT, SET LANGUAGE,
// SET DATEFIRST. A session installs its own on the thread that runs its batch.
struct DateSettings {
  DateOrder order = DateOrder::kMdy;
  Language language = Language::kUsEnglish;
  int datefirst = 7;  // 1 = Monday .. 7 = Sunday
};
DateSettings& CurrentDateSettings();

// Month (1-12) and weekday (0 = Sunday) names in the session's language.
std::string_view MonthName(int month, Language language);
std::string_view WeekdayName(int weekday, Language language);

enum class ParseResult { kOk, kInvalid, kOutOfRange };
ParseResult Parse(std::string_view text, DateOrder order, int64_t& ticks);

// The date order CONVERT's style implies when reading text (103 -> dmy, ...).
DateOrder OrderForStyle(int style);

// ---- time, datetime2 and datetimeoffset: 100 ns units since 0001-01-01 -------------------

inline constexpr int64_t kUnitsPerSecond = 10'000'000;
inline constexpr int64_t kUnitsPerDay = kUnitsPerSecond * 86400;
inline constexpr int64_t kDaysTo1900 = 693595;  // 0001-01-01 to 1900-01-01
extern const int64_t kMaxUnits;                  // 9999-12-31 23:59:59.9999999

// Date and time text read at 100 ns: years from 1, seven fraction digits, an optional time
// zone offset ("+05:30", "Z"). Without a date part the date is 1900-01-01.
struct Stamp {
  int64_t units = 0;  // local date and time
  int offset = 0;     // minutes
  bool has_date = false, has_time = false, has_offset = false;
};
ParseResult ParsePrecise(std::string_view text, DateOrder order, Stamp& out);

// units rounded to `scale` fraction digits (half up).
int64_t RoundUnits(int64_t units, int scale);
// datetime ticks (1/300 s since 1900) to units and back (to the nearest 1/300 s).
int64_t UnitsFromTicks(int64_t ticks);
int64_t TicksFromUnits(int64_t units);

// Writes a time (units since midnight), datetime2 or datetimeoffset value in a CONVERT style
// with `scale` fraction digits; false when the style is not a date style.
bool FormatPrecise(int64_t units, int offset, TypeId id, int scale, int style, std::string& out);

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
  kMicrosecond,
  kNanosecond,
  kTzOffset,
  kIsoWeek,
};
// "yy", "YEAR", "mm", "dd", "wk", "dw", ... case-insensitive.
std::optional<DatePart> ParseDatePart(std::string_view name);

int64_t Part(DatePart part, int64_t ticks);
// Number of part boundaries crossed from start to end.
int64_t Diff(DatePart part, int64_t start, int64_t end);
// nullopt when the result leaves the datetime range.
std::optional<int64_t> Add(DatePart part, int64_t n, int64_t ticks);

// The same on 100 ns units since 0001-01-01 (time, datetime2, datetimeoffset and mixed
// arguments). AddUnits gives nullopt outside 0001-01-01 .. 9999-12-31.
int64_t PartUnits(DatePart part, int64_t units);
int64_t DiffUnits(DatePart part, int64_t start, int64_t end);
std::optional<int64_t> AddUnits(DatePart part, int64_t n, int64_t units);

}  // namespace orv::tsql::dt
