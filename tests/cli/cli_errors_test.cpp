// How orvdata fails: operation errors as "error <n>: <text> (source: <source>)" with status 1,
// command-line mistakes with status 2, and the fall-back to the demo database when --dsn is
// missing.
#include <algorithm>
#include <regex>

#include "cli_harness.h"

namespace orv::cli_test {
namespace {

class ErrorsTest : public CliTest {};

// The scratch folder is removed when the test program ends.
class ScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(CliTestAccess::Folder(), ec);
  }
  struct CliTestAccess : CliTest {
    static std::filesystem::path Folder() { return Scratch(); }
  };
};
[[maybe_unused]] ::testing::Environment* const kCleanup =
    ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

TEST_F(ErrorsTest, OperationErrorsAreOneLineWithStatusOne) {
  const RunResult query = Run({"query", "--dsn", TinyDb(), "SELECT * FROM t_NoSuchTable"});
  EXPECT_EQ(query.status, 1);
  EXPECT_EQ(query.out, "");
  EXPECT_TRUE(std::regex_match(query.err,
                               std::regex("error -?[0-9]+: .*Invalid object name 't_NoSuchTable'.* "
                                          "\\(source: .*GetData\\)\n")))
      << query.err;

  // A report failing inside the service: -7000 with the service's source.
  const RunResult report =
      Run({"report", "401", "--dsn", TinyDb(), "--dsql", "EndSel=SELECT * FROM #NoSuchTable"});
  EXPECT_EQ(report.status, 1);
  EXPECT_TRUE(std::regex_search(report.err, std::regex("^error -7000: .*::GetRpt401Data\\)\n$")))
      << report.err;
}

// Mistakes in the command line, each with status 2 and a message naming what it is about.
TEST_F(ErrorsTest, UsageMistakesGiveStatusTwoAndSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* message;  // a part of stderr
  };
  const std::string db = TinyDb();
  const Case cases[] = {
      {{"report", "400", "--dsn", db, "--no-such-option"}, "--no-such-option"},
      {{"report", "402"}, "there is no report 402; the reports are 400, 401, 406, 410, 498 and 499"},
      {{"report"}, "give a report number"},
      {{"report", "400", "--dsn", db, "--filter", "BDate=2025-13-01"},
       "BDate (task order date from) must be a date written yyyy-mm-dd"},
      {{"report", "400", "--dsn", db, "--filter", "BDate"}, "expected KEY=VALUE"},
      {{"report", "400", "--dsn", db, "--format", "xml"}, "unknown format 'xml'"},
      {{"report", "406", "--dsn", db, "--filter", "BDept=01"},
       "report 406 has no condition BDept; did you mean BDeptNumber?"},
      {{"report", "401", "--dsn", db, "--filter", "CheckState=abc"},
       "CheckState=abc: CheckState (approval status) must be one of 0 (approved)"},
      {{"report", "400", "--dsn", db, "--filter", "BDate=2025-05-01", "--filter",
        "EDate=2025-04-01"},
       "the range BDate=2025-05-01 to EDate=2025-04-01 runs backwards"},
      {{"report", "400", "--dsn", db, "--filter", "BProductBillNo=WORK9", "--filter",
        "EProductBillNo=WORK1"},
       "runs backwards"},
      {{"report", "400", "--dsn", db, "--filter", "BDate=2026-01-01"},
       "BDate is 2026-01-01 but EDate is 2025-06-30"},
      {{"report", "498", "--dsn", db, "--period", "13"}, "--period 13 does not exist"},
      {{"report", "498", "--dsn", db, "--period", "0"}, "--period 0 does not exist"},
      {{"report", "499", "--dsn", db, "--year", "2031", "--period", "1"},
       "the period 2031/1 is not in the data source's accounting calendar"},
      {{"report", "401", "--dsn", db, "--dsql", "Endsel2=x"}, "did you mean EndSel?"},
      {{"report", "400", "--dsn", db, "--columns", "FNoSuch"}, "no column 'FNoSuch'"},
      {{"demo", "create", "x.orvdb", "--size", "huge"}, "unknown size 'huge'"},
      {{"sql", "-Q", "SELECT 1", "-i", "x.sql", "--dsn", db}, "give -Q or -i, not both"},
      {{"sql", "-Q", "SELECT $(missing)", "--dsn", db}, "$(missing), which has no value"},
      {{}, "A subcommand is required"},
  };
  for (const Case& c : cases) {
    const RunResult r = Run(c.args);
    const std::string what = c.args.empty() ? "(no arguments)" : c.args.back();
    EXPECT_EQ(r.status, 2) << what << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << what << ": " << r.err;
    EXPECT_EQ(r.out, "") << what;
  }
  EXPECT_FALSE(std::filesystem::exists(Scratch() / "x.orvdb"));
}

// Orderby is placed into the report's batch as written, so only result columns with a
// direction pass; anything else is refused before the data source is touched.
TEST_F(ErrorsTest, OrderbyTakesOnlyColumnNamesAndTheTablesSurvive) {
  const std::string db = (Scratch() / "orderby.orvdb").string();
  std::filesystem::copy_file(TinyDb(), db, std::filesystem::copy_options::overwrite_existing);
  const std::string count = "SELECT COUNT(*) AS n FROM ICMO";
  const std::string before = Run({"query", "--dsn", db, "--format", "csv", count}).out;
  for (const std::string order :
       {"FNameSort; DROP TABLE ICMO", "FNameSort desc; DROP TABLE ICMO --",
        "(SELECT 1) desc", "FNameSort sideways", "FNoColumn", "FNameSort,,", "1"}) {
    const RunResult r = Run({"report", "400", "--dsn", db, "--filter", "Orderby=" + order});
    EXPECT_EQ(r.status, 2) << order << ": " << r.err;
    EXPECT_NE(r.err.find("Orderby"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run({"query", "--dsn", db, "--format", "csv", count}).out, before);
  EXPECT_NE(before, "");

  // Column names with directions pass, in any letter case, and sort the rows.
  const RunResult sorted = Run({"report", "400", "--dsn", db, "--format", "csv", "--columns",
                                "FName,FGroupSort", "--filter", "Orderby=fnamesort DESC"});
  ASSERT_EQ(sorted.status, 0) << sorted.err;
  std::vector<std::string> names;
  for (const std::string& line : Lines(sorted.out)) {
    if (line.size() > 3 && line.substr(line.size() - 3) == ",0\r") names.push_back(line);
  }
  ASSERT_GT(names.size(), 1u);
  EXPECT_TRUE(std::is_sorted(names.rbegin(), names.rend())) << sorted.out;
}

TEST_F(ErrorsTest, MissingDataSourceFileIsAnErrorAndNothingIsCreated) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report", "400", "--dsn", "Provider=Embedded;Data Source=nofile.orvdb"},
        {"sql", "--dsn", "nofile.orvdb", "-Q", "SELECT 1"},
        {"lookup", "max-period", "--dsn", "nofile.orvdb"}}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("'nofile.orvdb' does not exist"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(Scratch() / "nofile.orvdb"));

  // An empty file is not taken for an empty company, and stays empty.
  WriteFile(Scratch() / "empty.orvdb", "");
  const RunResult empty = Run({"report", "401", "--dsn", "empty.orvdb"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("'empty.orvdb' is empty (0 bytes)"), std::string::npos) << empty.err;
  EXPECT_EQ(std::filesystem::file_size(Scratch() / "empty.orvdb"), 0u);
}

// --output naming the data source (also through a link) is refused before anything is opened;
// a failed run leaves an earlier output file as it was.
TEST_F(ErrorsTest, OutputNeverOverwritesTheDataSourceAndFailuresKeepTheOldFile) {
  const std::string db = (Scratch() / "keep.orvdb").string();
  std::filesystem::copy_file(TinyDb(), db, std::filesystem::copy_options::overwrite_existing);
  const std::string link = (Scratch() / "keep_link.orvdb").string();
  std::filesystem::remove(link);
  std::filesystem::create_symlink(db, link);
  const std::string original = ReadFile(db);
  for (const std::string& target : {db, link}) {
    const RunResult r = Run({"report", "400", "--dsn", db, "--output", target, "--format", "csv"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("is the data source"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(db), original);

  const std::string out = (Scratch() / "previous.csv").string();
  WriteFile(out, "previous contents\n");
  const RunResult failed =
      Run({"query", "--dsn", db, "--output", out, "--format", "csv", "SELECT * FROM t_NoSuch"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(ReadFile(out), "previous contents\n");
  const RunResult ok = Run({"query", "--dsn", db, "--output", out, "--format", "csv", "SELECT 1 AS x"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ReadFile(out), "x\r\n1\r\n");
  for (const auto& entry : std::filesystem::directory_iterator(Scratch())) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
  }
}

TEST_F(ErrorsTest, DemoCreateRefusesAnExistingFileWithoutForce) {
  const std::string file = (Scratch() / "exists.orvdb").string();
  WriteFile(file, "mine");
  const RunResult refused = Run({"demo", "create", file, "--size", "tiny"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("exists already; give --force"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(file), "mine");
  EXPECT_EQ(Run({"demo", "create", file, "--size", "tiny", "--force"}).status, 0);
  EXPECT_NE(ReadFile(file), "mine");
}

TEST_F(ErrorsTest, ShellErrorSetsStatusButLaterBatchesRun) {
  WriteFile(Scratch() / "bad.sql", "SELECT 1/0 AS x\nGO\nSELECT 2 AS y\n");
  const RunResult r = Run({"sql", "--dsn", TinyDb(), "-i", "bad.sql", "--format", "csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "y\r\n2\r\n");
  EXPECT_NE(r.err.find("Msg 8134, Level 16: Divide by zero error encountered."), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace orv::cli_test
