// The result columns of each report, in order, and their captions in Chinese and English.
#pragma once

#include <string>
#include <vector>

#include "reports/catalog.h"

namespace orv::reports::catalog {

// The captioned columns of a report's result, from the column names in result order.
std::vector<ColumnCaption> Columns400();
std::vector<ColumnCaption> Columns401();
std::vector<ColumnCaption> Columns406();
std::vector<ColumnCaption> Columns410();
std::vector<ColumnCaption> Columns498();
std::vector<ColumnCaption> Columns499();

}  // namespace orv::reports::catalog
