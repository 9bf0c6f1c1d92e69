// Report 499 end to end on a recording connection: the order of its batches with and without
// candidate pairs, the values the look-ups give, the client texts from dSql, completion at the
// very end, and failures that propagate.
#include <gtest/gtest.h>

#include <algorithm>

#include "automation/collections.h"
#include "automation/error.h"
#include "cost_fake_connection.h"
#include "cost_text_check.h"
#include "reports/cost/rpt499.h"
#include "rpt499_expected.h"

namespace {

using cost_test::CostRun;
using cost_test::SameText;
using orv::automation::AutomationError;
using orv::automation::NewDictionary;
using orv::automation::Variant;
using orv::reports::RunRpt499;

constexpr size_t kCandidateBatch = 2;

// Candidate rows (or none) for the candidate batch, a marked rowset for every other batch.
auto Answer(size_t candidate_rows) {
  return [candidate_rows](size_t index, std::string_view) {
    if (index == kCandidateBatch) {
      return std::vector<orv::ado::ProviderResult>{cost_test::RowsResult("pair", candidate_rows)};
    }
    return std::vector<orv::ado::ProviderResult>{
        cost_test::RowsResult("batch " + std::to_string(index), 1)};
  };
}

std::shared_ptr<orv::automation::Dictionary> ClientSql() {
  auto d = NewDictionary();
  d->SetItem("Select", Variant("Select FNumber Into #DATA From #T499 Where 1=1##ITEMFILTER##"));
  d->SetItem("Groupby", Variant("Group By FNumber"));
  d->SetItem("ITEMFILTER", Variant(" And FNumber>'1'"));
  d->SetItem("EndSel", Variant("Select * From #DATA ##ITEMFILTER##"));
  return d;
}

const std::string kClient =
    "Select FNumber Into #DATA From #T499 Where 1=1 And FNumber>'1'\r\n"
    "Group By FNumber\r\n\r\n"
    "Update t1 Set t1.FName=t2.FName,t1.FModel=t2.FModel,t1.FUnit=t3.FName\r\n"
    "From #DATA t1\r\n"
    "Inner Join #T499 t2 On t1.FNumber = t2.FNumber\r\n"
    "Inner Join t_measureunit t3 On t2.FUnit=t3.FMeasureUnitID\r\n"
    "Select * From #DATA  And FNumber>'1'";

// The closing batch repeats "EndSel" without replacing its marker.
const std::string kLast =
    "Select * From #DATA ##ITEMFILTER##\r\n"
    "If Object_ID('tempdb..#DATA') Is Not Null Drop Table #DATA\r\n"
    "If Object_ID('tempdb..#T499') Is Not Null Drop Table #T499\r\n"
    "If Object_ID('tempdb..#T499Detail') Is Not Null Drop Table #T499Detail\r\n"
    "If Object_ID('tempdb..#Temp') Is Not Null Drop Table #Temp\r\n"
    "If Object_ID('tempdb..#TempTable') Is Not Null Drop Table #TempTable\r\n";

TEST(Rpt499Run, WithCandidatesEveryBatchRunsInOrder) {
  CostRun run;
  run.answer = Answer(3);
  auto ctx = run.Context();
  auto filter = NewDictionary();
  filter->SetItem("BItemNumber", Variant("1.01"));
  filter->SetItem("EItemNumber", Variant("1.09"));
  auto dsql = ClientSql();

  const auto rs = RunRpt499(ctx, 2024, 1, dsql.get(), filter.get());

  const cost_test::ExpectedPeriod e{"'2024-01-01'", "'2024-01-31'", "2024", "1", "2023", "12"};
  const std::vector<std::string> expected = {
      cost_test::Expected499DetailTable(),
      cost_test::Expected499ResultTable(),
      cost_test::Expected499Candidates(e),
      cost_test::Expected499DetailRows(),
      cost_test::Expected499StartNum(e),
      cost_test::Expected499StartCost(e),
      cost_test::Expected499InCost(e),
      cost_test::Expected499InNum(e),
      cost_test::Expected499Out(e),
      cost_test::Expected499OutPrice(),
      cost_test::Expected499EndNum(e),
      cost_test::Expected499EndCost(e),
      cost_test::Expected499EndPriceAndCopy(
          "Insert Into #T499 select * From #T499Detail Where FNumber Between '1.01' and '1.09'"),
      kClient,
      kLast,
  };
  ASSERT_EQ(run.batches.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(SameText(run.batches[i], expected[i])) << "batch " << i;
  }
  std::vector<std::string> events = {"batch 0", "batch 1", "cur_date", "last_period"};
  for (size_t i = 2; i < expected.size(); ++i) events.push_back("batch " + std::to_string(i));
  events.push_back("complete");
  EXPECT_EQ(run.events, events);
  EXPECT_EQ(run.asked, (std::vector<int32_t>{2024, 1, 2024, 1}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(orv::automation::CStr(rs->Fields("Marker").Value()), "batch 14");
}

TEST(Rpt499Run, WithoutCandidatesOnlyTheClientBatchesFollow) {
  CostRun run;
  run.answer = Answer(0);
  run.period_known = false;  // dates stay empty, previous period 0/0
  auto ctx = run.Context();
  auto filter = NewDictionary();
  auto dsql = ClientSql();

  const auto rs = RunRpt499(ctx, 2024, 1, dsql.get(), filter.get());

  ASSERT_EQ(run.batches.size(), 5u);
  EXPECT_TRUE(SameText(run.batches[2],
                       cost_test::Expected499Candidates({"''", "''", "2024", "1", "0", "0"})));
  EXPECT_TRUE(SameText(run.batches[3], kClient));
  EXPECT_TRUE(SameText(run.batches[4], kLast));
  EXPECT_EQ(run.events, (std::vector<std::string>{"batch 0", "batch 1", "cur_date", "last_period",
                                                  "batch 2", "batch 3", "batch 4", "complete"}));
  ASSERT_TRUE(rs);
  EXPECT_EQ(orv::automation::CStr(rs->Fields("Marker").Value()), "batch 4");
}

TEST(Rpt499Run, MissingDictionariesRaiseObjectNotSet) {
  {
    CostRun run;
    auto ctx = run.Context();
    auto dsql = ClientSql();
    try {
      RunRpt499(ctx, 2024, 1, dsql.get(), nullptr);
      FAIL() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), orv::automation::err::kObjectNotSet);
    }
    EXPECT_TRUE(run.events.empty());
  }
  {
    // dSql is first read in the client stage, after the candidate batch.
    CostRun run;
    run.answer = Answer(0);
    auto ctx = run.Context();
    auto filter = NewDictionary();
    try {
      RunRpt499(ctx, 2024, 1, nullptr, filter.get());
      FAIL() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), orv::automation::err::kObjectNotSet);
    }
    EXPECT_EQ(run.batches.size(), 3u);
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), "complete"), 0);
  }
}

TEST(Rpt499Run, FailingBatchStopsTheCallWithoutCompletion) {
  CostRun run;
  run.answer = [](size_t index, std::string_view) {
    if (index == 4) return std::vector<orv::ado::ProviderResult>{cost_test::ErrorResult("boom")};
    return std::vector<orv::ado::ProviderResult>{cost_test::RowsResult("x", 1)};
  };
  auto ctx = run.Context();
  auto filter = NewDictionary();
  auto dsql = ClientSql();
  try {
    RunRpt499(ctx, 2024, 1, dsql.get(), filter.get());
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.description(), "boom");
  }
  EXPECT_EQ(run.batches.size(), 5u);
  EXPECT_EQ(run.events.back(), "batch 4");
}

}  // namespace
