// Operations on typed values with SQL Server's rules: result types of operators (decimal
// precision and scale), implicit and explicit conversion, arithmetic, comparison under the
// case-insensitive collation, hashing consistent with comparison, LIKE, and text forms.
// Every function takes the SqlType of each operand, because a Value alone does not say whether
// an integer is an int or a smallint, or how long a string column is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/types/operators.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

// ---- types -------------------------------------------------------------------------------

// The type of a literal as written: 12 -> int, 12.50 -> decimal(4,2), 2147483648 ->
// decimal(10,0), 1e2 -> float, 'ab' -> varchar(2), N'ab' -> nvarchar(2), $1.5 -> money,
// NULL -> Null. Also returns its value.
SqlType LiteralType(LiteralKind kind, std::string_view text);
Value LiteralValue(LiteralKind kind, std::string_view text);

// The type an integer constant takes when it meets a decimal operand of an arithmetic
// operator: numeric just wide enough for its digits (1 -> numeric(1,0), 250 -> numeric(3,0)).
// The binder passes this instead of int for such a literal, so that 1.0 / 3 is
// decimal(7,6) while 1.0 / int_column is decimal(13,12).
SqlType IntegerConstantType(int64_t value);

// The type a declaration names ("decimal" without precision = decimal(18,0); "varchar" without
// length = varchar(1) in a declaration, varchar(30) in CAST/CONVERT -> pass in_cast).
// Raises 2715-like errors for unknown type names (Msg 243 "Type %s is not a defined system type.").
SqlType TypeFromName(const TypeName& name, bool in_cast);

// The collation a COLLATE name stands for: *_BIN and *_BIN2 compare by code point, *_CS_*
// case-sensitively, *_CI_* case-insensitively. Raises 448 for other names.
Collation CollationFromName(std::string_view name);
// The name SQL Server shows for a collation of this engine.
std::string_view CollationName(Collation c);

// Result type of a binary arithmetic operator (Add also covers string concatenation when both
// sides are strings). Integer constants typed as int keep int rules; decimal rules follow the
// precision/scale table with the cap at 38. Raises 8117 (operand type clash) / 402 for
// unsupported combinations (e.g. datetime * int).
SqlType ArithmeticType(Op op, const SqlType& left, const SqlType& right);

// The type both sides of a comparison, CASE branches, COALESCE or IN list are converted to:
// the one with higher precedence (strings of different lengths -> the longer; decimals -> the
// UNION rule when both are decimal).
SqlType CommonType(const SqlType& a, const SqlType& b);

// The column type of a UNION of two query columns.
SqlType UnionType(const SqlType& a, const SqlType& b);

// Result types of aggregates: SUM, AVG, MIN, MAX, COUNT (name upper case).
SqlType AggregateType(std::string_view name, const SqlType& argument);

// ---- conversion --------------------------------------------------------------------------

enum class CastMode {
  Implicit,    // operator or comparison conversion
  Explicit,    // CAST / CONVERT: strings are cut to the target length silently
  Assignment,  // storing into a column: a string longer than the column raises 8152
};

// Converts v (of type from) to type to. style is CONVERT's style (0 when none). Raises 245,
// 8114, 241, 242, 8115, 8152 as SQL Server does. NULL stays NULL.
Value Convert(const Value& v, const SqlType& from, const SqlType& to, CastMode mode,
              int style = 0);

// The type a sql_variant value counts as (its base type), told from the value itself: int or
// bigint, numeric of its digits, float, nvarchar, datetime, datetime2(7).
SqlType VariantBaseType(const Value& v);

// SET CONCAT_NULL_YIELDS_NULL of the session whose batch runs on this thread: when off, a
// NULL operand of string concatenation counts as ''.
bool& ConcatNullYieldsNull();

// ---- arithmetic and comparison -----------------------------------------------------------

// Applies a binary arithmetic operator; operands are converted to the result type's family as
// needed (for example an int operand of a decimal Add). result is ArithmeticType(op, lt, rt).
// NULL in -> NULL out. Raises 8134 (divide by zero) and 8115 (overflow of the result type).
Value Arithmetic(Op op, const Value& left, const SqlType& lt, const Value& right,
                 const SqlType& rt, const SqlType& result);

Value Negate(const Value& v, const SqlType& type);

// Three-way comparison of two non-NULL values of the SAME type family (convert first with
// Convert(..., CommonType(...), Implicit)): strings case-insensitively with trailing blanks
// ignored; numbers by value; datetimes by time. Returns <0, 0, >0.
int Compare(const Value& a, const Value& b, const SqlType& type);

// Hash consistent with Compare == 0 for the same type (for strings: of the upper-cased text
// without trailing blanks; for decimals: of the value normalised to no trailing zeros).
size_t Hash(const Value& v, const SqlType& type);

// LIKE with % _ [a-z] [^a] and an optional escape character, case-insensitive; trailing blanks
// of the value are ignored for char/varchar (unicode: not).
bool Like(std::string_view value, std::string_view pattern, std::optional<char32_t> escape,
          bool unicode);

// ---- text forms --------------------------------------------------------------------------

// The text CAST(v AS varchar) would give (decimal with its scale, datetime in style 0 form,
// float in the 6-significant-digit form), used by PRINT and messages.
std::string ToText(const Value& v, const SqlType& type);

// ---- datetime helpers --------------------------------------------------------------------

// Days and ticks from calendar parts (no range check) and back.
int64_t MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                     int millisecond = 0);
void SplitDateTime(int64_t ticks, int& year, int& month, int& day, int& hour, int& minute,
                   int& second, int& millisecond);

// Parses a datetime text as SQL Server reads it under us_english (mdy): ISO forms, yyyymmdd,
// mdy with / - ., time-only, '' -> 1900-01-01. nullopt when it does not read as a date (241);
// raises 242 when it reads as a date out of range.
std::optional<int64_t> ParseDateTime(std::string_view text);

}  // namespace orv::tsql
