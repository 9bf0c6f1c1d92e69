-- Report 401 (task order totals per item, with the standard client fragments: Select/Groupby
-- group by item number, ITEMFILTER always true) for DuckDB: the batches orvdata sends for
--   orvdata report 401 --filter BDate=${bdate} --filter EDate=${edate}   (other keys at their defaults)
-- statement for statement. node run.mjs --set bdate=yyyy-mm-dd --set edate=yyyy-mm-dd (defaults: one year).
-- Decimal scales kept where the ROUND depends on them (macros.sql):
--   decimal(28,10) / decimal(28,10) -> decimal(38,10), truncated   (tdiv(a, b, 10))
--   decimal(28,10) * decimal(23,10) -> decimal(38,6), rounded      (round(x, 6))
-- Round(x, t1.FQtyDecimal) -> rnd(x, t1.FQtyDecimal) (DuckDB rounds a decimal to a constant
-- number of places only). Temp tables: #T401 -> t401, #DATA -> data_; SELECT ... INTO #DATA ->
-- CREATE TEMP TABLE data_ AS SELECT. ORDER BY adds NULLS FIRST (NULL sorts first on the engine).
--@default bdate 2024-06-16
--@default edate 2025-06-16

DROP TABLE IF EXISTS t401; DROP TABLE IF EXISTS data_;
CREATE TEMP TABLE t401 (
  FItemID int NULL, FBatchNo varchar(200) NULL,
  FBaseQty DECIMAL(23,10) NOT NULL DEFAULT 0, FStockQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FFinishBQty DECIMAL(23,10) NOT NULL DEFAULT 0, FFinishSQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FUnFinishBQty DECIMAL(23,10) NOT NULL DEFAULT 0, FUnFinishSQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FDeptID int NULL, FEmpID int NULL);

INSERT INTO t401 (FItemID, FBatchNo, FBaseQty, FFinishBQty, FDeptID, FStockQty, FFinishSQty, FEmpID)
SELECT v1.FItemID, v1.FBatchNo, rnd(v1.FQty, t1.FQtyDecimal), rnd(v1.FFinishQty, t1.FQtyDecimal), v1.FDeptID,
       rnd(round(FAuxQty * tdiv(tmB.FCoefficient, tmS.FCoefficient, 10)::DECIMAL(23,10), 6), t1.FQtyDecimal),
       rnd(round(FAuxFinishQty * tdiv(tmB.FCoefficient, tmS.FCoefficient, 10)::DECIMAL(23,10), 6), t1.FQtyDecimal),
       FEmpID
FROM ICMO v1
  INNER JOIN t_ICItem t1 ON v1.FItemID = t1.FItemID
  LEFT JOIN t_Department td ON td.FItemID = v1.FDeptID
  LEFT JOIN t_Emp te ON te.FItemID = v1.FEmpID
  INNER JOIN t_MeasureUnit tmB ON tmB.FMeasureUnitID = v1.FUnitID
  INNER JOIN t_MeasureUnit tmS ON tmS.FMeasureUnitID = t1.FStoreUnitID
WHERE 1 = 1
  AND strftime(v1.FDate, '%Y-%m-%d') >= '${bdate}' AND strftime(v1.FDate, '%Y-%m-%d') <= '${edate}'
  AND v1.FCancellation = 0
ORDER BY v1.FDate, v1.FInterID, v1.FItemID;

CREATE TEMP TABLE data_ AS
SELECT t2.FNumber AS FItemNumber,
  sum(t1.FBaseQty)::DECIMAL(23,10) AS FBaseQty,
  sum(t1.FFinishBQty)::DECIMAL(23,10) AS FFinishBQty,
  sum(t1.FUnFinishBQty)::DECIMAL(23,10) AS FUnFinishBQty,
  sum(t1.FStockQty)::DECIMAL(23,10) AS FStockQty,
  sum(t1.FFinishSQty)::DECIMAL(23,10) AS FFinishSQty,
  sum(t1.FUnFinishSQty)::DECIMAL(23,10) AS FUnFinishSQty,
  NULL::varchar(255) AS FItemShortNumber,
  NULL::varchar(255) AS FItemName,
  NULL::varchar(255) AS FModel,
  NULL::varchar(255) AS FBaseUnitName,
  NULL::varchar(255) AS FFinishBUnitName,
  NULL::varchar(255) AS FUnFinishBUnitName,
  NULL::varchar(255) AS FStockUnitName,
  NULL::varchar(255) AS FFinishSUnitName,
  NULL::varchar(255) AS FUnFinishSUnitName,
  NULL::smallint AS FQtyDecimal,
  NULL::smallint AS FPriceDecimal
FROM t401 t1
  INNER JOIN t_ICItem t2 ON t1.FItemID = t2.FItemID
WHERE 1 = 1 AND 1 = 1
GROUP BY t2.FNumber;

UPDATE data_ SET FUnFinishBQty = FBaseQty - FFinishBQty, FUnFinishSQty = FStockQty - FFinishSQty;

UPDATE data_ t1 SET FItemShortNumber = t2.FShortNumber, FItemName = t2.FName, FModel = t2.FModel
FROM t_ICItem t2 WHERE t1.FItemNumber = t2.FNumber;

UPDATE data_ t1 SET FBaseUnitName = (CASE WHEN t1.FBaseQty <> 0 THEN t3.FName END),
  FFinishBUnitName = (CASE WHEN t1.FFinishBQty <> 0 THEN t3.FName END),
  FUnFinishBUnitName = (CASE WHEN t1.FUnFinishBQty <> 0 THEN t3.FName END),
  FStockUnitName = (CASE WHEN t1.FStockQty <> 0 THEN t6.FName END),
  FFinishSUnitName = (CASE WHEN t1.FFinishSQty <> 0 THEN t6.FName END),
  FUnFinishSUnitName = (CASE WHEN t1.FUnFinishSQty <> 0 THEN t6.FName END)
FROM t_ICItem t2, t_MeasureUnit t3, t_MeasureUnit t6
WHERE t1.FItemNumber = t2.FNumber AND t2.FUnitID = t3.FMeasureUnitID AND t2.FStoreUnitID = t6.FMeasureUnitID;

UPDATE data_ SET FQtyDecimal = t1.FQtyDecimal, FPriceDecimal = t1.FPriceDecimal
FROM t_ICItem t1 WHERE t1.FNumber = data_.FItemNumber;
--@result
SELECT * FROM data_ ORDER BY FItemNumber NULLS FIRST;
DROP TABLE IF EXISTS t401;
