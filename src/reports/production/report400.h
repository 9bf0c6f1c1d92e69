// Report 400: production task execution summary. Batch 1 selects the task orders into #T400,
// converts their quantities, collects their product receipts into #T400_1 and builds the
// report table #Data (task rows, receipt rows, a subtotal per task order, a grand total);
// batch 2 selects #Data in the caller's order and drops the three tables.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// What the task-order selection reads from Filter: the task conditions, the task bill-number
// conditions (each a run of " And ..." fragments) and, when the key "Dept" exists, the quoted
// department name.
struct Rpt400Conditions {
  std::string task;
  std::string bill;
  std::optional<std::string> dept;
};

// Reads bLongNumber and then the condition keys in the report's order.
Rpt400Conditions ReadRpt400Conditions(const automation::Dictionary& filter);

// Pieces of batch 1, in batch order.
std::string Rpt400TaskOrderStatements(const Rpt400Conditions& conditions);  // #T400
std::string Rpt400StockInStatements();                                       // #T400_1
std::string Rpt400ReportTableStatements();                                   // #Data

std::string Rpt400Batch1(const Rpt400Conditions& conditions);
std::string Rpt400Batch1(const automation::Dictionary& filter);

// Batch 2: reads DisplayType and Orderby.
std::string Rpt400Batch2(const automation::Dictionary& filter);

// Runs batch 1 and batch 2 on ctx.connection; returns the recordset of batch 2. Failures
// propagate unchanged.
std::shared_ptr<ado::Recordset> RunRpt400(ReportContext& ctx, const automation::Dictionary& filter);

}  // namespace orv::reports
