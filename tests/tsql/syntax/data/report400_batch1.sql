If object_id('tempdb..#T400') is not null drop table #T400;If object_id('tempdb..#T400_1') is not null drop table #T400_1;If object_id('tempdb..#Data') is not null drop table #Data;
 Create Table #T400
(FInterID int null,
FTranType smallint null,
FItemID int null,
FBillNo varchar(355) null,
FDate datetime null,
FNumber Varchar(355) Null,FNumberSort varchar(255),
FShortNumber varchar(255) null,
FName varchar(355) null,
FModel varchar(355) null,
FAuxPropName varchar(255) null,
FBatchNo varchar(200) null,
FPlanUnitID int null,
FPlanUnitName varchar(100) null,
FBSPlanUnitName varchar(100) null,
FCUPlanUnitName varchar(100) null,
FPlanAuxQty decimal(23,10) not null default 0,
FBSPlanQty decimal(23,10) not null default 0,
FCUPlanQty decimal(23,10) not null default 0,
FBeginDate datetime null,
FFinishUnitID int null,
FFinishUnitName varchar(100) null,
FBSFinishUnitName varchar(100) null,
FCUFinishUnitName varchar(100) null,
FFinishAuxQty decimal(23,10) not null default 0,
FBSFinishQty decimal(23,10) not null default 0,
FCUFinishQty decimal(23,10) not null default 0,
FPlanFinishDate datetime null,
FFinishDate datetime null,
FFinishRate decimal(10,2) not null default 0,
FOrderBillNo varchar(100) null,
FDeptName varchar(355) null,
FEmpName Varchar(100) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,
FSumSort smallint Not Null default 0,FExp varchar(355) null)

  Insert Into #T400
  ( FInterID,FTranType,FDate,FBillNO,FItemID,
    FNumber,FNumberSort,FShortNumber,FName,FModel,FBatchNo,
   FPlanUnitID,FPlanUnitName,FPlanAuxQty,
   FBSPlanQty, FBeginDate, 
   FFinishUnitID,FFinishAuxQty,
   FBSFinishQty,
   FPlanFinishDate,FFinishDate,FFinishRate,FOrderBillNo,
   FDeptName,FEmpName,FAuxPropName,FExp,FQtyDecimal,FPriceDecimal)
Select v1.FInterID,v1.FTranType,v1.FDate,v1.FBillNO,v1.FItemID,
    t1.FNumber,t1.FNumber,t1.FShortNumber,t1.FName,t1.FModel,v1.FBatchNo,
    v1.FUnitID,(Select FName From t_MeasureUnit where FMeasureUnitID = v1.FUnitID),
    Round(v1.FAuxQty,t1.FQtyDecimal) as FAuxQty,Round(v1.FQty,t1.FQtyDecimal) as FQty,v1.FBeginDate,
    v1.FUnitID,Round(v1.FAuxFinishQty,t1.FQtyDecimal) as FAuxFinishQty,Round(v1.FFinishQty,t1.FQtyDecimal) as FFinishQty,
    v1.FPlanFinishDate,v1.FFinishDate,case v1.FFinishRate when 0 then 0 else v1.FFinishRate end , v2.FBillNO,
    t3.FName, t4.FName,ta.FName,v1.fExp,t1.FQtyDecimal,t1.FPriceDecimal
From ICMO v1
    Inner Join t_ICItem t1 On v1.FItemID=t1.FItemID
    Left Join  SEOrder v2 on  v2.FInterID = v1.FOrderInterID
    Left Join t_Department t3 On v1.FDeptID=t3.FItemID
    Left Join t_Emp t4 On v1.FEmpID=t4.FItemID
    Left Join t_AuxItem ta On v1.FAuxPropID=ta.FItemID
Where 1 = 1  And CONVERT(char(10),v1.FDate,120)>='2024-01-01' And CONVERT(char(10),v1.FDate,120)<='2024-01-31' And t1.FNumber>='1.01' And v1.FBatchNo like '%A1%' And v1.FStatus>0 And v1.FCancelLation=0  And v1.FStatus=3 
 And v1.FBillNo>='WORK000001'
 and  isnull(t3.FName,'')='生产部'
Order By v1.FDate,v1.FInterID,v1.FItemID
 Update t1 Set          t1.FBSPlanQty=Round(t1.FPlanAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),
        t1.FCUPlanQty =Round(Cast(t1.FPlanAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0))as Decimal(23,10)) / t7C.FCoefficient,t4.FQtyDecimal)
 From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q
 Where t1.FItemID=t4.FItemID And
       t1.FPlanUnitID=t7Q.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID
 Update t1 Set 
        t1.FFinishUnitName = Case t1.FFinishAuxQty When 0 Then '' else t7Q.FName End,
        t1.FBSFinishQty=Round(t1.FFinishAuxQty*(IsNull(t7Q.FCoefficient,1)+IsNull(t7Q.FScale,0)),t4.FQtyDecimal),
        t1.FCUFinishQty = Round(t1.FFinishAuxQty * (IsNull(t7Q.FCoefficient, 1) + IsNull(t7Q.FScale, 0)) / t7C.FCoefficient,t4.FQtyDecimal)
 From #T400 t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7Q
 Where t1.FItemID=t4.FItemID And
       t1.FFinishUnitID=t7Q.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID

 Set NoCount On  
  Create Table #T400_1
  (  FICMOInterID     int Null,FMOBillNO varchar(100),
  FStockInterID int Null,
  FStockTranType smallint Null,
  FStockDate datetime Null,
  FStockBillNo Varchar(355) Null,
  FItemID int Null,
  FStockAuxQty Decimal(23,10) Not Null Default(0),
  FBSStockQty Decimal(23,10) Not Null Default(0),
  FCUStockQty Decimal(23,10) Not Null Default(0),
  FBSUnStockQty Decimal(23,10) Not Null Default(0),
  FCUUnStockQty Decimal(23,10) Not Null Default(0),
  FUnitID int Null,
  FStockUnitName Varchar(355) Null,
  FBSStockUnitName Varchar(355) Null,
  FCUStockUnitName Varchar(355) Null,
  FBSUnStockUnitName Varchar(355) Null,
  FCUUnStockUnitName Varchar(355) Null,
  FInSrcEntryID int Null,
  FDeptName Varchar(355) Null,
  FEmpName Varchar(355) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,
  FStockEntryID int Null,FIsDelay int Null,FExp  varchar(355) Null,FDateSort datetime null )

Insert Into #T400_1 
    (FStockInterID,FStockTranType,FICMOInterID,FStockDate,FStockBillNo, FStockAuxQty,FBSStockQty,FUnitID,
    FStockEntryID,FExp) 
Select u2.FInterID,v2.FTranType,v1.FInterid,v2.FDate,v2.FBillNo,Round(u2.FAuxQty,t1.FQtyDecimal) as FAuxQty,Round(u2.FQty,t1.FQtyDecimal) as FQty,u2.FUnitID ,
u2.FEntryID,v2.FExplanation 
From ICStockBillEntry u2 
Inner Join ICStockBill v2 On v2.FInterID=u2.FInterID
Inner Join  ICMO v1 On v1.FInterID = u2.FSourceInterID
Inner Join  t_ICItem t1 On t1.FItemID = u2.FItemID
Where v2.fcancellation=0 and u2.FSourceTranType = 85 And v2.FTranType = 2 and v1.FInterID in (Select FInterID From #T400) 
Union All
select Red.FInterID,Red.FTranType,
FInterID=(Select top 1 FSourceInterID From ICStockBillEntry mBlue where  mBlue.FInterID in(Select FSourceInterID From ICStockBillEntry mRed Where  mRed.FInterID= Red.FInterID) and FSourceInterID>0 )
,Red.FDate,Red.FBillNo,Round(RedEntry.FAuxQty,t1.FQtyDecimal) as FAuxQty,
Round(RedEntry.FQty,t1.FQtyDecimal) as FQty, 
RedEntry.FUnitID,RedEntry.FEntryID,Red.FExplanation 
From ICStockBillEntry RedEntry
inner join ICStockBill Red On Red.FInterID=RedEntry.FInterID
Inner Join t_ICItem t1 On t1.FItemID = RedEntry.FItemID
where Red.fcancellation=0 and Red.FRob=-1 and Red.FTranType=2 and RedEntry.FSourceTranType=2 and
Exists(Select 1 From ICStockBillEntry BlueEntry Inner Join ICStockBill Blue On Blue.FInterID=BlueEntry.FInterID where BlueEntry.FSourceTranType=85 and RedEntry.FSourceInterID = Blue.FInterID and Blue.FRob=1 and Blue.FTranType=2 and BlueEntry.FSourceInterID In (Select FInterID From #T400) )
update #T400_1 set FMOBillNO =ICMO.FBillNO,FDateSort= ICMO.FDate From  ICMO where ICMO.FInterID  = #T400_1.FICMOInterID
update #T400_1
set FItemID = v1.FItemID,FStockUnitName = t5.FName
From  #T400_1
Inner Join  ICMO v1 On v1.FInterID = #T400_1.FICMOInterID
Inner Join t_MeasureUnit t5 On t5.FMeasureUnitID=#T400_1.FUnitID
Where 1=1 

 Update t1 Set t1.FQtyDecimal=t4.FQtyDecimal,
 t1.FPriceDecimal=t4.FPriceDecimal,
 t1.FCUStockQty = Round(t1.FBSStockQty / IsNull(t7C.FCoefficient, 1),t4.FQtyDecimal)
 From #T400_1 t1,t_ICItem t4,t_MeasureUnit t7C
 Where t1.FItemID=t4.FItemID And
       t4.FStoreUnitID = t7C.FMeasureUnitID
Create Table #Data(FInterID Varchar(355) Null,FEntryID int null,FMOBillNO varchar(355),FItemID Varchar(355) Null,FTranType Varchar(355) Null,FDate datetime null,FNumber Varchar(355) Null,FNumberSort varchar(100),FShortNumber Varchar(355) Null,FName Varchar(355) Null,FModel Varchar(355) Null,FAuxPropName Varchar(355) Null,FBatchNo Varchar(200) Null,FPlanUnitName Varchar(355) Null,FPlanAuxQty Decimal(23,10) Not Null Default(0),FBSPlanUnitName Varchar(355) Null,FBSPlanQty Decimal(23,10) Not Null Default(0),FCUPlanUnitName Varchar(355) Null,FCUPlanQty Decimal(23,10) Not Null Default(0),FBeginDate datetime null,FFinishUnitName Varchar(355) Null,FFinishAuxQty Decimal(23,10) Not Null Default(0),FBSFinishUnitName Varchar(355) Null,FBSFinishQty Decimal(23,10) Not Null Default(0),FCUFinishUnitName Varchar(355) Null,
FCUFinishQty Decimal(23,10) Not Null Default(0),FPlanFinishDate datetime null,FFinishDate datetime null,FFinishRate Decimal(23,10) Not Null Default(0),FOrderBillNo Varchar(355) Null,FStockBillNo Varchar(355) Null,FMOBillNOSort varchar(100),FStockDate datetime null,FStockUnitName Varchar(355) Null,FStockAuxQty Decimal(23,10) Not Null Default(0),FBSStockUnitName Varchar(355) Null,FBSStockQty Decimal(23,10) Not Null Default(0),FCUStockUnitName Varchar(355) Null,FCUStockQty Decimal(23,10) Not Null Default(0),FBSUnStockUnitName Varchar(355) Null,FBSUnStockQty Decimal(23,10) Not Null Default(0),FCUUnStockUnitName Varchar(355) Null,FCUUnStockQty Decimal(23,10) Not Null Default(0),FDeptName Varchar(355) Null,FEmpName Varchar(355) Null,FExp Varchar(355) Null,FSumSort Varchar(355) Default 0,FQtyDecimal SmallInt, FPriceDecimal SmallInt, FGroupSort int default 0,FDateSort datetime null,
   FNameSort Varchar(355) Null,
   FModelSort Varchar(355) Null,
   FBatchNoSort Varchar(200) Null,
   FBeginDateSort DateTime Null,
   FPlanFinishDateSort DateTime Null,
   FFinishDateSort DateTime Null,
   FIsTotal int Not null default (0))Insert Into #Data(FInterID,FMOBillNO,FMOBillNOSort,FItemID,FTranType,FDate,FDateSort,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,
FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,
FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,FGroupSort,FQtyDecimal, FPriceDecimal)
select FInterID,FBillNO,FBillNO,FItemID,FTranType,FDate,FDate,FNumber,FNumberSort,FShortNumber,FName,FModel,FAuxPropName,FBatchNo,
FPlanUnitName,FPlanAuxQty,FBSPlanUnitName,FBSPlanQty,FCUPlanUnitName,FCUPlanQty,FBeginDate,
FFinishUnitName , FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp,0,FQtyDecimal, FPriceDecimal
From #T400 
Insert Into #Data(FInterID,FEntryID,FItemID,FTranType,FStockBillNo ,FMOBillNOSort,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,
FBSUnStockUnitName ,FBSUnStockQty ,FCUUnStockUnitName ,FCUUnStockQty,FExp,FDateSort,FGroupSort,FQtyDecimal, FPriceDecimal)
select FStockInterID,FStockEntryID,FItemID,FStockTranType,FStockBillNo,FMOBillNO ,FStockDate,FStockUnitName ,FStockAuxQty ,FBSStockUnitName ,FBSStockQty ,FCUStockUnitName ,FCUStockQty ,
FBSUnStockUnitName , FBSUnStockQty, FCUUnStockUnitName, FCUUnStockQty, FExp,FDateSort,1,FQtyDecimal, FPriceDecimal 
From #T400_1
insert into #Data
(FMOBillNOSort,FDateSort,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FGroupSort,FSumSort)
select FMOBillNOSort,FDateSort=(Select FDate from ICMO where FBillNO=#Data.FMOBillNOSort) , Sum(FPlanAuxQty), Sum(FBSPlanQty), Sum(FCUPlanQty), Sum(FFinishAuxQty), Sum(FBSFinishQty), Sum(FCUFinishQty), Sum(FStockAuxQty), Sum(FBSStockQty), Sum(FCUStockQty), 3, 102
From #Data Group by FMOBillNOSort
update #Data set FItemID =(Select FItemID from ICMO where FBillNO=#Data.FMOBillNOSort) ,FName = t1.FName + '（小计）' From T_ICItem T1  where FGroupSort=3 and T1.FItemID =(select FItemID from ICMO a where a.FBillNO = #Data.FMOBillNOSort)
Insert Into #Data (FNumberSort,FName,FPlanAuxQty,FBSPlanQty,FCUPlanQty,FFinishAuxQty,FBSFinishQty,FCUFinishQty,FStockAuxQty,FBSStockQty,FCUStockQty,FBSUnStockQty,FCUUnStockQty,FGroupSort,FSumSort,FIsTotal)
select 'zzzzzz','合计',sum(FPlanAuxQty),sum(FBSPlanQty),sum(FCUPlanQty),sum(FFinishAuxQty),sum(FBSFinishQty),sum(FCUFinishQty),sum(FStockAuxQty),sum(FBSStockQty),sum(FCUStockQty),sum(FBSUnStockQty),sum(FCUUnStockQty),4,101,1
from #Data where FGroupSort =0 or FGroupSort =1
Update #Data set FBSUnStockQty = FBSPlanQty - isnull(FBSStockQty,0),FCUUnStockQty=FCUPlanQty-isnull(FCUStockQty,0) where FGroupSort in (3,4)
 Update t1 Set  t1.FBSPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7B.FName End,
        t1.FCUPlanUnitName=Case t1.FPlanAuxQty When 0 Then '' else t7C.FName End
 From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C
 Where t1.FItemID=t4.FItemID And
       t4.FUnitID=t7B.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4 
 Update t1 Set  t1.FBSFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7B.FName End,
        t1.FCUFinishUnitName=Case t1.FFinishAuxQty When 0 Then '' else t7C.FName End
 From #Data t1,t_ICItem t4,t_MeasureUnit t7B,t_MeasureUnit t7C
 Where t1.FItemID=t4.FItemID And
       t4.FUnitID=t7B.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4 
 Update t1 Set  t1.FBSStockUnitName=Case t1.FBSStockQty When 0 Then '' else t7B.FName End,
        t1.FCUStockUnitName=Case t1.FBSStockQty When 0 Then '' else t7C.FName End
 From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7B
 Where t1.FItemID=t4.FItemID And
       t4.FUnitID=t7B.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort <4
 Update t1 Set  t1.FBSUnStockUnitName=Case t1.FBSUnStockQty When 0 Then '' else t7B.FName End,
        t1.FCUUnStockUnitName=Case t1.FBSUnStockQty When 0 Then '' else t7C.FName End
 From #Data t1,t_ICItem t4,t_MeasureUnit t7C,t_MeasureUnit t7B
 Where t1.FItemID=t4.FItemID And
       t4.FUnitID=t7B.FMeasureUnitID And
       t4.FStoreUnitID = t7C.FMeasureUnitID And FGroupSort =3
update #Data set FNumberSort = tb400.FNumberSort,FNameSort=tb400.FName,FModelSort=tb400.FModel,FBatchNoSort=tb400.FBatchNo,FBeginDateSort=tb400.FBeginDate,FPlanFinishDateSort=tb400.FPlanFinishDate,FFinishDateSort=tb400.FFinishDate from #Data d1 left join #T400 tb400 on d1.FGroupSort<4 and d1.FMOBillNOSort=tb400.FBillNo  Update #Data set FFinishRate=Round(FFinishRate,2) where FFinishRate is not null 
