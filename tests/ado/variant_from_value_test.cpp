// Engine values -> Variants by column type, engine ticks -> dates, and the Clock text.
#include "ado/embedded/variant_from_value.h"

#include <gtest/gtest.h>

#include <optional>

namespace orv::ado::embedded {
namespace {

using automation::DateValue;
using automation::DecimalValue;
using automation::Variant;
using automation::VarType;
using tsql::SqlType;
using tsql::Value;

// Same type and same content.
::testing::AssertionResult SameVariant(const Variant& actual, const Variant& expected) {
  if (actual.type() != expected.type()) {
    return ::testing::AssertionFailure() << "type " << static_cast<int>(actual.type())
                                         << " instead of " << static_cast<int>(expected.type());
  }
  bool same = true;
  switch (expected.type()) {
    case VarType::Boolean:
      same = actual.AsBoolean() == expected.AsBoolean();
      break;
    case VarType::Integer:
      same = actual.AsInteger() == expected.AsInteger();
      break;
    case VarType::Long:
      same = actual.AsLong() == expected.AsLong();
      break;
    case VarType::Double:
      same = actual.AsDouble() == expected.AsDouble();
      break;
    case VarType::Decimal:
      same = actual.AsDecimal() == expected.AsDecimal();
      break;
    case VarType::Date:
      same = actual.AsDate() == expected.AsDate();
      break;
    case VarType::String:
      same = actual.AsString() == expected.AsString();
      break;
    default:
      break;
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "different content";
}

struct MappingCase {
  const char* what;
  Value value;
  SqlType type;
  Variant expected;
};

TEST(VariantFromValueTest, MapsEachTypeFamily) {
  const __int128 big = static_cast<__int128>(1) << 100;
  const MappingCase cases[] = {
      {"null int", Value::Null(), SqlType::Int(), Variant::Null()},
      {"null varchar", Value::Null(), SqlType::VarChar(10), Variant::Null()},
      {"null literal", Value::Null(), SqlType::Null(), Variant::Null()},
      {"bit 1", Value::Int(1), SqlType::Bit(), Variant(true)},
      {"bit 0", Value::Int(0), SqlType::Bit(), Variant(false)},
      {"tinyint", Value::Int(255), SqlType::TinyInt(), Variant(int16_t{255})},
      {"smallint", Value::Int(-32768), SqlType::SmallInt(), Variant(int16_t{-32768})},
      {"int", Value::Int(-2147483647 - 1), SqlType::Int(), Variant(int32_t{-2147483647 - 1})},
      {"bigint", Value::Int(9000000000), SqlType::BigInt(), Variant(DecimalValue{9000000000, 0})},
      {"bigint small", Value::Int(7), SqlType::BigInt(), Variant(DecimalValue{7, 0})},
      {"decimal(23,10)", Value::Decimal(125000000000, 10), SqlType::Decimal(23, 10),
       Variant(DecimalValue{125000000000, 10})},
      {"decimal(38,0) huge", Value::Decimal(-big, 0), SqlType::Decimal(38, 0),
       Variant(DecimalValue{-big, 0})},
      {"money", Value::Decimal(123400, 4), SqlType::Money(), Variant(DecimalValue{123400, 4})},
      {"float", Value::Float(0.1), SqlType::Float(), Variant(0.1)},
      {"real", Value::Float(1.5), SqlType::Real(), Variant(1.5)},
      {"varchar", Value::String("abc"), SqlType::VarChar(10), Variant("abc")},
      {"char keeps padding", Value::String("ab  "), SqlType::Char(4), Variant("ab  ")},
      {"nvarchar long", Value::String("生产任务执行情况汇总表中间层服务"), SqlType::NVarChar(50),
       Variant("生产任务执行情况汇总表中间层服务")},
      {"datetime", Value::DateTime(0), SqlType::DateTime(), Variant(DateValue{2.0})},
      {"smalldatetime", Value::DateTime(tsql::kTicksPerDay / 2), SqlType::SmallDateTime(),
       Variant(DateValue{2.5})},
      {"date", Value::DateTime(45304 * tsql::kTicksPerDay), SqlType::Date(),
       Variant(DateValue{45306.0})},
      // A column typed by the bare NULL literal that still carries values goes by their kind.
      {"untyped int", Value::Int(42), SqlType::Null(), Variant(int32_t{42})},
      {"untyped wide int", Value::Int(int64_t{1} << 40), SqlType::Null(),
       Variant(DecimalValue{int64_t{1} << 40, 0})},
      {"untyped text", Value::String("x"), SqlType::Null(), Variant("x")},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(SameVariant(VariantFromValue(c.value, c.type), c.expected)) << c.what;
  }
}

TEST(VariantFromValueTest, TicksBecomeDatesWithServerMilliseconds) {
  struct DateCase {
    int64_t ticks;
    int year, month, day, hour, minute, second, millisecond;
  };
  const int64_t day_2024_01_15 = 45304 * tsql::kTicksPerDay;
  const DateCase cases[] = {
      {0, 1900, 1, 1, 0, 0, 0, 0},
      {1, 1900, 1, 1, 0, 0, 0, 3},
      {2, 1900, 1, 1, 0, 0, 0, 7},
      {299, 1900, 1, 1, 0, 0, 0, 997},
      {day_2024_01_15 + 12 * 3600 * 300, 2024, 1, 15, 12, 0, 0, 0},
      {day_2024_01_15 + (23 * 3600 + 59 * 60 + 59) * 300 + 150, 2024, 1, 15, 23, 59, 59, 500},
      {-tsql::kTicksPerDay + 6 * 3600 * 300, 1899, 12, 31, 6, 0, 0, 0},
      {36583 * tsql::kTicksPerDay, 2000, 2, 29, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const DateValue date = DateFromTicks(c.ticks);
    int y, mo, d, h, mi, s, ms;
    date.ToParts(y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}),
              std::vector<int>({c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond}))
        << "ticks " << c.ticks;
  }
  EXPECT_DOUBLE_EQ(DateFromTicks(day_2024_01_15 + 12 * 3600 * 300).serial, 45306.5);
}

TEST(VariantFromValueTest, ClockText) {
  const int64_t day_2024_01_15 = 45304 * tsql::kTicksPerDay;
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"1900-01-01", 0},
      {"2024-01-15", day_2024_01_15},
      {"2024-01-15 12:00:00", day_2024_01_15 + 12 * 3600 * 300},
      {" 2024-01-15  00:00:01 ", day_2024_01_15 + 300},
      {"1899-12-31 06:00:00", -tsql::kTicksPerDay + 6 * 3600 * 300},
      {"2024-02-29", (45304 + 45) * tsql::kTicksPerDay},
      {"2023-02-29", std::nullopt},
      {"2024-13-01", std::nullopt},
      {"2024-00-10", std::nullopt},
      {"2024-1-5", std::nullopt},
      {"2024-01-15 24:00:00", std::nullopt},
      {"2024-01-15 12:60:00", std::nullopt},
      {"2024-01-15T12:00:00", std::nullopt},
      {"2024-01-15 12:00", std::nullopt},
      {"2024-01-15 12:00:00x", std::nullopt},
      {"", std::nullopt},
      {"today", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(TicksFromClockText(text), expected) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace orv::ado::embedded
