// DELETE [FROM]: removes every target row that a FROM/WHERE row points to, keeping the order
// of the remaining rows; through a view, the rows of its one table.
#include "tsql/bind/binder.h"
#include "tsql/exec/dml_output.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_changes.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

void ExecDelete(ast::DeleteStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  binder.PushCtes(stmt.with);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  const DmlTarget target = BindDmlTarget(binder, stmt.target, stmt.from, spec, scope);
  const size_t table_index = target.TableOf({});
  const std::shared_ptr<Table>& table_ptr = target.tables[table_index];
  Table& table = *table_ptr;
  if (cx.session.read_only && !table.temporary) {
    cx.BindDone();  // a permission error ends the statement, not the batch
    ThrowError(229, {"DELETE", table.name, cx.session.database->name()});
  }
  if (stmt.where) Binder::SplitConjuncts(binder.BindExpr(*stmt.where, scope), spec.where);
  const int64_t limit = BindTopLimit(binder, stmt.top);
  DmlOutput output(binder, stmt.output, table, {.deleted = true}, &scope, cx);
  cx.BindDone();

  // Taken before the rows are read, so that the addresses below are those of the rows kept.
  std::vector<Row>& rows = table.mutable_rows();
  TupleSet tuples = stmt.current_of ? CurrentOfTuple(*stmt.current_of, target, spec, nullptr, cx)
                                    : RunFrom(spec, nullptr, cx.env);
  const Row* base = rows.data();
  std::vector<char> doomed(rows.size(), 0);
  int64_t count = 0;
  for (size_t i = 0; i < tuples.count; ++i) {
    const Row* row = target.TableRow(tuples.at(i), table_index);
    if (!row) continue;
    size_t index = static_cast<size_t>(row - base);
    if (doomed[index]) continue;
    if (limit >= 0 && count >= limit) break;
    doomed[index] = 1;
    ++count;
    if (!output.empty()) {
      EvalCtx from;
      from.srcs = tuples.at(i);
      from.env = &cx.env;
      output.Add(nullptr, row, nullptr, &from);
    }
  }
  output.Prepare();
  DeleteRows(table_ptr, doomed, static_cast<size_t>(count), cx);
  output.Finish(count);
}

}  // namespace orv::tsql
