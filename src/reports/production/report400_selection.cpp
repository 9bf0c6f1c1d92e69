// Report 400, task-order selection: the Filter conditions, the guards, #T400 and its insert
// and quantity conversions, the assembly of batch 1, and the report body.
#include "automation/error.h"
#include "reports/conditions.h"
#include "reports/production/report400.h"
#include "reports/sql_text.h"

namespace orv::reports {

using automation::Dictionary;
using automation::Variant;

namespace {

// ExecuteState: tested as a text, then compared with 1, 2 and 3 (a numeric text equals its
// number); other values add nothing.
void AppendExecuteState(std::string& out, const Dictionary& filter) {
  if (!IsGiven(filter.GetValue("ExecuteState", Variant(""))))
    return;
  const Variant value = filter.Item("ExecuteState");
  if (automation::EqualsInteger(value, 1)) {
    out.append(" And v1.FFinishDate=v1.FPlanFinishDate ");
  } else if (automation::EqualsInteger(value, 2)) {
    out.append(" And v1.FFinishDate<v1.FPlanFinishDate ");
  } else if (automation::EqualsInteger(value, 3)) {
    out.append(" And v1.FFinishDate>v1.FPlanFinishDate ");
  }
}

}  // namespace

Rpt400Conditions ReadRpt400Conditions(const Dictionary& filter) {
  const std::string number = NumberColumn(ReadLongNumber(filter));
  Rpt400Conditions c;
  std::string& t = c.task;
  AppendIfValue(c.bill, filter, "BProductBillNo", " And v1.FBillNo>=");
  AppendIfValue(c.bill, filter, "EProductBillNo", " And v1.FBillNo<=");
  AppendDate(t, filter, "BDate", " And CONVERT(char(10),v1.FDate,120)>=");
  AppendDate(t, filter, "EDate", " And CONVERT(char(10),v1.FDate,120)<=");
  AppendDateIfValue(t, filter, "BWorkDate", " And CONVERT(char(10),v1.FBeginDate,120)>=");
  AppendDateIfValue(t, filter, "EWorkDate", " And CONVERT(char(10),v1.FBeginDate,120)<=");
  AppendDateIfValue(t, filter, "BPlanDate", " And CONVERT(char(10),v1.FPlanFinishDate,120)>=");
  AppendDateIfValue(t, filter, "EPlanDate", " And CONVERT(char(10),v1.FPlanFinishDate,120)<=");
  AppendDateIfValue(t, filter, "BFactDate", " And CONVERT(char(10),v1.FFinishDate,120)>=");
  AppendDateIfValue(t, filter, "EFactDate", " And CONVERT(char(10),v1.FFinishDate,120)<=");
  AppendIfItem(t, filter, "BItemNumber", " And t1." + number + ">=");
  AppendIfItem(t, filter, "EItemNumber", " And t1." + number + "<=");
  AppendIfValue(t, filter, "BDept", " And t3." + number + ">=");
  AppendIfValue(t, filter, "EDept", " And t3." + number + "<=");
  AppendIfValue(t, filter, "BEmp", " And t4." + number + ">=");
  AppendIfValue(t, filter, "EEmp", " And t4." + number + "<=");
  AppendIfValue(t, filter, "BOrderBillNo", " And v2.FBillNO>=");
  AppendIfValue(t, filter, "EOrderBillNo", " And v2.FBillNO<=");
  AppendLikeIfValue(t, filter, "BBatchNo", " And v1.FBatchNo like ");
  AppendExecuteState(t, filter);
  AppendStatusSwitch(t, filter, "CheckState",
                     {{0, " And v1.FStatus>0 And v1.FCancelLation=0 "},
                      {1, " And v1.FStatus=0 And v1.FCancelLation=0 "}},
                     " And v1.FCancelLation=0 ");
  AppendStatusSwitch(t, filter, "CheckClose",
                     {{0, " And v1.FStatus=3 "}, {1, " And v1.FStatus<>3 "}}, "");
  if (filter.Exists("Dept")) c.dept = QuotedItem(filter, "Dept");
  return c;
}

std::string Rpt400TaskOrderStatements(const Rpt400Conditions& conditions) {
  std::string sql;
  AppendLine(sql,
             "If object_id('tempdb..#T400') is not null drop table #T400;"
             "If object_id('tempdb..#T400_1') is not null drop table #T400_1;"
             "If object_id('tempdb..#Data') is not null drop table #Data;");
  AppendLines(sql, {
      " Create Table #T400",
      "(FInterID int Null,",
      "FTranType SmallInt Null,",
      "FItemID int Null,",
      "FBillNo Varchar(355) Null,",
      "FDate DateTime Null,",
      "FNumber Varchar(355) Null,FNumberSort varchar(255),",
      "FShortNumber Varchar(255) Null,",
      "FName Varchar(355) Null,",
      "FModel Varchar(355) Null,",
      "FAuxPropName Varchar(255) Null,",
      "FBatchNo Varchar(200) Null,",
      "FPlanUnitID int Null,",
      "FPlanUnitName Varchar(100) Null,",
      "FBSPlanUnitName Varchar(100) Null,",
      "FCUPlanUnitName Varchar(100) Null,",
      "FPlanAuxQty Decimal(23,10) Not Null Default 0,",
      "FBSPlanQty Decimal(23,10) Not Null Default 0,",
      "FCUPlanQty Decimal(23,10) Not Null Default 0,",
      "FBeginDate DateTime Null,",
      "FFinishUnitID int Null,",
      "FFinishUnitName Varchar(100) Null,",
      "FBSFinishUnitName Varchar(100) Null,",
      "FCUFinishUnitName Varchar(100) Null,",
      "FFinishAuxQty Decimal(23,10) Not Null Default 0,",
      "FBSFinishQty Decimal(23,10) Not Null Default 0,",
      "FCUFinishQty Decimal(23,10) Not Null Default 0,",
      "FPlanFinishDate DateTime Null,",
      "FFinishDate DateTime Null,",
      "FFinishRate Decimal(10,2) Not Null Default 0,",
      "FOrderBillNo Varchar(100) Null,",
      "FDeptName Varchar(355) Null,",
      "FEmpName Varchar(100) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,",
      "FSumSort smallint Not Null default 0,FExp varchar(355) null)",
      "",
  });

  // Task-order insert.
  AppendLines(sql, {
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
  AppendLine(sql, conditions.task + conditions.bill);
  if (conditions.dept) AppendLine(sql, " and  isnull(t3.FName,'')=" + *conditions.dept);
  AppendLine(sql, "Order By v1.FDate,v1.FInterID,v1.FItemID");

  // Plan quantity in base and stock unit.
  sql.append(" Update t1 Set  ");
  AppendLines(sql, {
      "        t1.FBSPlanQty=Round(t1.FPlanAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),",
      "        t1.FCUPlanQty =Round(Cast(t1.FPlanAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0))as Decimal(23,10)) / t7C.FCoefficient,t4.FQtyDecimal)",
      " From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      " Where t1.FItemID=t4.FItemID And",
      "       t1.FPlanUnitID=t7Q.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID",
  });
  // Finished quantity in base and stock unit.
  AppendLines(sql, {
      " Update t1 Set ",
      "        t1.FFinishUnitName = Case t1.FFinishAuxQty When 0 Then '' else t7Q.FName End,",
      "        t1.FBSFinishQty=Round(t1.FFinishAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),",
      "        t1.FCUFinishQty = Round(t1.FFinishAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0)) / t7C.FCoefficient,t4.FQtyDecimal)",
      " From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q",
      " Where t1.FItemID=t4.FItemID And",
      "       t1.FFinishUnitID=t7Q.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID",
  });
  return sql;
}

std::string Rpt400Batch1(const Rpt400Conditions& conditions) {
  std::string sql = Rpt400TaskOrderStatements(conditions);
  sql.append(kCrLf);
  AppendLine(sql, " Set NoCount On  ");
  sql.append(Rpt400StockInStatements());
  sql.append(Rpt400ReportTableStatements());
  return sql;
}

std::string Rpt400Batch1(const Dictionary& filter) {
  return Rpt400Batch1(ReadRpt400Conditions(filter));
}

std::shared_ptr<ado::Recordset> RunRpt400(ReportContext& ctx, const Dictionary& filter) {
  ctx.Step("task orders, receipts and totals");
  ctx.connection->Execute(Rpt400Batch1(filter));
  ctx.Step("reading the report table");
  return ctx.connection->Execute(Rpt400Batch2(filter));
}

}  // namespace orv::reports
