// What one statement of a batch gives back, in the order a SQL Server client receives it: a
// row set, a row count, an error or an informational message.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tsql/types/result_column.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value.h"

namespace orv::tsql {

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
  // Rows: whether the client is told how many (NOCOUNT was OFF when they were made).
  bool counted = true;
  SqlError error;  // Error and Message

  size_t row_count() const { return shared_rows ? shared_order.size() : rows.size(); }
  const Value& at(size_t row, size_t column) const {
    return shared_rows ? (*shared_rows)[shared_order[row]][shared_columns[column]]
                       : rows[row][column];
  }
  // Copies shared rows into `rows`, so that the result no longer holds the table's rows.
  void MaterializeRows();
};

}  // namespace orv::tsql
