// CHECK constraints: the conditions a CREATE TABLE declares, and the test that the rows a
// statement added or changed make none of them false.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/catalog/catalog.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

struct StatementContext;

// The CHECK constraints of a table being created, with object ids and names for those declared
// without (1046 for a subquery in a condition). Once the table is in the catalog, BindChecks
// binds each condition against it, so that a column it names must be there.
std::vector<TableCheck> ChecksOfDefinition(const ast::CreateTableStmt& stmt, const Table& table);
void BindChecks(const Table& table, const std::vector<TableCheck>& checks, StatementContext& cx);

// An expression over one row of the table (a CHECK's or a filtered index's condition, a
// computed column's expression), bound against the table's columns as its only source, into
// `spec`.
BExprPtr BindRowCondition(const Table& table, const ast::Expr& condition, BoundSpec& spec, StatementContext& cx);

// Raises 547 when the row at one of `positions` makes the condition of a check that is not
// disabled false, naming the statement ("INSERT", "UPDATE", "MERGE"), the constraint, the
// database, the table and the column it was written on. CheckCondition: one check's alone.
void CheckConditions(const Table& table, const std::vector<size_t>& positions, const char* statement,
                     StatementContext& cx);
void CheckCondition(const Table& table, const TableCheck& check, const std::vector<size_t>& positions,
                    const char* statement, StatementContext& cx);

// Whether a check's condition reads the column.
bool CheckReadsColumn(const TableCheck& check, std::string_view column);
// Whether an expression holds a subquery.
bool ExprHasSubquery(const ast::Expr& expr);
// Whether an expression names the column (outside subqueries).
bool ExprReadsColumn(const ast::Expr& expr, std::string_view column);

}  // namespace orv::tsql
