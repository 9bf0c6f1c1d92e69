// The look-up routes and the answers of the server itself (pages, unknown addresses, large
// bodies, security headers), against a running server.
#include "http_fixture.h"

namespace orv::http_test {
namespace {

using LookupsTest = ApiTest;

TEST_F(LookupsTest, PeriodLookUpsAnswerForTheCurrentOrAGivenPeriod) {
  auto current = Client().Get("/api/lookups/current-period", Bearer(reader_));
  ASSERT_TRUE(current);
  ASSERT_EQ(current->status, 200);
  const Json now = Json::parse(current->body);
  EXPECT_EQ(now["today"], "2025-06-16");  // the demo company's clock
  EXPECT_EQ(now["year"], 2025);
  EXPECT_EQ(now["period"], 6);

  auto dates = Client().Get("/api/lookups/cur-date?year=2025&period=2", Bearer(reader_));
  ASSERT_TRUE(dates);
  EXPECT_EQ(
      Json::parse(dates->body),
      Json::parse(
          R"({"year": 2025, "period": 2, "start_date": "2025-02-01", "end_date": "2025-02-28"})"));
  auto defaulted = Client().Get("/api/lookups/cur-date", Bearer(reader_));
  ASSERT_TRUE(defaulted);
  EXPECT_EQ(Json::parse(defaulted->body)["start_date"], now["start_date"]);
  auto last = Client().Get("/api/lookups/last-period?year=2025&period=1", Bearer(reader_));
  ASSERT_TRUE(last);
  EXPECT_EQ(Json::parse(last->body), Json::parse(R"({"year": 2024, "period": 12})"));

  for (const char* missing : {"/api/lookups/cur-date?year=1999&period=1",
                              "/api/lookups/last-period?year=1900&period=1"}) {
    auto result = Client().Get(missing, Bearer(reader_));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404) << missing;
    EXPECT_EQ(Error(result)["code"], "no_period");
  }
  auto bad = Client().Get("/api/lookups/cur-date?year=abc&period=1", Bearer(reader_));
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
}

TEST_F(LookupsTest, TheServicesOtherLookUps) {
  auto periods = Client().Get("/api/lookups/max-period", Bearer(reader_));
  ASSERT_TRUE(periods);
  EXPECT_EQ(Json::parse(periods->body)["periods"], 12);
  auto scale = Client().Get("/api/lookups/currency-scale", Bearer(reader_));
  ASSERT_TRUE(scale);
  EXPECT_EQ(scale->status, 200);
  EXPECT_TRUE(Json::parse(scale->body)["scale"].is_number_integer());
  auto level = Client().Get("/api/lookups/item-max-level?class=4", Bearer(reader_));
  ASSERT_TRUE(level);
  EXPECT_EQ(level->status, 200);
  auto decimals = Client().Get("/api/lookups/decimal?number=01.01.0001", Bearer(reader_));
  ASSERT_TRUE(decimals);
  EXPECT_EQ(decimals->status, 200) << decimals->body;
  EXPECT_TRUE(Json::parse(decimals->body).contains("qty_decimal"));
  auto no_number = Client().Get("/api/lookups/decimal", Bearer(reader_));
  ASSERT_TRUE(no_number);
  EXPECT_EQ(no_number->status, 400);
  auto unknown = Client().Get("/api/lookups/exchange-rate", Bearer(reader_));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_NE(Error(unknown)["message"].get<std::string>().find("current-period"), std::string::npos);
}

TEST_F(LookupsTest, CodeSuggestionsBeginWithWhatWasTyped) {
  auto items = Client().Get("/api/lookups/codes?list=item&q=01.&limit=3", Bearer(reader_));
  ASSERT_TRUE(items);
  ASSERT_EQ(items->status, 200) << items->body;
  const Json found = Json::parse(items->body)["items"];
  ASSERT_EQ(found.size(), 3u);
  for (const Json& item : found) {
    EXPECT_EQ(item["number"].get<std::string>().substr(0, 3), "01.");
    EXPECT_FALSE(item["name"].get<std::string>().empty());
  }
  EXPECT_LT(found[0]["number"].get<std::string>(), found[1]["number"].get<std::string>());

  auto orders = Client().Get("/api/lookups/codes?list=task-order&q=WORK", Bearer(reader_));
  ASSERT_TRUE(orders);
  EXPECT_FALSE(Json::parse(orders->body)["items"].empty());
  // What is typed is a text, not a pattern: "%" matches no number.
  auto wildcard = Client().Get("/api/lookups/codes?list=department&q=%25", Bearer(reader_));
  ASSERT_TRUE(wildcard);
  EXPECT_TRUE(Json::parse(wildcard->body)["items"].empty());

  for (const char* bad :
       {"/api/lookups/codes?list=supplier&q=1", "/api/lookups/codes?list=item&limit=0"}) {
    auto result = Client().Get(bad, Bearer(reader_));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400) << bad;
  }
}

TEST_F(LookupsTest, PagesComeFromTheProgramWithTheirSecurityHeaders) {
  auto page = Client().Get("/");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<script type=\"module\" src=\"/assets/app.js\">"), std::string::npos);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'self'"),
            std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  auto script = Client().Get("/assets/app.js");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->status, 200);
  EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
  // Every module the page imports is there.
  for (const char* name : {"api", "charts", "form", "i18n", "table", "store", "format"}) {
    auto module = Client().Get(std::string("/assets/") + name + ".js");
    ASSERT_TRUE(module);
    EXPECT_EQ(module->status, 200) << name;
  }
}

TEST_F(LookupsTest, WhatTheServerCannotServeIsAJsonErrorToo) {
  auto missing = Client().Get("/api/nothing", Bearer(reader_));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(Error(missing)["code"], "not_found");
  auto asset = Client().Get("/assets/missing.js");
  ASSERT_TRUE(asset);
  EXPECT_EQ(asset->status, 404);
  Error(asset);
  auto large = Client().Post("/api/reports/400", Bearer(reader_), std::string(100 * 1024, ' '),
                             "application/json");
  ASSERT_TRUE(large);
  EXPECT_EQ(large->status, 413);
  EXPECT_EQ(Error(large)["code"], "too_large");
}

}  // namespace
}  // namespace orv::http_test
