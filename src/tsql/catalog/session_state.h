// The per-connection state that statements read and change: temporary tables, SET options,
// the clock behind GETDATE(), @@ROWCOUNT, declared variables, the open transaction (its change
// log, savepoints and count) and the locks the session holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/types/datetime.h"
#include "tsql/types/result_column.h"
#include "tsql/catalog/change_log.h"
#include "tsql/catalog/lock_manager.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct Variable {
  SqlType type;
  Value value;
};

struct Savepoint {
  std::string name;
  size_t mark = 0;  // the change log's size when it was set
};

// The session's transaction: BEGIN TRAN counts up, COMMIT down, ROLLBACK to zero. Outside an
// explicit transaction every statement is a transaction of its own (autocommit).
struct TransactionState {
  int32_t count = 0;   // @@TRANCOUNT
  std::string name;    // the name given to the outermost BEGIN TRAN, if any
  std::vector<Savepoint> savepoints;
  ChangeLog log;
  // An error made the transaction uncommittable (XACT_STATE() -1): it may only be rolled back.
  bool doomed = false;
  bool writing = false;  // holds the data-source file's write lock (from its first write on)
  // The open transaction's number within the session (0 when none is open), the number of
  // the last one begun, and how the last one to end ended: a front end tells its client
  // when a request began or ended a transaction by comparing numbers.
  uint64_t id = 0;
  uint64_t last_id = 0;
  bool last_rolled_back = false;
};

// A cursor: what DECLARE CURSOR (or SET @v = CURSOR) gave it, and while it is open, the rows
// its query gave at OPEN and where FETCH stands among them. Every kind of cursor reads the
// rows as OPEN found them; a cursor that may change its table's rows (not STATIC, READ_ONLY or
// FAST_FORWARD) over one table also keeps each row's identity in that table, for WHERE
// CURRENT OF and for noticing rows deleted since.
struct Cursor {
  std::string name;  // as declared ("@v" for a cursor made by SET @v = CURSOR)
  bool global = false;
  bool scroll = false;   // fetches other than NEXT are allowed
  bool dynamic = false;  // DYNAMIC, or of no kind given: its rows may change while open
  bool absolute = true;  // FETCH ABSOLUTE is allowed (not on a cursor declared DYNAMIC)
  bool updatable = false;
  bool counted = false;  // @@CURSOR_ROWS gives its rows (STATIC, KEYSET), else -1
  std::shared_ptr<const ast::QueryExpr> query;
  std::vector<std::string> update_columns;  // FOR UPDATE OF ...; empty: every column

  bool open = false;
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;
  // 1-based: 0 stands before the first row, rows.size() + 1 after the last.
  size_t position = 0;
  // The one table the rows come from, and each row's id in it (Table::row_ids), when kept.
  std::shared_ptr<Table> table;
  std::vector<int64_t> row_ids;
};

// What the running statement has read from a data-source file: the file's data version it
// reads at and the tables it uses, so that all of them can be checked to be of that version.
struct StatementReads {
  int64_t data_version = 0;
  bool check = false;  // a table in use was read at another data version
  std::vector<std::shared_ptr<Table>> tables;
};

struct SessionState {
  explicit SessionState(std::shared_ptr<Database> db);
  // A session that goes away with an open transaction rolls it back.
  ~SessionState();
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  std::shared_ptr<Database> database;
  int32_t session_id = 0;  // @@SPID: names the session in messages
  std::map<std::string, std::shared_ptr<Table>> temp_tables;  // folded name -> table
  std::map<std::string, Variable> variables;                  // folded name without '@'
  // Cursors by folded name: the GLOBAL ones of the session, the LOCAL ones of the running
  // batch or procedure, and the cursor variables of that scope (folded name without '@';
  // null while the variable holds none). A cursor goes when nothing holds it any more.
  std::map<std::string, std::shared_ptr<Cursor>> global_cursors;
  std::map<std::string, std::shared_ptr<Cursor>> local_cursors;
  std::map<std::string, std::shared_ptr<Cursor>> cursor_variables;
  int32_t fetch_status = -1;          // @@FETCH_STATUS: how the last FETCH of the session went
  std::weak_ptr<Cursor> last_opened;  // for @@CURSOR_ROWS
  bool nocount = false;
  bool xact_abort = false;
  // SET IMPLICIT_TRANSACTIONS ON: a statement that reads or changes a table opens a
  // transaction when none is open, which stays open until COMMIT or ROLLBACK.
  bool implicit_transactions = false;
  int64_t lock_timeout_ms = -1;  // SET LOCK_TIMEOUT: -1 waits without limit
  // How much a statement may grow the heap (SET MEMORY_LIMIT_MB); 0: the engine's limit only.
  int64_t memory_limit_bytes = 0;
  int64_t rowcount = 0;
  // @@IDENTITY: the last identity value an INSERT gave a row, in any scope; SCOPE_IDENTITY():
  // the same in the running batch, procedure or dynamic batch alone.
  std::optional<int64_t> last_identity;
  std::optional<int64_t> scope_identity;
  // SET IDENTITY_INSERT ... ON: the one table (by object id; 0 for none) whose identity column
  // an INSERT fills from its own values, and its three-part name for Msg 8107.
  int32_t identity_insert_id = 0;
  std::string identity_insert_name;
  int32_t last_error = 0;  // @@ERROR
  int32_t nest_level = 0;  // @@NESTLEVEL: procedures running, one inside the other
  // The errors being handled by the CATCH blocks running, innermost last (ERROR_NUMBER() ...).
  std::vector<SqlError> caught_errors;
  // SET options a client sends when it connects; those that change results are honoured.
  bool ansi_nulls = true;
  bool ansi_warnings = true;               // 8153 warnings; overflow and truncation errors
  bool concat_null_yields_null = true;     // NULL + 'x' is NULL (else 'x')
  bool quoted_identifier = true;
  bool arithabort = true;
  bool ansi_padding = true;
  int64_t textsize = -1;                   // -1: the server default
  std::string isolation_level = "READ COMMITTED";
  dt::DateSettings date_settings;          // SET DATEFORMAT, LANGUAGE, DATEFIRST
  std::optional<int64_t> fixed_clock;
  // Results may pass table rows on without copying them (Session::SetShareResultRows).
  bool share_result_rows = false;
  // Permanent tables may be read but not changed (Session::SetReadOnly).
  bool read_only = false;
  // Set from another thread to stop the running batch (Session::Cancel); cleared when a batch
  // starts.
  std::atomic<bool> cancel_requested{false};
  TransactionState transaction;
  LockOwner locks;
  StatementReads reads;

  std::shared_ptr<Table> FindTempTable(std::string_view name) const;
  // A permanent table for the running statement to read: takes a shared lock on the name for
  // the statement (waiting for a session that changes the table in an open transaction), then
  // finds the table. nullptr when there is none (a view's name is locked all the same).
  std::shared_ptr<Table> OpenTable(std::string_view name);
  // The current time as datetime ticks: the fixed clock, the database's demo clock, the
  // ORV_FIXED_NOW environment variable, or the local time.
  int64_t Now() const;
};

// True for "#x" (and "##x") names, and for table variables ("@t"): tables of the session.
inline bool IsTempName(std::string_view name) {
  return !name.empty() && (name[0] == '#' || name[0] == '@');
}

// The object an object name given as text names ("db.schema.name", "tempdb..#t", "[dbo].[t]",
// as OBJECT_ID and COL_LENGTH take it): its last part, brackets removed. A temporary table is
// reached only through tempdb ("tempdb..#t", or a bare "#t" where the current database is
// tempdb), as SQL Server looks for a bare "#t" in the current database: "" otherwise, which
// names nothing.
std::string ObjectNamePart(std::string_view text, std::string_view current_database);

}  // namespace orv::tsql
