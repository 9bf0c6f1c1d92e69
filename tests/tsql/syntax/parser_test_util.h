// Test helpers for the parser tests: compact text renderings of expressions and a quick way
// to parse one statement or one expression.
#pragma once

#include <string>
#include <string_view>

#include "tsql/syntax/ast.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql::testing {

std::string DumpType(const ast::TypeName& type);
std::string DumpName(const ast::Name& name);
// Prefix form: (+ a (* b c)), (and ...), f(x, y), int:1, str:'a', (case ...), ...
std::string Dump(const ast::Expr& expr);
std::string Dump(const ast::TableRef& ref);

// Parses "SELECT <text>" and returns the rendering of its first select item.
std::string DumpSelectExpr(std::string_view expr_text);

struct ErrorInfo {
  int number = 0;
  int line = 0;
  std::string message;
};
// Parses the batch expecting a SqlException; number 0 when none was raised.
ErrorInfo ParseError(std::string_view batch);

}  // namespace orv::tsql::testing
