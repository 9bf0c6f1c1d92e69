// The batch texts of report 499 (work-in-process cost roll-forward) up to the period start:
// the #T499Detail/#T499 tables, the candidate item/batch pairs, the detail rows and the
// period-start quantity and cost; plus the client batch and the closing batch. The movement
// and period-end batches are in rpt499_movement_sql.h.
// Every line of a batch ends with CR LF; only the lines documented below as ending without
// one (the table batches' ")", the candidate batch's closing select, the client batch's
// "EndSel") leave it off. The detail-row and period-start batches end with their CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::reports::cost {

// The report period and the one before it, as the batches use them.
struct Rpt499Period {
  std::string start;  // first day, "yyyy-mm-dd" ("" when the period is unknown)
  std::string end;    // last day
  int32_t year = 0;
  int32_t period = 0;
  int32_t last_year = 0;  // 0 when there is no earlier period
  int32_t last_period = 0;
};

// Drop-if-exists guard and creation of a table with the report's 17 columns; `table` is
// "#T499Detail" or "#T499". The last line ")" has no CR LF.
std::string Rpt499CreateTableSql(std::string_view table);

// Gathers the candidate item/batch pairs into #Temp (stock bills of the period raised from
// task orders, their red reversals, recorded work in process, the previous period's cost),
// fills #TempTable with one row per distinct pair and its item data, and selects it (that
// closing select has no CR LF).
std::string Rpt499CandidateSql(const Rpt499Period& p);

// One detail row per candidate pair.
std::string Rpt499DetailRowsSql();

// Period-start quantity: the previous period's recorded end quantity.
std::string Rpt499StartNumSql(const Rpt499Period& p);

// Period-start cost: the previous period's product cost end cost.
std::string Rpt499StartCostSql(const Rpt499Period& p);

// The client batch: "Select", "Groupby", the update of #DATA's names and unit from #T499, and
// "EndSel" (no CR LF after it); then every "##ITEMFILTER##" replaced by `item_filter` as it is.
std::string Rpt499ClientSql(std::string_view select, std::string_view group_by,
                            std::string_view item_filter, std::string_view end_select);

// The closing batch: "EndSel" again, then drops every table of the report.
std::string Rpt499LastSql(std::string_view end_select);

}  // namespace orv::reports::cost
