// Numeric functions: ROUND, ABS, FLOOR, CEILING, SIGN, POWER, SQRT; the float functions (EXP,
// LOG, LOG10, SQUARE, PI, the trigonometric ones, DEGREES, RADIANS, RAND); GREATEST and LEAST.
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "tsql/functions/functions_common.h"
#include "tsql/types/decimal.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql::fn {
namespace {

[[noreturn]] void Overflow(const SqlType& t) {
  ThrowError(8115, {"expression", std::string(t.MessageName())});
}

// The argument in the result's type family (strings become float).
Value NumericArg(const Value& v, const SqlType& t, const SqlType& result) {
  if (t.IsString()) {
    return Convert(v, t, result, CastMode::Implicit);
  }
  if (t.IsDateTime()) return Convert(v, t, SqlType::Float(), CastMode::Implicit);
  return v;
}

Value ExactResult(Int128 v, const SqlType& result) {
  if (result.id == TypeId::Money) {
    if (v < std::numeric_limits<int64_t>::min() || v > std::numeric_limits<int64_t>::max()) {
      Overflow(result);
    }
    return Value::Decimal(v, 4);
  }
  if (!dec::FitsPrecision(v, result.precision)) Overflow(result);
  return Value::Decimal(v, result.scale);
}

// ---- ROUND ----

SqlType RoundType(Types t) {
  switch (t[0].id) {
    case TypeId::Bit:
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
      return SqlType::Int();
    case TypeId::BigInt:
      return SqlType::BigInt();
    case TypeId::Decimal:
    case TypeId::Money:
      return t[0];
    case TypeId::Null:
      return SqlType::Int();
    default:
      return SqlType::Float();
  }
}

// Rounds (or truncates) an unscaled value to `drop` fewer decimals and scales it back.
std::optional<Int128> RoundDigits(Int128 v, int drop, bool truncate) {
  if (drop <= 0) return v;
  if (drop > dec::kMaxPrecision) return Int128{0};
  Int128 f = dec::Pow10(drop);
  Int128 q = truncate ? v / f : dec::DivRound(v, f);
  return dec::Rescale(q, 0, drop);
}

Value Round(Args a, Types t, const SqlType& result) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  int64_t length = IntOf(a[1], t[1]);
  bool truncate = a.size() > 2 && !a[2].is_null() && IntOf(a[2], t[2]) != 0;
  Value x = NumericArg(a[0], t[0], result);
  length = std::clamp<int64_t>(length, -100, 100);
  switch (x.kind()) {
    case Value::Kind::Int: {
      if (length >= 0) return x;
      auto r = RoundDigits(x.int_value(), static_cast<int>(-length), truncate);
      if (!r || *r > std::numeric_limits<int64_t>::max() ||
          *r < std::numeric_limits<int64_t>::min() ||
          !FitsIntegerType(static_cast<int64_t>(*r), result.id))
        Overflow(result);
      return Value::Int(static_cast<int64_t>(*r));
    }
    case Value::Kind::Decimal: {
      int scale = x.decimal_scale();
      if (length >= scale) return x;
      auto r = RoundDigits(x.decimal_unscaled(), scale - static_cast<int>(length), truncate);
      if (!r) Overflow(result);
      return ExactResult(*r, result);
    }
    case Value::Kind::Float: {
      double d = x.float_value();
      double f = std::pow(10.0, static_cast<double>(std::llabs(length)));
      double scaled = length >= 0 ? d * f : d / f;
      double r = truncate ? std::trunc(scaled) : std::round(scaled);
      r = length >= 0 ? r / f : r * f;
      return Value::Float(std::isfinite(r) ? r : d);
    }
    default:
      return Value::Null();
  }
}

// ---- ABS, FLOOR, CEILING, SIGN ----

SqlType SameNumeric(Types t) {
  if (t[0].IsString() || t[0].IsDateTime()) return SqlType::Float();
  if (t[0].id == TypeId::Bit || t[0].id == TypeId::Null) return SqlType::Int();
  return t[0];
}

Value Abs(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  Value x = NumericArg(a[0], t[0], result);
  switch (x.kind()) {
    case Value::Kind::Int: {
      int64_t v = x.int_value();
      if (v == std::numeric_limits<int64_t>::min() || !FitsIntegerType(-v, result.id)) {
        if (v < 0) Overflow(result);
      }
      return Value::Int(v < 0 ? -v : v);
    }
    case Value::Kind::Decimal: {
      Int128 v = x.decimal_unscaled();
      return Value::Decimal(v < 0 ? -v : v, x.decimal_scale());
    }
    case Value::Kind::Float:
      return Value::Float(std::fabs(x.float_value()));
    default:
      return Value::Null();
  }
}

SqlType FloorType(Types t) {
  SqlType r = SameNumeric(t);
  if (r.id == TypeId::Decimal) r = SqlType::Decimal(std::max<int>(r.precision - r.scale + 1, 1), 0);
  if (r.id == TypeId::Decimal && r.precision > 38) r.precision = 38;
  return r;
}

template <bool kCeiling>
Value FloorCeiling(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  Value x = NumericArg(a[0], t[0], result);
  switch (x.kind()) {
    case Value::Kind::Int:
      return x;
    case Value::Kind::Decimal: {
      int scale = x.decimal_scale();
      Int128 v = x.decimal_unscaled();
      Int128 f = dec::Pow10(scale);
      Int128 q = v / f;
      Int128 r = v % f;
      if (kCeiling && r > 0) ++q;
      if (!kCeiling && r < 0) --q;
      if (result.id == TypeId::Money) return ExactResult(q * f, result);
      return ExactResult(q, result);
    }
    case Value::Kind::Float:
      return Value::Float(kCeiling ? std::ceil(x.float_value()) : std::floor(x.float_value()));
    default:
      return Value::Null();
  }
}

SqlType SignType(Types t) {
  SqlType r = SameNumeric(t);
  if (r.id == TypeId::Decimal && r.precision == r.scale) {
    r = r.precision < 38 ? SqlType::Decimal(r.precision + 1, r.scale)
                         : SqlType::Decimal(38, r.scale - 1);
  }
  return r;
}

Value Sign(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  Value x = NumericArg(a[0], t[0], result);
  switch (x.kind()) {
    case Value::Kind::Int: {
      int64_t v = x.int_value();
      return Value::Int(v > 0 ? 1 : v < 0 ? -1 : 0);
    }
    case Value::Kind::Decimal: {
      Int128 v = x.decimal_unscaled();
      int scale = result.id == TypeId::Money ? 4 : result.scale;
      int s = v > 0 ? 1 : v < 0 ? -1 : 0;
      return Value::Decimal(s * dec::Pow10(scale), scale);
    }
    case Value::Kind::Float: {
      double v = x.float_value();
      return Value::Float(v > 0 ? 1.0 : v < 0 ? -1.0 : 0.0);
    }
    default:
      return Value::Null();
  }
}

// ---- POWER, SQRT ----

SqlType PowerType(Types t) {
  SqlType r = SameNumeric(t);
  if (r.id == TypeId::TinyInt || r.id == TypeId::SmallInt) return SqlType::Int();
  if (r.id == TypeId::Decimal) return SqlType::Decimal(38, r.scale);
  if (r.id == TypeId::Real) return SqlType::Float();
  return r;
}

double AsDouble(const Value& v, const SqlType& t) {
  if (v.kind() == Value::Kind::Float) return v.float_value();
  SqlType from = t.id == TypeId::Null ? SqlType::BigInt() : t;
  return Convert(v, from, SqlType::Float(), CastMode::Implicit).float_value();
}

Value Power(Args a, Types t, const SqlType& result) {
  if (AnyNull(a)) return Value::Null();
  double r = std::pow(AsDouble(a[0], t[0]), AsDouble(a[1], t[1]));
  if (std::isnan(r) || std::isinf(r)) ThrowError(3623);
  return Convert(Value::Float(r), SqlType::Float(), result, CastMode::Implicit);
}

SqlType FloatType(Types) { return SqlType::Float(); }

Value Sqrt(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  double x = AsDouble(a[0], t[0]);
  if (x < 0) ThrowError(3623);
  return Value::Float(std::sqrt(x));
}

// ---- float functions ----

// A float function's result; NaN and infinities (a domain or range fault) are Msg 3623.
Value FiniteFloat(double r) {
  if (std::isnan(r) || std::isinf(r)) ThrowError(3623);
  return Value::Float(r);
}

template <double (*kFn)(double)>
Value FloatOfOne(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  return FiniteFloat(kFn(AsDouble(a[0], t[0])));
}

double Square(double x) { return x * x; }
double Cot(double x) { return 1.0 / std::tan(x); }
// Logarithms and inverse sines are faults outside their domains, not NaN or -infinity.
double Ln(double x) { return x > 0 ? std::log(x) : std::nan(""); }
double Lg(double x) { return x > 0 ? std::log10(x) : std::nan(""); }
double Asin(double x) { return std::asin(x); }
double Acos(double x) { return std::acos(x); }
double Exp(double x) { return std::exp(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Atan(double x) { return std::atan(x); }

// LOG(x [, base]): the natural logarithm, or the logarithm to `base`.
Value Log(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  const double ln = Ln(AsDouble(a[0], t[0]));
  if (a.size() == 1) return FiniteFloat(ln);
  const double base = AsDouble(a[1], t[1]);
  return FiniteFloat(base == 1 ? std::nan("") : ln / Ln(base));
}

Value Atn2(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  return FiniteFloat(std::atan2(AsDouble(a[0], t[0]), AsDouble(a[1], t[1])));
}

Value Pi(Args, Types, const SqlType&) { return Value::Float(3.14159265358979323846); }

// DEGREES / RADIANS keep the argument's kind: float for float, real and bit, decimal(38, s)
// for decimal(p, s), int for the smaller integers, bigint, money.
SqlType AngleType(Types t) {
  if (t[0].id == TypeId::Bit) return SqlType::Float();
  return PowerType(t);
}
template <bool kToDegrees>
Value Angle(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  constexpr double kPi = 3.14159265358979323846;
  const double x = AsDouble(a[0], t[0]);
  const double r = kToDegrees ? x * (180.0 / kPi) : x * (kPi / 180.0);
  return Convert(FiniteFloat(r), SqlType::Float(), result, CastMode::Implicit);
}

// RAND([seed]): a float in [0, 1). A seed gives the same value every time and starts the
// thread's sequence anew from it; without one the next value of that sequence comes (a
// thread starts from a random seed). The numbers are this engine's own.
std::mt19937_64& RandomSequence() {
  thread_local std::mt19937_64 sequence{std::random_device{}()};
  return sequence;
}
Value Rand(Args a, Types t, const SqlType&) {
  std::mt19937_64& sequence = RandomSequence();
  if (!a.empty() && !a[0].is_null()) {
    const Value seed = Convert(a[0], t[0], SqlType::Int(), CastMode::Implicit);
    sequence.seed(static_cast<uint64_t>(seed.int_value()));
  }
  return Value::Float(std::generate_canonical<double, 53>(sequence));
}

// GREATEST / LEAST: the largest or smallest argument, NULLs left out (NULL when all are), in
// the type of highest precedence among them.
SqlType ExtremeType(Types t) {
  SqlType type = t[0];
  for (size_t i = 1; i < t.size(); ++i) type = CommonType(type, t[i]);
  return type;
}
template <int kSign>
Value Extreme(Args a, Types t, const SqlType& result) {
  Value best;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].is_null()) continue;
    Value v = Convert(a[i], t[i], result, CastMode::Implicit);
    if (best.is_null() || kSign * Compare(v, best, result) > 0) best = std::move(v);
  }
  return best;
}

constexpr ScalarFunction kMathFunctions[] = {
    {"GREATEST", 1, 254, ExtremeType, Extreme<1>},
    {"LEAST", 1, 254, ExtremeType, Extreme<-1>},
    {"ROUND", 2, 3, RoundType, Round},
    {"ABS", 1, 1, SameNumeric, Abs},
    {"FLOOR", 1, 1, FloorType, FloorCeiling<false>},
    {"CEILING", 1, 1, FloorType, FloorCeiling<true>},
    {"SIGN", 1, 1, SignType, Sign},
    {"POWER", 2, 2, PowerType, Power},
    {"SQRT", 1, 1, FloatType, Sqrt},
    {"SQUARE", 1, 1, FloatType, FloatOfOne<Square>},
    {"EXP", 1, 1, FloatType, FloatOfOne<Exp>},
    {"LOG", 1, 2, FloatType, Log},
    {"LOG10", 1, 1, FloatType, FloatOfOne<Lg>},
    {"PI", 0, 0, FloatType, Pi},
    {"SIN", 1, 1, FloatType, FloatOfOne<Sin>},
    {"COS", 1, 1, FloatType, FloatOfOne<Cos>},
    {"TAN", 1, 1, FloatType, FloatOfOne<Tan>},
    {"COT", 1, 1, FloatType, FloatOfOne<Cot>},
    {"ASIN", 1, 1, FloatType, FloatOfOne<Asin>},
    {"ACOS", 1, 1, FloatType, FloatOfOne<Acos>},
    {"ATAN", 1, 1, FloatType, FloatOfOne<Atan>},
    {"ATN2", 2, 2, FloatType, Atn2},
    {"DEGREES", 1, 1, AngleType, Angle<true>},
    {"RADIANS", 1, 1, AngleType, Angle<false>},
    {"RAND", 0, 1, FloatType, Rand},
};

}  // namespace

std::span<const ScalarFunction> MathFunctions() { return kMathFunctions; }

}  // namespace orv::tsql::fn
