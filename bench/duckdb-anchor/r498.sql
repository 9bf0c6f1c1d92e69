-- Report 498 (period product cost) for DuckDB: the batches `orvdata report 498 --sql` sends,
-- statement for statement and in the same order, over the company tables as `duckdb-anchor.sh load` makes them.
--
-- Run with run.mjs (parameters are --set NAME=VALUE; defaults: period 2025/5, no conditions):
--   node run.mjs --db large.duckdb --sql r498.sql --out r498.csv
--   ... --set "filter=And Mx.FNumber between '01.01.0001' and '01.01.0009'"   (BItemNumber/EItemNumber)
--   ... --set "filter=And Mx.FBatchNo='B2505-03'"                             (BatchNo)
-- d0/d1: the period's first and last day (GetCurDate); filter: the text orvdata appends to the
-- WHERE of the detail insert for the conditions; the result rows go to --out as CSV with a
-- header (NULL and the empty text are both an empty field unless --null is given, e.g.
-- --null '\N' as duckdb-anchor.sh check does);
-- div: how a decimal quotient is cut to its T-SQL result scale: tdiv (default: what orvdata's
-- engine does, e.g. 1.67574/10000 in decimal(38,10) -> 0.000167) or rdiv (rounded: the other
-- reading of the scale rules; see README.md). Both are macros.sql.
--
-- Translation notes (T-SQL -> DuckDB):
-- * #T498 -> temporary table tmp_t498; If Object_ID(...) Drop -> DROP TABLE IF EXISTS.
-- * decimal(p,s) -> DECIMAL(p,s); the column types of #T498 are kept, so every stored value has
--   the scale T-SQL gives it (assignment rounds half away from zero in both).
-- * Division: T-SQL types decimal(28,10)/decimal(28,10) and decimal(28,10)/decimal(23,10) as
--   decimal(38,10) (scale max(6,s1+p2+1) cut back to 38-(integral digits) = 10) and cuts the
--   quotient to 10 places before the outer Round; DuckDB would divide in DOUBLE.
--   ${div}(a, b, 10) computes the 10-place quotient exactly (in HUGEINT), so a price or quantity
--   that is exactly on a half at the outer precision only after the 10th place comes out as on
--   the engine.
-- * Round(x,n) on a decimal rounds half away from zero in both; a column n (FQtyDecimal,
--   FPriceDecimal) goes through rnd(x, n), as DuckDB takes a constant n only.
-- * UPDATE t SET ... FROM t AS a JOIN s ON ... -> UPDATE t a SET ... FROM s WHERE ...; the
--   fee sums are grouped by (FItemID,FBatchNo) and #T498 holds one row per (FItemID,FBatchNo),
--   so every target row has at most one source row (no arbitrary pick).
-- * Text comparison: the join on FBatchNo and the item-number range compare in code-point order
--   and case-sensitively here; the engine's collation is case-insensitive and ignores trailing
--   blanks. The demo and large data have no lower-case letters or trailing blanks in those
--   columns (duckdb-anchor.sh load checks), so both give the same matches.
--@default d0 2025-05-01
--@default d1 2025-05-31
--@default div tdiv
--@default filter

-- batch 1
--创建临时表
DROP TABLE IF EXISTS tmp_t498;

CREATE TEMP TABLE tmp_t498(
   FItemID int NULL,
   FNumber varchar(255) NULL,
   FName varchar(255) NULL,
   FModel varchar(255),
   FBatchNo varchar(255),
   FUnit varchar(255),
   FInNum DECIMAL(23,10) DEFAULT 0,
   FPrice DECIMAL(23,10) DEFAULT 0,
   FMarterialFee DECIMAL(28,10) DEFAULT 0,
   FAuxMarterialFee DECIMAL(28,10) DEFAULT 0,
   FWorkFee DECIMAL(28,10) DEFAULT 0,
   FMakingFee DECIMAL(28,10) DEFAULT 0,
   FDepreciationFee DECIMAL(28,10) DEFAULT 0,
   FWaterElecFee DECIMAL(28,10) DEFAULT 0,
   FOtherFee DECIMAL(28,10) DEFAULT 0,
   FTotalFee DECIMAL(28,10) DEFAULT 0,
   FSumSort smallint NOT NULL DEFAULT 0
);

--明细插入临时表
INSERT INTO tmp_t498(FItemID,FNumber,FName,FModel,FUnit,FBatchNo,FInNum,FTotalFee)
SELECT Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo,sum(Mx.FQty) AS FQty,sum(Mx.FAmount) AS FAmount
FROM (
   --产品入库单(蓝单)明细
   SELECT C.FNumber,E.FItemID,C.FName,C.FModel,MO.FBatchNo,U.FName AS FUnit,
          rnd(${div}(E.FQty, U.FCoefficient, 10),C.FQtyDecimal) AS FQty,round(E.FAmount,10) AS FAmount,M.FDate
   FROM ICStockBill            M
   INNER JOIN ICStockBillEntry E  ON M.FInterID=E.FInterID
   INNER JOIN ICMO             MO ON E.FSourceInterId=MO.FInterID
   INNER JOIN (SELECT * FROM t_Stock WHERE FTypeID<>502) S ON E.FDCStockID=S.FItemID
   INNER JOIN T_ICItem         C  ON E.FItemID=C.FItemID
   INNER JOIN t_MeasureUnit    U  ON C.FStoreUnitID=U.FItemID
   WHERE M.FTranType=2 AND M.FROB=1 AND E.FSourceTranType=85 AND E.FQty<>0
   AND M.FCancellation=0 AND MO.FCancellation=0 AND M.FStatus=1

   UNION ALL

   --产品入库单(红单)明细
   SELECT C.FNumber,E.FItemID,C.FName,C.FModel,BE.FBatchNo,U.FName AS FUnit,
          rnd(${div}(E.FQty, U.FCoefficient, 10),C.FQtyDecimal) AS FQty,round(E.FAmount,10) AS FAmount,M.FDate
   FROM ICStockBill M
   INNER JOIN ICStockBillEntry E ON M.FInterID=E.FInterID
   INNER JOIN (
       SELECT DISTINCT M.FInterID,MO.FBatchNo,E.FItemID
       FROM ICStockBill            M
       INNER JOIN ICStockBillEntry E  ON M.FInterID=E.FInterID
       INNER JOIN ICMO             MO ON E.FSourceInterId=MO.FInterID
       WHERE M.FTranType = 2 AND M.FROB = 1 AND E.FSourceTranType = 85 AND M.FDate>= '${d0}' AND M.FDate<='${d1}'
   ) BE ON BE.FInterID=E.FSourceInterId AND BE.FItemID=E.FItemID
   INNER JOIN (SELECT * FROM t_Stock WHERE FTypeID<>502) S ON E.FDCStockID=S.FItemID
   INNER JOIN T_ICItem      C ON E.FItemID=C.FItemID
   INNER JOIN t_MeasureUnit U ON C.FStoreUnitID=U.FItemID
   WHERE M.FTranType=2 AND M.FROB= -1 AND E.FSourceTranType=2 AND E.FQty<>0 AND M.FCancellation=0 AND M.FStatus=1
) Mx
INNER JOIN T_ICItem t1 ON Mx.FItemID=t1.FItemID
WHERE Mx.FDate>= '${d0}' AND Mx.FDate<='${d1}'
${filter}
GROUP BY Mx.FItemID,Mx.FNumber,Mx.FName,Mx.FModel,Mx.FUnit,Mx.FBatchNo;

UPDATE tmp_t498 T SET FAuxMarterialFee=F.FAuxMaterialFeeSum,
   FWorkFee=F.FWorkFeeSum,
   FMakingFee=F.FMakingFeeSum,
   FDepreciationFee=F.FDepreciationFeeSum,
   FWaterElecFee=F.FWaterElecFeeSum,
   FOtherFee = F.FOtherFeeSum
FROM (
   SELECT FItemID,FBatchNo,sum(round(FWorkFee,10)) AS FWorkFeeSum,
       sum(round(FMakingFee,10)) AS FMakingFeeSum,
       sum(round(FAuxMaterialFee,10)) AS FAuxMaterialFeeSum,
       sum(round(FWaterElecFee,10)) AS FWaterElecFeeSum,
       sum(round(FDepreciationFee,10)) AS FDepreciationFeeSum,
       sum(round(FOtherFee,10)) AS FOtherFeeSum
   FROM ICApportionFeeEntry
   WHERE FSourceTranType = 2
   AND FInterID IN (SELECT FInterID FROM ICApportionFee WHERE FTranType = 87 AND FStatus=1 AND FDate>= '${d0}' AND FDate<='${d1}')
   GROUP BY FItemID,FBatchNo
) F
WHERE T.FItemID=F.FItemID AND T.FBatchNo=F.FBatchNo;

--更新材料费用
UPDATE tmp_t498 SET FMarterialFee=FTotalFee-FAuxMarterialFee-FWorkFee-FMakingFee-FDepreciationFee-FWaterElecFee-FOtherFee;

--更新产品单价
UPDATE tmp_t498 M SET FPrice=(CASE WHEN M.FInNum<>0 THEN rnd(${div}(M.FTotalFee, M.FInNum, 10),t1.FPriceDecimal) ELSE 0 END)
FROM T_ICItem t1
WHERE M.FItemID=t1.FItemID;

-- batch 2
--@result
SELECT * FROM tmp_t498;
DROP TABLE tmp_t498;
