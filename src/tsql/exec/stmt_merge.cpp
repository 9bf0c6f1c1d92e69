// MERGE: the target joined with the source on the ON condition (inner, left, right or full,
// as the WHEN clauses need), each joined row taken by the first WHEN clause of its kind
// (matched, not matched by target, not matched by source) whose condition holds. Every change
// is computed and checked before any is stored: updates, then deletes, then inserts. A target
// row that two source rows would change is Msg 8672.
#include <algorithm>
#include <numeric>
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/exec/computed_columns.h"
#include "tsql/exec/dml_output.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/row_filler.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_changes.h"
#include "tsql/exec/table_checks.h"
#include "tsql/exec/table_keys.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

using When = ast::MergeClause::When;
using Action = ast::MergeClause::Action;

struct BoundClause {
  When when = When::Matched;
  Action action = Action::Update;
  BExprPtr condition;
  // Update: the table columns set and their values (null: DEFAULT).
  std::vector<int> columns;
  std::vector<BExprPtr> values;
};

const char* ActionName(Action action) {
  switch (action) {
    case Action::Update: return "UPDATE";
    case Action::Delete: return "DELETE";
    case Action::Insert: return "INSERT";
  }
  return "";
}

}  // namespace

void ExecMerge(ast::MergeStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  binder.PushCtes(stmt.with);
  bool by_target = false, by_source = false;
  for (const auto& c : stmt.clauses) {
    by_target = by_target || c.when == When::NotMatchedByTarget;
    by_source = by_source || c.when == When::NotMatchedBySource;
  }
  const ast::JoinType type = by_target && by_source ? ast::JoinType::Full
                             : by_target            ? ast::JoinType::Right
                             : by_source            ? ast::JoinType::Left
                                                    : ast::JoinType::Inner;
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  auto join = std::make_unique<BoundJoin>();
  join->type = type;
  join->left = std::make_unique<BoundJoin>();
  join->left->source = binder.AddNamedSource(
      stmt.target, stmt.target_alias, spec,
      type == ast::JoinType::Right || type == ast::JoinType::Full);
  const int target_source = join->left->source;
  join->right = binder.BindTableRef(*stmt.source, spec, scope,
                                    type == ast::JoinType::Left || type == ast::JoinType::Full);
  Binder::SplitConjuncts(binder.BindExpr(*stmt.on, scope), join->on);
  spec.from.push_back(std::move(join));
  DmlTarget target = TargetOfSource(spec, target_source, stmt.target.back());
  const BoundSource& target_columns = spec.sources[static_cast<size_t>(target_source)];

  // The clauses' columns decide the one table a view target changes.
  std::vector<int> source_columns;
  bool deletes = false;
  std::vector<std::vector<int>> clause_columns(stmt.clauses.size());
  for (size_t i = 0; i < stmt.clauses.size(); ++i) {
    const ast::MergeClause& c = stmt.clauses[i];
    if (c.action == Action::Delete) deletes = true;
    std::vector<int>& cols = clause_columns[i];
    if (c.action == Action::Update) {
      for (const auto& set : c.sets) {
        const int col = target.FindColumn(target_columns, set.column.back());
        if (col < 0) ThrowError(207, {set.column.back()});
        if (std::find(cols.begin(), cols.end(), col) != cols.end()) {
          ThrowError(264, {set.column.back()});
        }
        cols.push_back(col);
      }
    } else if (c.action == Action::Insert) {
      if (c.columns.empty()) {
        for (size_t col = 0; col < target.columns.size(); ++col) {
          const DmlTarget::Column& m = target.columns[col];
          if (m.table >= 0) {
            const Table& base = *target.tables[static_cast<size_t>(m.table)];
            const ColumnDef& def = base.columns[static_cast<size_t>(m.column)];
            if (def.identity || def.computed) continue;
          }
          cols.push_back(static_cast<int>(col));
        }
      } else {
        for (const auto& name : c.columns) {
          const int col = target.FindColumn(target_columns, name);
          if (col < 0) ThrowError(207, {name});
          if (std::find(cols.begin(), cols.end(), col) != cols.end()) ThrowError(264, {name});
          cols.push_back(col);
        }
      }
      if (!c.values.empty() && c.values.size() != cols.size()) {
        if (c.columns.empty()) ThrowError(213);
        ThrowError(c.values.size() < cols.size() ? 109 : 110);
      }
    }
    source_columns.insert(source_columns.end(), cols.begin(), cols.end());
  }
  const size_t table_index = target.TableOf(source_columns);
  if (deletes && target.tables.size() != 1) target.TableOf({});
  const std::shared_ptr<Table>& table_ptr = target.tables[table_index];
  Table& table = *table_ptr;
  if (cx.session.read_only && !table.temporary) {
    cx.BindDone();  // a permission error ends the statement, not the batch
    ThrowError(229, {"MERGE", table.name, cx.session.database->name()});
  }
  auto table_column = [&](int source_column) {
    return target.columns[static_cast<size_t>(source_column)].column;
  };

  std::vector<BoundClause> clauses;
  std::vector<int> insert_targets;
  const ast::MergeClause* insert_clause = nullptr;
  std::vector<BExprPtr> insert_values;
  std::vector<int> update_columns;  // every column some UPDATE clause sets
  for (size_t i = 0; i < stmt.clauses.size(); ++i) {
    const ast::MergeClause& c = stmt.clauses[i];
    BoundClause b;
    b.when = c.when;
    b.action = c.action;
    if (c.condition) b.condition = binder.BindExpr(*c.condition, scope);
    if (c.action == Action::Update) {
      for (size_t k = 0; k < c.sets.size(); ++k) {
        const int col = table_column(clause_columns[i][k]);
        if (table.columns[static_cast<size_t>(col)].computed) ThrowError(271, {c.sets[k].column.back()});
        if (table.columns[static_cast<size_t>(col)].identity) {
          ThrowError(8102, {"Cannot update identity column '" + c.sets[k].column.back() + "'."});
        }
        b.columns.push_back(col);
        const ast::Expr& value = *c.sets[k].value;
        b.values.push_back(value.kind == ast::ExprKind::Default ? nullptr
                                                                : binder.BindExpr(value, scope));
        if (std::find(update_columns.begin(), update_columns.end(), col) == update_columns.end()) {
          update_columns.push_back(col);
        }
      }
    } else if (c.action == Action::Insert) {
      insert_clause = &c;
      for (int col : clause_columns[i]) insert_targets.push_back(table_column(col));
      CheckInsertedColumns(table, insert_targets, !c.columns.empty(), cx.session);
      for (const auto& v : c.values) insert_values.push_back(binder.BindExpr(*v, scope));
    }
    clauses.push_back(std::move(b));
  }
  if (insert_clause && insert_clause->values.empty()) insert_targets.clear();  // DEFAULT VALUES
  const int64_t limit = BindTopLimit(binder, stmt.top);
  DmlOutput output(binder, stmt.output, table,
                   {.inserted = true, .deleted = true, .action = true}, &scope, cx);
  cx.BindDone();
  std::optional<ComputedColumns> computed;
  if (HasComputedColumns(table) && !output.empty()) computed.emplace(table, cx, "UPDATE");

  // Taken before the rows are read, so that the addresses below are those of the rows changed.
  std::vector<Row>& rows = table.mutable_rows();
  TupleSet tuples = RunFrom(spec, nullptr, cx.env);
  const Row* base = rows.data();
  std::vector<int> source_slots;
  for (size_t s = 0; s < spec.sources.size(); ++s) {
    if (static_cast<int>(s) != target_source) source_slots.push_back(static_cast<int>(s));
  }
  std::vector<char> acted(rows.size(), 0);
  std::vector<char> doomed(rows.size(), 0);
  size_t deleted = 0;
  RowUpdates updates;
  updates.columns = update_columns;
  std::vector<Row> added;
  RowFiller filler(table, insert_targets, cx);
  std::string qualified;
  EvalCtx ctx;
  ctx.env = &cx.env;
  int64_t actions = 0;
  for (size_t i = 0; i < tuples.count; ++i) {
    if ((i & 4095) == 4095) CheckCancel(cx.env);
    const Row* const* tuple = tuples.at(i);
    ctx.srcs = tuple;
    const bool has_target = tuple[target_source] != nullptr;
    const bool has_source = std::any_of(source_slots.begin(), source_slots.end(),
                                        [&](int s) { return tuple[s] != nullptr; });
    const When when = has_target && has_source ? When::Matched
                      : has_source             ? When::NotMatchedByTarget
                                               : When::NotMatchedBySource;
    const BoundClause* clause = nullptr;
    for (const BoundClause& c : clauses) {
      if (c.when != when) continue;
      if (c.condition && EvalPred(*c.condition, ctx) != Tri::True) continue;
      clause = &c;
      break;
    }
    if (!clause) continue;
    if (limit >= 0 && actions >= limit) break;
    ++actions;
    if (clause->action == Action::Insert) {
      Row row;
      Value value;
      filler.Fill(row, [&](size_t k, const SqlType*& type) -> Value* {
        value = Eval(*insert_values[k], ctx);
        type = &insert_values[k]->type;
        return &value;
      });
      output.Add(&row, nullptr, "INSERT", &ctx);
      added.push_back(std::move(row));
      continue;
    }
    const Row* row = target.TableRow(tuple, table_index);
    if (!row) continue;
    const auto index = static_cast<size_t>(row - base);
    if (acted[index]) ThrowError(8672);
    acted[index] = 1;
    if (clause->action == Action::Delete) {
      doomed[index] = 1;
      ++deleted;
      output.Add(nullptr, row, "DELETE", &ctx);
      continue;
    }
    Row after = *row;
    for (size_t k = 0; k < clause->columns.size(); ++k) {
      const auto col = static_cast<size_t>(clause->columns[k]);
      const ColumnDef& def = table.columns[col];
      Value v;
      if (const BExpr* e = clause->values[k].get()) {
        v = Eval(*e, ctx);
        if (!(e->type == def.type)) v = Convert(v, e->type, def.type, CastMode::Assignment);
      } else {
        v = DefaultValue(def, cx);
      }
      if (v.is_null() && !def.nullable) {
        if (qualified.empty()) qualified = QualifiedTableName(table, cx.session);
        ThrowError(515, {def.name, qualified, "UPDATE"});
      }
      after[col] = std::move(v);
    }
    updates.positions.push_back(index);
    for (int col : update_columns) updates.values.push_back(after[static_cast<size_t>(col)]);
    if (computed) computed->Fill(after);  // for OUTPUT; UpdateRows works out the change's own
    output.Add(&after, row, ActionName(clause->action), &ctx);
  }
  output.Prepare();
  const auto count = static_cast<int64_t>(updates.positions.size() + deleted + added.size());
  // Keys are checked once the rows are as the statement leaves them: an updated key may take
  // the values of a row the statement deletes.
  const bool check_keys = !added.empty() || (!updates.positions.empty() && ChangesKeyColumns(table, updates.columns));
  UpdateRows(table_ptr, updates, false, cx, false);
  DeleteRows(table_ptr, doomed, deleted, cx);
  if (!added.empty()) {
    table.next_identity = filler.next_identity();
    AppendRows(table_ptr, std::move(added), cx, false);
    filler.NoteIdentity();
  }
  if (check_keys) CheckKeys(table, cx);
  if (!table.checks.empty()) {
    std::vector<size_t> positions(table.row_count());
    std::iota(positions.begin(), positions.end(), 0);
    CheckConditions(table, positions, "MERGE", cx);
  }
  output.Finish(count);
}

}  // namespace orv::tsql
