// The batch runner: executes the statements of a parsed batch in order with SQL Server's error
// scopes (compile errors end the batch, conversion errors abort it, most others end only the
// statement), control of flow (IF/ELSE, BEGIN/END, WHILE, BREAK, CONTINUE, GOTO, RETURN),
// TRY/CATCH, RAISERROR and THROW, SET, PRINT and DECLARE, calls of stored procedures and of
// dynamic SQL (EXEC, sp_executesql), and collects the results.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/catalog/session_state.h"
#include "tsql/exec/procedure_call.h"
#include "tsql/exec/statement_result.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

// `variables`: the batch's variables when it starts (none for a client's batch).
std::vector<StatementResult> RunBatch(SessionState& session, ast::Batch& batch,
                                      std::string_view text,
                                      std::map<std::string, Variable> variables = {});

// Calls a stored procedure with typed arguments as EXEC would, without T-SQL text.
ProcedureCall RunProcedureCall(SessionState& session, const ast::Name& procedure,
                               const std::vector<ProcedureArgument>& arguments);

}  // namespace orv::tsql
