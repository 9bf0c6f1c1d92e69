// Data-source files that cannot be used: every command that reads one fails with status 1 and a
// message naming the file, and leaves the file exactly as it was; a stored value that does not
// fit its column is named with its table, column and row.
#include <sqlite3.h>

#include "cli/cli_harness.h"

namespace orv::cli_test {
namespace {

class BadDataSourceTest : public CliTest {
 protected:
  // A copy of the tiny demo database with `sql` run on it behind the engine's back.
  std::string Corrupted(const std::string& name, const std::string& sql) {
    const std::filesystem::path path = Scratch() / (name + ".orvdb");
    std::filesystem::copy_file(TinyDb(), path, std::filesystem::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    return path.string();
  }
};

TEST_F(BadDataSourceTest, CommandsFailNamingTheFileAndLeaveItUnchanged) {
  const std::string empty = (Scratch() / "empty.orvdb").string();
  WriteFile(empty, "");
  const std::string text = (Scratch() / "notes.orvdb").string();
  WriteFile(text, "minutes of the meeting, not a database, long enough to look like one");
  const struct {
    std::string file;
    const char* says;  // part of the message
  } files[] = {
      {empty, "empty (0 bytes)"},
      {text, "not a data source file"},
      {Corrupted("bad_type", "UPDATE orv_columns SET type = 'decimal(99,99)' WHERE name = 'FQty'"),
       "has the type 'decimal(99,99)'"},
      {Corrupted("bad_value", "UPDATE t_ICItem SET FName = 12345678901234567890 WHERE rowid = 1;"
                              "UPDATE t_ICItem SET FItemID = 'abc' WHERE rowid = 2"),
       "table 't_ICItem', column 'FItemID', row 2"},
  };
  for (const auto& f : files) {
    const std::string before = ReadFile(f.file);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"report", "401", "--dsn", f.file},
          std::vector<std::string>{"query", "--dsn", f.file, "select FItemID from t_ICItem"},
          std::vector<std::string>{"sql", "--dsn", f.file, "-Q", "select count(*) from t_ICItem"}}) {
      const RunResult r = Run(command);
      EXPECT_EQ(r.status, 1) << command[0] << " " << f.file << ": " << r.err;
      EXPECT_NE(r.err.find(f.file), std::string::npos) << command[0] << ": " << r.err;
      EXPECT_NE(r.err.find(f.says), std::string::npos) << command[0] << ": " << r.err;
      EXPECT_EQ(ReadFile(f.file), before) << command[0] << " changed " << f.file;
    }
  }
}

// A command on a path that does not exist creates nothing; the shell with --create makes a new
// file only when a batch writes.
TEST_F(BadDataSourceTest, OnlyAWriteMakesANewFile) {
  const std::string path = (Scratch() / "not_yet.orvdb").string();
  std::filesystem::remove(path);
  EXPECT_NE(Run({"report", "401", "--dsn", path}).status, 0);
  EXPECT_NE(Run({"sql", "--dsn", path, "-Q", "create table t (a int)"}).status, 0);
  EXPECT_EQ(Run({"sql", "--create", "--dsn", path, "-Q", "select 1"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(Run({"sql", "--create", "--dsn", path, "-Q", "create table t (a int)"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace orv::cli_test
