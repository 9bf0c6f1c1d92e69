// Engine benchmarks on tables shaped like task orders (n rows) and stock-bill lines (5n rows):
// an INSERT ... SELECT with two joins and a GROUP BY, an UPDATE ... FROM with a join, a
// correlated scalar subquery per row, and a subquery nested in a correlated subquery. Each runs
// at four sizes, doubling, so that the growth can be read off the times (n log n or better
// means a ratio of about 2.1 per doubling). How to build and run it: README.md, Benchmarks.
#include <benchmark/benchmark.h>

#include <chrono>
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

// A numbers table 0..count-1, built by doubling.
void Numbers(Session& session, int64_t count) {
  Run(session, "SET NOCOUNT ON\nCREATE TABLE n (v int NOT NULL)\nINSERT INTO n VALUES (0)");
  for (int64_t size = 1; size < count; size *= 2) {
    Run(session, "INSERT INTO n SELECT v + " + std::to_string(size) + " FROM n");
  }
  Run(session, "DELETE FROM n WHERE v >= " + std::to_string(count));
}

// The numbers, then an item table and the two fact tables.
std::unique_ptr<Session> Build(int64_t tasks) {
  auto session = std::make_unique<Session>(orv::tsql::OpenDatabase(":memory:"));
  Numbers(*session, tasks * 5);
  Run(*session,
      "CREATE TABLE t_ICItem (FItemID int NOT NULL, FNumber varchar(255), FQtyDecimal smallint, FUnitID int)\n"
      "INSERT INTO t_ICItem SELECT v, 'ITEM' + CAST(v AS varchar(10)), v % 4, 1 + v % 3 FROM n WHERE v < 20000\n"
      "CREATE TABLE ICMO (FInterID int NOT NULL, FBillNo varchar(255), FItemID int, FQty decimal(28,10), "
      "FFinishQty decimal(28,10), FDate datetime, FStatus smallint)\n"
      "INSERT INTO ICMO SELECT v, 'WORK' + CAST(v AS varchar(10)), v % 20000, v % 97 + 1, v % 89, "
      "DATEADD(day, v % 365, '20240101'), v % 4 FROM n WHERE v < " + std::to_string(tasks) + "\n"
      "CREATE TABLE ICStockBillEntry (FInterID int NOT NULL, FEntryID int, FItemID int, FQty decimal(28,10), "
      "FAmount decimal(28,10), FSourceInterID int, FSourceTranType smallint)\n"
      "INSERT INTO ICStockBillEntry SELECT v / 2, v % 2, v % 20000, v % 13 + 1, (v % 13 + 1) * 2.5, v % " +
          std::to_string(tasks) + ", 85 FROM n");
  return session;
}

Session& Cached(int64_t tasks) {
  static std::map<int64_t, std::unique_ptr<Session>> cache;
  auto& slot = cache[tasks];
  if (!slot) slot = Build(tasks);
  return *slot;
}

template <class F>
void Timed(benchmark::State& state, F&& body) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.SetComplexityN(state.range(0));
}

void BM_InsertSelectJoinGroup(benchmark::State& state) {
  Session& s = Cached(state.range(0));
  Run(s, "IF OBJECT_ID('tempdb..#r') IS NOT NULL DROP TABLE #r\n"
         "CREATE TABLE #r (FItemID int, FNumber varchar(255), FQty decimal(38,10), FAmount decimal(38,10))");
  Timed(state, [&] {
    Run(s, "TRUNCATE TABLE #r\n"
           "INSERT INTO #r SELECT e.FItemID, i.FNumber, SUM(e.FQty), SUM(e.FAmount) FROM ICStockBillEntry e "
           "INNER JOIN ICMO m ON m.FInterID = e.FSourceInterID INNER JOIN t_ICItem i ON i.FItemID = e.FItemID "
           "WHERE e.FSourceTranType = 85 AND m.FStatus > 0 GROUP BY e.FItemID, i.FNumber");
  });
}

void BM_UpdateFromJoin(benchmark::State& state) {
  Session& s = Cached(state.range(0));
  Run(s, "IF OBJECT_ID('tempdb..#m') IS NOT NULL DROP TABLE #m\n"
         "SELECT FInterID, FItemID, FQty, CAST(0 AS decimal(28,10)) AS FRounded INTO #m FROM ICMO");
  Timed(state, [&] {
    Run(s, "UPDATE t1 SET t1.FRounded = ROUND(t1.FQty, t4.FQtyDecimal) FROM #m t1, t_ICItem t4 "
           "WHERE t1.FItemID = t4.FItemID");
  });
}

void BM_CorrelatedScalarSubquery(benchmark::State& state) {
  Session& s = Cached(state.range(0));
  Run(s, "IF OBJECT_ID('tempdb..#s') IS NOT NULL DROP TABLE #s\n"
         "SELECT FInterID, FBillNo, CAST(NULL AS datetime) AS FDateSort INTO #s FROM ICMO");
  Timed(state, [&] {
    Run(s, "UPDATE #s SET FDateSort = (SELECT FDate FROM ICMO WHERE FBillNo = #s.FBillNo)");
  });
}

// A subquery nested in a correlated subquery whose correlation skips a level (a red stock bill
// finding the task order of the blue bill it reverses): the inner IN is keyed, the middle one
// reads the line table through a column index once per outer row.
void BM_NestedCorrelatedIn(benchmark::State& state) {
  Session& s = Cached(state.range(0));
  Timed(state, [&] {
    Run(s, "IF OBJECT_ID('tempdb..#red') IS NOT NULL DROP TABLE #red\n"
           "SELECT r.FInterID, (SELECT TOP 1 b.FSourceInterID FROM ICStockBillEntry b WHERE b.FInterID IN "
           "(SELECT m.FSourceInterID FROM ICStockBillEntry m WHERE m.FInterID = r.FInterID) "
           "AND b.FSourceInterID > 0) AS FMO INTO #red FROM ICMO r WHERE r.FStatus = 1");
  });
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(100000)->Arg(200000)->Arg(400000)->Arg(800000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();
}

BENCHMARK(BM_InsertSelectJoinGroup)->Apply(Sizes);
BENCHMARK(BM_UpdateFromJoin)->Apply(Sizes);
BENCHMARK(BM_CorrelatedScalarSubquery)->Apply(Sizes);
BENCHMARK(BM_NestedCorrelatedIn)->Apply(Sizes);

}  // namespace

// The engine runs here under the heap policy of the orvdata command, which runs the reports.
int main(int argc, char** argv) {
  orv::tsql::RestartWithHugePageHeap(argv);
  orv::tsql::KeepFreedMemoryForReuse();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
