// The period movement and period-end batches of report 499, each one Execute, in the order
// the report runs them: input cost, input quantity, output quantity and cost, output price,
// end quantity, end cost, and end price with the copy of the detail rows into #T499.
// Each batch ends with the CR LF of its last line, except the last batch, whose copy line has
// none.
#pragma once

#include <string>
#include <string_view>

#include "reports/cost/rpt499_sql.h"

namespace orv::reports::cost {

// FCurInCost: blue and red material issues of task orders, red product stock-ins, apportioned
// fees and red stock-ins that reverse an earlier bill, dated in the period.
std::string Rpt499InCostSql(const Rpt499Period& p);

// FCurInNum: input production quantities of the period's material issue headers and the
// red product stock-in quantities, in the product's stock unit.
std::string Rpt499InNumSql(const Rpt499Period& p);

// FCurOutNum and FCurOutCost: product stock-ins of task orders and their red reversals.
std::string Rpt499OutSql(const Rpt499Period& p);

// FCurOutPrice where the output quantity is not 0.
std::string Rpt499OutPriceSql();

// FPeriodEndNum: the recorded end quantity of the report period.
std::string Rpt499EndNumSql(const Rpt499Period& p);

// FPeriodEndCost: the product cost table's end cost of the report period.
std::string Rpt499EndCostSql(const Rpt499Period& p);

// FPeriodEndPrice, then the copy of the detail rows into #T499, narrowed to the item-number
// range when both bounds are non-empty. The copy line has no CR LF.
std::string Rpt499EndPriceAndCopySql(std::string_view b_item_number,
                                     std::string_view e_item_number);

}  // namespace orv::reports::cost
