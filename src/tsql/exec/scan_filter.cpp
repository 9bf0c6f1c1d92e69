// ScanFilter: which filters are compared in place, and their three-valued answers.
#include "tsql/exec/scan_filter.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "tsql/exec/integer_set.h"
#include "tsql/types/datetime.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// A value that stays the same for every row of one scan and whose working out can raise no
// error that depends on the row: a literal, a variable, the statement's clock, a column of an
// enclosing query, and conversions of those (a conversion's error is raised when the first row
// needs the value, as it would be then).
bool IsScanConstant(const BExpr& e) {
  switch (e.kind) {
    case BKind::Literal:
    case BKind::Variable:
    case BKind::GetDate:
      return true;
    case BKind::Column:
      return e.depth > 0;
    case BKind::Convert:
      return e.args.size() == 1 && IsScanConstant(*e.args[0]);
    default:
      return false;
  }
}

// How many bytes an integer type holds, 0 for other types.
int IntegerWidth(TypeId id) {
  switch (id) {
    case TypeId::TinyInt: return 1;
    case TypeId::SmallInt: return 2;
    case TypeId::Int: return 4;
    case TypeId::BigInt: return 8;
    default: return 0;
  }
}

// A column of the scanned source as the comparison reads it: the column itself (whatever its
// type: the comparison then compares its stored values, as the expression would), or an
// integer column widened to a wider integer type (the same number, by a conversion that
// cannot fail). Gives the column.
const BExpr* ScannedColumn(const BExpr& e, int source) {
  const BExpr* column = &e;
  if (e.kind == BKind::Convert && !e.try_convert && e.args.size() == 1) {
    column = e.args[0].get();
    const int from = IntegerWidth(column->type.id), to = IntegerWidth(e.type.id);
    if (from == 0 || to < from) return nullptr;
  }
  const bool own = column->kind == BKind::Column && column->depth == 0 && column->src == source && column->col >= 0;
  return own ? column : nullptr;
}

// CONVERT(char(10) | varchar(10) | nchar(10) | nvarchar(10), column, style) of a datetime
// column of the scanned source in a style whose text starts "yyyy-mm-dd": its date as text,
// which orders as the date does. Gives the column.
const BExpr* DateTextColumn(const BExpr& e, int source) {
  if (e.kind != BKind::Convert || e.try_convert || e.args.size() != 1 || !e.type.IsString() ||
      e.type.length != 10) {
    return nullptr;
  }
  static constexpr int kStyles[] = {20, 21, 23, 120, 121, 126};
  if (std::find(std::begin(kStyles), std::end(kStyles), e.style) == std::end(kStyles)) return nullptr;
  const BExpr& column = *e.args[0];
  const TypeId id = column.type.id;
  const bool own = column.kind == BKind::Column && column.depth == 0 && column.src == source && column.col >= 0;
  return own && (id == TypeId::DateTime || id == TypeId::SmallDateTime) ? &column : nullptr;
}

bool ExpressionCannotFail(const BExpr& e, int source);

// A subquery whose query is a plain SELECT from one table, without grouping or aggregates, and
// whose filters cannot fail.
bool OneTableQueryCannotFail(const SubqueryPlan& plan) {
  if (!plan.query || !plan.query->spec || plan.query->left || plan.query->recursive ||
      plan.query->is_values || plan.query->string_split) {
    return false;
  }
  const BoundSpec& spec = *plan.query->spec;
  if (spec.sources.size() != 1 || !spec.sources[0].table || spec.grouped || spec.having ||
      !spec.aggregates.empty()) {
    return false;
  }
  return std::all_of(spec.where.begin(), spec.where.end(),
                     [](const BExprPtr& w) { return ExpressionCannotFail(*w, 0); });
}

// An uncorrelated subquery that lists one column of one table, of the type it is compared in,
// under filters that cannot fail: running it (once, for the first row that needs it) raises
// no error.
bool SubqueryCannotFail(const SubqueryPlan& plan, const SqlType& type) {
  if (plan.correlated || !OneTableQueryCannotFail(plan)) return false;
  const BoundSpec& spec = *plan.query->spec;
  return !spec.top && spec.windows.empty() && spec.select.size() == 1 &&
         spec.select[0]->type == type && ExpressionCannotFail(*spec.select[0], 0);
}

// EXISTS over one table, uncorrelated or keyed (looked up by "inner column = outer column" in
// the columns' own type), under filters that cannot fail: its one run and its look-ups raise
// no error.
bool ExistsCannotFail(const SubqueryPlan& plan) {
  if ((plan.correlated && !plan.keyed) || !OneTableQueryCannotFail(plan)) return false;
  if (plan.query->spec->top && !plan.top1) return false;
  for (size_t k = 0; k < plan.inner_keys.size(); ++k) {
    const BExpr& inner = *plan.inner_keys[k];
    const BExpr& outer = *plan.outer_keys[k];
    if (inner.kind != BKind::Column || inner.depth != 0 || inner.src != 0 || !(inner.type == plan.key_types[k]) ||
        outer.kind != BKind::Column || outer.depth < 1 || !(outer.type == plan.key_types[k])) {
      return false;
    }
  }
  return true;
}

// Whether evaluating e for a row of the scanned source can raise no error: columns, constants
// and integer widenings, compared (in their comparison type already), tested for NULL and
// combined with AND, OR and NOT, and IN or EXISTS over a subquery that cannot fail.
bool ExpressionCannotFail(const BExpr& e, int source) {
  switch (e.kind) {
    case BKind::Exists:
      return e.sub && ExistsCannotFail(*e.sub);
    case BKind::Literal:
    case BKind::Variable:
    case BKind::GetDate:
      return true;
    case BKind::Column:
      return e.depth > 0 || (e.src == source && e.col >= 0);
    case BKind::Convert:
      return ScannedColumn(e, source) != nullptr;
    case BKind::InSubquery:
      return !e.args.empty() && ExpressionCannotFail(*e.args[0], source) && e.args[0]->type == e.cmp_type &&
             e.sub && SubqueryCannotFail(*e.sub, e.cmp_type);
    case BKind::Compare:
    case BKind::Between:
    case BKind::InList:
    case BKind::And:
    case BKind::Or:
    case BKind::Not:
    case BKind::IsNull:
      return !e.args.empty() && std::all_of(e.args.begin(), e.args.end(), [&](const std::unique_ptr<BExpr>& a) {
        return a && ExpressionCannotFail(*a, source);
      });
    default:
      return false;
  }
}

// Whether e reads no column of its own query (nor a subquery): the same for every row.
bool ReadsNoRow(const BExpr& e) {
  if (IsScanConstant(e)) return true;
  if (e.sub) return false;
  switch (e.kind) {
    case BKind::Compare:
    case BKind::Convert:
    case BKind::Arith:
    case BKind::Negate:
    case BKind::And:
    case BKind::Or:
    case BKind::Not:
    case BKind::IsNull:
      return std::all_of(e.args.begin(), e.args.end(),
                         [](const std::unique_ptr<BExpr>& a) { return a && ReadsNoRow(*a); });
    default:
      return false;
  }
}

// The operands of a tree of ORs (or of ANDs).
void Operands(const BExpr& e, BKind kind, std::vector<const BExpr*>& out) {
  if (e.kind == kind) {
    for (const auto& a : e.args) Operands(*a, kind, out);
  } else {
    out.push_back(&e);
  }
}

// "yyyy-mm-dd" of a real day: its day number since 1900-01-01.
std::optional<int64_t> DayOfText(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int parts[3] = {0, 0, 0};
  const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (size_t i = 0; i < lengths[p]; ++i) {
      const char c = text[starts[p] + i];
      if (c < '0' || c > '9') return std::nullopt;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  const int year = parts[0], month = parts[1], day = parts[2];
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > dt::DaysInMonth(year, month)) return std::nullopt;
  return dt::DaysFromCivil(year, month, day);
}

}  // namespace

ScanFilter::ScanFilter(const BExpr& filter, int source) : filter_(filter), source_(source) {
  switch (filter.kind) {
    case BKind::Compare:
      if (filter.args.size() != 2) break;
      // The column, or its date as text, on either side of a value that stays the same.
      for (int side = 0; side < 2 && form_ == Form::kExpression; ++side) {
        const BExpr& value = *filter.args[1 - side];
        if (!IsScanConstant(value)) continue;
        Form form = Form::kCompare;
        const BExpr* column = ScannedColumn(*filter.args[side], source);
        if (!column && filter.cmp_type.IsString()) {
          column = DateTextColumn(*filter.args[side], source);
          form = Form::kDateText;
        }
        if (!column) continue;
        form_ = form;
        column_ = static_cast<size_t>(column->col);
        column_first_ = side == 0;
        operands_ = {&value};
      }
      break;
    case BKind::Between:
      if (const BExpr* column = filter.args.size() == 3 ? ScannedColumn(*filter.args[0], source) : nullptr;
          column && IsScanConstant(*filter.args[1]) && IsScanConstant(*filter.args[2])) {
        form_ = Form::kBetween;
        column_ = static_cast<size_t>(column->col);
        operands_ = {filter.args[1].get(), filter.args[2].get()};
      }
      break;
    case BKind::InList: {
      // Only items that cannot fail: the list stops at the first match.
      const BExpr* column = filter.args.size() >= 2 ? ScannedColumn(*filter.args[0], source) : nullptr;
      bool plain = column != nullptr;
      for (size_t i = 1; plain && i < filter.args.size(); ++i) {
        const BKind k = filter.args[i]->kind;
        plain = k == BKind::Literal || k == BKind::Variable;
      }
      if (plain) {
        form_ = Form::kIn;
        column_ = static_cast<size_t>(column->col);
        for (size_t i = 1; i < filter.args.size(); ++i) operands_.push_back(filter.args[i].get());
      }
      break;
    }
    case BKind::InSubquery: {
      // "integer column IN (uncorrelated subquery)": tested on the column's array when the
      // subquery cannot fail (then its values are listed once, before any row), else row by row.
      const BExpr* column = filter.args.size() == 1 ? ScannedColumn(*filter.args[0], source) : nullptr;
      if (column && !filter.negated && filter.sub && !filter.sub->correlated && !filter.sub->keyed &&
          column->type.IsInteger() && filter.args[0]->type == filter.cmp_type && filter.cmp_type.IsInteger()) {
        form_ = Form::kInSubquery;
        column_ = static_cast<size_t>(column->col);
      }
      break;
    }
    case BKind::Or:
    case BKind::And: {
      // Each operand that reads no column is worked out once; the others must be tests an
      // array can decide, except that an AND may leave some out (its array test then keeps a
      // superset of the rows that pass).
      const bool any = filter.kind == BKind::Or;
      std::vector<const BExpr*> leaves;
      Operands(filter, filter.kind, leaves);
      std::vector<ScanFilter> parts;
      std::vector<const BExpr*> constants;
      bool usable = true;
      for (const BExpr* leaf : leaves) {
        if (ReadsNoRow(*leaf)) {
          constants.push_back(leaf);
          continue;
        }
        ScanFilter part(*leaf, source);
        if (part.form_ == Form::kCompare || part.form_ == Form::kDateText || part.form_ == Form::kInSubquery ||
            part.form_ == Form::kAnyOf || part.form_ == Form::kAllOf) {
          parts.push_back(std::move(part));
        } else if (any) {
          usable = false;
        } else {
          others_.push_back(leaf);
        }
      }
      if (usable && !parts.empty()) {
        form_ = any ? Form::kAnyOf : Form::kAllOf;
        parts_ = std::move(parts);
        constant_parts_ = std::move(constants);
      } else {
        others_.clear();
      }
      break;
    }
    default:
      break;
  }
  values_.resize(operands_.size());
  known_.assign(operands_.size(), 0);
  expression_cannot_fail_ =
      (form_ == Form::kExpression || form_ == Form::kInSubquery) && ExpressionCannotFail(filter, source);
}

bool ScanFilter::CannotFail() const {
  if (form_ == Form::kExpression || form_ == Form::kInSubquery) return expression_cannot_fail_;
  if (form_ == Form::kAnyOf || form_ == Form::kAllOf) {
    auto cannot_fail = [&](const BExpr* e) { return ExpressionCannotFail(*e, source_); };
    return std::all_of(parts_.begin(), parts_.end(), [](const ScanFilter& p) { return p.CannotFail(); }) &&
           std::all_of(constant_parts_.begin(), constant_parts_.end(), cannot_fail) &&
           std::all_of(others_.begin(), others_.end(), cannot_fail);
  }
  for (size_t i = 0; i < operands_.size(); ++i) {
    const BKind k = operands_[i]->kind;
    const bool fixed = known_[i] || k == BKind::Literal || k == BKind::Variable || k == BKind::GetDate ||
                       (k == BKind::Column && operands_[i]->depth > 0);
    if (!fixed) return false;
  }
  return true;
}

bool ScanFilter::WorkOutValues(const EvalCtx& ctx) {
  if (form_ == Form::kExpression || form_ == Form::kInSubquery) return expression_cannot_fail_;
  if (form_ == Form::kAnyOf || form_ == Form::kAllOf) {
    for (ScanFilter& part : parts_) part.WorkOutValues(ctx);
    return CannotFail();
  }
  for (size_t i = 0; i < operands_.size(); ++i) {
    if (known_[i]) continue;
    try {
      ValueAt(i, ctx);
    } catch (const SqlException&) {
      return false;
    }
  }
  return CannotFail();
}

const Value& ScanFilter::ValueAt(size_t i, const EvalCtx& ctx) {
  if (!known_[i]) {
    values_[i] = Eval(*operands_[i], ctx);
    known_[i] = 1;
  }
  return values_[i];
}

bool ScanFilter::UseColumnArray(const Table& table) {
  if (form_ == Form::kExpression) return false;
  if (form_ == Form::kAnyOf || form_ == Form::kAllOf) {
    // An OR needs every part on an array; an AND those it has (leaving the others out makes
    // its array test keep a superset).
    rows_ = table.row_count();
    on_array_.assign(parts_.size(), 0);
    size_t count = 0;
    for (size_t p = 0; p < parts_.size(); ++p) {
      on_array_[p] = parts_[p].UseColumnArray(table);
      count += on_array_[p];
    }
    return form_ == Form::kAnyOf ? count == parts_.size() : count > 0;
  }
  array_ = table.ColumnAsArray(static_cast<int>(column_));
  const TypeId id = table.columns[column_].type.id;
  ticks_ = id == TypeId::DateTime || id == TypeId::SmallDateTime;
  return array_ != nullptr;
}

const Value& ScanFilter::ColumnValue(size_t index, const Row& row) {
  if (!array_) return row[column_];
  const int64_t v = array_->values[index];
  from_array_ = array_->nulls[index] ? Value() : ticks_ ? Value::DateTime(v) : Value::Int(v);
  return from_array_;
}

bool ScanFilter::ColumnNull(size_t index, const Row& row) const {
  return array_ ? array_->nulls[index] != 0 : row[column_].is_null();
}

std::optional<int> ScanFilter::CompareDateText(int64_t ticks, const Value& c) {
  if (day_ == Day::kUnknown) {
    const std::optional<int64_t> day = c.kind() == Value::Kind::String ? DayOfText(c.string_value()) : std::nullopt;
    day_ = day ? Day::kValid : Day::kInvalid;
    if (day) {
      day_first_ = *day * kTicksPerDay;
      day_end_ = day_first_ + kTicksPerDay;
    }
  }
  if (day_ == Day::kInvalid) return std::nullopt;
  // Texts of real days compare as the days do: before the day, on it, after it.
  return ticks < day_first_ ? -1 : ticks >= day_end_ ? 1 : 0;
}

int ScanFilter::CompareColumn(size_t index, const Row& row, const Value& c, bool column_left) {
  // An array against a value of its own kind (an integer, or datetime ticks, as both sides of
  // such a comparison are): the numbers decide.
  if (array_ && c.kind() == (ticks_ ? Value::Kind::DateTime : Value::Kind::Int)) {
    const int64_t a = array_->values[index];
    const int64_t b = ticks_ ? c.datetime_ticks() : c.int_value();
    const int sign = a < b ? -1 : a > b ? 1 : 0;
    return column_left ? sign : -sign;
  }
  const Value& v = ColumnValue(index, row);
  const SqlType& type = filter_.cmp_type;
  return column_left ? Compare(v, c, type) : Compare(c, v, type);
}

bool ScanFilter::SelectFromArray(const EvalCtx& ctx, std::vector<uint32_t>& out) {
  return TestArray(ctx, nullptr, out);
}

bool ScanFilter::NarrowOnArray(const EvalCtx& ctx, std::vector<uint32_t>& positions) {
  if (!CannotFail()) return false;
  std::vector<uint32_t> kept;
  if (!TestArray(ctx, &positions, kept)) return false;
  positions = std::move(kept);
  return true;
}

bool ScanFilter::TestArray(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out) {
  if (form_ == Form::kAnyOf || form_ == Form::kAllOf) return TestParts(ctx, among, out);
  if (!array_ || array_->values.size() > UINT32_MAX) return false;
  if (form_ == Form::kInSubquery) return TestInSubquery(ctx, among, out);
  if (form_ != Form::kCompare && form_ != Form::kDateText) return false;
  const std::vector<int64_t>& values = array_->values;
  const std::vector<uint8_t>& nulls = array_->nulls;
  const size_t n = among ? among->size() : values.size();
  auto row = [&](size_t k) { return among ? (*among)[k] : k; };
  // "column op value" works the value out for the first row whose column is not NULL;
  // "value op column" for the first row.
  size_t first = 0;
  if (column_first_) {
    while (first < n && nulls[row(first)]) ++first;
    if (first == n) return true;
  } else if (n == 0) {
    return true;
  }
  const Value& c = ValueAt(0, ctx);
  if (c.is_null()) return true;
  const ast::Op op = filter_.op;
  const int side = column_first_ ? 1 : -1;
  if (form_ == Form::kDateText) {
    if (!CompareDateText(0, c)) return false;
    for (size_t k = first; k < n; ++k) {
      const size_t i = row(k);
      if (nulls[i]) continue;
      const int64_t v = values[i];
      const int sign = v < day_first_ ? -side : v >= day_end_ ? side : 0;
      if (CompareHolds(op, sign)) out.push_back(static_cast<uint32_t>(i));
    }
    return true;
  }
  if (c.kind() != (ticks_ ? Value::Kind::DateTime : Value::Kind::Int)) return false;
  const int64_t b = ticks_ ? c.datetime_ticks() : c.int_value();
  for (size_t k = first; k < n; ++k) {
    const size_t i = row(k);
    if (nulls[i]) continue;
    const int64_t v = values[i];
    const int sign = v < b ? -side : v > b ? side : 0;
    if (CompareHolds(op, sign)) out.push_back(static_cast<uint32_t>(i));
  }
  return true;
}

bool ScanFilter::TestInSubquery(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out) {
  if (!CannotFail()) return false;
  // A row passes when its value is one the subquery gives (NULLs among those make the others
  // unknown, which does not pass either).
  const SubqueryPlan& plan = UncorrelatedInValues(filter_, *ctx.env);
  std::vector<int64_t> listed;
  listed.reserve(plan.entries.size());
  for (const Value& v : plan.entries) {
    if (v.kind() != Value::Kind::Int) return false;
    listed.push_back(v.int_value());
  }
  if (listed.empty()) return true;  // no row is among no values
  const IntegerSet set(std::move(listed));
  const std::vector<int64_t>& values = array_->values;
  const std::vector<uint8_t>& nulls = array_->nulls;
  const size_t n = among ? among->size() : values.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t i = among ? (*among)[k] : k;
    if (!nulls[i] && set.Holds(values[i])) out.push_back(static_cast<uint32_t>(i));
  }
  return true;
}

bool ScanFilter::Exact() const {
  if (form_ != Form::kAnyOf && form_ != Form::kAllOf) return true;
  if (!others_.empty()) return false;
  for (size_t p = 0; p < parts_.size(); ++p) {
    if ((p < on_array_.size() && !on_array_[p]) || !parts_[p].Exact()) return false;
  }
  return true;
}

bool ScanFilter::TestParts(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out) {
  if (!CannotFail() || rows_ > UINT32_MAX) return false;
  auto all_rows = [&] {
    if (among) {
      out.insert(out.end(), among->begin(), among->end());
    } else {
      for (size_t i = 0; i < rows_; ++i) out.push_back(static_cast<uint32_t>(i));
    }
  };
  const bool any = form_ == Form::kAnyOf;
  // A constant that holds passes every row of an OR; one that does not passes none of an AND.
  for (const BExpr* c : constant_parts_) {
    const bool holds = EvalPred(*c, ctx) == Tri::True;
    if (any && holds) {
      all_rows();
      return true;
    }
    if (!any && !holds) return true;
  }
  std::vector<uint32_t> passed;
  if (any) {
    // The rows any part passes, in order, each once.
    for (ScanFilter& part : parts_) {
      if (!part.TestArray(ctx, among, passed)) return false;
    }
    std::sort(passed.begin(), passed.end());
    passed.erase(std::unique(passed.begin(), passed.end()), passed.end());
  } else {
    // The rows every part on an array passes: each tests those the ones before it kept.
    bool first = true;
    for (size_t p = 0; p < parts_.size(); ++p) {
      if (!on_array_[p]) continue;
      std::vector<uint32_t> kept;
      if (!parts_[p].TestArray(ctx, first ? among : &passed, kept)) return false;
      passed = std::move(kept);
      first = false;
    }
    if (first) return false;
  }
  out.insert(out.end(), passed.begin(), passed.end());
  return true;
}

bool ScanFilter::Passes(size_t index, const Row& row, const EvalCtx& ctx) {
  switch (form_) {
    case Form::kExpression:
    case Form::kInSubquery:
    case Form::kAnyOf:
    case Form::kAllOf:
      return EvalPred(filter_, ctx) == Tri::True;
    case Form::kCompare: {
      // As the expression: the left operand first, and no right one when it is NULL.
      if (column_first_) {
        if (ColumnNull(index, row)) return false;
        const Value& c = ValueAt(0, ctx);
        return !c.is_null() && CompareHolds(filter_.op, CompareColumn(index, row, c, true));
      }
      const Value& c = ValueAt(0, ctx);
      if (c.is_null() || ColumnNull(index, row)) return false;
      return CompareHolds(filter_.op, CompareColumn(index, row, c, false));
    }
    case Form::kDateText: {
      // As kCompare; a value that is no real day's "yyyy-mm-dd" leaves it to the expression.
      if (column_first_ && ColumnNull(index, row)) return false;
      const Value& c = ValueAt(0, ctx);
      if (c.is_null() || ColumnNull(index, row)) return false;
      const int64_t ticks = array_ ? array_->values[index] : row[column_].datetime_ticks();
      const std::optional<int> sign = CompareDateText(ticks, c);
      if (!sign) return EvalPred(filter_, ctx) == Tri::True;
      return CompareHolds(filter_.op, column_first_ ? *sign : -*sign);
    }
    case Form::kBetween: {
      const Value& lo = ValueAt(0, ctx);
      const Value& hi = ValueAt(1, ctx);
      if (ColumnNull(index, row)) return false;
      // Unknown or false either way; true only when both bounds hold.
      if (lo.is_null() || hi.is_null()) {
        if (filter_.negated) {
          // NOT BETWEEN: true when the known bound alone is broken.
          if (!lo.is_null() && CompareColumn(index, row, lo, true) < 0) return true;
          if (!hi.is_null() && CompareColumn(index, row, hi, true) > 0) return true;
        }
        return false;
      }
      const bool inside = CompareColumn(index, row, lo, true) >= 0 && CompareColumn(index, row, hi, true) <= 0;
      return inside != filter_.negated;
    }
    case Form::kIn: {
      if (ColumnNull(index, row)) return false;
      bool unknown = false;
      for (size_t i = 0; i < operands_.size(); ++i) {
        const Value& item = ValueAt(i, ctx);
        if (item.is_null()) {
          unknown = true;
        } else if (CompareColumn(index, row, item, true) == 0) {
          return !filter_.negated;
        }
      }
      // No match: false, or unknown when an item was NULL; NOT IN is true only for false.
      return filter_.negated && !unknown;
    }
  }
  return false;
}

}  // namespace orv::tsql
