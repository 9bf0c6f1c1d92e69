// Report 400, receipts and report rows: #T400_1 (product receipts of the selected task
// orders), the report table #Data with its subtotal and total rows, and batch 2.
#include "reports/conditions.h"
#include "reports/production/report400.h"
#include "reports/sql_text.h"

namespace orv::reports {

using automation::Dictionary;
using automation::Variant;

std::string Rpt400StockInStatements() {
  std::string sql;
  AppendLines(sql, {
      "  Create Table #T400_1",
      "  (  FICMOInterID     int Null,FMOBillNO varchar(100),",
      "  FStockInterID int Null,",
      "  FStockTranType SmallInt Null,",
      "  FStockDate DateTime Null,",
      "  FStockBillNo Varchar(355) Null,",
      "  FItemID int Null,",
      "  FStockAuxQty Decimal(23,10) Not Null Default 0,",
      "  FBSStockQty Decimal(23,10) Not Null Default 0,",
      "  FCUStockQty Decimal(23,10) Not Null Default 0,",
      "  FBSUnStockQty Decimal(23,10) Not Null Default 0,",
      "  FCUUnStockQty Decimal(23,10) Not Null Default 0,",
      "  FUnitID int Null,",
      "  FStockUnitName Varchar(355) Null,",
      "  FBSStockUnitName Varchar(355) Null,",
      "  FCUStockUnitName Varchar(355) Null,",
      "  FBSUnStockUnitName Varchar(355) Null,",
      "  FCUUnStockUnitName Varchar(355) Null,",
      "  FInSrcEntryID int Null,",
      "  FDeptName Varchar(355) Null,",
      "  FEmpName Varchar(355) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,",
      "  FStockEntryID int Null,FIsDelay int Null,FExp  varchar(355) Null,FDateSort datetime null )",
      "",
  });

  // Receipt lines: blue receipts drawn from the task orders, and red receipts that reverse
  // such blue receipts.
  AppendLines(sql, {
      "Insert Into #T400_1 ",
      "    (FStockInterID,FStockTranType,FICMOInterID,FStockDate,FStockBillNo, FStockAuxQty,FBSStockQty,FUnitID,",
      "    FStockEntryID,FExp) ",
  });
  sql.append(
      "Select u2.FInterID,v2.FTranType,v1.FInterid,v2.FDate,v2.FBillNo,Round(u2.FAuxQty,t1.FQtyDecimal) as FAuxQty,");
  AppendLines(sql, {
      "Round(u2.FQty,t1.FQtyDecimal) as FQty,u2.FUnitID ,",
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
  });

  AppendLines(sql, {
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
  });
  return sql;
}

std::string Rpt400ReportTableStatements() {
  std::string sql;
  AppendLine(sql, "Create Table #Data(");
  // Columns 1 to 25 on one line.
  AppendLine(sql,
             "FInterID Varchar(355) Null,"
             "FEntryID int null,FMOBillNO varchar(355),"
             "FItemID Varchar(355) Null,"
             "FTranType Varchar(355) Null,"
             "FDate DateTime Null,"
             "FNumber Varchar(355) Null,FNumberSort varchar(100),"
             "FShortNumber Varchar(355) Null,"
             "FName Varchar(355) Null,"
             "FModel Varchar(355) Null,"
             "FAuxPropName Varchar(355) Null,"
             "FBatchNo Varchar(200) Null,"
             "FPlanUnitName Varchar(355) Null,"
             "FPlanAuxQty Decimal(23,10) Not Null Default(0),"
             "FBSPlanUnitName Varchar(355) Null,"
             "FBSPlanQty Decimal(23,10) Not Null Default(0),"
             "FCUPlanUnitName Varchar(355) Null,"
             "FCUPlanQty Decimal(23,10) Not Null Default(0),"
             "FBeginDate DateTime Null,"
             "FFinishUnitName Varchar(355) Null,"
             "FFinishAuxQty Decimal(23,10) Not Null Default(0),"
             "FBSFinishUnitName Varchar(355) Null,"
             "FBSFinishQty Decimal(23,10) Not Null Default(0),"
             "FCUFinishUnitName Varchar(355) Null,");
  // Columns 26 to 51 on one line.
  AppendLine(sql,
             "FCUFinishQty Decimal(23,10) Not Null Default(0),"
             "FPlanFinishDate DateTime Null,"
             "FFinishDate DateTime Null,"
             "FFinishRate Decimal(23,10) Not Null Default(0),"
             "FOrderBillNo Varchar(355) Null,"
             "FStockBillNo Varchar(355) Null,FMOBillNOSort varchar(100),"
             "FStockDate DateTime Null,"
             "FStockUnitName Varchar(355) Null,"
             "FStockAuxQty Decimal(23,10) Not Null Default(0),"
             "FBSStockUnitName Varchar(355) Null,"
             "FBSStockQty Decimal(23,10) Not Null Default(0),"
             "FCUStockUnitName Varchar(355) Null,"
             "FCUStockQty Decimal(23,10) Not Null Default(0),"
             "FBSUnStockUnitName Varchar(355) Null,"
             "FBSUnStockQty Decimal(23,10) Not Null Default(0),"
             "FCUUnStockUnitName Varchar(355) Null,"
             "FCUUnStockQty Decimal(23,10) Not Null Default(0),"
             "FDeptName Varchar(355) Null,"
             "FEmpName Varchar(355) Null,"
             "FExp Varchar(355) Null,"
             "FSumSort Varchar(355) Default 0,FQtyDecimal SmallInt, FPriceDecimal SmallInt, "
             "FGroupSort int default 0,FDateSort datetime null,");
  AppendLines(sql, {
      "   FNameSort Varchar(355) Null,",
      "   FModelSort Varchar(355) Null,",
      "   FBatchNoSort Varchar(200) Null,",
      "   FBeginDateSort DateTime Null,",
      "   FPlanFinishDateSort DateTime Null,",
      "   FFinishDateSort DateTime Null,",
  });
  // The closing bracket runs straight into the first insert.
  sql.append("   FIsTotal int Not null default (0))");

  // Task-order rows (kind 0).
  AppendLines(sql, {
      "Insert Into #Data(FInterID,FMOBillNO,FMOBillNOSort,FItemID,FTranType,FDate,FDateSort,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,",
      "FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,",
      "FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,FGroupSort,FQtyDecimal, FPriceDecimal)",
      "select FInterID,FBillNO,FBillNO,FItemID,FTranType,FDate,FDate,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,",
      "FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,",
      "FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,0,FQtyDecimal, FPriceDecimal",
      "From #T400 ",
  });
  // Receipt rows (kind 1).
  AppendLines(sql, {
      "Insert Into #Data(FInterID,FEntryID,FItemID,FTranType,FStockBillNo ,FMOBillNOSort,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,",
      "FBSUnStockUnitName ,FBSUnStockQty ,FCUUnStockUnitName ,FCUUnStockQty,FExp,FDateSort,FGroupSort,FQtyDecimal, FPriceDecimal)",
      "select FStockInterID,FStockEntryID,FItemID,FStockTranType,FStockBillNo,FMOBillNO ,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,",
      "FBSUnStockUnitName , FBSUnStockQty, FCUUnStockUnitName, FCUUnStockQty, FExp,FDateSort,1,FQtyDecimal, FPriceDecimal ",
      "From #T400_1",
  });
  // Subtotal per task order (kind 3) and its name.
  AppendLines(sql, {
      "insert into #Data",
      "(FMOBillNOSort,FDateSort,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FGroupSort,FSumSort)",
      "select FMOBillNOSort,FDateSort=(Select FDate from ICMO where FBillNO=#Data.FMOBillNOSort) , Sum(FPlanAuxQty), Sum(FBSPlanQty), Sum(FCUPlanQty), Sum(FFinishAuxQty), Sum(FBSFinishQty), Sum(FCUFinishQty), Sum(FStockAuxQty), Sum(FBSStockQty), Sum(FCUStockQty), 3, 102",
      "From #Data Group by FMOBillNOSort",
      "update #Data set FItemID =(Select FItemID from ICMO where FBillNO=#Data.FMOBillNOSort) ,FName = t1.FName + '（小计）' From T_ICItem T1  where FGroupSort=3 and T1.FItemID =(select FItemID from ICMO a where a.FBillNO = #Data.FMOBillNOSort)",
  });
  // Grand total (kind 4) over task and receipt rows; then the not-received quantities.
  AppendLines(sql, {
      "Insert Into #Data (FNumberSort,FName,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FBSUnStockQty,FCUUnStockQty,FGroupSort,FSumSort,FIsTotal)",
      "select 'zzzzzz','合计',sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty),sum(FStockAuxQty),sum(FBSStockQty),sum(FCUStockQty),sum(FBSUnStockQty),sum(FCUUnStockQty),4,101,1",
      "from #Data where FGroupSort =0 or FGroupSort =1",
      "Update #Data set FBSUnStockQty = FBSPlanQty - isnull(FBSStockQty,0),FCUUnStockQty=FCUPlanQty-isnull(FCUStockQty,0) where FGroupSort in (3,4)",
  });
  // Unit names of the plan, finish, receipt and not-received quantities.
  const std::initializer_list<std::string_view> kPlanFinishJoin = {
      " From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C",
      " Where t1.FItemID=t4.FItemID And",
      "       t4.FUnitID=t7B.FMeasureUnitID And",
      "       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4 ",
  };
  AppendLines(sql, {
      " Update t1 Set  t1.FBSPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7C.FName End",
  });
  AppendLines(sql, kPlanFinishJoin);
  AppendLines(sql, {
      " Update t1 Set  t1.FBSFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7B.FName End,",
      "        t1.FCUFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7C.FName End",
  });
  AppendLines(sql, kPlanFinishJoin);
  AppendLines(sql, {
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
  });
  // Sort keys from the task order (no line break after it), then the finish rate.
  sql.append(
      "update #Data set FNumberSort = tb400.FNumberSort,FNameSort=tb400.FName,FModelSort=tb400.FModel,FBatchNoSort=tb400.FBatchNo,FBeginDateSort=tb400.FBeginDate,FPlanFinishDateSort=tb400.FPlanFinishDate,FFinishDateSort=tb400.FFinishDate from #Data d1 left join #T400 tb400 on d1.FGroupSort<4 and d1.FMOBillNOSort=tb400.FBillNo");
  AppendLine(sql, "  Update #Data set FFinishRate=Round(FFinishRate,2) where FFinishRate is not null ");
  return sql;
}

std::string Rpt400Batch2(const Dictionary& filter) {
  std::string sql = "select * from #Data  where 1=1 ";
  if (IntegerKeyEquals(filter, "DisplayType", 1)) sql.append(" and   FSumSort <>102  ");
  const std::string order = automation::CStr(filter.GetValue("Orderby", Variant("")));
  if (order.empty()) {
    sql.append(" order by FIsTotal,FNumberSort,FDateSort, FMOBillNOSort,FGroupSort");
  } else if (!ContainsNoCase(order, "FMOBillNOSort")) {
    sql.append(" order by FIsTotal," + order + ",FMOBillNOSort,FGroupSort");
  } else {
    sql.append(" order by FIsTotal," + order + ",FGroupSort");
  }
  sql.append(kCrLf);
  AppendLines(sql, {"drop table #T400", "drop table #T400_1"});
  sql.append("drop table #data");
  return sql;
}

}  // namespace orv::reports
