// The standard client fragments of report 401: what a report client sends in dSql when it
// wants one row per item with the planned, finished and unfinished totals.
#include "reports/production/report401.h"

#include "reports/sql_text.h"

namespace orv::reports {

namespace {

// Sum of one #T401 quantity, kept at the table's Decimal(23,10).
std::string SumColumn(std::string_view column) {
  return "Cast(Sum(t1." + std::string(column) + ") As Decimal(23,10)) As " + std::string(column) +
         ",";
}

// A text column that batch 2 fills later.
std::string TextColumn(std::string_view column) {
  return "Cast(Null As Varchar(255)) As " + std::string(column) + ",";
}

}  // namespace

std::shared_ptr<automation::Dictionary> Rpt401StandardFragments() {
  std::string select;
  AppendLine(select, "Select t2.FNumber As FItemNumber,");
  for (const char* column : {"FBaseQty", "FFinishBQty", "FUnFinishBQty", "FStockQty",
                             "FFinishSQty", "FUnFinishSQty"}) {
    AppendLine(select, SumColumn(column));
  }
  for (const char* column :
       {"FItemShortNumber", "FItemName", "FModel", "FBaseUnitName", "FFinishBUnitName",
        "FUnFinishBUnitName", "FStockUnitName", "FFinishSUnitName", "FUnFinishSUnitName"}) {
    AppendLine(select, TextColumn(column));
  }
  AppendLines(select, {
      "Cast(Null As SmallInt) As FQtyDecimal,",
      "Cast(Null As SmallInt) As FPriceDecimal",
      "Into #DATA",
      "From #T401 t1",
      "Inner Join t_ICItem t2 On t1.FItemID=t2.FItemID",
  });
  // The marker sits after a complete condition so that " And " + ITEMFILTER always follows it.
  select.append("Where 1=1 ##ITEMFILTER##");

  auto fragments = automation::NewDictionary();
  fragments->SetItem("Select", select);
  fragments->SetItem("Groupby", "Group By t2.FNumber");
  fragments->SetItem("ITEMFILTER", "1=1");
  // A leading blank keeps the SELECT a separate token whatever precedes it.
  fragments->SetItem("EndSel", " Select * From #DATA Order By FItemNumber");
  return fragments;
}

}  // namespace orv::reports
