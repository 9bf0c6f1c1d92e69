--创建临时表
If Object_ID('tempdb..#T498') Is Not Null Drop Table #T498

Create Table #T498(
   FItemID int Null,
   FNumber Varchar(255) Null,
   FName Varchar(255) Null,
   FModel Varchar(255),
   FBatchNo Varchar(255),
   FUnit Varchar(255),
   FInNum decimal(23,10) Default(0),
   FPrice decimal(23,10) Default(0),
   FMarterialFee decimal(28,10) Default(0),
   FAuxMarterialFee decimal(28,10) Default(0),
   FWorkFee decimal(28,10) Default(0),
   FMakingFee decimal(28,10) Default(0),
   FDepreciationFee decimal(28,10) Default(0),
   FWaterElecFee decimal(28,10) Default(0),
   FOtherFee decimal(28,10) Default(0),
   FTotalFee decimal(28,10) Default(0),
   FSumSort smallint not null Default(0)
)

--明细插入临时表
Insert Into #T498(FItemID,FNumber,FName,FModel,FUnit,FBatchNo,FInNum,FTotalFee)
Select Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo,Sum(Mx.FQty) As FQty,Sum(Mx.FAmount) As FAmount
From (
   --产品入库单(蓝单)明细
   Select C.FNumber,E.FItemID,C.FName,C.FModel,MO.FBatchNo,U.FName as FUnit,Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty ,Round(E.FAmount,10) as FAmount,M.FDate 
   From ICStockBill            M
   Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID
   Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID
   Inner Join (Select * from t_Stock Where FTypeID<>502) S On E.FDCStockID=S.FItemID
   Inner Join T_ICItem         C  On E.FItemID=C.FItemID
   Inner Join t_MeasureUnit    U  On C.FStoreUnitID=U.FItemID
   Where M.FTranType=2 And M.FROB=1 And E.FSourceTranType=85 And E.FQty<>0
   And M.FCancellation=0 and MO.FCancellation=0 And M.FStatus=1

   Union All

   --产品入库单(红单)明细
   Select C.FNumber,E.FItemID,C.FName,C.FModel,BE.FBatchNo,U.FName as FUnit,Round(E.FQty/U.FCoefficient,C.FQtyDecimal) as FQty,Round(E.FAmount,10) as FAmount,M.FDate
   From ICStockBill M
   Inner Join ICStockBillEntry E On M.FInterID=E.FInterID
   Inner Join (
       Select DISTINCT M.FInterID,MO.FBatchNo,E.FItemID
       From ICStockBill            M
       Inner Join ICStockBillEntry E  On M.FInterID=E.FInterID
       Inner Join ICMO             MO On E.FSourceInterId=MO.FInterID
       Where m.FTranType = 2 And m.FROB = 1 And E.FSourceTranType = 85 and M.FDate>= '2024-03-01' and M.FDate<='2024-03-31'
   )BE On BE.FInterID=E.FSourceInterId and BE.FItemID=E.FItemID
   Inner Join (Select * From t_Stock where FTypeID<>502) S On E.FDCStockID=S.FItemID
   Inner Join T_ICItem      C On E.FItemID=C.FItemID
   Inner Join t_MeasureUnit U On C.FStoreUnitID=U.FItemID
   Where m.FTranType=2 And m.FROB= -1 And E.FSourceTranType=2 And E.FQty<>0 and M.FCancellation=0 And M.FStatus=1
)Mx
Inner Join T_ICItem t1 On Mx.FItemID=t1.FItemID
Where Mx.FDate>= '2024-03-01' and Mx.FDate<='2024-03-31'
And Mx.FNumber between '1.01' and '1.09'
 And Mx.FBatchNo='B1'
Group By Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo

Update #T498 set FAuxMarterialFee=F.FAuxMaterialFeeSum,
   FWorkFee=F.FWorkFeeSum,
   FMakingFee=F.FMakingFeeSum,
   FDepreciationFee=F.FDepreciationFeeSum,
   FWaterElecFee=F.FWaterElecFeeSum,
   FOtherFee = f.FOtherFeeSum
From #T498 T 
Inner Join ( 
   Select FItemID,FBatchNo,sum(Round(FWorkFee,10)) as FWorkFeeSum,
       Sum(Round(FMakingFee,10)) as FMakingFeeSum,
       Sum(Round(FAuxMaterialFee,10)) as FAuxMaterialFeeSum,
       Sum(Round(FWaterElecFee,10)) as FWaterElecFeeSum,
       Sum(Round(FDepreciationFee,10)) as FDepreciationFeeSum,
       Sum(Round(FOtherFee,10)) as FOtherFeeSum
   From ICApportionFeeEntry 
   Where FSourceTranType = 2 
   And FInterID In(Select FInterID From ICApportionFee Where FTranType = 87 and FStatus=1 and FDate>= '2024-03-01' and FDate<='2024-03-31')
   Group by FItemID,FBatchNo
)F On T.FItemID=F.FItemID And T.FBatchNo=F.FBatchNo

--更新材料费用
Update #T498 Set FMarterialFee=FTotalFee-FAuxMarterialFee-FWorkFee-FMakingFee-FDepreciationFee-FWaterElecFee-FOtherFee

--更新产品单价
Update #T498 Set FPrice=(Case when FInNum<>0 then Round(FTotalFee/FInNum,t1.FPriceDecimal) Else 0 End)
From #T498 M
Inner Join T_ICItem t1 On M.FItemID=t1.FItemID
