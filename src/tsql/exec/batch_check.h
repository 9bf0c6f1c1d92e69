// The check a batch gets before any of its statements runs: SQL Server compiles a whole batch
// first, so a column missing from a table that exists stops the batch before its first
// statement (names of tables that do not exist yet are resolved when their statement runs).
#pragma once

#include <optional>
#include <vector>

#include "tsql/catalog/session_state.h"
#include "tsql/syntax/ast.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

// Binds the queries of the batch's SELECT and INSERT ... SELECT statements and the targets,
// SET lists and conditions of its UPDATE and DELETE statements (in blocks, IF, WHILE and TRY
// too) once ahead of the run, and returns the first error of a statement's own text over
// existing tables (a column that is not there or is ambiguous, a column outside the GROUP BY,
// ORDER BY and UNION mistakes and the like: 207, 4104, 209, 8120, ...). Batches that create,
// alter or drop tables or views, or SELECT INTO, are left to be resolved statement by
// statement: their statements may use what the batch makes (a column ALTER TABLE adds too).
// Either way a batch that creates the same temporary table twice (CREATE TABLE or SELECT INTO,
// in any branches) is refused with 2714, as SQL Server refuses it when it compiles the batch.
std::optional<SqlError> CheckBatchColumns(SessionState& session, const std::vector<ast::StmtPtr>& statements);

}  // namespace orv::tsql
