// The public face of the embedded T-SQL engine: a Database (one per data source: permanent
// tables and views, shared by every connection to it) and a Session (one per connection:
// temporary tables, SET options, the clock behind GETDATE()). A Session runs whole batches and
// returns the results of their statements in order, as a SQL Server client receives them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/ast.h"
#include "tsql/sql_error.h"
#include "tsql/types.h"
#include "tsql/value.h"

namespace orv::tsql {

struct ResultColumn {
  std::string name;  // "" for an unnamed expression
  SqlType type;
  bool nullable = true;
};

struct StatementResult {
  enum class Kind {
    Rows,      // a row set (SELECT without INTO)
    RowCount,  // rows affected by INSERT/UPDATE/DELETE/SELECT INTO while NOCOUNT is OFF
    Error,     // severity >= 11
    Message,   // PRINT output and informational messages (severity <= 10)
  };
  Kind kind = Kind::RowCount;
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;
  // A SELECT that returns columns of one table as they are may pass the table's rows on
  // instead of copying them (see Session::SetShareResultRows): row i of the result is then
  // the columns `shared_columns` of row `shared_order[i]` of `shared_rows`, and `rows` is
  // empty. The table keeps these rows as they are for as long as the result holds them.
  std::shared_ptr<const std::vector<std::vector<Value>>> shared_rows;
  std::vector<uint32_t> shared_order;
  std::vector<uint32_t> shared_columns;
  int64_t count = 0;
  SqlError error;  // Error and Message

  size_t row_count() const { return shared_rows ? shared_order.size() : rows.size(); }
  const Value& at(size_t row, size_t column) const {
    return shared_rows ? (*shared_rows)[shared_order[row]][shared_columns[column]]
                       : rows[row][column];
  }
  // Copies shared rows into `rows`, so that the result no longer holds the table's rows.
  void MaterializeRows();
};

class Database;
struct SessionState;

// Opens (or returns the already open) database of a data source: a file path for a SQLite
// data-source file (created on first write), or ":memory:" for a new private in-memory
// database. The same canonical path gives the same Database object while it is open.
// Raises SqlException with a clear message naming the file when it cannot be opened.
std::shared_ptr<Database> OpenDatabase(const std::string& path);

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

  Database& database();

  // Whether results may hold table rows instead of copies (StatementResult::shared_rows).
  // Off by default: every result's rows are then in StatementResult::rows.
  void SetShareResultRows(bool share);

  // Runs an already parsed batch (text: the batch's source, used for stored definitions).
  std::vector<StatementResult> ExecuteParsed(ast::Batch& batch, std::string_view text = {});
  // The connection-level state (temporary tables, options) for the engine's own use.
  SessionState& state();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orv::tsql
