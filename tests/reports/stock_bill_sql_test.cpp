// The stock-bill SELECT builders against their transcribed texts: bill-type lists of one, two
// and no elements, added conditions, and the formatting and quoting of the dates.
#include "reports/cost/stock_bill_sql.h"

#include <gtest/gtest.h>

#include "automation/variant.h"
#include "cost_text_check.h"
#include "stock_bill_expected.h"

namespace {

using cost_test::ExpectedRedBlue;
using cost_test::ExpectedStockBill;
using cost_test::SameText;
using orv::automation::Variant;
using orv::reports::BuildRedBlueStockBillSql;
using orv::reports::BuildStockBillSql;

struct TypesCase {
  const char* name;
  Variant types;
  std::string condition;  // between "  And (" and ")"
};

TEST(StockBillSql, BillTypeListsBecomeOrConditions) {
  const TypesCase cases[] = {
      {"one element", Variant("24"), " 1=0  Or v1.FTranType=24"},
      {"two elements", Variant("2,24"), " 1=0  Or v1.FTranType=2 Or v1.FTranType=24"},
      {"empty list", Variant(""), " 1=0 "},
      {"Empty variant", Variant(), " 1=0 "},
      {"numeric variant", Variant(int32_t{24}), " 1=0  Or v1.FTranType=24"},
      // Elements are neither trimmed nor checked: blanks and empty elements stay.
      {"untrimmed", Variant(" 2 , 24"), " 1=0  Or v1.FTranType= 2  Or v1.FTranType= 24"},
      {"trailing comma", Variant("2,"), " 1=0  Or v1.FTranType=2 Or v1.FTranType="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(SameText(
        BuildStockBillSql("v2.FItemID,v2.FBatchNo", "85", c.types, "2024-01-01", "2024-01-31", ""),
        ExpectedStockBill("v2.FItemID,v2.FBatchNo", c.condition, "85", "'2024-01-01'",
                          "'2024-01-31'", "")));
  }
}

TEST(StockBillSql, AddedConditionFollowsTheLastCrLfDirectly) {
  const std::string text =
      BuildStockBillSql("a,b", "85", Variant("2,24"), "2024-02-01", "2024-02-29", " and v1.FRob=1");
  EXPECT_TRUE(
      SameText(text, ExpectedStockBill("a,b", " 1=0  Or v1.FTranType=2 Or v1.FTranType=24", "85",
                                       "'2024-02-01'", "'2024-02-29'", " and v1.FRob=1")));
  EXPECT_TRUE(text.ends_with("<='2024-02-29')\r\n and v1.FRob=1"));
  // An empty one leaves the text ending with the date line's CR LF.
  EXPECT_TRUE(BuildStockBillSql("a", "85", Variant("2"), "2024-02-01", "2024-02-29", "")
                  .ends_with("<='2024-02-29')\r\n"));
}

TEST(StockBillSql, DatesAreFormattedAndQuoted) {
  // Blanks are trimmed by the quoting; an apostrophe is doubled; an empty date stays ''.
  EXPECT_TRUE(SameText(
      BuildStockBillSql("f", "85", Variant("2"), " 2024-03-01 ", "x'y", ""),
      ExpectedStockBill("f", " 1=0  Or v1.FTranType=2", "85", "'2024-03-01'", "'x''y'", "")));
  EXPECT_TRUE(SameText(BuildStockBillSql("f", "85", Variant("2"), "", "", ""),
                       ExpectedStockBill("f", " 1=0  Or v1.FTranType=2", "85", "''", "''", "")));
}

TEST(RedBlueStockBillSql, ProductAndIssueBills) {
  for (const std::string type : {"2", "24"}) {
    SCOPED_TRACE(type);
    EXPECT_TRUE(SameText(BuildRedBlueStockBillSql("Distinct v2.FItemID,v2.FBatchNo ", type,
                                                  "2024-01-01", "2024-01-31", ""),
                         ExpectedRedBlue("Distinct v2.FItemID,v2.FBatchNo ", type, "'2024-01-01'",
                                         "'2024-01-31'", "")));
  }
}

TEST(RedBlueStockBillSql, AddedConditionAndQuotedDates) {
  const std::string text =
      BuildRedBlueStockBillSql("x", "2", "2023-12-01 ", "O'Day", " and Red.FBillNo='R1'");
  EXPECT_TRUE(SameText(
      text, ExpectedRedBlue("x", "2", "'2023-12-01'", "'O''Day'", " and Red.FBillNo='R1'")));
  // The end-of-line comments stop at their CR LF, so the next line is code again.
  EXPECT_NE(text.find("--红\r\n  and Blue.Frob=1 --兰\r\n  and Red.FTranType=2"),
            std::string::npos);
}

}  // namespace
