// The shared condition helpers: which values count as given, how values are quoted and dates
// formatted, and how the status switches compare.
#include <gtest/gtest.h>

#include "automation/error.h"
#include "reports/conditions.h"
#include "reports/sql_text.h"
#include "sql_lines.h"

namespace orv::reports {
namespace {

using automation::DateValue;
using automation::Variant;
using testing::MakeFilter;

TEST(ReportConditions, GivenValues) {
  struct Case {
    Variant value;
    bool given;
  };
  const Case cases[] = {
      {Variant(), false},       {Variant::Null(), false}, {"", false},
      {" ", true},              {"0", true},              {0, true},
      {Variant(false), true},   {"a", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsGiven(c.value), c.given) << automation::CStr(c.value);
}

TEST(ReportConditions, RangeFragmentsQuoteAndTrim) {
  auto filter = MakeFilter({{"A", "  O'Neil  "}, {"B", ""}, {"N", Variant::Null()}, {"I", 12}});
  std::string out;
  AppendIfValue(out, *filter, "A", " And x>=");
  AppendIfValue(out, *filter, "B", " And y>=");        // empty: not given
  AppendIfValue(out, *filter, "Missing", " And z>=");  // absent: not given
  AppendIfValue(out, *filter, "N", " And n>=");        // Null: not given
  AppendIfItem(out, *filter, "I", " And i<=");         // numbers are quoted as their text
  AppendIfItem(out, *filter, "Missing", " And m<=");
  EXPECT_EQ(out, " And x>='O''Neil' And i<='12'");
}

TEST(ReportConditions, DatesAreFormattedThenQuoted) {
  auto filter = MakeFilter({{"D", Variant(DateValue::FromParts(2023, 9, 5, 23, 59, 59))},
                            {"T", "2023-09-05"},
                            {"X", "not a date"},
                            {"E", ""}});
  std::string out;
  AppendDate(out, *filter, "D", "|");
  AppendDate(out, *filter, "T", "|");
  AppendDate(out, *filter, "X", "|");
  AppendDate(out, *filter, "Missing", "|");  // always applied
  AppendDateIfValue(out, *filter, "E", "|");  // tested: not applied
  AppendDateIfValue(out, *filter, "D", "#");
  EXPECT_EQ(out, "|'2023-09-05'|'2023-09-05'|'not a date'|''#'2023-09-05'");
}

TEST(ReportConditions, LikePatternKeepsBlanksInside) {
  auto filter = MakeFilter({{"B", "  A1 "}, {"C", "x'y"}});
  std::string out;
  AppendLikeIfValue(out, *filter, "B", " like ");
  AppendLikeIfValue(out, *filter, "C", " like ");
  AppendLikeIfValue(out, *filter, "Missing", " like ");
  EXPECT_EQ(out, " like '%  A1 %' like '%x''y%'");
}

TEST(ReportConditions, StatusSwitchComparesAsIntegers) {
  const std::vector<StatusCase> cases = {{0, "zero"}, {1, "one"}};
  struct Case {
    Variant value;  // Empty: key absent
    const char* expected;
  };
  const Case table[] = {
      {Variant(), "zero"}, {0, "zero"}, {"1", "one"}, {1.0, "one"}, {2, "other"}, {"-1", "other"},
  };
  for (const Case& c : table) {
    auto filter = MakeFilter({});
    if (!c.value.IsEmpty()) filter->SetItem("S", c.value);
    std::string out;
    AppendStatusSwitch(out, *filter, "S", cases, "other");
    EXPECT_EQ(out, c.expected) << automation::CStr(c.value);
  }
  auto bad = MakeFilter({{"S", "abc"}});
  std::string out;
  try {
    AppendStatusSwitch(out, *bad, "S", cases, "other");
    FAIL() << "expected an error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kTypeMismatch);
  }
}

TEST(ReportConditions, LongNumberSwitch) {
  EXPECT_STREQ(NumberColumn(ReadLongNumber(*MakeFilter({}))), "FShortNumber");
  EXPECT_STREQ(NumberColumn(ReadLongNumber(*MakeFilter({{"bLongNumber", "true"}}))), "FNumber");
  EXPECT_STREQ(NumberColumn(ReadLongNumber(*MakeFilter({{"bLongNumber", 0}}))), "FShortNumber");
}

TEST(ReportSqlText, ReplaceAllAndContainsNoCase) {
  EXPECT_EQ(ReplaceAll("a##M##b##M##", "##M##", "<##M##>"), "a<##M##>b<##M##>");
  EXPECT_EQ(ReplaceAll("##m##", "##M##", "x"), "##m##");
  EXPECT_TRUE(ContainsNoCase("FDate,fmobillnosort desc", "FMOBillNOSort"));
  EXPECT_FALSE(ContainsNoCase("FMOBillNO", "FMOBillNOSort"));
}

}  // namespace
}  // namespace orv::reports
