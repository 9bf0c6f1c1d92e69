// Several orvdata processes on one data-source file: concurrent writers lose nothing, a reader
// never sees part of another process's transaction, and a writer killed in the middle of a
// transaction leaves the last committed state. Bounded in rounds and time.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "cli/cli_harness.h"

extern char** environ;

namespace orv::cli_test {
namespace {

// An orvdata process running a script, started without waiting for it.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::filesystem::path& out) {
    std::vector<std::string> all{ORV_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(posix_spawn(&pid_, ORV_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0) Kill();
  }
  // The exit status (-1 when it did not exit normally).
  int Wait() {
    if (pid_ > 0) waitpid(pid_, &raw_, 0);
    pid_ = 0;
    return WIFEXITED(raw_) ? WEXITSTATUS(raw_) : -1;
  }
  bool Running() {
    if (pid_ > 0 && waitpid(pid_, &raw_, WNOHANG) == pid_) pid_ = 0;
    return pid_ > 0;
  }
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  pid_t pid_ = 0;
  int raw_ = 0;
};

// The lines of CSV output (CRLF records), without the header line and empty lines.
std::vector<std::string> CsvRows(const std::string& text) {
  std::vector<std::string> rows;
  for (std::string line : Lines(text)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) rows.push_back(line);
  }
  if (!rows.empty()) rows.erase(rows.begin());
  return rows;
}

class StorageProcessesTest : public CliTest {
 protected:
  void SetUp() override {
    db_ = (Scratch() / ("processes_" + std::to_string(getpid()) + "_" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orvdb"))
              .string();
    RemoveDb();
  }
  void TearDown() override { RemoveDb(); }
  void RemoveDb() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db_ + suffix);
  }

  std::filesystem::path Script(const std::string& name, const std::string& text) {
    const std::filesystem::path path = Scratch() / (name + "_" + std::to_string(getpid()) + ".sql");
    WriteFile(path, text);
    return path;
  }

  // Runs a query on the file and returns its CSV lines without the header.
  std::vector<std::string> Query(const std::string& sql) {
    const RunResult r = Run({"sql", "--create", "--dsn", db_, "-Q", sql, "--format", "csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    return CsvRows(r.out);
  }

  std::string db_;
};

// Two shells each inserting rows one batch per row, while other processes open and close the
// file (the last to close must not take itself for the last while writers have it open, or it
// removes the write-ahead log under them): every row of both stays.
TEST_F(StorageProcessesTest, ConcurrentWritersLoseNothing) {
  constexpr int kRounds = 8;
  constexpr int kRows = 40;
  for (int round = 0; round < kRounds; ++round) {
    RemoveDb();
    ASSERT_EQ(Run({"sql", "--create", "--dsn", db_, "-Q", "create table t (writer int, n int)"}).status, 0);
    std::vector<std::filesystem::path> scripts;
    for (int w = 1; w <= 2; ++w) {
      std::string text;
      for (int i = 0; i < kRows; ++i) {
        // Every other batch a transaction of two rows, the rest one row each.
        if (i % 2) {
          text += "begin tran\ninsert into t values (" + std::to_string(w) + ", " + std::to_string(i) +
                  ")\ninsert into t values (" + std::to_string(w) + ", -" + std::to_string(i) + ")\ncommit\nGO\n";
        } else {
          text += "insert into t values (" + std::to_string(w) + ", " + std::to_string(i) + ")\nGO\n";
        }
      }
      scripts.push_back(Script("writer" + std::to_string(w), text));
    }
    Process a({"sql", "--dsn", db_, "-i", scripts[0].string()}, Scratch() / "writer1.out");
    Process b({"sql", "--dsn", db_, "-i", scripts[1].string()}, Scratch() / "writer2.out");
    while (a.Running() || b.Running()) Query("select count(*) from t");
    ASSERT_EQ(a.Wait(), 0) << ReadFile(Scratch() / "writer1.out.err");
    ASSERT_EQ(b.Wait(), 0) << ReadFile(Scratch() / "writer2.out.err");
    const int per_writer = kRows + kRows / 2;
    EXPECT_EQ(
        Query("select writer, count(*), count(distinct n) from t group by writer order by writer"),
        (std::vector<std::string>{
            "1," + std::to_string(per_writer) + "," + std::to_string(per_writer),
            "2," + std::to_string(per_writer) + "," + std::to_string(per_writer)}))
        << "round " << round << "\nwriter 1:\n"
        << ReadFile(Scratch() / "writer1.out") << ReadFile(Scratch() / "writer1.out.err")
        << "\nwriter 2:\n"
        << ReadFile(Scratch() / "writer2.out") << ReadFile(Scratch() / "writer2.out.err");
  }
}

// A writer moves amounts between two tables in transactions while a reader (one process, so its
// tables in memory go stale) sums both in single statements: every sum is the same.
TEST_F(StorageProcessesTest, ReadersNeverSeePartOfATransaction) {
  ASSERT_EQ(Run({"sql", "--create", "--dsn", db_, "-Q",
                 "create table a (id int, bal int)\ninsert into a values (1, 1000)\n"
                 "create table b (id int, bal int)\ninsert into b values (1, 0)\n"
                 "create table moves (n int)"})
                .status,
            0);
  std::string writes, reads;
  for (int i = 0; i < 120; ++i) {
    writes += "begin tran\nupdate a set bal = bal - 7\ninsert into moves values (" + std::to_string(i) +
              ")\nupdate b set bal = bal + 7\ncommit\nGO\n";
  }
  for (int i = 0; i < 300; ++i) {
    reads += "select (select count(*) from moves) as moves, (select sum(bal) from a) + (select sum(bal) from b) "
             "as total, (select count(*) from moves) * 7 - (select sum(bal) from b) as drift\nGO\n";
  }
  Process writer({"sql", "--dsn", db_, "-i", Script("mover", writes).string()}, Scratch() / "mover.out");
  Process reader({"sql", "--dsn", db_, "-i", Script("summer", reads).string(), "--format", "csv"},
                 Scratch() / "summer.out");
  ASSERT_EQ(writer.Wait(), 0) << ReadFile(Scratch() / "mover.out.err");
  ASSERT_EQ(reader.Wait(), 0) << ReadFile(Scratch() / "summer.out.err");
  std::set<std::string> sums;
  std::set<int> states;
  for (const std::string& row : CsvRows(ReadFile(Scratch() / "summer.out"))) {
    if (row == "moves,total,drift") continue;  // each batch's row set has its header
    const size_t comma = row.find(',');
    states.insert(std::stoi(row.substr(0, comma)));
    sums.insert(row.substr(comma + 1));
  }
  EXPECT_EQ(sums, std::set<std::string>{"1000,0"});
  // The reader ran while the writer did: it saw several committed states.
  EXPECT_GT(states.size(), 2u);
  EXPECT_EQ(Query("select sum(bal) as b from b"), std::vector<std::string>{"840"});
}

// A process that holds the file open follows what another process commits (rows, a table's
// definition), also after a third process opened and closed the file: the last one to close
// checkpoints and removes the write-ahead log, and must not take itself for the last while
// another process still has the file open. Each case: the change, the condition the reader
// waits for (at most 20 s), and what it then reads.
TEST_F(StorageProcessesTest, ReadersFollowOtherProcessesCommits) {
  struct Case {
    std::string change, until, then;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"insert into t values (2)", "(select count(*) from t) = 2", "select count(*) as n from t", {"n", "2"}},
      {"alter table t add c int not null default 3", "col_length('t', 'c') is not null",
       "select c from t order by id", {"c", "3"}},
  };
  for (const Case& c : cases) {
    RemoveDb();
    ASSERT_EQ(Run({"sql", "--create", "--dsn", db_, "-Q",
                   "create table t (id int)\ninsert into t values (1)\ncreate table ready (n int)"})
                  .status,
              0);
    // The reader loads t and says so through the file before it waits.
    const std::string reads = "select count(*) as n from t\ninsert into ready values (1)\nGO\n"
                              "declare @start datetime = getdate()\nwhile not (" + c.until +
                              ") and datediff(ms, @start, getdate()) < 20000 set @start = @start\nGO\n" +
                              c.then + "\nGO\n";
    Process reader({"sql", "--dsn", db_, "-i", Script("waiter", reads).string(), "--format", "csv"},
                   Scratch() / "waiter.out");
    const auto start = std::chrono::steady_clock::now();
    // Each of these queries is a process opening and closing the file.
    while (Query("select count(*) as n from ready") != std::vector<std::string>{"1"}) {
      ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(Run({"sql", "--dsn", db_, "-Q", c.change}).status, 0);
    ASSERT_EQ(reader.Wait(), 0) << ReadFile(Scratch() / "waiter.out.err");
    const std::vector<std::string> rows = CsvRows(ReadFile(Scratch() / "waiter.out"));
    ASSERT_GE(rows.size(), c.expected.size());
    EXPECT_EQ(std::vector<std::string>(rows.end() - static_cast<std::ptrdiff_t>(c.expected.size()), rows.end()),
              c.expected)
        << c.change << "\n" << ReadFile(Scratch() / "waiter.out");
  }
}

// Killed at a random moment in a run of transactions, a writer leaves whole transactions only,
// and the next process goes on from there.
TEST_F(StorageProcessesTest, KillDuringATransactionKeepsTheLastCommit) {
  ASSERT_EQ(Run({"sql", "--create", "--dsn", db_, "-Q", "create table head (batch int)\ncreate table lines (batch int, n int)"})
                .status,
            0);
  std::mt19937 random(12345);
  int last = 0;
  for (int round = 0; round < 8; ++round) {
    std::string text;
    for (int b = 1; b <= 200; ++b) {
      const std::string batch = std::to_string(round * 1000 + b);
      text += "begin tran\ninsert into head values (" + batch + ")\ninsert into lines select " + batch +
              ", n from (select 1 as n union all select 2 union all select 3 union all select 4) x\n"
              "update head set batch = batch where batch = " + batch + "\ncommit\nGO\n";
    }
    Process writer({"sql", "--dsn", db_, "-i", Script("killed", text).string()}, Scratch() / "killed.out");
    // Killed once it has committed something this round (a slow start, as under the sanitizers,
    // must not leave every round empty), at a random moment after that.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline &&
           Query("select count(*) from head") == std::vector<std::string>{std::to_string(last)}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
    writer.Kill();
    const std::vector<std::string> counts =
        Query("select (select count(*) from head), (select count(*) from lines), "
              "(select count(*) from head h where (select count(*) from lines l where l.batch = h.batch) <> 4)");
    ASSERT_EQ(counts.size(), 1u);
    int heads = 0, lines = 0, partial = 0;
    ASSERT_EQ(std::sscanf(counts[0].c_str(), "%d,%d,%d", &heads, &lines, &partial), 3) << counts[0];
    EXPECT_EQ(lines, heads * 4) << "round " << round;
    EXPECT_EQ(partial, 0) << "round " << round;
    EXPECT_GT(heads, last) << "round " << round;
    last = heads;
  }
  EXPECT_GT(last, 0);
}

}  // namespace
}  // namespace orv::cli_test
