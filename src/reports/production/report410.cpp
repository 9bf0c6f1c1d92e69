#include "reports/production/report410.h"

#include "reports/conditions.h"
#include "reports/sql_text.h"

namespace orv::reports {

using automation::Dictionary;

const char* const kRpt410SettingQuery =
    " SELECT FValue FROM dbo.t_SystemProfile WHERE FCategory='IC' AND "
    "FKey='ManufactureAlarmDateCount' ";

std::string ReadRpt410Conditions(const Dictionary& filter) {
  const std::string number = NumberColumn(ReadLongNumber(filter));
  std::string c;
  AppendIfValue(c, filter, "BMOBillNo", " And v1.FBillNo>=");
  AppendIfValue(c, filter, "EMOBillNo", " And v1.FBillNo<=");
  AppendDate(c, filter, "BWorkDate", " And CONVERT(char(10),v1.FBeginDate,120)>=");
  AppendDate(c, filter, "EWorkDate", " And CONVERT(char(10),v1.FBeginDate,120)<=");
  AppendDate(c, filter, "BFinishDate", " And CONVERT(char(10),v1.FPlanFinishDate,120)>=");
  AppendDate(c, filter, "EFinishDate", " And CONVERT(char(10),v1.FPlanFinishDate,120)<=");
  AppendIfItem(c, filter, "BItemNumber", " And t1." + number + ">=");
  AppendIfItem(c, filter, "EItemNumber", " And t1." + number + "<=");
  AppendIfValue(c, filter, "BDeptNumber", " And TD." + number + ">=");
  AppendIfValue(c, filter, "EDeptNumber", " And TD." + number + "<=");
  AppendIfValue(c, filter, "BEmpNumber", " And TE." + number + ">=");
  AppendIfValue(c, filter, "EEmpNumber", " And TE." + number + "<=");
  AppendStatusSwitch(c, filter, "CheckState",
                     {{1, " And v1.FStatus>0 And v1.FCancelLation=0 "},
                      {2, " And v1.FStatus=0 And v1.FCancelLation=0 "}},
                     " And v1.FCancelLation=0 ");
  AppendStatusSwitch(c, filter, "CheckClose",
                     {{1, " And v1.FStatus=3 "}, {2, " And v1.FStatus<>3 "}}, "");
  return c;
}

std::string Rpt410Batch1(const std::string& conditions, int32_t alarm_days) {
  std::string sql;
  AppendLines(sql, {
      "IF  object_id('tempdb..#Data') is not null drop table #Data;Set Nocount ON",
      "Create Table #Data(",
      "FInterID int null default 0,FTranType int,",
      "FPItemID int null,",
      "FMOBillNO Varchar(355) Null,",
      "FPNumber Varchar(355) Null,FPNumberSort Varchar(355) Null,",
      "FPName Varchar(355) Null,",
      "FPShortNumber Varchar(355) Null,",
      "FPModel Varchar(355) Null,",
      "FBatchNo Varchar(200) Null,",
      "FPAuxPropName Varchar(355) Null,",
      "FPAuxUnitID int null,FPUnitName varchar(355),",
      "FPUnitID int null,FPAuxUnitName varchar(355),",
      "FDate datetime,",
      "FPlanDate datetime,",
      "FFinishDate datetime,",
      "FAuxPlanQty Decimal(23,10),",
      "FPlanQty Decimal(23,10),",
      "FAuxFinishQty Decimal(23,10),",
      "FFinishQty Decimal(23,10),",
      "FUnFinishAuxQty Decimal(23,10),",
      "FUnFinishQty Decimal(23,10),FQtyDecimal int,FPriceDecimal int,",
      "FFinishRate Decimal(10,2),FFinishRateStr varchar(50),",
      "FUnFinishRate Decimal(10,2),FUnFinishRateStr varchar(50),FClosed varchar(355),FDept varchar(50),FEmp varchar(50),FExp varchar(500),",
      "FSumSort int default 0,FPeriod int)",
  });

  // Task-order rows: unfinished task orders due within the alarm days.
  AppendLines(sql, {
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
  });
  AppendLine(sql,
             "Where v1.FFinishRate < 100 AND datediff(DAY,getdate(),v1.FPlanFinishDate) <=" +
                 std::to_string(alarm_days));
  // The condition text shares its line with the comment that opens the subtotals.
  sql.append(conditions);

  const char* kSumInsert =
      "Insert Into #Data (FPeriod,FPNumberSort,FPNumber,FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty  ,FSumSort)";
  const char* kRateUpdate =
      "update #Data set  FFinishRate=Round((FAuxFinishQty/FAuxPlanQty)*100,4),FUnFinishRate=Round((FUnFinishAuxQty/FAuxPlanQty ) * 100,4)";
  AppendLines(sql, {
      "--插入小计",
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
  });
  sql.append("Update #Data set FQtyDecimal=4,FPriceDecimal=4 where FSumSort=102 or FSumSort=101");
  return sql;
}

std::string Rpt410Batch2() {
  std::string sql;
  AppendLine(sql, "select * from #Data order by FPeriod,FPNumberSort,FSumSort,FDate,FMOBillNO ");
  sql.append("drop table #data");
  return sql;
}

std::shared_ptr<ado::Recordset> RunRpt410(ReportContext& ctx, const Dictionary& filter) {
  int32_t alarm_days = 0;
  {
    ctx.Step("alarm day count");
    std::shared_ptr<ado::Recordset> setting = ctx.connection->Execute(kRpt410SettingQuery);
    if (setting && setting->RecordCount() > 0)
      alarm_days = automation::CLng(setting->Fields(0).Value());
  }
  const std::string conditions = ReadRpt410Conditions(filter);
  ctx.Step("task orders due");
  ctx.connection->Execute(Rpt410Batch1(conditions, alarm_days));
  ctx.Step("reading the report table");
  return ctx.connection->Execute(Rpt410Batch2());
}

}  // namespace orv::reports
