// Report conditions from the command line: --filter/--dsql KEY=VALUE pairs and the JSON
// object files of --filter-file/--dsql-file, gathered in order (the file first, then the
// pairs) for the catalogue's checks (reports/condition_check.h).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reports/condition_check.h"

namespace orv::cli {

// Splits "KEY=VALUE" at the first '='. UsageError when there is no '=' or the key is empty.
std::pair<std::string, std::string> SplitKeyValue(std::string_view text);

// The conditions of a JSON object file (texts stay texts, numbers become Long or Double,
// true/false Boolean, null Null) followed by the KEY=VALUE pairs. UsageError naming the file
// for a missing file, bad JSON or nested values.
reports::catalog::GivenConditions GatherConditions(const std::string& json_file,
                                                   const std::vector<std::string>& pairs);

}  // namespace orv::cli
