// Computed columns (name AS expression): their expressions bound against the other columns of
// their table, and their values worked out whenever a row is added or changed.
#pragma once

#include <memory>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/catalog/catalog.h"
#include "tsql/exec/table_changes.h"

namespace orv::tsql {

struct StatementContext;

bool HasComputedColumns(const Table& table);

// The type of a computed column's expression over the table's other columns (Msg 207 for a
// column not there, 1759 for another computed column).
SqlType ComputedColumnType(const Table& table, const ColumnDef& column, StatementContext& cx);

// A table's computed columns, bound for one statement.
class ComputedColumns {
 public:
  // `statement` names the statement in Msg 515.
  ComputedColumns(const Table& table, StatementContext& cx, const char* statement = "INSERT");
  // Sets each computed column of `row` from its other columns (Msg 515 for a NULL in a NOT
  // NULL one).
  void Fill(Row& row) const;

 private:
  const Table& table_;
  StatementContext& cx_;
  const char* statement_;
  std::vector<std::unique_ptr<BoundSpec>> specs_;     // what the expressions were bound in
  std::vector<std::pair<size_t, BExprPtr>> columns_;  // position, bound expression
};

// For a change of rows of a table with computed columns: adds the columns' new values, worked
// out from the rows as the change leaves them, to the change.
void AddComputedValues(const Table& table, RowUpdates& updates, StatementContext& cx);

}  // namespace orv::tsql
