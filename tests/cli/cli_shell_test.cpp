// The T-SQL shell: its script options (several -i files, -b, -v, -h -1, -s, -W, -o) and the
// interactive shell on a pseudo-terminal (a batch runs at GO or after "...;" and a blank line,
// history is kept across runs).
#include "cli_harness.h"

namespace orv::cli_test {
namespace {

class ShellTest : public CliTest {
 protected:
  static std::string Db() {
    static const std::string path = [] {
      const std::string file = (Scratch() / "shell_options.orvdb").string();
      const RunResult made = Run({"sql", "--create", "--dsn", file, "-Q",
                                  "CREATE TABLE t (a int, b varchar(10)); "
                                  "INSERT INTO t VALUES (1, 'x'), (2, 'long text')"});
      EXPECT_EQ(made.status, 0) << made.err;
      return file;
    }();
    return path;
  }
};

TEST_F(ShellTest, ScriptOptions) {
  WriteFile(Scratch() / "one.sql", "SELECT a FROM t WHERE a = $(which)\nGO\n");
  WriteFile(Scratch() / "two.sql", "SELECT 1/0 AS boom\nGO\nSELECT 'after' AS c\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;
  };
  const Case cases[] = {
      // Several -i files run in order; variables fill $(name).
      {{"-i", "one.sql", "-i", "two.sql", "-v", "which=2", "--format", "csv"}, 1,
       "a\r\n2\r\n\r\nc\r\nafter\r\n"},
      {{"-i", "one.sql,two.sql", "-v", "WHICH=1", "--format", "csv"}, 1,
       "a\r\n1\r\n\r\nc\r\nafter\r\n"},
      // -b stops at the first batch with an error.
      {{"-b", "-i", "two.sql", "-i", "one.sql", "-v", "which=1", "--format", "csv"}, 1, ""},
      // -h -1 leaves the headings out, -s sets the separator, -W trims the padding.
      {{"-Q", "SELECT a, b FROM t ORDER BY a", "-h", "-1", "-s", ",", "-W"}, 0,
       "1,x\n2,long text\n(2 rows)\n"},
      {{"-Q", "SELECT a, b FROM t ORDER BY a", "-s", ";"}, 0,
       "a;b\n1;x\n2;long text\n(2 rows)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"sql", "--dsn", Db()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
  }
  // -o writes the results to a file.
  const RunResult to_file =
      Run({"sql", "--dsn", Db(), "-Q", "SELECT COUNT(*) AS n FROM t", "-o", "n.txt"});
  EXPECT_EQ(to_file.status, 0) << to_file.err;
  EXPECT_EQ(ReadFile(Scratch() / "n.txt"), "n\n-\n2\n(1 row)\n");
}

// Several result sets in JSON make one document: an array of the results' arrays.
TEST_F(ShellTest, JsonOfSeveralResultsIsOneDocument) {
  const RunResult r = Run({"sql", "--dsn", Db(), "--format", "json", "-Q",
                           "SELECT a FROM t ORDER BY a; SELECT b FROM t WHERE a = 9; SELECT 3 AS c"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[\n[\n  {\"a\": 1},\n  {\"a\": 2}\n],\n[],\n[\n  {\"c\": 3}\n]\n]\n");
  const RunResult lines = Run({"sql", "--dsn", Db(), "--format", "jsonl", "-Q",
                               "SELECT a FROM t ORDER BY a; SELECT 3 AS c"});
  EXPECT_EQ(lines.out, "{\"a\": 1}\n{\"a\": 2}\n{\"c\": 3}\n");
}

TEST_F(ShellTest, InteractiveShellRunsBatchesAndKeepsHistory) {
  const std::string db = Db();
  const std::vector<std::string> env = {"XDG_STATE_HOME=" + (Scratch() / "state").string()};
  const RunResult first = RunOnTerminal(
      {"sql", "--dsn", db},
      "SELECT 40 + 2 AS answer\\r\nGO\\r\nSELECT 'semi' AS s;\\r\n\\r\n:help\\r\n"
      "SELECT 'dropped' AS d\\r\n\\x03\n\\x04\n",  // Ctrl-C drops the batch, Ctrl-D leaves
      env);
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find(db + " 1> "), std::string::npos) << first.out;  // the prompt
  EXPECT_NE(first.out.find("answer\r\n------\r\n    42\r\n(1 row)"), std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("s\r\n----\r\nsemi\r\n"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find(":timing on|off"), std::string::npos);
  EXPECT_NE(first.out.find("^C (batch dropped)"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("dropped\r\n-"), std::string::npos) << first.out;
  EXPECT_TRUE(std::filesystem::exists(Scratch() / "state" / "orvdata" / "sql_history"));

  // A new run recalls the first run's lines with the up arrow: the fifth is the first SELECT.
  const RunResult second = RunOnTerminal(
      {"sql", "--dsn", db}, "\\x1b[A\\x1b[A\\x1b[A\\x1b[A\\x1b[A\\r\nGO\\r\n\\x04\n", env);
  EXPECT_EQ(second.status, 0) << second.out;
  EXPECT_NE(second.out.find("    42\r\n(1 row)"), std::string::npos) << second.out;
}

}  // namespace
}  // namespace orv::cli_test
