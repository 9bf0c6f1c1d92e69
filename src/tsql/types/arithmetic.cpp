// Binary arithmetic (+ - * / % and the bitwise operators), string concatenation, datetime
// plus or minus days, and unary minus, with SQL Server's overflow and divide-by-zero errors.
#include <cmath>
#include <limits>
#include <string>

#include "tsql/types/datetime.h"
#include "tsql/types/decimal.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

[[noreturn]] void Overflow(const SqlType& result) {
  ThrowError(8115, {"expression", std::string(result.MessageName())});
}

[[noreturn]] void DivideByZero() { ThrowError(8134); }

// The operand as the result type's family; strings are read as `as` (the other operand's
// type when that is numeric, else the result type).
Value Operand(const Value& v, const SqlType& type, const SqlType& as) {
  if (v.kind() == Value::Kind::String) return Convert(v, type, as, CastMode::Implicit);
  return v;
}

Value IntegerOp(Op op, int64_t a, int64_t b, const SqlType& result) {
  int64_t r = 0;
  bool overflow = false;
  switch (op) {
    case Op::Add:
      overflow = __builtin_add_overflow(a, b, &r);
      break;
    case Op::Sub:
      overflow = __builtin_sub_overflow(a, b, &r);
      break;
    case Op::Mul:
      overflow = __builtin_mul_overflow(a, b, &r);
      break;
    case Op::Div:
      if (b == 0) DivideByZero();
      if (a == std::numeric_limits<int64_t>::min() && b == -1) Overflow(result);
      r = a / b;  // truncates toward zero
      break;
    case Op::Mod:
      if (b == 0) DivideByZero();
      r = b == -1 ? 0 : a % b;  // the sign follows the dividend
      break;
    case Op::BitAnd:
      r = a & b;
      break;
    case Op::BitOr:
      r = a | b;
      break;
    case Op::BitXor:
      r = a ^ b;
      break;
    default:
      break;
  }
  if (result.id == TypeId::Bit) {
    if (overflow) Overflow(result);
    return Value::Int(r != 0 ? 1 : 0);
  }
  if (overflow || !FitsIntegerType(r, result.id)) Overflow(result);
  return Value::Int(r);
}

struct Exact {
  Int128 v;
  int scale;
};

Exact AsExact(const Value& v) {
  if (v.kind() == Value::Kind::Int) return {v.int_value(), 0};
  return {v.decimal_unscaled(), v.decimal_scale()};
}

Value FinishExact(std::optional<Int128> r, int scale, const SqlType& result) {
  int target = result.id == TypeId::Money ? 4 : result.scale;
  if (r && scale != target) r = dec::Rescale(*r, scale, target);
  if (!r) Overflow(result);
  if (result.id == TypeId::Money) {
    if (*r < std::numeric_limits<int64_t>::min() || *r > std::numeric_limits<int64_t>::max()) {
      Overflow(result);
    }
  } else if (!dec::FitsPrecision(*r, result.precision)) {
    Overflow(result);
  }
  return Value::Decimal(*r, target);
}

Value ExactOp(Op op, Exact a, Exact b, const SqlType& result) {
  int target = result.id == TypeId::Money ? 4 : result.scale;
  switch (op) {
    case Op::Add:
    case Op::Sub:
    case Op::Mod: {
      int s = std::max(a.scale, b.scale);
      auto x = dec::Rescale(a.v, a.scale, s), y = dec::Rescale(b.v, b.scale, s);
      if (!x || !y) Overflow(result);
      if (op == Op::Mod) {
        if (*y == 0) DivideByZero();
        return FinishExact(*x % *y, s, result);
      }
      Int128 r;
      bool overflow = op == Op::Add ? __builtin_add_overflow(*x, *y, &r)
                                         : __builtin_sub_overflow(*x, *y, &r);
      if (overflow) Overflow(result);
      return FinishExact(r, s, result);
    }
    case Op::Mul: {
      int shift = a.scale + b.scale - target;
      if (shift >= 0) return FinishExact(dec::MulShift(a.v, b.v, shift), target, result);
      return FinishExact(dec::MulShift(a.v, b.v, 0), a.scale + b.scale, result);
    }
    case Op::Div:
      if (b.v == 0) DivideByZero();
      return FinishExact(dec::Quotient(a.v, a.scale, b.v, b.scale, target), target, result);
    default:
      Overflow(result);
  }
}

double AsDouble(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Int:
      return static_cast<double>(v.int_value());
    case Value::Kind::Decimal:
      return dec::ToDouble(v.decimal_unscaled(), v.decimal_scale());
    case Value::Kind::Float:
      return v.float_value();
    case Value::Kind::DateTime:
      return static_cast<double>(v.datetime_ticks()) / kTicksPerDay;
    default:
      return 0;
  }
}

Value FloatOp(Op op, double a, double b, const SqlType& result) {
  double r = 0;
  switch (op) {
    case Op::Add:
      r = a + b;
      break;
    case Op::Sub:
      r = a - b;
      break;
    case Op::Mul:
      r = a * b;
      break;
    case Op::Div:
      if (b == 0) DivideByZero();
      r = a / b;
      break;
    default:
      break;
  }
  if (!std::isfinite(r)) Overflow(result);
  if (result.id == TypeId::Real) {
    if (std::fabs(r) > std::numeric_limits<float>::max()) Overflow(result);
    r = static_cast<double>(static_cast<float>(r));
  }
  return Value::Float(r);
}

// Days (exact or approximate) as datetime ticks, rounded to the nearest tick.
int64_t DaysToTicks(const Value& v) {
  if (v.kind() == Value::Kind::DateTime) return v.datetime_ticks();
  if (v.kind() == Value::Kind::Int) return v.int_value() * kTicksPerDay;
  return std::llround(AsDouble(v) * kTicksPerDay);
}

Value DateTimeOp(Op op, const Value& left, const SqlType& lt, const Value& right,
                 const SqlType& rt, const SqlType& result) {
  Value l = lt.IsString() ? Convert(left, lt, result, CastMode::Implicit) : left;
  Value r = rt.IsString() ? Convert(right, rt, result, CastMode::Implicit) : right;
  auto bounded = [&](const Value& v) {
    double days = AsDouble(v);
    if (!(std::fabs(days) < 4000000)) ThrowError(517, {std::string(result.MessageName())});
    return DaysToTicks(v);
  };
  int64_t a = bounded(l), b = bounded(r);
  int64_t ticks = op == Op::Add ? a + b : a - b;
  if (result.id == TypeId::SmallDateTime) {
    constexpr int64_t kMinute = 60 * kTicksPerSecond;
    ticks = dt::FloorDiv(ticks + kMinute / 2, kMinute) * kMinute;
  }
  if (!dt::InRange(ticks)) ThrowError(517, {std::string(result.MessageName())});
  return Value::DateTime(ticks);
}

Value Concatenate(const Value& left, const SqlType& lt, const Value& right, const SqlType& rt,
                  const SqlType& result) {
  std::string_view a = left.string_value(), b = right.string_value();
  (void)lt;
  (void)rt;
  std::string joined;
  joined.reserve(a.size() + b.size());
  joined.append(a).append(b);
  if (result.length != SqlType::kMaxLength) {
    size_t limit = static_cast<size_t>(result.length);
    size_t bytes = result.IsBinary() ? std::min(limit, joined.size())
                                     : util::PrefixForLength(joined, limit, result.IsUnicode());
    joined.resize(bytes);
  }
  return Value::String(joined);
}

}  // namespace

bool& ConcatNullYieldsNull() {
  thread_local bool on = true;
  return on;
}

Value Arithmetic(Op op, const Value& left, const SqlType& lt, const Value& right,
                 const SqlType& rt, const SqlType& result) {
  if (left.is_null() || right.is_null()) {
    if (!result.IsString() || ConcatNullYieldsNull() || (left.is_null() && right.is_null())) {
      return Value::Null();
    }
    return left.is_null() ? Arithmetic(op, Value::String(""), lt, right, rt, result)
                          : Arithmetic(op, left, lt, Value::String(""), rt, result);
  }
  if (result.IsBinary()) return Concatenate(left, lt, right, rt, result);
  if (result.IsString()) {
    Value a = left.kind() == Value::Kind::String
                  ? left
                  : Convert(left, lt, SqlType::VarChar(SqlType::kMaxLength), CastMode::Implicit);
    Value b = right.kind() == Value::Kind::String
                  ? right
                  : Convert(right, rt, SqlType::VarChar(SqlType::kMaxLength), CastMode::Implicit);
    return Concatenate(a, lt, b, rt, result);
  }
  if (result.IsDateTime()) return DateTimeOp(op, left, lt, right, rt, result);

  // A string operand is read as the other operand's numeric type (or the result's).
  const SqlType& left_as = rt.IsNumeric() ? rt : result;
  const SqlType& right_as = lt.IsNumeric() ? lt : result;
  Value a = Operand(left, lt, left_as);
  Value b = Operand(right, rt, right_as);

  if (result.IsInteger()) {
    if (a.kind() != Value::Kind::Int)
      a = Convert(a, lt.IsString() ? left_as : lt, result, CastMode::Implicit);
    if (b.kind() != Value::Kind::Int)
      b = Convert(b, rt.IsString() ? right_as : rt, result, CastMode::Implicit);
    return IntegerOp(op, a.int_value(), b.int_value(), result);
  }
  if (result.id == TypeId::Decimal || result.id == TypeId::Money) {
    if (a.kind() == Value::Kind::Float || b.kind() == Value::Kind::Float) {
      Value fa = Value::Float(AsDouble(a)), fb = Value::Float(AsDouble(b));
      Value r = FloatOp(op, fa.float_value(), fb.float_value(), SqlType::Float());
      return Convert(r, SqlType::Float(), result, CastMode::Implicit);
    }
    return ExactOp(op, AsExact(a), AsExact(b), result);
  }
  if (op == Op::Mod) ThrowError(8117, {std::string(result.MessageName()), "modulo"});
  return FloatOp(op, AsDouble(a), AsDouble(b), result);
}

Value Negate(const Value& v, const SqlType& type) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return v;
    case Value::Kind::Int: {
      int64_t x = v.int_value();
      if (x == std::numeric_limits<int64_t>::min()) Overflow(type);
      SqlType t = type.IsInteger() ? type : SqlType::BigInt();
      if (!FitsIntegerType(-x, t.id == TypeId::Bit ? TypeId::Int : t.id)) Overflow(t);
      return Value::Int(-x);
    }
    case Value::Kind::Decimal:
      return Value::Decimal(-v.decimal_unscaled(), v.decimal_scale());
    case Value::Kind::Float:
      return Value::Float(-v.float_value());
    case Value::Kind::String:
    case Value::Kind::DateTime:
    case Value::Kind::DateTime2:
      ThrowError(8117, {std::string(type.MessageName()), "minus"});
  }
  return v;
}

}  // namespace orv::tsql
