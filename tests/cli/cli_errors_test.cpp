// How orvdata fails: operation errors as "error <n>: <text> (source: <source>)" with status 1,
// command-line mistakes with status 2, and the fall-back to the demo database when --dsn is
// missing.
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

TEST_F(ErrorsTest, UsageMistakesGiveStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"report", "400", "--no-such-option"},
      {"report", "402"},
      {"report", "400", "--filter", "BDate=2025-13-01"},
      {"report", "400", "--filter", "BDate"},
      {"report", "400", "--format", "xml"},
      {"report", "498", "--period", "0"},
      {"demo", "create", "x.orvdb", "--size", "huge"},
      {"sql", "-Q", "SELECT 1", "-i", "x.sql"},
      {},
  };
  for (const auto& args : cases) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "(no arguments)" : args.back()) << ": " << r.err;
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.err.find("terminate"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(Scratch() / "x.orvdb"));
}

TEST_F(ErrorsTest, MissingDataSourceFileIsAnError) {
  const RunResult r = Run({"report", "400", "--dsn", "Provider=Embedded;Data Source=nofile.orvdb"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("'nofile.orvdb' does not exist"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(Scratch() / "nofile.orvdb"));
}

TEST_F(ErrorsTest, ShellErrorSetsStatusButLaterBatchesRun) {
  WriteFile(Scratch() / "bad.sql", "SELECT 1/0 AS x\nGO\nSELECT 2 AS y\n");
  const RunResult r = Run({"sql", "--dsn", TinyDb(), "-i", "bad.sql", "--format", "csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "y\r\n2\r\n");
  EXPECT_NE(r.err.find("Msg 8134, Level 16: Divide by zero error encountered."), std::string::npos)
      << r.err;
}

// Without --dsn the demo database named by ORVDATA_DEMO_DB is used (and created, size demo,
// when missing), with notes on stderr; results still go to stdout alone.
TEST_F(ErrorsTest, MissingDsnFallsBackToTheDemoDatabase) {
  const RunResult existing =
      Run({"lookup", "max-period", "--format", "csv"}, {"ORVDATA_DEMO_DB=" + TinyDb()});
  EXPECT_EQ(existing.status, 0) << existing.err;
  EXPECT_EQ(existing.out, "periods\r\n12\r\n");
  EXPECT_EQ(existing.err, "orvdata: no --dsn given; using the demo database " + TinyDb() + "\n");

  const std::string fresh = (Scratch() / "data" / "orvdata" / "demo.orvdb").string();
  const RunResult created = Run({"lookup", "cur-date", "--format", "csv"},
                                {"XDG_DATA_HOME=" + (Scratch() / "data").string()});
  EXPECT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(created.out, "start_date,end_date\r\n2025-06-01,2025-06-30\r\n");
  EXPECT_NE(created.err.find("creating the demo database " + fresh + " (size demo)"),
            std::string::npos)
      << created.err;
  EXPECT_TRUE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace orv::cli_test
