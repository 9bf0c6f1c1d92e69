// Report 406 text: the whole batch for the minimal conditions, the condition text W for every
// key and switch value, and the final SELECT.
#include <gtest/gtest.h>

#include "automation/error.h"
#include "reports/production/report406.h"
#include "sql_lines.h"

namespace orv::reports {
namespace {

using automation::DateValue;
using automation::Variant;
using testing::ExpectSameText;
using testing::Lines;
using testing::LineStartingWith;
using testing::MakeFilter;

// The batch for BDate 2024-01-01, EDate 2024-01-31 and nothing else.
std::string ExpectedMinimalBatch() {
  const char* kWhereLine =
      " where 1=1  And CONVERT(char(10),v1.FDate,120)>='2024-01-01' And "
      "CONVERT(char(10),v1.FDate,120)<='2024-01-31' And v1.FStatus>0 And v1.FCancelLation=0  "
      "And v1.FStatus=3 ";
  return Lines({
      "IF  object_id('tempdb..#Data') is not null drop table #Data;Set Nocount ON; ",
      "Create Table #Data(",
      "FInterID int  null,FTranType int,",
      "FPItemID int  null,",
      "Fdate datetime,FdateSort datetime,",
      "FMOBillNO Varchar(100) Null,FMOBillNOSort varchar(100),",
      "FPNumber Varchar(200) Null,FPNumberSort varchar(100),",
      "FPName Varchar(200) Null,",
      "FPShortNumber Varchar(100) Null,",
      "FPModel Varchar(355) Null,",
      "FPAuxPropName Varchar(100) Null,FBatchNo Varchar(200) Null,",
      "FPlanUnitID int null,",
      "FPlanUnitName Varchar(100) Null,",
      "FPlanAuxQty Decimal(23,10) Null Default(0),",
      "FBSPlanUnitName Varchar(100) Null,",
      "FBSPlanQty Decimal(23,10) Null Default(0),",
      "FCUPlanUnitName Varchar(100) Null,",
      "FCUPlanQty Decimal(23,10) Null Default(0),",
      "FFinishUnitName Varchar(100) Null,",
      "FFinishAuxQty Decimal(23,10) Null Default(0),",
      "FBSFinishUnitName Varchar(100) Null,",
      "FBSFinishQty Decimal(23,10) Null Default(0),",
      "FCUFinishUnitName Varchar(100) Null,",
      "FCUFinishQty Decimal(23,10) Null Default(0),",
      "FFinishRate Decimal(10,2) Null Default(0),FDeptName varchar(100) ,FEmpName varchar(100) , FExp varchar(255),",
      "FItemID int null,",
      "FItemNumber Varchar(355) Null,",
      "FItemShortNumber Varchar(100) Null,",
      "FItemName Varchar(355) Null,",
      "FStandardUnitID int null,",
      "FStandardUnitName Varchar(100) Null,",
      "FStandardAuxQty Decimal(23,10) Null Default(0),",
      "FBSStandardUnitName Varchar(100) Null,",
      "FBSStandardQty Decimal(23,10) Null Default(0),",
      "FCUStandardUnitName Varchar(100) Null,",
      "FCUStandardQty Decimal(23,10) Null Default(0),",
      "FPlanDUnitName Varchar(100) Null,",
      "FPlanDAuxQty Decimal(23,10) Null Default(0),",
      "FBSPlanDUnitName Varchar(100) Null,",
      "FBSPlanDQty Decimal(23,10) Null Default(0),",
      "FCUPlanDUnitName Varchar(100) Null,",
      "FCUPlanDQty Decimal(23,10) Null Default(0),",
      "FfactUnitName Varchar(100) Null,",
      "FfactAuxQty Decimal(23,10) Null Default(0),",
      "FBSfactUnitName Varchar(100) Null,",
      "FBSfactQty Decimal(23,10) Null Default(0),",
      "FCUfactUnitName Varchar(100) Null,",
      "FCUfactQty Decimal(23,10) Null Default(0),",
      "FSituation Varchar(100) Null,",
      "FDiffUnitName Varchar(100) Null,",
      "FDiffAuxQty Decimal(23,10) Null Default(0),",
      "FBSDiffUnitName Varchar(100) Null,",
      "FBSDiffQty Decimal(23,10) Null Default(0),",
      "FCUDiffUnitName Varchar(100) Null,",
      "FCUDiffQty Decimal(23,10) Null Default(0),",
      "FDiffRate decimal(23,2) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,",
      "FGroupSort int default 0,FSumSort int default 0)",
      "Insert Into #Data (FInterID,FTranType,FPItemID,Fdate,FdateSort ,FMOBillNO,FMOBillNOSort ,FPNumber,FPNumberSort ,FPName,FPShortNumber ,FPModel ,FPAuxPropName,FBatchNo,",
      "FPlanUnitID ,FPlanUnitName ,FPlanAuxQty  ,FBSPlanQty  ,",
      "FFinishAuxQty ,FBSFinishQty  ,FFinishRate,FDeptName  ,FEmpName , FExp,FQtyDecimal,FPriceDecimal)",
      "Select v1.FInterID,v1.Ftrantype,v1.FItemID,v1.FDate,v1.FDate,v1.FBillNO,v1.FBillNO,",
      "t1.FNumber,t1.FNumber,t1.FName,t1.FShortNumber,t1.FModel,ta.FName,v1.FBatchNo,",
      "v1.FUnitID,u1.FName as FUnitName,"
      "v1.FAuxQty ,v1.FQty,",
      "v1.FAuxFinishQty ,v1.FFinishQty,"
      "Case v1.FFinishRate when 0 then null else  v1.FFinishRate end,td.FName,te.FName,v1.FExp, ",
      "t1.FQtyDecimal,t1.FPriceDecimal ",
      "From ICMO v1",
      "Inner Join t_ICItem t1 On v1.FItemID=t1.FItemID",
      "Inner Join t_MeasureUnit u1 On u1.FMeasureUnitID = v1.FUnitID",
      "Left Join t_Department td On v1.FDeptID=td.FItemID",
      "Left Join t_Emp te On v1.FEmpID=te.FItemID",
      "Left Join t_AuxItem ta On v1.FAuxPropID=ta.FItemID",
      kWhereLine,
      "Update t1 Set  t1.FBSPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7B.FName End,",
      "t1.FCUPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUPlanQty = case t1.FPlanAuxQty When 0 Then 0 else t1.FBSPlanQty / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C",
      "Where t1.FPItemID=t4.FItemID And",
      "t4.FUnitID=t7B.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Update t1 Set t1.FFinishUnitName=t1.FPlanUnitName,  ",
      "t1.FBSFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7B.FName End,",
      "t1.FCUFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUFinishQty = Case t1.FFinishAuxQty When 0 Then 0 else t1.FBSFinishQty / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C",
      "Where t1.FPItemID=t4.FItemID And",
      "t4.FUnitID=t7B.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Insert into #Data (FInterID,FMOBillNOSort,FTranType,FDateSort,FPItemID,FPNumberSort,FItemID,FItemNumber ,FItemShortNumber ,FItemName ,",
      "FStandardUnitID,FStandardUnitName ,",
      "FStandardAuxQty  ,FBSStandardQty,FPlanDAuxQty ,FBSPlanDQty  ,FfactAuxQty  ,FBSfactQty ,",
      "FSituation ,FDiffAuxQty  ,FBSDiffQty,FGroupSort,FQtyDecimal,FPriceDecimal )",
      "Select v1.FInterID,v1.FBillNO,v1.FTranType,v1.FDate,v1.FItemID,",
      "FPNumberSort=(Select FNumber From t_ICItem where FItemID = v1.FItemID), u1.FItemID,t1.FNumber,t1.FShortNumber,",
      "t1.FName,",
      "t1.FUnitID,m1.FName as FStandardUnitName,",
      "u1.FAuxQty,u1.FQty,",
      "u1.FAuxPlanQty,FPlanQty,",
      "u1.FAuxDiscountQty,u1.FDiscountQty, ",
      "FSituation=v1.FStatus,",
      "FAuxDiscountQty-FAuxPlanQty,FDiscountQty-FPlanQty,1,t1.FQtyDecimal,t1.FPriceDecimal",
      "From ICMOEntry u1 ",
      "Inner Join ICMO  v1 on v1.FInterID = u1.FInterID",
      "Inner Join t_MeasureUnit m1 on m1.FMeasureUnitID = u1.FUnitID",
      "Inner Join t_ICItem t1 On u1.FItemID=t1.FItemID",
      " where 1=1 and v1.FInterID in (Select FInterID From #Data) ",
      "Update t1 Set",
      "t1.FBSStandardUnitName=Case t1.FStandardAuxQty When 0 Then '' else t7Q.FName End,",
      "t1.FCUStandardUnitName=Case t1.FStandardAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUStandardQty =Case t1.FStandardAuxQty When 0 Then 0 else t1.FBSStandardQty / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      "Where t1.FItemID=t4.FItemID And",
      "t1.FStandardUnitID=t7Q.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Update t1 Set t1.FPlanDUnitName = t1.FStandardUnitName ,",
      "t1.FBSPlanDUnitName=Case t1.FPlanDAuxQty When 0 Then '' else t7Q.FName End,",
      "t1.FCUPlanDUnitName=Case t1.FPlanDAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUPlanDQty =Case t1.FPlanDAuxQty When 0 Then 0 else t1.FBSPlanDQty / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      "Where t1.FItemID=t4.FItemID And",
      "t1.FStandardUnitID=t7Q.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Update t1 Set t1.FfactUnitName = Case t1.FfactAuxQty When 0 Then '' else t1.FStandardUnitName End,",
      "t1.FBSfactUnitName=Case t1.FfactAuxQty When 0 Then '' else t7Q.FName End,",
      "t1.FCUfactUnitName=Case t1.FfactAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUfactQty =Case t1.FfactAuxQty When 0 Then 0 else t1.FBSfactQty / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      "Where t1.FItemID=t4.FItemID And",
      "t1.FStandardUnitID=t7Q.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Update t1 Set t1.FDiffUnitName =Case t1.FDiffAuxQty When 0 Then '' else t1.FStandardUnitName end ,",
      "t1.FBSDiffUnitName=Case t1.FDiffAuxQty When 0 Then '' else t7Q.FName End,",
      "t1.FCUDiffUnitName=Case t1.FDiffAuxQty When 0 Then '' else t7C.FName End,",
      "t1.FCUDiffQty =Case t1.FDiffAuxQty When 0 Then 0 else t1.FBSDiffQty  / t7C.FCoefficient End",
      "From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      "Where t1.FItemID=t4.FItemID And",
      "t1.FStandardUnitID=t7Q.FMeasureUnitID And",
      "t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Update t1 Set FPlanAuxQty=Round(t1.FPlanAuxQty,t4.FQtyDecimal),",
      "              FBSPlanQty=Round(t1.FBSPlanQty,t4.FQtyDecimal),",
      "              FCUPlanQty=Round(t1.FCUPlanQty,t4.FQtyDecimal),",
      "              FFinishAuxQty=Round(t1.FFinishAuxQty,t4.FQtyDecimal),",
      "              FBSFinishQty=Round(t1.FBSFinishQty,t4.FQtyDecimal),",
      "              FCUFinishQty=Round(t1.FCUFinishQty,t4.FQtyDecimal),",
      "              FStandardAuxQty=Round(t1.FStandardAuxQty,t4.FQtyDecimal),",
      "              FBSStandardQty=Round(t1.FBSStandardQty,t4.FQtyDecimal),",
      "              FCUStandardQty=Round(t1.FCUStandardQty,t4.FQtyDecimal),",
      "              FPlanDAuxQty=Round(t1.FPlanDAuxQty,t4.FQtyDecimal),",
      "              FBSPlanDQty=Round(t1.FBSPlanDQty,t4.FQtyDecimal),",
      "              FCUPlanDQty=Round(t1.FCUPlanDQty,t4.FQtyDecimal),",
      "              FfactAuxQty=Round(t1.FfactAuxQty,t4.FQtyDecimal),",
      "              FBSfactQty=Round(t1.FBSfactQty,t4.FQtyDecimal),",
      "              FCUfactQty=Round(t1.FCUfactQty,t4.FQtyDecimal),",
      "              FDiffAuxQty=Round(t1.FDiffAuxQty,t4.FQtyDecimal),",
      "              FBSDiffQty=Round(t1.FBSDiffQty,t4.FQtyDecimal),",
      "              FCUDiffQty=Round(t1.FCUDiffQty,t4.FQtyDecimal)",
      " From #Data t1 ",
      "Inner join t_ICItem t4 on t1.FItemID=t4.FItemID",
      "update #Data set FSituation = '未完工' where isnull(FSituation,'0')<>'3' and FItemID > 0",
      "update #Data set FSituation = (case  when FDiffAuxQty>0 then '超额' when FDiffAuxQty=0 then '正常' when FDiffAuxQty<0 then '节约' else '' end) where FSituation='3' and FItemID > 0",
      "update #Data set FDiffRate = Round(cast(FBSDiffQty as decimal(23,10)) / cast(FBSPlanDQty as decimal(23,10)) * 100,2) where FBSDiffQty <>0 and FBSPlanDQty<>0 ",
      "insert into #Data",
      "(FMOBillNOSort,FDateSort,FPNumberSort,FPlanAuxQty ,FBSPlanQty ,FCUPlanQty ,FFinishAuxQty ,FBSFinishQty ,FCUFinishQty  ,FStandardAuxQty ,FBSStandardQty ,FCUStandardQty ,FPlanDAuxQty ,FBSPlanDQty ,FCUPlanDQty ,FfactAuxQty ,",
      "FBSfactQty ,FCUfactQty ,FDiffAuxQty ,FBSDiffQty ,FCUDiffQty  ,FGroupSort ,FSumSort)",
      "select FMOBillNOSort,FDate=(Select FDate from ICMO where FBillNO=#Data.FMOBillNOSort),FPNumberSort=(Select top 1 FNumber From  ICMO v1 Inner Join t_ICItem t1 on v1.FItemID=t1.FItemID  Where v1.FBillNO =#Data.FMOBillNOSort ),sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty ),sum(FStandardAuxQty),sum(FBSStandardQty),sum(FCUStandardQty),sum(FPlanDAuxQty),sum(FBSPlanDQty),sum(FCUPlanDQty),sum(FfactAuxQty),sum("
      "FBSfactQty),sum(FCUfactQty),sum(FDiffAuxQty),sum(FBSDiffQty),sum(FCUDiffQty),3, 102"
      "From #Data Group by FMOBillNOSort",
      "update #Data set FPName = t1.FName + '（小计）' From T_ICItem T1  where FGroupSort=3 and T1.FNumber = #Data.FPNumberSort",
      "Insert Into #Data (FPNumberSort,FPName,FPlanAuxQty ,FBSPlanQty ,FCUPlanQty ,FFinishAuxQty ,FBSFinishQty ,FCUFinishQty  ,FStandardAuxQty ,FBSStandardQty ,FCUStandardQty ,FPlanDAuxQty ,FBSPlanDQty ,FCUPlanDQty ,FfactAuxQty ,",
      "FBSfactQty ,FCUfactQty ,FDiffAuxQty ,FBSDiffQty ,FCUDiffQty  ,FGroupSort ,FSumSort)",
      "select 'zzzzzz','合计',sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty ),sum(FStandardAuxQty),sum(FBSStandardQty),sum(FCUStandardQty),sum(FPlanDAuxQty),sum(FBSPlanDQty),sum(FCUPlanDQty),sum(FfactAuxQty),sum(",
      "FBSfactQty),sum(FCUfactQty),sum(FDiffAuxQty),sum(FBSDiffQty),sum(FCUDiffQty),4,101",
      "from #Data where FGroupSort in (0,1) ",
      "  Update #Data set FFinishRate=Round(FFinishRate,2) where FFinishRate is not null ",
      "  Update #Data set FFinishRate=Null where FFinishRate=0 ",
  });
}

TEST(Report406Text, MinimalConditionsGiveTheWholeBatch) {
  auto filter = MakeFilter({{"BDate", Variant(DateValue::FromParts(2024, 1, 1))},
                            {"EDate", "2024-01-31"}});
  ExpectSameText(Rpt406Batch(*filter), ExpectedMinimalBatch());
}

// The W line of the batch for a filter.
std::string WhereLine(const automation::Dictionary& filter) {
  return LineStartingWith(Rpt406Batch(filter), " where 1=1 ");
}

constexpr const char* kJanuary =
    " And CONVERT(char(10),v1.FDate,120)>='2024-01-01' And "
    "CONVERT(char(10),v1.FDate,120)<='2024-01-31'";

TEST(Report406Text, EveryKeyInTableOrder) {
  auto filter = MakeFilter({
      // Set in an order unlike the report's, to show that the report's order wins.
      {"CheckClose", 1},
      {"EEmpNumber", " E9 "},
      {"BEmpNumber", "E1"},
      {"EDeptNumber", "D9"},
      {"BDeptNumber", "D1"},
      {"EItemNumber", "1.9"},
      {"BItemNumber", "1.1"},
      {"EDate", "2024-01-31"},
      {"BDate", "2024-01-01"},
      {"EMOBillNo", "WORK9"},
      {"BMOBillNo", "O'K"},
      {"CheckState", 1},
      {"bLongNumber", true},
  });
  EXPECT_EQ(WhereLine(*filter),
            std::string(" where 1=1  And v1.FBillNo>='O''K' And v1.FBillNo<='WORK9'") + kJanuary +
                " And t1.FNumber>='1.1' And t1.FNumber<='1.9' And TD.FNumber>='D1' And "
                "TD.FNumber<='D9' And TE.FNumber>='E1' And TE.FNumber<='E9' And v1.FStatus=0 And "
                "v1.FCancelLation=0  And v1.FStatus<>3 ");
}

TEST(Report406Text, ShortNumbersWhenLongNumberIsFalseOrAbsent) {
  for (auto long_number : {Variant(false), Variant()}) {
    auto filter = MakeFilter({{"BDate", "2024-01-01"},
                              {"EDate", "2024-01-31"},
                              {"BItemNumber", "A"},
                              {"BDeptNumber", "D"},
                              {"EEmpNumber", "E"},
                              {"CheckState", 2},
                              {"CheckClose", 2}});
    if (!long_number.IsEmpty()) filter->SetItem("bLongNumber", long_number);
    EXPECT_EQ(WhereLine(*filter), std::string(" where 1=1 ") + kJanuary +
                                      " And t1.FShortNumber>='A' And TD.FShortNumber>='D' And "
                                      "TE.FShortNumber<='E' And v1.FCancelLation=0 ");
  }
}

TEST(Report406Text, StatusSwitches) {
  struct Case {
    Variant check_state, check_close;
    const char* tail;
  };
  const Case cases[] = {
      {Variant(), Variant(), " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      {0, 0, " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      {"1", "1", " And v1.FStatus=0 And v1.FCancelLation=0  And v1.FStatus<>3 "},
      {7, 7, " And v1.FCancelLation=0 "},
      {2, 0, " And v1.FCancelLation=0  And v1.FStatus=3 "},
  };
  for (const Case& c : cases) {
    auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}});
    if (!c.check_state.IsEmpty()) filter->SetItem("CheckState", c.check_state);
    if (!c.check_close.IsEmpty()) filter->SetItem("CheckClose", c.check_close);
    EXPECT_EQ(WhereLine(*filter), std::string(" where 1=1 ") + kJanuary + c.tail);
  }
}

TEST(Report406Text, EmptyValuesAddNothingButDatesAlwaysCount) {
  // Empty texts leave the ranges out; absent dates compare with ''.
  auto filter = MakeFilter({{"BMOBillNo", ""}, {"BItemNumber", ""}, {"EDeptNumber", ""}});
  EXPECT_EQ(WhereLine(*filter),
            " where 1=1  And CONVERT(char(10),v1.FDate,120)>='' And "
            "CONVERT(char(10),v1.FDate,120)<='' And v1.FStatus>0 And v1.FCancelLation=0  And "
            "v1.FStatus=3 ");
}

TEST(Report406Text, NonNumericStatusIsATypeMismatch) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"CheckState", "x"}});
  try {
    Rpt406Batch(*filter);
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kTypeMismatch);
  }
}

TEST(Report406Text, FinalSelectHidesSubtotalsOnlyForDisplayTypeOne) {
  const std::string kShown =
      "select * from #Data  order by FPNumberSort,FDateSort,FMOBillNOSort,FGroupSort\r\n"
      "drop table #data";
  const std::string kHidden =
      "select * from #Data  where FSumSort<>102  order by "
      "FPNumberSort,FDateSort,FMOBillNOSort,FGroupSort\r\ndrop table #data";
  EXPECT_EQ(Rpt406FinalSelect(*MakeFilter({})), kShown);
  EXPECT_EQ(Rpt406FinalSelect(*MakeFilter({{"DisplayType", 0}})), kShown);
  EXPECT_EQ(Rpt406FinalSelect(*MakeFilter({{"DisplayType", 2}})), kShown);
  EXPECT_EQ(Rpt406FinalSelect(*MakeFilter({{"DisplayType", 1}})), kHidden);
  EXPECT_EQ(Rpt406FinalSelect(*MakeFilter({{"DisplayType", "1"}})), kHidden);
}

}  // namespace
}  // namespace orv::reports
