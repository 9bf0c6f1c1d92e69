// Aggregate accumulation: integer sums in 64 bits, decimal and money sums as unscaled 128-bit
// integers at the argument's scale, float sums in double; AVG divides at the end (integer
// division for integer input, decimal(38, max(s,6)) for decimals).
#include "tsql/exec/aggregate.h"

#include <algorithm>
#include <cmath>

#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

Int128 Pow10(int n) {
  Int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

int ScaleOf(const SqlType& t) { return t.id == TypeId::Money ? 4 : t.scale; }

// The unscaled value of v at `scale` (rounding half away from zero when scale shrinks).
Int128 Unscaled(const Value& v, int scale) {
  if (v.kind() == Value::Kind::Int) return static_cast<Int128>(v.int_value()) * Pow10(scale);
  if (v.kind() == Value::Kind::Float) {
    double d = v.float_value();
    for (int i = 0; i < scale; ++i) d *= 10;
    return static_cast<Int128>(d < 0 ? d - 0.5 : d + 0.5);
  }
  Int128 u = v.decimal_unscaled();
  int s = v.decimal_scale();
  if (s == scale) return u;
  if (s < scale) return u * Pow10(scale - s);
  Int128 div = Pow10(s - scale);
  Int128 q = u / div, r = u % div;
  if (r < 0) r = -r;
  if (r * 2 >= div) q += u < 0 ? -1 : 1;
  return q;
}

}  // namespace

AggregateSpec::Fn AggregateSpec::StatisticFn(std::string_view name) {
  return name == "STDEV" ? Fn::StDev : name == "STDEVP" ? Fn::StDevP : name == "VAR" ? Fn::Var : Fn::VarP;
}

AggregateSpec AggregateSpec::From(const BExpr& aggregate) {
  AggregateSpec spec;
  spec.result = aggregate.type;
  spec.distinct = aggregate.distinct;
  if (aggregate.args.empty()) {
    spec.fn = Fn::CountStar;
    return spec;
  }
  spec.arg_expr = aggregate.args[0].get();
  spec.arg = spec.arg_expr->type;
  const std::string& n = aggregate.name;
  if (n == "COUNT" || n == "COUNT_BIG") {
    spec.fn = Fn::Count;
  } else if (n == "SUM") {
    spec.fn = Fn::Sum;
  } else if (n == "AVG") {
    spec.fn = Fn::Avg;
  } else if (n == "STRING_AGG") {
    spec.fn = Fn::StringAgg;
    spec.separator = aggregate.args[1].get();
    for (size_t i = 2; i < aggregate.args.size(); ++i) spec.order.push_back(aggregate.args[i].get());
    spec.descending = aggregate.descending;
  } else if (n == "STDEV" || n == "STDEVP" || n == "VAR" || n == "VARP") {
    spec.fn = StatisticFn(n);
  } else if (n == "MIN") {
    spec.fn = Fn::Min;
  } else {
    spec.fn = Fn::Max;
  }
  return spec;
}

bool DistinctSet::Insert(const Value& v, const SqlType& type) {
  size_t h = HashKey(&v, &type, 1);
  bool found = false;
  index_.ForEach(h, [&](uint32_t id) {
    if (Compare(values_[id], v, type) == 0) {
      found = true;
      return false;
    }
    return true;
  });
  if (found) return false;
  index_.Insert(h);
  values_.push_back(v);
  return true;
}

struct Accumulator::Extra {
  DistinctSet seen;
  // STRING_AGG
  std::vector<Value> values;
  std::vector<std::vector<Value>> keys;
  Value separator;
};

static_assert(sizeof(Accumulator) <= 48, "one per group and aggregate: keep it small");

void Accumulator::FreeExtra::operator()(Extra* extra) const { delete extra; }

Accumulator::Extra& Accumulator::extra() {
  if (!extra_) extra_.reset(new Extra());
  return *extra_;
}

void Accumulator::Add(const AggregateSpec& spec, const Value& v) {
  if (v.is_null()) return;
  if (spec.distinct && !extra().seen.Insert(v, spec.arg)) return;
  switch (spec.fn) {
    case AggregateSpec::Fn::Sum:
    case AggregateSpec::Fn::Avg:
      switch (SumKindOf(spec.arg)) {
        case SumKind::kInteger:
          sum_.integer += v.int_value();
          break;
        case SumKind::kDecimal:
          sum_.decimal += Unscaled(v, ScaleOf(spec.arg));
          break;
        case SumKind::kReal:
          sum_.real +=
              v.kind() == Value::Kind::Float ? v.float_value() : static_cast<double>(v.int_value());
          break;
      }
      break;
    case AggregateSpec::Fn::StDev:
    case AggregateSpec::Fn::StDevP:
    case AggregateSpec::Fn::Var:
    case AggregateSpec::Fn::VarP: {
      const double x = v.kind() == Value::Kind::Float
                           ? v.float_value()
                           : Convert(v, spec.arg, SqlType::Float(), CastMode::Implicit).float_value();
      if (count_ == 0) sum_.moments = {0, 0};
      const double delta = x - sum_.moments.mean;
      sum_.moments.mean += delta / static_cast<double>(count_ + 1);
      sum_.moments.m2 += delta * (x - sum_.moments.mean);
      break;
    }
    case AggregateSpec::Fn::Min:
      if (count_ == 0 || Compare(v, best_, spec.arg) < 0) best_ = v;
      break;
    case AggregateSpec::Fn::Max:
      if (count_ == 0 || Compare(v, best_, spec.arg) > 0) best_ = v;
      break;
    default:
      break;
  }
  ++count_;
}

void Accumulator::AddString(const Value& v, const Value& separator, std::vector<Value> keys) {
  if (v.is_null()) return;
  Extra& parts = extra();
  if (parts.values.empty()) parts.separator = separator;
  parts.values.push_back(v);
  parts.keys.push_back(std::move(keys));
  ++count_;
}

// STRING_AGG's text: the values in WITHIN GROUP order (else as the rows came), the separator
// between them; a result past 8000 bytes is error 9829 unless the type is (max).
static Value FinishStringAgg(const AggregateSpec& spec, const std::vector<Value>& values,
                             const std::vector<std::vector<Value>>& keys, const Value& separator) {
  std::vector<size_t> order(values.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (!spec.order.empty()) {
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      for (size_t k = 0; k < spec.order.size(); ++k) {
        const Value& x = keys[a][k];
        const Value& y = keys[b][k];
        // NULLs first, as ORDER BY puts them
        const int c = x.is_null() || y.is_null() ? static_cast<int>(!x.is_null()) - static_cast<int>(!y.is_null())
                                                 : Compare(x, y, spec.order[k]->type);
        if (c != 0) return spec.descending[k] ? c > 0 : c < 0;
      }
      return false;
    });
  }
  const std::string_view sep = separator.is_null() ? std::string_view() : separator.string_value();
  std::string out;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i) out += sep;
    out += values[order[i]].string_value();
  }
  if (spec.result.length != SqlType::kMaxLength) {
    const bool unicode = spec.result.id == TypeId::NVarChar;
    size_t units = 0;  // bytes of varchar, UTF-16 units of nvarchar
    for (unsigned char c : out) {
      if (!unicode) {
        ++units;
      } else if ((c & 0xC0) != 0x80) {
        units += c >= 0xF0 ? 2 : 1;
      }
    }
    if ((unicode ? units * 2 : units) > 8000) ThrowError(9829);
  }
  return Value::String(out);
}

bool Accumulator::Mergeable(const AggregateSpec& spec) {
  if (spec.fn == AggregateSpec::Fn::StringAgg) return false;
  if (spec.distinct) return false;
  if (AggregateSpec::IsStatistic(spec.fn)) return false;
  if (spec.fn != AggregateSpec::Fn::Sum && spec.fn != AggregateSpec::Fn::Avg) return true;
  return SumKindOf(spec.arg) != SumKind::kReal;
}

void Accumulator::Merge(const AggregateSpec& spec, const Accumulator& later) {
  if (later.count_ == 0) return;
  switch (spec.fn) {
    case AggregateSpec::Fn::Sum:
    case AggregateSpec::Fn::Avg:
      switch (SumKindOf(spec.arg)) {
        case SumKind::kInteger:
          sum_.integer += later.sum_.integer;
          break;
        case SumKind::kDecimal:
          sum_.decimal += later.sum_.decimal;
          break;
        case SumKind::kReal:
          sum_.real += later.sum_.real;
          break;
      }
      break;
    case AggregateSpec::Fn::Min:
      if (count_ == 0 || Compare(later.best_, best_, spec.arg) < 0) best_ = later.best_;
      break;
    case AggregateSpec::Fn::Max:
      if (count_ == 0 || Compare(later.best_, best_, spec.arg) > 0) best_ = later.best_;
      break;
    default:
      break;
  }
  count_ += later.count_;
}

Value Accumulator::Finish(const AggregateSpec& spec) const {
  switch (spec.fn) {
    case AggregateSpec::Fn::Count:
    case AggregateSpec::Fn::CountStar:
      if (spec.result.id == TypeId::Int && count_ > 2147483647) {
        ThrowError(8115, {"expression", "int"});
      }
      return Value::Int(count_);
    case AggregateSpec::Fn::Min:
    case AggregateSpec::Fn::Max:
      return count_ > 0 ? best_ : Value();
    case AggregateSpec::Fn::StringAgg:
      if (count_ == 0) return Value();
      return FinishStringAgg(spec, extra_->values, extra_->keys, extra_->separator);
    case AggregateSpec::Fn::StDev:
    case AggregateSpec::Fn::StDevP:
    case AggregateSpec::Fn::Var:
    case AggregateSpec::Fn::VarP: {
      // The sample forms need two values, the population forms one.
      const bool population = spec.fn == AggregateSpec::Fn::StDevP || spec.fn == AggregateSpec::Fn::VarP;
      if (count_ < (population ? 1 : 2)) return Value();
      const double variance = sum_.moments.m2 / static_cast<double>(population ? count_ : count_ - 1);
      const bool root = spec.fn == AggregateSpec::Fn::StDev || spec.fn == AggregateSpec::Fn::StDevP;
      return Value::Float(root ? std::sqrt(variance) : variance);
    }
    case AggregateSpec::Fn::Sum:
    case AggregateSpec::Fn::Avg:
      break;
  }
  if (count_ == 0) return Value();
  bool avg = spec.fn == AggregateSpec::Fn::Avg;
  const SumKind kind = SumKindOf(spec.arg);
  if (kind == SumKind::kInteger) {
    int64_t r = avg ? sum_.integer / count_ : sum_.integer;
    if (spec.result.id == TypeId::Int && (r > 2147483647 || r < -2147483647 - 1)) {
      ThrowError(8115, {"expression", "int"});
    }
    return Value::Int(r);
  }
  if (kind == SumKind::kDecimal) {
    int from = ScaleOf(spec.arg);
    int to = ScaleOf(spec.result);
    Int128 u = sum_.decimal;
    if (to > from) u *= Pow10(to - from);
    if (avg) u /= count_;
    return Value::Decimal(u, to);
  }
  return Value::Float(avg ? sum_.real / static_cast<double>(count_) : sum_.real);
}

}  // namespace orv::tsql
