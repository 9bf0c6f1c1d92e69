// Connection::Execute and NextRecordset: which result of a batch the caller gets first, where
// errors surface, and what stays queued.
#include <gtest/gtest.h>

#include "ado/connection.h"
#include "ado/results.h"
#include "ado/scripted_provider.h"
#include "automation/error.h"

namespace orv::ado {
namespace {

using testing::Count;
using testing::Error;
using testing::IntRows;
using testing::Message;

class ExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallScriptedProvider();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    script_ = ScriptFor("execute-" + name);
    script_->Reset();
    connection_ = Connection::Open("Provider=Scripted;Data Source=execute-" + name);
  }

  // The values of the single int column of an open recordset, read to its end.
  static std::vector<int32_t> Column(Recordset& rs) {
    std::vector<int32_t> out;
    for (; !rs.EOF(); rs.MoveNext()) out.push_back(rs.Fields(size_t{0}).Value().AsLong());
    return out;
  }

  // Runs `action`, expecting a provider error with exactly `message`.
  template <class F>
  static void ExpectProviderError(F action, const std::string& message) {
    try {
      action();
      ADD_FAILURE() << "no error; expected: " << message;
    } catch (const automation::AutomationError& e) {
      EXPECT_EQ(e.number(), adoerr::kProviderError);
      EXPECT_EQ(e.description(), message);
      EXPECT_EQ(e.source(), "orvdata");
    }
  }

  std::shared_ptr<Script> script_;
  std::shared_ptr<Connection> connection_;
};

TEST_F(ExecuteTest, RowsFirstOpensTheRecordset) {
  script_->Answer({Message("starting"), IntRows("n", {1, 2, 3}), Count(7)});
  int64_t affected = 99;
  auto rs = connection_->Execute("select n from t\r\n", &affected);
  EXPECT_EQ(script_->Received(), std::vector<std::string>{"select n from t\r\n"});
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(affected, -1);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->CursorLocation(), adUseClient);
  EXPECT_EQ(rs->ActiveConnection(), connection_);
  EXPECT_EQ(Column(*rs), (std::vector<int32_t>{1, 2, 3}));

  auto count = rs->NextRecordset();
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->State(), adStateClosed);
  EXPECT_EQ(count->NextRecordset(), nullptr);
}

TEST_F(ExecuteTest, CountFirstGivesClosedRecordsetThenRows) {
  script_->Answer({Count(3), Message("between"), IntRows("n", {10, 20}), Count(2)});
  int64_t affected = 0;
  auto rs = connection_->Execute("insert ...; select n ...; update ...", &affected);
  EXPECT_EQ(affected, 3);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(rs->RecordCount(), -1);

  auto rows = rs->NextRecordset();
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(rows->State(), adStateOpen);
  EXPECT_EQ(Column(*rows), (std::vector<int32_t>{10, 20}));

  auto last = rows->NextRecordset();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->State(), adStateClosed);
  EXPECT_EQ(last->NextRecordset(), nullptr);
  // The queue moved on with the recordset that NextRecordset returned.
  EXPECT_EQ(rows->NextRecordset(), nullptr);
}

TEST_F(ExecuteTest, ErrorBeforeFirstResultIsRaisedWithServerText) {
  script_->Answer({Message("note"), Error(208, "Invalid object name 'x'."), IntRows("n", {1})});
  ExpectProviderError([&] { connection_->Execute("select * from x"); }, "Invalid object name 'x'.");
  ASSERT_EQ(connection_->LastErrors().size(), 1u);
  EXPECT_EQ(connection_->LastErrors()[0].native, 208);
  EXPECT_EQ(connection_->LastErrors()[0].message, "Invalid object name 'x'.");
}

TEST_F(ExecuteTest, SeveralErrorsBeforeFirstResultRaiseTheFirstAndKeepAll) {
  script_->Answer({Error(515, "Cannot insert the value NULL."),
                   Message("The statement has been terminated.", 3621),
                   Error(8152, "String or binary data would be truncated."), Count(1)});
  ExpectProviderError([&] { connection_->Execute("batch"); }, "Cannot insert the value NULL.");
  ASSERT_EQ(connection_->LastErrors().size(), 2u);
  EXPECT_EQ(connection_->LastErrors()[0].native, 515);
  EXPECT_EQ(connection_->LastErrors()[1].native, 8152);

  // The next batch starts with a clean error list.
  connection_->Execute("select 1");
  EXPECT_TRUE(connection_->LastErrors().empty());
}

TEST_F(ExecuteTest, ErrorAfterFirstResultSurfacesOnlyOnNextRecordset) {
  script_->Answer({IntRows("n", {1}),
                   Error(245,
                         "Conversion failed when converting the varchar value 'a' to "
                         "data type int."),
                   IntRows("n", {2})});
  auto rs = connection_->Execute("batch");
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_TRUE(connection_->LastErrors().empty());
  EXPECT_EQ(Column(*rs), std::vector<int32_t>{1});

  ExpectProviderError([&] { rs->NextRecordset(); },
                      "Conversion failed when converting the varchar value 'a' to data type int.");
  ASSERT_EQ(connection_->LastErrors().size(), 1u);
  EXPECT_EQ(connection_->LastErrors()[0].native, 245);

  // The stream continues after the error.
  auto next = rs->NextRecordset();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(Column(*next), std::vector<int32_t>{2});
  EXPECT_EQ(next->NextRecordset(), nullptr);
}

TEST_F(ExecuteTest, BatchWithoutResultsGivesClosedRecordset) {
  const std::vector<std::vector<ProviderResult>> answers = {
      {Message("only printed"), Message("twice")},
      {},
  };
  for (const auto& answer : answers) {
    script_->Answer(answer);
    int64_t affected = 5;
    auto rs = connection_->Execute("print 'x'", &affected);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->State(), adStateClosed);
    EXPECT_EQ(affected, -1);
    EXPECT_EQ(rs->NextRecordset(), nullptr);
  }
}

TEST_F(ExecuteTest, UnpreparedScriptAnswersAZeroRowCount) {
  int64_t affected = 5;
  auto rs = connection_->Execute("delete from t", &affected);
  EXPECT_EQ(affected, 0);
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(script_->Received(), std::vector<std::string>{"delete from t"});
}

TEST_F(ExecuteTest, ExecuteNoRecordsStillRaisesLeadingErrors) {
  script_->Answer({IntRows("n", {1})});
  EXPECT_EQ(connection_->Execute("select 1", nullptr, adExecuteNoRecords), nullptr);
  script_->Answer({Error(102, "Incorrect syntax near 'x'.")});
  ExpectProviderError([&] { connection_->Execute("x", nullptr, adExecuteNoRecords); },
                      "Incorrect syntax near 'x'.");
}

TEST_F(ExecuteTest, ClosedConnectionRefusesToExecute) {
  connection_->Close();
  EXPECT_FALSE(connection_->IsOpen());
  try {
    connection_->Execute("select 1");
    FAIL();
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), adoerr::kObjectClosed);
  }
  EXPECT_TRUE(script_->Received().empty());
}

}  // namespace
}  // namespace orv::ado
