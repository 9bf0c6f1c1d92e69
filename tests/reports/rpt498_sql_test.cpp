// Report 498's batch against its transcription: every statement group, and the optional item
// range and batch lines for the Filter values a client sends.
#include "reports/cost/rpt498_sql.h"

#include <gtest/gtest.h>

#include "cost_text_check.h"
#include "rpt498_expected.h"

namespace {

using cost_test::SameText;
using orv::reports::cost::Rpt498Batch;
using orv::reports::cost::Rpt498Conditions;

TEST(Rpt498Sql, StatementGroupsWithoutConditions) {
  const Rpt498Conditions all{"", "", "FBATCHNO"};
  EXPECT_TRUE(
      SameText(orv::reports::cost::Rpt498TableLines().Text(), cost_test::Expected498Table()));
  EXPECT_TRUE(
      SameText(orv::reports::cost::Rpt498ReceiptLines("2024-01-01", "2024-01-31", all).Text(),
               cost_test::Expected498Receipts("'2024-01-01'", "'2024-01-31'", "")));
  EXPECT_TRUE(SameText(orv::reports::cost::Rpt498FeeLines("2024-01-01", "2024-01-31").Text(),
                       cost_test::Expected498Fees("'2024-01-01'", "'2024-01-31'")));
  EXPECT_TRUE(
      SameText(orv::reports::cost::Rpt498PriceLines().Text(), cost_test::Expected498Price()));
}

struct ConditionCase {
  const char* name;
  Rpt498Conditions conditions;
  std::string lines;  // what follows the date line
};

TEST(Rpt498Sql, ItemRangeAndBatchLines) {
  const ConditionCase cases[] = {
      {"range, every batch",
       {"1.01", "1.99", "FBATCHNO"},
       "And Mx.FNumber between '1.01' and '1.99'\r\n"},
      {"only the first bound", {"1.01", "", "FBATCHNO"}, ""},
      {"only the second bound", {"", "1.99", "FBATCHNO"}, ""},
      {"empty batch restricts to empty batches", {"", "", ""}, " And Mx.FBatchNo=''\r\n"},
      {"lower-case fbatchno is a batch number",
       {"", "", "fbatchno"},
       " And Mx.FBatchNo='fbatchno'\r\n"},
      {"range and batch, quoted and trimmed",
       {" O'Neil ", "Z ", " B'7 "},
       "And Mx.FNumber between 'O''Neil' and 'Z'\r\n And Mx.FBatchNo='B''7'\r\n"},
      // Blanks count as given: the test is against the empty text before any trimming.
      {"blank bounds", {" ", " ", "FBATCHNO"}, "And Mx.FNumber between '' and ''\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(SameText(Rpt498Batch("2024-01-01", "2024-01-31", c.conditions).Text(),
                         cost_test::Expected498Batch("'2024-01-01'", "'2024-01-31'", c.lines)));
  }
}

TEST(Rpt498Sql, UnknownPeriodComparesWithEmptyLiterals) {
  EXPECT_TRUE(SameText(Rpt498Batch("", "", {"", "", "FBATCHNO"}).Text(),
                       cost_test::Expected498Batch("''", "''", "")));
}

TEST(Rpt498Sql, EachLineIsOneUnitEndingWithCrLf) {
  // The report hands these units to the string builder one Append each.
  const auto lines = Rpt498Batch("2024-01-01", "2024-01-31", {"a", "b", "c"}).lines();
  for (const auto& line : lines) {
    EXPECT_TRUE(line.ends_with("\r\n")) << line;
    EXPECT_EQ(line.find("\r\n"), line.size() - 2) << line;
  }
}

}  // namespace
