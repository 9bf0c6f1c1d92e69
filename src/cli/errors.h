// How orvdata reports failures: UsageError for a bad command line (exit status 2), the one-line
// form of an operation's error (exit status 1), and Guarded, which turns either into its status.
#pragma once

#include <functional>
#include <iosfwd>
#include <stdexcept>

#include "automation/error.h"

namespace orv::cli {

// A mistake in the command line found after parsing (a bad KEY=VALUE, an unknown column...).
// Its text is printed as "orvdata: <text>".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure of the command that is not a mistake in its command line (a missing data-source
// file, an output that would overwrite the data source). Printed as "orvdata: <text>", exit
// status 1.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "error <number>: <description> (source: <source>)"; the source part is left out when empty.
void PrintError(std::ostream& err, const automation::ErrorInfo& error);

// Runs `action`: kExitSuccess, or the failure printed on stderr and kExitUsage for a
// UsageError (and the writers' ChoiceError), kExitFailure for anything else.
int Guarded(const std::function<void()>& action);

}  // namespace orv::cli
