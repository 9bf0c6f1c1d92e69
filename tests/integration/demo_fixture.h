// Shared set-up of the integration tests: the generated demo company database built once per
// test program (in memory, then saved to a data-source file), the report conditions a typical
// user gives, and the batches of every report in the order the service sends them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "automation/collections.h"
#include "demo/generator.h"
#include "tsql/engine.h"

namespace orv::integration {

// Builds the demo database of `size` in memory, saves it to a fresh data-source file and
// returns the file's path. Any error of a generated batch aborts with the batch's text.
std::string BuildDemoFile(demo::Size size, const std::string& tag);

// A session on a new in-memory database holding only the schema (no rows).
std::unique_ptr<tsql::Session> SchemaOnlySession();

// Conditions of the production reports: the whole demo history, long item numbers.
std::shared_ptr<automation::Dictionary> ProductionFilter();
// Conditions of report 410: every work and finish date of the demo history.
std::shared_ptr<automation::Dictionary> AlarmFilter();

// The accounting period the cost reports run for: a full month of the demo history.
inline constexpr int16_t kCostYear = 2025;
inline constexpr int16_t kCostPeriod = 5;

// Every batch of every report, in the order the service sends them, labelled for messages.
struct LabelledBatch {
  std::string label;  // "400 batch 1", ...
  std::string text;
};
std::vector<LabelledBatch> AllReportBatches();

}  // namespace orv::integration
