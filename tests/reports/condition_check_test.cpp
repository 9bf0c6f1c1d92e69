// The checks of given report conditions: Orderby (placed into SQL as written, so only result
// columns with a direction may pass), the closest-key suggestion, and the Filter built with the
// data source's defaults.
#include <gtest/gtest.h>

#include "reports/catalog.h"
#include "reports/condition_check.h"

namespace orv::reports::catalog {
namespace {

const ReportEntry& Report(const char* number) { return *FindReport(number); }

TEST(ConditionCheckTest, OrderbyPassesOnlyColumnsWithADirection) {
  struct Case {
    const char* text;
    const char* normalised;  // nullptr: refused
  };
  const Case cases[] = {
      {"FNameSort", "FNameSort"},
      {" fnamesort  DESC , FDateSort asc", "FNameSort desc,FDateSort asc"},
      {"FNameSort; DROP TABLE ICMO", nullptr},
      {"FNameSort desc --", nullptr},
      {"FNameSort/**/desc", nullptr},
      {"(select 1)", nullptr},
      {"FNameSort,", nullptr},
      {"1", nullptr},
      {"FNameSort collate x", nullptr},
      {"FNoSuchColumn", nullptr},
  };
  for (const Case& c : cases) {
    if (c.normalised == nullptr) {
      EXPECT_THROW(CheckOrderBy(Report("400"), c.text), ConditionError) << c.text;
    } else {
      EXPECT_EQ(CheckOrderBy(Report("400"), c.text), c.normalised);
    }
  }
}

TEST(ConditionCheckTest, ClosestNameSuggestsLikelyMisspellings) {
  const std::vector<std::string> keys = {"BDeptNumber", "EDeptNumber", "BDate", "EDate",
                                         "CheckState"};
  EXPECT_EQ(ClosestName("BDept", keys), "BDeptNumber");
  EXPECT_EQ(ClosestName("bdat", keys), "BDate");
  EXPECT_EQ(ClosestName("CheckStat", keys), "CheckState");
  EXPECT_EQ(ClosestName("Whatever", keys), "");
}

TEST(ConditionCheckTest, FilterTakesTheDataSourcesDefaultsAndTheReportsSpelling) {
  SourceFacts facts;
  facts.year_start = "2026-01-01";
  facts.period_end = "2026-12-31";
  const auto filter = BuildFilter(Report("406"), {{"bdeptnumber", automation::Variant("01")}}, facts);
  EXPECT_EQ(automation::CStr(filter->Item("BDate")), "2026-01-01");
  EXPECT_EQ(automation::CStr(filter->Item("EDate")), "2026-12-31");
  EXPECT_EQ(automation::CStr(filter->Item("CheckState")), "2");
  EXPECT_TRUE(filter->Exists("BDeptNumber"));
  EXPECT_FALSE(filter->Exists("EDeptNumber"));  // no default: not sent

  // A data source without a calendar gives no date defaults: they must be given, not invented.
  EXPECT_THROW(BuildFilter(Report("406"), {}, SourceFacts{}), ConditionError);
  const auto given = BuildFilter(Report("406"), {{"BDate", automation::Variant("2026-01-01")},
                                                 {"EDate", automation::Variant("2026-02-01")}},
                                 SourceFacts{});
  EXPECT_EQ(automation::CStr(given->Item("EDate")), "2026-02-01");
}

}  // namespace
}  // namespace orv::reports::catalog
