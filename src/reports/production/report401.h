// Report 401: planned and finished quantities per production task line. The service selects
// the matching task lines into #T401; the report client's SQL fragments (dSql) group them into
// #DATA, and the service completes names, units and precisions before the client's final
// SELECT. Text builders, the report body, and the standard client fragments.
#pragma once

#include <memory>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// The two condition texts of the task-line selection: `main` (dates, item, department,
// employee, batch, status) and `bill` (task bill-number range), each a run of " And ..."
// fragments.
struct Rpt401Conditions {
  std::string main;
  std::string bill;
};

// Reads the Filter keys in the report's order (BBillNo, EBillNo, bLongNumber, BDate, EDate,
// BItemNumber, EItemNumber, BDept, EDept, BEmp, EEmp, BBatchNo, CheckState, CheckClose).
Rpt401Conditions ReadRpt401Conditions(const automation::Dictionary& filter);

// Batch 1: drops and creates #T401 and fills it with the selected task lines.
std::string Rpt401Batch1(const Rpt401Conditions& conditions);
std::string Rpt401Batch1(const automation::Dictionary& filter);

// Batch 2: the client's "Select" and "Groupby", the service's updates of #DATA, the client's
// "EndSel" (joined to the last update with no line break), with every "##ITEMFILTER##"
// replaced by " And " + "ITEMFILTER"; then drops #T401.
std::string Rpt401Batch2(const automation::Dictionary& dsql);

// Runs both batches on ctx.connection and returns the recordset of batch 2. A missing filter
// raises error 91; every other failure propagates unchanged.
std::shared_ptr<ado::Recordset> RunRpt401(ReportContext& ctx, const automation::Dictionary& dsql,
                                          const automation::Dictionary* filter);

// The fragments a standard report client sends: group #T401 by item number into #DATA (with
// every column batch 2 updates) and select #DATA by item number. Keys "Select", "Groupby",
// "ITEMFILTER" (a condition that is always true) and "EndSel".
std::shared_ptr<automation::Dictionary> Rpt401StandardFragments();

}  // namespace orv::reports
