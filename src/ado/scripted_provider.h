// A provider for tests: it records every batch text it receives and answers each with the next
// prepared list of results (or, when nothing is prepared, with one empty row count).
// Connection strings "Provider=Scripted;Data Source=<name>" open the script of that name.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ado/provider.h"

namespace orv::ado {

class Script {
 public:
  // Queues the results of the next batch received.
  void Answer(std::vector<ProviderResult> results);
  // Shorthands: one rowset; one error (native number and message).
  void AnswerRows(std::vector<ColumnInfo> columns,
                  std::vector<std::vector<automation::Variant>> rows);
  void AnswerError(int32_t native, std::string message);
  // The batch texts received so far, in order.
  std::vector<std::string> Received() const;
  void Reset();

  // Used by the provider.
  std::vector<ProviderResult> Next(std::string_view text);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> received_;
  std::vector<std::vector<ProviderResult>> queue_;
};

// The script behind "Data Source=<name>" (created on first use), and registration of the
// "Scripted" provider (idempotent).
std::shared_ptr<Script> ScriptFor(std::string_view data_source);
void InstallScriptedProvider();

}  // namespace orv::ado
