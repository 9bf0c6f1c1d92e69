// The T-SQL parser: a batch text becomes the syntax tree of ast.h; scripts split on GO lines.
//
// Folder tsql/syntax: text -> tokens (lexer.h) -> syntax tree (ast.h), and the GO splitter of
// scripts. It uses only tsql/types (error texts, the operator vocabulary); it knows nothing of
// tables or sessions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tsql/syntax/ast.h"

namespace orv::tsql {

// Parses every statement of the batch. A syntax error anywhere raises SqlException 102
// ("Incorrect syntax near '%s'.") or 156 ("... near the keyword '%s'.") with the line of the
// offending token; the lexer's errors (105, 113) pass through.
ast::Batch ParseBatch(std::string_view text);

// Splits a script into batches at lines holding only "GO" (any letter case, blanks around
// it, optionally a repeat count or a trailing "--" comment). GO inside a block comment or a
// string does not split. Batches holding only blanks are dropped.
std::vector<std::string> SplitScriptOnGo(std::string_view script);

}  // namespace orv::tsql
