#include "reports/catalog.h"

#include <cctype>

#include "reports/catalog_columns.h"
#include "reports/catalog_keys.h"

namespace orv::reports::catalog {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

ReportEntry Entry(const char* number, const char* zh, const char* en,
                  std::vector<ConditionKey> keys) {
  ReportEntry entry;
  entry.number = number;
  entry.zh = zh;
  entry.en = en;
  entry.keys = std::move(keys);
  return entry;
}

std::vector<ReportEntry> Build() {
  std::vector<ReportEntry> reports;
  ReportEntry r400 = Entry("400", "生产任务执行情况汇总表",
                   "task execution summary: planned, finished, received and unreceived quantities "
                   "per task order, receipt lines, subtotals, grand total",
                   Keys400());
  r400.main_columns = {"FMOBillNO", "FDate", "FNumber", "FName", "FStockBillNo", "FStockDate",
                       "FBSPlanUnitName", "FBSPlanQty", "FBSFinishQty", "FBSStockQty",
                       "FBSUnStockQty"};
  r400.columns = Columns400();
  reports.push_back(std::move(r400));

  ReportEntry r401 = Entry("401", "生产任务计划完工统计表",
                   "planned and finished quantities per item, in base and stock units", Keys401());
  r401.takes_dsql = true;
  r401.main_columns = {"FItemNumber", "FItemName", "FModel", "FBaseUnitName", "FBaseQty",
                       "FFinishBQty", "FUnFinishBQty", "FStockUnitName", "FStockQty",
                       "FFinishSQty", "FUnFinishSQty"};
  r401.columns = Columns401();
  reports.push_back(std::move(r401));

  ReportEntry r406 = Entry("406", "生产任务用料分析表",
                   "material usage per task order: standard, planned, actual and difference "
                   "quantities",
                   Keys406());
  r406.main_columns = {"FMOBillNO", "FPNumber", "FPName", "FItemNumber", "FItemName",
                       "FBSStandardUnitName", "FBSStandardQty", "FBSPlanDQty", "FBSfactQty",
                       "FBSDiffQty", "FSituation"};
  r406.columns = Columns406();
  reports.push_back(std::move(r406));

  ReportEntry r410 = Entry("410", "生产任务预警表",
                   "task-order alarm: unfinished task orders near or past their planned finish date",
                   Keys410());
  r410.takes_alarm_days = true;
  r410.main_columns = {"FMOBillNO", "FPNumber", "FPName", "FPlanDate", "FPUnitName", "FPlanQty",
                       "FFinishQty", "FUnFinishQty", "FFinishRateStr", "FDept"};
  r410.columns = Columns410();
  reports.push_back(std::move(r410));

  ReportEntry r498 = Entry("498", "产品成本明细表",
                   "period product cost: quantity received and its cost split into material and "
                   "apportioned fees",
                   Keys498());
  r498.takes_period = true;
  r498.columns = Columns498();
  reports.push_back(std::move(r498));

  ReportEntry r499 = Entry("499", "在产品成本表",
                   "work-in-process roll-forward: period start, input, output and period end",
                   Keys499());
  r499.takes_dsql = true;
  r499.takes_period = true;
  r499.columns = Columns499();
  reports.push_back(std::move(r499));
  return reports;
}

}  // namespace

const std::vector<ReportEntry>& Reports() {
  static const std::vector<ReportEntry> reports = Build();
  return reports;
}

const ReportEntry* FindReport(std::string_view number) {
  for (const auto& report : Reports()) {
    if (number == report.number) return &report;
  }
  return nullptr;
}

std::string ReportNumbers() {
  std::string text;
  const auto& reports = Reports();
  for (size_t i = 0; i < reports.size(); ++i) {
    if (i > 0) text += i + 1 == reports.size() ? " and " : ", ";
    text += reports[i].number;
  }
  return text;
}

const ConditionKey* FindKey(const ReportEntry& report, std::string_view name) {
  for (const auto& key : report.keys) {
    if (SameName(key.name, name)) return &key;
  }
  return nullptr;
}

const ColumnCaption* FindColumn(const ReportEntry& report, std::string_view name) {
  for (const auto& column : report.columns) {
    if (SameName(column.name, name)) return &column;
  }
  return nullptr;
}

bool IsEnglish(std::string_view language) {
  return language.size() >= 2 && std::tolower(static_cast<unsigned char>(language[0])) == 'e' &&
         std::tolower(static_cast<unsigned char>(language[1])) == 'n';
}

std::string DefaultValue(const ConditionKey& key, const SourceFacts& facts) {
  switch (key.rule) {
    case DefaultRule::kNone:
      return "";
    case DefaultRule::kConstant:
      return key.constant == nullptr ? "" : key.constant;
    case DefaultRule::kYearStart:
      return facts.year_start;
    case DefaultRule::kPeriodEnd:
      return facts.period_end;
  }
  return "";
}

}  // namespace orv::reports::catalog
