#include "cli/report_catalog.h"

#include <algorithm>

#include "cli/text_width.h"

namespace orv::cli {

namespace {

// The production task reports read task-order status the same way, except 410, which numbers
// the choices from 1.
constexpr const char* kCheckState =
    "task status: 0 approved (status>0), 1 not approved (status 0), other any; "
    "cancelled tasks never show (service default 0)";
constexpr const char* kCheckClose =
    "closed tasks: 0 only closed (status 3), 1 only open, other both (service default 0)";
constexpr const char* kLongNumber =
    "1: item/department/employee ranges compare long numbers (FNumber), 0: short numbers";

// The demo company's data runs through 2024 and 2025.
constexpr const char* kFirstDay = "2024-01-01";
constexpr const char* kLastDay = "2025-12-31";

// The task-order date range and status switches that reports 400, 401 and 406 read alike,
// with defaults that show every task order of the demo company that is not cancelled.
std::vector<ReportKey> TaskKeys(std::vector<ReportKey> rest) {
  std::vector<ReportKey> keys = {
      {"BDate", "task order date from (yyyy-mm-dd)", kFirstDay},
      {"EDate", "task order date to", kLastDay},
      {"CheckState", kCheckState, "2"},
      {"CheckClose", kCheckClose, "2"},
      {"bLongNumber", kLongNumber, "1"},
  };
  keys.insert(keys.end(), rest.begin(), rest.end());
  return keys;
}

std::vector<ReportInfo> Build() {
  std::vector<ReportInfo> reports;
  reports.push_back(ReportInfo{
      "400",
      "task execution summary: planned, finished, received and unreceived quantities per task "
      "order, receipt lines, subtotals, grand total",
      TaskKeys({
          {"BProductBillNo", "task order number from", nullptr},
          {"EProductBillNo", "task order number to", nullptr},
          {"BWorkDate", "work start date from", nullptr},
          {"EWorkDate", "work start date to", nullptr},
          {"BPlanDate", "planned finish date from", nullptr},
          {"EPlanDate", "planned finish date to", nullptr},
          {"BFactDate", "actual finish date from", nullptr},
          {"EFactDate", "actual finish date to", nullptr},
          {"BItemNumber", "product item number from", nullptr},
          {"EItemNumber", "product item number to", nullptr},
          {"BDept", "department number from", nullptr},
          {"EDept", "department number to", nullptr},
          {"BEmp", "employee number from", nullptr},
          {"EEmp", "employee number to", nullptr},
          {"BOrderBillNo", "sales order number from", nullptr},
          {"EOrderBillNo", "sales order number to", nullptr},
          {"BBatchNo", "batch number contains this text", nullptr},
          {"ExecuteState", "1 finished on the planned day, 2 early, 3 late", nullptr},
          {"Dept", "exact department name", nullptr},
          {"DisplayType", "1 hides the per-task subtotal rows", nullptr},
          {"Orderby", "sort columns of the report table, e.g. \"FNameSort desc\"", nullptr},
      }),
      false,
      false,
      {"FMOBillNO", "FDate", "FNumber", "FName", "FStockBillNo", "FStockDate", "FBSPlanUnitName",
       "FBSPlanQty", "FBSFinishQty", "FBSStockQty", "FBSUnStockQty"},
  });
  reports.push_back(ReportInfo{
      "401",
      "planned and finished quantities per item, in base and stock units",
      TaskKeys({
          {"BBillNo", "task order number from", nullptr},
          {"EBillNo", "task order number to", nullptr},
          {"BItemNumber", "item number from", nullptr},
          {"EItemNumber", "item number to", nullptr},
          {"BDept", "department number from", nullptr},
          {"EDept", "department number to", nullptr},
          {"BEmp", "employee number from", nullptr},
          {"EEmp", "employee number to", nullptr},
          {"BBatchNo", "batch number contains this text", nullptr},
      }),
      true,
      false,
      {"FItemNumber", "FItemName", "FModel", "FBaseUnitName", "FBaseQty", "FFinishBQty",
       "FUnFinishBQty", "FStockUnitName", "FStockQty", "FFinishSQty", "FUnFinishSQty"},
  });
  reports.push_back(ReportInfo{
      "406",
      "material usage per task order: standard, planned, actual and difference quantities",
      TaskKeys({
          {"BMOBillNo", "task order number from", nullptr},
          {"EMOBillNo", "task order number to", nullptr},
          {"BItemNumber", "product item number from", nullptr},
          {"EItemNumber", "product item number to", nullptr},
          {"BDeptNumber", "department number from", nullptr},
          {"EDeptNumber", "department number to", nullptr},
          {"BEmpNumber", "employee number from", nullptr},
          {"EEmpNumber", "employee number to", nullptr},
          {"DisplayType", "1 hides the per-task subtotal rows", nullptr},
      }),
      false,
      false,
      {"FMOBillNO", "FPNumber", "FPName", "FItemNumber", "FItemName", "FBSStandardUnitName",
       "FBSStandardQty", "FBSPlanDQty", "FBSfactQty", "FBSDiffQty", "FSituation"},
  });
  reports.push_back(ReportInfo{
      "410",
      "task-order alarm: unfinished task orders near or past their planned finish date",
      {
          {"BWorkDate", "work start date from (yyyy-mm-dd)", "1900-01-01"},
          {"EWorkDate", "work start date to", "2099-12-31"},
          {"BFinishDate", "planned finish date from", "1900-01-01"},
          {"EFinishDate", "planned finish date to", "2099-12-31"},
          {"bLongNumber", kLongNumber, "1"},
          {"CheckState",
           "task status: 1 approved (status>0), 2 not approved (status 0), other any; cancelled "
           "tasks never show",
           nullptr},
          {"CheckClose", "closed tasks: 1 only closed (status 3), 2 only open, other both",
           nullptr},
          {"BMOBillNo", "task order number from", nullptr},
          {"EMOBillNo", "task order number to", nullptr},
          {"BItemNumber", "product item number from", nullptr},
          {"EItemNumber", "product item number to", nullptr},
          {"BDeptNumber", "department number from", nullptr},
          {"EDeptNumber", "department number to", nullptr},
          {"BEmpNumber", "employee number from", nullptr},
          {"EEmpNumber", "employee number to", nullptr},
      },
      false,
      false,
      {"FMOBillNO", "FPNumber", "FPName", "FPlanDate", "FPUnitName", "FPlanQty", "FFinishQty",
       "FUnFinishQty", "FFinishRateStr", "FDept"},
  });
  reports.push_back(ReportInfo{
      "498",
      "period product cost: quantity received and its cost split into material and "
      "apportioned fees",
      {
          {"BItemNumber", "item number from (long number; needs EItemNumber too)", nullptr},
          {"EItemNumber", "item number to", nullptr},
          {"BatchNo", "one batch number; FBATCHNO means every batch", "FBATCHNO"},
      },
      false,
      true,
      {},
  });
  reports.push_back(ReportInfo{
      "499",
      "work-in-process roll-forward: period start, input, output and period end",
      {
          {"BItemNumber", "item number from (long number; needs EItemNumber too)", nullptr},
          {"EItemNumber", "item number to", nullptr},
      },
      true,
      true,
      {},
  });
  return reports;
}

}  // namespace

const std::vector<ReportInfo>& Reports() {
  static const std::vector<ReportInfo> reports = Build();
  return reports;
}

const ReportInfo* FindReport(std::string_view number) {
  for (const auto& report : Reports()) {
    if (number == report.number) return &report;
  }
  return nullptr;
}

const std::vector<ReportKey>& DsqlKeys() {
  static const std::vector<ReportKey> keys = {
      {"Select", "first text of the client batch; with Groupby it builds #DATA", "standard"},
      {"Groupby", "follows Select", "standard"},
      {"ITEMFILTER", "condition put where the fragments say ##ITEMFILTER##", "standard"},
      {"EndSel", "the SELECT whose rows are the result", "standard"},
  };
  return keys;
}

std::string KeyHelp(const ReportInfo& report) {
  size_t width = 0;
  for (const auto& key : report.filter_keys) width = std::max(width, std::string(key.name).size());
  std::string text;
  for (const auto& key : report.filter_keys) {
    std::string line = "  " + std::string(key.name);
    line.append(width + 2 - std::string(key.name).size(), ' ');
    line += key.meaning;
    if (key.fallback != nullptr) line += std::string(" [default ") + key.fallback + "]";
    text += line + "\n";
  }
  return text;
}

}  // namespace orv::cli
