// A report's conditions as the HTTP API takes them, and the checked request they become.
// POST /api/reports/{n} sends a JSON object:
//   {"conditions": {"BDate": "2025-01-01", ...}, "dsql": {"Select": ...}, "year": 2025,
//    "period": 6, "alarm_days": 3, "columns": ["FMOBillNO", ...]}
// (every member optional); the downloads GET /api/reports/{n}.csv?BDate=2025-01-01&... take
// the conditions as query parameters, with the same other members (columns as a
// comma-separated list, client SQL keys as "dsql.Select" and so on).
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "reports/catalog.h"
#include "reports/condition_check.h"
#include "service/report_runner.h"

namespace orv::http {

struct ReportInput {
  reports::catalog::GivenConditions conditions;
  reports::catalog::GivenConditions dsql;
  std::optional<int32_t> year;
  std::optional<int32_t> period;
  std::optional<int32_t> alarm_days;
  std::vector<std::string> columns;
};

// ApiError 400 "bad_request" for a body that is not such an object.
ReportInput InputFromJson(const std::string& body);
// Query parameters other than the reserved names (year, period, alarm_days, columns and the
// download options captions, lang, bom) are conditions.
ReportInput InputFromQuery(const httplib::Params& params);

// The report of a number; ApiError 404 "no_report" naming the reports there are.
const reports::catalog::ReportEntry& FindReportOr404(const std::string& number);

// The checked request for `dsn`: the catalogue's checks of every condition (ConditionError,
// which the API answers with 400), the data source's defaults, the accounting period of 498
// and 499 (default: the current one; it must be in the calendar), the alarm days of 410.
service::ReportRequest BuildRequest(const reports::catalog::ReportEntry& report,
                                    const ReportInput& input, const std::string& dsn);

}  // namespace orv::http
