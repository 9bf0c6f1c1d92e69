// Numeric typing and arithmetic: literal types, decimal precision/scale of operators with the
// cap at 38, integer division and modulo, overflow and divide by zero, aggregate types.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tsql/types/decimal.h"
#include "value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Binary;
using testing::Cast;
using testing::ErrorOf;
using testing::Lit;
using testing::MessageOf;
using testing::Show;

// Rounding division and rescaling, on both sides of the 64-bit fast path: halves go away from
// zero, whatever the signs.
TEST(DecimalCore, DivRoundAndRescaleAcrossSixtyFourBits) {
  const Int128 min64 = std::numeric_limits<int64_t>::min();
  const Int128 max64 = std::numeric_limits<int64_t>::max();
  const Int128 e19 = dec::Pow10(19);
  struct Div {
    Int128 v, d, q;
  } divs[] = {
      {7, 2, 4},          {-7, 2, -4},        {7, -2, -4},         {-7, -2, 4},
      {5, 10, 1},         {-5, 10, -1},       {4, 10, 0},          {-4, 10, 0},
      {min64, 10, min64 / 10 - 1},            {max64, 10, max64 / 10 + 1},
      {min64, -1, -min64},                    {max64, max64, 1},
      {e19 * 10 + 5, 10, e19 + 1},            {-(e19 * 10 + 5), 10, -(e19 + 1)},
      {e19 * 10 + 4, 10, e19},
  };
  for (const Div& c : divs) {
    EXPECT_TRUE(dec::DivRound(c.v, c.d) == c.q)
        << dec::ToString(c.v, 0) << " / " << dec::ToString(c.d, 0);
  }
  EXPECT_TRUE(dec::Rescale(1234567895, 10, 2) == Int128{12});
  EXPECT_TRUE(dec::Rescale(-1250000000, 10, 2) == Int128{-13});
  EXPECT_TRUE(dec::Rescale(-1259999999, 10, 2, /*truncate=*/true) == Int128{-12});
  EXPECT_TRUE(dec::Rescale(dec::Pow10(37), 0, 1) == dec::Pow10(38));
  EXPECT_FALSE(dec::Rescale(dec::Pow10(37), 0, 2).has_value());
  EXPECT_FALSE(dec::Rescale(-dec::Pow10(37), 0, 2).has_value());
}

TEST(ValueLiteralTest, TypesAsWritten) {
  struct Case {
    const char* literal;
    std::string type;
  } cases[] = {
      {"12.345", "decimal(5,3)"},
      {"1.5", "decimal(2,1)"},
      {"2.50", "decimal(3,2)"},
      {"0.5", "decimal(1,1)"},
      {"100", "int"},
      {"1e2", "float"},
      {"2147483647", "int"},
      {"2147483649", "decimal(10,0)"},
      {"0012.5", "decimal(3,1)"},
      {"'ab'", "varchar(2)"},
      {"N'ab'", "nvarchar(2)"},
      {"$1.5", "money"},
      {"9.00", "decimal(3,2)"},
      {"''", "varchar(1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Lit(c.literal).t.ToString(), c.type) << c.literal;
  EXPECT_EQ(Show(Lit("1e2")), "100");
  EXPECT_EQ(Show(Lit("2.50")), "2.50");
  EXPECT_EQ(Show(Lit("2147483649")), "2147483649");
}

TEST(ValueDecimalTest, ResultPrecisionAndScale) {
  struct Case {
    ast::Op op;
    SqlType a, b;
    std::string type;
  } cases[] = {
      {ast::Op::Add, SqlType::Decimal(10, 2), SqlType::Decimal(5, 3), "decimal(12,3)"},
      {ast::Op::Mul, SqlType::Decimal(10, 2), SqlType::Decimal(10, 2), "decimal(21,4)"},
      {ast::Op::Div, SqlType::Decimal(10, 2), SqlType::Decimal(10, 2), "decimal(23,13)"},
      {ast::Op::Mul, SqlType::Decimal(23, 10), SqlType::Decimal(23, 10), "decimal(38,11)"},
      {ast::Op::Div, SqlType::Decimal(23, 10), SqlType::Decimal(23, 10), "decimal(38,15)"},
      {ast::Op::Div, SqlType::Decimal(38, 10), SqlType::Decimal(38, 10), "decimal(38,6)"},
      {ast::Op::Mod, SqlType::Decimal(10, 2), SqlType::Decimal(5, 1), "decimal(6,2)"},
      {ast::Op::Div, SqlType::Decimal(2, 1), SqlType::Int(), "decimal(13,12)"},
      {ast::Op::Div, SqlType::Decimal(2, 1), IntegerConstantType(3), "decimal(7,6)"},
      {ast::Op::Add, SqlType::Int(), SqlType::Int(), "int"},
      {ast::Op::Add, SqlType::Int(), SqlType::Float(), "float"},
      {ast::Op::Add, SqlType::Decimal(5, 2), SqlType::Float(), "float"},
      {ast::Op::Add, SqlType::Money(), SqlType::Int(), "money"},
      {ast::Op::Add, SqlType::VarChar(3), SqlType::Int(), "int"},
      {ast::Op::Add, SqlType::VarChar(3), SqlType::Char(4), "varchar(7)"},
      {ast::Op::Add, SqlType::DateTime(), SqlType::Int(), "datetime"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ArithmeticType(c.op, c.a, c.b).ToString(), c.type)
        << c.a.ToString() << " op " << c.b.ToString();
  }
}

TEST(ValueDecimalTest, WorkedExamples) {
  using testing::Typed;
  Typed d1 = Cast(Lit("1.25"), SqlType::Decimal(10, 2));
  Typed d2 = Cast(Lit("2"), SqlType::Decimal(10, 2));
  EXPECT_EQ(Show(Binary(ast::Op::Mul, d1, d2)), "2.5000");
  Typed one = Cast(Lit("1"), SqlType::Decimal(10, 2));
  Typed three = Cast(Lit("3"), SqlType::Decimal(10, 2));
  EXPECT_EQ(Show(Binary(ast::Op::Div, one, three)), "0.3333333333333");
  EXPECT_EQ(Show(Binary(ast::Op::Div, Lit("7"), Lit("2.0"))), "3.500000");
  EXPECT_EQ(Show(Binary(ast::Op::Div, Lit("1.0"), Lit("3"))), "0.333333");
  // an int column (not a constant) counts as decimal(10,0)
  Typed column{Value::Int(3), SqlType::Int()};
  EXPECT_EQ(Show(Binary(ast::Op::Div, Lit("1.0"), column)), "0.333333333333");
  // decimal division truncates: 1.67574 / 10000 at scale 6
  Typed a = Cast(Lit("1.67574"), SqlType::Decimal(38, 10));
  Typed b = Cast(Lit("10000"), SqlType::Decimal(38, 10));
  Typed q = Binary(ast::Op::Div, a, b);
  EXPECT_EQ(q.t.ToString(), "decimal(38,6)");
  EXPECT_EQ(Show(q), "0.000167");
  // a product whose scale is cut rounds
  Typed x = Cast(Lit("1.2345678901"), SqlType::Decimal(23, 10));
  Typed y = Cast(Lit("1.0000000005"), SqlType::Decimal(23, 10));
  Typed p = Binary(ast::Op::Mul, x, y);  // exactly 1.23456789071728394505
  EXPECT_EQ(p.t.ToString(), "decimal(38,11)");
  EXPECT_EQ(Show(p), "1.23456789072");
}

TEST(ValueDecimalTest, WideIntermediates) {
  using testing::Typed;
  // 10^20 * 10^17 needs more than 128 bits before the scale is cut.
  Typed big = Cast(Lit("123456789012345678.1234567890"), SqlType::Decimal(38, 10));
  Typed r = Binary(ast::Op::Mul, big, Cast(Lit("2"), SqlType::Decimal(38, 10)));
  EXPECT_EQ(r.t.ToString(), "decimal(38,6)");
  EXPECT_EQ(Show(r), "246913578024691356.246914");
  Typed d = Binary(ast::Op::Div, big, Cast(Lit("3"), SqlType::Decimal(38, 10)));
  EXPECT_EQ(Show(d), "41152263004115226.041152");
  Typed huge = Cast(Lit("1234567890123456789012345678.1234567890"), SqlType::Decimal(38, 10));
  EXPECT_EQ(Show(Binary(ast::Op::Div, huge, Cast(Lit("-3"), SqlType::Decimal(38, 10)))),
            "-411522630041152263004115226.041152");
  Typed n = Binary(ast::Op::Div, Cast(Lit("-1"), SqlType::Decimal(38, 30)),
                   Cast(Lit("3"), SqlType::Decimal(38, 0)));
  EXPECT_EQ(n.t.ToString(), "decimal(38,30)");
  EXPECT_EQ(Show(n), "-0." + std::string(30, '3'));
}

TEST(ValueDecimalTest, IntegerDivisionAndModulo) {
  struct Case {
    const char* a;
    ast::Op op;
    const char* b;
    const char* result;
  } cases[] = {
      {"7", ast::Op::Div, "2", "3"},          {"-7", ast::Op::Div, "2", "-3"},
      {"7", ast::Op::Mod, "2", "1"},          {"-7", ast::Op::Mod, "2", "-1"},
      {"7", ast::Op::Mod, "-2", "1"},         {"'1'", ast::Op::Add, "1", "2"},
      {"'ab'", ast::Op::Add, "'cd'", "abcd"}, {"''", ast::Op::Add, "'x'", "x"},
      {"12.5", ast::Op::Mod, "5", "2.5"},     {"2.50", ast::Op::Sub, "0.125", "2.375"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(Binary(c.op, Lit(c.a), Lit(c.b))), c.result) << c.a << " " << c.b;
  }
  EXPECT_EQ(Show(Binary(ast::Op::Add, Lit("NULL"), Lit("'x'"))), "NULL");
}

TEST(ValueDecimalTest, Errors) {
  EXPECT_EQ(MessageOf([] { Binary(ast::Op::Add, Lit("2147483647"), Lit("1")); }),
            "Arithmetic overflow error converting expression to data type int.");
  EXPECT_EQ(MessageOf([] { Binary(ast::Op::Div, Lit("1"), Lit("0")); }),
            "Divide by zero error encountered.");
  EXPECT_EQ(ErrorOf([] { Binary(ast::Op::Div, Lit("1.5"), Lit("0.0")); }), 8134);
  EXPECT_EQ(ErrorOf([] { Binary(ast::Op::Mod, Lit("1"), Lit("0")); }), 8134);
  EXPECT_EQ(MessageOf([] { Binary(ast::Op::Add, Lit("'a'"), Lit("1")); }),
            "Conversion failed when converting the varchar value 'a' to data type int.");
  EXPECT_EQ(ErrorOf([] { Binary(ast::Op::Add, Lit("'Total: '"), Lit("5")); }), 245);
  EXPECT_EQ(MessageOf([] { Binary(ast::Op::Add, Lit("'10'"), Lit("9.00")); }),
            "Arithmetic overflow error converting varchar to data type numeric.");
  EXPECT_EQ(MessageOf([] { ArithmeticType(ast::Op::Mul, SqlType::DateTime(), SqlType::Int()); }),
            "Operand data type datetime is invalid for multiply operator.");
  EXPECT_EQ(ErrorOf([] { ArithmeticType(ast::Op::Mod, SqlType::Float(), SqlType::Int()); }), 8117);
  // decimal results that outgrow their precision
  testing::Typed big = Cast(Lit("99999999999999999999999999999999999999"), SqlType::Decimal(38, 0));
  EXPECT_EQ(MessageOf([&] { Binary(ast::Op::Add, big, big); }),
            "Arithmetic overflow error converting expression to data type numeric.");
  EXPECT_EQ(ErrorOf([&] { Binary(ast::Op::Mul, big, big); }), 8115);
}

TEST(ValueDecimalTest, CommonAndUnionTypes) {
  EXPECT_EQ(UnionType(SqlType::Int(), SqlType::Decimal(2, 1)).ToString(), "decimal(11,1)");
  EXPECT_EQ(CommonType(SqlType::VarChar(3), SqlType::Decimal(3, 2)).ToString(), "decimal(3,2)");
  EXPECT_EQ(CommonType(SqlType::VarChar(3), SqlType::Int()).ToString(), "int");
  EXPECT_EQ(CommonType(SqlType::VarChar(3), SqlType::DateTime()).ToString(), "datetime");
  EXPECT_EQ(CommonType(SqlType::Char(10), SqlType::VarChar(5)).ToString(), "varchar(10)");
  EXPECT_EQ(CommonType(SqlType::VarChar(10), SqlType::NVarChar(5)).ToString(), "nvarchar(10)");
  EXPECT_EQ(CommonType(SqlType::Null(), SqlType::Int()).ToString(), "int");
  EXPECT_EQ(CommonType(SqlType::Decimal(5, 2), SqlType::Float()).ToString(), "float");
  EXPECT_EQ(UnionType(SqlType::Decimal(38, 10), SqlType::Decimal(38, 30)).ToString(),
            "decimal(38,10)");
}

TEST(ValueDecimalTest, AggregateTypes) {
  struct Case {
    const char* name;
    SqlType arg;
    std::string type;
  } cases[] = {
      {"SUM", SqlType::SmallInt(), "int"},
      {"AVG", SqlType::Int(), "int"},
      {"SUM", SqlType::BigInt(), "bigint"},
      {"SUM", SqlType::Decimal(10, 2), "decimal(38,2)"},
      {"AVG", SqlType::Decimal(10, 2), "decimal(38,6)"},
      {"AVG", SqlType::Decimal(23, 10), "decimal(38,10)"},
      {"SUM", SqlType::Money(), "money"},
      {"AVG", SqlType::Real(), "float"},
      {"COUNT", SqlType::VarChar(3), "int"},
      {"MAX", SqlType::VarChar(3), "varchar(3)"},
  };
  for (const Case& c : cases) EXPECT_EQ(AggregateType(c.name, c.arg).ToString(), c.type) << c.name;
  EXPECT_EQ(MessageOf([] { AggregateType("SUM", SqlType::VarChar(3)); }),
            "Operand data type varchar is invalid for sum operator.");
}

}  // namespace
}  // namespace orv::tsql
