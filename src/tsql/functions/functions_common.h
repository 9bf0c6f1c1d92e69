// Helpers shared by the scalar function groups: reading arguments in the form a function
// needs (text, whole number, datetime), and the per-group function lists that
// FindScalarFunction searches.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tsql/functions/functions.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql::fn {

using Args = std::span<const Value>;
using Types = std::span<const SqlType>;

// True when any argument is NULL.
bool AnyNull(Args args);

// The text of an argument (numbers and datetimes as CAST to varchar gives them).
std::string TextOf(const Value& v, const SqlType& t);
// A string argument's bytes without copying; other types are converted into `scratch`.
std::string_view TextView(const Value& v, const SqlType& t, std::string& scratch);
// A whole-number argument (decimals and floats truncated; strings read as int).
int64_t IntOf(const Value& v, const SqlType& t);
// A datetime argument (strings read as datetime; 241/242 on bad text).
int64_t TicksOf(const Value& v, const SqlType& t);

// Appends text with the characters JSON escapes written as escapes: quote, backslash, solidus,
// \b \f \n \r \t, other control characters as \u00xx (STRING_ESCAPE, JSON_MODIFY).
void AppendJsonEscaped(std::string& out, std::string_view text);

// The result type of the functions that always return int (YEAR, CHARINDEX, ...).
inline SqlType IntType(Types) { return SqlType::Int(); }
inline SqlType BigIntType(Types) { return SqlType::BigInt(); }
// varchar(n) / nvarchar(n) with the argument's length (char -> varchar); varchar(30) for
// non-string arguments.
SqlType VarTextLike(const SqlType& t);
// Bytes a value of a fixed-size type takes (time, datetime2 and decimal by their scale and
// precision); 0 for strings and binary.
int64_t FixedSize(const SqlType& t);

std::span<const ScalarFunction> StringFunctions();
std::span<const ScalarFunction> MathFunctions();
std::span<const ScalarFunction> DateFunctions();
std::span<const ScalarFunction> MiscFunctions();
std::span<const ScalarFunction> FormatFunctions();
std::span<const ScalarFunction> JsonFunctions();

}  // namespace orv::tsql::fn
