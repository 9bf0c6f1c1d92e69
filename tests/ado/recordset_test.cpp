// Recordset navigation, the Fields collection, Recordset::Open and detaching, and the exact
// errors the object model raises.
#include <gtest/gtest.h>

#include <functional>

#include "ado/connection.h"
#include "ado/results.h"
#include "ado/scripted_provider.h"
#include "automation/error.h"

namespace orv::ado {
namespace {

using automation::Variant;
using testing::Count;
using testing::Error;
using testing::IntRows;
using testing::Rows;

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallScriptedProvider();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    script_ = ScriptFor("recordset-" + name);
    script_->Reset();
    connection_ = Connection::Open("Provider=Scripted;Data Source=recordset-" + name);
  }

  // Three items: id, number, name (one Null).
  void AnswerItems() {
    script_->Answer(
        {Rows({{"FItemID", "int"}, {"FNumber", "varchar(80)"}, {"FName", "nvarchar(255)"}},
              {{Variant(int32_t{1}), Variant("1.01"), Variant("bolt")},
               {Variant(int32_t{2}), Variant("1.02"), Variant::Null()},
               {Variant(int32_t{3}), Variant("1.03"), Variant("nut")}})});
  }

  std::shared_ptr<Script> script_;
  std::shared_ptr<Connection> connection_;
};

// Runs `action` and returns the number and text of the error it raised (0 when none).
std::pair<int32_t, std::string> ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const automation::AutomationError& e) {
    return {e.number(), e.description()};
  }
  return {0, ""};
}

const std::string kNoCurrentText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";
const std::string kItemNotFoundText =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";
const std::string kClosedText = "Operation is not allowed when the object is closed.";

TEST_F(RecordsetTest, WalksRowsAndFieldsFollowTheCurrentRow) {
  AnswerItems();
  auto rs = connection_->Execute("select");
  ASSERT_EQ(rs->FieldCount(), 3u);
  EXPECT_FALSE(rs->BOF());
  const Field& name = rs->Fields("FName");  // held across moves, as callers do
  EXPECT_EQ(name.SqlType(), "nvarchar(255)");

  std::vector<std::string> seen;
  while (!rs->EOF()) {
    seen.push_back(rs->Fields("FNumber").Value().AsString() + ":" +
                   (name.Value().IsNull() ? "<null>" : name.Value().AsString()));
    rs->MoveNext();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1.01:bolt", "1.02:<null>", "1.03:nut"}));
  EXPECT_FALSE(rs->BOF());

  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }),
            std::make_pair(adoerr::kNoCurrentRecord, kNoCurrentText));
  EXPECT_EQ(ErrorOf([&] { name.Value(); }),
            std::make_pair(adoerr::kNoCurrentRecord, kNoCurrentText));

  rs->MoveFirst();
  EXPECT_FALSE(rs->EOF());
  EXPECT_EQ(name.Value().AsString(), "bolt");
  EXPECT_EQ(rs->Fields(size_t{0}).Value().AsLong(), 1);
}

TEST_F(RecordsetTest, FieldsByNameIgnoreCase) {
  AnswerItems();
  auto rs = connection_->Execute("select");
  for (const char* spelling : {"FItemID", "fitemid", "FITEMID", "fItemId"}) {
    const Field& field = rs->Fields(spelling);
    EXPECT_EQ(&field, &rs->Fields(size_t{0})) << spelling;
    EXPECT_EQ(field.Name(), "FItemID");
  }
  EXPECT_EQ(ErrorOf([&] { rs->Fields("FItem"); }),
            std::make_pair(adoerr::kItemNotFound, kItemNotFoundText));
  EXPECT_EQ(ErrorOf([&] { rs->Fields(size_t{3}); }),
            std::make_pair(adoerr::kItemNotFound, kItemNotFoundText));
}

TEST_F(RecordsetTest, TakingTheRemainingRowsLeavesTheEarlierOnesAndEndsAtEof) {
  AnswerItems();
  auto rs = connection_->Execute("select");
  const Field& name = rs->Fields("FName");
  rs->MoveNext();
  const auto taken = rs->TakeRemainingRows();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0][1].AsString(), "1.02");
  EXPECT_EQ(taken[1][2].AsString(), "nut");
  EXPECT_TRUE(rs->EOF());
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(ErrorOf([&] { name.Value(); }).first, adoerr::kNoCurrentRecord);
  rs->MoveFirst();
  EXPECT_EQ(name.Value().AsString(), "bolt");
  rs->MoveFirst();
  EXPECT_EQ(rs->TakeRemainingRows().size(), 1u);
  EXPECT_TRUE(rs->EOF());
  EXPECT_EQ(ErrorOf([&] { rs->MoveFirst(); }).first, adoerr::kNoCurrentRecord);
}

TEST_F(RecordsetTest, EmptyRowsetIsAtBothEnds) {
  script_->Answer({IntRows("n", {})});
  auto rs = connection_->Execute("select");
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_TRUE(rs->BOF());
  EXPECT_TRUE(rs->EOF());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_EQ(rs->Fields("N").Name(), "n");
  EXPECT_EQ(ErrorOf([&] { rs->Fields("n").Value(); }).first, adoerr::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).first, adoerr::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveFirst(); }).first, adoerr::kNoCurrentRecord);
}

TEST_F(RecordsetTest, ClosedRecordsetRefusesEveryRowOperation) {
  script_->Answer({Count(4), IntRows("n", {1})});
  auto counted = connection_->Execute("insert");
  AnswerItems();
  auto closed_by_caller = connection_->Execute("select");
  closed_by_caller->Close();

  for (const auto& rs : {counted, closed_by_caller}) {
    EXPECT_EQ(rs->State(), adStateClosed);
    EXPECT_EQ(rs->RecordCount(), -1);
    const std::vector<std::function<void()>> operations = {
        [&] { rs->EOF(); },        [&] { rs->BOF(); },
        [&] { rs->FieldCount(); }, [&] { rs->Fields(size_t{0}); },
        [&] { rs->Fields("n"); },  [&] { rs->MoveNext(); },
        [&] { rs->MoveFirst(); },  [&] { rs->Close(); },
    };
    for (size_t i = 0; i < operations.size(); ++i) {
      EXPECT_EQ(ErrorOf(operations[i]), std::make_pair(adoerr::kObjectClosed, kClosedText))
          << "operation " << i;
    }
  }
  // A count result still leads on to the rest of its batch; an explicit Close ends it.
  EXPECT_NE(counted->NextRecordset(), nullptr);
  EXPECT_EQ(ErrorOf([&] { closed_by_caller->NextRecordset(); }).first, adoerr::kObjectClosed);
}

TEST_F(RecordsetTest, OpenNeedsAnOpenConnection) {
  const std::string no_connection_text =
      "The connection cannot be used to perform this operation. It is either closed or invalid "
      "in this context.";
  auto rs = std::make_shared<Recordset>();
  EXPECT_EQ(ErrorOf([&] { rs->Open("select 1"); }),
            std::make_pair(adoerr::kNoConnection, no_connection_text));
  rs->SetActiveConnection(connection_);
  connection_->Close();
  EXPECT_EQ(ErrorOf([&] { rs->Open("select 1"); }).first, adoerr::kNoConnection);
  EXPECT_TRUE(script_->Received().empty());
}

TEST_F(RecordsetTest, DetachedClientRecordsetKeepsItsRows) {
  AnswerItems();
  auto rs = std::make_shared<Recordset>();
  rs->SetActiveConnection(connection_);
  rs->SetCursorLocation(adUseClient);
  rs->SetCursorType(adOpenForwardOnly);
  rs->SetLockType(adLockReadOnly);
  rs->Open("select * from t_ICItem");
  rs->SetActiveConnection(nullptr);
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  connection_->Close();
  connection_.reset();

  EXPECT_EQ(script_->Received(), std::vector<std::string>{"select * from t_ICItem"});
  EXPECT_EQ(rs->CursorLocation(), adUseClient);
  EXPECT_EQ(rs->CursorType(), adOpenForwardOnly);
  EXPECT_EQ(rs->LockType(), adLockReadOnly);
  EXPECT_EQ(rs->RecordCount(), 3);
  int rows = 0;
  for (; !rs->EOF(); rs->MoveNext()) ++rows;
  EXPECT_EQ(rows, 3);
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields("fname").Value().AsString(), "bolt");
  EXPECT_EQ(ErrorOf([&] { rs->Open("select 2"); }).first, adoerr::kObjectOpen);
}

TEST_F(RecordsetTest, ServerForwardOnlyCursorDoesNotKnowItsCount) {
  AnswerItems();
  Recordset rs;
  rs.SetActiveConnection(connection_);
  rs.Open("select");
  EXPECT_EQ(rs.CursorLocation(), adUseServer);
  EXPECT_EQ(rs.RecordCount(), -1);
  EXPECT_FALSE(rs.EOF());
  EXPECT_EQ(rs.Fields("FItemID").Value().AsLong(), 1);
}

TEST_F(RecordsetTest, OpenFollowsTheFirstResultRule) {
  // A leading count leaves the recordset closed; its rows come from NextRecordset.
  script_->Answer({Count(2), IntRows("n", {5})});
  Recordset rs;
  rs.SetActiveConnection(connection_);
  rs.SetCursorLocation(adUseClient);
  rs.Open("insert; select");
  EXPECT_EQ(rs.State(), adStateClosed);
  auto rows = rs.NextRecordset();
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Fields("n").Value().AsLong(), 5);
  EXPECT_EQ(rows->CursorLocation(), adUseClient);

  // A leading error is raised and the recordset stays closed.
  script_->Answer({Error(207, "Invalid column name 'q'.")});
  Recordset failed;
  failed.SetActiveConnection(connection_);
  EXPECT_EQ(ErrorOf([&] { failed.Open("select q"); }),
            std::make_pair(adoerr::kProviderError, std::string("Invalid column name 'q'.")));
  EXPECT_EQ(failed.State(), adStateClosed);
  ASSERT_EQ(connection_->LastErrors().size(), 1u);
  EXPECT_EQ(connection_->LastErrors()[0].native, 207);
}

}  // namespace
}  // namespace orv::ado
