// The demo database as the reports rely on it: built by the generator on the engine, then
// checked with SQL. Red bills point to blue bills of their own type, lines point to existing
// documents, units and items hang together, and every report has rows of each kind to show.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "demo/generator.h"
#include "tsql/catalog/persistence.h"
#include "tsql/engine.h"

namespace orv::demo {
namespace {

using tsql::StatementResult;

class DemoDatabase : public ::testing::Test {
 protected:
  // Generated in memory, saved to a file and opened again, as `demo create` does: the checks
  // then also cover the file round trip and the stored demo clock.
  static void SetUpTestSuite() {
    path_ = ::testing::TempDir() + "demo_invariants_" + std::to_string(::getpid()) + ".orvdb";
    {
      auto memory = tsql::OpenDatabase(":memory:");
      tsql::Session builder(memory);
      Generate({Size::Tiny, 3}, [&](const std::string& batch) {
        for (const StatementResult& r : builder.ExecuteBatch(batch)) {
          ASSERT_NE(r.kind, StatementResult::Kind::Error) << r.error.message << "\n" << batch.substr(0, 300);
        }
      });
      tsql::SaveDatabaseAs(*memory, path_);
    }
    session_ = new tsql::Session(tsql::OpenDatabase(path_));
  }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
    std::remove(path_.c_str());
  }

  // The single integer a query returns.
  static int64_t Count(const std::string& sql) {
    const std::vector<StatementResult> results = session_->ExecuteBatch(sql);
    for (const StatementResult& r : results) {
      if (r.kind == StatementResult::Kind::Error) ADD_FAILURE() << r.error.message << "\n" << sql;
      if (r.kind == StatementResult::Kind::Rows && !r.rows.empty()) return r.rows[0][0].int_value();
    }
    ADD_FAILURE() << "no row from: " << sql;
    return -1;
  }

  static tsql::Session* session_;
  static std::string path_;
};

tsql::Session* DemoDatabase::session_ = nullptr;
std::string DemoDatabase::path_;

TEST_F(DemoDatabase, RedBillsReverseBlueBillsOfTheirOwnType) {
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICStockBillEntry e JOIN ICStockBill r ON r.FInterID = e.FInterID "
                  "WHERE r.FROB = -1 AND NOT EXISTS (SELECT 1 FROM ICStockBill b WHERE b.FInterID = e.FSourceInterID "
                  "AND b.FROB = 1 AND b.FTranType = r.FTranType)"),
            0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICStockBill WHERE FROB = -1 AND FTranType = 2"), 0);
}

TEST_F(DemoDatabase, LinesPointToExistingDocuments) {
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICMOEntry e WHERE NOT EXISTS (SELECT 1 FROM ICMO m WHERE m.FInterID = e.FInterID)"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICStockBillEntry e WHERE NOT EXISTS "
                  "(SELECT 1 FROM ICStockBill b WHERE b.FInterID = e.FInterID)"),
            0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICStockBillEntry e WHERE e.FSourceTranType = 85 AND NOT EXISTS "
                  "(SELECT 1 FROM ICMO m WHERE m.FInterID = e.FSourceInterID)"),
            0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICApportionFeeEntry e WHERE NOT EXISTS "
                  "(SELECT 1 FROM ICApportionFee f WHERE f.FInterID = e.FInterID)"),
            0);
}

TEST_F(DemoDatabase, UnitsAndItemsHangTogether) {
  // Every unit an item, task order or line names exists, and an item's base and stock units
  // belong to one unit group.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_ICItem i WHERE NOT EXISTS (SELECT 1 FROM t_MeasureUnit u WHERE u.FMeasureUnitID = i.FUnitID) "
                  "OR NOT EXISTS (SELECT 1 FROM t_MeasureUnit u WHERE u.FMeasureUnitID = i.FStoreUnitID)"),
            0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_ICItem i JOIN t_MeasureUnit b ON b.FMeasureUnitID = i.FUnitID "
                  "JOIN t_MeasureUnit s ON s.FMeasureUnitID = i.FStoreUnitID WHERE b.FUnitGroupID <> s.FUnitGroupID"),
            0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICMO m JOIN t_ICItem i ON i.FItemID = m.FItemID "
                  "JOIN t_MeasureUnit u ON u.FMeasureUnitID = m.FUnitID JOIN t_MeasureUnit b ON b.FMeasureUnitID = i.FUnitID "
                  "WHERE u.FUnitGroupID <> b.FUnitGroupID"),
            0);
  // The base quantity of a task order is its own quantity times its unit's coefficient.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ICMO m JOIN t_MeasureUnit u ON u.FMeasureUnitID = m.FUnitID "
                  "WHERE ABS(m.FQty - m.FAuxQty * u.FCoefficient) > 0.0001"),
            0);
}

TEST_F(DemoDatabase, TaskOrdersCoverEveryStatusAndDueDateCase) {
  EXPECT_EQ(Count("SELECT COUNT(DISTINCT FStatus) FROM ICMO"), 4);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FCancellation = 1"), 0);
  // Overdue, due within the alarm window, finished early, on time and late.
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FFinishRate < 100 AND FPlanFinishDate < GETDATE()"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FFinishRate < 100 AND DATEDIFF(day, GETDATE(), FPlanFinishDate) BETWEEN 0 AND 7"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FFinishDate < FPlanFinishDate"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FFinishDate = FPlanFinishDate"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM ICMO WHERE FFinishDate > FPlanFinishDate"), 0);
}

TEST_F(DemoDatabase, ClockIsTheDemosToday) {
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_OrvClock WHERE CONVERT(char(19), FToday, 120) = '" + std::string(kDemoToday) + "'"), 1);
}

}  // namespace
}  // namespace orv::demo
