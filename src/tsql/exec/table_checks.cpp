// Declaring CHECK constraints, and testing rows against them after a change.
#include "tsql/exec/table_checks.h"

#include <cstdio>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// Whether `test` holds for the expression or one below it (not looking into subqueries).
template <typename Test>
bool AnyPart(const ast::Expr& e, const Test& test) {
  if (test(e)) return true;
  for (const auto& a : e.args) {
    if (a && AnyPart(*a, test)) return true;
  }
  return (e.case_operand && AnyPart(*e.case_operand, test)) || (e.case_else && AnyPart(*e.case_else, test));
}

}  // namespace

BExprPtr BindRowCondition(const Table& table, const ast::Expr& condition, BoundSpec& spec, StatementContext& cx) {
  // The table given, not the one the catalog has under its name: a definition being made or
  // changed is not in the catalog yet.
  BoundSource source;
  source.exposed = table.name;
  source.table_name = table.name;
  for (const ColumnDef& c : table.columns) source.columns.push_back({c.name, c.type, c.nullable});
  spec.sources.push_back(std::move(source));
  Binder binder(cx.session, EvalConstant);
  Scope scope;
  scope.spec = &spec;
  return binder.BindExpr(condition, scope);
}

std::vector<TableCheck> ChecksOfDefinition(const ast::CreateTableStmt& stmt, const Table& table) {
  std::vector<TableCheck> checks;
  for (const ast::CheckDef& def : stmt.checks) {
    // A condition tests one row alone.
    if (ExprHasSubquery(*def.condition)) ThrowError(1046);
    TableCheck check{def.name, def.column, def.text, def.condition, NewObjectId()};
    if (check.name.empty()) {
      // As SQL Server names them: "CK__", 8 characters of the table's name, of the column's
      // when written on one, and 8 hex digits (here the constraint's object id).
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08X", static_cast<uint32_t>(check.object_id));
      check.name = "CK__" + table.name.substr(0, 8) + "__" +
                   (def.column.empty() ? std::string() : def.column.substr(0, 8) + "__") + digits;
    }
    checks.push_back(std::move(check));
  }
  return checks;
}

void BindChecks(const Table& table, const std::vector<TableCheck>& checks, StatementContext& cx) {
  for (const TableCheck& check : checks) {
    BoundSpec spec;
    BindRowCondition(table, *check.condition, spec, cx);
  }
}

void CheckCondition(const Table& table, const TableCheck& check, const std::vector<size_t>& positions,
                    const char* statement, StatementContext& cx) {
  if (positions.empty()) return;
  const std::vector<Row>& rows = table.rows();
  BoundSpec spec;
  const BExprPtr condition = BindRowCondition(table, *check.condition, spec, cx);
  EvalCtx ctx;
  ctx.env = &cx.env;
  const Row* source[1] = {nullptr};
  ctx.srcs = source;
  for (size_t position : positions) {
    source[0] = &rows[position];
    if (EvalPred(*condition, ctx) != Tri::False) continue;
    const std::string object = table.temporary && !table.table_variable ? table.tempdb_name : table.name;
    const std::string database = table.temporary ? "tempdb" : cx.session.database->name();
    ThrowError(547, {statement, check.name, database, "dbo." + object,
                     check.column.empty() ? "" : ", column '" + check.column + "'"});
  }
}

void CheckConditions(const Table& table, const std::vector<size_t>& positions, const char* statement,
                     StatementContext& cx) {
  for (const TableCheck& check : table.checks) {
    if (!check.disabled) CheckCondition(table, check, positions, statement, cx);
  }
}

bool CheckReadsColumn(const TableCheck& check, std::string_view column) {
  return check.condition && ExprReadsColumn(*check.condition, column);
}

bool ExprHasSubquery(const ast::Expr& expr) {
  return AnyPart(expr, [](const ast::Expr& e) { return e.subquery != nullptr; });
}

bool ExprReadsColumn(const ast::Expr& expr, std::string_view column) {
  return AnyPart(expr, [&](const ast::Expr& e) {
    return e.kind == ast::ExprKind::ColumnRef && !e.name.empty() && NamesEqual(e.name.back(), column);
  });
}

}  // namespace orv::tsql
