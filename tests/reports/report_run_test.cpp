// The report bodies on a scripted connection: which batches they send, in which order, what
// they return, and that a failing batch stops them with the data source's error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ado/connection.h"
#include "ado/scripted_provider.h"
#include "automation/error.h"
#include "reports/production/report400.h"
#include "reports/production/report401.h"
#include "reports/production/report406.h"
#include "reports/production/report410.h"
#include "sql_lines.h"

namespace orv::reports {
namespace {

using automation::Variant;
using testing::MakeFilter;

class ReportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ado::InstallScriptedProvider();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    script_ = ado::ScriptFor("reports-" + name);
    script_->Reset();
    ctx_.connection = ado::Connection::Open("Provider=Scripted;Data Source=reports-" + name);
  }

  // Queues a one-column rowset answer.
  void AnswerValue(const char* column, Variant value) {
    script_->AnswerRows({{column, "varchar(255)"}}, {{std::move(value)}});
  }

  std::shared_ptr<ado::Script> script_;
  ReportContext ctx_;
};

TEST_F(ReportRunTest, Report400SendsBothBatchesAndReturnsTheLast) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"DisplayType", 1}});
  script_->Answer({});  // batch 1: nothing comes back
  AnswerValue("FInterID", "42");
  auto rs = RunRpt400(ctx_, *filter);
  EXPECT_EQ(script_->Received(),
            (std::vector<std::string>{Rpt400Batch1(*filter), Rpt400Batch2(*filter)}));
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(automation::CStr(rs->Fields("FInterID").Value()), "42");
}

TEST_F(ReportRunTest, Report400StopsAtAFailingBatch) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}});
  script_->AnswerError(208, "Invalid object name 'ICMO'.");
  try {
    RunRpt400(ctx_, *filter);
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.description(), "Invalid object name 'ICMO'.");
  }
  EXPECT_EQ(script_->Received().size(), 1u);
}

TEST_F(ReportRunTest, Report401RunsTheClientBatchSecond) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}});
  auto dsql = Rpt401StandardFragments();
  script_->Answer({});
  AnswerValue("FItemNumber", "1.01");
  auto rs = RunRpt401(ctx_, *dsql, filter.get());
  EXPECT_EQ(script_->Received(),
            (std::vector<std::string>{Rpt401Batch1(*filter), Rpt401Batch2(*dsql)}));
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(automation::CStr(rs->Fields(0).Value()), "1.01");
}

TEST_F(ReportRunTest, Report406RunsBatchThenSelect) {
  auto filter = MakeFilter({{"BDate", "2024-01-01"}, {"EDate", "2024-01-31"}, {"DisplayType", "1"}});
  script_->Answer({});
  AnswerValue("FPNumberSort", "zzzzzz");
  auto rs = RunRpt406(ctx_, *filter);
  EXPECT_EQ(script_->Received(),
            (std::vector<std::string>{Rpt406Batch(*filter), Rpt406FinalSelect(true)}));
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(automation::CStr(rs->Fields(0).Value()), "zzzzzz");
}

std::shared_ptr<automation::Dictionary> Filter410() {
  return MakeFilter({{"BWorkDate", "2024-01-01"},
                     {"EWorkDate", "2024-12-31"},
                     {"BFinishDate", "2024-01-01"},
                     {"EFinishDate", "2024-12-31"}});
}

TEST_F(ReportRunTest, Report410ReadsTheAlarmDaysFirst) {
  auto filter = Filter410();
  AnswerValue("FValue", "7");
  script_->Answer({});
  AnswerValue("FPeriod", 202401);
  auto rs = RunRpt410(ctx_, *filter);
  const std::string conditions = ReadRpt410Conditions(*filter);
  EXPECT_EQ(script_->Received(),
            (std::vector<std::string>{kRpt410SettingQuery, Rpt410Batch1(conditions, 7),
                                      Rpt410Batch2()}));
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(automation::CLng(rs->Fields(0).Value()), 202401);
}

TEST_F(ReportRunTest, Report410WithoutTheSettingUsesZeroDays) {
  auto filter = Filter410();
  script_->AnswerRows({{"FValue", "varchar(255)"}}, {});  // no row
  auto rs = RunRpt410(ctx_, *filter);
  const std::vector<std::string> received = script_->Received();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1], Rpt410Batch1(ReadRpt410Conditions(*filter), 0));
}

TEST_F(ReportRunTest, Report410SettingThatIsNoNumberFails) {
  auto filter = Filter410();
  AnswerValue("FValue", "seven");
  try {
    RunRpt410(ctx_, *filter);
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kTypeMismatch);
  }
  EXPECT_EQ(script_->Received().size(), 1u);
}

}  // namespace
}  // namespace orv::reports
