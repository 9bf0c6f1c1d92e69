// Text forms and comparisons: CStr, Format with date patterns, date parts, EqualsInteger,
// EqualsText, NullToDefault and Trim.
#include <gtest/gtest.h>

#include <limits>

#include "automation/variant.h"
#include "test_support.h"

namespace orv::automation {
namespace {

using testing::RaisedNumber;

DecimalValue DecOf(__int128 unscaled, int scale) { return DecimalValue{unscaled, scale}; }

TEST(CStrTest, FixedForms) {
  struct Case {
    Variant input;
    const char* expected;
  };
  const Case cases[] = {
      {Variant(), ""},
      {true, "True"},
      {false, "False"},
      {int16_t{-32768}, "-32768"},
      {int32_t{2147483647}, "2147483647"},
      {12.5, "12.5"},
      {3.0, "3"},
      {0.1, "0.1"},
      {-0.0, "0"},
      {0.1 + 0.2, "0.30000000000000004"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E+15"},
      {1.5e20, "1.5E+20"},
      {0.00001, "0.00001"},
      {0.000001, "1E-06"},
      {-2.5e-7, "-2.5E-07"},
      {DecOf(1250, 2), "12.50"},
      {DecOf(5, 3), "0.005"},
      {DecOf(-5, 1), "-0.5"},
      {DecOf(0, 4), "0.0000"},
      {DecOf(42, 0), "42"},
      {DecOf(-5, 38), "-0.00000000000000000000000000000000000005"},
      {DecOf(18446744073709551615ull, 19), "1.8446744073709551615"},
      {DecOf(-static_cast<__int128>(18446744073709551615ull), 0), "-18446744073709551615"},
      {DecOf(static_cast<__int128>(18446744073709551615ull) + 1, 19), "1.8446744073709551616"},
      {DecOf(-1, 19), "-0.0000000000000000001"},
      {DecOf(7, 20), "0.00000000000000000007"},
      {DecOf(static_cast<__int128>(-12345678901234567) * 1000000000, 10),
       "-1234567890123456.7000000000"},
      // Above 64 bits: a chunk of zeros inside, and the largest 38-digit magnitude.
      {DecOf(static_cast<__int128>(10000000000000000000ull) * 10 + 5, 0), "100000000000000000005"},
      {DecOf(-(static_cast<__int128>(10000000000000000000ull) * 10000000000000000000ull - 1), 4),
       "-9999999999999999999999999999999999.9999"},
      {DateValue::FromParts(2024, 1, 5), "2024-01-05"},
      {DateValue::FromParts(2024, 1, 5, 13, 45, 7), "2024-01-05 13:45:07"},
      {DateValue::FromParts(2024, 1, 5, 0, 0, 0, 400), "2024-01-05"},
      {DateValue::FromParts(2024, 1, 5, 23, 59, 59, 600), "2024-01-06"},
      {DateValue{0}, "1899-12-30"},
      {DateValue{-1.25}, "1899-12-29 06:00:00"},
      {"  as is ", "  as is "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CStr(c.input), c.expected);
    std::string appended = "x,";
    AppendCStr(appended, c.input);
    EXPECT_EQ(appended, std::string("x,") + c.expected);
  }
  EXPECT_EQ(RaisedNumber([] { CStr(Variant::Null()); }), err::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CStr(Variant(ObjectRef())); }), err::kObjectNotSet);
}

TEST(CStrTest, DoubleTextReadsBackExactly) {
  for (double d :
       {1.0 / 3, 2.0 / 3 * 1e10, 123.456, 9.999999999999999e14, 1e-5,
        std::numeric_limits<double>::max(), std::numeric_limits<double>::min(), -7.0e-300}) {
    EXPECT_EQ(CDbl(Variant(CStr(d))), d) << CStr(d);
  }
}

TEST(DateValueTest, PartsRoundTripAndEpoch) {
  EXPECT_EQ(DateValue::FromParts(1899, 12, 30).serial, 0);
  EXPECT_EQ(DateValue::FromParts(1900, 1, 1).serial, 2);
  EXPECT_EQ(DateValue::FromParts(2024, 1, 5).serial, 45296);
  EXPECT_EQ(DateValue::FromParts(2024, 1, 5, 12).serial, 45296.5);
  EXPECT_EQ(DateValue::FromParts(1899, 12, 29, 6).serial, -1.25);
  EXPECT_EQ(DateValue::FromParts(2023, 14, 1), DateValue::FromParts(2024, 2, 1));  // carries
  EXPECT_EQ(DateValue::FromParts(2024, 3, 0), DateValue::FromParts(2024, 2, 29));

  for (auto [y, mo, d, h, mi, s, ms] :
       {std::tuple{2024, 2, 29, 23, 59, 59, 999}, std::tuple{1753, 1, 1, 0, 0, 0, 3},
        std::tuple{1800, 6, 15, 18, 30, 0, 0}, std::tuple{9999, 12, 31, 12, 0, 1, 500}}) {
    int year, month, day, hour, minute, second, millisecond;
    DateValue::FromParts(y, mo, d, h, mi, s, ms)
        .ToParts(year, month, day, hour, minute, second, millisecond);
    EXPECT_EQ(std::tuple(year, month, day, hour, minute, second, millisecond),
              std::tuple(y, mo, d, h, mi, s, ms));
  }
}

TEST(FormatTest, DatesAndDateTexts) {
  struct Case {
    Variant input;
    const char* expected;
  };
  const Case cases[] = {
      {DateValue::FromParts(2024, 1, 5, 13, 45), "2024-01-05"},
      {"2024-01-05", "2024-01-05"},
      {"2024/1/5", "2024-01-05"},
      {"2024.1.5", "2024-01-05"},
      {"2024-01-05 13:45:00", "2024-01-05"},
      {"2024-01-05 13:45", "2024-01-05"},
      {"2024-01-05T13:45:00.123", "2024-01-05"},
      {" 2024-1-05 ", "2024-01-05"},
      {"2024-02-29", "2024-02-29"},
      // Not date texts: pass through unchanged.
      {"20240105", "20240105"},
      {"2023-02-29", "2023-02-29"},
      {"2024-13-01", "2024-13-01"},
      {"2024-01/05", "2024-01/05"},
      {"2024-01-05x", "2024-01-05x"},
      {"2024-01-05 25:00", "2024-01-05 25:00"},
      {"abc", "abc"},
      {"", ""},
      // Other values: their text.
      {12.5, "12.5"},
      {Variant(), ""},
      {Variant::Null(), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.input, "YYYY-MM-DD"), c.expected);
    EXPECT_EQ(Format(c.input, "yyyy-mm-dd"), c.expected);
  }
}

TEST(FormatTest, OtherDatePatterns) {
  Variant date(DateValue::FromParts(2024, 3, 7, 9, 5, 4));
  EXPECT_EQ(Format(date, "yyyy/m/d"), "2024/3/7");
  EXPECT_EQ(Format(date, "yymmdd"), "240307");
  EXPECT_EQ(Format(date, "yyyy-mm-dd hh:mm:ss"), "2024-03-07 09:05:04");
  EXPECT_EQ(Format(date, "hh:nn"), "09:05");
  EXPECT_EQ(Format(date, ""), "2024-03-07 09:05:04");
  EXPECT_EQ(RaisedNumber([&] { Format(date, "0.00"); }), err::kInvalidProcedureCall);
  EXPECT_EQ(RaisedNumber([&] { Format(date, "dddd"); }), err::kInvalidProcedureCall);
}

TEST(CDateTest, DateTextsOnly) {
  EXPECT_EQ(CDate(Variant("2024-01-05 12:00")), DateValue::FromParts(2024, 1, 5, 12));
  EXPECT_EQ(RaisedNumber([] { CDate(Variant("20240105")); }), err::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant(5)); }), err::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant::Null()); }), err::kInvalidUseOfNull);
}

TEST(EqualsIntegerTest, NumbersTextsAndEmpty) {
  struct Case {
    Variant input;
    int64_t n;
    bool expected;
  };
  const Case cases[] = {
      {"1", 1, true},           {" 1 ", 1, true},          {"1.0", 1, true},
      {"1.5", 1, false},        {"2", 1, false},           {"-0", 0, true},
      {Variant(), 0, true},     {Variant(), 1, false},     {Variant::Null(), 0, false},
      {int16_t{1}, 1, true},    {int32_t{1}, 2, false},    {1.0, 1, true},
      {0.9999, 1, false},       {true, -1, true},          {false, 0, true},
      {DecOf(100, 2), 1, true}, {DecOf(101, 2), 1, false}, {DecOf(-3, 0), -3, true},
      {DecOf(15, 1), 2, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsInteger(c.input, c.n), c.expected) << "'" << CStr(c.input) << "' = " << c.n;
  }
  for (const char* text : {"abc", "", "1a"}) {
    try {
      EqualsInteger(Variant(text), 1);
      ADD_FAILURE() << "no error for '" << text << "'";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kTypeMismatch);
      EXPECT_EQ(e.description(), "Type mismatch");
    }
  }
}

TEST(EqualsTextTest, EmptyEqualsEmptyTextAndNullEqualsNothing) {
  EXPECT_TRUE(EqualsText(Variant(), ""));
  EXPECT_FALSE(EqualsText(Variant(), "0"));
  EXPECT_TRUE(EqualsText(Variant(""), ""));
  EXPECT_FALSE(EqualsText(Variant(" "), ""));
  EXPECT_FALSE(EqualsText(Variant::Null(), ""));
  EXPECT_TRUE(EqualsText(Variant(12.5), "12.5"));
  EXPECT_TRUE(EqualsText(Variant(true), "True"));
  EXPECT_FALSE(EqualsText(Variant("abc"), "ABC"));
}

TEST(NullToDefaultTest, OnlyNullIsReplaced) {
  EXPECT_EQ(NullToDefault(Variant::Null(), std::string("dflt")), "dflt");
  EXPECT_EQ(NullToDefault(Variant(), std::string("dflt")), "");
  EXPECT_EQ(NullToDefault(Variant(DecOf(250, 2)), std::string()), "2.50");
  EXPECT_EQ(NullToDefault(Variant::Null(), Variant(7)).AsLong(), 7);
  EXPECT_TRUE(NullToDefault(Variant(), Variant(7)).IsEmpty());
}

TEST(TrimTest, SpacesOnly) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
}

}  // namespace
}  // namespace orv::automation
