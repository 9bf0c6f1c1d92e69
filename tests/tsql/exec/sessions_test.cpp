// Sessions of one database on threads: a reader waits for a writer's transaction and then reads
// its committed rows, a deadlock makes one of the two sessions the victim (1205, its
// transaction rolled back) and lets the other go on, sessions of one data-source file take
// turns writing it, and a writer waits for another process's write lock up to its timeout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include <sqlite3.h>

#include "tsql/engine.h"

namespace orv::tsql {
namespace {

using Kind = StatementResult::Kind;
using namespace std::chrono_literals;

int64_t FirstInt(const std::vector<StatementResult>& results) {
  for (const auto& r : results) {
    if (r.kind == Kind::Rows) return r.rows.at(0).at(0).int_value();
  }
  ADD_FAILURE() << "no row set";
  return -1;
}

TEST(Sessions, AReaderWaitsForTheWritersCommitAndReadsWhatItCommitted) {
  auto db = OpenDatabase(":memory:");
  Session writer(db), reader(db);
  writer.ExecuteBatch("create table acct (id int, balance int)\ninsert into acct values (1, 100), (2, 50)");
  writer.ExecuteBatch("begin tran\nupdate acct set balance = balance - 30 where id = 1\n"
                      "update acct set balance = balance + 30 where id = 2\ninsert into acct values (3, 5)");
  std::atomic<bool> done{false};
  auto read = std::async(std::launch::async, [&] {
    auto r = reader.ExecuteBatch("select sum(balance) from acct");
    done = true;
    return r;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(done) << "the reader read while the writer's transaction was open";
  writer.ExecuteBatch("commit");
  EXPECT_EQ(FirstInt(read.get()), 155);
}

// A session waiting for a lock can be cancelled from another thread: its batch ends (3617).
TEST(Sessions, AWaitForALockEndsWhenTheSessionIsCancelled) {
  auto db = OpenDatabase(":memory:");
  Session writer(db), reader(db);
  writer.ExecuteBatch("create table t (v int)\nbegin tran\ninsert into t values (1)");
  auto read = std::async(std::launch::async, [&] { return reader.ExecuteBatch("select count(*) from t\nselect 2"); });
  // (A cancel before the batch starts does not count: ask until it ends.)
  while (read.wait_for(20ms) != std::future_status::ready) reader.Cancel();
  std::vector<StatementResult> r = read.get();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].error.number, 3617);
  writer.ExecuteBatch("rollback");
}

TEST(Sessions, ADeadlockHasOneVictimWhoseTransactionIsRolledBack) {
  auto db = OpenDatabase(":memory:");
  Session a(db), b(db);
  a.ExecuteBatch("create table t1 (v int)\ninsert into t1 values (1)\ncreate table t2 (v int)\n"
                 "insert into t2 values (2)");
  a.ExecuteBatch("begin tran\nupdate t1 set v = 10");
  b.ExecuteBatch("begin tran\nupdate t2 set v = 20");
  // Each now reads the table the other changed: one of them closes the cycle.
  auto in_a = std::async(std::launch::async, [&] { return a.ExecuteBatch("select v from t2\nselect @@trancount"); });
  std::this_thread::sleep_for(50ms);
  std::vector<StatementResult> in_b = b.ExecuteBatch("select v from t1\nselect @@trancount");
  std::vector<StatementResult> got_a = in_a.get();
  const bool a_lost = got_a[0].kind == Kind::Error;
  const std::vector<StatementResult>& victim = a_lost ? got_a : in_b;
  const std::vector<StatementResult>& survivor = a_lost ? in_b : got_a;
  ASSERT_EQ(victim.size(), 1u) << "the victim's batch ends";
  EXPECT_EQ(victim[0].error.number, 1205);
  EXPECT_NE(victim[0].error.message.find("deadlocked"), std::string::npos);
  ASSERT_EQ(survivor.size(), 2u);
  // The survivor reads the victim's table as it was before the victim's rolled-back change.
  EXPECT_EQ(survivor[0].rows[0][0].int_value(), a_lost ? 1 : 2);
  EXPECT_EQ(survivor[1].rows[0][0].int_value(), 1);
  Session& winner = a_lost ? b : a;
  Session& loser = a_lost ? a : b;
  EXPECT_EQ(FirstInt(loser.ExecuteBatch("select @@trancount")), 0);
  winner.ExecuteBatch("commit");
  EXPECT_EQ(FirstInt(loser.ExecuteBatch("select (select v from t1) + (select v from t2)")), a_lost ? 21 : 12);
}

// Sessions of one process share the file's single write lock: a second writer waits for the
// first transaction (or gives up after its lock timeout), readers do not wait at all.
TEST(Sessions, WritersOfOneFileTakeTurnsReadersDoNot) {
  const std::string path = ::testing::TempDir() + "orv_sessions_" + std::to_string(::getpid()) + ".orvdb";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  {
    auto db = OpenDatabase(path, {.create = true});
    Session first(db), second(db);
    first.ExecuteBatch("create table a (v int)\ncreate table b (v int)\ninsert into b values (7)");
    first.ExecuteBatch("begin tran\ninsert into a values (1)");
    std::vector<StatementResult> r = second.ExecuteBatch("set lock_timeout 0\ninsert into b values (8)\nselect v from b");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].error.number, 1222);
    EXPECT_EQ(r[1].rows.size(), 1u);
    auto waits = std::async(std::launch::async, [&] {
      return second.ExecuteBatch("set lock_timeout -1\ninsert into b values (9)");
    });
    std::this_thread::sleep_for(50ms);
    first.ExecuteBatch("commit");
    EXPECT_EQ(waits.get().back().kind, Kind::RowCount);
  }
  Session reopened(OpenDatabase(path));
  EXPECT_EQ(FirstInt(reopened.ExecuteBatch("select count(*) from a")), 1);
  EXPECT_EQ(FirstInt(reopened.ExecuteBatch("select sum(v) from b")), 16);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

// Another process holding the file's write lock: a writer waits up to its lock timeout and
// then gets 1222 (its statement ends, nothing is written); once the lock is free it writes.
TEST(Sessions, AWriterWaitsForAnotherProcessUpToItsLockTimeout) {
  const std::string path = ::testing::TempDir() + "orv_busy_" + std::to_string(::getpid()) + ".orvdb";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  Session s(OpenDatabase(path, {.create = true}));
  s.ExecuteBatch("create table t (v int)");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto start = std::chrono::steady_clock::now();
  std::vector<StatementResult> r = s.ExecuteBatch("set lock_timeout 200\ninsert into t values (1)\nselect count(*) from t");
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].error.number, 1222);
  EXPECT_GE(waited, 200ms);
  EXPECT_EQ(r[1].rows[0][0].int_value(), 0);
  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  r = s.ExecuteBatch("insert into t values (2)\nselect count(*) from t");
  EXPECT_EQ(r.back().rows[0][0].int_value(), 1);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

}  // namespace
}  // namespace orv::tsql
