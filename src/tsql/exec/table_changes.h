// The three ways a statement changes a table's rows: adding rows, storing new values into rows,
// and deleting rows. INSERT, UPDATE, DELETE, MERGE and OUTPUT ... INTO all change rows through
// these, so that what goes with a change (recording it in the transaction's change log, which
// undoes it and writes it to the data-source file) is done in one place for every statement.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

struct StatementContext;

// The PRIMARY KEY, UNIQUE (2627) and CHECK (547) constraints of the table are checked after
// each change, unless `check_constraints` is false: a statement that makes several changes
// (MERGE) then checks once after the last (CheckKeys, CheckConditions).

// Appends rows, already converted to the column types and checked, in their order.
void AppendRows(const std::shared_ptr<Table>& table, std::vector<Row> rows, StatementContext& cx,
                bool check_constraints = true);

// New values for rows of one table: row `positions[j]` takes values[j * columns.size() + k]
// into column columns[k]. Positions are those of the rows as mutable_rows() gave them.
struct RowUpdates {
  std::vector<size_t> positions;
  std::vector<int> columns;
  std::vector<Value> values;
};
// Stores the values (the values they replace are left in `updates` for the change log), with
// the new values of the table's computed columns added to the change; a large change is written
// on two threads when `two_threads` allows it.
void UpdateRows(const std::shared_ptr<Table>& table, RowUpdates& updates, bool two_threads, StatementContext& cx,
                bool check_constraints = true);

// Deletes the rows whose position is flagged in `doomed` (one flag per row), keeping the order
// of the others. `count` is the number of flags set.
void DeleteRows(const std::shared_ptr<Table>& table, const std::vector<char>& doomed, size_t count,
                StatementContext& cx);

}  // namespace orv::tsql
