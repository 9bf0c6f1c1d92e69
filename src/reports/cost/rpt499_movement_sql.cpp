#include "reports/cost/rpt499_movement_sql.h"

#include "reports/cost/batch_text.h"
#include "sqltext/quote.h"

namespace orv::reports::cost {

std::string Rpt499InCostSql(const Rpt499Period& p) {
  const std::string qs = sqltext::Q(p.start);
  const std::string qe = sqltext::Q(p.end);
  BatchText s;
  s.Line("--3.更新本期投入金额");
  s.Line("Update #T499Detail Set FCurInCost=P.FSumAmount ");
  s.Line("From #T499Detail T");
  s.Line("Inner Join (Select P.FItemID,P.FBatchNo,Sum(P.FAmount) as FSumAmount");
  s.Line("            From (      ---出库蓝单的费用");
  s.Line("                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,", kMoneyScale,
         ") as FAmount");
  s.Line("                  From (Select *");
  s.Line("                        From icstockbill");
  s.Line("                        Where FCancellation = 0");
  s.Line("                              And FTranType=24 And FRob=1");
  s.Line("                              And (FStatus=1 or FStatus=2)");
  s.Line("                  ) M");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icstockbillEntry");
  s.Line("                              Where FSourceTranType=85");
  s.Line("                  ) S on M.FInterID=S.FInterID");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icmo");
  s.Line("                              Where FCancellation = 0");
  s.Line("                  ) C on S.FMOInterID=C.FInterID");
  s.Blank();
  s.Line("                  Union all ---出库红单的费用");
  s.Blank();
  s.Line("                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,", kMoneyScale,
         ") as FAmount");
  s.Line("                  From (Select *");
  s.Line("                        From icstockbill");
  s.Line("                        Where FCancellation = 0");
  s.Line("                              And FTranType=24 And FRob=-1");
  s.Line("                              And (FStatus=1 or FStatus=2)");
  s.Line("                  ) M");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icstockbillEntry");
  s.Line("                              Where FSourceTranType=24");
  s.Line("                  ) S on M.FInterID=S.FInterID");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icmo");
  s.Line("                              Where FCancellation = 0");
  s.Line("                  ) C on S.FMOInterID=C.FInterID");
  s.Blank();
  s.Line("                  Union all ---入库红单的费用");
  s.Blank();
  s.Line("                  Select C.FItemID,C.FBatchNo,M.FDate,abs(Round(S.FAmount,", kMoneyScale,
         ")) as FAmount");
  s.Line("                  From (Select *");
  s.Line("                        From icstockbill");
  s.Line("                        Where FCancellation = 0");
  s.Line("                              And FTranType=2 And FRob=-1");
  s.Line("                              And (FStatus=1 or FStatus=2)");
  s.Line("                  ) M");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icstockbillEntry se");
  s.Line("                              Where se.FSourceTranType=2");
  s.Line(
      "                                    And Exists(Select 1 From ICStockBill Where FTranType = "
      "2 And FRob = 1 ");
  s.Line(
      "                                               And (FStatus=1 or FStatus=2) And "
      "FCancellation = 0 ");
  s.Line("                                               And FDate<", qs,
         " And se.FInterID =FInterID");
  s.Line("                                              )");
  s.Line("                  ) S on M.FInterID=S.FInterID");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From icmo");
  s.Line("                              Where FCancellation = 0");
  s.Line("                  ) C on S.FMOInterID=C.FInterID");
  s.Blank();
  s.Line("                  Union all ---以下是费用分担单的费用");
  s.Blank();
  s.Line("                  Select S.FItemID,S.FBatchNo,M.FDate,");
  s.Line("                         IsNull(S.FWorkFee,0) +");
  s.Line("                         IsNull(S.FMakingFee,0) +");
  s.Line("                         IsNull(S.FAuxMaterialFee,0) +");
  s.Line("                         IsNull(S.FWaterElecFee,0) +");
  s.Line("                         IsNull(S.FDepreciationFee,0) +");
  s.Line("                         IsNull(s.FOtherFee, 0) As FAmount");
  s.Line("                  From (Select *");
  s.Line("                        From ICApportionFee");
  s.Line("                        Where FCancellation = 0");
  s.Line("                              And FTranType=87");
  s.Line("                              And FStatus=1");
  s.Line("                  ) M");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From ICApportionFeeEntry");
  s.Line("                              Where FSourceTranType=2");
  s.Line("                  ) S on M.FInterID=S.FInterID");
  s.Blank();
  s.Line("                  Union all");
  s.Blank();
  s.Line("                  Select V.FItemID,V.FBatchno,V.FDate,abs(Round(V.FAmount,", kMoneyScale,
         ")) as FAmount");
  s.Line("                  From v_SCRed_StockBill V");
  s.Line(
      "                  Inner Join ICStockBillEntry E on V.FInterID=E.FInterID and "
      "V.FEntryID=E.FEntryID");
  s.Line("                  Left Join t_MeasureUnit sa on sa.FMeasureUnitID=E.FunitID");
  s.Line("                  Left Join t_icitem sb on E.FitemID= sb.FitemID");
  s.Line("                  Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                  Where V.FTranType=2  and V.FSrcDate<", qs, " and V.FDate>=", qs,
         " and V.FDate<= ", qe, "           )P");
  s.Line("           Where P.FDate>= ", qs, " and P.FDate<=", qe);
  s.Line("           Group by P.FItemID,P.FBatchNo");
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499InNumSql(const Rpt499Period& p) {
  const std::string qs = sqltext::Q(p.start);
  const std::string qe = sqltext::Q(p.end);
  BatchText s;
  s.Line(
      "--4.更新本期投入数量--取该产成品->生产任务单->"
      "本期生产领料单上表头的投入产量之和，对应的各个领料单的数量需要换算成该产成品的库存计量单位后"
      "再求和");
  s.Line("Update #T499Detail Set FCurInNum=P.FMOQty");
  s.Line("From #T499Detail T");
  s.Line("Inner Join (Select P.FMOItemID,P.FBatchNo,Sum(FMOQty) as FMOQty");
  s.Line("            From (");
  s.Line(
      "                  Select M.FMOItemID,M.FBatchNo,Round(Cast(M.FMOQty * "
      "IsNull(sa.FCoefficient,1) as Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as "
      "FMOQty");
  s.Line("                  From ICStockBill M");
  s.Line("                  Left Join t_MeasureUnit sa on sa.FMeasureUnitID=m.FMOBaseUnitID");
  s.Line("                  Left Join t_icitem sb on m.FMOitemID= sb.FitemID");
  s.Line("                  Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                  Where FCancellation = 0 And FTranType = 24");
  s.Line("                        And (FStatus=1 or FStatus=2)");
  s.Line(
      "                        And (Exists(Select 1 From ICStockBillEntry S1 Where "
      "FSourceTranType=85 And M.FInterid=S1.FInterid)");
  s.Line(
      "                          Or Exists(Select 1 From ICStockBillEntry S1 Where "
      "FSourceTranType=24 And M.FInterid=S1.FInterid)");
  s.Line("                        )");
  s.Line("                        And FDate>= ", qs, " and FDate<=", qe);
  s.Blank();
  s.Line("                  Union All");
  s.Blank();
  s.Line(
      "                  Select "
      "M.FMOItemID,M.FBatchNo,Round(Abs(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1) as "
      "Decimal(23,10))/IsNull(sc.FCoefficient,1)),sb.FQtyDecimal) as FMOQty");
  s.Line("                  From icstockbillEntry   S");
  s.Line("                  Left Join t_MeasureUnit sa On sa.FMeasureUnitID=s.FunitID");
  s.Line("                  Left Join t_icitem      sb On s.FitemID= sb.FitemID");
  s.Line("                  Left Join t_MeasureUnit sc On sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                  Inner Join (Select *");
  s.Line("                              From ICStockBill");
  s.Line("                              Where FTranType = 2 And FRob = -1");
  s.Line("                                    And (FStatus=1 or FStatus=2) And FCancellation = 0");
  s.Line("                                    And FDate>= ", qs, " and FDate<=", qe);
  s.Line("                  )M on S.FInterID =M.FInterID");
  s.Line("                  Where s.FSourceTranType = 2");
  s.Line("                        And Exists(Select 1");
  s.Line("                                   From icstockbillEntry Se");
  s.Line("                                   Where Se.FSourceTranType = 85");
  s.Line("                                         And Exists(Select 1");
  s.Line("                                                    From ICStockBill");
  s.Line("                                                    Where FTranType = 2 And FRob = 1");
  s.Line(
      "                                                          And (FStatus=1 or FStatus=2) And "
      "FCancellation = 0");
  s.Line("                                                          And FDate< ", qs);
  s.Line("                                                          And Se.FInterID =FInterID)");
  s.Line(
      "                                         And Exists(Select 1 From icmo Where FCancellation "
      "= 0 And Se.FSourceInterId=FInterID))");
  s.Blank();
  s.Line("                  Union All");
  s.Blank();
  s.Line(
      "                  Select "
      "V.FItemID,V.FBatchno,Round(Abs(Cast(E.FAuxQty*IsNull(sa.FCoefficient,1) as "
      "Decimal(23,10))/IsNull(sc.FCoefficient,1)),sb.FQtyDecimal) as FMOQty");
  s.Line("                  From v_SCRed_StockBill      V");
  s.Line(
      "                  Inner Join ICStockBillEntry E  On V.FInterID=E.FInterID and "
      "V.FEntryID=E.FEntryID");
  s.Line("                  Left Join t_MeasureUnit     sa On sa.FMeasureUnitID=E.FunitID");
  s.Line("                  Left Join t_icitem          sb On E.FitemID= sb.FitemID");
  s.Line("                  Left Join t_MeasureUnit     sc On sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                  Where V.FTranType=2 and V.FSrcDate<", qs, " and V.FDate>=", qs,
         " and V.FDate<= ", qe);
  s.Line("            ) P");
  s.Line("            Inner Join t_ICItem t on P.FMOItemID=t.FItemID");
  s.Line("            Group by P.FMOItemID,P.FBatchNo");
  s.Line(" ) P On T.FItemID=P.FMOItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499OutSql(const Rpt499Period& p) {
  const std::string qs = sqltext::Q(p.start);
  const std::string qe = sqltext::Q(p.end);
  BatchText s;
  s.Line(
      "--5.更新本期产出数量--取该产成品->生产任务单->"
      "本期产品入库单的数量之和，对应的各个产品入库单的数量需要换算成该产成品的库存计量单位后再求"
      "和");
  s.Blank();
  s.Line(
      "--6.更新本期产出成本价--取本期对应关联生产任务单生成的产品入库表体[单价]列值。("
      "因在系统中进行完生产成本核算后,系统将算出本期产成品的成本单价,并反写到产品入库表体[单价]"
      "列中,且如果单据中的单位与，报表中的单位不一致，还需将价格换算成报表中[单位]的单价)");
  s.Line("Update #T499Detail Set FCurOutNum=P.FSumQty,FCurOutCost=P.FSumAmount ");
  s.Line("From #T499Detail T");
  s.Line(
      "Inner Join (Select S.FItemID,S.FBatchNo,Sum(S.FQty) as FSumQty,Sum(FAmount) as FSumAmount");
  s.Line("            From (");
  s.Line(
      "                 Select "
      "S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1) as "
      "Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,",
      kMoneyScale, ") as FAmount");
  s.Line("                 From (Select *");
  s.Line("                       From icstockbillEntry");
  s.Line("                       Where FSourceTranType=85");
  s.Line("                 ) S");
  s.Line("                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID");
  s.Line("                 Left Join t_icitem sb on s.FitemID= sb.FitemID");
  s.Line("                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                 Inner Join (Select *");
  s.Line("                             From icstockbill");
  s.Line("                             Where FTranType = 2 And FRob = 1");
  s.Line("                               and FCancellation = 0");
  s.Line("                               and (FStatus=1 or FStatus=2)");
  s.Line("                 )M on S.FInterID =M.FInterID");
  s.Line(
      "                 Inner Join (Select * From icmo Where FCancellation = 0) C on "
      "S.FMOInterID=C.FInterID");
  s.Blank();
  s.Line("                 Union all ");
  s.Blank();
  s.Line(
      "                 Select "
      "S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1)as "
      "Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,",
      kMoneyScale, ") as FAmount");
  s.Line("                 From (Select *");
  s.Line("                       From icstockbillEntry");
  s.Line("                       Where FSourceTranType=2");
  s.Line("                 ) S");
  s.Line("                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID");
  s.Line("                 Left Join t_icitem sb on s.FitemID= sb.FitemID");
  s.Line("                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID");
  s.Line("                 Inner Join (Select *");
  s.Line("                             From icstockbill");
  s.Line("                             Where FTranType = 2 And FRob = -1");
  s.Line("                               and FCancellation = 0");
  s.Line("                               and (FStatus=1 or FStatus=2)");
  s.Line("                 )M On S.FInterID =M.FInterID");
  s.Line("                 Inner Join (Select *");
  s.Line("                             From icmo");
  s.Line("                             Where FCancellation = 0");
  s.Line("                 ) C on S.FMOInterID=C.FInterID");
  s.Line("                 Where S.FSourceInterId In (");
  s.Line("                     Select FInterID");
  s.Line("                     From ICStockBill");
  s.Line("                     Where FTranType = 2 And FRob = 1");
  s.Line("                       And (FStatus=1 or FStatus=2) And FCancellation=0");
  s.Line("                       And FDate>=", qs);
  s.Line("                 ) ");
  s.Line("                ) S");
  s.Line("            Inner Join t_ICItem t On S.FItemID=t.FItemID");
  s.Line("            Where S.FDate>= ", qs, " and S.FDate<=", qe);
  s.Line("            Group by S.FItemID,S.FBatchNo");
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499OutPriceSql() {
  BatchText s;
  s.Line("Update #T499Detail Set FCurOutPrice=Round(D.FCurOutCost/D.FCurOutNum,t.FPriceDecimal)");
  s.Line("From #T499Detail D");
  s.Line("Inner Join t_ICItem t on D.FItemID=t.FItemID");
  s.Line("Where D.FCurOutNum<>0");
  return s.Text();
}

std::string Rpt499EndNumSql(const Rpt499Period& p) {
  const std::string year = std::to_string(p.year);
  const std::string period = std::to_string(p.period);
  BatchText s;
  s.Line(
      "--7.更新期末在产品数量--这里指的是实存数量，不是帐存数量。取本期[在产品产量录入]表体中["
      "期末在产品实际数量]值");
  s.Line("Update #T499Detail Set FPeriodEndNum=P.FPeriodEndNum");
  s.Line("From #T499Detail T");
  s.Line(
      "Inner Join (Select "
      "p1.FInterID,p1.FItemID,p1.FBatchNo,Round(p1.FPeriodEndNum,t1.FQtyDecimal) as FPeriodEndNum");
  s.Line("            From t_ICProduction p1");
  s.Line("            Inner Join t_ICItem t1 On p1.FItemID=t1.FItemID");
  s.Line("            Where p1.FYear=", year, " and p1.FPeriod=", period);
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}

std::string Rpt499EndCostSql(const Rpt499Period& p) {
  const std::string year = std::to_string(p.year);
  const std::string period = std::to_string(p.period);
  BatchText s;
  s.Line("--8.更新期末在产品金额--期初在产品金额+本期投入金额-本期产出金额");
  s.Line("Update #T499Detail Set FPeriodEndCost=Round(P.FPeriodEndCost,", kMoneyScale, ")");
  s.Line("From #T499Detail T");
  s.Line("Inner Join (Select FItemID,FBatchNo,FPeriodEndCost");
  s.Line("            From t_ICPPrice");
  s.Line("            Where FYear=", year, " and FPeriod=", period);
  s.Line(") P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')");
  return s.Text();
}
std::string Rpt499EndPriceAndCopySql(std::string_view b_item_number,
                                     std::string_view e_item_number) {
  BatchText s;
  s.Line("--9.更新期末在产品成本价--成本价=期末在产品金额/期末在产品数量");
  s.Line(
      "Update #T499Detail Set FPeriodEndPrice=Round(FPeriodEndCost/FPeriodEndNum,t.FPriceDecimal)");
  s.Line("From #T499Detail D");
  s.Line("Inner Join t_ICItem t On D.FItemID=t.FItemID");
  s.Line("Where D.FPeriodEndNum<>0");
  s.Blank();
  if (!b_item_number.empty() && !e_item_number.empty()) {
    s.Last("Insert Into #T499 select * From #T499Detail Where FNumber Between ",
           sqltext::Q(b_item_number), " and ", sqltext::Q(e_item_number));
  } else {
    s.Last("Insert Into #T499 select * From #T499Detail");
  }
  return s.Text();
}

}  // namespace orv::reports::cost
