--5.更新本期产出数量--取该产成品->生产任务单->本期产品入库单的数量之和，对应的各个产品入库单的数量需要换算成该产成品的库存计量单位后再求和

--6.更新本期产出成本价--取本期对应关联生产任务单生成的产品入库表体[单价]列值。(因在系统中进行完生产成本核算后,系统将算出本期产成品的成本单价,并反写到产品入库表体[单价]列中,且如果单据中的单位与，报表中的单位不一致，还需将价格换算成报表中[单位]的单价)
Update #T499Detail Set FCurOutNum=P.FSumQty,FCurOutCost=P.FSumAmount 
From #T499Detail T
Inner Join (Select S.FItemID,S.FBatchNo,Sum(S.FQty) as FSumQty,Sum(FAmount) as FSumAmount
            From (
                 Select S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1) as Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,10) as FAmount
                 From (Select *
                       From icstockbillEntry
                       Where FSourceTranType=85
                 ) S
                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID
                 Left Join t_icitem sb on s.FitemID= sb.FitemID
                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID
                 Inner Join (Select *
                             From icstockbill
                             Where FTranType = 2 And FRob = 1
                               and FCancellation = 0
                               and (FStatus=1 or FStatus=2)
                 )M on S.FInterID =M.FInterID
                 Inner Join (Select * From icmo Where FCancellation = 0) C on S.FMOInterID=C.FInterID

                 Union all 

                 Select S.FItemID,C.FBatchNo,M.FDate,Round(Cast(S.FAuxQty*IsNull(sa.FCoefficient,1)as Decimal(23,10))/IsNull(sc.FCoefficient,1),sb.FQtyDecimal) as FQty ,Round(S.FAmount,10) as FAmount
                 From (Select *
                       From icstockbillEntry
                       Where FSourceTranType=2
                 ) S
                 Left Join t_MeasureUnit sa on sa.FMeasureUnitID=s.FunitID
                 Left Join t_icitem sb on s.FitemID= sb.FitemID
                 Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID
                 Inner Join (Select *
                             From icstockbill
                             Where FTranType = 2 And FRob = -1
                               and FCancellation = 0
                               and (FStatus=1 or FStatus=2)
                 )M On S.FInterID =M.FInterID
                 Inner Join (Select *
                             From icmo
                             Where FCancellation = 0
                 ) C on S.FMOInterID=C.FInterID
                 Where S.FSourceInterId In (
                     Select FInterID
                     From ICStockBill
                     Where FTranType = 2 And FRob = 1
                       And (FStatus=1 or FStatus=2) And FCancellation=0
                       And FDate>='2024-03-01'
                 ) 
                ) S
            Inner Join t_ICItem t On S.FItemID=t.FItemID
            Where S.FDate>= '2024-03-01' and S.FDate<='2024-03-31'
            Group by S.FItemID,S.FBatchNo
) P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')
