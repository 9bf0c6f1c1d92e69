// ScanFilter: which filters are compared in place, and their three-valued answers.
#include "tsql/exec/scan_filter.h"

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

// A column of the scanned source compared in its own type.
bool IsScannedColumn(const BExpr& e, int source, const SqlType& cmp_type) {
  return e.kind == BKind::Column && e.depth == 0 && e.src == source && e.col >= 0 && e.type == cmp_type;
}

bool Holds(ast::Op op, int c) {
  switch (op) {
    case ast::Op::Eq: return c == 0;
    case ast::Op::Ne: return c != 0;
    case ast::Op::Lt: return c < 0;
    case ast::Op::Le: return c <= 0;
    case ast::Op::Gt: return c > 0;
    case ast::Op::Ge: return c >= 0;
    case ast::Op::NotLt: return c >= 0;
    case ast::Op::NotGt: return c <= 0;
    default: return false;
  }
}

}  // namespace

ScanFilter::ScanFilter(const BExpr& filter, int source) : filter_(filter) {
  const SqlType& type = filter.cmp_type;
  switch (filter.kind) {
    case BKind::Compare:
      if (filter.args.size() != 2 || (!Holds(filter.op, 0) && !Holds(filter.op, 1) && !Holds(filter.op, -1))) break;
      for (int side = 0; side < 2; ++side) {
        const BExpr& column = *filter.args[side];
        const BExpr& value = *filter.args[1 - side];
        if (IsScannedColumn(column, source, type) && IsScanConstant(value)) {
          form_ = Form::kCompare;
          column_ = static_cast<size_t>(column.col);
          column_first_ = side == 0;
          operands_ = {&value};
          break;
        }
      }
      break;
    case BKind::Between:
      if (filter.args.size() == 3 && IsScannedColumn(*filter.args[0], source, type) &&
          IsScanConstant(*filter.args[1]) && IsScanConstant(*filter.args[2])) {
        form_ = Form::kBetween;
        column_ = static_cast<size_t>(filter.args[0]->col);
        operands_ = {filter.args[1].get(), filter.args[2].get()};
      }
      break;
    case BKind::InList: {
      // Only items that cannot fail: the list stops at the first match.
      bool plain = filter.args.size() >= 2 && IsScannedColumn(*filter.args[0], source, type);
      for (size_t i = 1; plain && i < filter.args.size(); ++i) {
        const BKind k = filter.args[i]->kind;
        plain = k == BKind::Literal || k == BKind::Variable;
      }
      if (plain) {
        form_ = Form::kIn;
        column_ = static_cast<size_t>(filter.args[0]->col);
        for (size_t i = 1; i < filter.args.size(); ++i) operands_.push_back(filter.args[i].get());
      }
      break;
    }
    default:
      break;
  }
  values_.resize(operands_.size());
  known_.assign(operands_.size(), 0);
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

bool ScanFilter::Passes(size_t index, const Row& row, const EvalCtx& ctx) {
  const SqlType& type = filter_.cmp_type;
  switch (form_) {
    case Form::kExpression:
      return EvalPred(filter_, ctx) == Tri::True;
    case Form::kCompare: {
      // As the expression: the left operand first, and no right one when it is NULL.
      if (column_first_) {
        const Value& v = ColumnValue(index, row);
        if (v.is_null()) return false;
        const Value& c = ValueAt(0, ctx);
        return !c.is_null() && Holds(filter_.op, Compare(v, c, type));
      }
      const Value& c = ValueAt(0, ctx);
      if (c.is_null()) return false;
      const Value& v = ColumnValue(index, row);
      return !v.is_null() && Holds(filter_.op, Compare(c, v, type));
    }
    case Form::kBetween: {
      const Value& lo = ValueAt(0, ctx);
      const Value& hi = ValueAt(1, ctx);
      const Value& v = ColumnValue(index, row);
      // Unknown or false either way; true only when both bounds hold.
      if (v.is_null() || lo.is_null() || hi.is_null()) {
        if (filter_.negated && !v.is_null()) {
          // NOT BETWEEN: true when the known bound alone is broken.
          if (!lo.is_null() && Compare(v, lo, type) < 0) return true;
          if (!hi.is_null() && Compare(v, hi, type) > 0) return true;
        }
        return false;
      }
      const bool inside = Compare(v, lo, type) >= 0 && Compare(v, hi, type) <= 0;
      return inside != filter_.negated;
    }
    case Form::kIn: {
      const Value& v = ColumnValue(index, row);
      if (v.is_null()) return false;
      bool unknown = false;
      for (size_t i = 0; i < operands_.size(); ++i) {
        const Value& item = ValueAt(i, ctx);
        if (item.is_null()) {
          unknown = true;
        } else if (Compare(v, item, type) == 0) {
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
