// The checks of a parsed batch's jumps that SQL Server makes when it compiles the batch:
// BREAK and CONTINUE only inside a WHILE (135, 136), a GOTO only to a label of the batch (133)
// and never into a TRY or CATCH block that does not hold the GOTO (1026).
#pragma once

#include "tsql/syntax/ast.h"

namespace orv::tsql {

// Raises SqlException with the first fault found.
void CheckJumps(const ast::Batch& batch);

}  // namespace orv::tsql
