// The temporary tables of reports 400 and 410 whose definitions are laid out freely apart from
// a few fixed lines: every column in its documented order with its documented type, and the
// fixed lines present as whole lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "reports/production/report400.h"
#include "reports/production/report410.h"
#include "sql_lines.h"
#include "table_columns.h"

namespace orv::reports {
namespace {

using testing::ColumnDef;
using testing::ColumnDefs;
using testing::MakeFilter;
using testing::SplitCrLf;

const ColumnDef kT400[] = {
    {"FInterID", "int null"},
    {"FTranType", "smallint null"},
    {"FItemID", "int null"},
    {"FBillNo", "varchar(355) null"},
    {"FDate", "datetime null"},
    {"FNumber", "varchar(355) null"},
    {"FNumberSort", "varchar(255)"},
    {"FShortNumber", "varchar(255) null"},
    {"FName", "varchar(355) null"},
    {"FModel", "varchar(355) null"},
    {"FAuxPropName", "varchar(255) null"},
    {"FBatchNo", "varchar(200) null"},
    {"FPlanUnitID", "int null"},
    {"FPlanUnitName", "varchar(100) null"},
    {"FBSPlanUnitName", "varchar(100) null"},
    {"FCUPlanUnitName", "varchar(100) null"},
    {"FPlanAuxQty", "decimal(23,10) not null default 0"},
    {"FBSPlanQty", "decimal(23,10) not null default 0"},
    {"FCUPlanQty", "decimal(23,10) not null default 0"},
    {"FBeginDate", "datetime null"},
    {"FFinishUnitID", "int null"},
    {"FFinishUnitName", "varchar(100) null"},
    {"FBSFinishUnitName", "varchar(100) null"},
    {"FCUFinishUnitName", "varchar(100) null"},
    {"FFinishAuxQty", "decimal(23,10) not null default 0"},
    {"FBSFinishQty", "decimal(23,10) not null default 0"},
    {"FCUFinishQty", "decimal(23,10) not null default 0"},
    {"FPlanFinishDate", "datetime null"},
    {"FFinishDate", "datetime null"},
    {"FFinishRate", "decimal(10,2) not null default 0"},
    {"FOrderBillNo", "varchar(100) null"},
    {"FDeptName", "varchar(355) null"},
    {"FEmpName", "varchar(100) null"},
    {"FQtyDecimal", "smallint"},
    {"FPriceDecimal", "smallint"},
    {"FSumSort", "smallint not null default 0"},
    {"FExp", "varchar(355) null"},
};

const ColumnDef kT400_1[] = {
    {"FICMOInterID", "int null"},
    {"FMOBillNO", "varchar(100)"},
    {"FStockInterID", "int null"},
    {"FStockTranType", "smallint null"},
    {"FStockDate", "datetime null"},
    {"FStockBillNo", "varchar(355) null"},
    {"FItemID", "int null"},
    {"FStockAuxQty", "decimal(23,10) not null default 0"},
    {"FBSStockQty", "decimal(23,10) not null default 0"},
    {"FCUStockQty", "decimal(23,10) not null default 0"},
    {"FBSUnStockQty", "decimal(23,10) not null default 0"},
    {"FCUUnStockQty", "decimal(23,10) not null default 0"},
    {"FUnitID", "int null"},
    {"FStockUnitName", "varchar(355) null"},
    {"FBSStockUnitName", "varchar(355) null"},
    {"FCUStockUnitName", "varchar(355) null"},
    {"FBSUnStockUnitName", "varchar(355) null"},
    {"FCUUnStockUnitName", "varchar(355) null"},
    {"FInSrcEntryID", "int null"},
    {"FDeptName", "varchar(355) null"},
    {"FEmpName", "varchar(355) null"},
    {"FQtyDecimal", "smallint"},
    {"FPriceDecimal", "smallint"},
    {"FStockEntryID", "int null"},
    {"FIsDelay", "int null"},
    {"FExp", "varchar(355) null"},
    {"FDateSort", "datetime null"},
};

const ColumnDef kData400[] = {
    {"FInterID", "varchar(355) null"},
    {"FEntryID", "int null"},
    {"FMOBillNO", "varchar(355)"},
    {"FItemID", "varchar(355) null"},
    {"FTranType", "varchar(355) null"},
    {"FDate", "datetime null"},
    {"FNumber", "varchar(355) null"},
    {"FNumberSort", "varchar(100)"},
    {"FShortNumber", "varchar(355) null"},
    {"FName", "varchar(355) null"},
    {"FModel", "varchar(355) null"},
    {"FAuxPropName", "varchar(355) null"},
    {"FBatchNo", "varchar(200) null"},
    {"FPlanUnitName", "varchar(355) null"},
    {"FPlanAuxQty", "decimal(23,10) not null default 0"},
    {"FBSPlanUnitName", "varchar(355) null"},
    {"FBSPlanQty", "decimal(23,10) not null default 0"},
    {"FCUPlanUnitName", "varchar(355) null"},
    {"FCUPlanQty", "decimal(23,10) not null default 0"},
    {"FBeginDate", "datetime null"},
    {"FFinishUnitName", "varchar(355) null"},
    {"FFinishAuxQty", "decimal(23,10) not null default 0"},
    {"FBSFinishUnitName", "varchar(355) null"},
    {"FBSFinishQty", "decimal(23,10) not null default 0"},
    {"FCUFinishUnitName", "varchar(355) null"},
    {"FCUFinishQty", "decimal(23,10) not null default 0"},
    {"FPlanFinishDate", "datetime null"},
    {"FFinishDate", "datetime null"},
    {"FFinishRate", "decimal(23,10) not null default 0"},
    {"FOrderBillNo", "varchar(355) null"},
    {"FStockBillNo", "varchar(355) null"},
    {"FMOBillNOSort", "varchar(100)"},
    {"FStockDate", "datetime null"},
    {"FStockUnitName", "varchar(355) null"},
    {"FStockAuxQty", "decimal(23,10) not null default 0"},
    {"FBSStockUnitName", "varchar(355) null"},
    {"FBSStockQty", "decimal(23,10) not null default 0"},
    {"FCUStockUnitName", "varchar(355) null"},
    {"FCUStockQty", "decimal(23,10) not null default 0"},
    {"FBSUnStockUnitName", "varchar(355) null"},
    {"FBSUnStockQty", "decimal(23,10) not null default 0"},
    {"FCUUnStockUnitName", "varchar(355) null"},
    {"FCUUnStockQty", "decimal(23,10) not null default 0"},
    {"FDeptName", "varchar(355) null"},
    {"FEmpName", "varchar(355) null"},
    {"FExp", "varchar(355) null"},
    {"FSumSort", "varchar(355) default 0"},
    {"FQtyDecimal", "smallint"},
    {"FPriceDecimal", "smallint"},
    {"FGroupSort", "int default 0"},
    {"FDateSort", "datetime null"},
    {"FNameSort", "varchar(355) null"},
    {"FModelSort", "varchar(355) null"},
    {"FBatchNoSort", "varchar(200) null"},
    {"FBeginDateSort", "datetime null"},
    {"FPlanFinishDateSort", "datetime null"},
    {"FFinishDateSort", "datetime null"},
    {"FIsTotal", "int not null default 0"},
};

const ColumnDef kData410[] = {
    {"FInterID", "int null default 0"},
    {"FTranType", "int"},
    {"FPItemID", "int null"},
    {"FMOBillNO", "varchar(355) null"},
    {"FPNumber", "varchar(355) null"},
    {"FPNumberSort", "varchar(355) null"},
    {"FPName", "varchar(355) null"},
    {"FPShortNumber", "varchar(355) null"},
    {"FPModel", "varchar(355) null"},
    {"FBatchNo", "varchar(200) null"},
    {"FPAuxPropName", "varchar(355) null"},
    {"FPAuxUnitID", "int null"},
    {"FPUnitName", "varchar(355)"},
    {"FPUnitID", "int null"},
    {"FPAuxUnitName", "varchar(355)"},
    {"FDate", "datetime"},
    {"FPlanDate", "datetime"},
    {"FFinishDate", "datetime"},
    {"FAuxPlanQty", "decimal(23,10)"},
    {"FPlanQty", "decimal(23,10)"},
    {"FAuxFinishQty", "decimal(23,10)"},
    {"FFinishQty", "decimal(23,10)"},
    {"FUnFinishAuxQty", "decimal(23,10)"},
    {"FUnFinishQty", "decimal(23,10)"},
    {"FQtyDecimal", "int"},
    {"FPriceDecimal", "int"},
    {"FFinishRate", "decimal(10,2)"},
    {"FFinishRateStr", "varchar(50)"},
    {"FUnFinishRate", "decimal(10,2)"},
    {"FUnFinishRateStr", "varchar(50)"},
    {"FClosed", "varchar(355)"},
    {"FDept", "varchar(50)"},
    {"FEmp", "varchar(50)"},
    {"FExp", "varchar(500)"},
    {"FSumSort", "int default 0"},
    {"FPeriod", "int"},
};


void ExpectColumns(const std::string& batch, const char* marker, const ColumnDef* documented,
                   size_t count) {
  const std::vector<ColumnDef> actual = ColumnDefs(batch, marker);
  ASSERT_EQ(actual.size(), count) << marker;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(actual[i].name, documented[i].name) << marker << " column " << i + 1;
    EXPECT_EQ(actual[i].type, documented[i].type) << marker << " " << documented[i].name;
  }
}

void ExpectWholeLines(const std::string& batch, std::vector<std::string> lines) {
  const std::vector<std::string> all = SplitCrLf(batch);
  for (const std::string& line : lines) {
    EXPECT_NE(std::find(all.begin(), all.end(), line), all.end()) << "[" << line << "]";
  }
}

TEST(ReportTables, Report400TablesMatchTheirColumnLists) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}});
  const std::string batch = Rpt400Batch1(*filter);
  ExpectColumns(batch, " Create Table #T400\r\n", kT400, std::size(kT400));
  ExpectColumns(batch, "  Create Table #T400_1\r\n", kT400_1, std::size(kT400_1));
  ExpectColumns(batch, "Create Table #Data(", kData400, std::size(kData400));
  ExpectWholeLines(batch, {
      "FNumber Varchar(355) Null,FNumberSort varchar(255),",
      "FEmpName Varchar(100) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,",
      "FSumSort smallint Not Null default 0,FExp varchar(355) null)",
      "  (  FICMOInterID     int Null,FMOBillNO varchar(100),",
      "  FEmpName Varchar(355) Null,FQtyDecimal SmallInt,FPriceDecimal SmallInt,",
      "  FStockEntryID int Null,FIsDelay int Null,FExp  varchar(355) Null,FDateSort datetime null )",
      "   FNameSort Varchar(355) Null,",
      "   FFinishDateSort DateTime Null,",
  });
  // #Data: columns 1-25 and 26-51 each on one line, and the multi-column pieces inside them.
  const std::vector<std::string> lines = SplitCrLf(batch);
  auto line_of = [&](std::string_view start) -> std::string {
    for (const std::string& line : lines)
      if (line.rfind(start, 0) == 0) return line;
    return {};
  };
  const std::string first = line_of("FInterID Varchar(355) Null,");
  const std::string second = line_of("FCUFinishQty Decimal(23,10) Not Null Default(0),");
  EXPECT_TRUE(first.ends_with("FCUFinishUnitName Varchar(355) Null,")) << first;
  EXPECT_TRUE(second.ends_with("FGroupSort int default 0,FDateSort datetime null,")) << second;
  for (const char* piece : {"FEntryID int null,FMOBillNO varchar(355),",
                            "FNumber Varchar(355) Null,FNumberSort varchar(100),"}) {
    EXPECT_NE(first.find(piece), std::string::npos) << piece;
  }
  for (const char* piece : {"FStockBillNo Varchar(355) Null,FMOBillNOSort varchar(100),",
                            "FSumSort Varchar(355) Default 0,FQtyDecimal SmallInt, FPriceDecimal SmallInt, "}) {
    EXPECT_NE(second.find(piece), std::string::npos) << piece;
  }
  EXPECT_NE(batch.find("   FIsTotal int Not null default (0))Insert Into #Data(FInterID,"),
            std::string::npos);
}

TEST(ReportTables, Report410TableMatchesItsColumnList) {
  const std::string batch = Rpt410Batch1("", 0);
  ExpectColumns(batch, "Create Table #Data(", kData410, std::size(kData410));
  ExpectWholeLines(batch, {
      "FInterID int null default 0,FTranType int,",
      "FPNumber Varchar(355) Null,FPNumberSort Varchar(355) Null,",
      "FPAuxUnitID int null,FPUnitName varchar(355),",
      "FPUnitID int null,FPAuxUnitName varchar(355),",
      "FUnFinishQty Decimal(23,10),FQtyDecimal int,FPriceDecimal int,",
      "FFinishRate Decimal(10,2),FFinishRateStr varchar(50),",
      "FUnFinishRate Decimal(10,2),FUnFinishRateStr varchar(50),FClosed varchar(355),FDept varchar(50),FEmp varchar(50),FExp varchar(500),",
      "FSumSort int default 0,FPeriod int)",
  });
}

}  // namespace
}  // namespace orv::reports
