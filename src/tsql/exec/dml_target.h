// The target of an INSERT, UPDATE, DELETE or MERGE: a table, or a view, common table
// expression or derived table whose rows come from tables. A change through a view goes to
// the one table the changed columns come from, as SQL Server allows (Msg 4403, 4405, 4406
// and, for derived tables, 4417, 4418, 4420, 4421 otherwise).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

class Binder;
struct Scope;

struct DmlTarget {
  int source = -1;       // the FROM source that is the target (UPDATE, DELETE, MERGE)
  std::string name;      // as the statement names it, for messages
  bool view = false;     // a view or common table expression rather than a derived table
  bool derived = false;  // not a table itself
  // The tables its rows come from, and for each, which value of a row of the source holds the
  // address of the table row it shows (-1 for a table target: the source's row is the table's).
  std::vector<std::shared_ptr<Table>> tables;
  std::vector<int> row_columns;
  // For each column of the source, the table (index into `tables`) and column it shows; table
  // -1 for a column the definition computes.
  struct Column {
    int table = -1;
    int column = -1;
  };
  std::vector<Column> columns;

  // The row of tables[t] that a tuple's target row shows (null when it shows none).
  const Row* TableRow(const Row* const* tuple, size_t t) const;
  // The one table that all these source columns show: Msg 4405/4420 when they show columns of
  // more than one table, 4406/4421 when one is computed. With no columns (DELETE), the target
  // must have one table.
  size_t TableOf(const std::vector<int>& source_columns) const;
  // The source column named `name`, or -1.
  int FindColumn(const BoundSource& source, const std::string& name) const;
};

// Binds the FROM of an UPDATE/DELETE and finds its target: the FROM source aliased with the
// target name, else the one reference of that table or view (the unaliased one when there are
// several), else the target added to FROM as one more (cross-joined) source. A view, common
// table expression or derived table target gets the addresses of its tables' rows as extra
// values of its rows.
DmlTarget BindDmlTarget(Binder& binder, const ast::Name& target,
                        const std::vector<ast::TableRefPtr>& from, BoundSpec& spec, Scope& scope);

// The target of an INSERT: a table, or a view or common table expression over tables. `spec`
// receives it as its one source.
DmlTarget BindInsertTarget(Binder& binder, const ast::Name& target, BoundSpec& spec);

// The target that source `index` of spec is (MERGE binds its target as a source itself).
DmlTarget TargetOfSource(BoundSpec& spec, int index, const std::string& name);

// The row limit of UPDATE/DELETE TOP (n): -1 when there is no TOP or n is NULL.
int64_t BindTopLimit(Binder& binder, const ast::ExprPtr& top);

}  // namespace orv::tsql
