// UPDATE [FROM]: the FROM/WHERE rows are computed first, then each target row takes the SET
// values of its first matching row (a target row is changed once however many rows match).
// All new values are computed and checked before any is stored; the values they replace are
// kept in the change log.
#include <algorithm>
#include <atomic>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/two_halves.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

void ExecUpdate(ast::UpdateStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  int target = BindDmlTarget(binder, stmt.target, stmt.from, spec, scope);
  const std::shared_ptr<Table> target_table = spec.sources[target].table;
  Table& table = *target_table;
  if (cx.session.read_only && !table.temporary) {
    cx.BindDone();  // a permission error ends the statement, not the batch
    ThrowError(229, {"UPDATE", table.name, cx.session.database->name()});
  }

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

  // The tuple that changes each target row: the first one naming it, up to the TOP limit.
  const Row* base = rows.data();
  std::vector<char> seen(rows.size(), 0);
  std::vector<uint32_t> picks;
  std::vector<size_t> changed_rows;
  picks.reserve(std::min(tuples.count, rows.size()));
  changed_rows.reserve(picks.capacity());
  for (size_t i = 0; i < tuples.count; ++i) {
    const Row* row = tuples.at(i)[target];
    if (!row) continue;
    const size_t index = static_cast<size_t>(row - base);
    if (seen[index]) continue;
    if (limit >= 0 && static_cast<int64_t>(picks.size()) >= limit) break;
    seen[index] = 1;
    picks.push_back(static_cast<uint32_t>(i));
    changed_rows.push_back(index);
  }

  // Every new value is computed (and checked) before any is stored, so a failing UPDATE
  // changes nothing. Pick j's values are new_values[j * nsets ...].
  const size_t nsets = sets.size();
  std::vector<Value> new_values(picks.size() * nsets);
  std::string qualified;
  for (const auto& a : sets) {
    if (!table.columns[a.column].nullable) qualified = QualifiedTableName(table, cx.session);
  }
  auto evaluate = [&](size_t begin, size_t end, const std::atomic<bool>* stop) {
    EvalCtx ctx;
    ctx.env = &cx.env;
    EvalCtx ahead = ctx;
    constexpr size_t kAhead = kRowsAhead;
    SubqueryLookahead lookahead(subqueries);
    for (size_t j = begin; j < end; ++j) {
      if (stop && (j & 255) == 0 && stop->load(std::memory_order_relaxed)) return;
      if (j + kAhead < end) {
        const Row* const* next = tuples.at(picks[j + kAhead]);
        for (int c : touched) __builtin_prefetch(next[target]->data() + c);
        PrefetchColumns(next, joined);
        if (!lookahead.empty()) {
          ahead.srcs = next;
          lookahead.Prepare(j + kAhead, ahead);
        }
      }
      ctx.srcs = tuples.at(picks[j]);
      lookahead.Attach(j, ctx);
      Value* out = new_values.data() + j * nsets;
      for (const auto& a : sets) {
        const ColumnDef& col = table.columns[a.column];
        Value v;
        if (a.value) {
          v = Eval(*a.value, ctx);
          if (!(a.value->type == col.type)) {
            v = Convert(v, a.value->type, col.type, CastMode::Assignment);
          }
        } else {
          v = DefaultValue(col, cx);
        }
        if (v.is_null() && !col.nullable) ThrowError(515, {col.name, qualified, "UPDATE"});
        *out++ = std::move(v);
      }
    }
  };
  auto write = [&](size_t begin, size_t end) {
    constexpr size_t kAhead = 8;
    for (size_t j = begin; j < end; ++j) {
      // The rows were read long ago: ask for the next ones' changed columns ahead of the writes.
      if (j + kAhead < end) {
        const Row& next = rows[changed_rows[j + kAhead]];
        for (const auto& a : sets) __builtin_prefetch(next.data() + a.column);
      }
      Row& row = rows[changed_rows[j]];
      // The value replaced goes where the new one was: the change log keeps it for undo.
      Value* in = new_values.data() + j * nsets;
      for (const auto& a : sets) std::swap(row[a.column], *in++);
    }
  };
  // A large update computes and stores its values on two threads when its SET list allows
  // it: subqueries only of the keyed kinds that both threads can probe, and no DEFAULT (bound
  // on first use). The values are still all computed before any is stored.
  const bool two_threads =
      WorthTwoThreads(picks.size(), 50000) &&
      std::all_of(sets.begin(), sets.end(),
                  [](const Assignment& a) { return a.value && SubqueriesAllowThreads(*a.value); });
  if (two_threads) {
    RunTwoHalves(picks.size(), evaluate);
    RunTwoHalves(picks.size(), [&](size_t begin, size_t end, const std::atomic<bool>*) {
      write(begin, end);
    });
  } else {
    evaluate(0, picks.size(), nullptr);
    write(0, picks.size());
  }
  const auto count = static_cast<int64_t>(changed_rows.size());
  std::vector<int> columns;
  for (const auto& a : sets) columns.push_back(a.column);
  cx.log().Updated(target_table, std::move(changed_rows), std::move(columns), std::move(new_values));
  cx.RowCount(count);
}

}  // namespace orv::tsql
