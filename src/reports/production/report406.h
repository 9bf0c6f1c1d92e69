// Report 406: production task material usage. Text builders for its batch and final SELECT,
// and the report body.
#pragma once

#include <memory>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// The condition text W (a run of " And ..." fragments; it always holds the two date clauses
// and a CheckState clause) and DisplayType = 1 (hide the per-task subtotal rows).
struct Rpt406Conditions {
  std::string where;
  bool hide_subtotals = false;
};

// Reads bLongNumber, BMOBillNo, EMOBillNo, bLongNumber again, BDate, EDate, BItemNumber,
// EItemNumber, BDeptNumber, EDeptNumber, BEmpNumber, EEmpNumber, CheckState, CheckClose,
// DisplayType.
Rpt406Conditions ReadRpt406Conditions(const automation::Dictionary& filter);

// The one batch that builds and fills #Data.
std::string Rpt406Batch(const Rpt406Conditions& conditions);
std::string Rpt406Batch(const automation::Dictionary& filter);

// The SELECT that returns #Data in report order and drops it.
std::string Rpt406FinalSelect(bool hide_subtotals);
std::string Rpt406FinalSelect(const automation::Dictionary& filter);

// Runs the batch and the final SELECT on ctx.connection; returns the SELECT's recordset.
// Failures propagate unchanged.
std::shared_ptr<ado::Recordset> RunRpt406(ReportContext& ctx, const automation::Dictionary& filter);

}  // namespace orv::reports
