// Expression parsing: precedence, predicates, special function forms, literals.
#include <gtest/gtest.h>

#include "parser_test_util.h"

namespace orv::tsql {
namespace {

using testing::DumpSelectExpr;

struct ExprCase {
  const char* text;
  const char* tree;
};

class ExprTable : public ::testing::TestWithParam<ExprCase> {};

TEST_P(ExprTable, Tree) { EXPECT_EQ(DumpSelectExpr(GetParam().text), GetParam().tree); }

INSTANTIATE_TEST_SUITE_P(Precedence, ExprTable,
                         ::testing::Values(ExprCase{"1 + 2 * 3", "(+ int:1 (* int:2 int:3))"},
                                           ExprCase{"1 - 2 - 3", "(- (- int:1 int:2) int:3)"},
                                           ExprCase{"a * b % c / d", "(/ (% (* a b) c) d)"},
                                           ExprCase{"-a * b", "(* (neg a) b)"},
                                           ExprCase{"~a & b | c ^ d", "(^ (| (& (~ a) b) c) d)"},
                                           ExprCase{"a + b & c", "(& (+ a b) c)"},
                                           ExprCase{"- - 1", "(neg (neg int:1))"},
                                           ExprCase{"(1 + 2) * 3", "(* (+ int:1 int:2) int:3)"},
                                           ExprCase{"t1.FName + '（小计）'",
                                                    "(+ t1.FName str:'（小计）')"}));

// Predicates parsed inside CASE WHEN so that the select list accepts them.
INSTANTIATE_TEST_SUITE_P(
    Predicates, ExprTable,
    ::testing::Values(
        ExprCase{"case when a = 1 or b = 2 and not c = 3 then 1 end",
                 "(case when (or (= a int:1) (and (= b int:2) (not (= c int:3)))) then int:1)"},
        ExprCase{"case when a + 1 > b * 2 then 1 end",
                 "(case when (> (+ a int:1) (* b int:2)) then int:1)"},
        ExprCase{"case when a is not null and b is null then 1 end",
                 "(case when (and (isnotnull a) (isnull b)) then int:1)"},
        ExprCase{"case when a between 1 and 2 and b not between 3 and 4 then 1 end",
                 "(case when (and (between a int:1 int:2) (notbetween b int:3 int:4)) then int:1)"},
        ExprCase{"case when a like '%x%' escape '!' or a not like 'y' then 1 end",
                 "(case when (or (like a str:'%x%' str:'!') (notlike a str:'y')) then int:1)"},
        ExprCase{"case when a in (3,4) and b not in ('x') then 1 end",
                 "(case when (and (in a int:3 int:4) (notin b str:'x')) then int:1)"},
        ExprCase{"case when x in(Select FInterID From #T400) then 1 end",
                 "(case when (in x <query>) then int:1)"},
        ExprCase{"case when not exists(select 1) or Exists(Select 1) then 1 end",
                 "(case when (or (notexists <query>) (exists <query>)) then int:1)"},
        ExprCase{"case when (a = 1 Or b <> 2) and c !< 3 then 1 end",
                 "(case when (and (or (= a int:1) (<> b int:2)) (!< c int:3)) then int:1)"},
        ExprCase{"case when Red.FRob = -1 --红\r\n and Blue.Frob=1 then 1 end",
                 "(case when (and (= Red.FRob (neg int:1)) (= Blue.Frob int:1)) then int:1)"}));

INSTANTIATE_TEST_SUITE_P(
    Forms, ExprTable,
    ::testing::Values(
        ExprCase{"case isnull(v1.FStatus,0) when 1 then '已审核' when 3 then '关闭' else '' end",
                 "(case isnull(v1.FStatus, int:0) when int:1 then str:'已审核' when int:3 then "
                 "str:'关闭' else str:'')"},
        ExprCase{"cast(FFinishRate as varchar(50))", "(cast FFinishRate varchar(50))"},
        ExprCase{"CAST(x AS Decimal(23,10))", "(cast x decimal(23,10))"},
        ExprCase{"cast(x as nvarchar(max))", "(cast x nvarchar(max))"},
        ExprCase{"CONVERT(char(10),v1.FDate,120)", "(convert char(10) v1.FDate int:120)"},
        ExprCase{"convert(int, '5')", "(convert int str:'5')"},
        ExprCase{"datediff(DAY,getdate(),v1.FPlanFinishDate)",
                 "datediff(DAY, getdate(), v1.FPlanFinishDate)"},
        ExprCase{"DateAdd(dd, 1, d)", "DateAdd(DD, int:1, d)"}, ExprCase{"COUNT(*)", "COUNT(*)"},
        ExprCase{"count(distinct FItemID)", "count(distinct FItemID)"},
        ExprCase{"Left(a, 2) + Right(b, 1)", "(+ Left(a, int:2) Right(b, int:1))"},
        ExprCase{"CHAR(255)", "CHAR(int:255)"}, ExprCase{"CURRENT_TIMESTAMP", "GETDATE()"},
        ExprCase{"(Select FDate from ICMO)", "(subquery)"},
        ExprCase{"abs(Round(S.FAmount,10))", "abs(Round(S.FAmount, int:10))"},
        ExprCase{"Round((v1.FAuxQty-v1.FAuxFinishQty)/v1.FAuxQty * 100,2)",
                 "Round((* (/ (- v1.FAuxQty v1.FAuxFinishQty) v1.FAuxQty) int:100), int:2)"},
        ExprCase{"#Data.FMOBillNOSort", "#Data.FMOBillNOSort"},
        ExprCase{"[dbo].[t].[c]", "dbo.t.c"}, ExprCase{"srv..t.c", "srv..t.c"},
        ExprCase{"@v + $1.50 + N'x' + NULL", "(+ (+ (+ @v money:1.50) nstr:'x') NULL)"}));

}  // namespace
}  // namespace orv::tsql
