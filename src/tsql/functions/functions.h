// The built-in scalar functions that are plain computations over argument values: string,
// numeric and date functions. Functions that need the binder's help (CAST, CONVERT, ISNULL,
// COALESCE, NULLIF, CASE, OBJECT_ID, GETDATE, aggregates) are handled by the binder itself.
//
// Folder tsql/functions: the scalar functions by name, over values. It uses only tsql/types.
#pragma once

#include <span>
#include <string_view>

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

// nullptr when no plain scalar function has this name (case-insensitive).
const ScalarFunction* FindScalarFunction(std::string_view name);

}  // namespace orv::tsql
