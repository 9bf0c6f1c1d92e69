-- Report 400 (task execution summary) for DuckDB: the batches orvdata sends for
--   orvdata report 400 --filter BDate=${bdate} --filter EDate=${edate}   (other keys at their defaults)
-- statement for statement. node run.mjs --set bdate=yyyy-mm-dd --set edate=yyyy-mm-dd (defaults: one year).
-- Decimal arithmetic keeps the engine's result scales where a later ROUND depends on them
-- (macros.sql; DuckDB's own DECIMAL / DECIMAL is a DOUBLE):
--   decimal(23,10) * decimal(29,10) -> decimal(38,6), rounded      (round(x, 6))
--   decimal(23,10) / decimal(28,10) -> decimal(38,15), truncated   (tdiv(a, b, 15))
--   decimal(38,6)  / decimal(28,10) -> decimal(38,6), truncated    (tdiv(a, b, 6))
-- Round(x, t4.FQtyDecimal) -> rnd(x, t4.FQtyDecimal) (DuckDB rounds a decimal to a constant
-- number of places only). CONVERT(char(10), d, 120) -> strftime(d, '%Y-%m-%d'); TOP 1 -> LIMIT 1.
-- Temp tables: #T400 -> t400, #T400_1 -> t400_1, #Data -> data_. ORDER BY adds NULLS FIRST
-- (NULL sorts first on the engine). Two rewrites, marked where they are:
-- * UPDATE #Data ... FROM #Data d1 LEFT JOIN becomes a self-join on DuckDB's rowid, and the
--   LEFT JOIN's ON d1.FGroupSort<4 AND d1.FMOBillNOSort=tb400.FBillNo is written
--   ON (CASE WHEN d1.FGroupSort<4 THEN d1.FMOBillNOSort END)=tb400.FBillNo (the same matches):
--   with the left-side condition in the ON, DuckDB plans a nested-loop join (277 s on the large
--   data set; 0.4 s as written).
-- * The red receipt lines' FICMOInterID, (SELECT TOP 1 FSourceInterID FROM ICStockBillEntry mBlue
--   WHERE mBlue.FInterID IN (SELECT FSourceInterID FROM ICStockBillEntry mRed WHERE mRed.FInterID
--   = Red.FInterID) AND FSourceInterID > 0), becomes a join of mRed and mBlue under the same
--   correlation (the same candidate values; TOP 1 without ORDER BY takes any of them). DuckDB
--   flattens the IN form into a cross product of the red bills and ICStockBillEntry ahead of
--   the IN filter: on the large data set it grew past 20 GB of memory and 9 GB of spill files
--   (the disk filled) without finishing, and with a 4 GB limit it stops with Out of Memory.
-- * The subtotal rows' UPDATE ... SET FItemID = (SELECT FItemID FROM ICMO WHERE FBillNO = ...)
--   FROM t_ICItem T1 WHERE T1.FItemID = (the same look-up) becomes a join of ICMO and t_ICItem
--   (FBillNO is unique). DuckDB plans the correlated form as #Data times t_ICItem before the
--   look-up: Out of Memory at 8 GB on the large data set.
-- The correlated look-up of ICMO's FDate by FBillNO in the subtotal insert stays as the engine
-- gets it (DuckDB turns it into a join itself).
--@default bdate 2024-06-16
--@default edate 2025-06-16

DROP TABLE IF EXISTS t400; DROP TABLE IF EXISTS t400_1; DROP TABLE IF EXISTS data_;
CREATE TEMP TABLE t400 (
  FInterID int NULL, FTranType smallint NULL, FItemID int NULL, FBillNo varchar(355) NULL,
  FDate timestamp(3) NULL, FNumber varchar(355) NULL, FNumberSort varchar(255),
  FShortNumber varchar(255) NULL, FName varchar(355) NULL, FModel varchar(355) NULL,
  FAuxPropName varchar(255) NULL, FBatchNo varchar(200) NULL, FPlanUnitID int NULL,
  FPlanUnitName varchar(100) NULL, FBSPlanUnitName varchar(100) NULL, FCUPlanUnitName varchar(100) NULL,
  FPlanAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSPlanQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FCUPlanQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBeginDate timestamp(3) NULL, FFinishUnitID int NULL,
  FFinishUnitName varchar(100) NULL, FBSFinishUnitName varchar(100) NULL, FCUFinishUnitName varchar(100) NULL,
  FFinishAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSFinishQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FCUFinishQty DECIMAL(23,10) NOT NULL DEFAULT 0, FPlanFinishDate timestamp(3) NULL,
  FFinishDate timestamp(3) NULL, FFinishRate DECIMAL(10,2) NOT NULL DEFAULT 0,
  FOrderBillNo varchar(100) NULL, FDeptName varchar(355) NULL, FEmpName varchar(100) NULL,
  FQtyDecimal smallint, FPriceDecimal smallint, FSumSort smallint NOT NULL DEFAULT 0, FExp varchar(355) NULL);

INSERT INTO t400
  (FInterID, FTranType, FDate, FBillNo, FItemID, FNumber, FNumberSort, FShortNumber, FName, FModel, FBatchNo,
   FPlanUnitID, FPlanUnitName, FPlanAuxQty, FBSPlanQty, FBeginDate, FFinishUnitID, FFinishAuxQty, FBSFinishQty,
   FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FAuxPropName, FExp,
   FQtyDecimal, FPriceDecimal)
SELECT v1.FInterID, v1.FTranType, v1.FDate, v1.FBillNo, v1.FItemID,
       t1.FNumber, t1.FNumber, t1.FShortNumber, t1.FName, t1.FModel, v1.FBatchNo,
       v1.FUnitID, (SELECT FName FROM t_MeasureUnit WHERE FMeasureUnitID = v1.FUnitID),
       rnd(v1.FAuxQty, t1.FQtyDecimal), rnd(v1.FQty, t1.FQtyDecimal), v1.FBeginDate,
       v1.FUnitID, rnd(v1.FAuxFinishQty, t1.FQtyDecimal), rnd(v1.FFinishQty, t1.FQtyDecimal),
       v1.FPlanFinishDate, v1.FFinishDate, CASE v1.FFinishRate WHEN 0 THEN 0 ELSE v1.FFinishRate END, v2.FBillNo,
       t3.FName, t4.FName, ta.FName, v1.FExp, t1.FQtyDecimal, t1.FPriceDecimal
FROM ICMO v1
  INNER JOIN t_ICItem t1 ON v1.FItemID = t1.FItemID
  LEFT JOIN SEOrder v2 ON v2.FInterID = v1.FOrderInterID
  LEFT JOIN t_Department t3 ON v1.FDeptID = t3.FItemID
  LEFT JOIN t_Emp t4 ON v1.FEmpID = t4.FItemID
  LEFT JOIN t_AuxItem ta ON v1.FAuxPropID = ta.FItemID
WHERE 1 = 1
  AND strftime(v1.FDate, '%Y-%m-%d') >= '${bdate}' AND strftime(v1.FDate, '%Y-%m-%d') <= '${edate}'
  AND v1.FCancellation = 0
ORDER BY v1.FDate, v1.FInterID, v1.FItemID;

UPDATE t400 t1 SET
  FBSPlanQty = rnd(round(t1.FPlanAuxQty * (coalesce(t7Q.FCoefficient, 1) + coalesce(t7Q.FScale, 0)), 6), t4.FQtyDecimal),
  FCUPlanQty = rnd(tdiv(round(t1.FPlanAuxQty * (coalesce(t7Q.FCoefficient, 1) + coalesce(t7Q.FScale, 0)), 6)::DECIMAL(23,10),
                                  t7C.FCoefficient, 15), t4.FQtyDecimal)
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FPlanUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE t400 t1 SET
  FFinishUnitName = CASE t1.FFinishAuxQty WHEN 0 THEN '' ELSE t7Q.FName END,
  FBSFinishQty = rnd(round(t1.FFinishAuxQty * (coalesce(t7Q.FCoefficient, 1) + coalesce(t7Q.FScale, 0)), 6), t4.FQtyDecimal),
  FCUFinishQty = rnd(tdiv(round(t1.FFinishAuxQty * (coalesce(t7Q.FCoefficient, 1) + coalesce(t7Q.FScale, 0)), 6),
                                    t7C.FCoefficient, 6), t4.FQtyDecimal)
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FFinishUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

CREATE TEMP TABLE t400_1 (
  FICMOInterID int NULL, FMOBillNO varchar(100), FStockInterID int NULL, FStockTranType smallint NULL,
  FStockDate timestamp(3) NULL, FStockBillNo varchar(355) NULL, FItemID int NULL,
  FStockAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSStockQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FCUStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSUnStockQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FCUUnStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FUnitID int NULL, FStockUnitName varchar(355) NULL,
  FBSStockUnitName varchar(355) NULL, FCUStockUnitName varchar(355) NULL, FBSUnStockUnitName varchar(355) NULL,
  FCUUnStockUnitName varchar(355) NULL, FInSrcEntryID int NULL, FDeptName varchar(355) NULL,
  FEmpName varchar(355) NULL, FQtyDecimal smallint, FPriceDecimal smallint,
  FStockEntryID int NULL, FIsDelay int NULL, FExp varchar(355) NULL, FDateSort timestamp(3) NULL);

INSERT INTO t400_1
  (FStockInterID, FStockTranType, FICMOInterID, FStockDate, FStockBillNo, FStockAuxQty, FBSStockQty, FUnitID,
   FStockEntryID, FExp)
SELECT u2.FInterID, v2.FTranType, v1.FInterID, v2.FDate, v2.FBillNo, rnd(u2.FAuxQty, t1.FQtyDecimal),
       rnd(u2.FQty, t1.FQtyDecimal), u2.FUnitID, u2.FEntryID, v2.FExplanation
FROM ICStockBillEntry u2
  INNER JOIN ICStockBill v2 ON v2.FInterID = u2.FInterID
  INNER JOIN ICMO v1 ON v1.FInterID = u2.FSourceInterID
  INNER JOIN t_ICItem t1 ON t1.FItemID = u2.FItemID
WHERE v2.FCancellation = 0 AND u2.FSourceTranType = 85 AND v2.FTranType = 2
  AND v1.FInterID IN (SELECT FInterID FROM t400)
UNION ALL
SELECT Red.FInterID, Red.FTranType,
       -- (SELECT TOP 1 FSourceInterID FROM ICStockBillEntry mBlue WHERE mBlue.FInterID IN (SELECT FSourceInterID
       -- FROM ICStockBillEntry mRed WHERE mRed.FInterID = Red.FInterID) AND FSourceInterID > 0) as a join:
       -- the same candidate values, any one of them.
       (SELECT mBlue.FSourceInterID FROM ICStockBillEntry mRed
          INNER JOIN ICStockBillEntry mBlue ON mBlue.FInterID = mRed.FSourceInterID
        WHERE mRed.FInterID = Red.FInterID AND mBlue.FSourceInterID > 0 LIMIT 1),
       Red.FDate, Red.FBillNo, rnd(RedEntry.FAuxQty, t1.FQtyDecimal), rnd(RedEntry.FQty, t1.FQtyDecimal),
       RedEntry.FUnitID, RedEntry.FEntryID, Red.FExplanation
FROM ICStockBillEntry RedEntry
  INNER JOIN ICStockBill Red ON Red.FInterID = RedEntry.FInterID
  INNER JOIN t_ICItem t1 ON t1.FItemID = RedEntry.FItemID
WHERE Red.FCancellation = 0 AND Red.FROB = -1 AND Red.FTranType = 2 AND RedEntry.FSourceTranType = 2
  AND EXISTS (SELECT 1 FROM ICStockBillEntry BlueEntry INNER JOIN ICStockBill Blue ON Blue.FInterID = BlueEntry.FInterID
              WHERE BlueEntry.FSourceTranType = 85 AND RedEntry.FSourceInterID = Blue.FInterID AND Blue.FROB = 1
                AND Blue.FTranType = 2 AND BlueEntry.FSourceInterID IN (SELECT FInterID FROM t400));

UPDATE t400_1 SET FMOBillNO = ICMO.FBillNo, FDateSort = ICMO.FDate
FROM ICMO WHERE ICMO.FInterID = t400_1.FICMOInterID;

UPDATE t400_1 SET FItemID = v1.FItemID, FStockUnitName = t5.FName
FROM ICMO v1, t_MeasureUnit t5
WHERE v1.FInterID = t400_1.FICMOInterID AND t5.FMeasureUnitID = t400_1.FUnitID AND 1 = 1;

UPDATE t400_1 t1 SET FQtyDecimal = t4.FQtyDecimal, FPriceDecimal = t4.FPriceDecimal,
  FCUStockQty = rnd(tdiv(t1.FBSStockQty, coalesce(t7C.FCoefficient, 1), 15), t4.FQtyDecimal)
FROM t_ICItem t4, t_MeasureUnit t7C
WHERE t1.FItemID = t4.FItemID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

CREATE TEMP TABLE data_ (
  FInterID varchar(355) NULL, FEntryID int NULL, FMOBillNO varchar(355), FItemID varchar(355) NULL,
  FTranType varchar(355) NULL, FDate timestamp(3) NULL, FNumber varchar(355) NULL, FNumberSort varchar(100),
  FShortNumber varchar(355) NULL, FName varchar(355) NULL, FModel varchar(355) NULL, FAuxPropName varchar(355) NULL,
  FBatchNo varchar(200) NULL, FPlanUnitName varchar(355) NULL, FPlanAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0,
  FBSPlanUnitName varchar(355) NULL, FBSPlanQty DECIMAL(23,10) NOT NULL DEFAULT 0, FCUPlanUnitName varchar(355) NULL,
  FCUPlanQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBeginDate timestamp(3) NULL, FFinishUnitName varchar(355) NULL,
  FFinishAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSFinishUnitName varchar(355) NULL,
  FBSFinishQty DECIMAL(23,10) NOT NULL DEFAULT 0, FCUFinishUnitName varchar(355) NULL,
  FCUFinishQty DECIMAL(23,10) NOT NULL DEFAULT 0, FPlanFinishDate timestamp(3) NULL, FFinishDate timestamp(3) NULL,
  FFinishRate DECIMAL(23,10) NOT NULL DEFAULT 0, FOrderBillNo varchar(355) NULL, FStockBillNo varchar(355) NULL,
  FMOBillNOSort varchar(100), FStockDate timestamp(3) NULL, FStockUnitName varchar(355) NULL,
  FStockAuxQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSStockUnitName varchar(355) NULL,
  FBSStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FCUStockUnitName varchar(355) NULL,
  FCUStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FBSUnStockUnitName varchar(355) NULL,
  FBSUnStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FCUUnStockUnitName varchar(355) NULL,
  FCUUnStockQty DECIMAL(23,10) NOT NULL DEFAULT 0, FDeptName varchar(355) NULL, FEmpName varchar(355) NULL,
  FExp varchar(355) NULL, FSumSort varchar(355) DEFAULT 0, FQtyDecimal smallint, FPriceDecimal smallint,
  FGroupSort int DEFAULT 0, FDateSort timestamp(3) NULL, FNameSort varchar(355) NULL, FModelSort varchar(355) NULL,
  FBatchNoSort varchar(200) NULL, FBeginDateSort timestamp(3) NULL, FPlanFinishDateSort timestamp(3) NULL,
  FFinishDateSort timestamp(3) NULL, FIsTotal int NOT NULL DEFAULT 0);

INSERT INTO data_ (FInterID, FMOBillNO, FMOBillNOSort, FItemID, FTranType, FDate, FDateSort, FNumber, FNumberSort,
  FShortNumber, FName, FModel, FAuxPropName, FBatchNo, FPlanUnitName, FPlanAuxQty, FBSPlanUnitName, FBSPlanQty,
  FCUPlanUnitName, FCUPlanQty, FBeginDate, FFinishUnitName, FFinishAuxQty, FBSFinishUnitName, FBSFinishQty,
  FCUFinishUnitName, FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName,
  FExp, FGroupSort, FQtyDecimal, FPriceDecimal)
SELECT FInterID, FBillNo, FBillNo, FItemID, FTranType, FDate, FDate, FNumber, FNumberSort, FShortNumber, FName,
  FModel, FAuxPropName, FBatchNo, FPlanUnitName, FPlanAuxQty, FBSPlanUnitName, FBSPlanQty, FCUPlanUnitName,
  FCUPlanQty, FBeginDate, FFinishUnitName, FFinishAuxQty, FBSFinishUnitName, FBSFinishQty, FCUFinishUnitName,
  FCUFinishQty, FPlanFinishDate, FFinishDate, FFinishRate, FOrderBillNo, FDeptName, FEmpName, FExp, 0,
  FQtyDecimal, FPriceDecimal
FROM t400;

INSERT INTO data_ (FInterID, FEntryID, FItemID, FTranType, FStockBillNo, FMOBillNOSort, FStockDate, FStockUnitName,
  FStockAuxQty, FBSStockUnitName, FBSStockQty, FCUStockUnitName, FCUStockQty, FBSUnStockUnitName, FBSUnStockQty,
  FCUUnStockUnitName, FCUUnStockQty, FExp, FDateSort, FGroupSort, FQtyDecimal, FPriceDecimal)
SELECT FStockInterID, FStockEntryID, FItemID, FStockTranType, FStockBillNo, FMOBillNO, FStockDate, FStockUnitName,
  FStockAuxQty, FBSStockUnitName, FBSStockQty, FCUStockUnitName, FCUStockQty, FBSUnStockUnitName, FBSUnStockQty,
  FCUUnStockUnitName, FCUUnStockQty, FExp, FDateSort, 1, FQtyDecimal, FPriceDecimal
FROM t400_1;

INSERT INTO data_ (FMOBillNOSort, FDateSort, FPlanAuxQty, FBSPlanQty, FCUPlanQty, FFinishAuxQty, FBSFinishQty,
  FCUFinishQty, FStockAuxQty, FBSStockQty, FCUStockQty, FGroupSort, FSumSort)
SELECT FMOBillNOSort, (SELECT FDate FROM ICMO WHERE FBillNo = data_.FMOBillNOSort), sum(FPlanAuxQty), sum(FBSPlanQty),
  sum(FCUPlanQty), sum(FFinishAuxQty), sum(FBSFinishQty), sum(FCUFinishQty), sum(FStockAuxQty), sum(FBSStockQty),
  sum(FCUStockQty), 3, 102
FROM data_ GROUP BY FMOBillNOSort;

-- FItemID = (SELECT FItemID FROM ICMO WHERE FBillNO = #Data.FMOBillNOSort) as a join (the same
-- look-up also decides, through T1.FItemID, which rows update; FBillNO is unique).
UPDATE data_ SET FItemID = a.FItemID, FName = t1.FName || '（小计）'
FROM ICMO a, t_ICItem t1
WHERE data_.FGroupSort = 3 AND a.FBillNo = data_.FMOBillNOSort AND t1.FItemID = a.FItemID;

INSERT INTO data_ (FNumberSort, FName, FPlanAuxQty, FBSPlanQty, FCUPlanQty, FFinishAuxQty, FBSFinishQty, FCUFinishQty,
  FStockAuxQty, FBSStockQty, FCUStockQty, FBSUnStockQty, FCUUnStockQty, FGroupSort, FSumSort, FIsTotal)
SELECT 'zzzzzz', '合计', sum(FPlanAuxQty), sum(FBSPlanQty), sum(FCUPlanQty), sum(FFinishAuxQty), sum(FBSFinishQty),
  sum(FCUFinishQty), sum(FStockAuxQty), sum(FBSStockQty), sum(FCUStockQty), sum(FBSUnStockQty), sum(FCUUnStockQty),
  4, 101, 1
FROM data_ WHERE FGroupSort = 0 OR FGroupSort = 1;

UPDATE data_ SET FBSUnStockQty = FBSPlanQty - coalesce(FBSStockQty, 0), FCUUnStockQty = FCUPlanQty - coalesce(FCUStockQty, 0)
WHERE FGroupSort IN (3, 4);

UPDATE data_ t1 SET FBSPlanUnitName = CASE t1.FPlanAuxQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUPlanUnitName = CASE t1.FPlanAuxQty WHEN 0 THEN '' ELSE t7C.FName END
FROM t_ICItem t4, t_MeasureUnit t7B, t_MeasureUnit t7C
WHERE t1.FItemID::int = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID
  AND FGroupSort < 4;

UPDATE data_ t1 SET FBSFinishUnitName = CASE t1.FFinishAuxQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUFinishUnitName = CASE t1.FFinishAuxQty WHEN 0 THEN '' ELSE t7C.FName END
FROM t_ICItem t4, t_MeasureUnit t7B, t_MeasureUnit t7C
WHERE t1.FItemID::int = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID
  AND FGroupSort < 4;

UPDATE data_ t1 SET FBSStockUnitName = CASE t1.FBSStockQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUStockUnitName = CASE t1.FBSStockQty WHEN 0 THEN '' ELSE t7C.FName END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7B
WHERE t1.FItemID::int = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID
  AND FGroupSort < 4;

UPDATE data_ t1 SET FBSUnStockUnitName = CASE t1.FBSUnStockQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUUnStockUnitName = CASE t1.FBSUnStockQty WHEN 0 THEN '' ELSE t7C.FName END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7B
WHERE t1.FItemID::int = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID
  AND FGroupSort = 3;

-- UPDATE #Data SET ... FROM #Data d1 LEFT JOIN #T400 tb400 ON ...: every row, NULLs where nothing matches;
-- the ON as one equality, so that DuckDB hashes it.
UPDATE data_ SET FNumberSort = tb400.FNumberSort, FNameSort = tb400.FName, FModelSort = tb400.FModel,
  FBatchNoSort = tb400.FBatchNo, FBeginDateSort = tb400.FBeginDate, FPlanFinishDateSort = tb400.FPlanFinishDate,
  FFinishDateSort = tb400.FFinishDate
FROM data_ d1 LEFT JOIN t400 tb400 ON (CASE WHEN d1.FGroupSort < 4 THEN d1.FMOBillNOSort END) = tb400.FBillNo
WHERE data_.rowid = d1.rowid;

UPDATE data_ SET FFinishRate = round(FFinishRate, 2) WHERE FFinishRate IS NOT NULL;

--@result
SELECT * FROM data_ WHERE 1 = 1
ORDER BY FIsTotal NULLS FIRST, FNumberSort NULLS FIRST, FDateSort NULLS FIRST, FMOBillNOSort NULLS FIRST,
         FGroupSort NULLS FIRST;
DROP TABLE t400;
DROP TABLE t400_1;
DROP TABLE data_;
