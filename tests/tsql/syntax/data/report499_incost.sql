--3.更新本期投入金额
Update #T499Detail Set FCurInCost=P.FSumAmount 
From #T499Detail T
Inner Join (Select P.FItemID,P.FBatchNo,Sum(P.FAmount) as FSumAmount
            From (      ---出库蓝单的费用
                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,10) as FAmount
                  From (Select *
                        From icstockbill
                        Where FCancellation = 0
                              And FTranType=24 And FRob=1
                              And (FStatus=1 or FStatus=2)
                  ) M
                  Inner Join (Select *
                              From icstockbillEntry
                              Where FSourceTranType=85
                  ) S on M.FInterID=S.FInterID
                  Inner Join (Select *
                              From icmo
                              Where FCancellation = 0
                  ) C on S.FMOInterID=C.FInterID

                  Union all ---出库红单的费用

                  Select C.FItemID,C.FBatchNo,M.FDate,Round(S.FAmount,10) as FAmount
                  From (Select *
                        From icstockbill
                        Where FCancellation = 0
                              And FTranType=24 And FRob=-1
                              And (FStatus=1 or FStatus=2)
                  ) M
                  Inner Join (Select *
                              From icstockbillEntry
                              Where FSourceTranType=24
                  ) S on M.FInterID=S.FInterID
                  Inner Join (Select *
                              From icmo
                              Where FCancellation = 0
                  ) C on S.FMOInterID=C.FInterID

                  Union all ---入库红单的费用

                  Select C.FItemID,C.FBatchNo,M.FDate,abs(Round(S.FAmount,10)) as FAmount
                  From (Select *
                        From icstockbill
                        Where FCancellation = 0
                              And FTranType=2 And FRob=-1
                              And (FStatus=1 or FStatus=2)
                  ) M
                  Inner Join (Select *
                              From icstockbillEntry se
                              Where se.FSourceTranType=2
                                    And Exists(Select 1 From ICStockBill Where FTranType = 2 And FRob = 1 
                                               And (FStatus=1 or FStatus=2) And FCancellation = 0 
                                               And FDate<'2024-03-01' And se.FInterID =FInterID
                                              )
                  ) S on M.FInterID=S.FInterID
                  Inner Join (Select *
                              From icmo
                              Where FCancellation = 0
                  ) C on S.FMOInterID=C.FInterID

                  Union all ---以下是费用分担单的费用

                  Select S.FItemID,S.FBatchNo,M.FDate,
                         IsNull(S.FWorkFee,0) +
                         IsNull(S.FMakingFee,0) +
                         IsNull(S.FAuxMaterialFee,0) +
                         IsNull(S.FWaterElecFee,0) +
                         IsNull(S.FDepreciationFee,0) +
                         IsNull(s.FOtherFee, 0) As FAmount
                  From (Select *
                        From ICApportionFee
                        Where FCancellation = 0
                              And FTranType=87
                              And FStatus=1
                  ) M
                  Inner Join (Select *
                              From ICApportionFeeEntry
                              Where FSourceTranType=2
                  ) S on M.FInterID=S.FInterID

                  Union all

                  Select V.FItemID,V.FBatchno,V.FDate,abs(Round(V.FAmount,10)) as FAmount
                  From v_SCRed_StockBill V
                  Inner Join ICStockBillEntry E on V.FInterID=E.FInterID and V.FEntryID=E.FEntryID
                  Left Join t_MeasureUnit sa on sa.FMeasureUnitID=E.FunitID
                  Left Join t_icitem sb on E.FitemID= sb.FitemID
                  Left Join t_MeasureUnit sc on sc.FMeasureUnitID=sb.FStoreUnitID
                  Where V.FTranType=2  and V.FSrcDate<'2024-03-01' and V.FDate>='2024-03-01' and V.FDate<= '2024-03-31'           )P
           Where P.FDate>= '2024-03-01' and P.FDate<='2024-03-31'
           Group by P.FItemID,P.FBatchNo
) P On T.FItemID=P.FItemID and IsNull(T.FBatchNo,'')=IsNull(P.FBatchNo,'')
