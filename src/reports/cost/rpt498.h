// Report 498 (period product cost): cost of the finished products received in one accounting
// period per item and batch, split into material and apportioned fees, with a unit price.
#pragma once

#include <cstdint>
#include <memory>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// The report body after the request frame (MarkAbort, BindDataSource, Connection) of the Data
// class: reads "BItemNumber", "EItemNumber" and "BatchNo" from `filter` (nullptr raises error
// 91), asks ctx.get_cur_date for the period's dates (its result is ignored; the dates stay ""
// when the period is unknown), sends the batch through a "daroz.stringbuilder" line by line,
// signals ctx.mark_complete, and returns the recordset of the select that returns and drops
// #T498. `dsql` is not read. Errors propagate unchanged; the caller turns them into the
// service error. Every member of `ctx` must be set.
std::shared_ptr<ado::Recordset> RunRpt498(ReportContext& ctx, int16_t year, int16_t period,
                                          const automation::Dictionary* dsql,
                                          const automation::Dictionary* filter);

}  // namespace orv::reports
