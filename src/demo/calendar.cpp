#include "demo/calendar.h"

#include <cstdio>

#include "tsql/types/value_ops.h"

namespace orv::demo {

// Days count from the engine's datetime epoch (1900-01-01), so the engine's calendar
// arithmetic serves here too.
int64_t DaysFromCivil(int year, int month, int day) {
  return tsql::MakeDateTime(year, month, day) / tsql::kTicksPerDay;
}

CivilDate CivilFromDays(int64_t days) {
  CivilDate d{};
  int hour, minute, second, millisecond;
  tsql::SplitDateTime(days * tsql::kTicksPerDay, d.year, d.month, d.day, hour, minute, second, millisecond);
  return d;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string SqlDate(int64_t days) {
  const CivilDate d = CivilFromDays(days);
  char buf[16];
  std::snprintf(buf, sizeof buf, "'%04d%02d%02d'", d.year, d.month, d.day);
  return buf;
}

std::string SqlDateTime(int64_t days, int seconds_of_day) {
  const CivilDate d = CivilFromDays(days);
  char buf[32];
  std::snprintf(buf, sizeof buf, "'%04d%02d%02d %02d:%02d:%02d'", d.year, d.month, d.day,
                seconds_of_day / 3600, seconds_of_day / 60 % 60, seconds_of_day % 60);
  return buf;
}

}  // namespace orv::demo
