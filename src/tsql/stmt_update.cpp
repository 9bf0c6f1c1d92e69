// UPDATE [FROM]: the FROM/WHERE rows are computed first, then each target row takes the SET
// values of its first matching row (a target row is changed once however many rows match).
// All new values are computed and checked before any is stored.
#include <algorithm>

#include "tsql/binder.h"
#include "tsql/exec.h"
#include "tsql/sql_error.h"
#include "tsql/statements.h"

namespace orv::tsql {

void ExecUpdate(ast::UpdateStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  int target = BindDmlTarget(binder, stmt.target, stmt.from, spec, scope);
  Table& table = *spec.sources[target].table;

  struct Assignment {
    int column;
    BExprPtr value;  // null: DEFAULT
  };
  std::vector<Assignment> sets;
  for (auto& set : stmt.sets) {
    const std::string& name = set.column.back();
    int c = table.FindColumn(name);
    if (c < 0) ThrowError(207, {name});
    for (const auto& a : sets) {
      if (a.column == c) ThrowError(264, {name});
    }
    if (table.columns[c].identity) ThrowError(8102, {"Cannot update identity column '" + name + "'."});
    Assignment a{c, nullptr};
    if (set.value->kind != ast::ExprKind::Default) a.value = binder.BindExpr(*set.value, scope);
    sets.push_back(std::move(a));
  }
  if (stmt.where) Binder::SplitConjuncts(binder.BindExpr(*stmt.where, scope), spec.where);
  const int64_t limit = BindTopLimit(binder, stmt.top);
  cx.BindDone();

  std::vector<const BExpr*> subqueries;
  // The target row's columns that the SET list reads or writes, requested a few rows ahead
  // (a wide work table's row is many cache lines, and each of these is otherwise a wait).
  std::vector<std::pair<int, int>> read;
  std::vector<int> touched;
  for (const auto& a : sets) {
    touched.push_back(a.column);
    if (!a.value) continue;
    CollectKeyedSubqueries(*a.value, subqueries);
    CollectOwnColumns(*a.value, read);
  }
  // Columns of the other sources that the SET list reads (a look-up table's row, say).
  std::vector<std::pair<int, int>> joined;
  for (const auto& [src, col] : read) {
    if (src == target) {
      touched.push_back(col);
    } else {
      joined.emplace_back(src, col);
    }
  }

  // Taken before the rows are read, so that the addresses below are those of the rows changed.
  std::vector<Row>& rows = table.mutable_rows();
  TupleSet tuples = RunFrom(spec, nullptr, cx.env);
  const Row* base = rows.data();
  std::vector<char> seen(rows.size(), 0);
  std::vector<size_t> changed_rows;
  std::vector<Value> new_values;
  // Room for every new value at once (a row changes once at most): growing this vector would
  // move millions of values.
  const size_t most_changed = std::min(tuples.count, rows.size());
  new_values.reserve(most_changed * sets.size());
  changed_rows.reserve(most_changed);
  std::string qualified;
  EvalCtx ctx;
  ctx.env = &cx.env;
  EvalCtx ahead = ctx;
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < tuples.count; ++i) {
    if (i + kAhead < tuples.count) {
      if (const Row* next = tuples.at(i + kAhead)[target]) {
        for (int c : touched) __builtin_prefetch(next->data() + c);
      }
      PrefetchColumns(tuples.at(i + kAhead), joined);
      if (!subqueries.empty()) {
        ahead.srcs = tuples.at(i + kAhead);
        PrefetchSubqueryProbes(subqueries, ahead);
      }
    }
    const Row* row = tuples.at(i)[target];
    if (!row) continue;
    size_t index = static_cast<size_t>(row - base);
    if (seen[index]) continue;
    if (limit >= 0 && static_cast<int64_t>(changed_rows.size()) >= limit) break;
    seen[index] = 1;
    ctx.srcs = tuples.at(i);
    for (const auto& a : sets) {
      const ColumnDef& col = table.columns[a.column];
      Value v;
      if (a.value) {
        v = Eval(*a.value, ctx);
        if (!(a.value->type == col.type)) v = Convert(v, a.value->type, col.type, CastMode::Assignment);
      } else {
        v = DefaultValue(col, cx);
      }
      if (v.is_null() && !col.nullable) {
        if (qualified.empty()) qualified = QualifiedTableName(table, cx.session);
        ThrowError(515, {col.name, qualified, "UPDATE"});
      }
      new_values.push_back(std::move(v));
    }
    changed_rows.push_back(index);
  }
  size_t k = 0;
  for (size_t j = 0; j < changed_rows.size(); ++j) {
    // The rows were read long ago: ask for the next ones' changed columns ahead of the writes.
    if (j + kAhead < changed_rows.size()) {
      const Row& next = rows[changed_rows[j + kAhead]];
      for (const auto& a : sets) __builtin_prefetch(next.data() + a.column);
    }
    Row& row = rows[changed_rows[j]];
    for (const auto& a : sets) row[a.column] = std::move(new_values[k++]);
  }
  if (!changed_rows.empty()) cx.MarkChanged(table);
  cx.RowCount(static_cast<int64_t>(changed_rows.size()));
}

}  // namespace orv::tsql
