Set Nocount ON
If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable
Create table #TempTable(FItemID  varchar(255),FNumber varchar(255),FName  varchar(255),FModel varchar(255),FUnit varchar(255),FBatchNo varchar(255))

If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp
Create table #Temp(FItemID  varchar(255),FBatchNo varchar(255))

--源单是生产任务单的蓝单领料单(FTranType=24)或产品入库单(FTranType=2)明细插入临时表
Insert Into #Temp(FItemID,FBatchNo)
Select v2.FItemID,v2.FBatchNo
From ICStockBillEntry  u1
Inner Join ICStockBill v1 on u1.FInterID = v1.FInterID 
Inner Join ICMO v2 on v2.FInterID=u1.FSourceInterID 
Where v1.FCancellation=0 and v2.FCancellation=0 and v1.FStatus=1 and u1.FSourceInterID>0
  And ( 1=0  Or v1.FTranType=2 Or v1.FTranType=24)
  And u1.FSourceTranType=85
  And (v1.FDate>='2024-03-01'
  And v1.FDate<='2024-03-31')
 and v1.FRob=1

--源单是产品入库单蓝单(源单是生产任务单)的产品入库单红单的明细插入临时表
Insert Into #Temp(FItemID,FBatchNo)
Select Distinct v2.FItemID,v2.FBatchNo 
From ICStockBillEntry RedEntry
Inner Join ICStockBill Red on Red.FInterID = RedEntry.FInterID
Inner Join ICStockBill Blue on Blue.FInterID = RedEntry.FSourceInterID
Inner Join ICStockBillEntry BlueEntry on BlueEntry.FInterID = Blue.FInterID
Inner Join ICMO v2 on v2.FInterID=BlueEntry.FSourceInterID
Where v2.FCancellation=0 and red.FCancellation=0 and Red.FStatus=1 and Blue.FStatus=1
  and RedEntry.FSourceTranType = 2 And BlueEntry.FSourceTranType = 85
  and Red.FRob = -1 --红
  and Blue.Frob=1 --兰
  and Red.FTranType=2
  and blue.FTranType=2
  and (Red.FDate>='2024-03-01'
  and  Red.FDate<='2024-03-31') and RedEntry.FMOInterid=v2.FInterID


--源单是领料单蓝单(源单是生产任务单)的领料单红单的明细插入临时表
Insert Into #Temp(FItemID,FBatchNo)
Select Distinct v2.FItemID,v2.FBatchNo 
From ICStockBillEntry RedEntry
Inner Join ICStockBill Red on Red.FInterID = RedEntry.FInterID
Inner Join ICStockBill Blue on Blue.FInterID = RedEntry.FSourceInterID
Inner Join ICStockBillEntry BlueEntry on BlueEntry.FInterID = Blue.FInterID
Inner Join ICMO v2 on v2.FInterID=BlueEntry.FSourceInterID
Where v2.FCancellation=0 and red.FCancellation=0 and Red.FStatus=1 and Blue.FStatus=1
  and RedEntry.FSourceTranType = 24 And BlueEntry.FSourceTranType = 85
  and Red.FRob = -1 --红
  and Blue.Frob=1 --兰
  and Red.FTranType=24
  and blue.FTranType=24
  and (Red.FDate>='2024-03-01'
  and  Red.FDate<='2024-03-31') and RedEntry.FMOInterid=v2.FInterID


--上一期及当期在产品产量表
Insert Into #Temp(FItemID,FBatchNo)
Select FItemID,FBatchNo
From t_ICProduction
Where (FYear=2024 and FPeriod=2 and (FPeriodEndNum<>0 Or FPeriodEndCost<>0))
   Or (FYear=2024 and FPeriod=3 and (FPeriodStartNum<>0 Or FPeriodStartCost<>0))

--上一期间产品成本表
Insert Into #Temp(FItemID,FBatchNo)
Select FItemID,FBatchNo
From t_ICPPrice 
Where FYear=2024 and FPeriod=2 and FPeriodEndCost<>0

Insert Into #TempTable(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)
Select t.FItemID,t.FNumber,t.FName,t.FModel,t.FStoreUnitID,v.FBatchNo
From T_ICItem t
Right Join (Select distinct FItemID,FBatchNo From #Temp) v On v.FItemID=t.FItemID 
Select * From #TempTable