-- Company database schema read by the report service: production task orders, stock bills,
-- fee apportionments, items, units, organisation, the accounting calendar, period cost tables
-- and the system profile. The same script runs on the embedded engine and on SQL Server.

CREATE TABLE t_SystemProfile (
  FCategory varchar(30) NOT NULL,
  FKey varchar(100) NOT NULL,
  FValue varchar(255) NULL,
  FExplanation varchar(255) NULL,
  CONSTRAINT PK_t_SystemProfile PRIMARY KEY (FCategory, FKey)
)
GO
CREATE TABLE t_Currency (
  FCurrencyID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) NOT NULL,
  FName varchar(80) NOT NULL,
  FScale smallint NOT NULL DEFAULT 2
)
GO
CREATE TABLE t_PeriodDate (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStartDate datetime NOT NULL,
  FEndDate datetime NOT NULL,
  CONSTRAINT PK_t_PeriodDate PRIMARY KEY (FYear, FPeriod)
)
GO
CREATE TABLE t_MeasureUnit (
  FMeasureUnitID int NOT NULL PRIMARY KEY,
  FItemID int NOT NULL,
  FUnitGroupID int NOT NULL,
  FNumber varchar(30) NOT NULL,
  FName varchar(80) NOT NULL,
  FCoefficient decimal(28,10) NOT NULL DEFAULT 1,
  FScale decimal(28,10) NULL DEFAULT 0,
  FStandard bit NOT NULL DEFAULT 0
)
GO
CREATE TABLE t_Item (
  FItemID int NOT NULL PRIMARY KEY,
  FItemClassID int NOT NULL,
  FNumber varchar(255) NOT NULL,
  FName varchar(255) NOT NULL,
  FParentID int NOT NULL DEFAULT 0,
  FLevel smallint NOT NULL DEFAULT 1,
  FDetail bit NOT NULL DEFAULT 1
)
GO
CREATE TABLE t_ICItem (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(255) NOT NULL,
  FShortNumber varchar(255) NULL,
  FName varchar(255) NOT NULL,
  FModel varchar(255) NULL,
  FUnitID int NOT NULL,
  FStoreUnitID int NOT NULL,
  FQtyDecimal smallint NOT NULL DEFAULT 2,
  FPriceDecimal smallint NOT NULL DEFAULT 2
)
GO
CREATE TABLE t_ItemPropDesc (
  FItemClassID int NOT NULL,
  FPropID int NOT NULL,
  FName varchar(255) NOT NULL,
  FName_CHT varchar(255) NULL,
  FName_EN varchar(255) NULL,
  FSQLColumnName varchar(255) NULL,
  FSrcTable varchar(255) NULL,
  FSrcField varchar(255) NULL,
  FDisplayField varchar(255) NULL,
  FDataType int NOT NULL DEFAULT 0,
  FPageName varchar(255) NULL,
  CONSTRAINT PK_t_ItemPropDesc PRIMARY KEY (FItemClassID, FPropID)
)
GO
CREATE TABLE t_Department (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(255) NOT NULL,
  FShortNumber varchar(255) NULL,
  FName varchar(255) NOT NULL
)
GO
CREATE TABLE t_Emp (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(255) NOT NULL,
  FShortNumber varchar(255) NULL,
  FName varchar(255) NOT NULL,
  FDepartmentID int NULL
)
GO
CREATE TABLE t_AuxItem (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(255) NOT NULL,
  FName varchar(255) NOT NULL
)
GO
CREATE TABLE t_Stock (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(255) NOT NULL,
  FName varchar(255) NOT NULL,
  FTypeID int NOT NULL DEFAULT 500
)
GO
CREATE TABLE SEOrder (
  FInterID int NOT NULL PRIMARY KEY,
  FBillNo varchar(255) NOT NULL,
  FDate datetime NOT NULL,
  FCustID int NULL
)
GO
CREATE TABLE ICMO (
  FInterID int NOT NULL PRIMARY KEY,
  FBillNo varchar(255) NOT NULL,
  FTranType smallint NOT NULL DEFAULT 85,
  FDate datetime NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(200) NULL,
  FUnitID int NOT NULL,
  FAuxQty decimal(28,10) NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FAuxFinishQty decimal(28,10) NOT NULL DEFAULT 0,
  FFinishQty decimal(28,10) NOT NULL DEFAULT 0,
  FFinishRate decimal(28,10) NOT NULL DEFAULT 0,
  FStatus smallint NOT NULL DEFAULT 0,
  FCancellation smallint NOT NULL DEFAULT 0,
  FBeginDate datetime NULL,
  FPlanFinishDate datetime NULL,
  FFinishDate datetime NULL,
  FDeptID int NULL,
  FEmpID int NULL,
  FOrderInterID int NULL,
  FAuxPropID int NULL,
  FExp varchar(255) NULL
)
GO
CREATE TABLE ICMOEntry (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FItemID int NOT NULL,
  FUnitID int NOT NULL,
  FAuxQty decimal(28,10) NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FAuxPlanQty decimal(28,10) NOT NULL DEFAULT 0,
  FPlanQty decimal(28,10) NOT NULL DEFAULT 0,
  FAuxDiscountQty decimal(28,10) NOT NULL DEFAULT 0,
  FDiscountQty decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT PK_ICMOEntry PRIMARY KEY (FInterID, FEntryID)
)
GO
CREATE TABLE ICStockBill (
  FInterID int NOT NULL PRIMARY KEY,
  FBillNo varchar(255) NOT NULL,
  FTranType smallint NOT NULL,
  FDate datetime NOT NULL,
  FROB smallint NOT NULL DEFAULT 1,
  FStatus smallint NOT NULL DEFAULT 0,
  FCancellation smallint NOT NULL DEFAULT 0,
  FExplanation varchar(255) NULL,
  FMOItemID int NULL,
  FBatchNo varchar(200) NULL,
  FMOQty decimal(28,10) NULL DEFAULT 0,
  FMOBaseUnitID int NULL
)
GO
CREATE TABLE ICStockBillEntry (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FItemID int NOT NULL,
  FUnitID int NOT NULL,
  FBatchNo varchar(200) NULL,
  FAuxQty decimal(28,10) NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  FSourceTranType smallint NOT NULL DEFAULT 0,
  FSourceInterID int NOT NULL DEFAULT 0,
  FMOInterID int NOT NULL DEFAULT 0,
  FDCStockID int NULL,
  CONSTRAINT PK_ICStockBillEntry PRIMARY KEY (FInterID, FEntryID)
)
GO
CREATE TABLE ICApportionFee (
  FInterID int NOT NULL PRIMARY KEY,
  FBillNo varchar(255) NOT NULL,
  FTranType smallint NOT NULL DEFAULT 87,
  FDate datetime NOT NULL,
  FStatus smallint NOT NULL DEFAULT 0,
  FCancellation smallint NOT NULL DEFAULT 0
)
GO
CREATE TABLE ICApportionFeeEntry (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(200) NULL,
  FSourceTranType smallint NOT NULL DEFAULT 2,
  FSourceInterID int NOT NULL DEFAULT 0,
  FWorkFee decimal(28,10) NULL DEFAULT 0,
  FMakingFee decimal(28,10) NULL DEFAULT 0,
  FAuxMaterialFee decimal(28,10) NULL DEFAULT 0,
  FWaterElecFee decimal(28,10) NULL DEFAULT 0,
  FDepreciationFee decimal(28,10) NULL DEFAULT 0,
  FOtherFee decimal(28,10) NULL DEFAULT 0,
  CONSTRAINT PK_ICApportionFeeEntry PRIMARY KEY (FInterID, FEntryID)
)
GO
CREATE TABLE t_ICProduction (
  FInterID int NOT NULL PRIMARY KEY,
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(200) NULL,
  FPeriodStartNum decimal(28,10) NOT NULL DEFAULT 0,
  FPeriodStartCost decimal(28,10) NOT NULL DEFAULT 0,
  FPeriodEndNum decimal(28,10) NOT NULL DEFAULT 0,
  FPeriodEndCost decimal(28,10) NOT NULL DEFAULT 0
)
GO
CREATE TABLE t_ICPPrice (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(200) NULL,
  FPeriodEndCost decimal(28,10) NOT NULL DEFAULT 0,
  FPrice decimal(28,10) NOT NULL DEFAULT 0
)
GO
-- Red stock-bill lines with the date of the blue bill each one reverses.
CREATE VIEW v_SCRed_StockBill AS
SELECT Red.FInterID, RedEntry.FEntryID, RedEntry.FItemID, RedEntry.FBatchNo AS FBatchno,
       Red.FDate, RedEntry.FAmount, Red.FTranType, Blue.FDate AS FSrcDate
FROM ICStockBill Red
INNER JOIN ICStockBillEntry RedEntry ON RedEntry.FInterID = Red.FInterID
INNER JOIN ICStockBill Blue ON Blue.FInterID = RedEntry.FSourceInterID
WHERE Red.FROB = -1 AND Blue.FROB = 1 AND Red.FCancellation = 0
  AND RedEntry.FSourceTranType = Red.FTranType AND Blue.FTranType = Red.FTranType
GO
