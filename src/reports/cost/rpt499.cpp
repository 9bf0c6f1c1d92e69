#include "reports/cost/rpt499.h"

#include <string>

#include "automation/error.h"
#include "automation/variant.h"
#include "reports/cost/rpt499_movement_sql.h"
#include "reports/cost/rpt499_sql.h"

namespace orv::reports {

std::shared_ptr<ado::Recordset> RunRpt499(ReportContext& ctx, int16_t year, int16_t period,
                                          const automation::Dictionary* dsql,
                                          const automation::Dictionary* filter) {
  using automation::CStr;
  // Filter is declared optional but used without a test: a missing one is "object not set".
  if (filter == nullptr) automation::Raise(automation::err::kObjectNotSet);
  const std::string b_item = CStr(filter->Item("BItemNumber"));
  const std::string e_item = CStr(filter->Item("EItemNumber"));
  ado::Connection& cn = *ctx.connection;

  ctx.Step("work tables");
  cn.Execute(cost::Rpt499CreateTableSql("#T499Detail"));
  cn.Execute(cost::Rpt499CreateTableSql("#T499"));

  cost::Rpt499Period p;
  p.year = year;
  p.period = period;
  ctx.Step("period dates");
  ctx.get_cur_date(year, period, p.start, p.end);
  ctx.get_last_period(year, period, p.last_year, p.last_period);
  p.start = automation::Format(automation::Variant(p.start), "YYYY-MM-DD");
  p.end = automation::Format(automation::Variant(p.end), "YYYY-MM-DD");

  // Only the emptiness of the candidate rows is looked at; with none, #T499Detail and #T499
  // stay empty and the client batches still run.
  ctx.Step("items in process");
  const auto candidates = cn.Execute(cost::Rpt499CandidateSql(p));
  if (!candidates) automation::Raise(automation::err::kObjectNotSet);
  if (!candidates->BOF()) {
    cn.Execute(cost::Rpt499DetailRowsSql());
    ctx.Step("period start");
    cn.Execute(cost::Rpt499StartNumSql(p));
    cn.Execute(cost::Rpt499StartCostSql(p));
    ctx.Step("input of the period");
    cn.Execute(cost::Rpt499InCostSql(p));
    cn.Execute(cost::Rpt499InNumSql(p));
    ctx.Step("output of the period");
    cn.Execute(cost::Rpt499OutSql(p));
    cn.Execute(cost::Rpt499OutPriceSql());
    ctx.Step("period end");
    cn.Execute(cost::Rpt499EndNumSql(p));
    cn.Execute(cost::Rpt499EndCostSql(p));
    cn.Execute(cost::Rpt499EndPriceAndCopySql(b_item, e_item));
  }

  if (dsql == nullptr) automation::Raise(automation::err::kObjectNotSet);
  const std::string select = CStr(dsql->Item("Select"));
  const std::string group_by = CStr(dsql->Item("Groupby"));
  const std::string item_filter = CStr(dsql->Item("ITEMFILTER"));
  const std::string end_select = CStr(dsql->Item("EndSel"));
  ctx.Step("grouping with the client's SQL");
  cn.Execute(cost::Rpt499ClientSql(select, group_by, item_filter, end_select));

  auto result = cn.Execute(cost::Rpt499LastSql(CStr(dsql->Item("EndSel"))));
  ctx.mark_complete();
  return result;
}

}  // namespace orv::reports
