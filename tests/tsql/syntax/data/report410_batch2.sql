select * from #Data order by FPeriod,FPNumberSort,FSumSort,FDate,FMOBillNO 
drop table #data