// Syntax errors: SQL Server's numbers, the offending token's text and line.
#include <gtest/gtest.h>

#include "parser_test_util.h"

namespace orv::tsql {
namespace {

using testing::ParseError;

struct ErrorCase {
  const char* batch;
  int number;
  int line;
  const char* near;  // the quoted text in the message
};

class ErrorTable : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTable, NumberLineAndToken) {
  const ErrorCase& c = GetParam();
  testing::ErrorInfo e = ParseError(c.batch);
  EXPECT_EQ(e.number, c.number) << c.batch << " -> " << e.message;
  EXPECT_EQ(e.line, c.line) << c.batch;
  EXPECT_NE(e.message.find(std::string("'") + c.near + "'"), std::string::npos)
      << c.batch << " -> " << e.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorTable,
    ::testing::Values(
        ErrorCase{"SELECT * FROM #t WHERE a = = 1", 102, 1, "="},
        ErrorCase{"SELECT * FROM WHERE", 156, 1, "WHERE"},
        ErrorCase{"select a\r\nfrom t\r\nwhere", 156, 3, "where"},
        ErrorCase{"select 1 +", 102, 1, "+"}, ErrorCase{"select (1", 102, 1, "1"},
        ErrorCase{"Create Table #T(a int,\r\n b\r\n)", 102, 3, ")"},
        ErrorCase{"print 1\r\nselect * from t where a in ()\r\nprint 2", 102, 2, ")"},
        ErrorCase{"select * from (select 1 a) where 1=1", 156, 1, "where"},
        ErrorCase{"select 1 from t x y", 102, 1, "y"}, ErrorCase{"selec 1", 102, 1, "selec"},
        ErrorCase{"insert into t values (1", 102, 1, "1"},
        ErrorCase{"select a from t\r\n\r\n   Group a", 102, 3, "a"},
        ErrorCase{"select case when 1=1 then 1 from t", 156, 1, "from"},
        ErrorCase{"update t set a = 1 where", 156, 1, "where"}, ErrorCase{"if 1=1", 102, 1, "1"},
        ErrorCase{"begin print 1", 102, 1, "1"}, ErrorCase{"select 1 as from", 156, 1, "from"},
        ErrorCase{"drop table", 156, 1, "table"}, ErrorCase{"select top * from t", 102, 1, "*"},
        ErrorCase{"select 1 union", 156, 1, "union"}, ErrorCase{"select 'a' 'b' 'c'", 102, 1, "c"},
        ErrorCase{"select a from t\norder by a\nwhere b = 1", 156, 3, "where"}));

TEST(ParserErrors, MessageUsesTheCatalogue) {
  testing::ErrorInfo e = ParseError("SELECT * FROM WHERE");
  EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'WHERE'.");
  e = ParseError("SELECT * FROM #t WHERE a = = 1");
  EXPECT_EQ(e.message, "Incorrect syntax near '='.");
}

TEST(ParserErrors, ErrorLateInBatchFailsEverything) {
  // The first statements are fine; the batch as a whole is still rejected.
  testing::ErrorInfo e =
      ParseError("create table #a (x int)\ninsert #a values (1)\nselect from #a");
  EXPECT_EQ(e.number, 156);
  EXPECT_EQ(e.line, 3);
}

TEST(ParserErrors, DeepNestingFailsCleanly) {
  std::string deep = "select " + std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_EQ(ParseError(deep).number, 191);
  std::string minus = "select ";
  for (int i = 0; i < 5000; ++i) minus += "- ";  // "--" would start a comment
  minus += "1";
  EXPECT_EQ(ParseError(minus).number, 191);
  std::string ifs;
  for (int i = 0; i < 3000; ++i) ifs += "if 1=1 ";
  EXPECT_EQ(ParseError(ifs + "print 1").number, 191);
  // Moderate nesting is fine.
  EXPECT_EQ(ParseError("select " + std::string(50, '(') + "1" + std::string(50, ')')).number, 0);
}

TEST(ParserErrors, EmptyAndCommentOnlyBatchesParse) {
  EXPECT_TRUE(ParseBatch("").statements.empty());
  EXPECT_TRUE(ParseBatch("  -- nothing\r\n/* at all */").statements.empty());
}

}  // namespace
}  // namespace orv::tsql
