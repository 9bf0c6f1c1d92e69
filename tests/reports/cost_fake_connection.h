// A connection for running the cost reports without a database: its provider records every
// batch and answers from a test-supplied function, and the report context's callbacks write to
// the same event log, so tests can check the order of batches, look-ups and completion.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "ado/provider.h"
#include "reports/report_context.h"

namespace cost_test {

struct CostRun {
  std::vector<std::string> batches;  // texts received, in order
  std::vector<std::string> events;   // "batch <n>", "cur_date", "last_period", "complete"
  // Answers one batch; by default a row count.
  std::function<std::vector<orv::ado::ProviderResult>(size_t index, std::string_view text)> answer;

  // The period look-ups' answers.
  bool period_known = true;
  std::string start = "2024-01-01";
  std::string end = "2024-01-31";
  int32_t last_year = 2023;
  int32_t last_period = 12;
  std::vector<int32_t> asked;  // year, period of each look-up

  orv::reports::ReportContext Context();
};

inline orv::ado::ProviderResult RowsResult(std::string marker, size_t row_count) {
  orv::ado::ProviderResult r;
  r.kind = orv::ado::ProviderResult::Kind::Rows;
  r.columns = {{"Marker", "varchar(20)"}};
  for (size_t i = 0; i < row_count; ++i) r.rows.push_back({orv::automation::Variant(marker)});
  return r;
}

inline orv::ado::ProviderResult ErrorResult(std::string message) {
  orv::ado::ProviderResult r;
  r.kind = orv::ado::ProviderResult::Kind::Error;
  r.error.native = 208;
  r.error.message = std::move(message);
  return r;
}

class RecordingProvider : public orv::ado::ProviderConnection {
 public:
  explicit RecordingProvider(CostRun* run) : run_(run) {}
  std::vector<orv::ado::ProviderResult> ExecuteBatch(std::string_view text) override {
    const size_t index = run_->batches.size();
    run_->batches.emplace_back(text);
    run_->events.push_back("batch " + std::to_string(index));
    if (run_->answer) return run_->answer(index, text);
    orv::ado::ProviderResult r;
    r.kind = orv::ado::ProviderResult::Kind::RowCount;
    return {r};
  }

 private:
  CostRun* run_;
};

inline orv::reports::ReportContext CostRun::Context() {
  orv::reports::ReportContext ctx;
  ctx.connection = std::make_shared<orv::ado::Connection>(
      orv::ado::ConnectionString("Provider=Recording"), std::make_unique<RecordingProvider>(this));
  ctx.get_cur_date = [this](int32_t year, int32_t period, std::string& s, std::string& e) {
    events.push_back("cur_date");
    asked.insert(asked.end(), {year, period});
    if (!period_known) return false;
    s = start;
    e = end;
    return true;
  };
  ctx.get_last_period = [this](int32_t year, int32_t period, int32_t& ly, int32_t& lp) {
    events.push_back("last_period");
    asked.insert(asked.end(), {year, period});
    if (!period_known) return false;
    ly = last_year;
    lp = last_period;
    return true;
  };
  ctx.mark_complete = [this] { events.push_back("complete"); };
  return ctx;
}

}  // namespace cost_test
