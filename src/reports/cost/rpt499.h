// Report 499 (work-in-process cost roll-forward): per product item and batch, the quantity and
// cost in process at period start, the period's input and output, and the period end.
#pragma once

#include <cstdint>
#include <memory>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// The report body after the request frame of the Data class: reads "BItemNumber" and
// "EItemNumber" from `filter` (nullptr raises error 91), creates #T499Detail and #T499, asks
// ctx.get_cur_date and ctx.get_last_period (results ignored; dates stay "" and the previous
// period 0/0 when unknown), gathers the candidate pairs and, when there are any, fills and
// rolls the detail rows forward and copies them into #T499; then runs the client's "Select",
// "Groupby", "ITEMFILTER" and "EndSel" texts from `dsql` (nullptr raises error 91), runs the
// closing batch, signals ctx.mark_complete and returns the closing batch's recordset. Errors
// propagate unchanged. Every member of `ctx` must be set.
std::shared_ptr<ado::Recordset> RunRpt499(ReportContext& ctx, int16_t year, int16_t period,
                                          const automation::Dictionary* dsql,
                                          const automation::Dictionary* filter);

}  // namespace orv::reports
