// The vocabulary that the syntax tree and the value operations share: the kinds of literal
// constants, the operators of expressions, and a type name as written in a declaration or CAST.
// It lives with the types so that the value operations need nothing from the parser.
#pragma once

#include <cstdint>
#include <string>

namespace orv::tsql {

struct TypeName {
  std::string name;          // lower case: "int", "decimal", "numeric", "varchar", "char", ...
  int32_t precision = -1;    // decimal/numeric precision or string length; -1 when not written
  int32_t scale = -1;        // decimal/numeric scale; -1 when not written
  bool max = false;          // varchar(max)
  std::string collation;     // COLLATE name of a column definition; "" for the default
};

enum class LiteralKind { Null, Integer, Decimal, Float, String, NString, Money, Binary };

enum class Op {
  None,
  // arithmetic / concatenation
  Add, Sub, Mul, Div, Mod, BitAnd, BitOr, BitXor,
  // unary
  Neg, Pos, BitNot,
  // comparison
  Eq, Ne, Lt, Le, Gt, Ge, NotLt, NotGt,
};

}  // namespace orv::tsql
