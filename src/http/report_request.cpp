#include "http/report_request.h"

#include <cstdint>

#include "automation/variant.h"
#include "export/result_table.h"
#include "http/api_error.h"
#include "service/data.h"
#include "service/source_facts.h"

namespace orv::http {

namespace {

namespace catalog = reports::catalog;

automation::Variant FromJson(const std::string& key, const nlohmann::json& value) {
  if (value.is_string()) return automation::Variant(value.get<std::string>());
  if (value.is_boolean()) return automation::Variant(value.get<bool>());
  if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
      value.get<int64_t>() <= INT32_MAX) {
    return automation::Variant(static_cast<int32_t>(value.get<int64_t>()));
  }
  if (value.is_number()) return automation::Variant(value.get<double>());
  if (value.is_null()) return automation::Variant::Null();
  throw ApiError(400, "bad_request",
                 "the value of \"" + key + "\" must be a text, a number, true, false or null");
}

catalog::GivenConditions Conditions(const nlohmann::json& object, const char* member) {
  catalog::GivenConditions given;
  if (object.is_null()) return given;
  if (!object.is_object()) {
    throw ApiError(400, "bad_request", std::string("\"") + member + "\" must be a JSON object");
  }
  for (const auto& [key, value] : object.items()) given.emplace_back(key, FromJson(key, value));
  return given;
}

std::optional<int32_t> WholeNumber(const nlohmann::json& body, const char* member) {
  if (!body.contains(member) || body[member].is_null()) return std::nullopt;
  const nlohmann::json& value = body[member];
  if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
      value.get<int64_t>() <= INT32_MAX) {
    return static_cast<int32_t>(value.get<int64_t>());
  }
  throw ApiError(400, "bad_request", std::string("\"") + member + "\" must be a whole number");
}

std::optional<int32_t> WholeNumber(const httplib::Params& params, const char* name) {
  auto it = params.find(name);
  if (it == params.end() || it->second.empty()) return std::nullopt;
  try {
    size_t used = 0;
    const long value = std::stol(it->second, &used);
    if (used == it->second.size() && value >= INT32_MIN && value <= INT32_MAX) {
      return static_cast<int32_t>(value);
    }
  } catch (const std::exception&) {
  }
  throw ApiError(400, "bad_request",
                 std::string(name) + "=" + it->second + ": must be a whole number");
}

bool IsReserved(const std::string& name) {
  for (const char* reserved :
       {"year", "period", "alarm_days", "columns", "captions", "lang", "bom"}) {
    if (name == reserved) return true;
  }
  return false;
}

}  // namespace

ReportInput InputFromJson(const std::string& body) {
  ReportInput input;
  if (body.empty()) return input;
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(body);
  } catch (const nlohmann::json::exception& e) {
    throw ApiError(400, "bad_request", std::string("the body is not valid JSON: ") + e.what());
  }
  if (!json.is_object()) throw ApiError(400, "bad_request", "the body must be a JSON object");
  for (const auto& [key, value] : json.items()) {
    if (key != "conditions" && key != "dsql" && key != "year" && key != "period" &&
        key != "alarm_days" && key != "columns") {
      throw ApiError(400, "bad_request",
                     "unknown member \"" + key +
                         "\"; the body takes conditions, dsql, year, period, alarm_days, columns");
    }
  }
  input.conditions = Conditions(json.value("conditions", nlohmann::json()), "conditions");
  input.dsql = Conditions(json.value("dsql", nlohmann::json()), "dsql");
  input.year = WholeNumber(json, "year");
  input.period = WholeNumber(json, "period");
  input.alarm_days = WholeNumber(json, "alarm_days");
  if (json.contains("columns") && !json["columns"].is_null()) {
    const nlohmann::json& columns = json["columns"];
    if (!columns.is_array()) {
      throw ApiError(400, "bad_request", "\"columns\" must be an array of column names");
    }
    for (const auto& name : columns) {
      if (!name.is_string()) {
        throw ApiError(400, "bad_request", "\"columns\" must be an array of column names");
      }
      input.columns.push_back(name.get<std::string>());
    }
  }
  return input;
}

ReportInput InputFromQuery(const httplib::Params& params) {
  ReportInput input;
  for (const auto& [name, value] : params) {
    if (IsReserved(name)) continue;
    if (name.rfind("dsql.", 0) == 0) {
      input.dsql.emplace_back(name.substr(5), automation::Variant(value));
    } else {
      input.conditions.emplace_back(name, automation::Variant(value));
    }
  }
  input.year = WholeNumber(params, "year");
  input.period = WholeNumber(params, "period");
  input.alarm_days = WholeNumber(params, "alarm_days");
  if (auto it = params.find("columns"); it != params.end()) {
    input.columns = exports::SplitList(it->second);
  }
  return input;
}

const catalog::ReportEntry& FindReportOr404(const std::string& number) {
  const catalog::ReportEntry* report = catalog::FindReport(number);
  if (!report) {
    throw ApiError(
        404, "no_report",
        "there is no report " + number + "; the reports are " + catalog::ReportNumbers());
  }
  return *report;
}

service::ReportRequest BuildRequest(const catalog::ReportEntry& report, const ReportInput& input,
                                    const std::string& dsn) {
  const std::string name = "report " + std::string(report.number);
  const catalog::SourceFacts facts = service::ReadSourceFacts(dsn);
  service::ReportRequest request;
  request.number = report.number;
  request.filter = catalog::BuildFilter(report, input.conditions, facts);
  if (report.takes_dsql) {
    request.dsql = catalog::BuildDsql(service::StandardDsql(report.number), input.dsql);
  } else if (!input.dsql.empty()) {
    throw catalog::ConditionError(name + " takes no client SQL (dsql)");
  }
  if (report.takes_period) {
    if ((!input.year || !input.period) && facts.year == 0) {
      throw catalog::ConditionError(name +
                                    ": the data source has no current accounting period "
                                    "(t_PeriodDate); give year and period");
    }
    request.year = input.year.value_or(facts.year);
    request.period = input.period.value_or(facts.period);
    catalog::CheckPeriod(request.year, request.period, facts);
    service::Data data;
    std::string start, end;
    if (!data.GetCurDate(dsn, request.year, request.period, start, end)) {
      throw catalog::ConditionError(name + ": the period " + std::to_string(request.year) + "/" +
                                    std::to_string(request.period) +
                                    " is not in the data source's accounting calendar");
    }
  } else if (input.year || input.period) {
    throw catalog::ConditionError(name + " takes no year or period; its conditions are dates");
  }
  if (input.alarm_days) {
    if (!report.takes_alarm_days) {
      throw catalog::ConditionError("alarm_days is for report 410 only");
    }
    if (*input.alarm_days < 0) throw catalog::ConditionError("alarm_days must be 0 or more");
  }
  request.alarm_days = input.alarm_days;
  return request;
}

}  // namespace orv::http
