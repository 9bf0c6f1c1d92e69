// Filters copied into derived tables: a WHERE condition on the columns of a derived table (a
// UNION ALL of queries, typically) is also applied inside each of its queries, so that they
// drop their rows before joining and grouping them rather than after.
#include "tsql/bind/binder.h"

namespace orv::tsql {
namespace {

// A copy of a condition of the outer query, over derived source `src`, for one query `branch`
// of that derived table: each column of the derived table becomes the column of the branch it
// comes from. Null when the condition cannot be moved: only comparisons, ranges, lists and
// null tests of plain columns against values known before the query runs qualify, so that the
// copy can raise no error the outer condition would not raise (the outer one stays in place).
class ConditionCopier {
 public:
  ConditionCopier(Binder& binder, int src, const BoundQuery& derived, const BoundSpec& branch, bool variables)
      : binder_(binder), src_(src), derived_(derived), branch_(branch), variables_(variables) {}

  BExprPtr Copy(const BExpr& e) {
    switch (e.kind) {
      case BKind::Compare:
      case BKind::And:
      case BKind::Or:
      case BKind::Not:
      case BKind::IsNull:
      case BKind::Between:
      case BKind::InList: {
        auto out = Shell(e);
        for (const auto& a : e.args) {
          BExprPtr arg = Copy(*a);
          if (!arg) return nullptr;
          out->args.push_back(std::move(arg));
        }
        return out;
      }
      case BKind::Column: {
        if (e.depth != 0 || e.src != src_ || e.col < 0) return nullptr;
        const auto col = static_cast<size_t>(e.col);
        if (col >= branch_.select.size() || col >= derived_.columns.size()) return nullptr;
        const BExpr& from = *branch_.select[col];
        // The branch's column must be a column of its own sources, of the derived table's type.
        if (from.kind != BKind::Column || from.depth != 0 || !(from.type == e.type) ||
            !(derived_.columns[col].type == e.type)) {
          return nullptr;
        }
        auto out = Shell(from);
        out->depth = 0;
        out->src = from.src;
        out->col = from.col;
        reads_column_ = true;
        return out;
      }
      default:
        return CopyValue(e);
    }
  }

  bool reads_column() const { return reads_column_; }

 private:
  // A literal, a variable, or a conversion of one that succeeds now.
  BExprPtr CopyValue(const BExpr& e) {
    if (!IsValue(e)) return nullptr;
    if (e.kind == BKind::Convert) {
      try {
        binder_.EvalConstant(e);
      } catch (const SqlException&) {
        return nullptr;
      }
    }
    auto out = Shell(e);
    for (const auto& a : e.args) out->args.push_back(CopyValue(*a));
    return out;
  }
  bool IsValue(const BExpr& e) const {
    switch (e.kind) {
      case BKind::Literal:
        return true;
      case BKind::Variable:
        return variables_;
      case BKind::Convert:
        return !e.try_convert && e.args.size() == 1 && IsValue(*e.args[0]);
      default:
        return false;
    }
  }
  // The node without its arguments: the fields these kinds of node use.
  static BExprPtr Shell(const BExpr& e) {
    auto out = std::make_unique<BExpr>();
    out->kind = e.kind;
    out->type = e.type;
    out->nullable = e.nullable;
    out->value = e.value;
    out->name = e.name;
    out->op = e.op;
    out->negated = e.negated;
    out->cmp_type = e.cmp_type;
    out->mode = e.mode;
    out->style = e.style;
    out->try_convert = e.try_convert;
    return out;
  }

  Binder& binder_;
  int src_;
  const BoundQuery& derived_;
  const BoundSpec& branch_;
  bool variables_;
  bool reads_column_ = false;
};

// The queries of a derived table that a condition can be copied into: the query itself, or
// every query of a UNION ALL (not other set operations, whose duplicates are compared under
// collations the condition may not follow). Queries that group, number, limit or assign their
// rows keep theirs.
void Branches(BoundQuery& q, std::vector<BoundSpec*>& out) {
  if (q.recursive || q.is_values || q.string_split || !q.order.empty()) return;
  if (q.spec) {
    const BoundSpec& s = *q.spec;
    if (!s.grouped && !s.distinct && !s.top && s.windows.empty() && s.assign_to.empty()) out.push_back(q.spec.get());
    return;
  }
  if (!q.left || !q.right || q.set_op != ast::QueryExpr::SetOp::Union || !q.union_all) return;
  Branches(*q.left, out);
  Branches(*q.right, out);
}

}  // namespace

void Binder::PushFiltersIntoDerived(BoundSpec& spec) {
  std::vector<const BExpr*> conditions;
  for (const BExprPtr& c : spec.where) conditions.push_back(c.get());
  PushFilters(spec, conditions);
}

void Binder::PushFilters(BoundSpec& spec, const std::vector<const BExpr*>& conditions) {
  if (conditions.empty()) return;
  for (size_t s = 0; s < spec.sources.size(); ++s) {
    BoundSource& source = spec.sources[s];
    if (!source.derived || source.lateral || source.null_supplying || source.work) continue;
    std::vector<BoundSpec*> branches;
    Branches(*source.derived, branches);
    for (BoundSpec* branch : branches) {
      const size_t before = branch->where.size();
      for (const BExpr* condition : conditions) {
        ConditionCopier copier(*this, static_cast<int>(s), *source.derived, *branch, spec.assign_to.empty());
        BExprPtr copy = copier.Copy(*condition);
        if (copy && copier.reads_column()) branch->where.push_back(std::move(copy));
      }
      // On down into the derived tables of the branch (bound before these conditions came).
      std::vector<const BExpr*> added;
      for (size_t i = before; i < branch->where.size(); ++i) added.push_back(branch->where[i].get());
      PushFilters(*branch, added);
    }
  }
}

}  // namespace orv::tsql
