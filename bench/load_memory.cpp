// Peak memory of holding a table of a million twelve-column rows (ints, decimals, varchars,
// datetimes, like a stock-bill line), loaded with INSERT ... SELECT. Prints the peak resident
// set size before and after, in MB.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "tsql/engine.h"
#include "tsql/storage/heap_policy.h"

namespace {
long PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}
}  // namespace

int main(int argc, char** argv) {
  orv::tsql::RestartWithHugePageHeap(argv);  // as the orvdata command does
  orv::tsql::KeepFreedMemoryForReuse();
  const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
  orv::tsql::Session session(orv::tsql::OpenDatabase(":memory:"));
  auto run = [&](const std::string& sql) {
    for (const auto& r : session.ExecuteBatch(sql)) {
      if (r.kind == orv::tsql::StatementResult::Kind::Error) {
        std::fprintf(stderr, "error %d: %s\n", r.error.number, r.error.message.c_str());
        std::exit(1);
      }
    }
  };
  run("SET NOCOUNT ON\nCREATE TABLE n (v int NOT NULL)\nINSERT INTO n VALUES (0)");
  for (long size = 1; size < rows; size *= 2) run("INSERT INTO n SELECT v + " + std::to_string(size) + " FROM n");
  run("DELETE FROM n WHERE v >= " + std::to_string(rows));
  const long before = PeakMb();
  run("CREATE TABLE ICStockBillEntry (FInterID int NOT NULL, FEntryID int NOT NULL, FItemID int, FUnitID int, "
      "FBatchNo varchar(200), FAuxQty decimal(28,10), FQty decimal(28,10), FAmount decimal(28,10), "
      "FSourceTranType smallint, FSourceInterID int, FMOInterID int, FDate datetime)\n"
      "INSERT INTO ICStockBillEntry SELECT v / 3, v % 3, v % 20000, 1 + v % 9, 'B2506-' + CAST(v % 7 AS varchar(3)), "
      "v % 50 + 0.5, (v % 50 + 0.5) * 12, (v % 50) * 3.25, 85, v / 5, v / 5, DATEADD(day, v % 365, '20240101') FROM n\n"
      "DROP TABLE n");
  std::printf("rows %ld: peak RSS before %ld MB, after %ld MB\n", rows, before, PeakMb());
  return 0;
}
