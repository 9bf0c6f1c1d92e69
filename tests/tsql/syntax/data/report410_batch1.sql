IF  object_id('tempdb..#Data') is not null drop table #Data;Set Nocount ON
Create Table #Data(
FInterID int null default 0,FTranType int,
FPItemID int null,
FMOBillNO Varchar(355) Null,
FPNumber Varchar(355) Null,FPNumberSort Varchar(355) Null,
FPName Varchar(355) Null,
FPShortNumber Varchar(355) Null,
FPModel Varchar(355) Null,
FBatchNo Varchar(355) Null,
FPAuxPropName Varchar(355) Null,
FPAuxUnitID int null,FPUnitName varchar(355),
FPUnitID int null,FPAuxUnitName varchar(355),
FDate datetime null,
FPlanDate datetime null,
FFinishDate datetime null,
FAuxPlanQty Decimal(23,10),
FPlanQty Decimal(23,10),
FAuxFinishQty Decimal(23,10),
FFinishQty Decimal(23,10),
FUnFinishAuxQty Decimal(23,10),
FUnFinishQty Decimal(23,10),FQtyDecimal int,FPriceDecimal int,
FFinishRate Decimal(10,2),FFinishRateStr varchar(50),
FUnFinishRate Decimal(10,2),FUnFinishRateStr varchar(50),FClosed varchar(355),FDept varchar(50),FEmp varchar(50),FExp varchar(500),
FSumSort int default 0,FPeriod int)
Insert Into #Data
(FInterID,FTranType ,FPItemID ,FMOBillNO ,FPNumber,FPNumberSort ,FPName ,FPShortNumber ,FPModel ,FBatchNo,
FPAuxPropName ,FPAuxUnitID,FPUnitID ,FPAuxUnitName,FPUnitName ,FDate ,FPlanDate ,FFinishDate ,
FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty ,
FFinishRate ,FUnFinishRate,FClosed,FDept,FEmp,FExp,FPeriod,FQtyDecimal,FPriceDecimal)
Select v1.FInterID,v1.FTranType,v1.FItemID,v1.FBillNO,t1.FNumber,t1.FNumber,t1.FName,t1.FShortNumber,t1.FModel,v1.FBatchNo,
ta.FName,v1.FUnitID,t1.FUnitID,
u1.FName as FPAuxUnitName,
u2.FName as FPUnitName,
v1.FDate,v1.FPlanFinishDate,v1.FFinishDate,

Round(v1.FAuxQty,t1.FQtyDecimal) as FAuxQty,
Round(v1.FQty,t1.FQtyDecimal) as FQty, 
Round(v1.FAuxFinishQty,t1.FQtyDecimal) as FAuxFinishQty,
Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,
Round(v1.FAuxQty-v1.FAuxFinishQty,t1.FQtyDecimal) as FUnFinishAuxQty, 
Round(v1.FQty -v1.FFinishQty,t1.FQtyDecimal) as FUnFinishQty, 
Round((v1.FAuxFinishQty/v1.FAuxQty)*100,t1.FQtyDecimal),
Round(((v1.FAuxQty-v1.FAuxFinishQty)/v1.FAuxQty ) * 100,t1.FQtyDecimal),
case isnull(v1.FStatus,0) when 1 then '已审核' when 2 then '已审核' when 3 then '关闭' when 0 then '未审核' else '' end,td.FName,te.FName,v1.FExp,FPeriod=(Year(v1.FDate)*100 + Month(v1.FDate)), 
t1.FQtyDecimal,t1.FPriceDecimal 
From ICMO v1 
Inner Join t_ICItem t1 On v1.FItemID = t1.FItemID 
Inner Join t_MeasureUnit u1 On u1.FMeasureUnitID = v1.FUnitID 
Inner Join t_MeasureUnit u2 On u2.FMeasureUnitID = t1.FUnitID 
Left Join t_AuxItem ta On v1.FAuxPropID = ta.FItemID 
Left Join t_Emp te On v1.FEmpID = te.FItemID 
Left Join t_Department td On v1.FDeptID = td.FItemID 
Where v1.FFinishRate < 100 AND datediff(DAY,getdate(),v1.FPlanFinishDate) <=7
 And CONVERT(char(10),v1.FBeginDate,120)>='2024-01-01' And CONVERT(char(10),v1.FBeginDate,120)<='2024-12-31' And CONVERT(char(10),v1.FPlanFinishDate,120)>='2024-01-01' And CONVERT(char(10),v1.FPlanFinishDate,120)<='2024-12-31' And v1.FStatus>0 And v1.FCancelLation=0 --插入小计
Insert Into #Data (FPeriod,FPNumberSort,FPNumber,FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty  ,FSumSort)
select FPeriod,FPNumber,'小计',sum(FAuxPlanQty),sum(FPlanQty),sum(FAuxFinishQty),sum(FFinishQty),sum(FUnFinishAuxQty),sum(FUnFinishQty),102 From #Data Group by FPeriod,FPNumber 
update #Data set  FFinishRate=Round((FAuxFinishQty/FAuxPlanQty)*100,4),FUnFinishRate=Round((FUnFinishAuxQty/FAuxPlanQty ) * 100,4)
Where FSumSort = 102
--合计
Insert Into #Data (FPeriod,FPNumberSort,FPNumber,FAuxPlanQty ,FPlanQty ,FAuxFinishQty ,FFinishQty ,FUnFinishAuxQty ,FUnFinishQty  ,FSumSort)
select FPeriod,CHAR(255),'合计',sum(FAuxPlanQty),sum(FPlanQty),sum(FAuxFinishQty),sum(FFinishQty),sum(FUnFinishAuxQty),sum(FUnFinishQty),101 From #Data Where FSumSort = 0  Group by FPeriod  
update #Data set  FFinishRate=Round((FAuxFinishQty/FAuxPlanQty)*100,4),FUnFinishRate=Round((FUnFinishAuxQty/FAuxPlanQty ) * 100,4)
Where FSumSort = 101
Update #Data Set FFinishRateStr=cast(FFinishRate as varchar(50)) + '',FUnFinishRateStr=cast(FUnFinishRate as varchar(50)) + '' 
Update #Data set FQtyDecimal=4,FPriceDecimal=4 where FSumSort=102 or FSumSort=101