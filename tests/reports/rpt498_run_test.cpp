// Report 498 end to end on a recording connection: Filter reading, the period look-up, the one
// batch sent through the string builder, the completion signal and the closing select.
#include <gtest/gtest.h>

#include "automation/collections.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "cost_fake_connection.h"
#include "cost_text_check.h"
#include "reports/cost/rpt498.h"
#include "rpt498_expected.h"

namespace {

using cost_test::CostRun;
using cost_test::SameText;
using orv::automation::AutomationError;
using orv::automation::NewDictionary;
using orv::automation::Variant;
using orv::reports::RunRpt498;

std::vector<orv::ado::ProviderResult> AnswerFinal(size_t index, std::string_view) {
  if (index == 1) return {cost_test::RowsResult("final", 2)};
  orv::ado::ProviderResult r;
  return {r};
}

TEST(Rpt498Run, BatchThenCompletionThenFinalSelect) {
  CostRun run;
  run.answer = AnswerFinal;
  auto ctx = run.Context();
  auto filter = NewDictionary();
  filter->SetItem("BItemNumber", Variant("1.01"));
  filter->SetItem("EItemNumber", Variant("1.09"));
  filter->SetItem("BatchNo", Variant("FBATCHNO"));
  auto dsql = NewDictionary();  // never read

  const auto rs = RunRpt498(ctx, 2024, 1, dsql.get(), filter.get());

  EXPECT_EQ(run.events, (std::vector<std::string>{"cur_date", "batch 0", "complete", "batch 1"}));
  EXPECT_EQ(run.asked, (std::vector<int32_t>{2024, 1}));
  ASSERT_EQ(run.batches.size(), 2u);
  EXPECT_TRUE(SameText(
      run.batches[0], cost_test::Expected498Batch("'2024-01-01'", "'2024-01-31'",
                                                  "And Mx.FNumber between '1.01' and '1.09'\r\n")));
  EXPECT_EQ(run.batches[1], "Select * From #T498;Drop table #T498;");
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(orv::automation::CStr(rs->Fields("Marker").Value()), "final");
}

TEST(Rpt498Run, AbsentKeysAndUnknownPeriod) {
  // Absent keys read as empty texts: no item range, and the empty batch number restricts.
  CostRun run;
  run.period_known = false;
  auto ctx = run.Context();
  auto filter = NewDictionary();
  RunRpt498(ctx, 1999, 13, nullptr, filter.get());
  ASSERT_EQ(run.batches.size(), 2u);
  EXPECT_TRUE(
      SameText(run.batches[0], cost_test::Expected498Batch("''", "''", " And Mx.FBatchNo=''\r\n")));
  EXPECT_EQ(run.asked, (std::vector<int32_t>{1999, 13}));
}

TEST(Rpt498Run, BatchGoesThroughTheRegisteredStringBuilder) {
  std::shared_ptr<orv::automation::StringBuilder> used;
  orv::automation::RegisterClass("daroz.stringbuilder", [&used] {
    used = std::make_shared<orv::automation::StringBuilder>();
    return used;
  });
  CostRun run;
  auto ctx = run.Context();
  auto filter = NewDictionary();
  filter->SetItem("BatchNo", Variant("B1"));
  RunRpt498(ctx, 2024, 1, nullptr, filter.get());
  orv::automation::RegisterClass("daroz.stringbuilder",
                                 [] { return std::make_shared<orv::automation::StringBuilder>(); });
  ASSERT_TRUE(used);
  ASSERT_FALSE(run.batches.empty());
  EXPECT_EQ(used->StringValue(), run.batches[0]);
}

TEST(Rpt498Run, FailuresPropagateWithoutCompletion) {
  {
    CostRun run;
    auto ctx = run.Context();
    try {
      RunRpt498(ctx, 2024, 1, nullptr, nullptr);
      FAIL() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), orv::automation::err::kObjectNotSet);
    }
    EXPECT_TRUE(run.events.empty());
  }
  {
    CostRun run;
    run.answer = [](size_t, std::string_view) {
      return std::vector<orv::ado::ProviderResult>{
          cost_test::ErrorResult("Invalid object name 'ICMO'.")};
    };
    auto ctx = run.Context();
    auto filter = NewDictionary();
    EXPECT_THROW(RunRpt498(ctx, 2024, 1, nullptr, filter.get()), AutomationError);
    EXPECT_EQ(run.events, (std::vector<std::string>{"cur_date", "batch 0"}));
  }
  {
    // A Null condition value cannot be converted to text: error 94 before any work.
    CostRun run;
    auto ctx = run.Context();
    auto filter = NewDictionary();
    filter->SetItem("EItemNumber", Variant::Null());
    try {
      RunRpt498(ctx, 2024, 1, nullptr, filter.get());
      FAIL() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), orv::automation::err::kInvalidUseOfNull);
    }
    EXPECT_TRUE(run.events.empty());
  }
}

}  // namespace
