--9.更新期末在产品成本价--成本价=期末在产品金额/期末在产品数量
Update #T499Detail Set FPeriodEndPrice=Round(FPeriodEndCost/FPeriodEndNum,t.FPriceDecimal)
From #T499Detail D
Inner Join t_ICItem t On D.FItemID=t.FItemID
Where D.FPeriodEndNum<>0

Insert Into #T499 select * From #T499Detail Where FNumber Between '1.01' and '1.09'