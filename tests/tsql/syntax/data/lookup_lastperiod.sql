Select Top 1 * From t_PeriodDate
Where RTrim(cast(Fyear as varchar(5)))+ right('0' + cast(FPeriod as varchar(5)),2) <'202403'
Order by FYear Desc,FPeriod Desc