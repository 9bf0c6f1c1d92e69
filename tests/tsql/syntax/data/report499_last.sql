Select * From #DATA
If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA
If Object_ID('tempdb..#T499') Is Not Null Drop Table #T499
If Object_ID('tempdb..#T499Detail') Is Not Null Drop Table #T499Detail
If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp
If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable
