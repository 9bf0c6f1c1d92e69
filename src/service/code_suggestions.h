// Suggestions for the code conditions of the report forms (an item, department, employee, task
// order or sales order number as it is typed), read on the look-up connection of a data source.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lookups/code_lookups.h"

namespace orv::service {

// At most `limit` numbers beginning with `typed` (or whose names contain it), by number.
// Raises what the look-up raises.
std::vector<lookups::CodeSuggestion> SuggestCodes(const std::string& dsn, lookups::CodeKind kind,
                                                  std::string_view typed, int limit);

}  // namespace orv::service
