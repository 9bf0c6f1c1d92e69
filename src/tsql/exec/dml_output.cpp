// OUTPUT and OUTPUT ... INTO: binding against the changed row's images, the rows, and where
// they go.
#include "tsql/exec/dml_output.h"

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/row_filler.h"
#include "tsql/exec/table_changes.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// Where the images are among a clause's sources (the third is $action).
constexpr int kInserted = 0, kDeleted = 1;

BoundSource Image(const char* name, const Table& table) {
  BoundSource source;
  source.exposed = name;
  source.aliased = true;
  for (const auto& c : table.columns) source.columns.push_back({c.name, c.type, true});
  return source;
}

using ast::JoinName;

// The table OUTPUT ... INTO adds rows to: Msg 330 for a view or common table expression.
std::shared_ptr<Table> IntoTable(Binder& binder, const ast::Name& name) {
  if (std::shared_ptr<Table> table = binder.FindTable(name)) return table;
  if (!name.back().empty() && name.back()[0] == '@') {
    ThrowError(1087, {name.back()});
  }
  BoundSpec scratch;
  binder.AddNamedSource(name, "", scratch, false);  // Msg 208 when nothing has the name
  ThrowError(330, {JoinName(name)});
}

}  // namespace

DmlOutput::DmlOutput(Binder& binder, const std::vector<ast::OutputClause>& clauses,
                     const Table& table, Images images, Scope* parent, StatementContext& cx)
    : cx_(cx) {
  for (const ast::OutputClause& ast_clause : clauses) {
    auto clause = std::make_unique<Clause>();
    BoundSpec& spec = clause->spec;
    // Every image has its place; one the statement lacks has no name, so nothing binds to it.
    spec.sources.push_back(Image(images.inserted ? "inserted" : "", table));
    spec.sources.push_back(Image(images.deleted ? "deleted" : "", table));
    if (!images.inserted) spec.sources[kInserted].columns.clear();
    if (!images.deleted) spec.sources[kDeleted].columns.clear();
    BoundSource action;
    if (images.action) action.columns.push_back({"$action", SqlType::NVarChar(10), false});
    spec.sources.push_back(std::move(action));
    Scope scope;
    scope.parent = parent;
    scope.spec = &spec;
    for (const ast::SelectItem& item : ast_clause.items) {
      const ast::Expr& e = *item.expr;
      if (e.kind == ast::ExprKind::Star) {
        if (e.name.empty()) ThrowError(102, {"*"});
        bool any = false;
        for (size_t s = 0; s < spec.sources.size(); ++s) {
          const BoundSource& source = spec.sources[s];
          if (source.exposed.empty() || !NamesEqual(source.exposed, e.name.back())) continue;
          any = true;
          for (size_t c = 0; c < source.columns.size(); ++c) {
            auto column = std::make_unique<BExpr>();
            column->kind = BKind::Column;
            column->src = static_cast<int>(s);
            column->col = static_cast<int>(c);
            column->type = source.columns[c].type;
            column->name = source.columns[c].name;
            clause->columns.push_back(source.columns[c]);
            clause->items.push_back(std::move(column));
          }
        }
        if (!any) ThrowError(4104, {JoinName(e.name) + ".*"});
        continue;
      }
      BExprPtr bound = binder.BindExpr(e, scope);
      std::string name = item.alias;
      if (name.empty() && e.kind == ast::ExprKind::ColumnRef) name = e.name.back();
      clause->columns.push_back({name, bound->type, bound->nullable});
      clause->items.push_back(std::move(bound));
    }
    if (!ast_clause.into.empty()) {
      clause->into = IntoTable(binder, ast_clause.into);
      const Table& into = *clause->into;
      if (cx.session.read_only && !into.temporary) {
        cx.BindDone();  // a permission error ends the statement, not the batch
        ThrowError(229, {"INSERT", into.name, cx.session.database->name()});
      }
      std::vector<int> targets;
      if (ast_clause.into_columns.empty()) {
        for (size_t c = 0; c < into.columns.size(); ++c) {
          if (!into.columns[c].identity && !into.columns[c].computed) targets.push_back(static_cast<int>(c));
        }
      } else {
        for (const auto& name : ast_clause.into_columns) {
          const int c = into.FindColumn(name);
          if (c < 0) ThrowError(207, {name});
          targets.push_back(c);
        }
      }
      if (targets.size() != clause->items.size()) ThrowError(213);
      CheckInsertedColumns(into, targets, !ast_clause.into_columns.empty(), cx.session);
      clause->filler = std::make_unique<RowFiller>(into, targets, cx);
    }
    clauses_.push_back(std::move(clause));
  }
}

DmlOutput::~DmlOutput() = default;

void DmlOutput::Add(const Row* inserted, const Row* deleted, const char* action,
                    const EvalCtx* from) {
  if (clauses_.empty()) return;
  Row action_row;
  if (action) action_row.push_back(Value::String(action));
  const Row* images[] = {inserted, deleted, action ? &action_row : nullptr};
  EvalCtx ctx;
  ctx.srcs = images;
  ctx.outer = from;
  ctx.env = &cx_.env;
  for (auto& clause : clauses_) {
    Row row;
    row.reserve(clause->items.size());
    for (const auto& item : clause->items) row.push_back(Eval(*item, ctx));
    clause->rows.push_back(std::move(row));
  }
}

void DmlOutput::Prepare() {
  for (auto& clause : clauses_) {
    if (!clause->into) continue;
    clause->into_rows.reserve(clause->rows.size());
    for (Row& row : clause->rows) {
      Row out;
      clause->filler->Fill(out, [&](size_t i, const SqlType*& type) -> Value* {
        type = &clause->items[i]->type;
        return &row[i];
      });
      clause->into_rows.push_back(std::move(out));
    }
  }
}

void DmlOutput::Finish(int64_t count) {
  bool row_set = false;
  for (auto& clause : clauses_) {
    if (clause->into) {
      clause->into->next_identity = clause->filler->next_identity();
      AppendRows(clause->into, std::move(clause->into_rows), cx_);
      continue;
    }
    StatementResult result;
    result.kind = StatementResult::Kind::Rows;
    result.counted = !cx_.session.nocount;
    result.columns = clause->columns;
    result.rows = std::move(clause->rows);
    cx_.results.push_back(std::move(result));
    row_set = true;
  }
  if (row_set) {
    cx_.session.rowcount = count;
  } else {
    cx_.RowCount(count);
  }
}

}  // namespace orv::tsql
