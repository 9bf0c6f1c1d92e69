// Printing results: a recordset as a text table, and an automation error as one line.
#pragma once

#include <functional>
#include <iosfwd>

#include "ado/connection.h"
#include "automation/error.h"

namespace orv::cli {

// Prints the rows from the current position to the end as an aligned table with a header
// line; Null prints as NULL. The recordset is left at its end.
void PrintTable(std::ostream& out, ado::Recordset& rs);

// "error <number>: <description> [source: <source>]".
void PrintError(std::ostream& err, const automation::ErrorInfo& error);

// Runs `action`, turning a raised error into a message on stderr and kExitFailure.
int Guarded(const std::function<void()>& action);

}  // namespace orv::cli
