// Value keeps every decimal, string and datetime2 it is given, whether it holds it inline or
// in a shared block, through copies, moves and assignments between the two.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tsql/types/decimal.h"
#include "tsql/types/value.h"

namespace orv::tsql {
namespace {

bool Same(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Decimal:
      return a.decimal_unscaled() == b.decimal_unscaled() && a.decimal_scale() == b.decimal_scale();
    case Value::Kind::String: return a.string_value() == b.string_value();
    case Value::Kind::DateTime2:
      return a.datetime2_units() == b.datetime2_units() &&
             a.datetime2_offset() == b.datetime2_offset();
    default: return a.int_value() == b.int_value();
  }
}

std::vector<Value> Samples() {
  const Int128 top = Int128{1} << 95;  // the first magnitude that no longer fits inline
  const Int128 max38 = dec::Pow10(38) - 1;
  std::vector<Value> out;
  for (Int128 v : {Int128{0}, Int128{-1}, top - 1, -top, top, -top - 1, max38, -max38}) {
    out.push_back(Value::Decimal(v, 10));
  }
  for (size_t n : {0, 1, 12, 13, 14, 21, 22, 300}) {
    out.push_back(Value::String(std::string(n, 'x')));
  }
  out.push_back(Value::String("完工数量"));  // 12 bytes of UTF-8
  out.push_back(Value::DateTime2(-1, -840));
  out.push_back(Value::DateTime2(3155378975999999999, 840));
  out.push_back(Value::Int(-5));
  out.push_back(Value::Null());
  return out;
}

TEST(ValueTest, KeepsWhatItHoldsThroughCopiesMovesAndAssignments) {
  const std::vector<Value> samples = Samples();
  EXPECT_EQ(samples[4].decimal_unscaled(), Int128{1} << 95);
  EXPECT_EQ(samples[7].decimal_unscaled(), -dec::Pow10(38) + 1);
  EXPECT_EQ(samples[8].string_value(), "");
  EXPECT_EQ(samples[15].string_value().size(), 300u);
  EXPECT_EQ(samples[17].datetime2_offset(), -840);
  for (const Value& a : samples) {
    for (const Value& b : samples) {
      Value copy = a;
      Value target = b;
      target = copy;  // assignment over a value of any kind, inline or not
      EXPECT_TRUE(Same(target, a));
      Value moved = std::move(copy);
      EXPECT_TRUE(copy.is_null());
      EXPECT_TRUE(Same(moved, a));
      target = std::move(moved);
      EXPECT_TRUE(Same(target, a));
      Value& self = target;
      target = self;
      EXPECT_TRUE(Same(target, a));
    }
  }
}

}  // namespace
}  // namespace orv::tsql
