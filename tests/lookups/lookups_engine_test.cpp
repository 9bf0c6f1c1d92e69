// The look-ups on the embedded engine: their statements run as written against small company
// tables, through the broker's two connections of one data source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "service/connection_broker.h"
#include "service/data.h"

namespace orv::lookups {
namespace {

using service::Data;

class LookupsEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service::RegisterServiceClasses();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "orv_lookups_" + std::to_string(getpid()) + "_" +
            info->name() + ".db";
    std::remove(path_.c_str());
    dsn_ = "Provider=Embedded;Data Source=" + path_;
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

TEST_F(LookupsEngineTest, ItemPropDescWithAnEmptyFilterIsAServiceError) {
  try {
    data_->GetItemPropDesc(dsn_, std::string());
    ADD_FAILURE() << "no error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_FALSE(e.description().empty());
  }
}

}  // namespace
}  // namespace orv::lookups
