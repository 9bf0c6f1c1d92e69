// The look-ups of the service, for the pages' forms and for scripts:
//   GET /api/lookups/current-period               the data source's current period and date
//   GET /api/lookups/cur-date?year=&period=       first and last day of a period
//   GET /api/lookups/last-period?year=&period=    the period before one
//   GET /api/lookups/max-period                   periods per year
//   GET /api/lookups/currency-scale               decimals of the base currency
//   GET /api/lookups/item-max-level?class=4       depth of an item class
//   GET /api/lookups/decimal?number=              quantity and price decimals of an item
//   GET /api/lookups/unit-coefficient?from=&to=   factor between two units
//   GET /api/lookups/codes?list=item&q=10&limit=20   suggestions for a code condition
// A period that does not exist is 404 "no_period".
#include <nlohmann/json.hpp>

#include "http/api_context.h"
#include "http/api_error.h"
#include "lookups/code_lookups.h"
#include "service/code_suggestions.h"
#include "service/data.h"
#include "service/source_facts.h"

namespace orv::http {

namespace {

using Json = nlohmann::json;

int32_t Number(const httplib::Request& request, const char* name,
               std::optional<int32_t> default_value = std::nullopt) {
  if (!request.has_param(name)) {
    if (default_value) return *default_value;
    throw ApiError(400, "bad_request", std::string("give ") + name + "=<whole number>");
  }
  const std::string text = request.get_param_value(name);
  try {
    size_t used = 0;
    const long value = std::stol(text, &used);
    if (used == text.size() && value >= INT32_MIN && value <= INT32_MAX) {
      return static_cast<int32_t>(value);
    }
  } catch (const std::exception&) {
  }
  throw ApiError(400, "bad_request", std::string(name) + "=" + text + ": must be a whole number");
}

// year and period, each defaulting to the data source's current period.
std::pair<int32_t, int32_t> Period(const std::string& dsn, const httplib::Request& request) {
  if (request.has_param("year") && request.has_param("period")) {
    return {Number(request, "year"), Number(request, "period")};
  }
  const auto facts = service::ReadSourceFacts(dsn);
  if (facts.year == 0) {
    throw ApiError(404, "no_period",
                   "the data source has no current accounting period; give year and period");
  }
  return {Number(request, "year", facts.year), Number(request, "period", facts.period)};
}

using Lookup = std::function<Json(const std::string& dsn, const httplib::Request&)>;

Json CurrentPeriod(const std::string& dsn, const httplib::Request&) {
  const auto facts = service::ReadSourceFacts(dsn);
  Json answer = {{"today", facts.today}, {"periods_per_year", facts.periods_per_year}};
  if (facts.year > 0) {
    answer["year"] = facts.year;
    answer["period"] = facts.period;
    answer["start_date"] = facts.period_start;
    answer["end_date"] = facts.period_end;
    answer["year_start"] = facts.year_start;
  }
  return answer;
}

Json CurDate(const std::string& dsn, const httplib::Request& request) {
  const auto [year, period] = Period(dsn, request);
  std::string start, end;
  service::Data data;
  if (!data.GetCurDate(dsn, year, period, start, end)) {
    throw ApiError(404, "no_period",
                   "there is no period " + std::to_string(year) + "/" + std::to_string(period) +
                       " in the accounting calendar");
  }
  return {{"year", year}, {"period", period}, {"start_date", start}, {"end_date", end}};
}

Json LastPeriod(const std::string& dsn, const httplib::Request& request) {
  const auto [year, period] = Period(dsn, request);
  int32_t last_year = 0, last_period = 0;
  service::Data data;
  if (!data.GetLastPeriod(dsn, year, period, last_year, last_period)) {
    throw ApiError(
        404, "no_period",
        "there is no period before " + std::to_string(year) + "/" + std::to_string(period));
  }
  return {{"year", last_year}, {"period", last_period}};
}

Json Codes(const std::string& dsn, const httplib::Request& request) {
  const std::string list = request.get_param_value("list");
  const std::optional<lookups::CodeKind> kind = lookups::ParseCodeKind(list);
  if (!kind) {
    throw ApiError(400, "bad_request",
                   "list=" + list + ": give item, department, employee, task-order or sales-order");
  }
  const int32_t limit = Number(request, "limit", 20);
  if (limit < 1 || limit > 200) throw ApiError(400, "bad_request", "limit must be 1 to 200");
  Json items = Json::array();
  for (const auto& suggestion :
       service::SuggestCodes(dsn, *kind, request.get_param_value("q"), limit)) {
    items.push_back({{"number", suggestion.number}, {"name", suggestion.name}});
  }
  return {{"list", list}, {"items", items}};
}

const std::map<std::string, Lookup>& Lookups() {
  static const std::map<std::string, Lookup> lookups = {
      {"current-period", CurrentPeriod},
      {"cur-date", CurDate},
      {"last-period", LastPeriod},
      {"max-period",
       [](const std::string& dsn, const httplib::Request&) -> Json {
         service::Data data;
         return {{"periods", data.GetMaxPeriod(dsn)}};
       }},
      {"currency-scale",
       [](const std::string& dsn, const httplib::Request&) -> Json {
         service::Data data;
         return {{"scale", data.GetCurrencyScale(dsn)}};
       }},
      {"item-max-level",
       [](const std::string& dsn, const httplib::Request& request) -> Json {
         service::Data data;
         return {
             {"max_level", data.GetItemMaxLevel(dsn, Number(request, "class", 4))}};
       }},
      {"decimal",
       [](const std::string& dsn, const httplib::Request& request) -> Json {
         if (!request.has_param("number")) {
           throw ApiError(400, "bad_request", "give number=<item number>");
         }
         int32_t qty = 0, price = 0;
         service::Data data;
         data.GetDecimal(dsn, request.get_param_value("number"), qty, price);
         return {{"qty_decimal", qty}, {"price_decimal", price}};
       }},
      {"unit-coefficient",
       [](const std::string& dsn, const httplib::Request& request) -> Json {
         service::ConnectionRef connection;
         service::Data data;
         return {{"coefficient",
                  data.ChangeUnitCoeffcient(connection, Number(request, "from"),
                                            Number(request, "to"), dsn)}};
       }},
      {"codes", Codes},
  };
  return lookups;
}

}  // namespace

void AddLookupRoutes(httplib::Server& server, ApiContext& context) {
  server.Get(R"(/api/lookups/([a-z-]+))",
             [&context](const httplib::Request& request, httplib::Response& response) {
               AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
                 const std::string name = request.matches[1];
                 auto it = Lookups().find(name);
                 if (it == Lookups().end()) {
                   std::string names;
                   for (const auto& [known, lookup] : Lookups()) {
                     names += (names.empty() ? "" : ", ") + known;
                   }
                   throw ApiError(404, "not_found",
                                  "there is no look-up '" + name + "'; the look-ups are " + names);
                 }
                 SendJson(response, it->second(context.DsnFor(caller), request).dump());
               });
             });
}

}  // namespace orv::http
