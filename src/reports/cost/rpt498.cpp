#include "reports/cost/rpt498.h"

#include <string>

#include "automation/error.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "reports/cost/rpt498_sql.h"

namespace orv::reports {

std::shared_ptr<ado::Recordset> RunRpt498(ReportContext& ctx, int16_t year, int16_t period,
                                          const automation::Dictionary* /*dsql*/,
                                          const automation::Dictionary* filter) {
  // Filter is declared optional but used without a test: a missing one is "object not set".
  if (filter == nullptr) automation::Raise(automation::err::kObjectNotSet);
  cost::Rpt498Conditions conditions;
  conditions.b_item_number = automation::CStr(filter->Item("BItemNumber"));
  conditions.e_item_number = automation::CStr(filter->Item("EItemNumber"));
  conditions.batch_no = automation::CStr(filter->Item("BatchNo"));

  std::string start;
  std::string end;
  ctx.Step("period dates");
  ctx.get_cur_date(year, period, start, end);  // unknown period: both stay empty

  const auto builder =
      automation::As<automation::StringBuilder>(automation::CreateInstance("daroz.stringbuilder"));
  const cost::BatchText batch = cost::Rpt498Batch(start, end, conditions);
  for (const auto& line : batch.lines()) builder->Append(line);
  ctx.Step("received products and their costs");
  ctx.connection->Execute(builder->StringValue());
  ctx.mark_complete();
  ctx.Step("reading the report table");
  return ctx.connection->Execute(cost::kRpt498FinalSelect);
}

}  // namespace orv::reports
