// PIVOT and UNPIVOT after a table source, parsed into the derived tables they stand for:
//
//   src PIVOT (SUM(v) FOR k IN ([a], [b])) AS p
//     → (SELECT *, SUM(CASE WHEN k = 'a' THEN v END) AS [a], SUM(CASE WHEN k = 'b' ...) AS [b]
//        FROM src GROUP BY *) AS p         -- "*" is every column of src but v and k
//
//   src UNPIVOT (v FOR k IN (a, b)) AS u
//     → (SELECT src.*, [$unpivot].k, [$unpivot].v FROM src
//        CROSS APPLY (VALUES (CAST(N'a' AS nvarchar(128)), a), (..., b)) AS [$unpivot](k, v)
//        WHERE [$unpivot].v IS NOT NULL) AS u   -- "src.*" leaves a and b out
//
// The columns that "*" leaves out and the grouping by it are marked on the query block
// (QuerySpec::star_except, group_by_star): only the binder knows the source's columns.
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {
namespace {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;

// The alias of the values an UNPIVOT turns its columns into; no alias written in T-SQL can
// be the same.
constexpr const char* kUnpivotValues = "$unpivot";

ExprPtr PivotExpr(ExprKind kind, const ast::SourcePos& pos) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->pos = pos;
  return e;
}

ExprPtr Column(ast::Name name, const ast::SourcePos& pos) {
  auto e = PivotExpr(ExprKind::ColumnRef, pos);
  e->name = std::move(name);
  return e;
}

ExprPtr StringLiteral(const std::string& text, bool unicode, const ast::SourcePos& pos) {
  auto e = PivotExpr(ExprKind::Literal, pos);
  e->literal_kind = unicode ? ast::LiteralKind::NString : ast::LiteralKind::String;
  e->text = text;
  return e;
}

ExprPtr Star(ast::Name qualifier, const ast::SourcePos& pos) {
  auto e = PivotExpr(ExprKind::Star, pos);
  e->name = std::move(qualifier);
  return e;
}

// The name a table source is known by inside the query it becomes part of.
std::string ExposedName(const ast::TableRef& source) {
  if (!source.alias.empty()) return source.alias;
  return source.kind == ast::TableRef::Kind::Named ? source.name.back() : std::string();
}

// A query block of its own around `source`, as the derived table `alias`.
ast::TableRefPtr DerivedTable(std::unique_ptr<ast::QuerySpec> spec, std::string alias,
                              const ast::SourcePos& pos) {
  auto query = std::make_unique<ast::QueryExpr>();
  query->pos = pos;
  query->spec = std::move(spec);
  auto ref = std::make_unique<ast::TableRef>();
  ref->kind = ast::TableRef::Kind::Derived;
  ref->pos = pos;
  ref->derived = std::move(query);
  ref->alias = std::move(alias);
  return ref;
}

}  // namespace

ast::TableRefPtr Parser::ParsePivot(ast::TableRefPtr source) {
  const ast::SourcePos pos = Cur().pos;
  ExpectKw("PIVOT");
  ExpectOp("(");
  // aggregate(value_column) FOR pivot_column IN ([value], ...)
  const ast::SourcePos agg_pos = Cur().pos;
  const std::string aggregate = ExpectName();
  ExpectOp("(");
  const std::string value_column = ExpectName();
  ExpectOp(")");
  ExpectKw("FOR");
  const std::string pivot_column = ExpectName();
  ExpectKw("IN");
  const std::vector<std::string> values = ParseNameList();
  ExpectOp(")");
  std::string alias = ParseOptionalAlias();
  if (alias.empty()) Error();

  auto spec = std::make_unique<ast::QuerySpec>();
  spec->items.push_back({Star({}, pos), "", pos, ""});
  for (const std::string& value : values) {
    // aggregate(CASE WHEN pivot_column = 'value' THEN value_column END) AS [value]
    auto when = PivotExpr(ExprKind::Binary, agg_pos);
    when->op = ast::Op::Eq;
    when->args.push_back(Column({pivot_column}, agg_pos));
    when->args.push_back(StringLiteral(value, true, agg_pos));
    auto pick = PivotExpr(ExprKind::Case, agg_pos);
    pick->args.push_back(std::move(when));
    pick->args.push_back(Column({value_column}, agg_pos));
    auto call = PivotExpr(ExprKind::Function, agg_pos);
    call->text = aggregate;
    call->args.push_back(std::move(pick));
    spec->items.push_back({std::move(call), value, agg_pos, ""});
  }
  spec->star_except = {value_column, pivot_column};
  spec->group_by_star = true;
  spec->from.push_back(std::move(source));
  return DerivedTable(std::move(spec), std::move(alias), pos);
}

ast::TableRefPtr Parser::ParseUnpivot(ast::TableRefPtr source) {
  const ast::SourcePos pos = Cur().pos;
  ExpectKw("UNPIVOT");
  ExpectOp("(");
  // value_column FOR name_column IN (column, ...)
  const std::string value_column = ExpectName();
  ExpectKw("FOR");
  const std::string name_column = ExpectName();
  ExpectKw("IN");
  const std::vector<std::string> columns = ParseNameList();
  ExpectOp(")");
  std::string alias = ParseOptionalAlias();
  if (alias.empty()) Error();

  const std::string source_name = ExposedName(*source);
  if (source_name.empty()) Error();
  auto rows = std::make_unique<ast::TableRef>();
  rows->kind = ast::TableRef::Kind::Values;
  rows->pos = pos;
  rows->alias = kUnpivotValues;
  rows->column_aliases = {name_column, value_column};
  for (const std::string& column : columns) {
    // (CAST(N'column' AS nvarchar(128)), source.column)
    auto name = PivotExpr(ExprKind::Cast, pos);
    name->type.name = "nvarchar";
    name->type.precision = 128;
    name->args.push_back(StringLiteral(column, true, pos));
    std::vector<ExprPtr> row;
    row.push_back(std::move(name));
    row.push_back(Column({source_name, column}, pos));
    rows->values.push_back(std::move(row));
  }
  auto apply = std::make_unique<ast::TableRef>();
  apply->kind = ast::TableRef::Kind::Join;
  apply->pos = pos;
  apply->join_type = ast::JoinType::CrossApply;
  apply->left = std::move(source);
  apply->right = std::move(rows);

  auto spec = std::make_unique<ast::QuerySpec>();
  spec->items.push_back({Star({source_name}, pos), "", pos, ""});
  spec->items.push_back({Column({kUnpivotValues, name_column}, pos), "", pos, ""});
  spec->items.push_back({Column({kUnpivotValues, value_column}, pos), "", pos, ""});
  spec->star_except = columns;
  auto present = PivotExpr(ExprKind::IsNull, pos);
  present->negated = true;
  present->args.push_back(Column({kUnpivotValues, value_column}, pos));
  spec->where = std::move(present);
  spec->from.push_back(std::move(apply));
  return DerivedTable(std::move(spec), std::move(alias), pos);
}

}  // namespace orv::tsql::parse
