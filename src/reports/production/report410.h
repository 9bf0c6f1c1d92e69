// Report 410: task-order alarm. Lists unfinished task orders whose planned finish date is at
// most the configured number of days ahead (overdue ones included), with a subtotal per month
// and item and a total per month. Text builders and the report body.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "reports/report_context.h"

namespace orv::reports {

// The query of the alarm day count setting.
extern const char* const kRpt410SettingQuery;

// Reads bLongNumber, then BMOBillNo, EMOBillNo, BWorkDate, EWorkDate, BFinishDate,
// EFinishDate, BItemNumber, EItemNumber, BDeptNumber, EDeptNumber, BEmpNumber, EEmpNumber,
// CheckState, CheckClose; returns the condition text (a run of " And ..." fragments).
std::string ReadRpt410Conditions(const automation::Dictionary& filter);

// Batch 1: builds #Data with the task-order rows, subtotals and period totals.
std::string Rpt410Batch1(const std::string& conditions, int32_t alarm_days);

// Batch 2: selects #Data in report order and drops it.
std::string Rpt410Batch2();

// Runs the setting query (the first field of the first row, converted with CLng, when the
// recordset reports more than 0 records; else 0 days), batch 1 and batch 2 on ctx.connection;
// returns the recordset of batch 2. Reading DataRightFrom/DataRightWhere is the caller's.
// Failures propagate unchanged.
std::shared_ptr<ado::Recordset> RunRpt410(ReportContext& ctx, const automation::Dictionary& filter);

}  // namespace orv::reports
