// The batches a report sends, in order, built without running it (orvdata report --sql). The
// values that the reports look up while they run (the alarm day count of 410, the period dates
// of 498 and 499) are given by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automation/collections.h"

namespace orv::cli {

// What the cost reports learn from GetCurDate and GetLastPeriod.
struct PeriodDates {
  std::string start;  // "yyyy-mm-dd"; "" when the period is unknown
  std::string end;
  int32_t last_year = 0;  // 0 when there is no earlier period
  int32_t last_period = 0;
};

// The calendar month `period` of `year` as the period (and the month before as the previous
// one): what --sql uses when no data source is given.
PeriodDates CalendarMonth(int32_t year, int32_t period);

// The batches in the order the report sends them. For 499, batches 4 to 13 (index 3 to 12) run
// only when the candidate batch (batch 3) returns rows.
struct BatchPlan {
  std::vector<std::string> batches;
};

BatchPlan Batches400(const automation::Dictionary& filter);
BatchPlan Batches401(const automation::Dictionary& filter, const automation::Dictionary& dsql);
BatchPlan Batches406(const automation::Dictionary& filter);
BatchPlan Batches410(const automation::Dictionary& filter, int32_t alarm_days);
BatchPlan Batches498(const automation::Dictionary& filter, const PeriodDates& dates);
BatchPlan Batches499(const automation::Dictionary& filter, const automation::Dictionary& dsql,
                     int32_t year, int32_t period, const PeriodDates& dates);

}  // namespace orv::cli
