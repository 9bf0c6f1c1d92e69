// Accounting-period look-ups: the period before a given one, a period's first and last day,
// and the number of periods per year (from the system profile).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ado/connection.h"

namespace orv::lookups {

// The statements, exactly as sent.
std::string LastPeriodSql(int32_t year, int32_t period);
std::string CurDateSql(int32_t year, int32_t period);

// The greatest stored period below (year, period), comparing "yyyy" + two-digit period keys as
// text. False (outputs untouched) when there is none. Failures propagate unchanged.
bool GetLastPeriod(ado::Connection& connection, int32_t year, int32_t period, int32_t& last_year,
                   int32_t& last_period);

// The first and last day of (year, period) as "yyyy-mm-dd". False (outputs untouched) when the
// period is not stored. Failures propagate unchanged.
bool GetCurDate(ado::Connection& connection, int32_t year, int32_t period, std::string& start_date,
                std::string& end_date);

// The data source's current accounting period: the latest stored period that has begun by the
// data source's own clock (GETDATE()), with its first and last day as "yyyy-mm-dd", and the
// data source's date. False when no stored period has begun. Failures propagate unchanged.
struct CurrentPeriod {
  int32_t year = 0;
  int32_t period = 0;
  std::string start_date;
  std::string end_date;
  std::string today;
};
std::string CurrentPeriodSql();
bool GetCurrentPeriod(ado::Connection& connection, CurrentPeriod& current);

// Periods per year: the "GL"/"PeriodCount" profile read through "OrvPellBase.SystemProfile".
// Raises when the reader is missing, the profile absent or not numeric.
int32_t ReadPeriodCount(std::string& sDsn);

}  // namespace orv::lookups
