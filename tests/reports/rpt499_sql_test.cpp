// Report 499's batches against their transcriptions: tables, candidate set, period start,
// movement and period end, the copy with and without an item range, the client batch with its
// marker replacement, the closing batch, and the standard client texts.
#include "reports/cost/rpt499_sql.h"

#include <gtest/gtest.h>

#include "automation/variant.h"
#include "cost_text_check.h"
#include "reports/cost/rpt499_client.h"
#include "reports/cost/rpt499_movement_sql.h"
#include "rpt499_expected.h"

namespace {

namespace cost = orv::reports::cost;
using cost_test::ExpectedPeriod;
using cost_test::SameText;

const cost::Rpt499Period kPeriod{"2024-01-01", "2024-01-31", 2024, 1, 2023, 12};
const ExpectedPeriod kExpected{"'2024-01-01'", "'2024-01-31'", "2024", "1", "2023", "12"};

// A period missing from the period table: empty dates, no previous period.
const cost::Rpt499Period kUnknown{"", "", 1999, 13, 0, 0};
const ExpectedPeriod kExpectedUnknown{"''", "''", "1999", "13", "0", "0"};

TEST(Rpt499Sql, Tables) {
  EXPECT_TRUE(
      SameText(cost::Rpt499CreateTableSql("#T499Detail"), cost_test::Expected499DetailTable()));
  EXPECT_TRUE(SameText(cost::Rpt499CreateTableSql("#T499"), cost_test::Expected499ResultTable()));
}

TEST(Rpt499Sql, CandidateAndPeriodStartBatches) {
  for (const auto& [p, e] :
       {std::pair{kPeriod, kExpected}, std::pair{kUnknown, kExpectedUnknown}}) {
    SCOPED_TRACE(e.y);
    EXPECT_TRUE(SameText(cost::Rpt499CandidateSql(p), cost_test::Expected499Candidates(e)));
    EXPECT_TRUE(SameText(cost::Rpt499StartNumSql(p), cost_test::Expected499StartNum(e)));
    EXPECT_TRUE(SameText(cost::Rpt499StartCostSql(p), cost_test::Expected499StartCost(e)));
  }
  EXPECT_TRUE(SameText(cost::Rpt499DetailRowsSql(), cost_test::Expected499DetailRows()));
}

TEST(Rpt499Sql, MovementAndPeriodEndBatches) {
  for (const auto& [p, e] :
       {std::pair{kPeriod, kExpected}, std::pair{kUnknown, kExpectedUnknown}}) {
    SCOPED_TRACE(e.y);
    EXPECT_TRUE(SameText(cost::Rpt499InCostSql(p), cost_test::Expected499InCost(e)));
    EXPECT_TRUE(SameText(cost::Rpt499InNumSql(p), cost_test::Expected499InNum(e)));
    EXPECT_TRUE(SameText(cost::Rpt499OutSql(p), cost_test::Expected499Out(e)));
    EXPECT_TRUE(SameText(cost::Rpt499EndNumSql(p), cost_test::Expected499EndNum(e)));
    EXPECT_TRUE(SameText(cost::Rpt499EndCostSql(p), cost_test::Expected499EndCost(e)));
  }
  EXPECT_TRUE(SameText(cost::Rpt499OutPriceSql(), cost_test::Expected499OutPrice()));
}

TEST(Rpt499Sql, CopyWithAndWithoutItemRange) {
  struct Case {
    const char* b;
    const char* e;
    std::string copy;
  };
  const std::string all = "Insert Into #T499 select * From #T499Detail";
  const Case cases[] = {
      {"1.01", "1.09", all + " Where FNumber Between '1.01' and '1.09'"},
      {"1.01", "", all},
      {"", "1.09", all},
      {"", "", all},
      {" A'1 ", "Z", all + " Where FNumber Between 'A''1' and 'Z'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.b) + "|" + c.e);
    EXPECT_TRUE(SameText(cost::Rpt499EndPriceAndCopySql(c.b, c.e),
                         cost_test::Expected499EndPriceAndCopy(c.copy)));
  }
}

const std::string kClientUpdate =
    "Update t1 Set t1.FName=t2.FName,t1.FModel=t2.FModel,t1.FUnit=t3.FName\r\n"
    "From #DATA t1\r\n"
    "Inner Join #T499 t2 On t1.FNumber = t2.FNumber\r\n"
    "Inner Join t_measureunit t3 On t2.FUnit=t3.FMeasureUnitID\r\n";

TEST(Rpt499Sql, ClientBatchReplacesEveryMarkerAsItIs) {
  EXPECT_TRUE(
      SameText(cost::Rpt499ClientSql("Sel ##ITEMFILTER## x##ITEMFILTER##", "Grp##ITEMFILTER##",
                                     " And t.FNumber like '1%'", "End ##ITEMFILTER##"),
               "Sel  And t.FNumber like '1%' x And t.FNumber like '1%'\r\n"
               "Grp And t.FNumber like '1%'\r\n\r\n" +
                   kClientUpdate + "End  And t.FNumber like '1%'"));
  // An empty filter removes the marker; no " And " is added; the match is case-sensitive;
  // replaced text is not searched again.
  EXPECT_TRUE(SameText(cost::Rpt499ClientSql("A##ITEMFILTER##B", "##itemfilter##", "", "E"),
                       "AB\r\n##itemfilter##\r\n\r\n" + kClientUpdate + "E"));
  EXPECT_TRUE(SameText(cost::Rpt499ClientSql("##ITEMFILTER##", "", "[##ITEMFILTER##]", ""),
                       "[##ITEMFILTER##]\r\n\r\n\r\n" + kClientUpdate));
}

TEST(Rpt499Sql, ClosingBatchKeepsItsMarkers) {
  EXPECT_EQ(cost::Rpt499LastSql("Select * From #DATA ##ITEMFILTER##"),
            "Select * From #DATA ##ITEMFILTER##\r\n"
            "If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA\r\n"
            "If Object_ID('tempdb..#T499') Is Not Null Drop Table #T499\r\n"
            "If Object_ID('tempdb..#T499Detail') Is Not Null Drop Table #T499Detail\r\n"
            "If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp\r\n"
            "If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable\r\n");
}

TEST(Rpt499StandardFragments, BuildDataFromT499AndSelectItInItemOrder) {
  const auto f = orv::reports::Rpt499StandardFragments();
  for (const char* key : {"Select", "Groupby", "ITEMFILTER", "EndSel"}) {
    EXPECT_TRUE(f->Exists(key)) << key;
  }
  const std::string select = orv::automation::CStr(f->Item("Select"));
  EXPECT_EQ(orv::automation::CStr(f->Item("ITEMFILTER")), "");
  EXPECT_NE(select.find("Into #DATA\r\nFrom #T499 t"), std::string::npos);
  // The marker sits after a complete condition, so "" and " And ..." both stay valid.
  EXPECT_TRUE(select.ends_with("Where 1=1 ##ITEMFILTER##"));
  EXPECT_EQ(orv::automation::CStr(f->Item("Groupby")), "Group By t.FNumber");
  EXPECT_EQ(orv::automation::CStr(f->Item("EndSel")), "Select * From #DATA Order By FNumber");
  // The columns the report's update needs, and every quantity, cost and price column.
  EXPECT_TRUE(select.starts_with(
      "If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA\r\nSelect t.FNumber,"));
  EXPECT_NE(select.find("Cast(Max(t.FUnit) As varchar(255)) As FUnit,"), std::string::npos);
  for (const char* column : {"FName", "FModel", "FPeriodStartNum", "FPeriodStartCost", "FCurInNum",
                             "FCurInCost", "FCurOutNum", "FCurOutPrice", "FCurOutCost",
                             "FPeriodEndNum", "FPeriodEndPrice", "FPeriodEndCost"}) {
    EXPECT_NE(select.find(std::string(" As ") + column), std::string::npos) << column;
  }
  const std::string client =
      cost::Rpt499ClientSql(select, orv::automation::CStr(f->Item("Groupby")), "",
                            orv::automation::CStr(f->Item("EndSel")));
  EXPECT_NE(client.find("Where 1=1 \r\nGroup By t.FNumber\r\n\r\nUpdate t1"), std::string::npos);
}

}  // namespace
