// Binding and planning of subqueries used as expressions (scalar, IN, EXISTS). A correlated
// subquery whose only outer references are equalities "inner = outer" in its WHERE is
// decorrelated: those equalities become the keys of a hash index built once per statement.
#include <functional>

#include "tsql/bind/binder.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

using ColumnVisitor = std::function<void(const BExpr& column, int level)>;

void VisitColumns(const BExpr& e, int level, const ColumnVisitor& fn);

void VisitJoin(const BoundJoin& join, int level, const ColumnVisitor& fn) {
  for (const auto& c : join.on) {
    if (c) VisitColumns(*c, level, fn);
  }
  if (join.left) VisitJoin(*join.left, level, fn);
  if (join.right) VisitJoin(*join.right, level, fn);
}

void VisitQuery(const BoundQuery& q, int level, const ColumnVisitor& fn) {
  if (q.for_rows) {
    VisitQuery(*q.for_rows, level, fn);
    return;
  }
  if (q.recursive) {
    VisitQuery(*q.recursive->anchor, level, fn);
    for (const auto& m : q.recursive->members) VisitQuery(*m, level, fn);
    return;
  }
  if (q.is_values) {
    for (const auto& row : q.values) {
      for (const auto& e : row) VisitColumns(*e, level, fn);
    }
    return;
  }
  if (!q.spec) {
    VisitQuery(*q.left, level, fn);
    VisitQuery(*q.right, level, fn);
    return;
  }
  const BoundSpec& s = *q.spec;
  // The right side of an APPLY may read this scope and those around it; a derived table in a
  // subquery, those around it.
  for (const auto& source : s.sources) {
    if (source.lateral || source.outer_correlated) VisitQuery(*source.derived, level + 1, fn);
  }
  // A keyed IN subquery has moved its select column into its first key (select[0] is null).
  for (const auto& j : s.from) VisitJoin(*j, level, fn);
  for (const auto& c : s.where) {
    if (c) VisitColumns(*c, level, fn);
  }
  for (const auto& c : s.group_by) {
    if (c) VisitColumns(*c, level, fn);
  }
  if (s.having) VisitColumns(*s.having, level, fn);
  if (s.top) VisitColumns(*s.top, level, fn);
  if (s.offset) VisitColumns(*s.offset, level, fn);
  for (const auto& c : s.select) {
    if (c) VisitColumns(*c, level, fn);
  }
  for (const auto& o : s.order) {
    if (o.expr) VisitColumns(*o.expr, level, fn);
  }
}

void VisitColumns(const BExpr& e, int level, const ColumnVisitor& fn) {
  if (e.kind == BKind::Column) fn(e, level);
  for (const auto& a : e.args) {
    if (a) VisitColumns(*a, level, fn);
  }
  if (e.else_expr) VisitColumns(*e.else_expr, level, fn);
  if (e.operand) VisitColumns(*e.operand, level, fn);
  if (e.window) {
    for (const auto* part : {&e.window->args, &e.window->partition, &e.window->order}) {
      for (const auto& p : *part) VisitColumns(*p, level, fn);
    }
  }
  if (e.sub) {
    if (e.sub->query) VisitQuery(*e.sub->query, level + 1, fn);
    for (const auto& k : e.sub->inner_keys) VisitColumns(*k, level + 1, fn);
    for (const auto& k : e.sub->outer_keys) VisitColumns(*k, level + 1, fn);
  }
}

bool QueryRefsAbove(const BoundQuery& q, int level) {
  bool found = false;
  VisitQuery(q, level, [&](const BExpr& c, int l) {
    if (c.depth > l) found = true;
  });
  return found;
}

}  // namespace

bool RefsAbove(const BExpr& expr, int level) {
  bool found = false;
  VisitColumns(expr, level, [&](const BExpr& c, int l) {
    if (c.depth > l) found = true;
  });
  return found;
}

bool RefsLevel(const BExpr& expr, int level) {
  bool found = false;
  VisitColumns(expr, level, [&](const BExpr& c, int l) {
    if (c.depth == l) found = true;
  });
  return found;
}

void CollectSources(const BExpr& expr, std::vector<int>& out) {
  VisitColumns(expr, 0, [&](const BExpr& c, int l) {
    if (c.depth == l) {
      for (int s : out) {
        if (s == c.src) return;
      }
      out.push_back(c.src);
    }
  });
}

BExprPtr Binder::BindSubquery(const ast::Expr& expr, Scope& scope) {
  auto e = std::make_unique<BExpr>();
  e->sub = std::make_unique<SubqueryPlan>();
  SubqueryPlan& plan = *e->sub;
  BExprPtr operand;
  if (expr.kind == ast::ExprKind::InSubquery) operand = BindExpr(*expr.args[0], scope);
  std::vector<BExpr*>* saved = scope.aggregates;
  plan.query = BindQuery(*expr.subquery, &scope, &plan.correlated);
  scope.aggregates = saved;
  const auto& cols = plan.query->columns;
  switch (expr.kind) {
    case ast::ExprKind::Exists:
      e->kind = BKind::Exists;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      e->nullable = false;
      break;
    case ast::ExprKind::InSubquery: {
      if (cols.size() != 1) ThrowError(116);
      e->kind = BKind::InSubquery;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      e->cmp_type = CommonType(operand->type, cols[0].type);
      e->args.push_back(MakeConvert(std::move(operand), e->cmp_type));
      break;
    }
    default:
      if (cols.size() != 1) ThrowError(116);
      e->kind = BKind::Subquery;
      e->type = cols[0].type;
      e->nullable = true;
      break;
  }
  PlanSubquery(plan, e->kind);
  if (e->kind == BKind::InSubquery && plan.keyed) {
    // The IN value is the first key: the subquery's column in the comparison type.
    BExprPtr inner = MakeConvert(std::move(plan.query->spec->select[0]), e->cmp_type);
    plan.query->spec->select[0] = nullptr;
    plan.inner_keys.insert(plan.inner_keys.begin(), std::move(inner));
    plan.key_types.insert(plan.key_types.begin(), e->cmp_type);
  }
  return e;
}

void Binder::PlanSubquery(SubqueryPlan& plan, BKind kind) {
  if (!plan.correlated) return;
  BoundQuery& q = *plan.query;
  if (!q.spec) return;
  BoundSpec& s = *q.spec;
  // Window functions are computed over the rows of one outer row, not over all of them.
  if (s.grouped || !q.order.empty() || !s.windows.empty()) return;
  if (kind == BKind::Subquery && s.distinct) return;
  if (s.offset) return;
  if (s.top) {
    Value top = EvalConstant(*s.top);
    if (top.is_null() || s.top_percent || top.kind() != Value::Kind::Int || top.int_value() != 1) {
      return;
    }
    plan.top1 = true;
  }
  for (const auto& o : s.order) {
    if (o.expr && RefsAbove(*o.expr, 0)) return;
  }
  for (const auto& c : s.select) {
    if (c && RefsAbove(*c, 0)) return;
  }
  for (const auto& j : s.from) {
    bool refs = false;
    std::function<void(const BoundJoin&)> walk = [&](const BoundJoin& join) {
      for (const auto& c : join.on) refs = refs || RefsAbove(*c, 0);
      if (join.left) walk(*join.left);
      if (join.right) walk(*join.right);
    };
    walk(*j);
    if (refs) return;
  }
  for (const auto& source : s.sources) {
    if ((source.lateral || source.outer_correlated) && QueryRefsAbove(*source.derived, 1)) return;
  }
  // Every conjunct that reads outside must be "inner = outer".
  std::vector<size_t> key_conjuncts;
  for (size_t i = 0; i < s.where.size(); ++i) {
    const BExpr& c = *s.where[i];
    if (!RefsAbove(c, 0)) continue;
    if (c.kind != BKind::Compare || c.op != ast::Op::Eq) return;
    const BExpr& a = *c.args[0];
    const BExpr& b = *c.args[1];
    bool a_inner = !RefsAbove(a, 0);
    bool b_inner = !RefsAbove(b, 0);
    if (a_inner && !b_inner && !RefsLevel(b, 0)) {
      key_conjuncts.push_back(i);
    } else if (b_inner && !a_inner && !RefsLevel(a, 0)) {
      key_conjuncts.push_back(i);
    } else {
      return;
    }
  }
  if (key_conjuncts.empty()) return;
  std::vector<BExprPtr> remaining;
  size_t next = 0;
  for (size_t i = 0; i < s.where.size(); ++i) {
    if (next < key_conjuncts.size() && key_conjuncts[next] == i) {
      ++next;
      BExpr& c = *s.where[i];
      bool a_inner = !RefsAbove(*c.args[0], 0);
      plan.inner_keys.push_back(std::move(c.args[a_inner ? 0 : 1]));
      plan.outer_keys.push_back(std::move(c.args[a_inner ? 1 : 0]));
      plan.key_types.push_back(c.cmp_type);
    } else {
      remaining.push_back(std::move(s.where[i]));
    }
  }
  s.where = std::move(remaining);
  plan.keyed = true;
  // Nothing else may read outside; otherwise the keyed build would be wrong.
  if (QueryRefsAbove(q, 0)) {
    ThrowError(8624, {"Internal Query Processor Error: The query processor could not produce "
                      "a query plan."});
  }
}

}  // namespace orv::tsql
