// The request frame of every operation: broker signals in order, the connection taken, and
// what a failure of the body becomes (number, Source, Description).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ado/connection.h"
#include "automation/collections.h"
#include "automation/factory.h"
#include "service/resource_loader.h"
#include "service_fixture.h"

namespace orv::service::testing {
namespace {

using automation::AutomationError;

constexpr char kDbMessage[] = "Invalid object name 't_Missing'.";

// What one operation does with a statement that the database rejects.
struct FailureCase {
  const char* operation;
  std::function<void(Data&, const std::string&)> call;
  std::vector<std::string> frame_start;  // journal entries before the body runs
  bool abort_at_end;                     // MarkAbort is the last journal entry
  int32_t number;                        // raised number; 0: the database error unchanged
  std::string source_suffix;             // after the service name; for ChangeUnitCoeffcient the
                                         // whole Source
};

std::shared_ptr<automation::Dictionary> Empty() { return automation::NewDictionary(); }

class FrameFailureTest : public ServiceTest {};

TEST_F(FrameFailureTest, EveryOperationFailsAsItsRowSays) {
  const std::vector<std::string> kMain = {"ConnectionBroker", "OpenDataSource(" + dsn_ + ")",
                                          "GetContext", "Connection"};
  const std::vector<std::string> kLookup = {"ConnectionBroker", "OpenDataSource(" + dsn_ + ")",
                                            "GetContext", "LookupConnection"};
  // The property list reads the context's language before it takes the connection.
  const std::vector<std::string> kLanguageMain = {
      "ConnectionBroker", "OpenDataSource(" + dsn_ + ")", "GetContext", "GetContext", "Connection"};
  auto with = [](std::string first, std::vector<std::string> rest) {
    rest.insert(rest.begin(), std::move(first));
    return rest;
  };
  const std::string provider_number = std::to_string(ado::adoerr::kProviderError);
  const std::vector<FailureCase> cases = {
      {"GetCurrencyScale", [](Data& d, const std::string& s) { d.GetCurrencyScale(s); },
       with("MarkComplete", kMain), false, 0, ""},
      {"GetData", [](Data& d, const std::string& s) { d.GetData(s, "select * from t_Missing"); },
       with("MarkComplete", kMain), false, -7000, "GetData"},
      {"GetItemMaxLevel", [](Data& d, const std::string& s) { d.GetItemMaxLevel(s, 4); },
       with("MarkComplete", kMain), false, -7000, "::GetItemMaxLevel"},
      {"GetItemPropDesc", [](Data& d, const std::string& s) { d.GetItemPropDesc(s); },
       with("MarkComplete", kLanguageMain), false, -7000, "::GetItemPropDesc"},
      {"GetRpt401Data", [](Data& d, const std::string& s) { d.GetRpt401Data(s, Empty(), Empty()); },
       with("MarkComplete", kMain), false, -7000, "::GetRpt401Data"},
      {"GetRpt400Data", [](Data& d, const std::string& s) { d.GetRpt400Data(s, Empty()); }, kMain,
       false, -7000, "::GetRpt400Data"},
      {"GetRpt406Data", [](Data& d, const std::string& s) { d.GetRpt406Data(s, Empty()); }, kMain,
       false, -7000, "::GetRpt406Data"},
      {"GetRpt410Data", [](Data& d, const std::string& s) { d.GetRpt410Data(s, Empty()); }, kMain,
       false, -1, "::GetRpt410Data"},
      {"Get498HappenData",
       [](Data& d, const std::string& s) { d.Get498HappenData(s, 2024, 1, Empty(), Empty()); },
       with("MarkAbort", kMain), true, -7000, "Get498HappenData"},
      {"Get499HappenData",
       [](Data& d, const std::string& s) { d.Get499HappenData(s, 2024, 1, Empty(), Empty()); },
       with("MarkAbort", kMain), true, -7000, "Get499HappenData"},
      {"GetLastPeriod",
       [](Data& d, const std::string& s) {
         int32_t y = 0, p = 0;
         d.GetLastPeriod(s, 2024, 1, y, p);
       },
       kLookup, false, 0, ""},
      {"GetCurDate",
       [](Data& d, const std::string& s) {
         std::string b, e;
         d.GetCurDate(s, 2024, 1, b, e);
       },
       kLookup, false, 0, ""},
      {"GetDecimal",
       [](Data& d, const std::string& s) {
         int32_t q = 0, p = 0;
         d.GetDecimal(s, "1.01", q, p);
       },
       kLookup, false, 0, ""},
      {"ChangeUnitCoeffcient",
       [](Data& d, const std::string& s) {
         ConnectionRef cn;
         d.ChangeUnitCoeffcient(cn, 1, 2, s);
       },
       kLookup, false, -1, provider_number},
  };

  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.operation);
    script_->Reset();
    broker().ClearJournal();
    script_->AnswerError(208, kDbMessage);
    try {
      c.call(*data_, dsn_);
      ADD_FAILURE() << "no error raised";
      continue;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.description(), kDbMessage);
      if (c.number == 0) {
        EXPECT_EQ(e.number(), ado::adoerr::kProviderError);
      } else if (c.number == -1 && std::string(c.operation) == "ChangeUnitCoeffcient") {
        EXPECT_EQ(e.number(), -1);
        EXPECT_EQ(e.source(), c.source_suffix);
      } else {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.source(), std::string(kServiceNameKey) + c.source_suffix);
      }
    }
    const std::vector<std::string> journal = Journal();
    ASSERT_GE(journal.size(), c.frame_start.size());
    EXPECT_EQ(std::vector<std::string>(journal.begin(), journal.begin() + c.frame_start.size()),
              c.frame_start);
    EXPECT_EQ(journal.back() == "MarkAbort", c.abort_at_end);
    for (size_t i = c.frame_start.size(); i < journal.size(); ++i) {
      EXPECT_NE(journal[i], "MarkComplete") << "success signal on the failure path";
    }
  }
}

TEST_F(FrameFailureTest, ReportFailingOnALaterStatementIsTheServiceErrorWithoutARecordset) {
  // The first batch runs; the database rejects the second one.
  script_->Answer({RowCount(3)});
  script_->AnswerError(207, "Invalid column name 'FQtyX'.");
  auto dsql = automation::NewDictionary();
  dsql->SetItem("Select", "Select FItemID");
  RecordsetRef rs;
  try {
    rs = data_->GetRpt401Data(dsn_, dsql, automation::NewDictionary());
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.source(), std::string(kServiceNameKey) + "::GetRpt401Data");
    EXPECT_EQ(e.description(), "Invalid column name 'FQtyX'.");
  }
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(Received().size(), 2u);
  // The temporary tables stay: no statement was sent after the failure.
  std::vector<std::string> expected = BindJournal("Connection");
  expected.insert(expected.begin(), "MarkComplete");
  EXPECT_EQ(Journal(), expected);
}

TEST_F(FrameFailureTest, GetMaxPeriodBindsNothingAndSwallowsFailures) {
  script_->AnswerError(208, "Invalid object name 't_SystemProfile'.");
  EXPECT_EQ(data_->GetMaxPeriod(dsn_), 0);
  EXPECT_TRUE(Journal().empty());
  EXPECT_EQ(automation::Err().Number(), 0);
}

TEST_F(FrameFailureTest, MissingFilterIsError91InsideTheFrameExceptForReport410) {
  try {
    data_->GetRpt400Data(dsn_, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.source(), std::string(kServiceNameKey) + "::GetRpt400Data");
    EXPECT_EQ(e.description(), automation::StandardDescription(automation::err::kObjectNotSet));
  }
  EXPECT_EQ(Journal(), BindJournal("Connection"));

  // Report 410 reads its data-right keys before its handler is armed.
  broker().ClearJournal();
  try {
    data_->GetRpt410Data(dsn_, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kObjectNotSet);
  }
  EXPECT_TRUE(Journal().empty());
}

TEST_F(FrameFailureTest, GetCurrencyScaleSignalsBeforeItsHandlerAndReraisesAllFields) {
  broker().FailNext("MarkComplete", {77, "Broker", "mark failed", "broker.chm", 12});
  try {
    data_->GetCurrencyScale(dsn_);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 77);
    EXPECT_EQ(e.source(), "Broker");
  }
  EXPECT_EQ(Journal(), std::vector<std::string>{"MarkComplete"});

  // A failure after the handler is armed comes back with every field it had.
  broker().ClearJournal();
  broker().FailNext("Connection", {78, "BrokerConn", "no connection", "conn.chm", 34});
  try {
    data_->GetCurrencyScale(dsn_);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 78);
    EXPECT_EQ(e.source(), "BrokerConn");
    EXPECT_EQ(e.description(), "no connection");
    EXPECT_EQ(e.info().help_file, "conn.chm");
    EXPECT_EQ(e.info().help_context, 34);
  }
}

TEST_F(FrameFailureTest, BrokerFailureInsideHandlerBecomesServiceError) {
  broker().FailNext("MarkComplete", {77, "Broker", "mark failed", {}, 0});
  try {
    data_->GetData(dsn_, "select 1");
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.source(), std::string(kServiceNameKey) + "GetData");
    EXPECT_EQ(e.description(), "mark failed");
  }
  // No handler: the broker's own error reaches the caller of GetLastPeriod.
  broker().FailNext("OpenDataSource", {79, "Broker", "cannot open", {}, 0});
  int32_t y = 5, p = 6;
  try {
    data_->GetLastPeriod(dsn_, 2024, 1, y, p);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 79);
    EXPECT_EQ(e.source(), "Broker");
    EXPECT_EQ(e.description(), "cannot open");
  }
  EXPECT_EQ(y, 5);
  EXPECT_EQ(p, 6);
}

// A loader that marks its texts, to tell a loaded name from the key itself.
class MarkingLoader : public ResourceLoader {
 public:
  std::string LanguageID() const override { return language_; }
  void SetLanguageID(std::string_view language) override { language_ = language; }
  void SetResFileBaseName(std::string_view) override {}
  void Unload() override {}
  std::string LoadString(std::string_view key) override { return "<" + std::string(key) + ">"; }

 private:
  std::string language_;
};

TEST_F(FrameFailureTest, SourceUsesTheLoadedNameAndFallsBackToTheKey) {
  automation::RegisterClass(kResourceLoaderProgId,
                            [] { return std::make_shared<MarkingLoader>(); });
  script_->AnswerError(208, kDbMessage);
  try {
    data_->GetItemMaxLevel(dsn_, 4);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.source(), "<" + std::string(kServiceNameKey) + ">::GetItemMaxLevel");
  }

  automation::UnregisterClass(kResourceLoaderProgId);
  ResetMessageLoader();
  script_->AnswerError(208, kDbMessage);
  try {
    data_->GetRpt410Data(dsn_, automation::NewDictionary());
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -1);
    EXPECT_EQ(e.source(), std::string(kServiceNameKey) + "::GetRpt410Data");
    EXPECT_EQ(e.description(), kDbMessage);
  }
  RegisterServiceClasses();
}

class FrameSuccessTest : public ServiceTest {};

TEST_F(FrameSuccessTest, TransModeTouchesNothing) {
  EXPECT_EQ(data_->TransMode(), 3);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(FrameSuccessTest, CreationFetchesBrokerAndContext) {
  Data another;
  EXPECT_EQ(Journal(), (std::vector<std::string>{"ConnectionBroker", "GetContext"}));
  EXPECT_EQ(another.broker(), OrvGlobal::ForThread().broker());
}

TEST_F(FrameSuccessTest, CostReportSignalsCompleteExactlyOnce) {
  script_->Answer({Rows({"FStartDate", "FEndDate"}, {{"2024-01-01", "2024-01-31"}})});
  script_->Answer({RowCount()});
  script_->Answer({Rows({"FItemID"}, {{automation::Variant(int32_t{1})}})});
  auto filter = automation::NewDictionary();
  filter->SetItem("BatchNo", "FBATCHNO");
  RecordsetRef rs = data_->Get498HappenData(dsn_, 2024, 1, automation::NewDictionary(), filter);
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->EOF());
  const std::vector<std::string> journal = Journal();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.front(), "MarkAbort");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "MarkComplete"), 1);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "MarkAbort"), 1);
  // The period dates were asked on the look-up connection, after re-binding the same source.
  EXPECT_NE(std::find(journal.begin(), journal.end(), "LookupConnection"), journal.end());
}

TEST_F(FrameSuccessTest, EachCallBindsItsOwnDataSource) {
  const std::string other = "Provider=Scripted;Data Source=" + source_name_ + ".other;Language=EN";
  ado::ScriptFor(source_name_ + ".other")->Reset();
  script_->Answer({Rows({"FScale"}, {{automation::Variant(int32_t{4})}})});
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 4);
  auto first_context = data_->context();
  EXPECT_EQ(first_context->Language(), "");
  ado::ScriptFor(source_name_ + ".other")
      ->Answer({Rows({"FScale"}, {{automation::Variant(int32_t{3})}})});
  EXPECT_EQ(data_->GetCurrencyScale(other), 3);
  EXPECT_NE(data_->context(), first_context);
  EXPECT_EQ(data_->context()->Language(), "EN");
  EXPECT_EQ(Journal(), (std::vector<std::string>{
                           "MarkComplete", "ConnectionBroker", "OpenDataSource(" + dsn_ + ")",
                           "GetContext", "Connection", "MarkComplete", "ConnectionBroker",
                           "OpenDataSource(" + other + ")", "GetContext", "Connection"}));
  // Each statement went to the data source its own call named.
  EXPECT_EQ(Received().size(), 1u);
  EXPECT_EQ(ado::ScriptFor(source_name_ + ".other")->Received().size(), 1u);
}

}  // namespace
}  // namespace orv::service::testing
