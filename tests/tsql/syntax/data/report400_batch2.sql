select * from #Data  where 1=1  and   FSumSort <>102   order by FIsTotal,FNameSort desc,FMOBillNOSort,FGroupSort
drop table #T400
drop table #T400_1
drop table #data