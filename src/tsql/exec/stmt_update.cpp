// UPDATE [FROM]: the FROM/WHERE rows are computed first, then each target row takes the SET
// values of its first matching row (a target row is changed once however many rows match).
// Through a view, the rows changed are those of the one table its SET columns show.
// All new values are computed and checked before any is stored.
#include <algorithm>
#include <atomic>
#include <iterator>
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/exec/computed_columns.h"
#include "tsql/exec/dml_output.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_changes.h"
#include "tsql/exec/two_halves.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

void ExecUpdate(ast::UpdateStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  binder.PushCtes(stmt.with);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  const DmlTarget target = BindDmlTarget(binder, stmt.target, stmt.from, spec, scope);
  const BoundSource& target_source = spec.sources[static_cast<size_t>(target.source)];

  struct Assignment {
    int column;      // of the table
    BExprPtr value;  // null: DEFAULT
  };
  // The SET columns are the target's (a view's columns are traced to its table below).
  std::vector<int> set_columns;
  for (auto& set : stmt.sets) {
    const std::string& name = set.column.back();
    const int c = target.FindColumn(target_source, name);
    if (c < 0) ThrowError(207, {name});
    for (int earlier : set_columns) {
      if (earlier == c) ThrowError(264, {name});
    }
    set_columns.push_back(c);
  }
  const size_t table_index = target.TableOf(set_columns);
  const std::shared_ptr<Table>& table_ptr = target.tables[table_index];
  Table& table = *table_ptr;
  if (cx.session.read_only && !table.temporary) {
    cx.BindDone();  // a permission error ends the statement, not the batch
    ThrowError(229, {"UPDATE", table.name, cx.session.database->name()});
  }
  std::vector<Assignment> sets;
  for (size_t i = 0; i < stmt.sets.size(); ++i) {
    const int c = target.columns[static_cast<size_t>(set_columns[i])].column;
    const std::string& name = stmt.sets[i].column.back();
    if (table.columns[static_cast<size_t>(c)].computed) ThrowError(271, {name});
    if (table.columns[static_cast<size_t>(c)].identity) {
      ThrowError(8102, {"Cannot update identity column '" + name + "'."});
    }
    for (const auto& earlier : sets) {
      if (earlier.column == c) ThrowError(264, {name});  // two view columns of one column
    }
    Assignment a{c, nullptr};
    const ast::Expr& value = *stmt.sets[i].value;
    if (value.kind != ast::ExprKind::Default) a.value = binder.BindExpr(value, scope);
    sets.push_back(std::move(a));
  }
  if (stmt.where) Binder::SplitConjuncts(binder.BindExpr(*stmt.where, scope), spec.where);
  const int64_t limit = BindTopLimit(binder, stmt.top);
  DmlOutput output(binder, stmt.output, table, {.inserted = true, .deleted = true}, &scope, cx);
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
    if (src == target.source) {
      touched.push_back(col);
    } else {
      joined.emplace_back(src, col);
    }
  }
  if (target.derived) touched.clear();  // the target's rows are not the table's

  RowUpdates updates;
  for (const auto& a : sets) updates.columns.push_back(a.column);
  // Taken before the rows are read, so that the addresses below are those of the rows changed.
  std::vector<Row>& rows = table.mutable_rows(updates.columns);
  TupleSet tuples = stmt.current_of ? CurrentOfTuple(*stmt.current_of, target, spec, &stmt.sets, cx)
                                    : RunFrom(spec, nullptr, cx.env);

  // The tuple that changes each target row: the first one naming it, up to the TOP limit.
  const Row* base = rows.data();
  std::vector<char> seen(rows.size(), 0);
  std::vector<uint32_t> picks;
  std::vector<size_t> targets;  // the row each pick changes
  picks.reserve(std::min(tuples.count, rows.size()));
  targets.reserve(picks.capacity());
  for (size_t i = 0; i < tuples.count; ++i) {
    const Row* row = target.TableRow(tuples.at(i), table_index);
    if (!row) continue;
    const size_t index = static_cast<size_t>(row - base);
    if (seen[index]) continue;
    if (limit >= 0 && static_cast<int64_t>(picks.size()) >= limit) break;
    seen[index] = 1;
    picks.push_back(static_cast<uint32_t>(i));
    targets.push_back(index);
  }

  // Every new value is computed (and checked) before any is stored, so a failing UPDATE
  // changes nothing. A row whose new values are all identical to the ones it holds is left
  // as it is and out of the change log: nothing can tell whether it was written (there are
  // no triggers or row versions), and reports that round or recompute whole columns mostly
  // write back what is there. It still counts as updated, and OUTPUT shows every row.
  const size_t nsets = sets.size();
  const bool skip_identical = output.empty();
  std::string qualified;
  for (const auto& a : sets) {
    if (!table.columns[a.column].nullable) qualified = QualifiedTableName(table, cx.session);
  }
  // The rows a range of picks changes and their new values, in pick order.
  struct alignas(64) Changes {  // a line of its own: each half of a split update appends to one
    std::vector<size_t> positions;
    std::vector<Value> values;
  };
  auto evaluate = [&](size_t begin, size_t end, const std::atomic<bool>* stop, Changes& into) {
    EvalCtx ctx;
    ctx.env = &cx.env;
    EvalCtx ahead = ctx;
    constexpr size_t kAhead = kRowsAhead;
    SubqueryLookahead lookahead(subqueries);
    into.positions.reserve(end - begin);
    into.values.reserve((end - begin) * nsets);
    for (size_t j = begin; j < end; ++j) {
      if (stop && (j & 255) == 0 && stop->load(std::memory_order_relaxed)) return;
      if (j + kAhead < end) {
        const Row* const* next = tuples.at(picks[j + kAhead]);
        for (int c : touched) __builtin_prefetch(next[target.source]->data() + c);
        PrefetchColumns(next, joined);
        if (!lookahead.empty()) {
          ahead.srcs = next;
          lookahead.Prepare(j + kAhead, ahead);
        }
      }
      ctx.srcs = tuples.at(picks[j]);
      lookahead.Attach(j, ctx);
      const size_t mark = into.values.size();
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
        into.values.push_back(std::move(v));
      }
      if (skip_identical) {
        const Row& row = rows[targets[j]];
        bool same = true;
        for (size_t k = 0; k < nsets && same; ++k) {
          same = row[static_cast<size_t>(sets[k].column)].Identical(into.values[mark + k]);
        }
        if (same) {
          into.values.resize(mark);
          continue;
        }
      }
      into.positions.push_back(targets[j]);
    }
  };
  // A large update computes and stores its values on two threads when its SET list allows
  // it: subqueries only of the keyed kinds that both threads can probe, and no DEFAULT (bound
  // on first use). The values are still all computed before any is stored.
  const bool two_threads =
      WorthTwoThreads(picks.size(), 50000) &&
      std::all_of(sets.begin(), sets.end(),
                  [](const Assignment& a) { return a.value && SubqueriesAllowThreads(*a.value); });
  Changes first;
  if (two_threads) {
    // Room for every pick in the first half's lists, so the second's join them in place (the
    // pages of what is not used are never touched).
    first.positions.reserve(picks.size());
    first.values.reserve(picks.size() * nsets);
    Changes second;
    RunTwoHalves(picks.size(), [&](size_t begin, size_t end, const std::atomic<bool>* stop) {
      evaluate(begin, end, stop, begin == 0 ? first : second);
    });
    first.positions.insert(first.positions.end(), second.positions.begin(), second.positions.end());
    first.values.insert(first.values.end(), std::make_move_iterator(second.values.begin()),
                        std::make_move_iterator(second.values.end()));
  } else {
    evaluate(0, picks.size(), nullptr, first);
  }
  updates.positions = std::move(first.positions);
  updates.values = std::move(first.values);
  if (!output.empty()) {
    EvalCtx from;
    from.env = &cx.env;
    // The rows as the change leaves them, computed columns included (UpdateRows works those
    // out again for the change itself).
    std::optional<ComputedColumns> computed;
    if (HasComputedColumns(table)) computed.emplace(table, cx, "UPDATE");
    for (size_t j = 0; j < picks.size(); ++j) {
      const Row& before = rows[updates.positions[j]];
      Row after = before;
      for (size_t k = 0; k < nsets; ++k) {
        after[static_cast<size_t>(updates.columns[k])] = updates.values[j * nsets + k];
      }
      if (computed) computed->Fill(after);
      from.srcs = tuples.at(picks[j]);
      output.Add(&after, &before, nullptr, &from);
    }
    output.Prepare();
  }
  const auto count = static_cast<int64_t>(picks.size());
  UpdateRows(table_ptr, updates, two_threads, cx);
  output.Finish(count);
}

}  // namespace orv::tsql
