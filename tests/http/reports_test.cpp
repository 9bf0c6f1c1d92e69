// The report routes against a running server: the catalogue with the data source's defaults,
// a run's stream, the downloads, and every way the conditions can be wrong.
#include <regex>

#include "http_fixture.h"
#include "reports/catalog.h"
#include "reports/condition_check.h"
#include "service/report_runner.h"
#include "service/source_facts.h"

namespace orv::http_test {
namespace {

using ReportsTest = ApiTest;

const std::string kRange = R"({"conditions": {"BDate": "2025-01-01", "EDate": "2025-06-30"}})";

// The rows report 400 gives for kRange when run through the service directly.
size_t Rows400() {
  const auto& report = *reports::catalog::FindReport("400");
  service::ReportRequest request;
  request.number = "400";
  request.filter = reports::catalog::BuildFilter(
      report,
      {{"BDate", automation::Variant("2025-01-01")}, {"EDate", automation::Variant("2025-06-30")}},
      service::ReadSourceFacts(DemoDsn()));
  service::RecordsetRef rs = service::RunReport(DemoDsn(), request);
  return static_cast<size_t>(rs->RecordCount());
}

TEST_F(ReportsTest, TheCatalogueGivesEveryReportWithThisDataSourcesDefaults) {
  auto result = Client().Get("/api/reports", Bearer(reader_));
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  const Json body = Json::parse(result->body);
  std::vector<std::string> numbers;
  for (const Json& report : body["reports"]) numbers.push_back(report["number"]);
  EXPECT_EQ(numbers, (std::vector<std::string>{"400", "401", "406", "410", "498", "499"}));

  auto period = Client().Get("/api/lookups/current-period", Bearer(reader_));
  ASSERT_TRUE(period);
  const Json facts = Json::parse(period->body);
  const Json& r400 = body["reports"][0];
  EXPECT_EQ(r400["conditions"][0]["key"], "BDate");
  EXPECT_EQ(r400["conditions"][0]["default"], facts["year_start"]);
  EXPECT_EQ(r400["conditions"][0]["range_end"], "EDate");
  EXPECT_EQ(r400["conditions"][1]["default"], facts["end_date"]);
  EXPECT_EQ(r400["title"]["en"].get<std::string>().substr(0, 14), "task execution");
  const Json& r498 = body["reports"][4];
  EXPECT_EQ(r498["period"]["year"], facts["year"]);
  EXPECT_EQ(r498["period"]["period"], facts["period"]);
  bool suggests = false;
  for (const Json& key : r400["conditions"]) {
    if (key["key"] == "BItemNumber") suggests = key["suggest"] == "item";
  }
  EXPECT_TRUE(suggests);

  auto one = Client().Get("/api/reports/406", Bearer(reader_));
  ASSERT_TRUE(one);
  EXPECT_EQ(Json::parse(one->body)["number"], "406");
  auto none = Client().Get("/api/reports/402", Bearer(reader_));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 404);
  EXPECT_EQ(Error(none)["code"], "no_report");
}

TEST_F(ReportsTest, ARunStreamsColumnsRowsWithTheirKindsAndAnEnd) {
  auto result = Client().Post("/api/reports/400", Bearer(reader_), kRange, "application/json");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200) << result->body;
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/x-ndjson; charset=utf-8");
  const std::vector<Json> lines = Lines(result->body);
  ASSERT_GE(lines.size(), 3u);
  size_t at = 0;
  while (lines[at]["type"] == "step") ++at;
  const Json& columns = lines[at];
  ASSERT_EQ(columns["type"], "columns");
  EXPECT_EQ(columns["columns"][2]["name"], "FMOBillNO");
  EXPECT_EQ(columns["columns"][2]["type"], "code");
  EXPECT_EQ(columns["columns"][2]["caption"]["zh"], "任务单号");
  size_t rows = 0;
  std::string kinds;
  for (size_t i = at + 1; i + 1 < lines.size(); ++i) {
    ASSERT_EQ(lines[i]["type"], "rows");
    ASSERT_EQ(lines[i]["kinds"].get<std::string>().size(), lines[i]["rows"].size());
    for (const Json& row : lines[i]["rows"]) EXPECT_EQ(row.size(), columns["columns"].size());
    rows += lines[i]["rows"].size();
    kinds += lines[i]["kinds"].get<std::string>();
  }
  EXPECT_EQ(lines.back()["type"], "end");
  EXPECT_EQ(rows, Rows400());
  EXPECT_EQ(columns["row_count"], rows);
  EXPECT_EQ(lines.back()["row_count"], rows);
  EXPECT_NE(kinds.find('s'), std::string::npos);
  EXPECT_EQ(kinds.back(), 't');
}

TEST_F(ReportsTest, ChosenColumnsAloneGoOutAndDecimalsLoseTheirTrailingZeros) {
  auto result = Client().Post(
      "/api/reports/400", Bearer(reader_),
      R"({"conditions": {"BDate": "2025-01-01", "EDate": "2025-06-30"}, "columns": ["FMOBillNO", "fbsplanqty"]})",
      "application/json");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  size_t checked = 0;
  for (const Json& line : Lines(result->body)) {
    if (line["type"] == "columns") {
      EXPECT_EQ(line["columns"].size(), 2u);
    }
    if (line["type"] != "rows") continue;
    for (const Json& row : line["rows"]) {
      ASSERT_EQ(row.size(), 2u);
      if (row[1].is_number()) ++checked;
    }
  }
  EXPECT_GT(checked, 0u);
  // The quantities are decimal(23,10): not one of them is written with its ten zeros.
  EXPECT_EQ(result->body.find("0000000000"), std::string::npos);
}

TEST_F(ReportsTest, WrongConditionsAreRefusedBeforeTheReportRuns) {
  struct Case {
    const char* path;
    const char* body;
    int status;
    const char* code;
    const char* says;
  };
  const Case cases[] = {
      {"/api/reports/406", R"({"conditions": {"BDept": "01"}})", 400, "bad_condition",
       "BDeptNumber"},
      {"/api/reports/400", R"({"conditions": {"BDate": "2025-06-30", "EDate": "2025-01-01"}})", 400,
       "bad_condition", "BDate"},
      {"/api/reports/400", R"({"conditions": {"CheckState": "abc"}})", 400, "bad_condition",
       "CheckState"},
      {"/api/reports/400", R"({"conditions": {"Orderby": "FName; drop table ICMO"}})", 400,
       "bad_condition", "Orderby"},
      {"/api/reports/400", R"({"year": 2025})", 400, "bad_condition", "year"},
      {"/api/reports/400", R"({"alarm_days": 3})", 400, "bad_condition", "410"},
      {"/api/reports/498", R"({"year": 1999, "period": 1})", 400, "bad_condition", "1999"},
      {"/api/reports/400", R"({"columns": ["FNoSuch"]})", 400, "bad_column", "FNoSuch"},
      {"/api/reports/400", R"({"filter": {}})", 400, "bad_request", "filter"},
      {"/api/reports/400", R"({"conditions": [1]})", 400, "bad_request", "conditions"},
      {"/api/reports/400", "{broken", 400, "bad_request", "JSON"},
      {"/api/reports/402", "{}", 404, "no_report", "400, 401"},
  };
  for (const Case& c : cases) {
    auto result = Client().Post(c.path, Bearer(reader_), c.body, "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status) << c.body;
    const Json error = Error(result);
    EXPECT_EQ(error["code"], c.code) << c.body;
    EXPECT_NE(error["message"].get<std::string>().find(c.says), std::string::npos)
        << c.body << " -> " << error["message"];
  }
}

TEST_F(ReportsTest, DownloadsHoldTheSameRowsInEachFormat) {
  const std::string query = "?BDate=2025-01-01&EDate=2025-06-30";
  const size_t rows = Rows400();

  auto csv = Client().Get("/api/reports/400.csv" + query, Bearer(reader_));
  ASSERT_TRUE(csv);
  ASSERT_EQ(csv->status, 200) << csv->body;
  EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(csv->get_header_value("Content-Disposition"),
            "attachment; filename=\"report-400.csv\"");
  // For spreadsheets: a byte-order mark, then the captions.
  EXPECT_EQ(csv->body.substr(0, csv->body.find(",单据类型")),
            "\xEF\xBB\xBF内码,分录号,任务单号,物料内码");
  EXPECT_EQ(static_cast<size_t>(std::count(csv->body.begin(), csv->body.end(), '\n')), rows + 1);

  auto english = Client().Get(
      "/api/reports/400.csv" + query + "&lang=en&bom=0&columns=FMOBillNO,FDate", Bearer(reader_));
  ASSERT_TRUE(english);
  EXPECT_EQ(english->body.substr(0, english->body.find('\r')), "task order,date");

  auto json = Client().Get("/api/reports/400.json" + query, Bearer(reader_));
  ASSERT_TRUE(json);
  const Json array = Json::parse(json->body);
  EXPECT_EQ(array.size(), rows);
  EXPECT_TRUE(array[0].contains("FMOBillNO"));  // programs get the column names

  auto lines = Client().Get("/api/reports/400.jsonl" + query, Bearer(reader_));
  ASSERT_TRUE(lines);
  EXPECT_EQ(Lines(lines->body).size(), rows);

  auto xlsx = Client().Get("/api/reports/400.xlsx" + query, Bearer(reader_));
  ASSERT_TRUE(xlsx);
  ASSERT_EQ(xlsx->status, 200);
  EXPECT_EQ(xlsx->body.substr(0, 2), "PK");
  EXPECT_EQ(xlsx->get_header_value("Content-Type"),
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");

  for (const std::string bad : {"?bom=maybe", "?BDate=yesterday", "?columns=FNoSuch", "?year=x"}) {
    auto refused = Client().Get("/api/reports/400.csv" + bad, Bearer(reader_));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << bad;
    Error(refused);
  }
}

}  // namespace
}  // namespace orv::http_test
