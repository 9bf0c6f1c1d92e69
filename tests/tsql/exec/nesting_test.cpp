// Statements nested too deeply give Msg 191 and the session goes on, whatever does the nesting
// (operator chains built in a loop, parentheses, functions, CASE, subqueries, set operations,
// column defaults); statements just inside the limit run, also where rows are evaluated on two
// threads.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tsql/engine.h"

namespace orv::tsql {
namespace {

using Kind = StatementResult::Kind;

std::string Repeat(const std::string& piece, int n, const std::string& separator = "") {
  std::string out;
  for (int i = 0; i < n; ++i) out += (i ? separator : "") + piece;
  return out;
}

std::string Nest(const std::string& open, const std::string& inner, const std::string& close, int n) {
  return Repeat(open, n) + inner + Repeat(close, n);
}

TEST(Nesting, TooDeepIs191AndTheSessionGoesOn) {
  const struct {
    const char* what;
    std::function<std::string(int)> batch;
  } cases[] = {
      {"a + chain", [](int n) { return "select " + Repeat("1", n, "+"); }},
      {"a string chain", [](int n) { return "select len(" + Repeat("'a'", n, "+") + ")"; }},
      {"a chain in WHERE", [](int n) { return "select 1 where 0 < " + Repeat("1", n, "*"); }},
      {"UNION ALL", [](int n) { return Repeat("select 1 as v", n, " union all "); }},
      {"parentheses", [](int n) { return "select " + Nest("(", "1", ")", n); }},
      {"functions", [](int n) { return "select " + Nest("abs(", "-1", ")", n); }},
      {"NOT", [](int n) { return "select 1 where " + Repeat("not ", n) + "1 = 0"; }},
      {"CASE", [](int n) { return "select " + Nest("case when 1 = 1 then ", "1", " end", n); }},
      {"subqueries", [](int n) { return "select " + Nest("(select ", "1", ")", n); }},
      {"a column default",
       [](int n) { return "create table d (a int default (" + Repeat("1", n, "+") + "))"; }},
  };
  Session s(OpenDatabase(":memory:"));
  for (const auto& c : cases) {
    std::vector<StatementResult> r = s.ExecuteBatch(c.batch(20000));
    ASSERT_FALSE(r.empty()) << c.what;
    EXPECT_EQ(r[0].kind, Kind::Error) << c.what;
    EXPECT_EQ(r[0].error.number, 191) << c.what << ": " << r[0].error.message;
    r = s.ExecuteBatch("select 41 + 1");
    ASSERT_EQ(r.size(), 1u) << c.what;
    EXPECT_EQ(r[0].rows[0][0].int_value(), 42) << c.what;
  }
  EXPECT_EQ(s.ExecuteBatch("select object_id('d')")[0].rows[0][0].kind(), Value::Kind::Null);
}

TEST(Nesting, JustInsideTheLimitRuns) {
  Session s(OpenDatabase(":memory:"));
  constexpr int kTerms = ast::kMaxNesting - 10;
  std::vector<StatementResult> r = s.ExecuteBatch("select " + Repeat("1", kTerms, "+"));
  ASSERT_EQ(r[0].kind, Kind::Rows) << r[0].error.message;
  EXPECT_EQ(r[0].rows[0][0].int_value(), kTerms);
  r = s.ExecuteBatch(Repeat("select 1 as v", kTerms, " union all "));
  ASSERT_EQ(r[0].kind, Kind::Rows) << r[0].error.message;
  EXPECT_EQ(r[0].rows.size(), static_cast<size_t>(kTerms));
  // A chain in a SET list over enough rows to be computed on two threads.
  r = s.ExecuteBatch(
      "create table d (d int)\n"
      "insert into d values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)\n"
      "select a.d * 10000 + b.d * 1000 + c.d * 100 + e.d * 10 + f.d as n, 0 as v into #w "
      "from d a, d b, d c, d e, d f\n"
      "update #w set v = n + " + Repeat("(n % 2)", 40, " + ") + "\n"
      "select count(*) from #w where v <> n + (n % 2) * 40");
  ASSERT_EQ(r.back().kind, Kind::Rows) << r.back().error.message;
  EXPECT_EQ(r.back().rows[0][0].int_value(), 0);
}

}  // namespace
}  // namespace orv::tsql
