#include "reports/production/report401.h"

#include "automation/error.h"
#include "reports/conditions.h"
#include "reports/sql_text.h"

namespace orv::reports {

using automation::Dictionary;

Rpt401Conditions ReadRpt401Conditions(const Dictionary& filter) {
  Rpt401Conditions c;
  AppendIfValue(c.bill, filter, "BBillNo", " And v1.FBillNo>=");
  AppendIfValue(c.bill, filter, "EBillNo", " And v1.FBillNo<=");
  const std::string number = NumberColumn(ReadLongNumber(filter));

  AppendDate(c.main, filter, "BDate", " And CONVERT(char(10),v1.FDate,120)>=");
  AppendDate(c.main, filter, "EDate", " And CONVERT(char(10),v1.FDate,120)<=");
  AppendIfItem(c.main, filter, "BItemNumber", " And t1." + number + ">=");
  AppendIfItem(c.main, filter, "EItemNumber", " And t1." + number + "<=");
  AppendIfValue(c.main, filter, "BDept", " And TD." + number + ">=");
  AppendIfValue(c.main, filter, "EDept", " And TD." + number + "<=");
  AppendIfValue(c.main, filter, "BEmp", " And TE." + number + ">=");
  AppendIfValue(c.main, filter, "EEmp", " And TE." + number + "<=");
  AppendLikeIfValue(c.main, filter, "BBatchNo", " And v1.FBatchNo like ");
  AppendStatusSwitch(c.main, filter, "CheckState",
                     {{0, " And v1.FStatus>0 And v1.FCancelLation=0 "},
                      {1, " And v1.FStatus=0 And v1.FCancelLation=0 "}},
                     " And v1.FCancelLation=0 ");
  AppendStatusSwitch(c.main, filter, "CheckClose",
                     {{0, " And v1.FStatus=3 "}, {1, " And v1.FStatus<>3 "}}, "");
  return c;
}

std::string Rpt401Batch1(const Rpt401Conditions& conditions) {
  std::string sql;
  AppendLines(sql, {
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
  });
  AppendLine(sql, "Where 1=1 " + conditions.main + conditions.bill);
  AppendLines(sql, {"", "Order By v1.FDate,v1.FInterID,v1.FItemID", ""});
  return sql;
}

std::string Rpt401Batch1(const Dictionary& filter) {
  return Rpt401Batch1(ReadRpt401Conditions(filter));
}

std::string Rpt401Batch2(const Dictionary& dsql) {
  std::string sql;
  AppendLine(sql, automation::CStr(dsql.Item("Select")));
  AppendLine(sql, automation::CStr(dsql.Item("Groupby")));
  AppendLines(sql, {
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
  });
  // The client's closing SELECT follows the precision update on the same line, with nothing
  // between them; a client fragment starts with a blank or a line break of its own.
  sql.append(
      "Update #Data Set FQtyDecimal =t1.FQtyDecimal ,FPriceDecimal=t1.FPriceDecimal From t_IcItem t1 Where t1.FNumber = #Data.FItemNumber");
  sql.append(automation::CStr(dsql.Item("EndSel")));
  sql = ReplaceAll(sql, "##ITEMFILTER##", " And " + automation::CStr(dsql.Item("ITEMFILTER")));
  sql.append(kCrLf);
  AppendLine(sql, "If Object_ID('tempdb..#T401') Is Not Null Drop Table #T401");
  return sql;
}

std::shared_ptr<ado::Recordset> RunRpt401(ReportContext& ctx, const Dictionary& dsql,
                                          const Dictionary* filter) {
  if (filter == nullptr) automation::Raise(automation::err::kObjectNotSet);
  ctx.Step("task lines");
  ctx.connection->Execute(Rpt401Batch1(*filter));
  ctx.Step("grouping with the client's SQL");
  return ctx.connection->Execute(Rpt401Batch2(dsql));
}

}  // namespace orv::reports
