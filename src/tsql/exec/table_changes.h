// The three ways a statement changes a table's rows: adding rows, storing new values into rows,
// and deleting rows. INSERT, UPDATE, DELETE, MERGE and OUTPUT ... INTO all change rows through
// these, so that what goes with a change (marking a permanent table for saving) is done in one
// place for every statement.
#pragma once

#include <cstddef>
#include <vector>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

struct StatementContext;

// Appends rows, already converted to the column types and checked, in their order.
void AppendRows(Table& table, std::vector<Row> rows, StatementContext& cx);

// New values for rows of one table: row `positions[j]` takes values[j * columns.size() + k]
// into column columns[k]. Positions are those of the rows as mutable_rows() gave them.
struct RowUpdates {
  std::vector<size_t> positions;
  std::vector<int> columns;
  std::vector<Value> values;
};
// Stores the values (moving them out of `updates`); a large change is written on two threads
// when `two_threads` allows it.
void UpdateRows(Table& table, RowUpdates& updates, bool two_threads, StatementContext& cx);

// Deletes the rows whose position is flagged in `doomed` (one flag per row), keeping the order
// of the others. `count` is the number of flags set.
void DeleteRows(Table& table, const std::vector<char>& doomed, size_t count,
                StatementContext& cx);

}  // namespace orv::tsql
