-- Report 406 (task order material use: planned, standard, actual, difference per material line)
-- for DuckDB: the batches orvdata sends for
--   orvdata report 406 --filter BDate=${bdate} --filter EDate=${edate}   (other keys at their defaults)
-- statement for statement. node run.mjs --set bdate=yyyy-mm-dd --set edate=yyyy-mm-dd (defaults: one year).
-- Decimal scales kept where a later ROUND depends on them (macros.sql; DuckDB's own
-- DECIMAL / DECIMAL is a DOUBLE):
--   decimal(23,10) / decimal(28,10) -> decimal(38,15), truncated   (tdiv(a, b, 15))
--   decimal(23,10) / decimal(23,10) -> decimal(38,15), truncated; * 100 -> decimal(38,11), rounded
-- Round(x, t4.FQtyDecimal) -> rnd(x, t4.FQtyDecimal) (DuckDB rounds a decimal to a constant
-- number of places only). CONVERT(char(10), d, 120) -> strftime(d, '%Y-%m-%d'); TOP 1 -> LIMIT 1.
-- #Data -> data_. ORDER BY adds NULLS FIRST. The correlated look-ups of ICMO by FBillNO in the
-- subtotal insert stay as the engine gets them (DuckDB turns them into joins itself).
--@default bdate 2024-06-16
--@default edate 2025-06-16

DROP TABLE IF EXISTS data_;
CREATE TEMP TABLE data_ (
  FInterID int NULL, FTranType int, FPItemID int NULL, Fdate timestamp(3), FdateSort timestamp(3),
  FMOBillNO varchar(100) NULL, FMOBillNOSort varchar(100), FPNumber varchar(200) NULL, FPNumberSort varchar(100),
  FPName varchar(200) NULL, FPShortNumber varchar(100) NULL, FPModel varchar(355) NULL,
  FPAuxPropName varchar(100) NULL, FBatchNo varchar(200) NULL, FPlanUnitID int NULL,
  FPlanUnitName varchar(100) NULL, FPlanAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSPlanUnitName varchar(100) NULL, FBSPlanQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUPlanUnitName varchar(100) NULL, FCUPlanQty DECIMAL(23,10) NULL DEFAULT 0,
  FFinishUnitName varchar(100) NULL, FFinishAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSFinishUnitName varchar(100) NULL, FBSFinishQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUFinishUnitName varchar(100) NULL, FCUFinishQty DECIMAL(23,10) NULL DEFAULT 0,
  FFinishRate DECIMAL(10,2) NULL DEFAULT 0, FDeptName varchar(100), FEmpName varchar(100), FExp varchar(255),
  FItemID int NULL, FItemNumber varchar(355) NULL, FItemShortNumber varchar(100) NULL, FItemName varchar(355) NULL,
  FStandardUnitID int NULL, FStandardUnitName varchar(100) NULL, FStandardAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSStandardUnitName varchar(100) NULL, FBSStandardQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUStandardUnitName varchar(100) NULL, FCUStandardQty DECIMAL(23,10) NULL DEFAULT 0,
  FPlanDUnitName varchar(100) NULL, FPlanDAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSPlanDUnitName varchar(100) NULL, FBSPlanDQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUPlanDUnitName varchar(100) NULL, FCUPlanDQty DECIMAL(23,10) NULL DEFAULT 0,
  FfactUnitName varchar(100) NULL, FfactAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSfactUnitName varchar(100) NULL, FBSfactQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUfactUnitName varchar(100) NULL, FCUfactQty DECIMAL(23,10) NULL DEFAULT 0,
  FSituation varchar(100) NULL, FDiffUnitName varchar(100) NULL, FDiffAuxQty DECIMAL(23,10) NULL DEFAULT 0,
  FBSDiffUnitName varchar(100) NULL, FBSDiffQty DECIMAL(23,10) NULL DEFAULT 0,
  FCUDiffUnitName varchar(100) NULL, FCUDiffQty DECIMAL(23,10) NULL DEFAULT 0,
  FDiffRate DECIMAL(23,2) NULL, FQtyDecimal smallint, FPriceDecimal smallint,
  FGroupSort int DEFAULT 0, FSumSort int DEFAULT 0);

INSERT INTO data_ (FInterID, FTranType, FPItemID, Fdate, FdateSort, FMOBillNO, FMOBillNOSort, FPNumber, FPNumberSort,
  FPName, FPShortNumber, FPModel, FPAuxPropName, FBatchNo, FPlanUnitID, FPlanUnitName, FPlanAuxQty, FBSPlanQty,
  FFinishAuxQty, FBSFinishQty, FFinishRate, FDeptName, FEmpName, FExp, FQtyDecimal, FPriceDecimal)
SELECT v1.FInterID, v1.FTranType, v1.FItemID, v1.FDate, v1.FDate, v1.FBillNo, v1.FBillNo,
  t1.FNumber, t1.FNumber, t1.FName, t1.FShortNumber, t1.FModel, ta.FName, v1.FBatchNo,
  v1.FUnitID, u1.FName, v1.FAuxQty, v1.FQty,
  v1.FAuxFinishQty, v1.FFinishQty, CASE v1.FFinishRate WHEN 0 THEN NULL ELSE v1.FFinishRate END, td.FName, te.FName, v1.FExp,
  t1.FQtyDecimal, t1.FPriceDecimal
FROM ICMO v1
  INNER JOIN t_ICItem t1 ON v1.FItemID = t1.FItemID
  INNER JOIN t_MeasureUnit u1 ON u1.FMeasureUnitID = v1.FUnitID
  LEFT JOIN t_Department td ON v1.FDeptID = td.FItemID
  LEFT JOIN t_Emp te ON v1.FEmpID = te.FItemID
  LEFT JOIN t_AuxItem ta ON v1.FAuxPropID = ta.FItemID
WHERE 1 = 1
  AND strftime(v1.FDate, '%Y-%m-%d') >= '${bdate}' AND strftime(v1.FDate, '%Y-%m-%d') <= '${edate}'
  AND v1.FCancellation = 0;

UPDATE data_ t1 SET FBSPlanUnitName = CASE t1.FPlanAuxQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUPlanUnitName = CASE t1.FPlanAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUPlanQty = CASE t1.FPlanAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSPlanQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7B, t_MeasureUnit t7C
WHERE t1.FPItemID = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE data_ t1 SET FFinishUnitName = t1.FPlanUnitName,
  FBSFinishUnitName = CASE t1.FFinishAuxQty WHEN 0 THEN '' ELSE t7B.FName END,
  FCUFinishUnitName = CASE t1.FFinishAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUFinishQty = CASE t1.FFinishAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSFinishQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7B, t_MeasureUnit t7C
WHERE t1.FPItemID = t4.FItemID AND t4.FUnitID = t7B.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

INSERT INTO data_ (FInterID, FMOBillNOSort, FTranType, FDateSort, FPItemID, FPNumberSort, FItemID, FItemNumber,
  FItemShortNumber, FItemName, FStandardUnitID, FStandardUnitName, FStandardAuxQty, FBSStandardQty, FPlanDAuxQty,
  FBSPlanDQty, FfactAuxQty, FBSfactQty, FSituation, FDiffAuxQty, FBSDiffQty, FGroupSort, FQtyDecimal, FPriceDecimal)
SELECT v1.FInterID, v1.FBillNo, v1.FTranType, v1.FDate, v1.FItemID,
  (SELECT FNumber FROM t_ICItem WHERE FItemID = v1.FItemID), u1.FItemID, t1.FNumber, t1.FShortNumber,
  t1.FName, t1.FUnitID, m1.FName,
  u1.FAuxQty, u1.FQty, u1.FAuxPlanQty, FPlanQty, u1.FAuxDiscountQty, u1.FDiscountQty,
  v1.FStatus,
  FAuxDiscountQty - FAuxPlanQty, FDiscountQty - FPlanQty, 1, t1.FQtyDecimal, t1.FPriceDecimal
FROM ICMOEntry u1
  INNER JOIN ICMO v1 ON v1.FInterID = u1.FInterID
  INNER JOIN t_MeasureUnit m1 ON m1.FMeasureUnitID = u1.FUnitID
  INNER JOIN t_ICItem t1 ON u1.FItemID = t1.FItemID
WHERE 1 = 1 AND v1.FInterID IN (SELECT FInterID FROM data_);

UPDATE data_ t1 SET FBSStandardUnitName = CASE t1.FStandardAuxQty WHEN 0 THEN '' ELSE t7Q.FName END,
  FCUStandardUnitName = CASE t1.FStandardAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUStandardQty = CASE t1.FStandardAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSStandardQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FStandardUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE data_ t1 SET FPlanDUnitName = t1.FStandardUnitName,
  FBSPlanDUnitName = CASE t1.FPlanDAuxQty WHEN 0 THEN '' ELSE t7Q.FName END,
  FCUPlanDUnitName = CASE t1.FPlanDAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUPlanDQty = CASE t1.FPlanDAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSPlanDQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FStandardUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE data_ t1 SET FfactUnitName = CASE t1.FfactAuxQty WHEN 0 THEN '' ELSE t1.FStandardUnitName END,
  FBSfactUnitName = CASE t1.FfactAuxQty WHEN 0 THEN '' ELSE t7Q.FName END,
  FCUfactUnitName = CASE t1.FfactAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUfactQty = CASE t1.FfactAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSfactQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FStandardUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE data_ t1 SET FDiffUnitName = CASE t1.FDiffAuxQty WHEN 0 THEN '' ELSE t1.FStandardUnitName END,
  FBSDiffUnitName = CASE t1.FDiffAuxQty WHEN 0 THEN '' ELSE t7Q.FName END,
  FCUDiffUnitName = CASE t1.FDiffAuxQty WHEN 0 THEN '' ELSE t7C.FName END,
  FCUDiffQty = CASE t1.FDiffAuxQty WHEN 0 THEN 0 ELSE tdiv(t1.FBSDiffQty, t7C.FCoefficient, 15) END
FROM t_ICItem t4, t_MeasureUnit t7C, t_MeasureUnit t7Q
WHERE t1.FItemID = t4.FItemID AND t1.FStandardUnitID = t7Q.FMeasureUnitID AND t4.FStoreUnitID = t7C.FMeasureUnitID;

UPDATE data_ t1 SET FPlanAuxQty = rnd(t1.FPlanAuxQty, t4.FQtyDecimal),
  FBSPlanQty = rnd(t1.FBSPlanQty, t4.FQtyDecimal),
  FCUPlanQty = rnd(t1.FCUPlanQty, t4.FQtyDecimal),
  FFinishAuxQty = rnd(t1.FFinishAuxQty, t4.FQtyDecimal),
  FBSFinishQty = rnd(t1.FBSFinishQty, t4.FQtyDecimal),
  FCUFinishQty = rnd(t1.FCUFinishQty, t4.FQtyDecimal),
  FStandardAuxQty = rnd(t1.FStandardAuxQty, t4.FQtyDecimal),
  FBSStandardQty = rnd(t1.FBSStandardQty, t4.FQtyDecimal),
  FCUStandardQty = rnd(t1.FCUStandardQty, t4.FQtyDecimal),
  FPlanDAuxQty = rnd(t1.FPlanDAuxQty, t4.FQtyDecimal),
  FBSPlanDQty = rnd(t1.FBSPlanDQty, t4.FQtyDecimal),
  FCUPlanDQty = rnd(t1.FCUPlanDQty, t4.FQtyDecimal),
  FfactAuxQty = rnd(t1.FfactAuxQty, t4.FQtyDecimal),
  FBSfactQty = rnd(t1.FBSfactQty, t4.FQtyDecimal),
  FCUfactQty = rnd(t1.FCUfactQty, t4.FQtyDecimal),
  FDiffAuxQty = rnd(t1.FDiffAuxQty, t4.FQtyDecimal),
  FBSDiffQty = rnd(t1.FBSDiffQty, t4.FQtyDecimal),
  FCUDiffQty = rnd(t1.FCUDiffQty, t4.FQtyDecimal)
FROM t_ICItem t4 WHERE t1.FItemID = t4.FItemID;

UPDATE data_ SET FSituation = '未完工' WHERE coalesce(FSituation, '0') <> '3' AND FItemID > 0;
UPDATE data_ SET FSituation = (CASE WHEN FDiffAuxQty > 0 THEN '超额' WHEN FDiffAuxQty = 0 THEN '正常'
                                    WHEN FDiffAuxQty < 0 THEN '节约' ELSE '' END)
WHERE FSituation = '3' AND FItemID > 0;
UPDATE data_ SET FDiffRate = round(round(tdiv(FBSDiffQty::DECIMAL(23,10), FBSPlanDQty::DECIMAL(23,10), 15) * 100, 11), 2)
WHERE FBSDiffQty <> 0 AND FBSPlanDQty <> 0;

INSERT INTO data_ (FMOBillNOSort, FDateSort, FPNumberSort, FPlanAuxQty, FBSPlanQty, FCUPlanQty, FFinishAuxQty,
  FBSFinishQty, FCUFinishQty, FStandardAuxQty, FBSStandardQty, FCUStandardQty, FPlanDAuxQty, FBSPlanDQty, FCUPlanDQty,
  FfactAuxQty, FBSfactQty, FCUfactQty, FDiffAuxQty, FBSDiffQty, FCUDiffQty, FGroupSort, FSumSort)
SELECT FMOBillNOSort, (SELECT FDate FROM ICMO WHERE FBillNo = data_.FMOBillNOSort),
  (SELECT t1.FNumber FROM ICMO v1 INNER JOIN t_ICItem t1 ON v1.FItemID = t1.FItemID
   WHERE v1.FBillNo = data_.FMOBillNOSort LIMIT 1),
  sum(FPlanAuxQty), sum(FBSPlanQty), sum(FCUPlanQty), sum(FFinishAuxQty), sum(FBSFinishQty), sum(FCUFinishQty),
  sum(FStandardAuxQty), sum(FBSStandardQty), sum(FCUStandardQty), sum(FPlanDAuxQty), sum(FBSPlanDQty), sum(FCUPlanDQty),
  sum(FfactAuxQty), sum(FBSfactQty), sum(FCUfactQty), sum(FDiffAuxQty), sum(FBSDiffQty), sum(FCUDiffQty), 3, 102
FROM data_ GROUP BY FMOBillNOSort;

UPDATE data_ SET FPName = t1.FName || '（小计）'
FROM t_ICItem t1 WHERE FGroupSort = 3 AND t1.FNumber = data_.FPNumberSort;

INSERT INTO data_ (FPNumberSort, FPName, FPlanAuxQty, FBSPlanQty, FCUPlanQty, FFinishAuxQty, FBSFinishQty, FCUFinishQty,
  FStandardAuxQty, FBSStandardQty, FCUStandardQty, FPlanDAuxQty, FBSPlanDQty, FCUPlanDQty, FfactAuxQty,
  FBSfactQty, FCUfactQty, FDiffAuxQty, FBSDiffQty, FCUDiffQty, FGroupSort, FSumSort)
SELECT 'zzzzzz', '合计', sum(FPlanAuxQty), sum(FBSPlanQty), sum(FCUPlanQty), sum(FFinishAuxQty), sum(FBSFinishQty),
  sum(FCUFinishQty), sum(FStandardAuxQty), sum(FBSStandardQty), sum(FCUStandardQty), sum(FPlanDAuxQty),
  sum(FBSPlanDQty), sum(FCUPlanDQty), sum(FfactAuxQty), sum(FBSfactQty), sum(FCUfactQty), sum(FDiffAuxQty),
  sum(FBSDiffQty), sum(FCUDiffQty), 4, 101
FROM data_ WHERE FGroupSort IN (0, 1);
UPDATE data_ SET FFinishRate = round(FFinishRate, 2) WHERE FFinishRate IS NOT NULL;
UPDATE data_ SET FFinishRate = NULL WHERE FFinishRate = 0;

--@result
SELECT * FROM data_
ORDER BY FPNumberSort NULLS FIRST, FDateSort NULLS FIRST, FMOBillNOSort NULLS FIRST, FGroupSort NULLS FIRST;
DROP TABLE data_;
