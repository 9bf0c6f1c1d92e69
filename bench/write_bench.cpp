// Writes to a data-source file: a commit costs what it changes, not the size of the table.
// Inserting one row into a table of 1,000 and of 1,000,000 rows (each its own transaction, as
// a statement outside BEGIN TRAN is), updating 1% of a 1,000,000-row table, updating all of
// it, and writing the whole table anew (what every change cost when commits rewrote tables).
// How to build and run it: README.md, Benchmarks.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "tsql/engine.h"
#include "tsql/storage/heap_policy.h"

namespace {

using orv::tsql::Session;
using orv::tsql::StatementResult;

void Run(Session& session, const std::string& sql) {
  for (const StatementResult& r : session.ExecuteBatch(sql)) {
    if (r.kind == StatementResult::Kind::Error) {
      throw std::runtime_error("benchmark batch failed: " + r.error.message + "\n" + sql);
    }
  }
}

std::string FilePath(int64_t rows) {
  return "/tmp/orv_write_bench_" + std::to_string(getpid()) + "_" + std::to_string(rows) + ".orvdb";
}

void RemoveFile(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

// A data-source file with table t of `rows` rows (id 0..rows-1), built in memory and saved in
// one go, then opened with the table read, as a session that has used it has it.
Session& Opened(int64_t rows) {
  static std::map<int64_t, std::unique_ptr<Session>> sessions;
  auto& slot = sessions[rows];
  if (slot) return *slot;
  {
    Session build(orv::tsql::OpenDatabase(":memory:"));
    Run(build, "SET NOCOUNT ON\nCREATE TABLE t (id int NOT NULL, qty decimal(23,10), name varchar(40))\n"
               "INSERT INTO t VALUES (0, 1.5, 'first')");
    for (int64_t size = 1; size < rows; size *= 2) {
      Run(build, "INSERT INTO t SELECT id + " + std::to_string(size) + ", qty + id, 'item ' + CAST(id AS varchar(10)) "
                 "FROM t WHERE id + " + std::to_string(size) + " < " + std::to_string(rows));
    }
    RemoveFile(FilePath(rows));
    orv::tsql::SaveDatabaseAs(build.database(), FilePath(rows));
  }
  slot = std::make_unique<Session>(orv::tsql::OpenDatabase(FilePath(rows)));
  Run(*slot, "SET NOCOUNT ON\nSELECT count(*) FROM t");
  return *slot;
}

void BM_InsertOneRow(benchmark::State& state) {
  Session& session = Opened(state.range(0));
  int64_t next = state.range(0);
  for (auto _ : state) {
    Run(session, "INSERT INTO t VALUES (" + std::to_string(next++) + ", 2.25, 'added')");
  }
}
BENCHMARK(BM_InsertOneRow)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_UpdateOnePercent(benchmark::State& state) {
  Session& session = Opened(state.range(0));
  int64_t round = 0;
  for (auto _ : state) {
    Run(session, "UPDATE t SET qty = qty + 1 WHERE id % 100 = " + std::to_string(round++ % 100));
  }
}
BENCHMARK(BM_UpdateOnePercent)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_UpdateAllRows(benchmark::State& state) {
  Session& session = Opened(state.range(0));
  for (auto _ : state) Run(session, "UPDATE t SET qty = qty + 1");
}
BENCHMARK(BM_UpdateAllRows)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_WriteWholeTable(benchmark::State& state) {
  Session& session = Opened(state.range(0));
  const std::string copy = FilePath(state.range(0)) + ".copy";
  for (auto _ : state) orv::tsql::SaveDatabaseAs(session.database(), copy);
  RemoveFile(copy);
}
BENCHMARK(BM_WriteWholeTable)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  orv::tsql::RestartWithHugePageHeap(argv);
  orv::tsql::KeepFreedMemoryForReuse();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const int64_t rows : {1000, 1000000}) RemoveFile(FilePath(rows));
  return 0;
}
