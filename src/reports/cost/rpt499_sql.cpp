#include "reports/cost/rpt499_sql.h"

#include "reports/cost/batch_text.h"
#include "reports/cost/stock_bill_sql.h"
#include "reports/sql_text.h"

namespace orv::reports::cost {

std::string Rpt499CreateTableSql(std::string_view table) {
  BatchText s;
  s.Line("If Object_ID('tempdb..", table, "') Is Not Null Drop Table ", table);
  s.Line("Create Table ", table, "(");
  s.Line("        FNumber Varchar(255) Null,");
  s.Line("        FItemID int Null,");
  s.Line("        FName Varchar(255) Null,");
  s.Line("        FModel  Varchar(255),");
  s.Line("        FBatchNo  Varchar(255),");
  s.Line("        FUnit Varchar(255),");
  s.Line("        FPeriodStartNum decimal(23,10) Default(0),");
  s.Line("        FPeriodStartCost decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("        FCurInNum  decimal(23,10) Default(0),");
  s.Line("        FCurInCost  decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("        FCurOutNum decimal(23,10) Default(0),");
  s.Line("        FCurOutPrice decimal(23,10) Default(0),");
  s.Line("        FCurOutCost  decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("        FPeriodEndNum decimal(23,10) Default(0),");
  s.Line("        FPeriodEndPrice decimal(23,10) Default(0),");
  s.Line("        FPeriodEndCost decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("        FSumSort smallint not null Default(0)");
  s.Last(")");
  return s.Text();
}

std::string Rpt499CandidateSql(const Rpt499Period& p) {
  const std::string year = std::to_string(p.year);
  const std::string period = std::to_string(p.period);
  const std::string last_year = std::to_string(p.last_year);
  const std::string last_period = std::to_string(p.last_period);
  BatchText s;
  s.Line("Set Nocount ON");
  s.Line("If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable");
  s.Line(
      "Create table #TempTable(FItemID  varchar(255),FNumber varchar(255),FName  varchar(255),"
      "FModel varchar(255),FUnit varchar(255),FBatchNo varchar(255))");
  s.Blank();
  s.Line("If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp");
  s.Line("Create table #Temp(FItemID  varchar(255),FBatchNo varchar(255))");
  s.Blank();
  // Blue material issues and product stock-ins raised from task orders: the task's pair.
  s.Line("--源单是生产任务单的蓝单领料单(FTranType=24)或产品入库单(FTranType=2)明细插入临时表");
  s.Line("Insert Into #Temp(FItemID,FBatchNo)");
  s.Line(BuildStockBillSql("v2.FItemID,v2.FBatchNo", "85", automation::Variant("2,24"), p.start,
                           p.end, " and v1.FRob=1"));
  s.Blank();
  // Red product stock-ins and red material issues reversing such blue bills. The builder's
  // text ends with its own CR LF; two more follow.
  s.Line("--源单是产品入库单蓝单(源单是生产任务单)的产品入库单红单的明细插入临时表");
  s.Line("Insert Into #Temp(FItemID,FBatchNo)");
  s.Line(BuildRedBlueStockBillSql("Distinct v2.FItemID,v2.FBatchNo ", "2", p.start, p.end, ""));
  s.Blank();
  s.Line("--源单是领料单蓝单(源单是生产任务单)的领料单红单的明细插入临时表");
  s.Line("Insert Into #Temp(FItemID,FBatchNo)");
  s.Line(BuildRedBlueStockBillSql("Distinct v2.FItemID,v2.FBatchNo ", "24", p.start, p.end, ""));
  s.Blank();
  // Work in process recorded at the end of the previous period or the start of this one.
  s.Line("--上一期及当期在产品产量表");
  s.Line("Insert Into #Temp(FItemID,FBatchNo)");
  s.Line("Select FItemID,FBatchNo");
  s.Line("From t_ICProduction");
  s.Line("Where (FYear=", last_year, " and FPeriod=", last_period,
         " and (FPeriodEndNum<>0 Or FPeriodEndCost<>0))");
  s.Line("   Or (FYear=", year, " and FPeriod=", period,
         " and (FPeriodStartNum<>0 Or FPeriodStartCost<>0))");
  s.Blank();
  s.Line("--上一期间产品成本表");
  s.Line("Insert Into #Temp(FItemID,FBatchNo)");
  s.Line("Select FItemID,FBatchNo");
  s.Line("From t_ICPPrice ");
  s.Line("Where FYear=", last_year, " and FPeriod=", last_period, " and FPeriodEndCost<>0");
  s.Blank();
  // Distinct pairs with their item data; a pair whose item is gone keeps null item columns.
  s.Line("Insert Into #TempTable(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)");
  s.Line("Select t.FItemID,t.FNumber,t.FName,t.FModel,t.FStoreUnitID,v.FBatchNo");
  s.Line("From T_ICItem t");
  s.Line("Right Join (Select distinct FItemID,FBatchNo From #Temp) v On v.FItemID=t.FItemID ");
  s.Last("Select * From #TempTable");
  return s.Text();
}

std::string Rpt499DetailRowsSql() {
  BatchText s;
  s.Line("--先将产成品的基本信息插入表中");
  s.Line("Insert Into #T499Detail(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)");
  s.Line("Select FItemID,FNumber,FName,FModel,FUnit,FBatchNo From #TempTable");
  return s.Text();
}

std::string Rpt499StartNumSql(const Rpt499Period& p) {
  BatchText s;
  s.Line("--1.更新期初在产品数量");
  s.Line("Update #T499Detail Set FPeriodStartNum=P.FPeriodEndNum");
  s.Line("From #T499Detail T");
  s.Line(
      "Inner Join (Select p1.FInterID,p1.FItemID,p1.FBatchNo,"
      "Round(p1.FPeriodEndNum,t1.FQtyDecimal) as FPeriodEndNum");
  s.Line("            From t_ICProduction p1");
  s.Line("            Inner Join t_ICItem t1 On p1.FItemID=t1.FItemID");
  s.Line("            Where p1.FYear=", std::to_string(p.last_year),
         " and p1.FPeriod=", std::to_string(p.last_period));
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499StartCostSql(const Rpt499Period& p) {
  BatchText s;
  s.Line("--2.更新期初在产品金额");
  s.Line("Update #T499Detail Set FPeriodStartCost=Round(P.FPeriodEndCost,", kMoneyScale, ")");
  s.Line("From #T499Detail T");
  s.Line("Inner Join (Select * From t_ICPPrice");
  s.Line("            Where FYear=", std::to_string(p.last_year),
         " and FPeriod=", std::to_string(p.last_period));
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499ClientSql(std::string_view select, std::string_view group_by,
                            std::string_view item_filter, std::string_view end_select) {
  BatchText s;
  s.Line(select);
  s.Line(group_by);
  s.Blank();
  // #DATA.FUnit ends as the unit's name; #T499.FUnit holds the unit id.
  s.Line("Update t1 Set t1.FName=t2.FName,t1.FModel=t2.FModel,t1.FUnit=t3.FName");
  s.Line("From #DATA t1");
  s.Line("Inner Join #T499 t2 On t1.FNumber = t2.FNumber");
  s.Line("Inner Join t_measureunit t3 On t2.FUnit=t3.FMeasureUnitID");
  s.Last(end_select);
  return reports::ReplaceAll(s.Text(), "##ITEMFILTER##", item_filter);
}

std::string Rpt499LastSql(std::string_view end_select) {
  BatchText s;
  s.Line(end_select);
  s.Line("If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA");
  s.Line("If Object_ID('tempdb..#T499') Is Not Null Drop Table #T499");
  s.Line("If Object_ID('tempdb..#T499Detail') Is Not Null Drop Table #T499Detail");
  s.Line("If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp");
  s.Line("If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable");
  return s.Text();
}

}  // namespace orv::reports::cost
