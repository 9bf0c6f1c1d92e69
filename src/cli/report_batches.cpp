#include "cli/report_batches.h"

#include <cstdio>

#include "automation/variant.h"
#include "reports/cost/rpt498_sql.h"
#include "reports/cost/rpt499_movement_sql.h"
#include "reports/cost/rpt499_sql.h"
#include "reports/production/report400.h"
#include "reports/production/report401.h"
#include "reports/production/report406.h"
#include "reports/production/report410.h"

namespace orv::cli {

namespace {

using automation::CStr;

std::string Ymd(int32_t year, int32_t month, int32_t day) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", static_cast<int>(year), static_cast<int>(month),
                static_cast<int>(day));
  return buf;
}

}  // namespace

PeriodDates CalendarMonth(int32_t year, int32_t period) {
  PeriodDates dates;
  if (period >= 1 && period <= 12) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = kDays[period - 1] + (period == 2 && leap ? 1 : 0);
    dates.start = Ymd(year, period, 1);
    dates.end = Ymd(year, period, last);
    dates.last_year = period == 1 ? year - 1 : year;
    dates.last_period = period == 1 ? 12 : period - 1;
  }
  return dates;
}

BatchPlan Batches400(const automation::Dictionary& filter) {
  return {{reports::Rpt400Batch1(filter), reports::Rpt400Batch2(filter)}};
}

BatchPlan Batches401(const automation::Dictionary& filter, const automation::Dictionary& dsql) {
  return {{reports::Rpt401Batch1(filter), reports::Rpt401Batch2(dsql)}};
}

BatchPlan Batches406(const automation::Dictionary& filter) {
  return {{reports::Rpt406Batch(filter), reports::Rpt406FinalSelect(filter)}};
}

BatchPlan Batches410(const automation::Dictionary& filter, int32_t alarm_days) {
  return {{reports::kRpt410SettingQuery,
           reports::Rpt410Batch1(reports::ReadRpt410Conditions(filter), alarm_days),
           reports::Rpt410Batch2()}};
}

BatchPlan Batches498(const automation::Dictionary& filter, const PeriodDates& dates) {
  reports::cost::Rpt498Conditions conditions;
  conditions.b_item_number = CStr(filter.Item("BItemNumber"));
  conditions.e_item_number = CStr(filter.Item("EItemNumber"));
  conditions.batch_no = CStr(filter.Item("BatchNo"));
  return {{reports::cost::Rpt498Batch(dates.start, dates.end, conditions).Text(),
           std::string(reports::cost::kRpt498FinalSelect)}};
}

BatchPlan Batches499(const automation::Dictionary& filter, const automation::Dictionary& dsql,
                     int32_t year, int32_t period, const PeriodDates& dates) {
  namespace cost = reports::cost;
  cost::Rpt499Period p;
  p.year = year;
  p.period = period;
  p.start = automation::Format(automation::Variant(dates.start), "YYYY-MM-DD");
  p.end = automation::Format(automation::Variant(dates.end), "YYYY-MM-DD");
  p.last_year = dates.last_year;
  p.last_period = dates.last_period;
  BatchPlan plan;
  plan.batches = {cost::Rpt499CreateTableSql("#T499Detail"), cost::Rpt499CreateTableSql("#T499"),
                  cost::Rpt499CandidateSql(p)};
  for (std::string batch :
       {cost::Rpt499DetailRowsSql(), cost::Rpt499StartNumSql(p), cost::Rpt499StartCostSql(p),
        cost::Rpt499InCostSql(p), cost::Rpt499InNumSql(p), cost::Rpt499OutSql(p),
        cost::Rpt499OutPriceSql(), cost::Rpt499EndNumSql(p), cost::Rpt499EndCostSql(p),
        cost::Rpt499EndPriceAndCopySql(CStr(filter.Item("BItemNumber")),
                                       CStr(filter.Item("EItemNumber")))}) {
    plan.batches.push_back(std::move(batch));
  }
  plan.batches.push_back(
      cost::Rpt499ClientSql(CStr(dsql.Item("Select")), CStr(dsql.Item("Groupby")),
                            CStr(dsql.Item("ITEMFILTER")), CStr(dsql.Item("EndSel"))));
  plan.batches.push_back(cost::Rpt499LastSql(CStr(dsql.Item("EndSel"))));
  return plan;
}

}  // namespace orv::cli
