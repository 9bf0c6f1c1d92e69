// The condition keys of each report (catalog.h describes their fields).
#pragma once

#include <vector>

#include "reports/catalog.h"

namespace orv::reports::catalog {

std::vector<ConditionKey> Keys400();
std::vector<ConditionKey> Keys401();
std::vector<ConditionKey> Keys406();
std::vector<ConditionKey> Keys410();
std::vector<ConditionKey> Keys498();
std::vector<ConditionKey> Keys499();

}  // namespace orv::reports::catalog
