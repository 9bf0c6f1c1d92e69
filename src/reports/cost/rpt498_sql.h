// The batch texts of report 498 (period product cost): the #T498 table, the received quantity
// and amount per item and batch, the apportioned fees, the material fee and unit price, and
// the closing select. Each function returns exact lines; RunRpt498 (rpt498.h) sends them.
#pragma once

#include <string>
#include <string_view>

#include "reports/cost/batch_text.h"

namespace orv::reports::cost {

// The report's conditions as read from Filter, as texts.
struct Rpt498Conditions {
  std::string b_item_number;  // "BItemNumber"
  std::string e_item_number;  // "EItemNumber"
  std::string batch_no;       // "BatchNo"; "FBATCHNO" means every batch
};

// Drop-if-exists guard and creation of #T498.
BatchText Rpt498TableLines();

// Received quantity and amount of blue product stock-in bills drawn from task orders and of
// their red reversals, per item and batch, for bills dated from `start` to `end`; narrowed to
// the item-number range when both bounds are given and to one batch unless it is "FBATCHNO".
BatchText Rpt498ReceiptLines(std::string_view start, std::string_view end,
                             const Rpt498Conditions& conditions);

// The period's apportioned fees (type 87, status 1) summed onto the matching rows.
BatchText Rpt498FeeLines(std::string_view start, std::string_view end);

// Material fee as what remains of the total, and the unit price.
BatchText Rpt498PriceLines();

// The whole batch: table, receipts, fees, material fee and price, in that order.
BatchText Rpt498Batch(std::string_view start, std::string_view end,
                      const Rpt498Conditions& conditions);

// The statement that returns #T498 and drops it.
inline constexpr std::string_view kRpt498FinalSelect = "Select * From #T498;Drop table #T498;";

}  // namespace orv::reports::cost
