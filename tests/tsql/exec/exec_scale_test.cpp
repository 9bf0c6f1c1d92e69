// The report statement shapes on large tables: every one must run set-based (hash joins,
// keyed subqueries, hash grouping). A quadratic plan would not finish within the bounds here.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tsql/catalog/catalog.h"
#include "tsql/catalog/session_state.h"
#include "tsql/engine.h"

namespace orv::tsql {
namespace {

constexpr int kOrders = 200000;
constexpr int kLines = 600000;
constexpr int kItems = 5000;

std::shared_ptr<Table> MakeTable(const std::string& name, std::vector<ColumnDef> columns) {
  auto t = std::make_shared<Table>();
  t->name = name;
  t->columns = std::move(columns);
  return t;
}

ColumnDef Col(const std::string& name, SqlType type) { return ColumnDef{name, type, true, {}, "", false, 1, 1, {}, "", ""}; }

class ScaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = OpenDatabase(":memory:");
    auto icmo = MakeTable("ICMO", {Col("FInterID", SqlType::Int()), Col("FBillNo", SqlType::VarChar(20)),
                                   Col("FItemID", SqlType::Int()), Col("FDate", SqlType::DateTime()),
                                   Col("FQty", SqlType::Decimal(23, 10)), Col("FUnitID", SqlType::Int())});
    for (int i = 1; i <= kOrders; ++i) {
      icmo->mutable_rows().push_back({Value::Int(i), Value::String("MO" + std::to_string(i)),
                            Value::Int(i % kItems + 1), Value::DateTime(int64_t{45000 + i % 365} * kTicksPerDay),
                            Value::Decimal(Int128{i % 97} * 10000000000, 10), Value::Int(i % 3 + 1)});
    }
    auto item = MakeTable("t_ICItem", {Col("FItemID", SqlType::Int()), Col("FNumber", SqlType::VarChar(20)),
                                       Col("FQtyDecimal", SqlType::SmallInt()), Col("FStoreUnitID", SqlType::Int())});
    for (int i = 1; i <= kItems; ++i) {
      item->mutable_rows().push_back({Value::Int(i), Value::String("01." + std::to_string(i)), Value::Int(i % 4),
                            Value::Int(i % 3 + 1)});
    }
    auto unit = MakeTable("t_MeasureUnit", {Col("FMeasureUnitID", SqlType::Int()),
                                            Col("FCoefficient", SqlType::Decimal(23, 10))});
    for (int i = 1; i <= 3; ++i) unit->mutable_rows().push_back({Value::Int(i), Value::Decimal(Int128{i} * 10000000000, 10)});
    auto lines = MakeTable("ICStockBillEntry", {Col("FEntryID", SqlType::Int()), Col("FSourceInterID", SqlType::Int()),
                                                Col("FQty", SqlType::Decimal(23, 10))});
    for (int i = 1; i <= kLines; ++i) {
      lines->mutable_rows().push_back({Value::Int(i), Value::Int(i % kOrders + 1), Value::Decimal(Int128{i % 13} * 10000000000, 10)});
    }
    for (auto& t : {icmo, item, unit, lines}) db_->AddLoadedTable(t);
  }
  static void TearDownTestSuite() { db_.reset(); }

  // Runs a batch, expects no error, returns the results and checks the time bound.
  std::vector<StatementResult> Run(Session& session, const std::string& sql, double max_seconds) {
    auto start = std::chrono::steady_clock::now();
    auto results = session.ExecuteBatch(sql);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& r : results) {
      EXPECT_NE(r.kind, StatementResult::Kind::Error) << r.error.message << "\n" << sql;
    }
    EXPECT_LT(seconds, max_seconds) << sql;
    return results;
  }

  static std::shared_ptr<Database> db_;
};

std::shared_ptr<Database> ScaleTest::db_;

TEST_F(ScaleTest, JoinsUpdatesAndSubqueriesStaySetBased) {
  Session session(db_);
  Run(session,
      "set nocount on\n"
      "create table #T (FInterID int, FBillNo varchar(20), FItemID int, FQty decimal(23,10), "
      "FStock decimal(23,10) not null default 0, FDate datetime, FIn decimal(23,10))\n"
      "insert into #T (FInterID, FBillNo, FItemID, FQty, FDate)\n"
      "select v1.FInterID, v1.FBillNo, v1.FItemID, Round(v1.FQty, t1.FQtyDecimal), v1.FDate\n"
      "from ICMO v1 inner join t_ICItem t1 on v1.FItemID = t1.FItemID\n"
      "inner join t_MeasureUnit u on u.FMeasureUnitID = v1.FUnitID order by v1.FDate, v1.FInterID",
      60);
  // Comma joins with the equalities in WHERE.
  Run(session,
      "update t1 set t1.FStock = Round(t1.FQty / t7C.FCoefficient, t4.FQtyDecimal)\n"
      "from #T t1, t_ICItem t4, t_MeasureUnit t7C\n"
      "where t1.FItemID = t4.FItemID and t4.FStoreUnitID = t7C.FMeasureUnitID",
      60);
  // Target not in FROM, correlated by WHERE; correlated scalar subquery per row.
  Run(session,
      "update #T set FDate = ICMO.FDate from ICMO where ICMO.FInterID = #T.FInterID\n"
      "update #T set FIn = (select top 1 FQty from ICStockBillEntry e where e.FSourceInterID = #T.FInterID)",
      60);
  // IN and EXISTS against the million-line table, then grouping.
  auto results = Run(session,
                     "select count(*) from ICMO where FInterID in (select FSourceInterID from ICStockBillEntry)\n"
                     "select count(*) from #T t where exists (select * from ICStockBillEntry e where e.FSourceInterID = t.FInterID and e.FQty > 0)\n"
                     "select FBillNo, FDateSort = (select FDate from ICMO where FBillNo = #T.FBillNo), sum(FQty) from #T group by FBillNo",
                     60);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].rows[0][0].int_value(), kOrders);
  EXPECT_GT(results[1].rows[0][0].int_value(), kOrders / 2);
  EXPECT_EQ(results[2].rows.size(), static_cast<size_t>(kOrders));
}

}  // namespace
}  // namespace orv::tsql
