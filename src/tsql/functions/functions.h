// The built-in scalar functions that are plain computations over argument values: string,
// numeric and date functions. Functions that need the binder's help (CAST, CONVERT, ISNULL,
// COALESCE, NULLIF, CASE, OBJECT_ID, GETDATE, aggregates) are handled by the binder itself.
//
// Folder tsql/functions: the scalar functions by name, over values. It uses only tsql/types.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct ScalarFunction {
  const char* name;  // upper case
  int min_args;
  int max_args;
  // The result type for the given argument types; raises 8116/174-style errors for bad
  // arguments (Msg 174 "The %s function requires %d argument(s).").
  SqlType (*result_type)(std::span<const SqlType> args);
  // Computes the result; arguments arrive in their own types (arg_types). DATEDIFF, DATEADD,
  // DATEPART receive the datepart keyword as their first argument, a varchar Value.
  Value (*invoke)(std::span<const Value> args, std::span<const SqlType> arg_types,
                  const SqlType& result);
};

// OPENJSON's rows with its default columns: for each member of the object (each item of the
// array) at `path`, its key (an item's index), its value as text (a string unescaped, objects
// and arrays as they stand, NULL for null) and its type: 0 null, 1 string, 2 number,
// 3 true/false, 4 array, 5 object. A lax path to nothing gives no rows, a strict one 13608; a
// path to a scalar raises 13611.
struct JsonRow {
  Value key, value;
  int type;
};
std::vector<JsonRow> OpenJsonRows(std::string_view json, std::string_view path);

// nullptr when no plain scalar function has this name (case-insensitive).
const ScalarFunction* FindScalarFunction(std::string_view name);

}  // namespace orv::tsql
