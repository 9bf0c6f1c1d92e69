-- Report 499 (work-in-process roll-forward) for DuckDB: the batches `orvdata report 499 --sql`
-- sends with the standard client fragments, statement for statement and in the same order,
-- over the company tables as `duckdb-anchor.sh load` makes them.
--
-- Run with run.mjs (parameters are --set NAME=VALUE; defaults: period 2025/5, no conditions):
--   node run.mjs --db large.duckdb --sql r499.sql --out r499.csv
--   ... --set "filter=Where FNumber Between '01.01.0001' and '01.01.0009'"   (BItemNumber/EItemNumber)
-- y/p: the report period; py/pp: the period before it (GetLastPeriod); d0/d1: the period's first
-- and last day (GetCurDate); filter: the text orvdata appends to "Insert Into #T499 select * From
-- #T499Detail" for the item range. The final rows go to --out (CSV with a header; NULL and the
-- empty text are both an empty field unless --null is given, e.g. --null '\N' as
-- duckdb-anchor.sh check does). The candidate rows of batch 3 and the first select of #DATA
-- are read in full and dropped, as the engine sends them to a client that does not keep them.
-- div: how a decimal quotient is cut to its T-SQL result scale: tdiv (default: what orvdata's
-- engine does, e.g. 1.67574/10000 in decimal(38,10) -> 0.000167) or rdiv (rounded: the other
-- reading of the scale rules; see README.md). Every quotient below is written ${div}(a, b, scale);
-- both macros are in macros.sql and compute the quotient exactly (DuckDB's own DECIMAL / DECIMAL
-- is a DOUBLE).
--
-- Translation notes (T-SQL -> DuckDB):
-- * #X -> temporary table tmp_x; If Object_ID(...) Drop -> DROP TABLE IF EXISTS; Set Nocount ON
--   has no counterpart. Batches 4 to 13 run only when batch 3 returned rows, as orvdata runs
--   them (--@set has_candidates from an EXISTS, then --@if has_candidates).
-- * #Temp/#TempTable keep FItemID and FUnit as varchar: the int ids are stored as their text
--   (::varchar) and compared/converted back with ::int where T-SQL converts the varchar side
--   implicitly (varchar ranks below int).
-- * IsNull(a,b) -> coalesce(a,b); with a decimal(28,10) first argument both give that value.
-- * Round(x, n) with a column n (FQtyDecimal, FPriceDecimal) -> rnd(x, n): DuckDB rounds a
--   decimal to a constant number of places only; rnd rounds half away from zero, as T-SQL.
-- * decimal arithmetic. T-SQL types each product and quotient and cuts it to the result scale;
--   four of them can change a value here, so they are written out:
--   - decimal(28,10)*decimal(28,10) (FMOQty/FAuxQty times a coefficient) is decimal(38,6): 57
--     digits, scale 20, 37 integral digits > 32, so the scale drops to 6 and the product is
--     rounded to 6 places before the Cast to decimal(23,10) -> round(a*b,6)::DECIMAL(23,10)
--     (DuckDB's product is exact, DECIMAL(38,20)).
--   - decimal(23,10)/decimal(28,10) (that cast divided by the stock unit's coefficient) is
--     decimal(38,15) -> ${div}(...,15) before the outer Round to FQtyDecimal.
--   - decimal(28,10)/decimal(23,10) (cost / quantity per detail row) is decimal(38,10) ->
--     ${div}(...,10) before the outer Round to FPriceDecimal.
--   - In #DATA, Sum() of decimal(23,10)/(28,10) is decimal(38,10), and decimal(38,10)/
--     decimal(38,10) is decimal(38,6) (38 integral digits > 32): the unit prices there are
--     cut to 6 places before the Round to FPriceDecimal -> ${div}(sum,sum,6). Where the item
--     is missing (IsNull(Max(FPriceDecimal),10)) the price therefore has 6 decimals, not 10.
--   The sums are cast to DECIMAL(38,10) so that #DATA has the column types SELECT INTO gives.
-- * UPDATE t SET ... FROM t AS a JOIN s ON ... -> UPDATE t a SET ... FROM s WHERE ...
--   Where several source rows match one target row each engine uses an undefined one of them.
--   That happens here: every update matches on IsNull(FBatchNo,''), and a batch-less item can
--   have a source row with batch NULL and one with batch '' (t_ICProduction and t_ICPPrice hold
--   such pairs; the grouped sources of steps 3, 4 and 5/6 group NULL and '' apart), so those
--   columns of the detail rows with batch NULL or '' depend on which row each engine takes.
--   duckdb-anchor.sh check therefore reports some differing rows of 499; see README.md.
-- * Text comparison: code-point order, case-sensitive here, case-insensitive and
--   trailing-blank-insensitive on the engine; the data has neither case nor blank variants in
--   the compared columns (duckdb-anchor.sh load checks). ORDER BY FNumber gets NULLS FIRST
--   (T-SQL sorts NULL lowest).
--@default y 2025
--@default p 5
--@default py 2025
--@default pp 4
--@default d0 2025-05-01
--@default d1 2025-05-31
--@default div tdiv
--@default filter

-- batch 1
DROP TABLE IF EXISTS tmp_t499detail;
CREATE TEMP TABLE tmp_t499detail(
        FNumber varchar(255) NULL,
        FItemID int NULL,
        FName varchar(255) NULL,
        FModel  varchar(255),
        FBatchNo  varchar(255),
        FUnit varchar(255),
        FPeriodStartNum DECIMAL(23,10) DEFAULT 0,
        FPeriodStartCost DECIMAL(28,10) DEFAULT 0,
        FCurInNum  DECIMAL(23,10) DEFAULT 0,
        FCurInCost  DECIMAL(28,10) DEFAULT 0,
        FCurOutNum DECIMAL(23,10) DEFAULT 0,
        FCurOutPrice DECIMAL(23,10) DEFAULT 0,
        FCurOutCost  DECIMAL(28,10) DEFAULT 0,
        FPeriodEndNum DECIMAL(23,10) DEFAULT 0,
        FPeriodEndPrice DECIMAL(23,10) DEFAULT 0,
        FPeriodEndCost DECIMAL(28,10) DEFAULT 0,
        FSumSort smallint NOT NULL DEFAULT 0
);

-- batch 2
DROP TABLE IF EXISTS tmp_t499;
CREATE TEMP TABLE tmp_t499(
        FNumber varchar(255) NULL,
        FItemID int NULL,
        FName varchar(255) NULL,
        FModel  varchar(255),
        FBatchNo  varchar(255),
        FUnit varchar(255),
        FPeriodStartNum DECIMAL(23,10) DEFAULT 0,
        FPeriodStartCost DECIMAL(28,10) DEFAULT 0,
        FCurInNum  DECIMAL(23,10) DEFAULT 0,
        FCurInCost  DECIMAL(28,10) DEFAULT 0,
        FCurOutNum DECIMAL(23,10) DEFAULT 0,
        FCurOutPrice DECIMAL(23,10) DEFAULT 0,
        FCurOutCost  DECIMAL(28,10) DEFAULT 0,
        FPeriodEndNum DECIMAL(23,10) DEFAULT 0,
        FPeriodEndPrice DECIMAL(23,10) DEFAULT 0,
        FPeriodEndCost DECIMAL(28,10) DEFAULT 0,
        FSumSort smallint NOT NULL DEFAULT 0
);

-- batch 3
DROP TABLE IF EXISTS tmp_temptable;
CREATE TEMP TABLE tmp_temptable(FItemID varchar(255),FNumber varchar(255),FName varchar(255),FModel varchar(255),FUnit varchar(255),FBatchNo varchar(255));

DROP TABLE IF EXISTS tmp_temp;
CREATE TEMP TABLE tmp_temp(FItemID varchar(255),FBatchNo varchar(255));

--源单是生产任务单的蓝单领料单(FTranType=24)或产品入库单(FTranType=2)明细插入临时表
INSERT INTO tmp_temp(FItemID,FBatchNo)
SELECT v2.FItemID::varchar,v2.FBatchNo
FROM ICStockBillEntry  u1
INNER JOIN ICStockBill v1 ON u1.FInterID = v1.FInterID
INNER JOIN ICMO v2 ON v2.FInterID=u1.FSourceInterID
WHERE v1.FCancellation=0 AND v2.FCancellation=0 AND v1.FStatus=1 AND u1.FSourceInterID>0
  AND ( 1=0  OR v1.FTranType=2 OR v1.FTranType=24)
  AND u1.FSourceTranType=85
  AND (v1.FDate>='${d0}'
  AND v1.FDate<='${d1}')
 AND v1.FRob=1;

--源单是产品入库单蓝单(源单是生产任务单)的产品入库单红单的明细插入临时表
INSERT INTO tmp_temp(FItemID,FBatchNo)
SELECT DISTINCT v2.FItemID::varchar,v2.FBatchNo
FROM ICStockBillEntry RedEntry
INNER JOIN ICStockBill Red ON Red.FInterID = RedEntry.FInterID
INNER JOIN ICStockBill Blue ON Blue.FInterID = RedEntry.FSourceInterID
INNER JOIN ICStockBillEntry BlueEntry ON BlueEntry.FInterID = Blue.FInterID
INNER JOIN ICMO v2 ON v2.FInterID=BlueEntry.FSourceInterID
WHERE v2.FCancellation=0 AND Red.FCancellation=0 AND Red.FStatus=1 AND Blue.FStatus=1
  AND RedEntry.FSourceTranType = 2 AND BlueEntry.FSourceTranType = 85
  AND Red.FRob = -1 --红
  AND Blue.FRob=1 --兰
  AND Red.FTranType=2
  AND Blue.FTranType=2
  AND (Red.FDate>='${d0}'
  AND  Red.FDate<='${d1}') AND RedEntry.FMOInterid=v2.FInterID;

--源单是领料单蓝单(源单是生产任务单)的领料单红单的明细插入临时表
INSERT INTO tmp_temp(FItemID,FBatchNo)
SELECT DISTINCT v2.FItemID::varchar,v2.FBatchNo
FROM ICStockBillEntry RedEntry
INNER JOIN ICStockBill Red ON Red.FInterID = RedEntry.FInterID
INNER JOIN ICStockBill Blue ON Blue.FInterID = RedEntry.FSourceInterID
INNER JOIN ICStockBillEntry BlueEntry ON BlueEntry.FInterID = Blue.FInterID
INNER JOIN ICMO v2 ON v2.FInterID=BlueEntry.FSourceInterID
WHERE v2.FCancellation=0 AND Red.FCancellation=0 AND Red.FStatus=1 AND Blue.FStatus=1
  AND RedEntry.FSourceTranType = 24 AND BlueEntry.FSourceTranType = 85
  AND Red.FRob = -1 --红
  AND Blue.FRob=1 --兰
  AND Red.FTranType=24
  AND Blue.FTranType=24
  AND (Red.FDate>='${d0}'
  AND  Red.FDate<='${d1}') AND RedEntry.FMOInterid=v2.FInterID;

--上一期及当期在产品产量表
INSERT INTO tmp_temp(FItemID,FBatchNo)
SELECT FItemID::varchar,FBatchNo
FROM t_ICProduction
WHERE (FYear=${py} AND FPeriod=${pp} AND (FPeriodEndNum<>0 OR FPeriodEndCost<>0))
   OR (FYear=${y} AND FPeriod=${p} AND (FPeriodStartNum<>0 OR FPeriodStartCost<>0));

--上一期间产品成本表
INSERT INTO tmp_temp(FItemID,FBatchNo)
SELECT FItemID::varchar,FBatchNo
FROM t_ICPPrice
WHERE FYear=${py} AND FPeriod=${pp} AND FPeriodEndCost<>0;

INSERT INTO tmp_temptable(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)
SELECT t.FItemID::varchar,t.FNumber,t.FName,t.FModel,t.FStoreUnitID::varchar,v.FBatchNo
FROM T_ICItem t
RIGHT JOIN (SELECT DISTINCT FItemID,FBatchNo FROM tmp_temp) v ON v.FItemID::int=t.FItemID;
SELECT * FROM tmp_temptable;

--@set has_candidates
SELECT EXISTS (SELECT 1 FROM tmp_temptable) AS has_candidates;
--@if has_candidates
-- batch 4
--先将产成品的基本信息插入表中
INSERT INTO tmp_t499detail(FItemID,FNumber,FName,FModel,FUnit,FBatchNo)
SELECT FItemID::int,FNumber,FName,FModel,FUnit,FBatchNo FROM tmp_temptable;

-- batch 5
--1.更新期初在产品数量
UPDATE tmp_t499detail T SET FPeriodStartNum=P.FPeriodEndNum
FROM (SELECT p1.FInterID,p1.FItemID,p1.FBatchNo,rnd(p1.FPeriodEndNum,t1.FQtyDecimal) AS FPeriodEndNum
      FROM t_ICProduction p1
      INNER JOIN t_ICItem t1 ON p1.FItemID=t1.FItemID
      WHERE p1.FYear=${py} AND p1.FPeriod=${pp}
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 6
--2.更新期初在产品金额
UPDATE tmp_t499detail T SET FPeriodStartCost=round(P.FPeriodEndCost,10)
FROM (SELECT * FROM t_ICPPrice
      WHERE FYear=${py} AND FPeriod=${pp}
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 7
--3.更新本期投入金额
UPDATE tmp_t499detail T SET FCurInCost=P.FSumAmount
FROM (SELECT P.FItemID,P.FBatchNo,sum(P.FAmount) AS FSumAmount
      FROM (      ---出库蓝单的费用
            SELECT C.FItemID,C.FBatchNo,M.FDate,round(S.FAmount,10) AS FAmount
            FROM (SELECT *
                  FROM icstockbill
                  WHERE FCancellation = 0
                        AND FTranType=24 AND FRob=1
                        AND (FStatus=1 OR FStatus=2)
            ) M
            INNER JOIN (SELECT *
                        FROM icstockbillEntry
                        WHERE FSourceTranType=85
            ) S ON M.FInterID=S.FInterID
            INNER JOIN (SELECT *
                        FROM icmo
                        WHERE FCancellation = 0
            ) C ON S.FMOInterID=C.FInterID

            UNION ALL ---出库红单的费用

            SELECT C.FItemID,C.FBatchNo,M.FDate,round(S.FAmount,10) AS FAmount
            FROM (SELECT *
                  FROM icstockbill
                  WHERE FCancellation = 0
                        AND FTranType=24 AND FRob=-1
                        AND (FStatus=1 OR FStatus=2)
            ) M
            INNER JOIN (SELECT *
                        FROM icstockbillEntry
                        WHERE FSourceTranType=24
            ) S ON M.FInterID=S.FInterID
            INNER JOIN (SELECT *
                        FROM icmo
                        WHERE FCancellation = 0
            ) C ON S.FMOInterID=C.FInterID

            UNION ALL ---入库红单的费用

            SELECT C.FItemID,C.FBatchNo,M.FDate,abs(round(S.FAmount,10)) AS FAmount
            FROM (SELECT *
                  FROM icstockbill
                  WHERE FCancellation = 0
                        AND FTranType=2 AND FRob=-1
                        AND (FStatus=1 OR FStatus=2)
            ) M
            INNER JOIN (SELECT *
                        FROM icstockbillEntry se
                        WHERE se.FSourceTranType=2
                              AND EXISTS(SELECT 1 FROM ICStockBill WHERE FTranType = 2 AND FRob = 1
                                         AND (FStatus=1 OR FStatus=2) AND FCancellation = 0
                                         AND FDate<'${d0}' AND se.FInterID =FInterID
                                        )
            ) S ON M.FInterID=S.FInterID
            INNER JOIN (SELECT *
                        FROM icmo
                        WHERE FCancellation = 0
            ) C ON S.FMOInterID=C.FInterID

            UNION ALL ---以下是费用分担单的费用

            SELECT S.FItemID,S.FBatchNo,M.FDate,
                   coalesce(S.FWorkFee,0) +
                   coalesce(S.FMakingFee,0) +
                   coalesce(S.FAuxMaterialFee,0) +
                   coalesce(S.FWaterElecFee,0) +
                   coalesce(S.FDepreciationFee,0) +
                   coalesce(S.FOtherFee, 0) AS FAmount
            FROM (SELECT *
                  FROM ICApportionFee
                  WHERE FCancellation = 0
                        AND FTranType=87
                        AND FStatus=1
            ) M
            INNER JOIN (SELECT *
                        FROM ICApportionFeeEntry
                        WHERE FSourceTranType=2
            ) S ON M.FInterID=S.FInterID

            UNION ALL

            SELECT V.FItemID,V.FBatchno,V.FDate,abs(round(V.FAmount,10)) AS FAmount
            FROM v_SCRed_StockBill V
            INNER JOIN ICStockBillEntry E ON V.FInterID=E.FInterID AND V.FEntryID=E.FEntryID
            LEFT JOIN t_MeasureUnit sa ON sa.FMeasureUnitID=E.FunitID
            LEFT JOIN t_icitem sb ON E.FitemID= sb.FitemID
            LEFT JOIN t_MeasureUnit sc ON sc.FMeasureUnitID=sb.FStoreUnitID
            WHERE V.FTranType=2  AND V.FSrcDate<'${d0}' AND V.FDate>='${d0}' AND V.FDate<= '${d1}'           ) P
      WHERE P.FDate>= '${d0}' AND P.FDate<='${d1}'
      GROUP BY P.FItemID,P.FBatchNo
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 8
--4.更新本期投入数量
UPDATE tmp_t499detail T SET FCurInNum=P.FMOQty
FROM (SELECT P.FMOItemID,P.FBatchNo,sum(FMOQty) AS FMOQty
      FROM (
            SELECT M.FMOItemID,M.FBatchNo,
                   rnd(${div}(round(M.FMOQty * coalesce(sa.FCoefficient,1),6)::DECIMAL(23,10), coalesce(sc.FCoefficient,1), 15),sb.FQtyDecimal) AS FMOQty
            FROM ICStockBill M
            LEFT JOIN t_MeasureUnit sa ON sa.FMeasureUnitID=M.FMOBaseUnitID
            LEFT JOIN t_icitem sb ON M.FMOitemID= sb.FitemID
            LEFT JOIN t_MeasureUnit sc ON sc.FMeasureUnitID=sb.FStoreUnitID
            WHERE FCancellation = 0 AND FTranType = 24
                  AND (FStatus=1 OR FStatus=2)
                  AND (EXISTS(SELECT 1 FROM ICStockBillEntry S1 WHERE FSourceTranType=85 AND M.FInterid=S1.FInterid)
                    OR EXISTS(SELECT 1 FROM ICStockBillEntry S1 WHERE FSourceTranType=24 AND M.FInterid=S1.FInterid)
                  )
                  AND FDate>= '${d0}' AND FDate<='${d1}'

            UNION ALL

            SELECT M.FMOItemID,M.FBatchNo,
                   rnd(abs(${div}(round(S.FAuxQty*coalesce(sa.FCoefficient,1),6)::DECIMAL(23,10), coalesce(sc.FCoefficient,1), 15)),sb.FQtyDecimal) AS FMOQty
            FROM icstockbillEntry   S
            LEFT JOIN t_MeasureUnit sa ON sa.FMeasureUnitID=S.FunitID
            LEFT JOIN t_icitem      sb ON S.FitemID= sb.FitemID
            LEFT JOIN t_MeasureUnit sc ON sc.FMeasureUnitID=sb.FStoreUnitID
            INNER JOIN (SELECT *
                        FROM ICStockBill
                        WHERE FTranType = 2 AND FRob = -1
                              AND (FStatus=1 OR FStatus=2) AND FCancellation = 0
                              AND FDate>= '${d0}' AND FDate<='${d1}'
            ) M ON S.FInterID =M.FInterID
            WHERE S.FSourceTranType = 2
                  AND EXISTS(SELECT 1
                             FROM icstockbillEntry Se
                             WHERE Se.FSourceTranType = 85
                                   AND EXISTS(SELECT 1
                                              FROM ICStockBill
                                              WHERE FTranType = 2 AND FRob = 1
                                                    AND (FStatus=1 OR FStatus=2) AND FCancellation = 0
                                                    AND FDate< '${d0}'
                                                    AND Se.FInterID =FInterID)
                                   AND EXISTS(SELECT 1 FROM icmo WHERE FCancellation = 0 AND Se.FSourceInterId=FInterID))

            UNION ALL

            SELECT V.FItemID,V.FBatchno,
                   rnd(abs(${div}(round(E.FAuxQty*coalesce(sa.FCoefficient,1),6)::DECIMAL(23,10), coalesce(sc.FCoefficient,1), 15)),sb.FQtyDecimal) AS FMOQty
            FROM v_SCRed_StockBill      V
            INNER JOIN ICStockBillEntry E  ON V.FInterID=E.FInterID AND V.FEntryID=E.FEntryID
            LEFT JOIN t_MeasureUnit     sa ON sa.FMeasureUnitID=E.FunitID
            LEFT JOIN t_icitem          sb ON E.FitemID= sb.FitemID
            LEFT JOIN t_MeasureUnit     sc ON sc.FMeasureUnitID=sb.FStoreUnitID
            WHERE V.FTranType=2 AND V.FSrcDate<'${d0}' AND V.FDate>='${d0}' AND V.FDate<= '${d1}'
      ) P
      INNER JOIN t_ICItem t ON P.FMOItemID=t.FItemID
      GROUP BY P.FMOItemID,P.FBatchNo
) P
WHERE T.FItemID=P.FMOItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 9
--5.更新本期产出数量
--6.更新本期产出成本价
UPDATE tmp_t499detail T SET FCurOutNum=P.FSumQty,FCurOutCost=P.FSumAmount
FROM (SELECT S.FItemID,S.FBatchNo,sum(S.FQty) AS FSumQty,sum(FAmount) AS FSumAmount
      FROM (
           SELECT S.FItemID,C.FBatchNo,M.FDate,
                  rnd(${div}(round(S.FAuxQty*coalesce(sa.FCoefficient,1),6)::DECIMAL(23,10), coalesce(sc.FCoefficient,1), 15),sb.FQtyDecimal) AS FQty,
                  round(S.FAmount,10) AS FAmount
           FROM (SELECT *
                 FROM icstockbillEntry
                 WHERE FSourceTranType=85
           ) S
           LEFT JOIN t_MeasureUnit sa ON sa.FMeasureUnitID=S.FunitID
           LEFT JOIN t_icitem sb ON S.FitemID= sb.FitemID
           LEFT JOIN t_MeasureUnit sc ON sc.FMeasureUnitID=sb.FStoreUnitID
           INNER JOIN (SELECT *
                       FROM icstockbill
                       WHERE FTranType = 2 AND FRob = 1
                         AND FCancellation = 0
                         AND (FStatus=1 OR FStatus=2)
           ) M ON S.FInterID =M.FInterID
           INNER JOIN (SELECT * FROM icmo WHERE FCancellation = 0) C ON S.FMOInterID=C.FInterID

           UNION ALL

           SELECT S.FItemID,C.FBatchNo,M.FDate,
                  rnd(${div}(round(S.FAuxQty*coalesce(sa.FCoefficient,1),6)::DECIMAL(23,10), coalesce(sc.FCoefficient,1), 15),sb.FQtyDecimal) AS FQty,
                  round(S.FAmount,10) AS FAmount
           FROM (SELECT *
                 FROM icstockbillEntry
                 WHERE FSourceTranType=2
           ) S
           LEFT JOIN t_MeasureUnit sa ON sa.FMeasureUnitID=S.FunitID
           LEFT JOIN t_icitem sb ON S.FitemID= sb.FitemID
           LEFT JOIN t_MeasureUnit sc ON sc.FMeasureUnitID=sb.FStoreUnitID
           INNER JOIN (SELECT *
                       FROM icstockbill
                       WHERE FTranType = 2 AND FRob = -1
                         AND FCancellation = 0
                         AND (FStatus=1 OR FStatus=2)
           ) M ON S.FInterID =M.FInterID
           INNER JOIN (SELECT *
                       FROM icmo
                       WHERE FCancellation = 0
           ) C ON S.FMOInterID=C.FInterID
           WHERE S.FSourceInterId IN (
               SELECT FInterID
               FROM ICStockBill
               WHERE FTranType = 2 AND FRob = 1
                 AND (FStatus=1 OR FStatus=2) AND FCancellation=0
                 AND FDate>='${d0}'
           )
          ) S
      INNER JOIN t_ICItem t ON S.FItemID=t.FItemID
      WHERE S.FDate>= '${d0}' AND S.FDate<='${d1}'
      GROUP BY S.FItemID,S.FBatchNo
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 10
UPDATE tmp_t499detail D SET FCurOutPrice=rnd(${div}(D.FCurOutCost, D.FCurOutNum, 10),t.FPriceDecimal)
FROM t_ICItem t
WHERE D.FItemID=t.FItemID
  AND D.FCurOutNum<>0;

-- batch 11
--7.更新期末在产品数量
UPDATE tmp_t499detail T SET FPeriodEndNum=P.FPeriodEndNum
FROM (SELECT p1.FInterID,p1.FItemID,p1.FBatchNo,rnd(p1.FPeriodEndNum,t1.FQtyDecimal) AS FPeriodEndNum
      FROM t_ICProduction p1
      INNER JOIN t_ICItem t1 ON p1.FItemID=t1.FItemID
      WHERE p1.FYear=${y} AND p1.FPeriod=${p}
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 12
--8.更新期末在产品金额
UPDATE tmp_t499detail T SET FPeriodEndCost=round(P.FPeriodEndCost,10)
FROM (SELECT FItemID,FBatchNo,FPeriodEndCost
      FROM t_ICPPrice
      WHERE FYear=${y} AND FPeriod=${p}
) P
WHERE T.FItemID=P.FItemID AND coalesce(T.FBatchNo,'')=coalesce(P.FBatchNo,'');

-- batch 13
--9.更新期末在产品成本价
UPDATE tmp_t499detail D SET FPeriodEndPrice=rnd(${div}(D.FPeriodEndCost, D.FPeriodEndNum, 10),t.FPriceDecimal)
FROM t_ICItem t
WHERE D.FItemID=t.FItemID
  AND D.FPeriodEndNum<>0;

INSERT INTO tmp_t499 SELECT * FROM tmp_t499detail ${filter};
--@endif

-- batch 14
DROP TABLE IF EXISTS tmp_data;
CREATE TEMP TABLE tmp_data AS
SELECT t.FNumber,
       max(t.FName)::varchar(255) AS FName,
       max(t.FModel)::varchar(255) AS FModel,
       max(t.FUnit)::varchar(255) AS FUnit,
       sum(t.FPeriodStartNum)::DECIMAL(38,10) AS FPeriodStartNum,
       sum(t.FPeriodStartCost)::DECIMAL(38,10) AS FPeriodStartCost,
       sum(t.FCurInNum)::DECIMAL(38,10) AS FCurInNum,
       sum(t.FCurInCost)::DECIMAL(38,10) AS FCurInCost,
       sum(t.FCurOutNum)::DECIMAL(38,10) AS FCurOutNum,
       (CASE WHEN sum(t.FCurOutNum)<>0 THEN rnd(${div}(sum(t.FCurOutCost), sum(t.FCurOutNum), 6),coalesce(max(i.FPriceDecimal),10)) ELSE 0 END)::DECIMAL(23,10) AS FCurOutPrice,
       sum(t.FCurOutCost)::DECIMAL(38,10) AS FCurOutCost,
       sum(t.FPeriodEndNum)::DECIMAL(38,10) AS FPeriodEndNum,
       (CASE WHEN sum(t.FPeriodEndNum)<>0 THEN rnd(${div}(sum(t.FPeriodEndCost), sum(t.FPeriodEndNum), 6),coalesce(max(i.FPriceDecimal),10)) ELSE 0 END)::DECIMAL(23,10) AS FPeriodEndPrice,
       sum(t.FPeriodEndCost)::DECIMAL(38,10) AS FPeriodEndCost
FROM tmp_t499 t
LEFT JOIN t_ICItem i ON i.FItemID=t.FItemID
WHERE 1=1
GROUP BY t.FNumber;

UPDATE tmp_data t1 SET FName=t2.FName,FModel=t2.FModel,FUnit=t3.FName
FROM tmp_t499 t2
INNER JOIN t_measureunit t3 ON t2.FUnit::int=t3.FMeasureUnitID
WHERE t1.FNumber = t2.FNumber;
SELECT * FROM tmp_data ORDER BY FNumber NULLS FIRST;

-- batch 15
--@result
SELECT * FROM tmp_data ORDER BY FNumber NULLS FIRST;
DROP TABLE IF EXISTS tmp_data;
DROP TABLE IF EXISTS tmp_t499;
DROP TABLE IF EXISTS tmp_t499detail;
DROP TABLE IF EXISTS tmp_temp;
DROP TABLE IF EXISTS tmp_temptable;
