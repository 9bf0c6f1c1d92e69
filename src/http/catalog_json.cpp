#include "http/catalog_json.h"

namespace orv::http {

namespace {

namespace catalog = reports::catalog;

const char* TypeName(catalog::KeyType type) {
  switch (type) {
    case catalog::KeyType::kDate:
      return "date";
    case catalog::KeyType::kCode:
      return "code";
    case catalog::KeyType::kText:
      return "text";
    case catalog::KeyType::kInteger:
      return "integer";
    case catalog::KeyType::kChoice:
      return "choice";
    case catalog::KeyType::kOrderBy:
      return "orderby";
  }
  return "text";
}

nlohmann::json Caption(const char* zh, const char* en) { return {{"zh", zh}, {"en", en}}; }

}  // namespace

const char* CodeListName(catalog::CodeList list) {
  switch (list) {
    case catalog::CodeList::kNone:
      return "";
    case catalog::CodeList::kItem:
      return "item";
    case catalog::CodeList::kDepartment:
      return "department";
    case catalog::CodeList::kEmployee:
      return "employee";
    case catalog::CodeList::kTaskOrder:
      return "task-order";
    case catalog::CodeList::kSalesOrder:
      return "sales-order";
  }
  return "";
}

nlohmann::json ReportJson(const catalog::ReportEntry& report, const catalog::SourceFacts& facts) {
  nlohmann::json conditions = nlohmann::json::array();
  for (const catalog::ConditionKey& key : report.keys) {
    nlohmann::json item = {{"key", key.name},
                           {"caption", Caption(key.zh, key.en)},
                           {"type", TypeName(key.type)},
                           {"default", catalog::DefaultValue(key, facts)}};
    if (!key.choices.empty()) {
      nlohmann::json choices = nlohmann::json::array();
      for (const catalog::Choice& choice : key.choices) {
        choices.push_back({{"value", choice.value}, {"caption", Caption(choice.zh, choice.en)}});
      }
      item["choices"] = std::move(choices);
    }
    if (key.range_end) item["range_end"] = key.range_end;
    if (key.codes != catalog::CodeList::kNone) item["suggest"] = CodeListName(key.codes);
    conditions.push_back(std::move(item));
  }
  nlohmann::json columns = nlohmann::json::array();
  for (const catalog::ColumnCaption& column : report.columns) {
    columns.push_back(
        {{"name", column.name}, {"caption", Caption(column.zh, column.en)}, {"code", column.code}});
  }
  nlohmann::json entry = {{"number", report.number},
                          {"title", Caption(report.zh, report.en)},
                          {"conditions", std::move(conditions)},
                          {"columns", std::move(columns)},
                          {"main_columns", report.main_columns},
                          {"takes_period", report.takes_period},
                          {"takes_dsql", report.takes_dsql},
                          {"takes_alarm_days", report.takes_alarm_days}};
  if (report.takes_period && facts.year > 0) {
    entry["period"] = {{"year", facts.year}, {"period", facts.period}};
  }
  if (report.takes_alarm_days && facts.alarm_days_known) entry["alarm_days"] = facts.alarm_days;
  return entry;
}

}  // namespace orv::http
