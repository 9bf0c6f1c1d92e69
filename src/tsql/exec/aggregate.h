// Aggregate functions (COUNT, COUNT(*), SUM, AVG, MIN, MAX, with DISTINCT, and STRING_AGG):
// the per-group accumulator and the final value in the aggregate's result type.
#pragma once

#include <memory>
#include <vector>

#include "tsql/bind/bound.h"

namespace orv::tsql {

struct AggregateSpec {
  enum class Fn { Count, CountStar, Sum, Avg, Min, Max, StringAgg, StDev, StDevP, Var, VarP };
  Fn fn = Fn::Count;
  SqlType arg;
  SqlType result;
  bool distinct = false;
  const BExpr* arg_expr = nullptr;
  // STRING_AGG: the separator and the WITHIN GROUP keys, evaluated on each row
  const BExpr* separator = nullptr;
  std::vector<const BExpr*> order;
  std::vector<bool> descending;

  static AggregateSpec From(const BExpr& aggregate);
  // STDEV, STDEVP, VAR or VARP by name; whether a function is one of them.
  static Fn StatisticFn(std::string_view name);
  static bool IsStatistic(Fn fn) { return fn == Fn::StDev || fn == Fn::StDevP || fn == Fn::Var || fn == Fn::VarP; }
};

// The distinct values seen so far (NULLs are never added).
class DistinctSet {
 public:
  // True when v was not in the set (and is now).
  bool Insert(const Value& v, const SqlType& type);

 private:
  HashIndex index_;
  std::vector<Value> values_;
};

class Accumulator {
 public:
  // Made and let go by the million (a grouping's groups times its aggregates): inline, with
  // only the rare extra part freed out of line.
  Accumulator() = default;
  Accumulator(Accumulator&&) noexcept = default;
  Accumulator& operator=(Accumulator&&) noexcept = default;
  ~Accumulator() = default;

  void AddRow() { ++count_; }  // COUNT(*)
  void Add(const AggregateSpec& spec, const Value& v);
  // STRING_AGG: a row's value (NULLs skipped), separator and WITHIN GROUP keys.
  void AddString(const Value& v, const Value& separator, std::vector<Value> keys);
  Value Finish(const AggregateSpec& spec) const;
  // Whether two accumulators of the aggregate that saw different rows can be combined into
  // exactly what one that saw all of them holds: not for DISTINCT (the sets would have to be
  // joined) nor for a floating-point SUM or AVG, or a variance (the order of additions
  // changes the result).
  static bool Mergeable(const AggregateSpec& spec);
  // Takes in another accumulator's rows, which all come after this one's (of the same kind
  // of value, MIN and MAX keep the first of equal values).
  void Merge(const AggregateSpec& spec, const Accumulator& later);

 private:
  struct Extra;  // DISTINCT's set of values seen, STRING_AGG's parts
  struct FreeExtra {
    void operator()(Extra* extra) const;
  };
  Extra& extra();

  // A grouping holds one accumulator per group and aggregate (hundreds of thousands of
  // groups in a report's subtotals), so only what every aggregate needs is kept inline.
  // The running sum, in the argument's kind: SUM and AVG of integers in `integer`, of
  // decimals and money in `decimal` (unscaled, at the argument's scale), of floats in `real`.
  union Sum {
    Int128 decimal;
    int64_t integer;
    double real;
    // STDEV, STDEVP, VAR, VARP: the running mean and sum of squared deviations from it
    // (Welford's updates, which lose no precision to large means as sums of squares do).
    struct Moments {
      double mean;
      double m2;
    } moments;
  };
  enum class SumKind { kInteger, kDecimal, kReal };
  static SumKind SumKindOf(const SqlType& arg) {
    if (arg.IsInteger()) return SumKind::kInteger;
    if (arg.id == TypeId::Decimal || arg.id == TypeId::Money) return SumKind::kDecimal;
    return SumKind::kReal;
  }
  Sum sum_{.decimal = 0};
  Value best_;         // MIN, MAX
  int64_t count_ = 0;  // values added (rows, for COUNT(*)); above 0 once any was
  std::unique_ptr<Extra, FreeExtra> extra_;
};

}  // namespace orv::tsql
