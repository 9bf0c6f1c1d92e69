// Report conditions from the command line: --filter/--dsql KEY=VALUE pairs and their JSON
// files, gathered into the keyed dictionaries the reports read, with date values checked.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/collections.h"
#include "cli/report_catalog.h"

namespace orv::cli {

// Splits "KEY=VALUE" at the first '='. UsageError when there is no '=' or the key is empty.
std::pair<std::string, std::string> SplitKeyValue(std::string_view text);

// Reads a JSON object file into `into`: texts stay texts, numbers become Long or Double,
// true/false Boolean, null Null. UsageError for a missing file, bad JSON or nested values.
void LoadJsonFile(automation::Dictionary& into, const std::string& path);

// Whether text is a valid calendar date written yyyy-mm-dd.
bool IsIsoDate(std::string_view text);

// The Filter of a report: first the JSON file (if any), then the pairs, each replacing what
// came before; a key spelt in another letter case than the report's key takes the report's
// spelling; keys that are not given get the report's fallback values. Values of keys whose
// name holds "Date" must be yyyy-mm-dd (UsageError otherwise). Keys the report does not read
// are kept and named in a warning on stderr.
std::shared_ptr<automation::Dictionary> BuildFilter(const ReportInfo& report,
                                                    const std::string& json_file,
                                                    const std::vector<std::string>& pairs);

// The client SQL of 401 and 499: the standard fragments, with the keys of the JSON file and
// the pairs replacing them one by one.
std::shared_ptr<automation::Dictionary> BuildDsql(std::shared_ptr<automation::Dictionary> standard,
                                                  const std::string& json_file,
                                                  const std::vector<std::string>& pairs);

}  // namespace orv::cli
