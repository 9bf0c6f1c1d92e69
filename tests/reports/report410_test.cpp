// Report 410 text: batch 1 around the alarm day count and the condition text, every key and
// switch value of the conditions, and batch 2.
#include <gtest/gtest.h>

#include "automation/error.h"
#include "reports/production/report410.h"
#include "sql_lines.h"
#include "table_columns.h"

namespace orv::reports {
namespace {

using automation::Variant;
using testing::CollapseColumnList;
using testing::ExpectSameText;
using testing::Lines;
using testing::MakeFilter;

// Batch 1 with the column list of #Data collapsed to "(...)"; `condition_line` is the line
// that holds the condition text and the subtotal comment.
std::string ExpectedBatch1(const std::string& days, const std::string& condition_line) {
  const char* kSumInsert =
      "Insert Into #Data (FPeriod,FPNumberSort,FPNumber,FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty  ,FSumSort)";
  const char* kRateUpdate =
      "update #Data set  FFinishRate=Round((FAuxFinishQty/FAuxPlanQty)*100,4),FUnFinishRate=Round((FUnFinishAuxQty/FAuxPlanQty ) * 100,4)";
  return Lines({
             "IF  object_id('tempdb..#Data') is not null drop table #Data;Set Nocount ON",
             "Create Table #Data(...)",
             "Insert Into #Data",
             "(FInterID,FTranType ,FPItemID ,FMOBillNO ,FPNumber,FPNumberSort ,FPName ,FPShortNumber ,FPModel ,FBatchNo,",
             "FPAuxPropName ,FPAuxUnitID,FPUnitID ,FPAuxUnitName,FPUnitName ,FDate ,FPlanDate ,FFinishDate ,",
             "FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty ,",
             "FFinishRate ,FUnFinishRate,FClosed,FDept,FEmp,FExp,FPeriod,FQtyDecimal,FPriceDecimal)",
             "Select v1.FInterID,v1.FTranType,v1.FItemID,v1.FBillNO,t1.FNumber,t1.FNumber,t1.FName,t1.FShortNumber,t1.FModel,v1.FBatchNo,",
             "ta.FName,v1.FUnitID,t1.FUnitID,",
             "u1.FName as FPAuxUnitName,",
             "u2.FName as FPUnitName,",
             "v1.FDate,v1.FPlanFinishDate,v1.FFinishDate,",
             "",
             "Round(v1.FAuxQty,t1.FQtyDecimal) as FAuxQty,",
             "Round(v1.FQty,t1.FQtyDecimal) as FQty, ",
             "Round(v1.FAuxFinishQty,t1.FQtyDecimal) as FAuxFinishQty,",
             "Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,",
             "Round(v1.FAuxQty-v1.FAuxFinishQty,t1.FQtyDecimal) as FUnFinishAuxQty, ",
             "Round(v1.FQty -v1.FFinishQty,t1.FQtyDecimal) as FUnFinishQty, ",
             "Round((v1.FAuxFinishQty/v1.FAuxQty)*100,t1.FQtyDecimal),",
             "Round(((v1.FAuxQty-v1.FAuxFinishQty)/v1.FAuxQty ) * 100,t1.FQtyDecimal),",
             "case isnull(v1.FStatus,0) when 1 then '已审核' when 2 then '已审核' when 3 then '关闭' when 0 then '未审核' else '' end,td.FName,te.FName,v1.FExp,FPeriod=(Year(v1.FDate)*100 + Month(v1.FDate)), ",
             "t1.FQtyDecimal,t1.FPriceDecimal ",
             "From ICMO v1 ",
             "Inner Join t_ICItem t1 On v1.FItemID = t1.FItemID ",
             "Inner Join t_MeasureUnit u1 On u1.FMeasureUnitID = v1.FUnitID ",
             "Inner Join t_MeasureUnit u2 On u2.FMeasureUnitID = t1.FUnitID ",
             "Left Join t_AuxItem ta On v1.FAuxPropID = ta.FItemID ",
             "Left Join t_Emp te On v1.FEmpID = te.FItemID ",
             "Left Join t_Department td On v1.FDeptID = td.FItemID ",
             "Where v1.FFinishRate < 100 AND datediff(DAY,getdate(),v1.FPlanFinishDate) <=" + days,
             condition_line,
             kSumInsert,
             "select FPeriod,FPNumber,'小计',sum(FAuxPlanQty),sum(FPlanQty),sum(FAuxFinishQty),sum(FFinishQty),sum(FUnFinishAuxQty),sum(FUnFinishQty),102 From #Data Group by FPeriod,FPNumber ",
             kRateUpdate,
             "Where FSumSort = 102",
             "--合计",
             kSumInsert,
             "select FPeriod,CHAR(255),'合计',sum(FAuxPlanQty),sum(FPlanQty),sum(FAuxFinishQty),sum(FFinishQty),sum(FUnFinishAuxQty),sum(FUnFinishQty),101 From #Data Where FSumSort = 0  Group by FPeriod  ",
             kRateUpdate,
             "Where FSumSort = 101",
             "Update #Data Set FFinishRateStr=cast(FFinishRate as varchar(50)) + '',FUnFinishRateStr=cast(FUnFinishRate as varchar(50)) + '' ",
         }) +
         "Update #Data set FQtyDecimal=4,FPriceDecimal=4 where FSumSort=102 or FSumSort=101";
}

std::string CollapsedData(const std::string& batch) {
  return CollapseColumnList(batch, "Create Table #Data(");
}

constexpr const char* kIn2024 =
    " And CONVERT(char(10),v1.FBeginDate,120)>='2024-01-01'"
    " And CONVERT(char(10),v1.FBeginDate,120)<='2024-12-31'"
    " And CONVERT(char(10),v1.FPlanFinishDate,120)>='2024-02-01'"
    " And CONVERT(char(10),v1.FPlanFinishDate,120)<='2024-02-29'";

std::shared_ptr<automation::Dictionary> DatesFilter() {
  return MakeFilter({{"BWorkDate", "2024-01-01"},
                     {"EWorkDate", "2024-12-31"},
                     {"BFinishDate", "2024-02-01"},
                     {"EFinishDate", "2024-02-29"}});
}

TEST(Report410Text, MinimalConditionsGiveTheWholeBatch) {
  ExpectSameText(CollapsedData(Rpt410Batch1(ReadRpt410Conditions(*DatesFilter()), 7)),
                 ExpectedBatch1("7", std::string(kIn2024) + " And v1.FCancelLation=0 --插入小计"));
}

TEST(Report410Text, EveryKeySetWithNoAlarmDays) {
  auto filter = DatesFilter();
  for (const auto& [key, value] : std::vector<testing::Entry>{
           {"CheckClose", 2},
           {"CheckState", 1},
           {"EEmpNumber", "E9"},
           {"BEmpNumber", "E1"},
           {"EDeptNumber", "D9"},
           {"BDeptNumber", "D1"},
           {"EItemNumber", "9"},
           {"BItemNumber", "1"},
           {"EMOBillNo", " W'9 "},
           {"BMOBillNo", "W1"},
           {"bLongNumber", 1},
       }) {
    filter->SetItem(key, value);
  }
  ExpectSameText(
      CollapsedData(Rpt410Batch1(ReadRpt410Conditions(*filter), 0)),
      ExpectedBatch1("0", " And v1.FBillNo>='W1' And v1.FBillNo<='W''9'" + std::string(kIn2024) +
                              " And t1.FNumber>='1' And t1.FNumber<='9'"
                              " And TD.FNumber>='D1' And TD.FNumber<='D9'"
                              " And TE.FNumber>='E1' And TE.FNumber<='E9'"
                              " And v1.FStatus>0 And v1.FCancelLation=0 "
                              " And v1.FStatus<>3 --插入小计"));
}

TEST(Report410Text, SwitchValuesAndNumberColumns) {
  struct Case {
    std::vector<testing::Entry> keys;
    const char* tail;  // what follows the four date fragments
  };
  const Case cases[] = {
      {{}, " And v1.FCancelLation=0 "},
      {{{"CheckState", 0}, {"CheckClose", 0}}, " And v1.FCancelLation=0 "},
      {{{"CheckState", "2"}, {"CheckClose", "1"}},
       " And v1.FStatus=0 And v1.FCancelLation=0  And v1.FStatus=3 "},
      {{{"CheckState", 3}, {"CheckClose", 3}}, " And v1.FCancelLation=0 "},
      {{{"bLongNumber", false}, {"BItemNumber", "A"}, {"EDeptNumber", "D"}, {"BEmpNumber", "E"}},
       " And t1.FShortNumber>='A' And TD.FShortNumber<='D' And TE.FShortNumber>='E' And "
       "v1.FCancelLation=0 "},
      {{{"BItemNumber", ""}, {"BDeptNumber", ""}, {"BMOBillNo", ""}}, " And v1.FCancelLation=0 "},
  };
  for (const Case& c : cases) {
    auto filter = DatesFilter();
    for (const auto& [key, value] : c.keys) filter->SetItem(key, value);
    EXPECT_EQ(ReadRpt410Conditions(*filter), std::string(kIn2024) + c.tail);
  }
}

TEST(Report410Text, AbsentDatesCompareWithEmptyText) {
  EXPECT_EQ(ReadRpt410Conditions(*MakeFilter({})),
            " And CONVERT(char(10),v1.FBeginDate,120)>='' And "
            "CONVERT(char(10),v1.FBeginDate,120)<='' And "
            "CONVERT(char(10),v1.FPlanFinishDate,120)>='' And "
            "CONVERT(char(10),v1.FPlanFinishDate,120)<='' And v1.FCancelLation=0 ");
}

TEST(Report410Text, NegativeAlarmDays) {
  EXPECT_NE(Rpt410Batch1("", -3).find("v1.FPlanFinishDate) <=-3\r\n--插入小计\r\n"),
            std::string::npos);
}

TEST(Report410Text, Batch2AndSettingQuery) {
  EXPECT_EQ(Rpt410Batch2(),
            "select * from #Data order by FPeriod,FPNumberSort,FSumSort,FDate,FMOBillNO \r\n"
            "drop table #data");
  EXPECT_STREQ(kRpt410SettingQuery,
               " SELECT FValue FROM dbo.t_SystemProfile WHERE FCategory='IC' AND "
               "FKey='ManufactureAlarmDateCount' ");
}

}  // namespace
}  // namespace orv::reports
