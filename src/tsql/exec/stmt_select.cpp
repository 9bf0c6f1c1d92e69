// SELECT: a row set for the client, or with INTO a new table whose columns take the select
// list's names, types and nullability (and the IDENTITY of an identity column copied as it
// is), or with @v = items assignments to variables.
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

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

// The select item of SELECT ... INTO whose new column takes over the IDENTITY of the column it
// copies, or -1: a column of the query's only source, a table, named once in the select list
// and not in an expression, in a query without joins, set operators or grouping.
int InheritedIdentity(const BoundQuery& query) {
  if (!query.spec) return -1;
  const BoundSpec& spec = *query.spec;
  if (spec.grouped || spec.sources.size() != 1 || !spec.sources[0].table) return -1;
  const Table& table = *spec.sources[0].table;
  int found = -1;
  for (size_t i = 0; i < spec.select.size(); ++i) {
    const BExpr& e = *spec.select[i];
    if (e.kind != BKind::Column || e.depth != 0 || e.src != 0 || e.col < 0 ||
        static_cast<size_t>(e.col) >= table.columns.size() ||
        !table.columns[static_cast<size_t>(e.col)].identity) {
      continue;
    }
    if (found >= 0) return -1;  // the identity column named twice
    found = static_cast<int>(i);
  }
  return found;
}

}  // namespace

void ExecSelect(ast::SelectStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  const ast::Name into = ast::IntoTarget(*stmt.query);
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
  // The new rows keep the copied identity values; new ones continue after the last of them.
  if (const int item = InheritedIdentity(*query); item >= 0) {
    const auto c = static_cast<size_t>(item);
    const ColumnDef& from =
        query->spec->sources[0].table->columns[static_cast<size_t>(query->spec->select[c]->col)];
    ColumnDef& col = table->columns[c];
    col.identity = true;
    col.identity_seed = from.identity_seed;
    col.identity_increment = from.identity_increment;
    col.nullable = false;
    std::optional<int64_t> last;
    for (const Row& row : rows) {
      if (row[c].is_null()) continue;
      const int64_t v = row[c].int_value();
      if (!last || (from.identity_increment > 0 ? v > *last : v < *last)) last = v;
    }
    if (last) table->next_identity = *last + from.identity_increment;
  }
  int64_t count = static_cast<int64_t>(rows.size());
  RegisterTable(table, cx);
  cx.log().Insert(table, std::move(rows));
  cx.RowCount(count);
}

}  // namespace orv::tsql
