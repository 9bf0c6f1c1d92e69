// Test helpers for the value layer: typed values from T-SQL literal text, operators and
// functions applied as the binder applies them, and the error number a call raises.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tsql/functions/functions.h"
#include "tsql/syntax/ast.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql::testing {

struct Typed {
  Value v;
  SqlType t;
  bool int_literal = false;  // an integer constant as written
};

// 12 / 12.50 / 1e2 / $1.5 / 'ab' / N'ab' / NULL, with an optional leading '-'.
inline Typed Lit(std::string_view text) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  ast::LiteralKind kind;
  std::string body(text);
  if (text == "NULL") {
    kind = ast::LiteralKind::Null;
  } else if (text.rfind("N'", 0) == 0) {
    kind = ast::LiteralKind::NString;
    body = std::string(text.substr(2, text.size() - 3));
  } else if (text.rfind("'", 0) == 0) {
    kind = ast::LiteralKind::String;
    body = std::string(text.substr(1, text.size() - 2));
  } else if (text.rfind("$", 0) == 0) {
    kind = ast::LiteralKind::Money;
    body = std::string(text.substr(1));
  } else if (text.find_first_of("eE") != std::string_view::npos) {
    kind = ast::LiteralKind::Float;
  } else if (text.find('.') != std::string_view::npos) {
    kind = ast::LiteralKind::Decimal;
  } else {
    kind = ast::LiteralKind::Integer;
  }
  Typed r{LiteralValue(kind, body), LiteralType(kind, body), kind == ast::LiteralKind::Integer};
  if (negative) r.v = Negate(r.v, r.t);
  return r;
}

inline Typed Cast(const Typed& x, const SqlType& to, int style = 0) {
  return {Convert(x.v, x.t, to, CastMode::Explicit, style), to};
}

inline std::string Show(const Typed& x) { return x.v.is_null() ? "NULL" : ToText(x.v, x.t); }

// A binary operator with the binder's typing of integer constants next to decimals.
inline Typed Binary(ast::Op op, const Typed& a, const Typed& b) {
  SqlType lt = a.t, rt = b.t;
  if (a.int_literal && rt.id == TypeId::Decimal) lt = IntegerConstantType(a.v.int_value());
  if (b.int_literal && lt.id == TypeId::Decimal) rt = IntegerConstantType(b.v.int_value());
  SqlType result = ArithmeticType(op, lt, rt);
  return {Arithmetic(op, a.v, lt, b.v, rt, result), result};
}

inline Typed Call(std::string_view name, const std::vector<Typed>& args) {
  const ScalarFunction* f = FindScalarFunction(name);
  if (f == nullptr) throw std::runtime_error("no function " + std::string(name));
  std::vector<Value> values;
  std::vector<SqlType> types;
  for (const Typed& a : args) {
    values.push_back(a.v);
    types.push_back(a.t);
  }
  SqlType result = f->result_type(types);
  return {f->invoke(values, types, result), result};
}

// The error number the call raises, 0 when it succeeds.
template <class F>
int ErrorOf(F&& f) {
  try {
    f();
  } catch (const SqlException& e) {
    return e.number();
  }
  return 0;
}

// The message text the call raises, "" when it succeeds.
template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const SqlException& e) {
    return e.error().message;
  }
  return "";
}

}  // namespace orv::tsql::testing
