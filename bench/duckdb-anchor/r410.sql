-- Report 410 (task orders due soon: unfinished orders whose planned finish is within the alarm
-- day count) for DuckDB: the batches orvdata sends for
--   orvdata report 410 --filter BWorkDate=${bdate} --filter EWorkDate=${edate}   (other keys at their defaults)
-- statement for statement. node run.mjs --set bdate=yyyy-mm-dd --set edate=yyyy-mm-dd (defaults: one year).
-- The first batch reads the alarm day count, which the service puts into the second as a literal
-- (--@set: run.mjs does the same with ${alarm_days}).
-- GETDATE() is the data source's clock (t_OrvClock.FToday); DATEDIFF(DAY, a, b) = b::date - a::date.
-- Decimal scales kept where a later ROUND depends on them (macros.sql):
--   decimal(28,10) / decimal(28,10) -> decimal(38,10) truncated; * 100 -> decimal(38,6) rounded
--   decimal(29,10) / decimal(28,10) -> decimal(38,9) truncated;  * 100 -> decimal(38,6) rounded
--   decimal(23,10) / decimal(23,10) -> decimal(38,15) truncated; * 100 -> decimal(38,11) rounded
-- Round(x, t1.FQtyDecimal) -> rnd(x, t1.FQtyDecimal) (DuckDB rounds a decimal to a constant
-- number of places only). CONVERT(char(10), d, 120) -> strftime(d, '%Y-%m-%d').
-- CHAR(255) -> chr(255) (U+00FF, above every other character on both engines). #Data -> data_.
-- ORDER BY adds NULLS FIRST.
--@default bdate 2024-06-16
--@default edate 2025-06-16

--@set alarm_days
SELECT FValue FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'ManufactureAlarmDateCount';

DROP TABLE IF EXISTS data_;
CREATE TEMP TABLE data_ (
  FInterID int NULL DEFAULT 0, FTranType int, FPItemID int NULL, FMOBillNO varchar(355) NULL,
  FPNumber varchar(355) NULL, FPNumberSort varchar(355) NULL, FPName varchar(355) NULL,
  FPShortNumber varchar(355) NULL, FPModel varchar(355) NULL, FBatchNo varchar(200) NULL,
  FPAuxPropName varchar(355) NULL, FPAuxUnitID int NULL, FPUnitName varchar(355),
  FPUnitID int NULL, FPAuxUnitName varchar(355), FDate timestamp(3), FPlanDate timestamp(3),
  FFinishDate timestamp(3), FAuxPlanQty DECIMAL(23,10), FPlanQty DECIMAL(23,10), FAuxFinishQty DECIMAL(23,10),
  FFinishQty DECIMAL(23,10), FUnFinishAuxQty DECIMAL(23,10), FUnFinishQty DECIMAL(23,10),
  FQtyDecimal int, FPriceDecimal int, FFinishRate DECIMAL(10,2), FFinishRateStr varchar(50),
  FUnFinishRate DECIMAL(10,2), FUnFinishRateStr varchar(50), FClosed varchar(355), FDept varchar(50),
  FEmp varchar(50), FExp varchar(500), FSumSort int DEFAULT 0, FPeriod int);

INSERT INTO data_ (FInterID, FTranType, FPItemID, FMOBillNO, FPNumber, FPNumberSort, FPName, FPShortNumber, FPModel,
  FBatchNo, FPAuxPropName, FPAuxUnitID, FPUnitID, FPAuxUnitName, FPUnitName, FDate, FPlanDate, FFinishDate,
  FAuxPlanQty, FPlanQty, FAuxFinishQty, FFinishQty, FUnFinishAuxQty, FUnFinishQty,
  FFinishRate, FUnFinishRate, FClosed, FDept, FEmp, FExp, FPeriod, FQtyDecimal, FPriceDecimal)
SELECT v1.FInterID, v1.FTranType, v1.FItemID, v1.FBillNo, t1.FNumber, t1.FNumber, t1.FName, t1.FShortNumber,
  t1.FModel, v1.FBatchNo, ta.FName, v1.FUnitID, t1.FUnitID, u1.FName, u2.FName,
  v1.FDate, v1.FPlanFinishDate, v1.FFinishDate,
  rnd(v1.FAuxQty, t1.FQtyDecimal),
  rnd(v1.FQty, t1.FQtyDecimal),
  rnd(v1.FAuxFinishQty, t1.FQtyDecimal),
  rnd(v1.FFinishQty, t1.FQtyDecimal),
  rnd(v1.FAuxQty - v1.FAuxFinishQty, t1.FQtyDecimal),
  rnd(v1.FQty - v1.FFinishQty, t1.FQtyDecimal),
  rnd(round(tdiv(v1.FAuxFinishQty, v1.FAuxQty, 10) * 100, 6), t1.FQtyDecimal),
  rnd(round(tdiv(v1.FAuxQty - v1.FAuxFinishQty, v1.FAuxQty, 9) * 100, 6), t1.FQtyDecimal),
  CASE coalesce(v1.FStatus, 0) WHEN 1 THEN '已审核' WHEN 2 THEN '已审核' WHEN 3 THEN '关闭' WHEN 0 THEN '未审核' ELSE '' END,
  td.FName, te.FName, v1.FExp,
  (extract(year FROM v1.FDate) * 100 + extract(month FROM v1.FDate))::int,
  t1.FQtyDecimal, t1.FPriceDecimal
FROM ICMO v1
  INNER JOIN t_ICItem t1 ON v1.FItemID = t1.FItemID
  INNER JOIN t_MeasureUnit u1 ON u1.FMeasureUnitID = v1.FUnitID
  INNER JOIN t_MeasureUnit u2 ON u2.FMeasureUnitID = t1.FUnitID
  LEFT JOIN t_AuxItem ta ON v1.FAuxPropID = ta.FItemID
  LEFT JOIN t_Emp te ON v1.FEmpID = te.FItemID
  LEFT JOIN t_Department td ON v1.FDeptID = td.FItemID
WHERE v1.FFinishRate < 100
  AND v1.FPlanFinishDate::date - (SELECT FToday FROM t_OrvClock)::date <= ${alarm_days}
  AND strftime(v1.FBeginDate, '%Y-%m-%d') >= '${bdate}' AND strftime(v1.FBeginDate, '%Y-%m-%d') <= '${edate}'
  AND strftime(v1.FPlanFinishDate, '%Y-%m-%d') >= '1900-01-01' AND strftime(v1.FPlanFinishDate, '%Y-%m-%d') <= '2099-12-31'
  AND v1.FCancellation = 0;

-- subtotals
INSERT INTO data_ (FPeriod, FPNumberSort, FPNumber, FAuxPlanQty, FPlanQty, FAuxFinishQty, FFinishQty, FUnFinishAuxQty,
  FUnFinishQty, FSumSort)
SELECT FPeriod, FPNumber, '小计', sum(FAuxPlanQty), sum(FPlanQty), sum(FAuxFinishQty), sum(FFinishQty),
  sum(FUnFinishAuxQty), sum(FUnFinishQty), 102
FROM data_ GROUP BY FPeriod, FPNumber;
UPDATE data_ SET FFinishRate = round(round(tdiv(FAuxFinishQty, FAuxPlanQty, 15) * 100, 11), 4),
  FUnFinishRate = round(round(tdiv(FUnFinishAuxQty, FAuxPlanQty, 15) * 100, 11), 4)
WHERE FSumSort = 102;
-- totals
INSERT INTO data_ (FPeriod, FPNumberSort, FPNumber, FAuxPlanQty, FPlanQty, FAuxFinishQty, FFinishQty, FUnFinishAuxQty,
  FUnFinishQty, FSumSort)
SELECT FPeriod, chr(255), '合计', sum(FAuxPlanQty), sum(FPlanQty), sum(FAuxFinishQty), sum(FFinishQty),
  sum(FUnFinishAuxQty), sum(FUnFinishQty), 101
FROM data_ WHERE FSumSort = 0 GROUP BY FPeriod;
UPDATE data_ SET FFinishRate = round(round(tdiv(FAuxFinishQty, FAuxPlanQty, 15) * 100, 11), 4),
  FUnFinishRate = round(round(tdiv(FUnFinishAuxQty, FAuxPlanQty, 15) * 100, 11), 4)
WHERE FSumSort = 101;
UPDATE data_ SET FFinishRateStr = FFinishRate::varchar(50) || '', FUnFinishRateStr = FUnFinishRate::varchar(50) || '';
UPDATE data_ SET FQtyDecimal = 4, FPriceDecimal = 4 WHERE FSumSort = 102 OR FSumSort = 101;

--@result
SELECT * FROM data_
ORDER BY FPeriod NULLS FIRST, FPNumberSort NULLS FIRST, FSumSort NULLS FIRST, FDate NULLS FIRST, FMOBillNO NULLS FIRST;
DROP TABLE data_;
