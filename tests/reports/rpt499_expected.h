// Report 499's batches as they must read, written out line by line, with the
// period values as parameters.
#pragma once

#include <string>

#include "stock_bill_expected.h"

namespace cost_test {

// The period values as they appear in the SQL: quoted dates and decimal numbers.
struct ExpectedPeriod {
  std::string qs;      // quoted first day
  std::string qe;      // quoted last day
  std::string y, p;    // report year and period
  std::string ly, lp;  // previous year and period
};

inline std::string Expected499DetailTable() {
  std::string s;
  s += "If Object_ID('tempdb..#T499Detail') Is Not Null Drop Table #T499Detail\r\n";
  s += "Create Table #T499Detail(\r\n";
  s += "        FNumber Varchar(255) Null,\r\n";
  s += "        FItemID int Null,\r\n";
  s += "        FName Varchar(255) Null,\r\n";
  s += "        FModel  Varchar(255),\r\n";
  s += "        FBatchNo  Varchar(255),\r\n";
  s += "        FUnit Varchar(255),\r\n";
  s += "        FPeriodStartNum decimal(23,10) Default(0),\r\n";
  s += "        FPeriodStartCost decimal(28,10) Default(0),\r\n";
  s += "        FCurInNum  decimal(23,10) Default(0),\r\n";
  s += "        FCurInCost  decimal(28,10) Default(0),\r\n";
  s += "        FCurOutNum decimal(23,10) Default(0),\r\n";
  s += "        FCurOutPrice decimal(23,10) Default(0),\r\n";
  s += "        FCurOutCost  decimal(28,10) Default(0),\r\n";
  s += "        FPeriodEndNum decimal(23,10) Default(0),\r\n";
  s += "        FPeriodEndPrice decimal(23,10) Default(0),\r\n";
  s += "        FPeriodEndCost decimal(28,10) Default(0),\r\n";
  s += "        FSumSort smallint not null Default(0)\r\n";
  s += ")";
  return s;
}

inline std::string Expected499ResultTable() {
  std::string s;
  s += "If Object_ID('tempdb..#T499') Is Not Null Drop Table #T499\r\n";
  s += "Create Table #T499(\r\n";
  s += "        FNumber Varchar(255) Null,\r\n";
  s += "        FItemID int Null,\r\n";
  s += "        FName Varchar(255) Null,\r\n";
  s += "        FModel  Varchar(255),\r\n";
  s += "        FBatchNo  Varchar(255),\r\n";
  s += "        FUnit Varchar(255),\r\n";
  s += "        FPeriodStartNum decimal(23,10) Default(0),\r\n";
  s += "        FPeriodStartCost decimal(28,10) Default(0),\r\n";
  s += "        FCurInNum  decimal(23,10) Default(0),\r\n";
  s += "        FCurInCost  decimal(28,10) Default(0),\r\n";
  s += "        FCurOutNum decimal(23,10) Default(0),\r\n";
  s += "        FCurOutPrice decimal(23,10) Default(0),\r\n";
  s += "        FCurOutCost  decimal(28,10) Default(0),\r\n";
  s += "        FPeriodEndNum decimal(23,10) Default(0),\r\n";
  s += "        FPeriodEndPrice decimal(23,10) Default(0),\r\n";
  s += "        FPeriodEndCost decimal(28,10) Default(0),\r\n";
  s += "        FSumSort smallint not null Default(0)\r\n";
  s += ")";
  return s;
}

inline std::string Expected499Candidates(const ExpectedPeriod& e) {
  std::string s;
  s += "Set Nocount ON\r\n";
  s += "If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable\r\n";
  s += "Create table #TempTable(FItemID  varchar(255),FNumber varchar(255),FName  "
       "varchar(255),FModel varchar(255),FUnit varchar(255),FBatchNo varchar(255))\r\n\r\n";
  s += "If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp\r\n";
  s += "Create table #Temp(FItemID  varchar(255),FBatchNo varchar(255))\r\n\r\n";
  s += "--源单是生产任务单的蓝单领料单(FTranType=24)或产品入库单(FTranType=2)明细插入临时表\r\n";
  s += "Insert Into #Temp(FItemID,FBatchNo)\r\n";
  s += ExpectedStockBill("v2.FItemID,v2.FBatchNo", " 1=0  Or v1.FTranType=2 Or v1.FTranType=24",
                         "85", e.qs, e.qe, " and v1.FRob=1") +
       "\r\n\r\n";
  s += "--源单是产品入库单蓝单(源单是生产任务单)的产品入库单红单的明细插入临时表\r\n";
  s += "Insert Into #Temp(FItemID,FBatchNo)\r\n";
  s += ExpectedRedBlue("Distinct v2.FItemID,v2.FBatchNo ", "2", e.qs, e.qe, "") + "\r\n\r\n";
  s += "--源单是领料单蓝单(源单是生产任务单)的领料单红单的明细插入临时表\r\n";
  s += "Insert Into #Temp(FItemID,FBatchNo)\r\n";
  s += ExpectedRedBlue("Distinct v2.FItemID,v2.FBatchNo ", "24", e.qs, e.qe, "") + "\r\n\r\n";
  s += "--上一期及当期在产品产量表\r\n";
  s += "Insert Into #Temp(FItemID,FBatchNo)\r\n";
  s += "Select FItemID,FBatchNo\r\n";
  s += "From t_ICProduction\r\n";
  s += std::string("Where (FYear=") + e.ly + " and FPeriod=" + e.lp +
       " and (FPeriodEndNum<>0 Or FPeriodEndCost<>0))\r\n";
  s += std::string("   Or (FYear=") + e.y + " and FPeriod=" + e.p +
       " and (FPeriodStartNum<>0 Or FPeriodStartCost<>0))\r\n\r\n";
  s += "--上一期间产品成本表\r\n";
  s += "Insert Into #Temp(FItemID,FBatchNo)\r\n";
  s += "Select FItemID,FBatchNo\r\n";
  s += "From t_ICPPrice \r\n";
  s += std::string("Where FYear=") + e.ly + " and FPeriod=" + e.lp +
       " and FPeriodEndCost<>0\r\n\r\n";
  s += "Insert Into #TempTable(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)\r\n";
  s += "Select t.FItemID,t.FNumber,t.FName,t.FModel,t.FStoreUnitID,v.FBatchNo\r\n";
  s += "From T_ICItem t\r\n";
  s += "Right Join (Select distinct FItemID,FBatchNo From #Temp) v On v.FItemID=t.FItemID \r\n";
  s += "Select * From #TempTable";
  return s;
}

inline std::string Expected499DetailRows() {
  std::string s;
  s += "--先将产成品的基本信息插入表中\r\n";
  s += "Insert Into #T499Detail(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)\r\n";
  s += "Select FItemID,FNumber,FName,FModel,FUnit,FBatchNo From #TempTable\r\n";
  return s;
}

inline std::string Expected499StartNum(const ExpectedPeriod& e) {
  std::string s;
  s += "--1.更新期初在产品数量\r\n";
  s += "Update #T499Detail Set FPeriodStartNum=P.FPeriodEndNum\r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select "
       "p1.FInterID,p1.FItemID,p1.FBatchNo,Round(p1.FPeriodEndNum,t1.FQtyDecimal) as "
       "FPeriodEndNum\r\n";
  s += "            From t_ICProduction p1\r\n";
  s += "            Inner Join t_ICItem t1 On p1.FItemID=t1.FItemID\r\n";
  s += std::string("            Where p1.FYear=") + e.ly + " and p1.FPeriod=" + e.lp + "\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499StartCost(const ExpectedPeriod& e) {
  std::string s;
  s += "--2.更新期初在产品金额\r\n";
  s += "Update #T499Detail Set FPeriodStartCost=Round(P.FPeriodEndCost,10)\r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select * From t_ICPPrice\r\n";
  s += std::string("            Where FYear=") + e.ly + " and FPeriod=" + e.lp + "\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499InCost(const ExpectedPeriod& e) {
  std::string s;
  s += "--3.更新本期投入金额\r\n";
  s += "Update #T499Detail Set FCurInCost=P.FSumAmount \r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select P.FItemID,P.FBatchNo,Sum(P.FAmount) as FSumAmount\r\n";
  s += "            From (      ---出库蓝单的费用\r\n";
  s += "                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,10) as FAmount\r\n";
  s += "                  From (Select *\r\n";
  s += "                        From icstockbill\r\n";
  s += "                        Where FCancellation = 0\r\n";
  s += "                              And FTranType=24 And FRob=1\r\n";
  s += "                              And (FStatus=1 or FStatus=2)\r\n";
  s += "                  ) M\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icstockbillEntry\r\n";
  s += "                              Where FSourceTranType=85\r\n";
  s += "                  ) S on M.FInterID=S.FInterID\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icmo\r\n";
  s += "                              Where FCancellation = 0\r\n";
  s += "                  ) C on S.FMOInterID=C.FInterID\r\n\r\n";
  s += "                  Union all ---出库红单的费用\r\n\r\n";
  s += "                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,10) as FAmount\r\n";
  s += "                  From (Select *\r\n";
  s += "                        From icstockbill\r\n";
  s += "                        Where FCancellation = 0\r\n";
  s += "                              And FTranType=24 And FRob=-1\r\n";
  s += "                              And (FStatus=1 or FStatus=2)\r\n";
  s += "                  ) M\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icstockbillEntry\r\n";
  s += "                              Where FSourceTranType=24\r\n";
  s += "                  ) S on M.FInterID=S.FInterID\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icmo\r\n";
  s += "                              Where FCancellation = 0\r\n";
  s += "                  ) C on S.FMOInterID=C.FInterID\r\n\r\n";
  s += "                  Union all ---入库红单的费用\r\n\r\n";
  s += "                  Select C.FItemID,C.FBatchNo,M.FDate,abs(Round(S.FAmount,10)) as "
       "FAmount\r\n";
  s += "                  From (Select *\r\n";
  s += "                        From icstockbill\r\n";
  s += "                        Where FCancellation = 0\r\n";
  s += "                              And FTranType=2 And FRob=-1\r\n";
  s += "                              And (FStatus=1 or FStatus=2)\r\n";
  s += "                  ) M\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icstockbillEntry se\r\n";
  s += "                              Where se.FSourceTranType=2\r\n";
  s += "                                    And Exists(Select 1 From ICStockBill Where FTranType = "
       "2 And FRob = 1 \r\n";
  s += "                                               And (FStatus=1 or FStatus=2) And "
       "FCancellation = 0 \r\n";
  s += std::string("                                               And FDate<") + e.qs +
       " And se.FInterID =FInterID\r\n";
  s += "                                              )\r\n";
  s += "                  ) S on M.FInterID=S.FInterID\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From icmo\r\n";
  s += "                              Where FCancellation = 0\r\n";
  s += "                  ) C on S.FMOInterID=C.FInterID\r\n\r\n";
  s += "                  Union all ---以下是费用分担单的费用\r\n\r\n";
  s += "                  Select S.FItemID,S.FBatchNo,M.FDate,\r\n";
  s += "                         IsNull(S.FWorkFee,0) +\r\n";
  s += "                         IsNull(S.FMakingFee,0) +\r\n";
  s += "                         IsNull(S.FAuxMaterialFee,0) +\r\n";
  s += "                         IsNull(S.FWaterElecFee,0) +\r\n";
  s += "                         IsNull(S.FDepreciationFee,0) +\r\n";
  s += "                         IsNull(s.FOtherFee, 0) As FAmount\r\n";
  s += "                  From (Select *\r\n";
  s += "                        From ICApportionFee\r\n";
  s += "                        Where FCancellation = 0\r\n";
  s += "                              And FTranType=87\r\n";
  s += "                              And FStatus=1\r\n";
  s += "                  ) M\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From ICApportionFeeEntry\r\n";
  s += "                              Where FSourceTranType=2\r\n";
  s += "                  ) S on M.FInterID=S.FInterID\r\n\r\n";
  s += "                  Union all\r\n\r\n";
  s += "                  Select V.FItemID,V.FBatchno,V.FDate,abs(Round(V.FAmount,10)) as "
       "FAmount\r\n";
  s += "                  From v_SCRed_StockBill V\r\n";
  s += "                  Inner Join ICStockBillEntry E on V.FInterID=E.FInterID and "
       "V.FEntryID=E.FEntryID\r\n";
  s += "                  Left Join t_MeasureUnit sa on sa.FMeasureUnitID=E.FunitID\r\n";
  s += "                  Left Join t_icitem sb on E.FitemID= sb.FitemID\r\n";
  s += "                  Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += std::string("                  Where V.FTranType=2  and V.FSrcDate<") + e.qs +
       " and V.FDate>=" + e.qs + " and V.FDate<= " + e.qe + "           )P\r\n";
  s += std::string("           Where P.FDate>= ") + e.qs + " and P.FDate<=" + e.qe + "\r\n";
  s += "           Group by P.FItemID,P.FBatchNo\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499InNum(const ExpectedPeriod& e) {
  std::string s;
  s += "--4.更新本期投入数量--取该产成品->生产任务单->"
       "本期生产领料单上表头的投入产量之和，对应的各个领料单的数量需要换算成该产成品的库存计量单位"
       "后再求和\r\n";
  s += "Update #T499Detail Set FCurInNum=P.FMOQty\r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select P.FMOItemID,P.FBatchNo,Sum(FMOQty) as FMOQty\r\n";
  s += "            From (\r\n";
  s += "                  Select M.FMOItemID,M.FBatchNo,Round(Cast(M.FMOQty * "
       "IsNull(sa.FCoefficient,1) as Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as "
       "FMOQty\r\n";
  s += "                  From ICStockBill M\r\n";
  s += "                  Left Join t_MeasureUnit sa on sa.FMeasureUnitID=m.FMOBaseUnitID\r\n";
  s += "                  Left Join t_icitem sb on m.FMOitemID= sb.FitemID\r\n";
  s += "                  Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += "                  Where FCancellation = 0 And FTranType = 24\r\n";
  s += "                        And (FStatus=1 or FStatus=2)\r\n";
  s += "                        And (Exists(Select 1 From ICStockBillEntry S1 Where "
       "FSourceTranType=85 And M.FInterid=S1.FInterid)\r\n";
  s += "                          Or Exists(Select 1 From ICStockBillEntry S1 Where "
       "FSourceTranType=24 And M.FInterid=S1.FInterid)\r\n";
  s += "                        )\r\n";
  s += std::string("                        And FDate>= ") + e.qs + " and FDate<=" + e.qe +
       "\r\n\r\n";
  s += "                  Union All\r\n\r\n";
  s += "                  Select "
       "M.FMOItemID,M.FBatchNo,Round(Abs(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1) as "
       "Decimal(23,10))/IsNull(sc.FCoefficient,1)),sb.FQtyDecimal) as FMOQty\r\n";
  s += "                  From icstockbillEntry   S\r\n";
  s += "                  Left Join t_MeasureUnit sa On sa.FMeasureUnitID=s.FunitID\r\n";
  s += "                  Left Join t_icitem      sb On s.FitemID= sb.FitemID\r\n";
  s += "                  Left Join t_MeasureUnit sc On sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += "                  Inner Join (Select *\r\n";
  s += "                              From ICStockBill\r\n";
  s += "                              Where FTranType = 2 And FRob = -1\r\n";
  s += "                                    And (FStatus=1 or FStatus=2) And FCancellation = 0\r\n";
  s += std::string("                                    And FDate>= ") + e.qs +
       " and FDate<=" + e.qe + "\r\n";
  s += "                  )M on S.FInterID =M.FInterID\r\n";
  s += "                  Where s.FSourceTranType = 2\r\n";
  s += "                        And Exists(Select 1\r\n";
  s += "                                   From icstockbillEntry Se\r\n";
  s += "                                   Where Se.FSourceTranType = 85\r\n";
  s += "                                         And Exists(Select 1\r\n";
  s += "                                                    From ICStockBill\r\n";
  s += "                                                    Where FTranType = 2 And FRob = 1\r\n";
  s += "                                                          And (FStatus=1 or FStatus=2) And "
       "FCancellation = 0\r\n";
  s += std::string("                                                          And FDate< ") + e.qs +
       "\r\n";
  s += "                                                          And Se.FInterID =FInterID)\r\n";
  s += "                                         And Exists(Select 1 From icmo Where FCancellation "
       "= 0 And Se.FSourceInterId=FInterID))\r\n\r\n";
  s += "                  Union All\r\n\r\n";
  s += "                  Select "
       "V.FItemID,V.FBatchno,Round(Abs(Cast(E.FAuxQty*IsNull(sa.FCoefficient,1) as "
       "Decimal(23,10))/IsNull(sc.FCoefficient,1)),sb.FQtyDecimal) as FMOQty\r\n";
  s += "                  From v_SCRed_StockBill      V\r\n";
  s += "                  Inner Join ICStockBillEntry E  On V.FInterID=E.FInterID and "
       "V.FEntryID=E.FEntryID\r\n";
  s += "                  Left Join t_MeasureUnit     sa On sa.FMeasureUnitID=E.FunitID\r\n";
  s += "                  Left Join t_icitem          sb On E.FitemID= sb.FitemID\r\n";
  s += "                  Left Join t_MeasureUnit     sc On sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += std::string("                  Where V.FTranType=2 and V.FSrcDate<") + e.qs +
       " and V.FDate>=" + e.qs + " and V.FDate<= " + e.qe + "\r\n";
  s += "            ) P\r\n";
  s += "            Inner Join t_ICItem t on P.FMOItemID=t.FItemID\r\n";
  s += "            Group by P.FMOItemID,P.FBatchNo\r\n";
  s += " ) P On T.FItemID=P.FMOItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499Out(const ExpectedPeriod& e) {
  std::string s;
  s += "--5.更新本期产出数量--取该产成品->生产任务单->"
       "本期产品入库单的数量之和，对应的各个产品入库单的数量需要换算成该产成品的库存计量单位后再求"
       "和\r\n\r\n";
  s += "--6.更新本期产出成本价--取本期对应关联生产任务单生成的产品入库表体[单价]列值。("
       "因在系统中进行完生产成本核算后,系统将算出本期产成品的成本单价,并反写到产品入库表体[单价]"
       "列中,且如果单据中的单位与，报表中的单位不一致，还需将价格换算成报表中[单位]的单价)\r\n";
  s += "Update #T499Detail Set FCurOutNum=P.FSumQty,FCurOutCost=P.FSumAmount \r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select S.FItemID,S.FBatchNo,Sum(S.FQty) as FSumQty,Sum(FAmount) as "
       "FSumAmount\r\n";
  s += "            From (\r\n";
  s += "                 Select "
       "S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1) as "
       "Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,10) as "
       "FAmount\r\n";
  s += "                 From (Select *\r\n";
  s += "                       From icstockbillEntry\r\n";
  s += "                       Where FSourceTranType=85\r\n";
  s += "                 ) S\r\n";
  s += "                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID\r\n";
  s += "                 Left Join t_icitem sb on s.FitemID= sb.FitemID\r\n";
  s += "                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += "                 Inner Join (Select *\r\n";
  s += "                             From icstockbill\r\n";
  s += "                             Where FTranType = 2 And FRob = 1\r\n";
  s += "                               and FCancellation = 0\r\n";
  s += "                               and (FStatus=1 or FStatus=2)\r\n";
  s += "                 )M on S.FInterID =M.FInterID\r\n";
  s += "                 Inner Join (Select * From icmo Where FCancellation = 0) C on "
       "S.FMOInterID=C.FInterID\r\n\r\n";
  s += "                 Union all \r\n\r\n";
  s += "                 Select "
       "S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1)as "
       "Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,10) as "
       "FAmount\r\n";
  s += "                 From (Select *\r\n";
  s += "                       From icstockbillEntry\r\n";
  s += "                       Where FSourceTranType=2\r\n";
  s += "                 ) S\r\n";
  s += "                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID\r\n";
  s += "                 Left Join t_icitem sb on s.FitemID= sb.FitemID\r\n";
  s += "                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID\r\n";
  s += "                 Inner Join (Select *\r\n";
  s += "                             From icstockbill\r\n";
  s += "                             Where FTranType = 2 And FRob = -1\r\n";
  s += "                               and FCancellation = 0\r\n";
  s += "                               and (FStatus=1 or FStatus=2)\r\n";
  s += "                 )M On S.FInterID =M.FInterID\r\n";
  s += "                 Inner Join (Select *\r\n";
  s += "                             From icmo\r\n";
  s += "                             Where FCancellation = 0\r\n";
  s += "                 ) C on S.FMOInterID=C.FInterID\r\n";
  s += "                 Where S.FSourceInterId In (\r\n";
  s += "                     Select FInterID\r\n";
  s += "                     From ICStockBill\r\n";
  s += "                     Where FTranType = 2 And FRob = 1\r\n";
  s += "                       And (FStatus=1 or FStatus=2) And FCancellation=0\r\n";
  s += std::string("                       And FDate>=") + e.qs + "\r\n";
  s += "                 ) \r\n";
  s += "                ) S\r\n";
  s += "            Inner Join t_ICItem t On S.FItemID=t.FItemID\r\n";
  s += std::string("            Where S.FDate>= ") + e.qs + " and S.FDate<=" + e.qe + "\r\n";
  s += "            Group by S.FItemID,S.FBatchNo\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499OutPrice() {
  std::string s;
  s += "Update #T499Detail Set FCurOutPrice=Round(D.FCurOutCost/D.FCurOutNum,t.FPriceDecimal)\r\n";
  s += "From #T499Detail D\r\n";
  s += "Inner Join t_ICItem t on D.FItemID=t.FItemID\r\n";
  s += "Where D.FCurOutNum<>0\r\n";
  return s;
}

inline std::string Expected499EndNum(const ExpectedPeriod& e) {
  std::string s;
  s += "--7.更新期末在产品数量--这里指的是实存数量，不是帐存数量。取本期[在产品产量录入]表体中["
       "期末在产品实际数量]值\r\n";
  s += "Update #T499Detail Set FPeriodEndNum=P.FPeriodEndNum\r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select "
       "p1.FInterID,p1.FItemID,p1.FBatchNo,Round(p1.FPeriodEndNum,t1.FQtyDecimal) as "
       "FPeriodEndNum\r\n";
  s += "            From t_ICProduction p1\r\n";
  s += "            Inner Join t_ICItem t1 On p1.FItemID=t1.FItemID\r\n";
  s += std::string("            Where p1.FYear=") + e.y + " and p1.FPeriod=" + e.p + "\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

inline std::string Expected499EndCost(const ExpectedPeriod& e) {
  std::string s;
  s += "--8.更新期末在产品金额--期初在产品金额+本期投入金额-本期产出金额\r\n";
  s += "Update #T499Detail Set FPeriodEndCost=Round(P.FPeriodEndCost,10)\r\n";
  s += "From #T499Detail T\r\n";
  s += "Inner Join (Select FItemID,FBatchNo,FPeriodEndCost\r\n";
  s += "            From t_ICPPrice\r\n";
  s += std::string("            Where FYear=") + e.y + " and FPeriod=" + e.p + "\r\n";
  s += ") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')\r\n";
  return s;
}

// `copy_line` is the last line, without CR LF.
inline std::string Expected499EndPriceAndCopy(const std::string& copy_line) {
  std::string s;
  s += "--9.更新期末在产品成本价--成本价=期末在产品金额/期末在产品数量\r\n";
  s += "Update #T499Detail Set "
       "FPeriodEndPrice=Round(FPeriodEndCost/FPeriodEndNum,t.FPriceDecimal)\r\n";
  s += "From #T499Detail D\r\n";
  s += "Inner Join t_ICItem t On D.FItemID=t.FItemID\r\n";
  s += "Where D.FPeriodEndNum<>0\r\n\r\n";
  s += copy_line;
  return s;
}

}  // namespace cost_test
