// The look-ups on the embedded engine: their statements run as written against small company
// tables, through the broker's two connections of one data source. Also the request frame seen
// from the engine: which connection a statement runs on, and what a failing batch leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ado/connection.h"
#include "automation/collections.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "service/connection_broker.h"
#include "service/data.h"
#include "service/load_message.h"
#include "support/source_under_test.h"

namespace orv::lookups {
namespace {

using service::Data;

class LookupsEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service::RegisterServiceClasses();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "orv_lookups_" + std::to_string(getpid()) + "_" + info->name() +
            ".db";
    std::remove(path_.c_str());
    source_ = std::make_unique<testing::SourceUnderTest>(path_,
                                                         "Provider=Embedded;Data Source=" + path_ + ";Create=yes");
    dsn_ = source_->Text();
    broker().CloseAll();
    data_ = std::make_shared<Data>();
    Run("Create Table t_PeriodDate (FYear int, FPeriod int, FStartDate datetime, "
        "FEndDate datetime)");
    Run("Insert Into t_PeriodDate Values (2023, 11, '2023-11-01', '2023-11-30')");
    Run("Insert Into t_PeriodDate Values (2023, 12, '2023-12-01', '2023-12-31')");
    Run("Insert Into t_PeriodDate Values (2024, 1, '2024-01-01', '2024-01-31')");
    Run("Insert Into t_PeriodDate Values (2024, 2, '2024-02-01', '2024-02-29')");
    Run("Create Table t_MeasureUnit (FMeasureUnitID int, FCoefficient decimal(28,10))");
    for (const char* unit : {"1, 1", "2, 12", "3, 1000", "4, 0"}) {
      Run(std::string("Insert Into t_MeasureUnit Values (") + unit + ")");
    }
    Run("Create Table t_ICItem (FItemID int, FNumber varchar(80), FQtyDecimal smallint, "
        "FPriceDecimal smallint)");
    Run("Insert Into t_ICItem Values (1, 'A''01', 3, NULL)");
  }
  void TearDown() override {
    data_.reset();
    broker().CloseAll();
    source_.reset();
    std::remove(path_.c_str());
  }
  static service::ConnectionBroker& broker() { return *service::OrvGlobal::ForThread().broker(); }
  // Setup statements go through the report connection; the period look-ups read through the
  // look-up connection of the same source.
  void Run(const std::string& sql) {
    broker().OpenDataSource(dsn_);
    broker().Connection()->Execute(sql);
  }

  std::string path_;
  std::unique_ptr<testing::SourceUnderTest> source_;
  std::string dsn_;
  std::shared_ptr<Data> data_;
};

TEST_F(LookupsEngineTest, PeriodsAcrossTheYearBoundary) {
  int32_t year = 0, period = 0;
  EXPECT_TRUE(data_->GetLastPeriod(dsn_, 2024, 1, year, period));
  EXPECT_EQ(year, 2023);
  EXPECT_EQ(period, 12);
  EXPECT_TRUE(data_->GetLastPeriod(dsn_, 2024, 5, year, period));  // not stored itself
  EXPECT_EQ(year, 2024);
  EXPECT_EQ(period, 2);
  year = period = -1;
  EXPECT_FALSE(data_->GetLastPeriod(dsn_, 2023, 11, year, period));
  EXPECT_EQ(year, -1);

  std::string start = "s", end = "e";
  EXPECT_TRUE(data_->GetCurDate(dsn_, 2024, 2, start, end));
  EXPECT_EQ(start, "2024-02-01");
  EXPECT_EQ(end, "2024-02-29");
  EXPECT_FALSE(data_->GetCurDate(dsn_, 2024, 3, start, end));
  EXPECT_EQ(start, "2024-02-01");
}

TEST_F(LookupsEngineTest, UnitCoefficients) {
  service::ConnectionRef cn;
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 2, 1, dsn_), 12);
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 1, 2), 1.0 / 12);
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 2, 2), 1);
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 1, 0), -1);
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 1, 4), -1);
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 99, 3), 1000);
}

TEST_F(LookupsEngineTest, DecimalsAndAnApostropheInTheNumber) {
  int32_t qty = 0, price = 0;
  data_->GetDecimal(dsn_, " A'01 ", qty, price);
  EXPECT_EQ(qty, 3);
  EXPECT_EQ(price, 2);
  data_->GetDecimal(dsn_, "nothing", qty, price);
  EXPECT_EQ(qty, 2);
  EXPECT_EQ(price, 2);
}

TEST_F(LookupsEngineTest, CurDateGivesYearMonthDayWhateverTheColumnType) {
  struct Case {
    const char* type;
    const char* start;
    const char* end;
  };
  const Case cases[] = {
      {"datetime", "2024-03-01", "2024-03-31 12:00:00"},
      {"smalldatetime", "2024-03-01", "2024-03-31 12:00:00"},
      {"date", "2024-03-01", "2024-03-31"},
      {"char(10)", "2024-03-01", "2024-03-31"},
      {"varchar(30)", "2024-03-01 00:00:00", "2024-03-31 12:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    Run("Drop Table t_PeriodDate");
    Run(std::string("Create Table t_PeriodDate (FYear int, FPeriod int, FStartDate ") + c.type +
        ", FEndDate " + c.type + ")");
    Run(std::string("Insert Into t_PeriodDate Values (2024, 3, '") + c.start + "', '" + c.end +
        "')");
    std::string start, end;
    EXPECT_TRUE(data_->GetCurDate(dsn_, 2024, 3, start, end));
    EXPECT_EQ(start, "2024-03-01");
    EXPECT_EQ(end, "2024-03-31");
  }
}

TEST_F(LookupsEngineTest, CurrencyScaleFollowsTheBaseCurrencyProfile) {
  Run("Create Table t_Currency (FCurrencyID int, FScale smallint)");
  Run("Insert Into t_Currency Values (1, 4)");
  Run("Insert Into t_Currency Values (2, 0)");
  Run("Create Table t_Systemprofile (FCategory varchar(30), FKey varchar(30), "
      "FValue varchar(255))");
  Run("Insert Into t_Systemprofile Values ('IC', 'FBWB', '1')");  // another category
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 2);                    // no base currency
  Run("Insert Into t_Systemprofile Values ('GL', 'FBWB', '9')");
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 2);  // no such currency
  Run("Update t_Systemprofile Set FValue='1' Where FCategory='GL'");
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 4);
  Run("Update t_Systemprofile Set FValue='2' Where FCategory='GL'");
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 0);  // a stored 0 is not the default
}

TEST_F(LookupsEngineTest, ItemMaxLevelIsTheDeepestLevelMinusOneAtLeastOne) {
  Run("Create Table t_Item (FItemID int, FItemClassID int, FLevel smallint)");
  Run("Insert Into t_Item Values (1, 4, 1)");
  Run("Insert Into t_Item Values (2, 4, 2)");
  Run("Insert Into t_Item Values (3, 4, 4)");
  Run("Insert Into t_Item Values (4, 4, 3)");
  Run("Insert Into t_Item Values (5, 1, 1)");
  const std::pair<int32_t, int32_t> cases[] = {{4, 3}, {1, 1}, {8, 1}, {-8, 1}};
  for (const auto& [item_class, expected] : cases) {
    EXPECT_EQ(data_->GetItemMaxLevel(dsn_, item_class), expected) << "class " << item_class;
  }
}

class ItemPropDescEngineTest : public LookupsEngineTest {
 protected:
  void SetUp() override {
    LookupsEngineTest::SetUp();
    Run("Create Table t_ItemPropDesc (FItemClassID int, FPropID int, FName varchar(80), "
        "FName_CHT varchar(80), FName_EN varchar(80), FSQLColumnName varchar(80), "
        "FSrcTable varchar(80), FSrcField varchar(80), FDisplayField varchar(80), FDataType int, "
        "FPageName varchar(80))");
    for (const char* row : {
             "8, 2, '名称', '名稱', 'Name', 'FName', '', '', '', 1, '1.基本资料'",
             "4, 5, '单位', '單位', 'Unit', 'FUnitID', 't_MeasureUnit', 'FMeasureUnitID', "
             "'FName', 2, '2.物流资料'",
             "4, 1, '代码', '代碼', 'Number', 'FNumber', NULL, NULL, NULL, 1, '1.基本资料'",
             "4, 3, '图片', '圖片', 'Picture', 'FPicture', '', '', '', 11, '1.基本资料'",
             "4, 4, '备注', '備註', 'Note', 'FNote', '', '', '', 1, '3.其他'",
             "9, 1, '其他', '其他', 'Other', 'FOther', '', '', '', 1, '9.自定义'",
             "8, 1, '自定义', '自定義', 'Custom', 'FCustom', '', '', '', 1, '9.自定义'",
         }) {
      Run(std::string("Insert Into t_ItemPropDesc Values (") + row + ")");
    }
  }

  // "class.prop name" of each packaged row, in order.
  static std::vector<std::string> Listed(const automation::Vector& properties) {
    std::vector<std::string> listed;
    for (const automation::Variant& item : properties.items()) {
      auto row = automation::As<automation::Dictionary>(item.AsObject());
      listed.push_back(automation::CStr(row->Item("FItemClassID")) + "." +
                       automation::CStr(row->Item("FPropID")) + " " +
                       automation::CStr(row->Item("FName")));
    }
    return listed;
  }
};

TEST_F(ItemPropDescEngineTest, DefaultFilterListsClassesFourAndEightOnTheirPages) {
  auto properties = data_->GetItemPropDesc(dsn_);
  ASSERT_TRUE(properties);
  EXPECT_EQ(Listed(*properties),
            (std::vector<std::string>{"4.1 代码", "4.5 单位", "8.1 自定义", "8.2 名称"}));
  auto unit = automation::As<automation::Dictionary>(properties->Item(1).AsObject());
  EXPECT_EQ(unit->Keys(),
            (std::vector<std::string>{"FItemClassID", "FPropID", "FName", "FSQLColumnName",
                                      "FSrcTable", "FSrcField", "FDisplayField"}));
  EXPECT_EQ(automation::CStr(unit->Item("FSrcField")), "FMeasureUnitID");
  auto number = automation::As<automation::Dictionary>(properties->Item(0).AsObject());
  EXPECT_TRUE(number->Item("FSrcTable").IsNull());

  auto other = data_->GetItemPropDesc(dsn_, std::string(" FItemClassID=9 "));
  EXPECT_EQ(Listed(*other), std::vector<std::string>{"9.1 其他"});
  auto none = data_->GetItemPropDesc(dsn_, std::string(" FItemClassID=5 "));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Count(), 0u);
}

TEST_F(ItemPropDescEngineTest, NameColumnFollowsTheContextLanguage) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {";Language=cht", {"4.1 代碼", "4.5 單位", "8.1 自定義", "8.2 名稱"}},
      {";Language=En", {"4.1 Number", "4.5 Unit", "8.1 Custom", "8.2 Name"}},
      {";Language=EN-US", {"4.1 代码", "4.5 单位", "8.1 自定义", "8.2 名称"}},
  };
  for (const auto& [suffix, expected] : cases) {
    EXPECT_EQ(Listed(*data_->GetItemPropDesc(dsn_ + suffix)), expected) << suffix;
  }
}

TEST_F(ItemPropDescEngineTest, EmptyFilterIsAServiceError) {
  try {
    data_->GetItemPropDesc(dsn_, std::string());
    ADD_FAILURE() << "no error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.source(), std::string(service::kServiceNameKey) + "::GetItemPropDesc");
    EXPECT_FALSE(e.description().empty());
  }
}

TEST_F(LookupsEngineTest, GetDataRunsOnTheReportConnection) {
  // A temporary table of the report connection is visible to GetData.
  Run("Create Table #Mine (x int)");
  Run("Insert Into #Mine Values (7)");
  service::RecordsetRef rs = data_->GetData(dsn_, "Select x From #Mine");
  ASSERT_TRUE(rs);
  ASSERT_FALSE(rs->EOF());
  EXPECT_EQ(automation::CLng(rs->Fields("x").Value()), 7);
}

TEST_F(LookupsEngineTest, ReportFailingInsideItsBatchKeepsItsTablesAndStartsCleanNextTime) {
  auto dsql = automation::NewDictionary();
  auto filter = automation::NewDictionary();
  // No ICMO table: the batch fails at the insert that follows the table creation.
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    service::RecordsetRef rs;
    try {
      rs = data_->GetRpt401Data(dsn_, dsql, filter);
      ADD_FAILURE() << "no error";
    } catch (const automation::AutomationError& e) {
      EXPECT_EQ(e.number(), -7000);
      EXPECT_EQ(e.source(), std::string(service::kServiceNameKey) + "::GetRpt401Data");
      EXPECT_EQ(e.description(), "Invalid object name 'ICMO'.");
    }
    EXPECT_EQ(rs, nullptr);
    // The table the batch created is still there on the report connection.
    EXPECT_NO_THROW(broker().Connection()->Execute("Select Count(*) From #T401"));
  }
}

}  // namespace
}  // namespace orv::lookups
