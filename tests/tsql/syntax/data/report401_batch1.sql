If Object_ID('tempdb..#T401') Is Not Null Drop Table #T401
If Object_ID('tempdb..#ItemLevel') Is Not Null Drop Table #ItemLevel
If Object_ID('tempdb..#Data') Is Not Null Drop Table #Data
 Set NoCount On
  Create Table #T401(
     FItemID int Null,
     FBatchNo varchar(200) Null,
     FBaseQty Decimal(23,10) Not Null Default(0),
     FStockQty Decimal(23,10) Not Null Default(0),
     FFinishBQty Decimal(23,10) Not Null Default(0),
     FFinishSQty Decimal(23,10) Not Null Default(0),
     FUnFinishBQty Decimal(23,10) Not Null Default(0),
     FUnFinishSQty Decimal(23,10) Not Null Default(0),
     FDeptID int null,FempID int null
)

Insert Into #T401(FItemID,FBatchNo,FBaseQty,FFinishBQty,FDeptID,FStockQty,FFinishSQty,FEmpID)
Select v1.FItemID,v1.FBatchNo,Round(v1.FQty,t1.FQtyDecimal) as FQty,
    Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,v1.FDeptID,
    Round(FAuxQty * cast(tmB.FCoefficient / tmS.FCoefficient as Decimal(23,10)),t1.FQtyDecimal),
    Round(FAuxFinishQty * cast(tmB.FCoefficient/ tmS.FCoefficient as Decimal(23,10)),t1.FQtyDecimal),FEmpID
From ICMO v1
Inner Join t_ICItem      t1  On v1.FItemID=t1.FItemID
Left  Join t_Department  td  On td.FItemID=v1.FDeptID
Left  Join t_Emp         te  On te.FItemID=v1.FEmpID
Inner Join t_MeasureUnit tmB On tmB.FMeasureUnitID=v1.FUnitID
Inner Join t_MeasureUnit tmS On tmS.FMeasureUnitID=t1.FStoreUnitID
Where 1=1  And CONVERT(char(10),v1.FDate,120)>='2024-01-01' And CONVERT(char(10),v1.FDate,120)<='2024-01-31' And t1.FShortNumber>='A' And t1.FShortNumber<='Z' And TD.FShortNumber>='D1' And v1.FBatchNo like '%a''b%' And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3  And v1.FBillNo>='WORK1' And v1.FBillNo<='WORK9'

Order By v1.FDate,v1.FInterID,v1.FItemID

