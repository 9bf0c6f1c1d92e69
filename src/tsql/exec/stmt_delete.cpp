// DELETE [FROM]: removes every target row that a FROM/WHERE row points to, keeping the order
// of the remaining rows.
#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

void ExecDelete(ast::DeleteStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  int target = BindDmlTarget(binder, stmt.target, stmt.from, spec, scope);
  const std::shared_ptr<Table> target_table = spec.sources[target].table;
  Table& table = *target_table;
  if (cx.session.read_only && !table.temporary) {
    cx.BindDone();  // a permission error ends the statement, not the batch
    ThrowError(229, {"DELETE", table.name, cx.session.database->name()});
  }
  if (stmt.where) Binder::SplitConjuncts(binder.BindExpr(*stmt.where, scope), spec.where);
  const int64_t limit = BindTopLimit(binder, stmt.top);
  cx.BindDone();

  // Taken before the rows are read, so that the addresses below are those of the rows kept.
  std::vector<Row>& rows = table.mutable_rows();
  TupleSet tuples = RunFrom(spec, nullptr, cx.env);
  const Row* base = rows.data();
  std::vector<char> doomed(rows.size(), 0);
  int64_t count = 0;
  for (size_t i = 0; i < tuples.count; ++i) {
    const Row* row = tuples.at(i)[target];
    if (!row) continue;
    size_t index = static_cast<size_t>(row - base);
    if (doomed[index]) continue;
    if (limit >= 0 && count >= limit) break;
    doomed[index] = 1;
    ++count;
  }
  if (count > 0) cx.log().Delete(target_table, doomed);
  cx.RowCount(count);
}

}  // namespace orv::tsql
