// The T-SQL shell's batch runner: sends one batch to the data source and prints every result
// (row sets through the Printer; "(n rows affected)" and PRINT messages with the text forms,
// on stderr otherwise; errors on stderr as "Msg <n>, Level <s>: <text>"), optionally with the
// time it took. Also the script helpers of the shell: $(name) variables and GO splitting.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ado/provider.h"
#include "cli/output.h"

namespace orv::cli {

class BatchRunner {
 public:
  BatchRunner(std::unique_ptr<ado::ProviderConnection> connection, Printer& printer)
      : connection_(std::move(connection)), printer_(printer) {}

  // Runs one batch; false when it had an error.
  bool Run(const std::string& batch);

  void set_timing(bool on) { timing_ = on; }
  bool timing() const { return timing_; }

 private:
  std::unique_ptr<ado::ProviderConnection> connection_;
  Printer& printer_;
  bool timing_ = false;
};

// Replaces every $(name) in `text` by its value (names compare without regard to case).
// UsageError naming the variable and `where` for a name without a value.
std::string SubstituteVariables(const std::string& text,
                                const std::map<std::string, std::string>& variables,
                                const std::string& where);

}  // namespace orv::cli
