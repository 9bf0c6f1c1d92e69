// Every report end to end on the generated demo database: the service runs each report's
// batches through the embedded engine on a data-source file, and each report must return rows
// of every kind it can produce. A second test runs every statement of every batch on the bare
// schema, so that a name the engine cannot resolve shows up even where the data is empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/variant.h"
#include "demo_fixture.h"
#include "reports/cost/rpt499_client.h"
#include "reports/production/report401.h"
#include "service/connection_broker.h"
#include "service/data.h"
#include "support/source_under_test.h"

namespace orv::integration {
namespace {

using automation::Variant;

struct ResultSummary {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;

  int Column(const std::string& name) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i] == name) return static_cast<int>(i);
    }
    return -1;
  }
  // The distinct values of one column, as text.
  std::set<std::string> Distinct(const std::string& name) const {
    std::set<std::string> out;
    const int c = Column(name);
    if (c < 0) return out;
    for (const auto& row : rows) out.insert(row[static_cast<size_t>(c)]);
    return out;
  }
};

ResultSummary Summarize(const std::shared_ptr<ado::Recordset>& rs) {
  ResultSummary s;
  if (!rs || rs->State() != ado::adStateOpen) return s;
  for (size_t i = 0; i < rs->FieldCount(); ++i) s.columns.push_back(rs->Fields(i).Name());
  while (!rs->EOF()) {
    std::vector<std::string> row;
    for (size_t i = 0; i < rs->FieldCount(); ++i) {
      const Variant v = rs->Fields(i).Value();
      row.push_back(v.IsNull() ? "NULL" : automation::CStr(v));
    }
    s.rows.push_back(std::move(row));
    rs->MoveNext();
  }
  return s;
}

class DemoReportsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service::RegisterServiceClasses();
    path_ = new std::string(BuildDemoFile(demo::Size::Tiny, "tiny"));
    source_ = new testing::SourceUnderTest(*path_, "Data Source=" + *path_);
  }
  // The service keeps its connections (and their temporary tables) per thread; each test
  // starts on fresh ones, as a new client process would.
  void TearDown() override { service::OrvGlobal::ForThread().broker()->CloseAll(); }

  static void TearDownTestSuite() {
    delete source_;
    source_ = nullptr;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      std::remove((*path_ + suffix).c_str());
    }
    delete path_;
    path_ = nullptr;
  }

  // Runs a report call; a service error fails the test with its description.
  template <class Call>
  ResultSummary Run(Call call) {
    automation::Err().Clear();
    service::Data data;
    const std::string& dsn = source_->Text();
    try {
      return Summarize(call(data, dsn));
    } catch (const automation::AutomationError& e) {
      ADD_FAILURE() << "report failed: " << e.description();
    }
    return {};
  }

  static std::string* path_;
  static testing::SourceUnderTest* source_;
};

std::string* DemoReportsTest::path_ = nullptr;
testing::SourceUnderTest* DemoReportsTest::source_ = nullptr;

TEST_F(DemoReportsTest, TaskSummaryHasTaskReceiptSubtotalAndTotalRows) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.GetRpt400Data(dsn, ProductionFilter());
  });
  EXPECT_EQ(r.Distinct("FGroupSort"), (std::set<std::string>{"0", "1", "3", "4"}));
}

TEST_F(DemoReportsTest, MaterialSummaryHasMaterialSubtotalAndTotalRows) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.GetRpt406Data(dsn, ProductionFilter());
  });
  EXPECT_EQ(r.Distinct("FGroupSort"), (std::set<std::string>{"0", "1", "3", "4"}));
}

TEST_F(DemoReportsTest, AlarmHasTaskSubtotalAndMonthTotalRows) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.GetRpt410Data(dsn, AlarmFilter());
  });
  EXPECT_EQ(r.Distinct("FSumSort"), (std::set<std::string>{"0", "101", "102"}));
}

TEST_F(DemoReportsTest, ItemSummaryHasOneRowPerItem) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.GetRpt401Data(dsn, reports::Rpt401StandardFragments(), ProductionFilter());
  });
  ASSERT_FALSE(r.rows.empty());
  const std::set<std::string> items = r.Distinct("FItemNumber");
  EXPECT_EQ(items.size(), r.rows.size()) << "an item number appears twice";
}

TEST_F(DemoReportsTest, PeriodProductCostHasRows) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    auto filter = automation::NewDictionary();
    filter->SetItem("BatchNo", Variant("FBATCHNO"));
    return d.Get498HappenData(dsn, kCostYear, kCostPeriod, automation::NewDictionary(), filter);
  });
  EXPECT_FALSE(r.rows.empty());
}

TEST_F(DemoReportsTest, WorkInProcessRollForwardHasRows) {
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.Get499HappenData(dsn, kCostYear, kCostPeriod, reports::Rpt499StandardFragments(),
                              automation::NewDictionary());
  });
  EXPECT_FALSE(r.rows.empty());
  const std::set<std::string> items = r.Distinct("FNumber");
  EXPECT_EQ(items.size(), r.rows.size()) << "the standard fragments sum per item number";
}

// One client on one connection: the item summary leaves its client table #DATA behind, and the
// roll-forward's standard fragments must still build theirs.
TEST_F(DemoReportsTest, RollForwardAfterItemSummaryOnTheSameConnection) {
  Run([](service::Data& d, const std::string& dsn) {
    return d.GetRpt401Data(dsn, reports::Rpt401StandardFragments(), ProductionFilter());
  });
  const ResultSummary r = Run([](service::Data& d, const std::string& dsn) {
    return d.Get499HappenData(dsn, kCostYear, kCostPeriod, reports::Rpt499StandardFragments(),
                              automation::NewDictionary());
  });
  EXPECT_FALSE(r.rows.empty());
}

// Every statement of every report batch runs on the bare schema without a name, binding or
// compile error. Errors that only data can cause are allowed: with no rows the grand-total
// insert of the task summary puts Null sums into not-null columns (Msg 515), as it would on
// the server.
TEST(ReportBatchesTest, EveryStatementBindsOnTheSchema) {
  const std::set<int> kDataErrors = {515, 512, 8134, 8115, 245};
  auto session = SchemaOnlySession();
  for (const LabelledBatch& batch : AllReportBatches()) {
    for (const auto& result : session->ExecuteBatch(batch.text)) {
      if (result.kind != tsql::StatementResult::Kind::Error) continue;
      if (kDataErrors.count(result.error.number)) continue;
      ADD_FAILURE() << batch.label << ": Msg " << result.error.number << ": "
                    << result.error.message;
    }
  }
}

}  // namespace
}  // namespace orv::integration
