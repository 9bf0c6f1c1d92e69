#include "service/report_runner.h"

#include "ado/recording_provider.h"
#include "automation/error.h"
#include "reports/cost/rpt499_client.h"
#include "reports/production/report401.h"
#include "reports/production/report410.h"

namespace orv::service {

namespace {

RecordsetRef Dispatch(Data& data, const std::string& dsn, const ReportRequest& r) {
  const auto year = static_cast<int16_t>(r.year);
  const auto period = static_cast<int16_t>(r.period);
  if (r.number == "400") return data.GetRpt400Data(dsn, r.filter);
  if (r.number == "401") return data.GetRpt401Data(dsn, r.dsql, r.filter);
  if (r.number == "406") return data.GetRpt406Data(dsn, r.filter);
  if (r.number == "410") return data.GetRpt410Data(dsn, r.filter);
  if (r.number == "498") return data.Get498HappenData(dsn, year, period, nullptr, r.filter);
  if (r.number == "499") return data.Get499HappenData(dsn, year, period, r.dsql, r.filter);
  automation::Raise(automation::err::kInvalidProcedureCall, "orvdata",
                    "there is no report " + r.number);
}

// The answer of the alarm day count setting query: one row, one column.
std::vector<ado::ProviderResult> AlarmDaysAnswer(int32_t days) {
  ado::ProviderResult rows;
  rows.kind = ado::ProviderResult::Kind::Rows;
  rows.columns.push_back(ado::ColumnInfo{"FValue", "varchar(255)"});
  rows.rows.push_back({automation::Variant(std::to_string(days))});
  return {std::move(rows)};
}

}  // namespace

DictionaryRef StandardDsql(const std::string& number) {
  if (number == "401") return reports::Rpt401StandardFragments();
  if (number == "499") return reports::Rpt499StandardFragments();
  return nullptr;
}

RecordsetRef RunReport(const std::string& dsn, const ReportRequest& request,
                       const std::function<std::string(const std::string&)>& track) {
  std::string target = dsn;
  std::shared_ptr<ado::Recording> recording;
  if (request.alarm_days) {
    recording = ado::StartRecording(dsn, ado::Recording::Mode::kForwardAll);
    recording->Answer(reports::kRpt410SettingQuery, AlarmDaysAnswer(*request.alarm_days));
    target = recording->connection_text();
  }
  Data data;
  return Dispatch(data, track ? track(target) : target, request);
}

std::vector<std::string> ReportBatches(const std::string& dsn, const ReportRequest& request) {
  auto recording = ado::StartRecording(dsn, ado::Recording::Mode::kQueriesOnly);
  if (request.alarm_days) {
    recording->Answer(reports::kRpt410SettingQuery, AlarmDaysAnswer(*request.alarm_days));
  }
  Data data;
  Dispatch(data, recording->connection_text(), request);
  return recording->Batches();
}

}  // namespace orv::service
