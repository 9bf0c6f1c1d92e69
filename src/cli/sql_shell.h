// The interactive T-SQL shell on a terminal: a prompt naming the data source, line editing and
// a history kept across runs (libedit; the file is $XDG_STATE_HOME/orvdata/sql_history, else
// ~/.local/state/orvdata/sql_history), a batch run at a GO line or at a blank line after a line
// ending in ';', and a few commands of its own (:help, :timing on|off, :reset, :quit).
#pragma once

#include <string>

#include "cli/sql_batches.h"

namespace orv::cli {

// Runs the shell until end of input or :quit; returns true when no batch failed.
bool RunInteractiveShell(BatchRunner& runner, const std::string& source_label);

}  // namespace orv::cli
