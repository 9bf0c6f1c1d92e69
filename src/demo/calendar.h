// Civil-date arithmetic for the demo generator: days since 1900-01-01 and back, and the SQL
// text forms the generated batches use ('yyyymmdd', which every server reads the same way).
#pragma once

#include <cstdint>
#include <string>

namespace orv::demo {

struct CivilDate {
  int year;
  int month;
  int day;
};

int64_t DaysFromCivil(int year, int month, int day);
CivilDate CivilFromDays(int64_t days);
int DaysInMonth(int year, int month);

// 'yyyymmdd' and 'yyyymmdd hh:mi:ss' literals, quotes included.
std::string SqlDate(int64_t days);
std::string SqlDateTime(int64_t days, int seconds_of_day);

}  // namespace orv::demo
