// SELECT: a row set for the client, or with INTO a new table whose columns take the select
// list's names, types and nullability, or with @v = items assignments to variables.
#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

ast::QuerySpec* FirstSpec(ast::QueryExpr& q) {
  if (q.kind == ast::QueryExpr::Kind::Spec) return q.spec.get();
  return FirstSpec(*q.left);
}

// SELECT @v = expr, ...: each output row assigns its items in turn, left to right (an item
// sees the ones before it), so the last row's values stay and a query without rows leaves the
// variables as they were. The client gets no row set and no row count; @@ROWCOUNT is the
// number of rows.
void AssignFromQuery(BoundQuery& query, StatementContext& cx) {
  cx.BindDone();
  const BoundSpec& spec = *query.spec;
  size_t rows = RunQueryVisiting(query, cx.env, [&](const EvalCtx& ctx) {
    for (size_t i = 0; i < spec.select.size(); ++i) {
      const BExpr& item = *spec.select[i];
      AssignVariable(cx.session, spec.assign_to[i], Eval(item, ctx), item.type);
    }
  });
  cx.session.rowcount = static_cast<int64_t>(rows);
}

}  // namespace

void ExecSelect(ast::SelectStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  ast::QuerySpec* first = FirstSpec(*stmt.query);
  ast::Name into = first ? first->into : ast::Name{};
  // Only a single SELECT block may assign variables (not a part of a UNION).
  if (stmt.query->kind == ast::QueryExpr::Kind::Spec) binder.AllowAssignment();
  auto query = binder.BindQuery(*stmt.query, nullptr);
  if (query->spec && !query->spec->assign_to.empty()) return AssignFromQuery(*query, cx);
  if (!into.empty()) {
    for (size_t i = 0; i < query->columns.size(); ++i) {
      if (query->columns[i].name.empty()) ThrowError(1038);
      for (size_t j = 0; j < i; ++j) {
        if (NamesEqual(query->columns[i].name, query->columns[j].name)) {
          ThrowError(2705, {query->columns[i].name, into.back()});
        }
      }
    }
  }
  cx.BindDone();
  if (!into.empty()) {
    const std::string& name = into.back();
    bool exists = IsTempName(name) ? cx.session.FindTempTable(name) != nullptr
                                   : cx.session.database->ObjectId(name).has_value();
    if (exists) ThrowError(2714, {name});
  }
  if (into.empty()) {
    StatementResult result;
    result.kind = StatementResult::Kind::Rows;
    result.counted = !cx.session.nocount;
    result.columns = query->columns;
    if (!cx.session.share_result_rows || !RunQuerySharingRows(*query, cx.env, result)) {
      result.rows = RunQuery(*query, nullptr, cx.env);
    }
    cx.session.rowcount = static_cast<int64_t>(result.row_count());
    cx.results.push_back(std::move(result));
    return;
  }
  std::vector<Row> rows = RunQuery(*query, nullptr, cx.env);
  auto table = std::make_shared<Table>();
  table->name = into.back();
  for (const auto& c : query->columns) {
    ColumnDef col;
    col.name = c.name;
    col.type = c.type.id == TypeId::Null ? SqlType::Int() : c.type;
    col.nullable = c.nullable;
    table->columns.push_back(std::move(col));
  }
  int64_t count = static_cast<int64_t>(rows.size());
  RegisterTable(table, cx);
  cx.log().Insert(table, std::move(rows));
  cx.RowCount(count);
}

}  // namespace orv::tsql
