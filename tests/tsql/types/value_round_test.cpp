// ROUND, ABS and the other numeric functions: result types, half-away-from-zero rounding with
// the scale kept, the overflow when rounding needs one more integral digit, truncation.
#include <gtest/gtest.h>

#include "value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Call;
using testing::Cast;
using testing::ErrorOf;
using testing::Lit;
using testing::MessageOf;
using testing::Show;
using testing::Typed;

TEST(ValueRoundTest, Table) {
  struct Case {
    std::vector<Typed> args;
    const char* result;
    const char* type;
  };
  Case cases[] = {
      {{Lit("2.45"), Lit("1")}, "2.50", "decimal(3,2)"},
      {{Lit("-2.45"), Lit("1")}, "-2.50", "decimal(3,2)"},
      {{Lit("2.59"), Lit("1"), Lit("1")}, "2.50", "decimal(3,2)"},
      {{Lit("-2.59"), Lit("1"), Lit("1")}, "-2.50", "decimal(3,2)"},
      {{Lit("1234.56"), Lit("-2")}, "1200.00", "decimal(6,2)"},
      {{Lit("1550"), Lit("-2")}, "1600", "int"},
      {{Lit("-1550"), Lit("-2")}, "-1600", "int"},
      {{Lit("1549"), Lit("-2"), Lit("1")}, "1500", "int"},
      {{Lit("55.5"), Lit("-3")}, "0.0", "decimal(3,1)"},
      {{Cast(Lit("9.99"), SqlType::Decimal(4, 2)), Lit("1")}, "10.00", "decimal(4,2)"},
      {{Lit("12.5"), Lit("5")}, "12.5", "decimal(3,1)"},
      {{Lit("NULL"), Lit("2")}, "NULL", "int"},
      {{Lit("1.25"), Lit("NULL")}, "NULL", "decimal(3,2)"},
      {{Lit("2.5e0"), Lit("0")}, "3", "float"},
      {{Lit("-2.5e0"), Lit("0")}, "-3", "float"},
      {{Lit("1234.5678e0"), Lit("-2")}, "1200", "float"},
      {{Lit("$1234.5678"), Lit("2")}, "1234.57", "money"},
      {{Cast(Lit("7"), SqlType::BigInt()), Lit("-1")}, "10", "bigint"},
  };
  for (const Case& c : cases) {
    Typed r = Call("ROUND", c.args);
    EXPECT_EQ(Show(r), c.result) << Show(c.args[0]) << ", " << Show(c.args[1]);
    EXPECT_EQ(r.t.ToString(), c.type) << Show(c.args[0]);
  }
  // Money keeps its four decimals.
  Typed m = Call("ROUND", {Lit("$1234.5678"), Lit("2")});
  EXPECT_EQ(m.v.decimal_unscaled(), 12345700);
}

TEST(ValueRoundTest, OverflowWhenAnIntegralDigitIsNeeded) {
  EXPECT_EQ(MessageOf([] {
              Call("ROUND", {Lit("9.99"), Lit("1")});
            }),
            "Arithmetic overflow error converting expression to data type numeric.");
  EXPECT_EQ(ErrorOf([] { Call("ROUND", {Lit("0.5"), Lit("0")}); }), 8115);
  EXPECT_EQ(ErrorOf([] { Call("ROUND", {Lit("-9.5"), Lit("0")}); }), 8115);
  EXPECT_EQ(ErrorOf([] { Call("ROUND", {Lit("9.94"), Lit("1")}); }), 0);
  EXPECT_EQ(MessageOf([] {
              Call("ROUND", {Lit("2147483647"), Lit("-1")});
            }),
            "Arithmetic overflow error converting expression to data type int.");
}

TEST(ValueRoundTest, AbsAndFriends) {
  struct Case {
    const char* fn;
    std::vector<Typed> args;
    const char* result;
    const char* type;
  };
  Case cases[] = {
      {"ABS", {Lit("-12.50")}, "12.50", "decimal(4,2)"},
      {"ABS", {Lit("-3")}, "3", "int"},
      {"ABS", {Lit("-1.5e0")}, "1.5", "float"},
      {"ABS", {Lit("NULL")}, "NULL", "int"},
      {"FLOOR", {Lit("-2.5")}, "-3", "decimal(2,0)"},
      {"CEILING", {Lit("2.1")}, "3", "decimal(2,0)"},
      {"CEILING", {Lit("-2.9")}, "-2", "decimal(2,0)"},
      {"FLOOR", {Lit("7")}, "7", "int"},
      {"CEILING", {Lit("$1.25")}, "2.00", "money"},
      {"SIGN", {Lit("-4")}, "-1", "int"},
      {"SIGN", {Lit("0.00")}, "0.00", "decimal(3,2)"},
      {"POWER", {Lit("2"), Lit("10")}, "1024", "int"},
      {"POWER", {Lit("2.5"), Lit("2")}, "6.3", "decimal(38,1)"},
      {"POWER", {Lit("2"), Lit("0.5")}, "1", "int"},
      {"SQRT", {Lit("16")}, "4", "float"},
  };
  for (const Case& c : cases) {
    Typed r = Call(c.fn, c.args);
    EXPECT_EQ(Show(r), c.result) << c.fn << "(" << Show(c.args[0]) << ")";
    EXPECT_EQ(r.t.ToString(), c.type) << c.fn;
  }
  Typed int_min = Cast(Lit("-2147483648"), SqlType::Int());
  EXPECT_EQ(MessageOf([&] { Call("ABS", {int_min}); }),
            "Arithmetic overflow error converting expression to data type int.");
  EXPECT_EQ(ErrorOf([] { Call("SQRT", {Lit("-1")}); }), 3623);
}

}  // namespace
}  // namespace orv::tsql
