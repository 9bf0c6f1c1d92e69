-- Company tables for DuckDB, the performance and cross-check copy of an .orvdb data source.
-- Types as in the PostgreSQL copy: int -> INTEGER, smallint -> SMALLINT, bit -> SMALLINT (the
-- reports compare bits with 0/1), decimal(p,s) -> DECIMAL(p,s), datetime -> TIMESTAMP (the engine
-- keeps 1/300 s ticks; duckdb-anchor.sh load converts them to milliseconds rounded .000/.003/.007,
-- as the engine shows them; DuckDB keeps microseconds, so the milliseconds are exact),
-- varchar(n) -> VARCHAR(n) (DuckDB accepts the length and does not enforce it).
-- Text comparison is DuckDB's default binary collation: code-point order, case-sensitive, trailing
-- blanks significant. The engine compares ASCII letters case-insensitively and ignores trailing
-- blanks; the demo and large data sets hold no lower-case letters and no trailing blanks in their
-- number, bill-number and batch columns (duckdb-anchor.sh load prints the check).
-- Primary keys as sql/schema.sql declares them, declared inline (DuckDB checks them while the
-- CSV is copied in; the reports' joins do not use the indexes).
-- t_OrvClock holds the demo databases' fixed "today" (what GETDATE() returns on the engine).

CREATE TABLE t_SystemProfile (
  FCategory VARCHAR(30) NOT NULL,
  FKey VARCHAR(100) NOT NULL,
  FValue VARCHAR(255),
  FExplanation VARCHAR(255),
  PRIMARY KEY (FCategory, FKey)
);

CREATE TABLE t_Currency (
  FCurrencyID INTEGER NOT NULL,
  FNumber VARCHAR(30) NOT NULL,
  FName VARCHAR(80) NOT NULL,
  FScale SMALLINT NOT NULL DEFAULT 2,
  PRIMARY KEY (FCurrencyID)
);

CREATE TABLE t_PeriodDate (
  FYear INTEGER NOT NULL,
  FPeriod INTEGER NOT NULL,
  FStartDate TIMESTAMP NOT NULL,
  FEndDate TIMESTAMP NOT NULL,
  PRIMARY KEY (FYear, FPeriod)
);

CREATE TABLE t_MeasureUnit (
  FMeasureUnitID INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FUnitGroupID INTEGER NOT NULL,
  FNumber VARCHAR(30) NOT NULL,
  FName VARCHAR(80) NOT NULL,
  FCoefficient DECIMAL(28,10) NOT NULL DEFAULT 1,
  FScale DECIMAL(28,10) DEFAULT 0,
  FStandard SMALLINT NOT NULL DEFAULT 0,
  PRIMARY KEY (FMeasureUnitID)
);

CREATE TABLE t_Item (
  FItemID INTEGER NOT NULL,
  FItemClassID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FName VARCHAR(255) NOT NULL,
  FParentID INTEGER NOT NULL DEFAULT 0,
  FLevel SMALLINT NOT NULL DEFAULT 1,
  FDetail SMALLINT NOT NULL DEFAULT 1,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_ICItem (
  FItemID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FShortNumber VARCHAR(255),
  FName VARCHAR(255) NOT NULL,
  FModel VARCHAR(255),
  FUnitID INTEGER NOT NULL,
  FStoreUnitID INTEGER NOT NULL,
  FQtyDecimal SMALLINT NOT NULL DEFAULT 2,
  FPriceDecimal SMALLINT NOT NULL DEFAULT 2,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_ItemPropDesc (
  FItemClassID INTEGER NOT NULL,
  FPropID INTEGER NOT NULL,
  FName VARCHAR(255) NOT NULL,
  FName_CHT VARCHAR(255),
  FName_EN VARCHAR(255),
  FSQLColumnName VARCHAR(255),
  FSrcTable VARCHAR(255),
  FSrcField VARCHAR(255),
  FDisplayField VARCHAR(255),
  FDataType INTEGER NOT NULL DEFAULT 0,
  FPageName VARCHAR(255),
  PRIMARY KEY (FItemClassID, FPropID)
);

CREATE TABLE t_Department (
  FItemID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FShortNumber VARCHAR(255),
  FName VARCHAR(255) NOT NULL,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_Emp (
  FItemID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FShortNumber VARCHAR(255),
  FName VARCHAR(255) NOT NULL,
  FDepartmentID INTEGER,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_AuxItem (
  FItemID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FName VARCHAR(255) NOT NULL,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_Stock (
  FItemID INTEGER NOT NULL,
  FNumber VARCHAR(255) NOT NULL,
  FName VARCHAR(255) NOT NULL,
  FTypeID INTEGER NOT NULL DEFAULT 500,
  PRIMARY KEY (FItemID)
);

CREATE TABLE SEOrder (
  FInterID INTEGER NOT NULL,
  FBillNo VARCHAR(255) NOT NULL,
  FDate TIMESTAMP NOT NULL,
  FCustID INTEGER,
  PRIMARY KEY (FInterID)
);

CREATE TABLE ICMO (
  FInterID INTEGER NOT NULL,
  FBillNo VARCHAR(255) NOT NULL,
  FTranType SMALLINT NOT NULL DEFAULT 85,
  FDate TIMESTAMP NOT NULL,
  FItemID INTEGER NOT NULL,
  FBatchNo VARCHAR(200),
  FUnitID INTEGER NOT NULL,
  FAuxQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FAuxFinishQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FFinishQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FFinishRate DECIMAL(28,10) NOT NULL DEFAULT 0,
  FStatus SMALLINT NOT NULL DEFAULT 0,
  FCancellation SMALLINT NOT NULL DEFAULT 0,
  FBeginDate TIMESTAMP,
  FPlanFinishDate TIMESTAMP,
  FFinishDate TIMESTAMP,
  FDeptID INTEGER,
  FEmpID INTEGER,
  FOrderInterID INTEGER,
  FAuxPropID INTEGER,
  FExp VARCHAR(255),
  PRIMARY KEY (FInterID)
);

CREATE TABLE ICMOEntry (
  FInterID INTEGER NOT NULL,
  FEntryID INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FUnitID INTEGER NOT NULL,
  FAuxQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FAuxPlanQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FPlanQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FAuxDiscountQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FDiscountQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  PRIMARY KEY (FInterID, FEntryID)
);

CREATE TABLE ICStockBill (
  FInterID INTEGER NOT NULL,
  FBillNo VARCHAR(255) NOT NULL,
  FTranType SMALLINT NOT NULL,
  FDate TIMESTAMP NOT NULL,
  FROB SMALLINT NOT NULL DEFAULT 1,
  FStatus SMALLINT NOT NULL DEFAULT 0,
  FCancellation SMALLINT NOT NULL DEFAULT 0,
  FExplanation VARCHAR(255),
  FMOItemID INTEGER,
  FBatchNo VARCHAR(200),
  FMOQty DECIMAL(28,10) DEFAULT 0,
  FMOBaseUnitID INTEGER,
  PRIMARY KEY (FInterID)
);

CREATE TABLE ICStockBillEntry (
  FInterID INTEGER NOT NULL,
  FEntryID INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FUnitID INTEGER NOT NULL,
  FBatchNo VARCHAR(200),
  FAuxQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FQty DECIMAL(28,10) NOT NULL DEFAULT 0,
  FAmount DECIMAL(28,10) NOT NULL DEFAULT 0,
  FSourceTranType SMALLINT NOT NULL DEFAULT 0,
  FSourceInterID INTEGER NOT NULL DEFAULT 0,
  FMOInterID INTEGER NOT NULL DEFAULT 0,
  FDCStockID INTEGER,
  PRIMARY KEY (FInterID, FEntryID)
);

CREATE TABLE ICApportionFee (
  FInterID INTEGER NOT NULL,
  FBillNo VARCHAR(255) NOT NULL,
  FTranType SMALLINT NOT NULL DEFAULT 87,
  FDate TIMESTAMP NOT NULL,
  FStatus SMALLINT NOT NULL DEFAULT 0,
  FCancellation SMALLINT NOT NULL DEFAULT 0,
  PRIMARY KEY (FInterID)
);

CREATE TABLE ICApportionFeeEntry (
  FInterID INTEGER NOT NULL,
  FEntryID INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FBatchNo VARCHAR(200),
  FSourceTranType SMALLINT NOT NULL DEFAULT 2,
  FSourceInterID INTEGER NOT NULL DEFAULT 0,
  FWorkFee DECIMAL(28,10) DEFAULT 0,
  FMakingFee DECIMAL(28,10) DEFAULT 0,
  FAuxMaterialFee DECIMAL(28,10) DEFAULT 0,
  FWaterElecFee DECIMAL(28,10) DEFAULT 0,
  FDepreciationFee DECIMAL(28,10) DEFAULT 0,
  FOtherFee DECIMAL(28,10) DEFAULT 0,
  PRIMARY KEY (FInterID, FEntryID)
);

CREATE TABLE t_ICProduction (
  FInterID INTEGER NOT NULL,
  FYear INTEGER NOT NULL,
  FPeriod INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FBatchNo VARCHAR(200),
  FPeriodStartNum DECIMAL(28,10) NOT NULL DEFAULT 0,
  FPeriodStartCost DECIMAL(28,10) NOT NULL DEFAULT 0,
  FPeriodEndNum DECIMAL(28,10) NOT NULL DEFAULT 0,
  FPeriodEndCost DECIMAL(28,10) NOT NULL DEFAULT 0,
  PRIMARY KEY (FInterID)
);

CREATE TABLE t_ICPPrice (
  FYear INTEGER NOT NULL,
  FPeriod INTEGER NOT NULL,
  FItemID INTEGER NOT NULL,
  FBatchNo VARCHAR(200),
  FPeriodEndCost DECIMAL(28,10) NOT NULL DEFAULT 0,
  FPrice DECIMAL(28,10) NOT NULL DEFAULT 0
);

CREATE TABLE t_OrvClock (
  FToday TIMESTAMP NOT NULL
);

-- Red stock-bill lines with the date of the blue bill each one reverses.
CREATE VIEW v_SCRed_StockBill AS
SELECT Red.FInterID, RedEntry.FEntryID, RedEntry.FItemID, RedEntry.FBatchNo AS FBatchno,
       Red.FDate, RedEntry.FAmount, Red.FTranType, Blue.FDate AS FSrcDate
FROM ICStockBill Red
INNER JOIN ICStockBillEntry RedEntry ON RedEntry.FInterID = Red.FInterID
INNER JOIN ICStockBill Blue ON Blue.FInterID = RedEntry.FSourceInterID
WHERE Red.FROB = -1 AND Blue.FROB = 1 AND Red.FCancellation = 0
  AND RedEntry.FSourceTranType = Red.FTranType AND Blue.FTranType = Red.FTranType;
