Select t1.FNumber as FItemNumber,Convert(Varchar(255),'') as FItemShortNumber,Convert(Varchar(255),'') as FItemName,Convert(Varchar(255),'') as FModel,Sum(FBaseQty) as FBaseQty,Sum(FFinishBQty) as FFinishBQty,Sum(FUnFinishBQty) as FUnFinishBQty,Sum(FStockQty) as FStockQty,Sum(FFinishSQty) as FFinishSQty,Sum(FUnFinishSQty) as FUnFinishSQty,Convert(Varchar(255),'') as FBaseUnitName,Convert(Varchar(255),'') as FFinishBUnitName,Convert(Varchar(255),'') as FUnFinishBUnitName,Convert(Varchar(255),'') as FStockUnitName,Convert(Varchar(255),'') as FFinishSUnitName,Convert(Varchar(255),'') as FUnFinishSUnitName,0 as FQtyDecimal,0 as FPriceDecimal Into #DATA From #T401 v Inner Join t_ICItem t1 On v.FItemID=t1.FItemID Where 1=1  And t1.FNumber like '1.%'
Group By t1.FNumber
Update #DATA Set FUnFinishBQty=FBaseQty-FFinishBQty,FUnFinishSQty=FStockQty-FFinishSQty

Update t1 Set t1.FItemShortNumber=t2.FShortNumber,t1.FItemName=t2.FName,t1.FModel=t2.FModel
From #DATA t1
Inner Join t_ICItem t2 On t1.FItemNumber = t2.FNumber

Update t1 Set t1.FBaseUnitName=(Case When t1.FBaseQty<>0 Then t3.FName End),
t1.FFinishBUnitName=(Case When t1.FFinishBQty<>0 Then t3.FName End),
t1.FUnFinishBUnitName=(Case When t1.FUnFinishBQty<>0 Then t3.FName End),
t1.FStockUnitName=(Case When t1.FStockQty<>0 Then t6.FName End),
t1.FFinishSUnitName=(Case When t1.FFinishSQty<>0 Then t6.FName End),
t1.FUnFinishSUnitName=(Case When t1.FUnFinishSQty<>0 Then t6.FName End)
From #DATA t1
Inner Join t_icItem      t2 On t1.FItemNumber = t2.FNumber
Inner Join t_MeasureUnit t3 On t2.FUnitID=t3.FMeasureUnitID
Inner Join t_MeasureUnit t6 On t2.FStoreUnitID=t6.FMeasureUnitID

Update #Data Set FQtyDecimal =t1.FQtyDecimal ,FPriceDecimal=t1.FPriceDecimal From t_IcItem t1 Where t1.FNumber = #Data.FItemNumber
Select * From #DATA Order By FItemNumber
If Object_ID('tempdb..#T401') Is Not Null Drop Table #T401
