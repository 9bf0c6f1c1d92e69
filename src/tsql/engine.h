// The public face of the embedded T-SQL engine: a Database (one per data source: permanent
// tables and views, shared by every connection to it) and a Session (one per connection:
// temporary tables, SET options, its transaction, the clock behind GETDATE()). A Session runs
// whole batches and returns the results of their statements in order, as a SQL Server client
// receives them; sessions of one database may run on different threads at once.
//
// Code outside the engine includes this header (and the value and type headers of types/ that
// it brings); the headers of the stage folders are the engine's own. Besides Session, it makes
// available OpenDatabase, SaveDatabaseAs and MakeColumnSnapshots (catalog/persistence.h),
// procedure calls with typed arguments (exec/procedure_call.h), the GO splitter of scripts
// (syntax/parser.h), the process's heap policy (storage/heap_policy.h) and the engine's memory
// limit (storage/memory_limit.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/catalog/persistence.h"
#include "tsql/exec/procedure_call.h"
#include "tsql/exec/statement_result.h"
#include "tsql/storage/heap_policy.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/syntax/ast.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct SessionState;

class Session {
 public:
  explicit Session(std::shared_ptr<Database> database);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs one batch: parse all of it (a syntax error runs nothing), then each statement in turn
  // with SQL Server's rules for which errors end the statement and which end the batch.
  std::vector<StatementResult> ExecuteBatch(std::string_view text);

  // Fixes the clock behind GETDATE() (datetime ticks since 1900-01-01), or lets it follow the
  // local time again. When unset, the database's stored demo clock (if any) applies, then the
  // ORV_FIXED_NOW environment variable ("yyyy-mm-dd[ hh:mi:ss]"), then the local time.
  void SetClock(std::optional<int64_t> datetime_ticks);

  // Bounds how much one statement may grow the engine's heap before it ends with Msg 701 (as
  // SET MEMORY_LIMIT_MB does); 0 leaves only the engine's limit (memory_limit.h).
  void SetMemoryLimitMegabytes(int64_t megabytes);

  Database& database();

  // Whether results may hold table rows instead of copies (StatementResult::shared_rows).
  // Off by default: every result's rows are then in StatementResult::rows.
  void SetShareResultRows(bool share);

  // A report user's session: SELECT, temporary tables and their changes run as usual, but a
  // statement that would change a permanent table or definition fails with SQL Server's
  // permission error (229 for INSERT, UPDATE, DELETE; 262 for CREATE TABLE/VIEW and SELECT
  // INTO; 3701 for DROP; 1088 for TRUNCATE and CREATE INDEX).
  void SetReadOnly(bool read_only);

  // Asks the batch running on another thread to stop: it ends at its next check (between
  // rows of its scans, filters, joins and subqueries) with error 3617. Safe to call from any
  // thread; a batch that starts after the call is not affected.
  void Cancel();

  // @@TRANCOUNT: 0 outside a transaction.
  int32_t transaction_count() const;
  // The open transaction's number (1, 2, ... within the session; 0 when none is open) and
  // whether the last transaction to end was rolled back: a front end compares the number
  // before and after a request to tell its client that a transaction began or ended.
  uint64_t transaction_id() const;
  bool last_transaction_rolled_back() const;

  // Whether SET NOCOUNT is ON: row counts are then not sent (a front end clears the count
  // bit of its DONE tokens).
  bool nocount() const;

  // Calls a stored procedure (name: its parts, brackets taken off) with typed arguments, as
  // EXEC does: by position, then by name, defaults for the rest; OUTPUT values come back.
  ProcedureCall CallProcedure(const ast::Name& name, const std::vector<ProcedureArgument>& arguments);

  // Runs an already parsed batch (text: the batch's source, used for stored definitions).
  std::vector<StatementResult> ExecuteParsed(ast::Batch& batch, std::string_view text = {});
  // The connection-level state (temporary tables, options) for the engine's own use.
  SessionState& state();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orv::tsql
