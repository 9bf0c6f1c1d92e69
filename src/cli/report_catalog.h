// What orvdata knows about each report: its title, the Filter keys it reads with their meaning
// and the value orvdata sends when the key is not given, its client SQL keys, and the columns
// the text table shows by default. Data only; report_command.cpp runs the reports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orv::cli {

struct ReportKey {
  const char* name;
  const char* meaning;
  const char* fallback;  // sent when the caller does not give the key; nullptr: not sent
};

struct ReportInfo {
  const char* number;  // "400"
  const char* title;
  std::vector<ReportKey> filter_keys;
  bool takes_dsql = false;                 // 401 and 499: client SQL fragments
  bool takes_period = false;               // 498 and 499: --year and --period
  std::vector<std::string> table_columns;  // shown by the text table unless --columns
};

const std::vector<ReportInfo>& Reports();
const ReportInfo* FindReport(std::string_view number);

// The client SQL keys of 401 and 499.
const std::vector<ReportKey>& DsqlKeys();

// The demo's current accounting period, the default of --year/--period.
inline constexpr int kDefaultYear = 2025;
inline constexpr int kDefaultPeriod = 6;

// The help text of a report's keys: one aligned line per key.
std::string KeyHelp(const ReportInfo& report);

}  // namespace orv::cli
