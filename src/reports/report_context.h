// What a report body needs from the Data object around it: the open connection of the request
// frame, the period look-ups (which go through Data and re-bind the data source), and the
// broker's completion signal for the reports that give it in the middle of their work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ado/connection.h"

namespace orv::reports {

struct ReportContext {
  std::shared_ptr<ado::Connection> connection;

  // GetCurDate(year, period, start, end): true when the period exists; start/end as
  // "yyyy-mm-dd", left untouched otherwise.
  std::function<bool(int32_t year, int32_t period, std::string& start, std::string& end)>
      get_cur_date;
  // GetLastPeriod(year, period, last_year, last_period): true when an earlier period exists.
  std::function<bool(int32_t year, int32_t period, int32_t& last_year, int32_t& last_period)>
      get_last_period;
  // The broker's MarkComplete.
  std::function<void()> mark_complete;
  // Told the name of each step before the report sends its batch (a progress display); may be
  // empty.
  std::function<void(std::string_view step)> step;

  void Step(std::string_view name) const {
    if (step) step(name);
  }
};

}  // namespace orv::reports
