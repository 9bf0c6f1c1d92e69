// Output formats of orvdata, checked on exact text: the aligned table (numbers right, NULL
// shown, Chinese text two columns wide, subtotal and total rows set apart), CSV per RFC 4180,
// JSON with typed values, Markdown, --columns and --output.
#include <fcntl.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "cli_harness.h"

namespace orv::cli_test {
namespace {

class OutputTest : public CliTest {};

constexpr char kTwoRows[] =
    "SELECT CAST(1.5 AS decimal(10,2)) AS n, 'a' AS s, NULL AS z "
    "UNION ALL SELECT 100, 'bbbb', 'x'";

TEST_F(OutputTest, TableAlignsNumbersRightAndShowsNull) {
  const RunResult r = Run({"query", "--dsn", TinyDb(), kTwoRows});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "n      | s    | z\n"
            "-------+------+-----\n"
            "  1.50 | a    | NULL\n"
            "100.00 | bbbb | x\n"
            "(2 rows)\n");
  EXPECT_EQ(r.err, "");  // not a terminal: no progress line
}

// Dates to the millisecond, never rounded to the second (which made the last datetime of 9999
// a date of the year 10000).
TEST_F(OutputTest, TableShowsDatesAsTheyAre) {
  const RunResult r =
      Run({"query", "--dsn", TinyDb(), "--format", "markdown",
           "SELECT CAST('2024-01-05' AS datetime) AS a, CAST('2024-01-05 10:00:00.500' AS "
           "datetime) AS b, CAST('9999-12-31 23:59:59.997' AS datetime) AS c"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "| a | b | c |\n| --- | --- | --- |\n"
            "| 2024-01-05 | 2024-01-05 10:00:00.500 | 9999-12-31 23:59:59.997 |\n");
}

TEST_F(OutputTest, EveryFormatOfTheSameRows) {
  struct Case {
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {"csv", "n,s,z\r\n1.50,a,\r\n100.00,bbbb,x\r\n"},
      {"markdown",
       "| n | s | z |\n| ---: | --- | --- |\n| 1.50 | a | NULL |\n| 100.00 | bbbb | x |\n"},
      {"json",
       "[\n  {\"n\": 1.50, \"s\": \"a\", \"z\": null},\n"
       "  {\"n\": 100.00, \"s\": \"bbbb\", \"z\": \"x\"}\n]\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = Run({"query", "--dsn", TinyDb(), "--format", c.format, kTwoRows});
    ASSERT_EQ(r.status, 0) << c.format << ": " << r.err;
    EXPECT_EQ(r.out, c.expected) << c.format;
  }
}

TEST_F(OutputTest, CsvQuotesOnlyWhenNeeded) {
  const RunResult r = Run({"query", "--dsn", TinyDb(), "--format", "csv",
                           "SELECT 'a,b' AS x, 'say \"hi\"' AS y, NULL AS z, "
                           "'l1'+CHAR(13)+CHAR(10)+'l2' AS w, 'plain' AS v"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "x,y,z,w,v\r\n\"a,b\",\"say \"\"hi\"\"\",,\"l1\r\nl2\",plain\r\n");
}

TEST_F(OutputTest, JsonKeepsTypes) {
  const RunResult r =
      Run({"query", "--dsn", TinyDb(), "--format", "json",
           "SELECT 7 AS i, CAST(2.50 AS decimal(9,2)) AS d, "
           "CAST('2025-06-16' AS datetime) AS dt, CAST('2025-06-16 09:30:00' AS datetime) AS ts, "
           "NULL AS n, N'电机' AS s, 'a\"b\\c' AS q"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  ASSERT_TRUE(json.is_array());
  ASSERT_EQ(json.size(), 1u);
  const auto& row = json[0];
  EXPECT_TRUE(row["i"].is_number_integer());
  EXPECT_EQ(row["i"], 7);
  EXPECT_TRUE(row["d"].is_number());
  EXPECT_DOUBLE_EQ(row["d"].get<double>(), 2.5);
  EXPECT_EQ(row["dt"], "2025-06-16");
  EXPECT_EQ(row["ts"], "2025-06-16T09:30:00");
  EXPECT_TRUE(row["n"].is_null());
  EXPECT_EQ(row["s"], "电机");
  EXPECT_EQ(row["q"], "a\"b\\c");
}

// Results larger than one output chunk (4096 rows) are formatted piecewise: every row comes
// out once, in order, in CSV and in JSON.
TEST_F(OutputTest, LargeResultsComeOutWholeAndInOrder) {
  const std::string digit =
      "(SELECT 0 AS d UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL "
      "SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 "
      "UNION ALL SELECT 9)";
  const std::string sql = "SELECT a.d * 1000 + b.d * 100 + c.d * 10 + e.d AS n FROM " + digit +
                          " a CROSS JOIN " + digit + " b CROSS JOIN " + digit + " c CROSS JOIN " +
                          digit + " e ORDER BY n";
  const RunResult csv = Run({"query", "--dsn", TinyDb(), "--format", "csv", sql});
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::string expected = "n\r\n";
  for (int n = 0; n < 10000; ++n) expected += std::to_string(n) + "\r\n";
  EXPECT_EQ(csv.out, expected);

  const RunResult json = Run({"query", "--dsn", TinyDb(), "--format", "json", sql});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto rows = nlohmann::json::parse(json.out);
  ASSERT_EQ(rows.size(), 10000u);
  for (int n = 0; n < 10000; ++n) ASSERT_EQ(rows[static_cast<size_t>(n)]["n"], n);
}

// A table's rows selected as they are reach the output unconverted and are converted as they
// are written; every format must show them exactly as it shows the same values computed.
TEST_F(OutputTest, RowsPassedOnFromATablePrintLikeComputedRows) {
  const std::string digit =
      "(SELECT 0 AS d UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL "
      "SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 "
      "UNION ALL SELECT 9)";
  const std::string fill =
      "SET NOCOUNT ON SELECT a.d * 1000 + b.d * 100 + c.d * 10 + e.d AS n, "
      "CAST(c.d AS varchar(3)) + ',\"x' AS s, CAST(e.d AS decimal(5,2)) / 4 AS q INTO #n FROM " +
      digit + " a CROSS JOIN " + digit + " b CROSS JOIN " + digit + " c CROSS JOIN " + digit + " e ";
  const std::string shared = fill + "SELECT n, s, q FROM #n WHERE n % 3 <> 1 ORDER BY q DESC, n";
  const std::string computed =
      fill + "SELECT n = n + 0, s = s + '', q = q FROM #n WHERE n % 3 <> 1 ORDER BY 3 DESC, 1";
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--format", "csv"}, {"--format", "json"}, {"--format", "markdown"},
        {"--format", "table"}, {"--format", "csv", "--columns", "q,n"}}) {
    std::vector<std::string> args = {"query", "--dsn", TinyDb()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(shared);
    const RunResult from_table = Run(args);
    args.back() = computed;
    const RunResult from_values = Run(args);
    ASSERT_EQ(from_table.status, 0) << from_table.err;
    ASSERT_EQ(from_values.status, 0) << from_values.err;
    EXPECT_GT(from_table.out.size(), 6667u * 8) << options[1];
    EXPECT_EQ(from_table.out, from_values.out) << options[1];
  }
}

// Report 400 as a table: every row line has its column bars at the same terminal column even
// with Chinese names, the grand total sits under a rule of '=', and the row count matches CSV.
TEST_F(OutputTest, ReportTableLinesUpAndSetsTotalsApart) {
  const RunResult table = Run(
      {"report", "400", "--dsn", TinyDb(), "--no-captions", "--columns",
       "FMOBillNO,FName,FBSPlanQty,FGroupSort"});
  ASSERT_EQ(table.status, 0) << table.err;
  const std::vector<std::string> lines = Lines(table.out);
  ASSERT_GT(lines.size(), 5u);
  const size_t bar = Columns(lines[0].substr(0, lines[0].find(" | FName")));
  size_t total_rule = 0, blank = 0;
  for (size_t i = 2; i + 1 < lines.size(); ++i) {
    if (lines[i].empty()) {
      ++blank;
      continue;
    }
    if (lines[i][0] == '=') {
      total_rule = i;
      continue;
    }
    EXPECT_EQ(Columns(lines[i].substr(0, lines[i].find(" | "))), bar) << lines[i];
  }
  ASSERT_GT(total_rule, 0u);
  EXPECT_NE(lines[total_rule + 1].find("合计"), std::string::npos);
  EXPECT_GT(blank, 0u);  // subtotal rows close their task order's group

  const RunResult csv = Run({"report", "400", "--dsn", TinyDb(), "--format", "csv"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const size_t records = Lines(csv.out).size() - 1;
  EXPECT_EQ(lines.back(), "(" + std::to_string(records) + " rows)");
  // csv keeps every column of the report, the table only the chosen ones.
  EXPECT_NE(csv.out.find("FIsTotal"), std::string::npos);
}

TEST_F(OutputTest, MarkdownMarksSubtotalAndTotalRows) {
  const RunResult r = Run({"report", "400", "--dsn", TinyDb(), "--format", "markdown"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("| **合计** |"), std::string::npos);
  EXPECT_NE(r.out.find("（小计）** |"), std::string::npos);
  EXPECT_NE(r.out.find("| ---: |"), std::string::npos);
}

TEST_F(OutputTest, ColumnsChooseAndOrder) {
  const RunResult r = Run({"report", "401", "--dsn", TinyDb(), "--format", "csv", "--columns",
                           "fitemname, FItemNumber"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "FItemName,FItemNumber\r");

  const RunResult bad = Run({"report", "401", "--dsn", TinyDb(), "--columns", "FNoSuch"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("no column 'FNoSuch'"), std::string::npos) << bad.err;
}

TEST_F(OutputTest, OutputFileHoldsWhatStdoutWouldShow) {
  const std::string file = (Scratch() / "r410.json").string();
  const RunResult to_file =
      Run({"report", "410", "--dsn", TinyDb(), "--format", "json", "--output", file});
  ASSERT_EQ(to_file.status, 0) << to_file.err;
  EXPECT_EQ(to_file.out, "");
  const RunResult to_stdout = Run({"report", "410", "--dsn", TinyDb(), "--format", "json"});
  EXPECT_EQ(ReadFile(file), to_stdout.out);
  EXPECT_FALSE(nlohmann::json::parse(to_stdout.out).empty());
}

// --output naming a pipe writes into the pipe (a new file in its place would destroy it, as
// it would /dev/null); naming a link writes the file it names and leaves the link.
TEST_F(OutputTest, OutputToAPipeOrThroughALinkKeepsWhatThePathIs) {
  const std::vector<std::string> query = {"sql", "--dsn", TinyDb(), "-Q", "select 1 as n", "--format", "csv"};
  const std::string expected = Run(query).out;
  ASSERT_FALSE(expected.empty());

  const std::string pipe = (Scratch() / "out.pipe").string();
  std::filesystem::remove(pipe);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // so that the writer's open succeeds
  ASSERT_GE(reader, 0);
  std::vector<std::string> to_pipe = query;
  to_pipe.insert(to_pipe.end(), {"--output", pipe});
  const RunResult piped = Run(to_pipe);
  EXPECT_EQ(piped.status, 0) << piped.err;
  std::string got(4096, '\0');
  const ssize_t n = read(reader, got.data(), got.size());
  close(reader);
  got.resize(n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_EQ(got, expected);
  struct stat st {};
  ASSERT_EQ(stat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  const std::filesystem::path file = Scratch() / "named.csv", link = Scratch() / "link.csv";
  std::filesystem::remove(link);
  WriteFile(file, "old");
  std::filesystem::create_symlink(file, link);
  std::vector<std::string> to_link = query;
  to_link.insert(to_link.end(), {"--output", link.string()});
  const RunResult linked = Run(to_link);
  EXPECT_EQ(linked.status, 0) << linked.err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(file), expected);
}

// XLSX read back with a real reader (the zip and its sheet XML): numbers are numbers in the
// column's scale, codes text with their leading zeros, dates dates, totals bold, the heading
// row frozen and filtered.
TEST_F(OutputTest, XlsxHoldsTypedCells) {
  const std::string file = (Scratch() / "typed.xlsx").string();
  const RunResult r = Run({"query", "--dsn", TinyDb(), "--format", "xlsx", "-o", file,
                           "SELECT '007' AS code, CAST(384 AS decimal(23,10)) AS qty, "
                           "CAST(2.125 AS decimal(9,3)) AS price, "
                           "CAST('2025-06-16' AS datetime) AS d, NULL AS z"});
  ASSERT_EQ(r.status, 0) << r.err;
  const RunResult sheet = Run({std::string(ORV_TEST_DATA_DIR) + "/cli/xlsx_check.py", file}, {},
                              "", "python3");
  ASSERT_EQ(sheet.status, 0) << sheet.err;
  EXPECT_EQ(sheet.out,
            "A1 s General 1 code\nB1 s General 1 qty\nC1 s General 1 price\nD1 s General 1 d\n"
            "E1 s General 1 z\n"
            "A2 s General 0 007\nB2 n #,##0.00 0 384\nC2 n #,##0.000 0 2.125\n"
            "D2 n yyyy-mm-dd 0 45824\npane frozen A2\nfilter A1:E2\n");

  const std::string report = (Scratch() / "r400.xlsx").string();
  ASSERT_EQ(Run({"report", "400", "--dsn", TinyDb(), "--format", "xlsx", "-o", report}).status, 0);
  const RunResult cells = Run({std::string(ORV_TEST_DATA_DIR) + "/cli/xlsx_check.py", report},
                              {}, "", "python3");
  EXPECT_NE(cells.out.find("C1 s General 1 任务单号\n"), std::string::npos) << cells.out;
  EXPECT_NE(cells.out.find("C2 s General 0 WORK000001\n"), std::string::npos);
  EXPECT_NE(cells.out.find(" s General 1 合计\n"), std::string::npos);  // the total row, bold
  EXPECT_NE(cells.out.find("Q2 n #,##0.00 0 "), std::string::npos);      // FBSPlanQty
}

// CSV tells NULL (an empty field) from an empty text (""), and --bom starts it with a
// byte-order mark for spreadsheet programs.
TEST_F(OutputTest, CsvNullEmptyAndBom) {
  const std::string sql = "SELECT NULL AS a, '' AS b, 'x' AS c";
  const RunResult plain = Run({"query", "--dsn", TinyDb(), "--format", "csv", sql});
  EXPECT_EQ(plain.out, "a,b,c\r\n,\"\",x\r\n");
  const RunResult bom = Run({"query", "--dsn", TinyDb(), "--format", "csv", "--bom", sql});
  EXPECT_EQ(bom.out, "\xEF\xBB\xBF" + plain.out);
  // ORVDATA_CSV_BOM=1 gives it to every CSV file, not to standard output.
  const std::string file = (Scratch() / "bom.csv").string();
  ASSERT_EQ(Run({"query", "--dsn", TinyDb(), "--format", "csv", "-o", file, sql},
                {"ORVDATA_CSV_BOM=1"}).status, 0);
  EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF" + plain.out);
  EXPECT_EQ(Run({"query", "--dsn", TinyDb(), "--format", "csv", sql}, {"ORVDATA_CSV_BOM=1"}).out,
            plain.out);
}

TEST_F(OutputTest, MarkdownEscapesWhatWouldFormatOrInject) {
  const RunResult r = Run({"query", "--dsn", TinyDb(), "--format", "markdown",
                           "SELECT '*bold* | _x_ <b>&' AS t"});
  EXPECT_EQ(r.out, "| t |\n| --- |\n| \\*bold\\* \\| \\_x\\_ &lt;b&gt;&amp; |\n");
}

// The table fits a width by cutting long text with "…" (numbers stay whole), or shows each
// row as a block (-x); report tables use captions (in the data source's language) and leave
// the parent columns of child and total rows blank instead of NULL.
TEST_F(OutputTest, TableFitsTheWidthAndReadsLikeAReport) {
  const RunResult narrow = Run({"report", "401", "--dsn", TinyDb(), "--width", "110"});
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  for (const std::string& line : Lines(narrow.out)) EXPECT_LE(Columns(line), 110u) << line;
  EXPECT_NE(narrow.out.find("…"), std::string::npos);
  EXPECT_NE(narrow.out.find(" 2646.00 "), std::string::npos) << narrow.out;
  // Eleven columns cannot share 60 terminal columns: each row becomes a block.
  const RunResult blocks = Run({"report", "401", "--dsn", TinyDb(), "--width", "60"});
  for (const std::string& line : Lines(blocks.out)) EXPECT_LE(Columns(line), 60u) << line;
  EXPECT_NE(blocks.out.find("-[ RECORD 1 ]"), std::string::npos) << blocks.out;

  const RunResult english = Run({"report", "400", "--dsn",
                                 "Provider=Embedded;Data Source=" + TinyDb() + ";Language=EN",
                                 "--width", "0"});
  ASSERT_EQ(english.status, 0) << english.err;
  EXPECT_EQ(english.out.rfind("task order | date       | item number | item name", 0), 0u)
      << english.out.substr(0, 200);
  EXPECT_EQ(english.out.find("NULL"), std::string::npos);

  const RunResult expanded = Run({"query", "--dsn", TinyDb(), "-x", "SELECT 1 AS a, 'x' AS bb"});
  EXPECT_EQ(expanded.out, "-[ RECORD 1 ]-\na  | 1\nbb | x\n(1 row)\n");
}

}  // namespace
}  // namespace orv::cli_test
