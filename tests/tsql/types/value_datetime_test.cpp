// datetime: reading text (ISO, yyyymmdd, mdy, time only, empty), 1/300 s rounding, range
// errors, the CONVERT styles and the cut to the target length, date functions and
// datetime plus days.
#include <gtest/gtest.h>

#include "value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Binary;
using testing::Call;
using testing::Cast;
using testing::ErrorOf;
using testing::Lit;
using testing::MessageOf;
using testing::Show;
using testing::Typed;

Typed Dt(const char* text) { return Cast(Lit(text), SqlType::DateTime()); }
std::string Iso(const Typed& d) {
  return std::string(Cast(d, SqlType::VarChar(30), 121).v.string_value());
}
Typed Word(const char* part) { return {Value::String(part), SqlType::VarChar(10)}; }

TEST(ValueDateTimeTest, Parse) {
  struct Case {
    const char* text;
    const char* iso;
  } cases[] = {
      {"'2024-01-05'", "2024-01-05 00:00:00.000"},
      {"'20240105'", "2024-01-05 00:00:00.000"},
      {"'2024-01-05 13:45:00'", "2024-01-05 13:45:00.000"},
      {"'2024-01-05T13:45:07.123'", "2024-01-05 13:45:07.123"},
      {"'01/05/2024'", "2024-01-05 00:00:00.000"},
      {"'1/5/24'", "2024-01-05 00:00:00.000"},
      {"'2024/01/05'", "2024-01-05 00:00:00.000"},
      {"'20240105 08:30'", "2024-01-05 08:30:00.000"},
      {"'13:45'", "1900-01-01 13:45:00.000"},
      {"'1:45PM'", "1900-01-01 13:45:00.000"},
      {"''", "1900-01-01 00:00:00.000"},
      {"'Jan  5 2024  1:45PM'", "2024-01-05 13:45:00.000"},
      {"'January 5, 2024'", "2024-01-05 00:00:00.000"},
      {"'2024-01-05 10:00:00.002'", "2024-01-05 10:00:00.003"},
      {"'2024-01-05 10:00:00.005'", "2024-01-05 10:00:00.007"},
      {"'2024-01-05 10:00:00.009'", "2024-01-05 10:00:00.010"},
      {"'2024-01-05 10:00:00.001'", "2024-01-05 10:00:00.000"},
      {"'2024-01-05 23:59:59.999'", "2024-01-06 00:00:00.000"},
      {"'2024-01-05 10:00:00.5'", "2024-01-05 10:00:00.500"},
      {"'1753-01-01'", "1753-01-01 00:00:00.000"},
      {"'9999-12-31 23:59:59.997'", "9999-12-31 23:59:59.997"},
      {"'2024-02-29'", "2024-02-29 00:00:00.000"},
  };
  for (const Case& c : cases) EXPECT_EQ(Iso(Dt(c.text)), c.iso) << c.text;
  // CONVERT style 103 reads day first
  EXPECT_EQ(Iso(Cast(Lit("'05/01/2024'"), SqlType::DateTime(), 103)), "2024-01-05 00:00:00.000");
}

TEST(ValueDateTimeTest, ParseErrors) {
  EXPECT_EQ(MessageOf([] { Dt("'2024-02-30'"); }),
            "The conversion of a varchar data type to a datetime data type resulted in an "
            "out-of-range value.");
  EXPECT_EQ(ErrorOf([] { Dt("'1752-12-31'"); }), 242);
  EXPECT_EQ(ErrorOf([] { Dt("'2023-02-29'"); }), 242);
  EXPECT_EQ(ErrorOf([] { Dt("'2024-13-01'"); }), 242);
  EXPECT_EQ(MessageOf([] { Dt("'abc'"); }),
            "Conversion failed when converting date and/or time from character string.");
  EXPECT_EQ(ErrorOf([] { Dt("'2024-01-05 25:00'"); }), 241);
  EXPECT_EQ(ErrorOf([] { Dt("'2024-01-05 10:00:00.1234'"); }), 241);
  EXPECT_EQ(ErrorOf([] { Dt("'12345'"); }), 241);
  EXPECT_FALSE(ParseDateTime("nonsense").has_value());
  EXPECT_EQ(ErrorOf([] { ParseDateTime("2024-02-30"); }), 242);
}

TEST(ValueDateTimeTest, Styles) {
  Typed d = Dt("'2024-01-05 13:45:07.123'");
  struct Case {
    SqlType to;
    int style;
    const char* text;
  } cases[] = {
      {SqlType::VarChar(30), 0, "Jan  5 2024  1:45PM"},
      {SqlType::VarChar(30), 100, "Jan  5 2024  1:45PM"},
      {SqlType::VarChar(30), 20, "2024-01-05 13:45:07"},
      {SqlType::VarChar(30), 120, "2024-01-05 13:45:07"},
      {SqlType::VarChar(30), 21, "2024-01-05 13:45:07.123"},
      {SqlType::VarChar(30), 25, "2024-01-05 13:45:07.123"},
      {SqlType::VarChar(30), 121, "2024-01-05 13:45:07.123"},
      {SqlType::VarChar(30), 23, "2024-01-05"},
      {SqlType::VarChar(30), 112, "20240105"},
      {SqlType::VarChar(30), 102, "2024.01.05"},
      {SqlType::VarChar(30), 111, "2024/01/05"},
      {SqlType::VarChar(30), 101, "01/05/2024"},
      {SqlType::VarChar(30), 103, "05/01/2024"},
      {SqlType::VarChar(30), 1, "01/05/24"},
      {SqlType::VarChar(30), 108, "13:45:07"},
      {SqlType::Char(10), 120, "2024-01-05"},
      {SqlType::VarChar(7), 120, "2024-01"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cast(d, c.to, c.style).v.string_value(), c.text) << c.style;
  }
  EXPECT_EQ(Show(d), "Jan  5 2024  1:45PM");
  EXPECT_EQ(Show(Dt("'2024-01-05 00:05'")), "Jan  5 2024 12:05AM");
  EXPECT_EQ(ErrorOf([&] { Cast(d, SqlType::VarChar(30), 99); }), 281);
  EXPECT_EQ(Cast(Cast(d, SqlType::Date()), SqlType::VarChar(30)).v.string_value(), "2024-01-05");
  EXPECT_EQ(Iso(Cast(Dt("'2024-01-05 13:45:29.998'"), SqlType::SmallDateTime())),
            "2024-01-05 13:45:00.000");
  EXPECT_EQ(Iso(Cast(Dt("'2024-01-05 13:45:29.999'"), SqlType::SmallDateTime())),
            "2024-01-05 13:46:00.000");
}

TEST(ValueDateTimeTest, DateDiffCountsBoundaries) {
  struct Case {
    const char* part;
    const char* a;
    const char* b;
    int64_t result;
  } cases[] = {
      {"day", "'2024-01-31 23:59:59'", "'2024-02-01 00:00:01'", 1},
      {"day", "'2024-02-01 00:00:00'", "'2024-02-01 23:59:59'", 0},
      {"month", "'2024-01-31'", "'2024-02-01'", 1},
      {"year", "'2024-12-31'", "'2025-01-01'", 1},
      {"day", "'2024-03-01'", "'2024-02-28'", -2},
      {"dd", "'1900-01-01'", "'1753-01-01'", -53690},
      {"wk", "'2024-01-06'", "'2024-01-07'", 1},  // Saturday to Sunday
      {"week", "'2024-01-07'", "'2024-01-13'", 0},
      {"hh", "'2024-01-01 10:59'", "'2024-01-01 11:00'", 1},
      {"mi", "'2024-01-01 10:59:59'", "'2024-01-01 11:00:00'", 1},
      {"ss", "'2024-01-01 10:00:00.997'", "'2024-01-01 10:00:01'", 1},
      {"quarter", "'2024-03-31'", "'2024-04-01'", 1},
      {"ms", "'2024-01-01 10:00:00'", "'2024-01-01 10:00:01.5'", 1500},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call("DATEDIFF", {Word(c.part), Lit(c.a), Lit(c.b)}).v.int_value(), c.result)
        << c.part << " " << c.a << " " << c.b;
  }
  EXPECT_EQ(ErrorOf([] {
              Call("DATEDIFF", {Word("fortnight"), Lit("'2024-01-01'"), Lit("'2024-01-02'")});
            }),
            155);
  EXPECT_EQ(ErrorOf([] {
              Call("DATEDIFF", {Word("ms"), Lit("'1900-01-01'"), Lit("'2024-01-01'")});
            }),
            535);
}

TEST(ValueDateTimeTest, DateAdd) {
  struct Case {
    const char* part;
    Typed n;
    const char* date;
    const char* iso;
  } cases[] = {
      {"month", Lit("1"), "'2024-01-31'", "2024-02-29 00:00:00.000"},
      {"month", Lit("1"), "'2023-01-31'", "2023-02-28 00:00:00.000"},
      {"year", Lit("1"), "'2024-02-29'", "2025-02-28 00:00:00.000"},
      {"day", Lit("1.9"), "'2024-01-01'", "2024-01-02 00:00:00.000"},
      {"day", Lit("-1"), "'2024-03-01'", "2024-02-29 00:00:00.000"},
      {"quarter", Lit("-1"), "'2024-05-31'", "2024-02-29 00:00:00.000"},
      {"hh", Lit("25"), "'2024-01-01'", "2024-01-02 01:00:00.000"},
      {"ms", Lit("10"), "'2024-01-01'", "2024-01-01 00:00:00.010"},
      {"wk", Lit("1"), "'2024-01-01'", "2024-01-08 00:00:00.000"},
  };
  for (const Case& c : cases) {
    Typed r = Call("DATEADD", {Word(c.part), c.n, Lit(c.date)});
    EXPECT_EQ(r.t.ToString(), "datetime");
    EXPECT_EQ(Iso(r), c.iso) << c.part << " " << c.date;
  }
  EXPECT_EQ(MessageOf([] {
              Call("DATEADD", {Word("year"), Lit("1"), Lit("'9999-06-01'")});
            }),
            "Adding a value to a 'datetime' column caused an overflow.");
  EXPECT_TRUE(Call("DATEADD", {Word("day"), Lit("NULL"), Lit("'2024-01-01'")}).v.is_null());
}

TEST(ValueDateTimeTest, PartsAndArithmetic) {
  EXPECT_EQ(Call("YEAR", {Lit("'2024-01-05'")}).v.int_value(), 2024);
  EXPECT_EQ(Call("MONTH", {Lit("'20240105'")}).v.int_value(), 1);
  EXPECT_EQ(Call("DAY", {Dt("'2024-01-05'")}).v.int_value(), 5);
  struct Case {
    const char* part;
    int64_t value;
  } parts[] = {{"dw", 6},    {"dy", 5}, {"wk", 1}, {"qq", 1},
               {"hour", 13}, {"n", 45}, {"ss", 7}, {"ms", 123}};
  Typed d = Dt("'2024-01-05 13:45:07.123'");  // a Friday
  for (const auto& p : parts) {
    EXPECT_EQ(Call("DATEPART", {Word(p.part), d}).v.int_value(), p.value) << p.part;
  }
  EXPECT_EQ(Call("DATEPART", {Word("wk"), Dt("'2024-01-07'")}).v.int_value(), 2);

  EXPECT_EQ(Iso(Binary(ast::Op::Add, Dt("'2024-01-05'"), Lit("1"))), "2024-01-06 00:00:00.000");
  EXPECT_EQ(Iso(Binary(ast::Op::Sub, Dt("'2024-01-05'"), Lit("0.5"))), "2024-01-04 12:00:00.000");
  EXPECT_EQ(Iso(Binary(ast::Op::Add, Dt("'2024-01-05'"), Lit("'12:00'"))),
            "2024-01-05 12:00:00.000");
  EXPECT_EQ(ErrorOf([] { Binary(ast::Op::Add, Dt("'9999-12-31'"), Lit("1")); }), 517);
  EXPECT_EQ(Cast(Dt("'1900-01-03 12:00'"), SqlType::Int()).v.int_value(), 3);
  EXPECT_EQ(Iso(Cast(Lit("2"), SqlType::DateTime())), "1900-01-03 00:00:00.000");
}

TEST(ValueDateTimeTest, CalendarRoundTrip) {
  // Every day of a few centuries survives ticks -> parts -> ticks.
  for (int64_t days = -53690; days < 80000; days += 37) {
    int y, mo, d, h, mi, s, ms;
    SplitDateTime(days * kTicksPerDay + 299, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(ms, 997);
    ASSERT_EQ(MakeDateTime(y, mo, d), days * kTicksPerDay) << y << "-" << mo << "-" << d;
  }
}

}  // namespace
}  // namespace orv::tsql
