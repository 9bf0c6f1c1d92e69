#include "reports/cost/rpt498_sql.h"

#include "sqltext/quote.h"

namespace orv::reports::cost {

BatchText Rpt498TableLines() {
  BatchText s;
  s.Line("--创建临时表");
  s.Line("If Object_ID('tempdb..#T498') Is Not Null Drop Table #T498");
  s.Blank();
  s.Line("Create Table #T498(");
  s.Line("   FItemID int Null,");
  s.Line("   FNumber Varchar(255) Null,");
  s.Line("   FName Varchar(255) Null,");
  s.Line("   FModel Varchar(255),");
  s.Line("   FBatchNo Varchar(255),");
  s.Line("   FUnit Varchar(255),");
  s.Line("   FInNum decimal(23,10) Default(0),");
  s.Line("   FPrice decimal(23,10) Default(0),");
  s.Line("   FMarterialFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FAuxMarterialFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FWorkFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FMakingFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FDepreciationFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FWaterElecFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FOtherFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FTotalFee decimal(28,", kMoneyScale, ") Default(0),");
  s.Line("   FSumSort smallint not null Default(0)");
  s.Line(")");
  s.Blank();
  return s;
}

BatchText Rpt498ReceiptLines(std::string_view start, std::string_view end,
                             const Rpt498Conditions& conditions) {
  const std::string qs = sqltext::Q(start);
  const std::string qe = sqltext::Q(end);
  BatchText s;
  s.Line("--明细插入临时表");
  s.Line("Insert Into #T498(FItemID,FNumber,FName,FModel,FUnit,FBatchNo,FInNum,FTotalFee)");
  s.Line(
      "Select Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo,"
      "Sum(Mx.FQty) As FQty,Sum(Mx.FAmount) As FAmount");
  s.Line("From (");
  // Blue bills: the batch is the task order's.
  s.Line("   --产品入库单(蓝单)明细");
  s.Line(
      "   Select C.FNumber,E.FItemID,C.FName,C.FModel,MO.FBatchNo,U.FName as FUnit,"
      "Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty ,Round(E.FAmount,",
      kMoneyScale, ") as FAmount,M.FDate ");
  s.Line("   From ICStockBill            M");
  s.Line("   Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID");
  s.Line("   Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID");
  s.Line("   Inner Join (Select * from t_Stock Where FTypeID<>502) S On E.FDCStockID=S.FItemID");
  s.Line("   Inner Join T_ICItem         C  On E.FItemID=C.FItemID");
  s.Line("   Inner Join t_MeasureUnit    U  On C.FStoreUnitID=U.FItemID");
  s.Line("   Where M.FTranType=2 And M.FROB=1 And E.FSourceTranType=85 And E.FQty<>0");
  s.Line("   And M.FCancellation=0 and MO.FCancellation=0 And M.FStatus=1");
  s.Blank();
  s.Line("   Union All");
  s.Blank();
  // Red bills: the batch comes from the blue bill of the period that they reverse.
  s.Line("   --产品入库单(红单)明细");
  s.Line(
      "   Select C.FNumber,E.FItemID,C.FName,C.FModel,BE.FBatchNo,U.FName as FUnit,"
      "Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty,Round(E.FAmount,",
      kMoneyScale, ") as FAmount,M.FDate");
  s.Line("   From ICStockBill M");
  s.Line("   Inner Join ICStockBillEntry E On M.FInterID=E.FInterID");
  s.Line("   Inner Join (");
  s.Line("       Select DISTINCT M.FInterID,MO.FBatchNo,E.FItemID");
  s.Line("       From ICStockBill            M");
  s.Line("       Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID");
  s.Line("       Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID");
  s.Line(
      "       Where m.FTranType = 2 And m.FROB = 1 And E.FSourceTranType = 85 "
      "and M.FDate>= ",
      qs, " and M.FDate<=", qe);
  s.Line("   )BE On BE.FInterID=E.FSourceInterId and BE.FItemID=E.FItemID");
  s.Line("   Inner Join (Select * From t_Stock where FTypeID<>502) S On E.FDCStockID=S.FItemID");
  s.Line("   Inner Join T_ICItem      C On E.FItemID=C.FItemID");
  s.Line("   Inner Join t_MeasureUnit U On C.FStoreUnitID=U.FItemID");
  s.Line(
      "   Where m.FTranType=2 And m.FROB= -1 And E.FSourceTranType=2 And E.FQty<>0 "
      "and M.FCancellation=0 And M.FStatus=1");
  s.Line(")Mx");
  s.Line("Inner Join T_ICItem t1 On Mx.FItemID=t1.FItemID");
  s.Line("Where Mx.FDate>= ", qs, " and Mx.FDate<=", qe);
  if (!conditions.b_item_number.empty() && !conditions.e_item_number.empty()) {
    s.Line("And Mx.FNumber between ", sqltext::Q(conditions.b_item_number), " and ",
           sqltext::Q(conditions.e_item_number));
  }
  // The client sends "FBATCHNO" for every batch; the comparison is case-sensitive, and any
  // other text, the empty one included, names the batch.
  if (conditions.batch_no != "FBATCHNO") {
    s.Line(" And Mx.FBatchNo=", sqltext::Q(conditions.batch_no));
  }
  s.Line("Group By Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo");
  s.Blank();
  return s;
}

BatchText Rpt498FeeLines(std::string_view start, std::string_view end) {
  const std::string qs = sqltext::Q(start);
  const std::string qe = sqltext::Q(end);
  BatchText s;
  s.Line("Update #T498 set FAuxMarterialFee=F.FAuxMaterialFeeSum,");
  s.Line("   FWorkFee=F.FWorkFeeSum,");
  s.Line("   FMakingFee=F.FMakingFeeSum,");
  s.Line("   FDepreciationFee=F.FDepreciationFeeSum,");
  s.Line("   FWaterElecFee=F.FWaterElecFeeSum,");
  s.Line("   FOtherFee = f.FOtherFeeSum");
  s.Line("From #T498 T ");
  s.Line("Inner Join ( ");
  s.Line("   Select FItemID,FBatchNo,sum(Round(FWorkFee,", kMoneyScale, ")) as FWorkFeeSum,");
  s.Line("       Sum(Round(FMakingFee,", kMoneyScale, ")) as FMakingFeeSum,");
  s.Line("       Sum(Round(FAuxMaterialFee,", kMoneyScale, ")) as FAuxMaterialFeeSum,");
  s.Line("       Sum(Round(FWaterElecFee,", kMoneyScale, ")) as FWaterElecFeeSum,");
  s.Line("       Sum(Round(FDepreciationFee,", kMoneyScale, ")) as FDepreciationFeeSum,");
  s.Line("       Sum(Round(FOtherFee,", kMoneyScale, ")) as FOtherFeeSum");
  s.Line("   From ICApportionFeeEntry ");
  s.Line("   Where FSourceTranType = 2 ");
  s.Line(
      "   And FInterID In(Select FInterID From ICApportionFee Where FTranType = 87 "
      "and FStatus=1 and FDate>= ",
      qs, " and FDate<=", qe, ")");
  s.Line("   Group by FItemID,FBatchNo");
  s.Line(")F On T.FItemID=F.FItemID And T.FBatchNo=F.FBatchNo");
  s.Blank();
  return s;
}

BatchText Rpt498PriceLines() {
  BatchText s;
  s.Line("--更新材料费用");
  s.Line(
      "Update #T498 Set FMarterialFee="
      "FTotalFee-FAuxMarterialFee-FWorkFee-FMakingFee-FDepreciationFee-FWaterElecFee-FOtherFee");
  s.Blank();
  s.Line("--更新产品单价");
  s.Line(
      "Update #T498 Set FPrice=(Case when FInNum<>0 then "
      "Round(FTotalFee/FInNum,t1.FPriceDecimal) Else 0 End)");
  s.Line("From #T498 M");
  s.Line("Inner Join T_ICItem t1 On M.FItemID=t1.FItemID");
  return s;
}

BatchText Rpt498Batch(std::string_view start, std::string_view end,
                      const Rpt498Conditions& conditions) {
  BatchText s = Rpt498TableLines();
  s.Append(Rpt498ReceiptLines(start, end, conditions));
  s.Append(Rpt498FeeLines(start, end));
  s.Append(Rpt498PriceLines());
  return s;
}

}  // namespace orv::reports::cost
