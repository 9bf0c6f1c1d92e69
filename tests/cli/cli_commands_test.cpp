// Each orvdata subcommand run as a user runs it, on a tiny demo database made by the binary:
// the six reports with their defaults and conditions, --sql, the look-ups, the query door,
// packaging, the T-SQL shell and the demo commands.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli_harness.h"

namespace orv::cli_test {
namespace {

class CommandsTest : public CliTest {};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// Every report gives rows on the demo database with no conditions at all.
TEST_F(CommandsTest, EveryReportShowsRowsWithItsDefaults) {
  for (const char* number : {"400", "401", "406", "410", "498", "499"}) {
    const RunResult r = Run({"report", number, "--dsn", TinyDb(), "--format", "json"});
    ASSERT_EQ(r.status, 0) << number << ": " << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    EXPECT_FALSE(rows.empty()) << "report " << number;
  }
}

TEST_F(CommandsTest, FiltersNarrowTheRows) {
  const RunResult all = Run({"report", "401", "--dsn", TinyDb(), "--format", "json"});
  const RunResult one = Run({"report", "401", "--dsn", TinyDb(), "--format", "json", "--filter",
                             "BItemNumber=01.01.0005", "--filter", "EItemNumber=01.01.0005"});
  ASSERT_EQ(one.status, 0) << one.err;
  const auto rows = nlohmann::json::parse(one.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["FItemNumber"], "01.01.0005");
  EXPECT_GT(nlohmann::json::parse(all.out).size(), 1u);

  // The same conditions from a JSON file; a --filter pair replaces the file's key.
  WriteFile(Scratch() / "f.json",
            R"({"BItemNumber": "01.01.0005", "EItemNumber": "01.01.0001", "CheckState": 2})");
  const RunResult file = Run({"report", "401", "--dsn", TinyDb(), "--format", "json",
                              "--filter-file", "f.json", "--filter", "eitemnumber=01.01.0005"});
  ASSERT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(nlohmann::json::parse(file.out), rows);
}

TEST_F(CommandsTest, DsqlReplacesOneStandardFragment) {
  const RunResult r = Run({"report", "499", "--dsn", TinyDb(), "--format", "json", "--dsql",
                           "ITEMFILTER= And t.FNumber='01.01.0001'"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = nlohmann::json::parse(r.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["FNumber"], "01.01.0001");
}

TEST_F(CommandsTest, DisplayTypeHidesSubtotalsButKeepsTheTotal) {
  const RunResult r = Run({"report", "406", "--dsn", TinyDb(), "--format", "csv", "--columns",
                           "FGroupSort,FSumSort", "--filter", "DisplayType=1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, ",102\r\n"), 0u);
  EXPECT_EQ(Count(r.out, ",101\r\n"), 1u);
}

// --sql asks the service: the report runs through a recording connection, its look-ups are
// answered by the data source, nothing else runs.
TEST_F(CommandsTest, SqlShowsTheBatchesTheServiceSends) {
  const RunResult r = Run({"report", "400", "--sql", "--dsn", TinyDb(), "--filter",
                           "BDate=2025-01-01"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Count(r.out, "\r\nGO\r\n"), 2u);
  EXPECT_NE(r.out.find("CONVERT(char(10),v1.FDate,120)>='2025-01-01'"), std::string::npos);
  // The default end of the range is the last day of the data source's current period.
  EXPECT_NE(r.out.find("CONVERT(char(10),v1.FDate,120)<='2025-06-30'"), std::string::npos);

  // 498: the period's dates come from the data source's calendar, looked up first.
  const RunResult cost =
      Run({"report", "498", "--sql", "--dsn", TinyDb(), "--year", "2024", "--period", "2"});
  ASSERT_EQ(cost.status, 0) << cost.err;
  EXPECT_EQ(cost.out.rfind("Select FStartDate,FEndDate From t_PeriodDate Where FYear=2024 and "
                           "FPeriod=2\r\nGO\r\n", 0), 0u) << cost.out.substr(0, 200);
  EXPECT_NE(cost.out.find("'2024-02-01'"), std::string::npos);
  EXPECT_NE(cost.out.find("'2024-02-29'"), std::string::npos);

  // 499: two look-ups and fifteen batches, those sent only when candidates exist included.
  const RunResult wip = Run({"report", "499", "--sql", "--dsn", TinyDb(), "--period", "3"});
  ASSERT_EQ(wip.status, 0) << wip.err;
  EXPECT_EQ(Count(wip.out, "\r\nGO\r\n"), 17u);
  EXPECT_NE(wip.out.find("'2025-03-31'"), std::string::npos);

  // 410: the alarm day count is the data source's (7 in the demo), or --alarm-days.
  const RunResult alarm = Run({"report", "410", "--sql", "--dsn", TinyDb()});
  EXPECT_NE(alarm.out.find("v1.FPlanFinishDate) <=7\r\n"), std::string::npos) << alarm.out;
  const RunResult days = Run({"report", "410", "--sql", "--dsn", TinyDb(), "--alarm-days", "30"});
  EXPECT_NE(days.out.find("v1.FPlanFinishDate) <=30\r\n"), std::string::npos) << days.out;
}

// --alarm-days changes which task orders report 410 shows, not only its --sql text.
TEST_F(CommandsTest, AlarmDaysIsHonouredWhenTheReportRuns) {
  auto orders = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"report", "410", "--dsn", TinyDb(), "--format", "csv",
                                     "--columns", "FMOBillNO,FSumSort"};
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return Count(r.out, ",0\r\n");
  };
  const size_t setting = orders({});
  EXPECT_EQ(orders({"--alarm-days", "7"}), setting);
  EXPECT_GT(orders({"--alarm-days", "400"}), setting);
  EXPECT_LT(orders({"--alarm-days", "0"}), orders({"--alarm-days", "400"}));
}

TEST_F(CommandsTest, SqlOutputRunsInTheShell) {
  // The printed batches are a script the T-SQL shell runs; its last result is the report.
  const RunResult batches = Run({"report", "406", "--sql", "--dsn", TinyDb(), "--output", "r406.sql"});
  ASSERT_EQ(batches.status, 0) << batches.err;
  const RunResult shell = Run({"sql", "--dsn", TinyDb(), "-i", "r406.sql", "--format", "csv"});
  ASSERT_EQ(shell.status, 0) << shell.err;
  const RunResult report = Run({"report", "406", "--dsn", TinyDb(), "--format", "csv"});
  EXPECT_NE(shell.out.find(report.out), std::string::npos);
}

TEST_F(CommandsTest, LookupsAnswerFromTheDemoCalendarAndItems) {
  struct Case {
    std::vector<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      {{"last-period", "--year", "2025", "--period", "1"}, "year,period\r\n2024,12\r\n"},
      {{"cur-date", "--year", "2024", "--period", "2"},
       "start_date,end_date\r\n2024-02-01,2024-02-29\r\n"},
      {{"max-period"}, "periods\r\n12\r\n"},
      {{"decimal", "--number", "01.01.0005"}, "qty_decimal,price_decimal\r\n1,6\r\n"},
      {{"unit-coefficient", "--from", "2", "--to", "1"}, "coefficient\r\n12\r\n"},
      {{"unit-coefficient", "--from", "6", "--to", "7"}, "coefficient\r\n0.000001\r\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"lookup"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--dsn", TinyDb(), "--format", "csv"});
    const RunResult r = Run(args);
    ASSERT_EQ(r.status, 0) << c.args[0] << ": " << r.err;
    EXPECT_EQ(r.out, c.expected) << c.args[0];
  }
  for (const char* what : {"currency-scale", "item-max-level", "item-props"}) {
    const RunResult r = Run({"lookup", what, "--dsn", TinyDb(), "--format", "json"});
    ASSERT_EQ(r.status, 0) << what << ": " << r.err;
    EXPECT_FALSE(nlohmann::json::parse(r.out).empty()) << what;
  }
}

TEST_F(CommandsTest, PackageGivesKeyedTexts) {
  const RunResult r = Run({"package", "--dsn", TinyDb(),
                           "SELECT FMeasureUnitID, FName, FCoefficient, NULL AS FNone "
                           "FROM t_MeasureUnit WHERE FMeasureUnitID IN (1,2) "
                           "ORDER BY FMeasureUnitID"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = nlohmann::json::parse(r.out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]["FMeasureUnitID"], "2");
  EXPECT_EQ(rows[1]["FName"], "箱");
  EXPECT_EQ(rows[0]["FNone"], "");

  const RunResult first =
      Run({"package", "--first", "--dsn", TinyDb(), "SELECT FName FROM t_MeasureUnit"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(nlohmann::json::parse(first.out).size(), 1u);
}

TEST_F(CommandsTest, SqlShellPrintsEveryResult) {
  const std::string db = (Scratch() / "shell.orvdb").string();
  const RunResult r =
      Run({"sql", "--create", "--dsn", db, "-Q",
           "CREATE TABLE t (a int, b varchar(10)); INSERT INTO t VALUES (1,'x'),(2,NULL); "
           "PRINT 'hello'; SELECT a, b FROM t ORDER BY a; SELECT * FROM nosuch"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("(2 rows affected)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("hello\n"), std::string::npos);
  EXPECT_NE(r.out.find("a | b\n--+-----\n1 | x\n2 | NULL\n(2 rows)\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "Msg 208, Level 16: Invalid object name 'nosuch'.\n");

  // A script with GO lines, from a file; the table made above is in the file data source.
  WriteFile(Scratch() / "s.sql",
            "INSERT INTO t VALUES (3,'y')\nGO\nSELECT COUNT(*) AS n FROM t\ngo\n");
  const RunResult script = Run({"sql", "--dsn", db, "-i", "s.sql", "--format", "csv"});
  EXPECT_EQ(script.status, 0) << script.err;
  EXPECT_EQ(script.out, "n\r\n3\r\n");
  EXPECT_EQ(script.err, "(1 row affected)\n");  // counts go to stderr with csv

  // Standard input when there is neither -Q nor -i.
  const RunResult piped = Run({"sql", "--dsn", db, "--format", "json"}, {}, "SELECT 1 AS one\n");
  EXPECT_EQ(piped.out, "[\n  {\"one\": 1}\n]\n");
}

TEST_F(CommandsTest, DemoScriptBuildsTheSameDatabase) {
  const RunResult script = Run({"demo", "create", "tiny.sql", "--size", "tiny", "--script"});
  ASSERT_EQ(script.status, 0) << script.err;
  const std::string text = ReadFile(Scratch() / "tiny.sql");
  EXPECT_GT(Count(text, "\nGO\n"), 10u);

  const RunResult load = Run({"sql", "--create", "--dsn", "from_script.orvdb", "-i", "tiny.sql"});
  ASSERT_EQ(load.status, 0) << load.err;
  const std::string count = "SELECT COUNT(*) AS n, SUM(FQty) AS q FROM ICMO";
  const RunResult a = Run({"query", "--dsn", "from_script.orvdb", "--format", "csv", count});
  const RunResult b = Run({"query", "--dsn", TinyDb(), "--format", "csv", count});
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out, "");

  // Another seed gives other data; the same seed the same.
  ASSERT_EQ(Run({"demo", "create", "seed2.orvdb", "--size", "tiny", "--seed", "2"}).status, 0);
  EXPECT_NE(Run({"query", "--dsn", "seed2.orvdb", "--format", "csv", count}).out, b.out);
}

TEST_F(CommandsTest, DemoRunUsesTheDemoDatabaseAndPassesArguments) {
  const RunResult r = Run({"demo", "run", "--format", "csv", "--columns", "FMOBillNO"},
                          {"ORVDATA_DEMO_DB=" + TinyDb()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out)[0], "FMOBillNO\r");
  EXPECT_NE(r.out.find("WORK000001"), std::string::npos);
  EXPECT_NE(r.err.find("DEMO DATA: the invented demo company in " + TinyDb()), std::string::npos)
      << r.err;
}

TEST_F(CommandsTest, ReportHelpListsKeysWithTheDefaultsOfTheDataSource) {
  const RunResult r = Run({"report", "400", "--help", "--dsn", TinyDb()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("BDate"), std::string::npos);
  EXPECT_NE(r.out.find("[default 2025-01-01]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[default 2025-06-30]"), std::string::npos);
  EXPECT_NE(r.out.find("ExecuteState"), std::string::npos);
  const RunResult none = Run({"report", "400", "--help"});
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.out.find("[default from the data source]"), std::string::npos) << none.out;
  const RunResult cost = Run({"report", "499", "--help", "--dsn", TinyDb()});
  EXPECT_NE(cost.out.find("ITEMFILTER"), std::string::npos);
  EXPECT_NE(cost.out.find("current accounting period (2025/6)"), std::string::npos) << cost.out;
}

// A company database whose clock and calendar run to December 2026: every default follows it.
TEST_F(CommandsTest, DefaultsComeFromTheDataSourcesClockAndCalendar) {
  const std::string db = (Scratch() / "later.orvdb").string();
  std::filesystem::copy_file(TinyDb(), db, std::filesystem::copy_options::overwrite_existing);
  std::string script = "UPDATE t_OrvClock SET FToday = '2026-12-15 10:00:00'\n";
  for (int month = 1; month <= 12; ++month) {
    const std::string m = (month < 10 ? "0" : "") + std::to_string(month);
    script += "INSERT INTO t_PeriodDate VALUES (2026, " + std::to_string(month) + ", '2026-" + m +
              "-01', DATEADD(day, -1, DATEADD(month, 1, '2026-" + m + "-01')))\n";
  }
  ASSERT_EQ(Run({"sql", "--dsn", db, "-Q", script}).status, 0);
  const RunResult help = Run({"report", "406", "--help", "--dsn", db});
  EXPECT_NE(help.out.find("[default 2026-01-01]"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("[default 2026-12-31]"), std::string::npos);
  const RunResult cost = Run({"report", "498", "--sql", "--dsn", db});
  ASSERT_EQ(cost.status, 0) << cost.err;
  EXPECT_NE(cost.out.find("FYear=2026 and FPeriod=12"), std::string::npos);
  EXPECT_NE(cost.out.find("'2026-12-31'"), std::string::npos);
}

}  // namespace
}  // namespace orv::cli_test
