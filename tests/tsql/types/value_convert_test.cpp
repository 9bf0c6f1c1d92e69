// CAST / CONVERT between numbers, strings and datetimes, char(n) padding, truncation rules
// by mode, and the conversion errors with their exact texts.
#include <gtest/gtest.h>

#include "value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Cast;
using testing::ErrorOf;
using testing::Lit;
using testing::MessageOf;
using testing::Show;
using testing::Typed;

struct CastCase {
  Typed from;
  SqlType to;
  const char* text;
  int style = 0;
};

void ExpectCasts(const std::vector<CastCase>& cases) {
  for (const CastCase& c : cases) {
    Typed r = Cast(c.from, c.to, c.style);
    EXPECT_EQ(Show(r), c.text) << Show(c.from) << " AS " << c.to.ToString();
  }
}

TEST(ValueConvertTest, NumbersToStrings) {
  ExpectCasts({
      {Cast(Lit("12.5"), SqlType::Decimal(10, 2)), SqlType::VarChar(20), "12.50"},
      {Cast(Lit("-0.5"), SqlType::Decimal(5, 2)), SqlType::VarChar(10), "-0.50"},
      {Cast(Lit("7"), SqlType::Decimal(10, 0)), SqlType::VarChar(10), "7"},
      {Lit("123"), SqlType::VarChar(10), "123"},
      {Lit("123"), SqlType::VarChar(2), "*"},
      {Lit("123"), SqlType::Char(2), "* "},
      {Lit("123.456789e0"), SqlType::VarChar(20), "123.457"},
      {Lit("1234567e0"), SqlType::VarChar(20), "1.23457e+006"},
      {Lit("0.00001e0"), SqlType::VarChar(20), "1e-005"},
      {Lit("123456e0"), SqlType::VarChar(20), "123456"},
      {Lit("0.1e0"), SqlType::VarChar(20), "0.1"},
      {Lit("$1234.5678"), SqlType::VarChar(20), "1234.57"},
      {Lit("$1234.5678"), SqlType::VarChar(20), "1,234.57", 1},
      {Lit("$1234.5678"), SqlType::VarChar(20), "1234.5678", 2},
      {Lit("$-1234567.5"), SqlType::VarChar(20), "-1,234,567.50", 1},
  });
  EXPECT_EQ(MessageOf([] { Cast(Lit("123.45"), SqlType::VarChar(3)); }),
            "Arithmetic overflow error converting numeric to data type varchar.");
  EXPECT_EQ(ErrorOf([] { Cast(Lit("123"), SqlType::NVarChar(2)); }), 8115);
  EXPECT_EQ(ErrorOf([] { Cast(Lit("1234567e0"), SqlType::VarChar(5)); }), 8115);
}

TEST(ValueConvertTest, StringsToNumbers) {
  ExpectCasts({
      {Lit("' 12'"), SqlType::Int(), "12"},
      {Lit("'-7 '"), SqlType::Int(), "-7"},
      {Lit("''"), SqlType::Int(), "0"},
      {Lit("'12.345'"), SqlType::Decimal(10, 2), "12.35"},
      {Lit("'-12.345'"), SqlType::Decimal(10, 2), "-12.35"},
      {Lit("'.5'"), SqlType::Decimal(3, 2), "0.50"},
      {Lit("'1e3'"), SqlType::Float(), "1000"},
      {Lit("'$1,234.5'"), SqlType::Money(), "1234.50"},
      {Lit("'1'"), SqlType::Bit(), "1"},
      {Lit("'false'"), SqlType::Bit(), "0"},
  });
  EXPECT_EQ(MessageOf([] { Cast(Lit("'12.5'"), SqlType::Int()); }),
            "Conversion failed when converting the varchar value '12.5' to data type int.");
  EXPECT_EQ(MessageOf([] { Cast(Lit("'abc'"), SqlType::Int()); }),
            "Conversion failed when converting the varchar value 'abc' to data type int.");
  EXPECT_EQ(MessageOf([] { Cast(Lit("N'x'"), SqlType::SmallInt()); }),
            "Conversion failed when converting the nvarchar value 'x' to data type smallint.");
  EXPECT_EQ(MessageOf([] { Cast(Lit("'1,234.00'"), SqlType::Decimal(10, 2)); }),
            "Error converting data type varchar to numeric.");
  EXPECT_EQ(ErrorOf([] { Cast(Lit("''"), SqlType::Decimal(10, 2)); }), 8114);
  EXPECT_EQ(ErrorOf([] { Cast(Lit("'1e3'"), SqlType::Decimal(10, 2)); }), 8114);
  EXPECT_EQ(MessageOf([] { Cast(Lit("'123456'"), SqlType::Decimal(5, 2)); }),
            "Arithmetic overflow error converting varchar to data type numeric.");
  EXPECT_EQ(ErrorOf([] { Cast(Lit("'abc'"), SqlType::Float()); }), 8114);
  EXPECT_EQ(ErrorOf([] { Cast(Lit("'99999999999'"), SqlType::Int()); }), 248);
}

TEST(ValueConvertTest, NumbersToNumbers) {
  ExpectCasts({
      {Lit("12.345"), SqlType::Decimal(5, 2), "12.35"},
      {Lit("-12.345"), SqlType::Decimal(5, 2), "-12.35"},
      {Lit("12.99"), SqlType::Int(), "12"},
      {Lit("-12.99"), SqlType::Int(), "-12"},
      {Lit("12.99e0"), SqlType::Int(), "12"},
      {Lit("$12.5"), SqlType::Int(), "13"},
      {Lit("7"), SqlType::Decimal(5, 2), "7.00"},
      {Lit("1.5e0"), SqlType::Decimal(5, 0), "2"},
      {Lit("0.1"), SqlType::Float(), "0.1"},
      {Lit("5"), SqlType::Bit(), "1"},
  });
  EXPECT_EQ(MessageOf([] { Cast(Lit("100000"), SqlType::Decimal(5, 2)); }),
            "Arithmetic overflow error converting int to data type numeric.");
  EXPECT_EQ(MessageOf([] { Cast(Lit("300"), SqlType::TinyInt()); }),
            "Arithmetic overflow error converting expression to data type tinyint.");
  EXPECT_EQ(MessageOf([] { Cast(Lit("12345678901.5"), SqlType::Int()); }),
            "Arithmetic overflow error converting numeric to data type int.");
}

TEST(ValueConvertTest, StringLengths) {
  Typed padded = Cast(Lit("'ab'"), SqlType::Char(5));
  EXPECT_EQ(padded.v.string_value(), "ab   ");
  EXPECT_EQ(Cast(Lit("'abcdef'"), SqlType::VarChar(3)).v.string_value(), "abc");
  EXPECT_EQ(Cast(Lit("'ab  '"), SqlType::VarChar(10)).v.string_value(), "ab  ");
  // bytes of the database's code page (936), where a Chinese character takes two: varchar(2)
  // holds one of them, and char(3) pads one with a single blank
  EXPECT_EQ(Cast(Lit("'合计行'"), SqlType::VarChar(2)).v.string_value(), "合");
  EXPECT_EQ(Cast(Lit("'合'"), SqlType::Char(3)).v.string_value(), "合 ");

  auto assign = [](const char* text, SqlType to) {
    Typed x = Lit(text);
    return Convert(x.v, x.t, to, CastMode::Assignment);
  };
  EXPECT_EQ(MessageOf([&] { assign("'abcdef'", SqlType::VarChar(3)); }),
            "String or binary data would be truncated.");
  EXPECT_EQ(assign("'abc   '", SqlType::VarChar(3)).string_value(), "abc");
  EXPECT_EQ(assign("'ab'", SqlType::Char(3)).string_value(), "ab ");
  // assignment rounds decimals and truncates into int
  EXPECT_EQ(Show({assign("1.235", SqlType::Decimal(10, 2)), SqlType::Decimal(10, 2)}), "1.24");
  EXPECT_EQ(assign("12.9", SqlType::Int()).int_value(), 12);
}

TEST(ValueConvertTest, NullStaysNull) {
  EXPECT_TRUE(Cast(Lit("NULL"), SqlType::Int()).v.is_null());
  EXPECT_TRUE(
      Convert(Value::Null(), SqlType::DateTime(), SqlType::VarChar(10), CastMode::Explicit, 120)
          .is_null());
}

}  // namespace
}  // namespace orv::tsql
