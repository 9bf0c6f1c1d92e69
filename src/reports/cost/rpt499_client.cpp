#include "reports/cost/rpt499_client.h"

#include <string>

namespace orv::reports {
namespace {

// Price = cost / quantity over the whole item, rounded to the item's price decimals (full
// money scale when the item is gone), 0 when the quantity sums to 0.
std::string PriceColumn(const char* cost, const char* num, const char* alias) {
  return std::string("       Cast(Case When Sum(t.") + num + ")<>0 Then Round(Sum(t." + cost +
         ")/Sum(t." + num + "),IsNull(Max(i.FPriceDecimal),10)) Else 0 End As decimal(23,10)) As " +
         alias;
}

}  // namespace

std::shared_ptr<automation::Dictionary> Rpt499StandardFragments() {
  const std::string crlf = "\r\n";
  std::string select;
  // A #DATA left on the connection by another report's client fragments (report 401 builds
  // one too) would make the SELECT ... INTO fail; the client clears it first.
  select += "If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA" + crlf;
  select += "Select t.FNumber," + crlf;
  select += "       Cast(Max(t.FName) As varchar(255)) As FName," + crlf;
  select += "       Cast(Max(t.FModel) As varchar(255)) As FModel," + crlf;
  select += "       Cast(Max(t.FUnit) As varchar(255)) As FUnit," + crlf;
  select += "       Sum(t.FPeriodStartNum) As FPeriodStartNum," + crlf;
  select += "       Sum(t.FPeriodStartCost) As FPeriodStartCost," + crlf;
  select += "       Sum(t.FCurInNum) As FCurInNum," + crlf;
  select += "       Sum(t.FCurInCost) As FCurInCost," + crlf;
  select += "       Sum(t.FCurOutNum) As FCurOutNum," + crlf;
  select += PriceColumn("FCurOutCost", "FCurOutNum", "FCurOutPrice") + "," + crlf;
  select += "       Sum(t.FCurOutCost) As FCurOutCost," + crlf;
  select += "       Sum(t.FPeriodEndNum) As FPeriodEndNum," + crlf;
  select += PriceColumn("FPeriodEndCost", "FPeriodEndNum", "FPeriodEndPrice") + "," + crlf;
  select += "       Sum(t.FPeriodEndCost) As FPeriodEndCost" + crlf;
  select += "Into #DATA" + crlf;
  select += "From #T499 t" + crlf;
  select += "Left Join t_ICItem i On i.FItemID=t.FItemID" + crlf;
  select += "Where 1=1 ##ITEMFILTER##";

  auto fragments = automation::NewDictionary();
  fragments->SetItem("Select", automation::Variant(select));
  fragments->SetItem("Groupby", automation::Variant("Group By t.FNumber"));
  fragments->SetItem("ITEMFILTER", automation::Variant(""));
  fragments->SetItem("EndSel", automation::Variant("Select * From #DATA Order By FNumber"));
  return fragments;
}

}  // namespace orv::reports
