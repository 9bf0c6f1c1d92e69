// The standard client texts of report 499 ("Select", "Groupby", "ITEMFILTER", "EndSel"), for
// callers that have no report client of their own to supply them (the command line, tests).
#pragma once

#include <memory>

#include "automation/collections.h"

namespace orv::reports {

// "Select" and "Groupby" build #DATA from #T499 with one row per item number: FNumber, FName,
// FModel, FUnit (varchar(255), later overwritten with the unit's name), the summed quantities
// and costs, and the output and end prices recomputed from the sums and rounded to the item's
// price decimals. "Select" ends with "Where 1=1 ##ITEMFILTER##", so an ITEMFILTER is written as
// a complete " And ..." condition on the #T499 alias t; the standard ITEMFILTER is "".
// "EndSel" selects #DATA in item-number order.
std::shared_ptr<automation::Dictionary> Rpt499StandardFragments();

}  // namespace orv::reports
