// Running a report by its number through the public operations of Data, for the front ends
// (command line, HTTP): the conditions as a request, the run itself, and the batches a run
// sends, found by asking the service (a recording connection forwards the look-ups the report
// needs to the data source and keeps the other batches), so no front end rebuilds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/data.h"

namespace orv::service {

struct ReportRequest {
  std::string number;            // "400"
  DictionaryRef filter;          // the checked conditions (reports/condition_check.h)
  DictionaryRef dsql;            // 401 and 499: the client's SQL fragments
  int32_t year = 0;              // 498 and 499
  int32_t period = 0;
  std::optional<int32_t> alarm_days;  // 410: run as if the setting were this (the data source
                                      // is not changed)
};

// The standard client fragments of 401 or 499 (nullptr for the other reports).
DictionaryRef StandardDsql(const std::string& number);

// Runs the report on `dsn`; raises what the operation raises. `track` wraps the connection text
// the operation is given (a progress display); identity when empty.
RecordsetRef RunReport(const std::string& dsn, const ReportRequest& request,
                       const std::function<std::string(const std::string&)>& track = {});

// The batches the report sends on `dsn`, in order, look-ups included, without running the
// others: the look-ups (period dates, settings) are answered by the data source; every other
// batch is taken as returning rows, so batches sent only when an earlier one returned rows
// are shown too.
std::vector<std::string> ReportBatches(const std::string& dsn, const ReportRequest& request);

}  // namespace orv::service
