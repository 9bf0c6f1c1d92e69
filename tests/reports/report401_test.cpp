// Report 401 text: the task-line selection batch, the client batch around the service's
// updates, the "##ITEMFILTER##" replacement, and the standard client fragments.
#include <gtest/gtest.h>

#include "automation/error.h"
#include "reports/production/report401.h"
#include "sql_lines.h"

namespace orv::reports {
namespace {

using automation::Variant;
using testing::ExpectSameText;
using testing::Lines;
using testing::LineStartingWith;
using testing::MakeFilter;

std::string ExpectedBatch1(const std::string& where_line) {
  return Lines({
      "If Object_ID('tempdb..#T401') Is Not Null Drop Table #T401",
      "If Object_ID('tempdb..#ItemLevel') Is Not Null Drop Table #ItemLevel",
      "If Object_ID('tempdb..#Data') Is Not Null Drop Table #Data",
      " Set NoCount On",
      "  Create Table #T401(",
      "     FItemID int Null,",
      "     FBatchNo varchar(200) Null,",
      "     FBaseQty Decimal(23,10) Not Null Default(0),",
      "     FStockQty Decimal(23,10) Not Null Default(0),",
      "     FFinishBQty Decimal(23,10) Not Null Default(0),",
      "     FFinishSQty Decimal(23,10) Not Null Default(0),",
      "     FUnFinishBQty Decimal(23,10) Not Null Default(0),",
      "     FUnFinishSQty Decimal(23,10) Not Null Default(0),",
      "     FDeptID int null,FempID int null",
      ")",
      "",
      "Insert Into #T401(FItemID,FBatchNo,FBaseQty,FFinishBQty,FDeptID,FStockQty,FFinishSQty,FEmpID)",
      "Select v1.FItemID,v1.FBatchNo,Round(v1.FQty,t1.FQtyDecimal) as FQty,",
      "    Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,v1.FDeptID,",
      "    Round(FAuxQty * cast(tmB.FCoefficient / tmS.FCoefficient as Decimal(23,10)),t1.FQtyDecimal),",
      "    Round(FAuxFinishQty * cast(tmB.FCoefficient/ tmS.FCoefficient as Decimal(23,10)),t1.FQtyDecimal),FEmpID",
      "From ICMO v1",
      "Inner Join t_ICItem      t1  On v1.FItemID=t1.FItemID",
      "Left  Join t_Department  td  On td.FItemID=v1.FDeptID",
      "Left  Join t_Emp         te  On te.FItemID=v1.FEmpID",
      "Inner Join t_MeasureUnit tmB On tmB.FMeasureUnitID=v1.FUnitID",
      "Inner Join t_MeasureUnit tmS On tmS.FMeasureUnitID=t1.FStoreUnitID",
      where_line,
      "",
      "Order By v1.FDate,v1.FInterID,v1.FItemID",
      "",
  });
}

TEST(Report401Text, OnlyTheDatesGiveFourFragments) {
  auto filter = MakeFilter({{"BDate", "2024-03-01"}, {"EDate", "2024-03-31"}, {"bLongNumber", false}});
  ExpectSameText(Rpt401Batch1(*filter),
                 ExpectedBatch1("Where 1=1  And CONVERT(char(10),v1.FDate,120)>='2024-03-01' And "
                                "CONVERT(char(10),v1.FDate,120)<='2024-03-31' And v1.FStatus>0 "
                                "And v1.FCancelLation=0  And v1.FStatus=3 "));
}

TEST(Report401Text, EveryKeySetBillNumbersLast) {
  auto filter = MakeFilter({
      {"EBillNo", "WORK020"},
      {"BBillNo", " WORK010 "},
      {"CheckClose", 1},
      {"CheckState", 1},
      {"BBatchNo", " a'b "},
      {"EEmp", "E2"},
      {"BEmp", "E1"},
      {"EDept", "D2"},
      {"BDept", "D1"},
      {"EItemNumber", "1.02"},
      {"BItemNumber", "1.01"},
      {"EDate", "2024-03-31"},
      {"BDate", "2024-03-01"},
      {"bLongNumber", true},
  });
  ExpectSameText(
      Rpt401Batch1(*filter),
      ExpectedBatch1(
          "Where 1=1  And CONVERT(char(10),v1.FDate,120)>='2024-03-01' And "
          "CONVERT(char(10),v1.FDate,120)<='2024-03-31' And t1.FNumber>='1.01' And "
          "t1.FNumber<='1.02' And TD.FNumber>='D1' And TD.FNumber<='D2' And TE.FNumber>='E1' And "
          "TE.FNumber<='E2' And v1.FBatchNo like '% a''b %' And v1.FStatus=0 And "
          "v1.FCancelLation=0  And v1.FStatus<>3  And v1.FBillNo>='WORK010' And "
          "v1.FBillNo<='WORK020'"));
}

TEST(Report401Text, SwitchesAndNumberColumns) {
  struct Case {
    std::vector<testing::Entry> keys;
    const char* tail;  // what follows the two date fragments
  };
  const Case cases[] = {
      {{{"CheckState", 2}, {"CheckClose", 2}}, " And v1.FCancelLation=0 "},
      {{{"CheckState", "0"}, {"CheckClose", "1"}},
       " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus<>3 "},
      {{{"bLongNumber", false}, {"BItemNumber", "A"}, {"EDept", "D"}, {"BEmp", "E"}},
       " And t1.FShortNumber>='A' And TD.FShortNumber<='D' And TE.FShortNumber>='E' And "
       "v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      // Empty texts are not given.
      {{{"BItemNumber", ""}, {"BDept", ""}, {"BBatchNo", ""}, {"EBillNo", ""}},
       " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
  };
  for (const Case& c : cases) {
    auto filter = MakeFilter({{"BDate", "2024-03-01"}, {"EDate", "2024-03-31"}});
    for (const auto& [key, value] : c.keys) filter->SetItem(key, value);
    EXPECT_EQ(LineStartingWith(Rpt401Batch1(*filter), "Where 1=1 "),
              std::string("Where 1=1  And CONVERT(char(10),v1.FDate,120)>='2024-03-01' And "
                          "CONVERT(char(10),v1.FDate,120)<='2024-03-31'") +
                  c.tail);
  }
}

TEST(Report401Text, ClientBatchWrapsTheUpdatesAndReplacesEveryMarker) {
  auto dsql = MakeFilter({
      {"Select", "Select FItemID Into #DATA From #T401 Where 1=1 ##ITEMFILTER##"},
      {"Groupby", "Group By FItemID ##ITEMFILTER##"},
      {"ITEMFILTER", "t9.FNumber like '1.%'"},
      {"EndSel", "Select * From #DATA ##itemfilter##"},
  });
  ExpectSameText(
      Rpt401Batch2(*dsql),
      Lines({
          "Select FItemID Into #DATA From #T401 Where 1=1  And t9.FNumber like '1.%'",
          "Group By FItemID  And t9.FNumber like '1.%'",
          "Update #DATA Set FUnFinishBQty=FBaseQty-FFinishBQty,FUnFinishSQty=FStockQty-FFinishSQty",
          "",
          "Update t1 Set t1.FItemShortNumber=t2.FShortNumber,t1.FItemName=t2.FName,t1.FModel=t2.FModel",
          "From #DATA t1",
          "Inner Join t_ICItem t2 On t1.FItemNumber = t2.FNumber",
          "",
          "Update t1 Set t1.FBaseUnitName=(Case When t1.FBaseQty<>0 Then t3.FName End),",
          "t1.FFinishBUnitName=(Case When t1.FFinishBQty<>0 Then t3.FName End),",
          "t1.FUnFinishBUnitName=(Case When t1.FUnFinishBQty<>0 Then t3.FName End),",
          "t1.FStockUnitName=(Case When t1.FStockQty<>0 Then t6.FName End),",
          "t1.FFinishSUnitName=(Case When t1.FFinishSQty<>0 Then t6.FName End),",
          "t1.FUnFinishSUnitName=(Case When t1.FUnFinishSQty<>0 Then t6.FName End)",
          "From #DATA t1",
          "Inner Join t_icItem      t2 On t1.FItemNumber = t2.FNumber",
          "Inner Join t_MeasureUnit t3 On t2.FUnitID=t3.FMeasureUnitID",
          "Inner Join t_MeasureUnit t6 On t2.FStoreUnitID=t6.FMeasureUnitID",
          "",
          // "EndSel" follows the last update directly; the marker is matched with its letter
          // case.
          "Update #Data Set FQtyDecimal =t1.FQtyDecimal ,FPriceDecimal=t1.FPriceDecimal From t_IcItem t1 Where t1.FNumber = #Data.FItemNumber"
          "Select * From #DATA ##itemfilter##",
          "If Object_ID('tempdb..#T401') Is Not Null Drop Table #T401",
      }));
}

TEST(Report401Text, StandardFragmentsBuildEveryColumnTheUpdatesNeed) {
  auto fragments = Rpt401StandardFragments();
  const std::string batch = Rpt401Batch2(*fragments);
  EXPECT_EQ(batch.find("##ITEMFILTER##"), std::string::npos);
  EXPECT_NE(batch.find("Where 1=1  And 1=1"), std::string::npos);
  // "EndSel" is joined to the last update; its leading blank keeps the two statements apart.
  EXPECT_NE(batch.find("= #Data.FItemNumber Select * From #DATA"), std::string::npos);
  const std::string select = automation::CStr(fragments->Item("Select"));
  EXPECT_NE(select.find("Into #DATA"), std::string::npos);
  EXPECT_NE(select.find("From #T401"), std::string::npos);
  for (const char* column :
       {"FItemNumber", "FBaseQty", "FFinishBQty", "FUnFinishBQty", "FStockQty", "FFinishSQty",
        "FUnFinishSQty", "FItemShortNumber", "FItemName", "FModel", "FBaseUnitName",
        "FFinishBUnitName", "FUnFinishBUnitName", "FStockUnitName", "FFinishSUnitName",
        "FUnFinishSUnitName", "FQtyDecimal", "FPriceDecimal"}) {
    EXPECT_NE(select.find(std::string(" As ") + column), std::string::npos) << column;
  }
  EXPECT_NE(automation::CStr(fragments->Item("EndSel")).find("Order By FItemNumber"),
            std::string::npos);
}

TEST(Report401Text, MissingFilterIsObjectNotSet) {
  ReportContext ctx;  // never reached: the filter is checked first
  auto dsql = Rpt401StandardFragments();
  try {
    RunRpt401(ctx, *dsql, nullptr);
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kObjectNotSet);
  }
}

}  // namespace
}  // namespace orv::reports
