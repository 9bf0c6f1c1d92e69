// Report 498's batch as it must read, written out line by line, with the
// period dates and the optional condition lines as parameters.
#pragma once

#include <string>

namespace cost_test {

inline std::string Expected498Table() {
  std::string s;
  s += "--创建临时表\r\n";
  s += "If Object_ID('tempdb..#T498') Is Not Null Drop Table #T498\r\n\r\n";
  s += "Create Table #T498(\r\n";
  s += "   FItemID int Null,\r\n";
  s += "   FNumber Varchar(255) Null,\r\n";
  s += "   FName Varchar(255) Null,\r\n";
  s += "   FModel Varchar(255),\r\n";
  s += "   FBatchNo Varchar(255),\r\n";
  s += "   FUnit Varchar(255),\r\n";
  s += "   FInNum decimal(23,10) Default(0),\r\n";
  s += "   FPrice decimal(23,10) Default(0),\r\n";
  s += "   FMarterialFee decimal(28,10) Default(0),\r\n";
  s += "   FAuxMarterialFee decimal(28,10) Default(0),\r\n";
  s += "   FWorkFee decimal(28,10) Default(0),\r\n";
  s += "   FMakingFee decimal(28,10) Default(0),\r\n";
  s += "   FDepreciationFee decimal(28,10) Default(0),\r\n";
  s += "   FWaterElecFee decimal(28,10) Default(0),\r\n";
  s += "   FOtherFee decimal(28,10) Default(0),\r\n";
  s += "   FTotalFee decimal(28,10) Default(0),\r\n";
  s += "   FSumSort smallint not null Default(0)\r\n";
  s += ")\r\n\r\n";
  return s;
}

// `conditions`: the item-range and batch lines (each with its CR LF) that follow the date line.
inline std::string Expected498Receipts(const std::string& qs, const std::string& qe,
                                       const std::string& conditions) {
  std::string s;
  s += "--明细插入临时表\r\n";
  s += "Insert Into #T498(FItemID,FNumber,FName,FModel,FUnit,FBatchNo,FInNum,FTotalFee)\r\n";
  s += "Select Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo,Sum(Mx.FQty) As "
       "FQty,Sum(Mx.FAmount) As FAmount\r\n";
  s += "From (\r\n";
  s += "   --产品入库单(蓝单)明细\r\n";
  s += "   Select C.FNumber,E.FItemID,C.FName,C.FModel,MO.FBatchNo,U.FName as "
       "FUnit,Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty ,Round(E.FAmount,10) as "
       "FAmount,M.FDate \r\n";
  s += "   From ICStockBill            M\r\n";
  s += "   Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID\r\n";
  s += "   Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID\r\n";
  s += "   Inner Join (Select * from t_Stock Where FTypeID<>502) S On E.FDCStockID=S.FItemID\r\n";
  s += "   Inner Join T_ICItem         C  On E.FItemID=C.FItemID\r\n";
  s += "   Inner Join t_MeasureUnit    U  On C.FStoreUnitID=U.FItemID\r\n";
  s += "   Where M.FTranType=2 And M.FROB=1 And E.FSourceTranType=85 And E.FQty<>0\r\n";
  s += "   And M.FCancellation=0 and MO.FCancellation=0 And M.FStatus=1\r\n\r\n";
  s += "   Union All\r\n\r\n";
  s += "   --产品入库单(红单)明细\r\n";
  s += "   Select C.FNumber,E.FItemID,C.FName,C.FModel,BE.FBatchNo,U.FName as "
       "FUnit,Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty,Round(E.FAmount,10) as "
       "FAmount,M.FDate\r\n";
  s += "   From ICStockBill M\r\n";
  s += "   Inner Join ICStockBillEntry E On M.FInterID=E.FInterID\r\n";
  s += "   Inner Join (\r\n";
  s += "       Select DISTINCT M.FInterID,MO.FBatchNo,E.FItemID\r\n";
  s += "       From ICStockBill            M\r\n";
  s += "       Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID\r\n";
  s += "       Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID\r\n";
  s +=
      std::string(
          "       Where m.FTranType = 2 And m.FROB = 1 And E.FSourceTranType = 85 and M.FDate>= ") +
      qs + " and M.FDate<=" + qe + "\r\n";
  s += "   )BE On BE.FInterID=E.FSourceInterId and BE.FItemID=E.FItemID\r\n";
  s += "   Inner Join (Select * From t_Stock where FTypeID<>502) S On E.FDCStockID=S.FItemID\r\n";
  s += "   Inner Join T_ICItem      C On E.FItemID=C.FItemID\r\n";
  s += "   Inner Join t_MeasureUnit U On C.FStoreUnitID=U.FItemID\r\n";
  s += "   Where m.FTranType=2 And m.FROB= -1 And E.FSourceTranType=2 And E.FQty<>0 and "
       "M.FCancellation=0 And M.FStatus=1\r\n";
  s += ")Mx\r\n";
  s += "Inner Join T_ICItem t1 On Mx.FItemID=t1.FItemID\r\n";
  s += std::string("Where Mx.FDate>= ") + qs + " and Mx.FDate<=" + qe + "\r\n";
  s += conditions;
  s += "Group By Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo\r\n\r\n";
  return s;
}

inline std::string Expected498Fees(const std::string& qs, const std::string& qe) {
  std::string s;
  s += "Update #T498 set FAuxMarterialFee=F.FAuxMaterialFeeSum,\r\n";
  s += "   FWorkFee=F.FWorkFeeSum,\r\n";
  s += "   FMakingFee=F.FMakingFeeSum,\r\n";
  s += "   FDepreciationFee=F.FDepreciationFeeSum,\r\n";
  s += "   FWaterElecFee=F.FWaterElecFeeSum,\r\n";
  s += "   FOtherFee = f.FOtherFeeSum\r\n";
  s += "From #T498 T \r\n";
  s += "Inner Join ( \r\n";
  s += "   Select FItemID,FBatchNo,sum(Round(FWorkFee,10)) as FWorkFeeSum,\r\n";
  s += "       Sum(Round(FMakingFee,10)) as FMakingFeeSum,\r\n";
  s += "       Sum(Round(FAuxMaterialFee,10)) as FAuxMaterialFeeSum,\r\n";
  s += "       Sum(Round(FWaterElecFee,10)) as FWaterElecFeeSum,\r\n";
  s += "       Sum(Round(FDepreciationFee,10)) as FDepreciationFeeSum,\r\n";
  s += "       Sum(Round(FOtherFee,10)) as FOtherFeeSum\r\n";
  s += "   From ICApportionFeeEntry \r\n";
  s += "   Where FSourceTranType = 2 \r\n";
  s += std::string(
           "   And FInterID In(Select FInterID From ICApportionFee Where FTranType = 87 and "
           "FStatus=1 and FDate>= ") +
       qs + " and FDate<=" + qe + ")\r\n";
  s += "   Group by FItemID,FBatchNo\r\n";
  s += ")F On T.FItemID=F.FItemID And T.FBatchNo=F.FBatchNo\r\n\r\n";
  return s;
}

inline std::string Expected498Price() {
  std::string s;
  s += "--更新材料费用\r\n";
  s += "Update #T498 Set "
       "FMarterialFee=FTotalFee-FAuxMarterialFee-FWorkFee-FMakingFee-FDepreciationFee-"
       "FWaterElecFee-FOtherFee\r\n\r\n";
  s += "--更新产品单价\r\n";
  s += "Update #T498 Set FPrice=(Case when FInNum<>0 then Round(FTotalFee/FInNum,t1.FPriceDecimal) "
       "Else 0 End)\r\n";
  s += "From #T498 M\r\n";
  s += "Inner Join T_ICItem t1 On M.FItemID=t1.FItemID\r\n";
  return s;
}

inline std::string Expected498Batch(const std::string& qs, const std::string& qe,
                                    const std::string& conditions) {
  return Expected498Table() + Expected498Receipts(qs, qe, conditions) + Expected498Fees(qs, qe) +
         Expected498Price();
}

}  // namespace cost_test
