// A stored procedure call made by a front end rather than by T-SQL text (a TDS RPC): typed
// argument values by name or position, and what the call gives back (its results, the values
// of its OUTPUT parameters and its return code).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tsql/exec/statement_result.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct ProcedureArgument {
  std::string name;  // "@p" for a named argument, "" for one given by position
  Value value;
  SqlType type;
  bool output = false;  // the caller wants the parameter's value back
};

struct ProcedureCall {
  std::vector<StatementResult> results;
  // The procedure's return code; none when the call did not run to its end (the procedure
  // was not found, its arguments were wrong, or an error ended the batch).
  std::optional<int32_t> return_status;
  struct Output {
    size_t argument = 0;  // index into the call's arguments
    std::string name;     // "@p": the argument's name, else the parameter's
    Value value;          // converted to the argument's type
    SqlType type;
  };
  std::vector<Output> outputs;  // the OUTPUT arguments that reached an OUTPUT parameter, in order
};

}  // namespace orv::tsql
