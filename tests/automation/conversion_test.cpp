// CLng/CInt rounding and overflow, CBool, CDbl and Val on the platform's rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "automation/variant.h"
#include "test_support.h"

namespace orv::automation {
namespace {

using testing::RaisedNumber;

DecimalValue Dec(__int128 unscaled, int scale) { return DecimalValue{unscaled, scale}; }

TEST(CLngTest, RoundsHalfToEven) {
  struct Case {
    Variant input;
    int32_t expected;
  };
  const Case cases[] = {
      {0.5, 0},           {1.5, 2},         {2.5, 2},          {3.5, 4},
      {-0.5, 0},          {-1.5, -2},       {-2.5, -2},        {-3.5, -4},
      {2.4999999, 2},     {2.5000001, 3},   {-2.6, -3},        {1e9 + 0.5, 1000000000},
      {Dec(25, 1), 2},    {Dec(35, 1), 4},  {Dec(-25, 1), -2}, {Dec(2501, 3), 3},
      {Dec(12500, 4), 1}, {Dec(15, 0), 15}, {"2.5", 2},        {" 3.5 ", 4},
      {"1.5", 2},         {" 12 ", 12},     {"-7", -7},        {"1e3", 1000},
      {true, -1},         {false, 0},       {Variant(), 0},    {int16_t{-300}, -300},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CLng(c.input), c.expected) << CStr(c.input);
  }
}

TEST(CLngTest, OverflowAtTheEdgesOfTheRange) {
  EXPECT_EQ(CLng(2147483647.4), 2147483647);
  EXPECT_EQ(CLng(-2147483648.5), -2147483648);  // half to even stays in range
  EXPECT_EQ(CLng(Dec(-21474836485, 1)), -2147483648);
  for (const Variant& v :
       {Variant(2147483647.5), Variant(-2147483649.0), Variant(1e300), Variant(Dec(21474836475, 1)),
        Variant("3000000000"), Variant(std::numeric_limits<double>::quiet_NaN())}) {
    EXPECT_EQ(RaisedNumber([&] { CLng(v); }), err::kOverflow) << CStr(v);
  }
  try {
    CLng(Variant(5e9));
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.description(), "Overflow");
  }
}

TEST(CIntTest, SixteenBitRangeWithBankersRounding) {
  EXPECT_EQ(CInt(32767.0), 32767);
  EXPECT_EQ(CInt(-32768.5), -32768);
  EXPECT_EQ(CInt(Variant("4.5")), 4);
  EXPECT_EQ(CInt(Variant(int32_t{-5})), -5);
  EXPECT_EQ(RaisedNumber([] { CInt(32767.5); }), err::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CInt(Variant(int32_t{40000})); }), err::kOverflow);
}

TEST(CLngTest, NullAndNonNumericAndObjects) {
  EXPECT_EQ(RaisedNumber([] { CLng(Variant::Null()); }), err::kInvalidUseOfNull);
  for (const char* text : {"", "abc", "12abc", "1.2.3", "--1", "e5", "."}) {
    EXPECT_EQ(RaisedNumber([&] { CLng(Variant(text)); }), err::kTypeMismatch) << text;
  }
  EXPECT_EQ(RaisedNumber([] { CLng(Variant(ObjectRef())); }), err::kObjectNotSet);
  EXPECT_EQ(RaisedNumber([] { CLng(Variant(std::make_shared<Object>())); }), err::kTypeMismatch);
}

TEST(CBoolTest, Table) {
  struct Case {
    Variant input;
    bool expected;
  };
  const Case cases[] = {
      {"True", true},     {"TRUE", true}, {"true", true}, {"fAlSe", false},   {" True ", true},
      {"0", false},       {"1", true},    {"-1", true},   {"0.0", false},     {"0.5", true},
      {Variant(), false}, {0.0, false},   {-0.0, false},  {2.5, true},        {int16_t{0}, false},
      {int32_t{7}, true}, {true, true},   {false, false}, {Dec(0, 2), false}, {Dec(1, 10), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CBool(c.input), c.expected) << CStr(c.input);
  }
  EXPECT_EQ(RaisedNumber([] { CBool(Variant::Null()); }), err::kInvalidUseOfNull);
  for (const char* text : {"yes", "", "Truex", "T"}) {
    EXPECT_EQ(RaisedNumber([&] { CBool(Variant(text)); }), err::kTypeMismatch) << text;
  }
}

TEST(CDblTest, NumbersTextsAndDecimals) {
  EXPECT_DOUBLE_EQ(CDbl(Variant("  -1.25e2 ")), -125.0);
  EXPECT_DOUBLE_EQ(CDbl(Variant("+.5")), 0.5);
  EXPECT_DOUBLE_EQ(CDbl(Variant("5.")), 5.0);
  EXPECT_DOUBLE_EQ(CDbl(Variant("1D2")), 100.0);
  EXPECT_EQ(CDbl(Dec(1, 1)), 0.1);  // correctly rounded, not 1 / 10.0 by accident
  EXPECT_EQ(CDbl(Dec(-123456789012345678, 9)), -123456789.012345678);
  EXPECT_DOUBLE_EQ(CDbl(Variant(DateValue{45000.5})), 45000.5);
  EXPECT_EQ(CDbl(Variant("1e-400")), 0.0);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant("1e400")); }), err::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant("1,5")); }), err::kTypeMismatch);
}

TEST(ValTest, LeadingNumberOfText) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"  12.5abc", 12.5}, {"abc", 0},     {"", 0},      {"1e3", 1000},
      {"1E-2x", 0.01},     {"1e", 1},      {"1e+", 1},   {"-3.5kg", -3.5},
      {"1 2 3", 123},      {"\t 7", 7},    {".5", 0.5},  {"-", 0},
      {"12,000", 12},      {"3.1.4", 3.1}, {"0012", 12}, {"2d2", 200},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(Val(c.text), c.expected) << c.text;
  }
}

TEST(VariantTest, TypesAndTypedAccess) {
  EXPECT_EQ(Variant().type(), VarType::Empty);
  EXPECT_EQ(Variant::Null().type(), VarType::Null);
  EXPECT_EQ(Variant(int16_t{1}).type(), VarType::Integer);
  EXPECT_EQ(Variant(1).type(), VarType::Long);
  EXPECT_EQ(Variant("x").type(), VarType::String);
  EXPECT_EQ(Variant(ObjectRef()).type(), VarType::Object);
  EXPECT_EQ(RaisedNumber([] { Variant(1).AsString(); }), err::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant("1").AsLong(); }), err::kTypeMismatch);
  EXPECT_TRUE(Variant(" 1.5 ").IsNumeric());
  EXPECT_TRUE(Variant(Dec(1, 0)).IsNumeric());
  EXPECT_FALSE(Variant("1x").IsNumeric());
  EXPECT_FALSE(Variant(DateValue{1}).IsNumeric());
  EXPECT_FALSE(Variant::Null().IsNumeric());
}

}  // namespace
}  // namespace orv::automation
