// Report 400 text: batch 1 for representative conditions (the column definitions of the three
// tables are checked against their documented names and types in table_definitions_test.cpp),
// the condition texts for every key and switch value, and batch 2's filter and order.
#include <gtest/gtest.h>

#include <optional>

#include "automation/error.h"
#include "reports/production/report400.h"
#include "sql_lines.h"
#include "table_columns.h"

namespace orv::reports {
namespace {

using automation::DateValue;
using automation::Variant;
using testing::CollapseColumnList;
using testing::ExpectSameText;
using testing::LineAfter;
using testing::Lines;
using testing::MakeFilter;

// Batch 1 with the column lists of #T400, #T400_1 and #Data collapsed to "(...)".
std::string ExpectedBatch1(const std::string& conditions_line,
                           const std::optional<std::string>& dept_line) {
  std::string text = Lines({
      "If object_id('tempdb..#T400') is not null drop table #T400;If object_id('tempdb..#T400_1') is not null drop table #T400_1;If object_id('tempdb..#Data') is not null drop table #Data;",
      " Create Table #T400",
      "(...)",
      "",
      "  Insert Into #T400",
      "  ( FInterID,FTranType,FDate,FBillNO,FItemID,",
      "    FNumber,FNumberSort,FShortNumber,FName,FModel,FBatchNo,",
      "   FPlanUnitID,FPlanUnitName,FPlanAuxQty,",
      "   FBSPlanQty, FBeginDate, ",
      "   FFinishUnitID,FFinishAuxQty,",
      "   FBSFinishQty,",
      "   FPlanFinishDate,FFinishDate,FFinishRate,FOrderBillNo,",
      "   FDeptName,FEmpName,FAuxPropName,FExp,FQtyDecimal,FPriceDecimal)",
      "Select v1.FInterID,v1.FTranType,v1.FDate,v1.FBillNO,v1.FItemID,",
      "    t1.FNumber,t1.FNumber,t1.FShortNumber,t1.FName,t1.FModel,v1.FBatchNo,",
      "    v1.FUnitID,(Select FName From t_MeasureUnit where FMeasureUnitID = v1.FUnitID),",
      "    Round(v1.FAuxQty,t1.FQtyDecimal) as FAuxQty,Round(v1.FQty,t1.FQtyDecimal) as FQty,v1.FBeginDate,",
      "    v1.FUnitID,Round(v1.FAuxFinishQty,t1.FQtyDecimal) as FAuxFinishQty,Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,",
      "    v1.FPlanFinishDate,v1.FFinishDate,case v1.FFinishRate when 0 then 0 else v1.FFinishRate end , v2.FBillNO,",
      "    t3.FName, t4.FName,ta.FName,v1.fExp,t1.FQtyDecimal,t1.FPriceDecimal",
      "From ICMO v1",
      "    Inner Join t_ICItem t1 On v1.FItemID=t1.FItemID",
      "    Left Join  SEOrder v2 on  v2.FInterID = v1.FOrderInterID",
      "    Left Join t_Department t3 On v1.FDeptID=t3.FItemID",
      "    Left Join t_Emp t4 On v1.FEmpID=t4.FItemID",
      "    Left Join t_AuxItem ta On v1.FAuxPropID=ta.FItemID",
      "Where 1 = 1 ",
  });
  text += Lines({conditions_line});
  if (dept_line) text += Lines({*dept_line});
  text += Lines({
      "Order By v1.FDate,v1.FInterID,v1.FItemID",
      " Update t1 Set          t1.FBSPlanQty=Round(t1.FPlanAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),",
      "        t1.FCUPlanQty =Round(Cast(t1.FPlanAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0))as Decimal(23,10)) / t7C.FCoefficient,t4.FQtyDecimal)",
      " From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      " Where t1.FItemID=t4.FItemID And",
      "       t1.FPlanUnitID=t7Q.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID",
      " Update t1 Set ",
      "        t1.FFinishUnitName = Case t1.FFinishAuxQty When 0 Then '' else t7Q.FName End,",
      "        t1.FBSFinishQty=Round(t1.FFinishAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),",
      "        t1.FCUFinishQty = Round(t1.FFinishAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0)) / t7C.FCoefficient,t4.FQtyDecimal)",
      " From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      " Where t1.FItemID=t4.FItemID And",
      "       t1.FFinishUnitID=t7Q.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID",
      "",
      " Set NoCount On  ",
      "  Create Table #T400_1",
      "  (...)",
      "",
      "Insert Into #T400_1 ",
      "    (FStockInterID,FStockTranType,FICMOInterID,FStockDate,FStockBillNo, FStockAuxQty,FBSStockQty,FUnitID,",
      "    FStockEntryID,FExp) ",
      "Select u2.FInterID,v2.FTranType,v1.FInterid,v2.FDate,v2.FBillNo,Round(u2.FAuxQty,t1.FQtyDecimal) as FAuxQty,Round(u2.FQty,t1.FQtyDecimal) as FQty,u2.FUnitID ,",
      "u2.FEntryID,v2.FExplanation ",
      "From ICStockBillEntry u2 ",
      "Inner Join ICStockBill v2 On v2.FInterID=u2.FInterID",
      "Inner Join  ICMO v1 On v1.FInterID = u2.FSourceInterID",
      "Inner Join  t_ICItem t1 On t1.FItemID = u2.FItemID",
      "Where v2.fcancellation=0 and u2.FSourceTranType = 85 And v2.FTranType = 2 and v1.FInterID in (Select FInterID From #T400) ",
      "Union All",
      "select Red.FInterID,Red.FTranType,",
      "FInterID=(Select top 1 FSourceInterID From ICStockBillEntry mBlue where  mBlue.FInterID in(Select FSourceInterID From ICStockBillEntry mRed Where  mRed.FInterID= Red.FInterID) and FSourceInterID>0 )",
      ",Red.FDate,Red.FBillNo,Round(RedEntry.FAuxQty,t1.FQtyDecimal) as FAuxQty,",
      "Round(RedEntry.FQty,t1.FQtyDecimal) as FQty, ",
      "RedEntry.FUnitID,RedEntry.FEntryID,Red.FExplanation ",
      "From ICStockBillEntry RedEntry",
      "inner join ICStockBill Red On Red.FInterID=RedEntry.FInterID",
      "Inner Join t_ICItem t1 On t1.FItemID = RedEntry.FItemID",
      "where Red.fcancellation=0 and Red.FRob=-1 and Red.FTranType=2 and RedEntry.FSourceTranType=2 and",
      "Exists(Select 1 From ICStockBillEntry BlueEntry Inner Join ICStockBill Blue On Blue.FInterID=BlueEntry.FInterID where BlueEntry.FSourceTranType=85 and RedEntry.FSourceInterID = Blue.FInterID and Blue.FRob=1 and Blue.FTranType=2 and BlueEntry.FSourceInterID In (Select FInterID From #T400) )",
      "update #T400_1 set FMOBillNO =ICMO.FBillNO,FDateSort= ICMO.FDate From  ICMO where ICMO.FInterID  = #T400_1.FICMOInterID",
      "update #T400_1",
      "set FItemID = v1.FItemID,FStockUnitName = t5.FName",
      "From  #T400_1",
      "Inner Join  ICMO v1 On v1.FInterID = #T400_1.FICMOInterID",
      "Inner Join t_MeasureUnit t5 On t5.FMeasureUnitID=#T400_1.FUnitID",
      "Where 1=1 ",
      "",
      " Update t1 Set t1.FQtyDecimal=t4.FQtyDecimal,",
      " t1.FPriceDecimal=t4.FPriceDecimal,",
      " t1.FCUStockQty = Round(t1.FBSStockQty / IsNull(t7C.FCoefficient, 1),t4.FQtyDecimal)",
      " From #T400_1 t1,t_ICItem t4,t_MeasureUnit t7C",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID",
      "Create Table #Data(...)Insert Into #Data(FInterID,FMOBillNO,FMOBillNOSort,FItemID,FTranType,FDate,FDateSort,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,",
      "FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,",
      "FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,FGroupSort,FQtyDecimal, FPriceDecimal)",
      "select FInterID,FBillNO,FBillNO,FItemID,FTranType,FDate,FDate,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,",
      "FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,",
      "FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,0,FQtyDecimal, FPriceDecimal",
      "From #T400 ",
      "Insert Into #Data(FInterID,FEntryID,FItemID,FTranType,FStockBillNo ,FMOBillNOSort,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,",
      "FBSUnStockUnitName ,FBSUnStockQty ,FCUUnStockUnitName ,FCUUnStockQty,FExp,FDateSort,FGroupSort,FQtyDecimal, FPriceDecimal)",
      "select FStockInterID,FStockEntryID,FItemID,FStockTranType,FStockBillNo,FMOBillNO ,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,",
      "FBSUnStockUnitName , FBSUnStockQty, FCUUnStockUnitName, FCUUnStockQty, FExp,FDateSort,1,FQtyDecimal, FPriceDecimal ",
      "From #T400_1",
      "insert into #Data",
      "(FMOBillNOSort,FDateSort,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FGroupSort,FSumSort)",
      "select FMOBillNOSort,FDateSort=(Select FDate from ICMO where FBillNO=#Data.FMOBillNOSort) , Sum(FPlanAuxQty), Sum(FBSPlanQty), Sum(FCUPlanQty), Sum(FFinishAuxQty), Sum(FBSFinishQty), Sum(FCUFinishQty), Sum(FStockAuxQty), Sum(FBSStockQty), Sum(FCUStockQty), 3, 102",
      "From #Data Group by FMOBillNOSort",
      "update #Data set FItemID =(Select FItemID from ICMO where FBillNO=#Data.FMOBillNOSort) ,FName = t1.FName + '（小计）' From T_ICItem T1  where FGroupSort=3 and T1.FItemID =(select FItemID from ICMO a where a.FBillNO = #Data.FMOBillNOSort)",
      "Insert Into #Data (FNumberSort,FName,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FBSUnStockQty,FCUUnStockQty,FGroupSort,FSumSort,FIsTotal)",
      "select 'zzzzzz','合计',sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty),sum(FStockAuxQty),sum(FBSStockQty),sum(FCUStockQty),sum(FBSUnStockQty),sum(FCUUnStockQty),4,101,1",
      "from #Data where FGroupSort =0 or FGroupSort =1",
      "Update #Data set FBSUnStockQty = FBSPlanQty - isnull(FBSStockQty,0),FCUUnStockQty=FCUPlanQty-isnull(FCUStockQty,0) where FGroupSort in (3,4)",
      " Update t1 Set  t1.FBSPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7C.FName End",
      " From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FUnitID=t7B.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4 ",
      " Update t1 Set  t1.FBSFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7C.FName End",
      " From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FUnitID=t7B.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4 ",
      " Update t1 Set  t1.FBSStockUnitName=Case t1.FBSStockQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUStockUnitName=Case t1.FBSStockQty When 0 Then '' else t7C.FName End",
      " From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7B",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FUnitID=t7B.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4",
      " Update t1 Set  t1.FBSUnStockUnitName=Case t1.FBSUnStockQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUUnStockUnitName=Case t1.FBSUnStockQty When 0 Then '' else t7C.FName End",
      " From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7B",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FUnitID=t7B.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort =3",
      "update #Data set FNumberSort = tb400.FNumberSort,FNameSort=tb400.FName,FModelSort=tb400.FModel,FBatchNoSort=tb400.FBatchNo,FBeginDateSort=tb400.FBeginDate,FPlanFinishDateSort=tb400.FPlanFinishDate,FFinishDateSort=tb400.FFinishDate from #Data d1 left join #T400 tb400 on d1.FGroupSort<4 and d1.FMOBillNOSort=tb400.FBillNo  Update #Data set FFinishRate=Round(FFinishRate,2) where FFinishRate is not null ",
  });
  return text;
}

std::string Collapsed(const std::string& batch) {
  std::string text = CollapseColumnList(batch, " Create Table #T400\r\n");
  text = CollapseColumnList(text, "  Create Table #T400_1\r\n");
  return CollapseColumnList(text, "Create Table #Data(");
}

TEST(Report400Text, MinimalConditionsGiveTheWholeBatch) {
  auto filter = MakeFilter({{"BDate", Variant(DateValue::FromParts(2024, 5, 1, 13, 45))},
                            {"EDate", "2024-05-31"}});
  ExpectSameText(Collapsed(Rpt400Batch1(*filter)),
                 ExpectedBatch1(" And CONVERT(char(10),v1.FDate,120)>='2024-05-01' And "
                                "CONVERT(char(10),v1.FDate,120)<='2024-05-31' And v1.FStatus>0 And "
                                "v1.FCancelLation=0  And v1.FStatus=3 ",
                                std::nullopt));
}

TEST(Report400Text, EveryKeySetWithDepartmentName) {
  auto filter = MakeFilter({
      {"Dept", " O'Brien Works "},
      {"CheckClose", 5},
      {"CheckState", 5},
      {"ExecuteState", "2"},
      {"BBatchNo", " A 1 "},
      {"EOrderBillNo", "SO9"},
      {"BOrderBillNo", "SO1"},
      {"EEmp", "E9"},
      {"BEmp", "E1"},
      {"EDept", "D9"},
      {"BDept", "D1"},
      {"EItemNumber", "2.01"},
      {"BItemNumber", "1.01"},
      {"EFactDate", "2024-07-31"},
      {"BFactDate", "2024-07-01"},
      {"EPlanDate", "2024-06-30"},
      {"BPlanDate", "2024-06-01"},
      {"EWorkDate", "2024-05-31"},
      {"BWorkDate", "2024-05-02"},
      {"EDate", "2024-05-31"},
      {"BDate", "2024-05-01"},
      {"EProductBillNo", "WORK9"},
      {"BProductBillNo", "WORK1"},
      {"bLongNumber", "True"},
  });
  ExpectSameText(
      Collapsed(Rpt400Batch1(*filter)),
      ExpectedBatch1(
          " And CONVERT(char(10),v1.FDate,120)>='2024-05-01'"
          " And CONVERT(char(10),v1.FDate,120)<='2024-05-31'"
          " And CONVERT(char(10),v1.FBeginDate,120)>='2024-05-02'"
          " And CONVERT(char(10),v1.FBeginDate,120)<='2024-05-31'"
          " And CONVERT(char(10),v1.FPlanFinishDate,120)>='2024-06-01'"
          " And CONVERT(char(10),v1.FPlanFinishDate,120)<='2024-06-30'"
          " And CONVERT(char(10),v1.FFinishDate,120)>='2024-07-01'"
          " And CONVERT(char(10),v1.FFinishDate,120)<='2024-07-31'"
          " And t1.FNumber>='1.01' And t1.FNumber<='2.01'"
          " And t3.FNumber>='D1' And t3.FNumber<='D9'"
          " And t4.FNumber>='E1' And t4.FNumber<='E9'"
          " And v2.FBillNO>='SO1' And v2.FBillNO<='SO9'"
          " And v1.FBatchNo like '% A 1 %'"
          " And v1.FFinishDate<v1.FPlanFinishDate "
          " And v1.FCancelLation=0 "
          " And v1.FBillNo>='WORK1' And v1.FBillNo<='WORK9'",
          " and  isnull(t3.FName,'')='O''Brien Works'"));
}

// The task and bill-number conditions: the line after "Where 1 = 1 ".
std::string ConditionLine(const automation::Dictionary& filter) {
  return LineAfter(Rpt400Batch1(filter), "Where 1 = 1 ");
}

constexpr const char* kDates =
    " And CONVERT(char(10),v1.FDate,120)>='2024-05-01' And "
    "CONVERT(char(10),v1.FDate,120)<='2024-05-31'";

TEST(Report400Text, SwitchValues) {
  struct Case {
    std::vector<testing::Entry> keys;
    const char* tail;  // what follows the two date fragments
  };
  const Case cases[] = {
      {{{"CheckState", 1}}, " And v1.FStatus=0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      {{{"CheckState", 5}, {"CheckClose", 5}}, " And v1.FCancelLation=0 "},
      {{{"CheckClose", "1"}}, " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus<>3 "},
      {{{"ExecuteState", ""}}, " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      {{{"ExecuteState", 1}},
       " And v1.FFinishDate=v1.FPlanFinishDate  And v1.FStatus>0 And v1.FCancelLation=0  And "
       "v1.FStatus=3 "},
      {{{"ExecuteState", "3"}, {"CheckClose", 2}},
       " And v1.FFinishDate>v1.FPlanFinishDate  And v1.FStatus>0 And v1.FCancelLation=0 "},
      {{{"ExecuteState", 4}}, " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      // Short numbers on item, department and employee; the order number is not affected.
      {{{"bLongNumber", false}, {"EItemNumber", "X"}, {"BDept", "D"}, {"EEmp", "E"},
        {"EOrderBillNo", "S"}},
       " And t1.FShortNumber<='X' And t3.FShortNumber>='D' And t4.FShortNumber<='E' And "
       "v2.FBillNO<='S' And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      // Empty texts are not given; blanks at the ends of a value are trimmed.
      {{{"BWorkDate", ""}, {"BItemNumber", ""}, {"BEmp", ""}, {"BBatchNo", ""},
        {"BProductBillNo", "  P'1  "}},
       " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3  And v1.FBillNo>='P''1'"},
  };
  for (const Case& c : cases) {
    auto filter = MakeFilter({{"BDate", "2024-05-01"}, {"EDate", "2024-05-31"}});
    for (const auto& [key, value] : c.keys) filter->SetItem(key, value);
    EXPECT_EQ(ConditionLine(*filter), std::string(kDates) + c.tail);
  }
}

TEST(Report400Text, DeptWithAnEmptyValueStillFilters) {
  auto filter = MakeFilter({{"BDate", "2024-05-01"}, {"EDate", "2024-05-31"}, {"Dept", ""}});
  const std::string batch = Rpt400Batch1(*filter);
  EXPECT_EQ(LineAfter(batch, std::string(kDates) +
                                 " And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 "),
            " and  isnull(t3.FName,'')=''");
}

TEST(Report400Text, NonNumericExecuteStateIsATypeMismatch) {
  auto filter = MakeFilter({{"BDate", "2024-05-01"}, {"EDate", "2024-05-31"}, {"ExecuteState", "x"}});
  try {
    Rpt400Batch1(*filter);
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kTypeMismatch);
  }
}

TEST(Report400Text, Batch2FilterAndOrder) {
  constexpr const char* kDrops = "\r\ndrop table #T400\r\ndrop table #T400_1\r\ndrop table #data";
  struct Case {
    std::vector<testing::Entry> keys;
    std::string expected;
  };
  const Case cases[] = {
      {{},
       "select * from #Data  where 1=1  order by FIsTotal,FNumberSort,FDateSort, "
       "FMOBillNOSort,FGroupSort"},
      {{{"DisplayType", 1}, {"Orderby", ""}},
       "select * from #Data  where 1=1  and   FSumSort <>102   order by "
       "FIsTotal,FNumberSort,FDateSort, FMOBillNOSort,FGroupSort"},
      {{{"DisplayType", 2}, {"Orderby", "FNameSort desc"}},
       "select * from #Data  where 1=1  order by FIsTotal,FNameSort desc,FMOBillNOSort,FGroupSort"},
      {{{"DisplayType", "1"}, {"Orderby", "FDateSort,fmobillnosort desc"}},
       "select * from #Data  where 1=1  and   FSumSort <>102   order by "
       "FIsTotal,FDateSort,fmobillnosort desc,FGroupSort"},
      {{{"Orderby", "FMOBILLNOSORT"}},
       "select * from #Data  where 1=1  order by FIsTotal,FMOBILLNOSORT,FGroupSort"},
  };
  for (const Case& c : cases) {
    auto filter = MakeFilter({});
    for (const auto& [key, value] : c.keys) filter->SetItem(key, value);
    EXPECT_EQ(Rpt400Batch2(*filter), c.expected + kDrops);
  }
}

}  // namespace
}  // namespace orv::reports
