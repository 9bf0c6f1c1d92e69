// libFuzzer target for the binder and executor: each input is run as a batch by a session on a
// small in-memory schema (two permanent tables with a few rows, the shapes the reports use:
// ints, decimals, strings, datetimes, NULLs). Any outcome the engine reports as a result
// (rows, counts, SQL errors) is fine; a crash, a sanitizer report or an exception other than
// SqlException escaping ExecuteBatch is a bug. Inputs with loops are skipped and long inputs
// are capped, so that every run stays fast.
//
// Seed it with tests/sql (each case's batch is a good start) and tests/tsql/data.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tsql/engine.h"
#include "tsql/types/sql_error.h"

namespace {

constexpr const char* kSchema =
    "create table ICMO (FInterID int not null, FBillNo varchar(20), FDate datetime, "
    "FItemID int, FQty decimal(23,10) not null default 0, FStatus smallint)\n"
    "create table ICStockBillEntry (FInterID int, FEntryID int, FSourceInterID int, "
    "FItemID int, FQty decimal(18,4), FNote nvarchar(40))\n"
    "insert into ICMO values (1,'MO1','2025-01-05',10,5.5,1),(2,'MO2','2025-02-01',20,0,3),"
    "(3,NULL,NULL,10,7,NULL)\n"
    "insert into ICStockBillEntry values (11,1,1,10,2.5,'a'),(12,1,1,10,-1,NULL),"
    "(13,1,11,20,3,N'b'),(14,2,NULL,NULL,NULL,'')\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return -1;  // long inputs only slow the search down
  std::string lower(reinterpret_cast<const char*>(data), size);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Loops and waits would hang the run; such inputs are not interesting here.
  if (lower.find("while") != std::string::npos || lower.find("waitfor") != std::string::npos) {
    return -1;
  }
  // A fresh database per input keeps every run reproducible from its input alone.
  orv::tsql::Session session(orv::tsql::OpenDatabase(":memory:"));
  session.SetClock(int64_t{45823} * orv::tsql::kTicksPerDay);
  session.ExecuteBatch(kSchema);
  try {
    session.ExecuteBatch(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const orv::tsql::SqlException&) {
    // A rejected batch is a valid outcome.
  }
  return 0;
}
