// The syntax tree's destructors: each frees the nodes below it from a work list instead of
// recursing, so that no tree the parser can build (its operator chains, joins and set
// operations are built in loops, as deep as they are long) overflows the stack when freed.
#include "tsql/syntax/ast.h"

#include <utility>
#include <vector>

namespace orv::tsql::ast {

std::string JoinName(const Name& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i) out += '.';
    out += name[i];
  }
  return out;
}

const Name& IntoTarget(const QueryExpr& query) {
  static const Name kNone;
  const QueryExpr* q = &query;
  while (q->kind == QueryExpr::Kind::Union) q = q->left.get();
  return q->spec ? q->spec->into : kNone;
}

Expr::~Expr() {
  if (args.empty() && !case_operand && !case_else) return;
  std::vector<ExprPtr> pending;
  auto detach = [&](Expr& e) {
    for (ExprPtr& a : e.args) {
      if (a) pending.push_back(std::move(a));
    }
    e.args.clear();
    if (e.case_operand) pending.push_back(std::move(e.case_operand));
    if (e.case_else) pending.push_back(std::move(e.case_else));
  };
  detach(*this);
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    detach(*e);
  }  // each node is freed with no children left
}

TableRef::~TableRef() {
  if (!left && !right) return;
  std::vector<std::unique_ptr<TableRef>> pending;
  auto detach = [&](TableRef& t) {
    if (t.left) pending.push_back(std::move(t.left));
    if (t.right) pending.push_back(std::move(t.right));
  };
  detach(*this);
  while (!pending.empty()) {
    std::unique_ptr<TableRef> t = std::move(pending.back());
    pending.pop_back();
    detach(*t);
  }
}

QueryExpr::~QueryExpr() {
  if (!left && !right) return;
  std::vector<std::unique_ptr<QueryExpr>> pending;
  auto detach = [&](QueryExpr& q) {
    if (q.left) pending.push_back(std::move(q.left));
    if (q.right) pending.push_back(std::move(q.right));
  };
  detach(*this);
  while (!pending.empty()) {
    std::unique_ptr<QueryExpr> q = std::move(pending.back());
    pending.pop_back();
    detach(*q);
  }
}

bool DeeperThan(const Expr& expr, int limit) {
  std::vector<std::pair<const Expr*, int>> pending{{&expr, 1}};
  while (!pending.empty()) {
    auto [e, depth] = pending.back();
    pending.pop_back();
    if (depth > limit) return true;
    for (const ExprPtr& a : e->args) {
      if (a) pending.emplace_back(a.get(), depth + 1);
    }
    if (e->case_operand) pending.emplace_back(e->case_operand.get(), depth + 1);
    if (e->case_else) pending.emplace_back(e->case_else.get(), depth + 1);
  }
  return false;
}

}  // namespace orv::tsql::ast
