// Report 406: material usage per production task order. One batch builds #Data (a product row
// per task order, its material lines with standard, planned, actual and difference quantities,
// a subtotal per task order and a grand total); a final SELECT returns it and drops it.
#include "reports/production/report406.h"

#include "reports/conditions.h"
#include "reports/sql_text.h"

namespace orv::reports {

using automation::Dictionary;

Rpt406Conditions ReadRpt406Conditions(const Dictionary& filter) {
  std::string number = NumberColumn(ReadLongNumber(filter));
  Rpt406Conditions c;
  std::string& w = c.where;
  AppendIfValue(w, filter, "BMOBillNo", " And v1.FBillNo>=");
  AppendIfValue(w, filter, "EMOBillNo", " And v1.FBillNo<=");
  // The switch is read a second time before the dates, with the same outcome.
  number = NumberColumn(ReadLongNumber(filter));
  AppendDate(w, filter, "BDate", " And CONVERT(char(10),v1.FDate,120)>=");
  AppendDate(w, filter, "EDate", " And CONVERT(char(10),v1.FDate,120)<=");
  AppendIfItem(w, filter, "BItemNumber", " And t1." + number + ">=");
  AppendIfItem(w, filter, "EItemNumber", " And t1." + number + "<=");
  AppendIfValue(w, filter, "BDeptNumber", " And TD." + number + ">=");
  AppendIfValue(w, filter, "EDeptNumber", " And TD." + number + "<=");
  AppendIfValue(w, filter, "BEmpNumber", " And TE." + number + ">=");
  AppendIfValue(w, filter, "EEmpNumber", " And TE." + number + "<=");
  AppendStatusSwitch(w, filter, "CheckState",
                     {{0, " And v1.FStatus>0 And v1.FCancelLation=0 "},
                      {1, " And v1.FStatus=0 And v1.FCancelLation=0 "}},
                     " And v1.FCancelLation=0 ");
  AppendStatusSwitch(w, filter, "CheckClose",
                     {{0, " And v1.FStatus=3 "}, {1, " And v1.FStatus<>3 "}}, "");
  c.hide_subtotals = IntegerKeyEquals(filter, "DisplayType", 1);
  return c;
}

std::string Rpt406Batch(const Rpt406Conditions& conditions) {
  std::string sql;
  // The table.
  AppendLines(sql, {
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
  });

  // Product rows of the selected task orders.
  AppendLines(sql, {
      "Insert Into #Data (FInterID,FTranType,FPItemID,Fdate,FdateSort ,FMOBillNO,FMOBillNOSort ,FPNumber,FPNumberSort ,FPName,FPShortNumber ,FPModel ,FPAuxPropName,FBatchNo,",
      "FPlanUnitID ,FPlanUnitName ,FPlanAuxQty  ,FBSPlanQty  ,",
      "FFinishAuxQty ,FBSFinishQty  ,FFinishRate,FDeptName  ,FEmpName , FExp,FQtyDecimal,FPriceDecimal)",
      "Select v1.FInterID,v1.Ftrantype,v1.FItemID,v1.FDate,v1.FDate,v1.FBillNO,v1.FBillNO,",
      "t1.FNumber,t1.FNumber,t1.FName,t1.FShortNumber,t1.FModel,ta.FName,v1.FBatchNo,",
      "v1.FUnitID,u1.FName as FUnitName,v1.FAuxQty ,v1.FQty,",
      "v1.FAuxFinishQty ,v1.FFinishQty,Case v1.FFinishRate when 0 then null else  v1.FFinishRate end,td.FName,te.FName,v1.FExp, ",
      "t1.FQtyDecimal,t1.FPriceDecimal ",
      "From ICMO v1",
      "Inner Join t_ICItem t1 On v1.FItemID=t1.FItemID",
      "Inner Join t_MeasureUnit u1 On u1.FMeasureUnitID = v1.FUnitID",
      "Left Join t_Department td On v1.FDeptID=td.FItemID",
      "Left Join t_Emp te On v1.FEmpID=te.FItemID",
      "Left Join t_AuxItem ta On v1.FAuxPropID=ta.FItemID",
  });
  AppendLine(sql, " where 1=1 " + conditions.where);

  // Base and stock units of the planned and finished product quantity.
  AppendLines(sql, {
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
  });

  // Material rows of the listed task orders.
  AppendLines(sql, {
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
  });

  // Units of the standard, planned, actual and difference quantities.
  AppendLines(sql, {
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
  });

  // Material quantities to the material's precision.
  AppendLines(sql, {
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
  });

  // Situation text and difference rate of the material rows.
  AppendLines(sql, {
      "update #Data set FSituation = '未完工' where isnull(FSituation,'0')<>'3' and FItemID > 0",
      "update #Data set FSituation = (case  when FDiffAuxQty>0 then '超额' when FDiffAuxQty=0 then '正常' when FDiffAuxQty<0 then '节约' else '' end) where FSituation='3' and FItemID > 0",
      "update #Data set FDiffRate = Round(cast(FBSDiffQty as decimal(23,10)) / cast(FBSPlanDQty as decimal(23,10)) * 100,2) where FBSDiffQty <>0 and FBSPlanDQty<>0 ",
  });

  // One subtotal per task order, named after its product.
  AppendLines(sql, {
      "insert into #Data",
      "(FMOBillNOSort,FDateSort,FPNumberSort,FPlanAuxQty ,FBSPlanQty ,FCUPlanQty ,FFinishAuxQty ,FBSFinishQty ,FCUFinishQty  ,FStandardAuxQty ,FBSStandardQty ,FCUStandardQty ,FPlanDAuxQty ,FBSPlanDQty ,FCUPlanDQty ,FfactAuxQty ,",
      "FBSfactQty ,FCUfactQty ,FDiffAuxQty ,FBSDiffQty ,FCUDiffQty  ,FGroupSort ,FSumSort)",
      "select FMOBillNOSort,FDate=(Select FDate from ICMO where FBillNO=#Data.FMOBillNOSort),FPNumberSort=(Select top 1 FNumber From  ICMO v1 Inner Join t_ICItem t1 on v1.FItemID=t1.FItemID  Where v1.FBillNO =#Data.FMOBillNOSort ),sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty ),sum(FStandardAuxQty),sum(FBSStandardQty),sum(FCUStandardQty),sum(FPlanDAuxQty),sum(FBSPlanDQty),sum(FCUPlanDQty),sum(FfactAuxQty),sum("
      "FBSfactQty),sum(FCUfactQty),sum(FDiffAuxQty),sum(FBSDiffQty),sum(FCUDiffQty),3, 102"
      "From #Data Group by FMOBillNOSort",  // three pieces, no blank before From
      "update #Data set FPName = t1.FName + '（小计）' From T_ICItem T1  where FGroupSort=3 and T1.FNumber = #Data.FPNumberSort",
  });

  // The grand total over product and material rows.
  AppendLines(sql, {
      "Insert Into #Data (FPNumberSort,FPName,FPlanAuxQty ,FBSPlanQty ,FCUPlanQty ,FFinishAuxQty ,FBSFinishQty ,FCUFinishQty  ,FStandardAuxQty ,FBSStandardQty ,FCUStandardQty ,FPlanDAuxQty ,FBSPlanDQty ,FCUPlanDQty ,FfactAuxQty ,",
      "FBSfactQty ,FCUfactQty ,FDiffAuxQty ,FBSDiffQty ,FCUDiffQty  ,FGroupSort ,FSumSort)",
      "select 'zzzzzz','合计',sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty ),sum(FStandardAuxQty),sum(FBSStandardQty),sum(FCUStandardQty),sum(FPlanDAuxQty),sum(FBSPlanDQty),sum(FCUPlanDQty),sum(FfactAuxQty),sum(",
      "FBSfactQty),sum(FCUfactQty),sum(FDiffAuxQty),sum(FBSDiffQty),sum(FCUDiffQty),4,101",
      "from #Data where FGroupSort in (0,1) ",
  });

  // Finish rate to 2 places, 0 becomes Null.
  AppendLines(sql, {
      "  Update #Data set FFinishRate=Round(FFinishRate,2) where FFinishRate is not null ",
      "  Update #Data set FFinishRate=Null where FFinishRate=0 ",
  });
  return sql;
}

std::string Rpt406Batch(const Dictionary& filter) { return Rpt406Batch(ReadRpt406Conditions(filter)); }

std::string Rpt406FinalSelect(bool hide_subtotals) {
  std::string sql = "select * from #Data ";
  if (hide_subtotals) sql.append(" where FSumSort<>102 ");
  sql.append(" order by FPNumberSort,FDateSort,FMOBillNOSort,FGroupSort");
  sql.append(kCrLf);
  sql.append("drop table #data");
  return sql;
}

std::string Rpt406FinalSelect(const Dictionary& filter) {
  return Rpt406FinalSelect(IntegerKeyEquals(filter, "DisplayType", 1));
}

std::shared_ptr<ado::Recordset> RunRpt406(ReportContext& ctx, const Dictionary& filter) {
  const Rpt406Conditions conditions = ReadRpt406Conditions(filter);
  ctx.Step("material usage per task order");
  ctx.connection->Execute(Rpt406Batch(conditions));
  ctx.Step("reading the report table");
  return ctx.connection->Execute(Rpt406FinalSelect(conditions.hide_subtotals));
}

}  // namespace orv::reports
