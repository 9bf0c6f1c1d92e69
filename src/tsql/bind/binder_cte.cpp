// Binding of common table expressions: the names a WITH clause defines, each bound where it is
// referenced (it sees only the expressions defined before it), and recursive ones split into
// their anchor and recursive members with SQL Server's rules for them.
#include <algorithm>
#include <utility>

#include "tsql/bind/binder.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

bool QueryRefers(const ast::QueryExpr& query, const std::string& name);

bool ExprRefers(const ast::Expr& e, const std::string& name) {
  if (e.subquery && QueryRefers(*e.subquery, name)) return true;
  for (const auto& a : e.args) {
    if (a && ExprRefers(*a, name)) return true;
  }
  if (e.case_operand && ExprRefers(*e.case_operand, name)) return true;
  return e.case_else && ExprRefers(*e.case_else, name);
}

bool TableRefers(const ast::TableRef& ref, const std::string& name) {
  switch (ref.kind) {
    case ast::TableRef::Kind::Named:
      return ref.name.size() == 1 && NamesEqual(ref.name[0], name);
    case ast::TableRef::Kind::Derived:
      return QueryRefers(*ref.derived, name);
    case ast::TableRef::Kind::Values:
      for (const auto& row : ref.values) {
        for (const auto& e : row) {
          if (ExprRefers(*e, name)) return true;
        }
      }
      return false;
    case ast::TableRef::Kind::Join:
      return TableRefers(*ref.left, name) || TableRefers(*ref.right, name) ||
             (ref.on && ExprRefers(*ref.on, name));
  }
  return false;
}

// Whether the query names `name` as a table anywhere, subqueries included.
bool QueryRefers(const ast::QueryExpr& query, const std::string& name) {
  if (query.kind == ast::QueryExpr::Kind::Union) {
    return QueryRefers(*query.left, name) || QueryRefers(*query.right, name);
  }
  const ast::QuerySpec& spec = *query.spec;
  for (const auto& ref : spec.from) {
    if (TableRefers(*ref, name)) return true;
  }
  auto refers = [&](const ast::ExprPtr& e) { return e && ExprRefers(*e, name); };
  for (const auto& item : spec.items) {
    if (refers(item.expr)) return true;
  }
  if (refers(spec.where) || refers(spec.having) || refers(spec.top)) return true;
  for (const auto& g : spec.group_by) {
    if (refers(g)) return true;
  }
  for (const auto& o : query.order_by) {
    if (refers(o.expr)) return true;
  }
  return false;
}

bool HasOuterJoin(const ast::TableRef& ref) {
  if (ref.kind != ast::TableRef::Kind::Join) return false;
  switch (ref.join_type) {
    case ast::JoinType::Left:
    case ast::JoinType::Right:
    case ast::JoinType::Full:
    case ast::JoinType::OuterApply:
      return true;
    default:
      return HasOuterJoin(*ref.left) || HasOuterJoin(*ref.right);
  }
}

// One query of a chain of set operations, and the operation that joins it to the ones before
// it (null for the first).
struct Member {
  const ast::QueryExpr* query;
  const ast::QueryExpr* joined_by;
};

// Puts a value back when the scope ends, however it ends.
template <class T>
class Restore {
 public:
  Restore(T& place, T value) : place_(place), saved_(std::exchange(place, std::move(value))) {}
  ~Restore() { place_ = std::move(saved_); }
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;

 private:
  T& place_;
  T saved_;
};

std::vector<Member> SetMembers(const ast::QueryExpr& query) {
  std::vector<Member> members;
  const ast::QueryExpr* node = &query;
  while (node->kind == ast::QueryExpr::Kind::Union) {
    members.push_back({node->right.get(), node});
    node = node->left.get();
  }
  members.push_back({node, nullptr});
  std::reverse(members.begin(), members.end());
  return members;
}

}  // namespace

size_t Binder::PushCtes(const ast::WithClause& ctes) {
  const size_t mark = ctes_.size();
  for (size_t i = 0; i < ctes.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (NamesEqual(ctes[i].name, ctes[j].name)) ThrowError(239, {ctes[i].name});
    }
    ctes_.push_back(&ctes[i]);
  }
  return mark;
}

const ast::CommonTableExpr* Binder::FindCte(const ast::Name& name, size_t* index) const {
  if (name.size() != 1) return nullptr;
  for (size_t i = ctes_.size(); i-- > 0;) {
    if (NamesEqual(ctes_[i]->name, name[0])) {
      *index = i;
      return ctes_[i];
    }
  }
  return nullptr;
}

std::unique_ptr<BoundQuery> Binder::BindCte(size_t index) {
  const ast::CommonTableExpr& cte = *ctes_[index];
  // The expression sees only those defined before it (and itself, when recursive).
  Restore<std::vector<const ast::CommonTableExpr*>> visible(
      ctes_, std::vector<const ast::CommonTableExpr*>(ctes_.begin(), ctes_.begin() + index));
  Restore<Recursion*> no_recursion(recursion_, nullptr);
  if (QueryRefers(*cte.query, cte.name)) return BindRecursiveCte(cte);
  std::unique_ptr<BoundQuery> bound = BindQuery(*cte.query, nullptr);
  NameColumns(bound->columns, cte.columns, cte.name);
  return bound;
}

// Anchor members come first and refer not to the expression; the recursive members after them
// refer to it once each, at their top level, joined to the rest by UNION ALL.
std::unique_ptr<BoundQuery> Binder::BindRecursiveCte(const ast::CommonTableExpr& cte) {
  const std::vector<Member> members = SetMembers(*cte.query);
  if (members.size() == 1) ThrowError(252, {cte.name});
  size_t anchors = 0;
  while (anchors < members.size() && !QueryRefers(*members[anchors].query, cte.name)) ++anchors;
  if (anchors == 0) ThrowError(246, {cte.name});
  for (size_t i = anchors; i < members.size(); ++i) {
    const ast::QueryExpr& joined_by = *members[i].joined_by;
    if (joined_by.set_op != ast::QueryExpr::SetOp::Union || !joined_by.union_all) {
      ThrowError(252, {cte.name});
    }
    if (!QueryRefers(*members[i].query, cte.name)) ThrowError(247, {cte.name});
  }
  auto plan = std::make_unique<RecursiveCte>();
  plan->name = cte.name;
  plan->max_recursion = max_recursion_;
  plan->work = std::make_shared<std::vector<Row>>();
  const ast::QueryExpr& anchor = anchors == 1 ? *members[0].query : *members[anchors - 1].joined_by;
  plan->anchor = BindQuery(anchor, nullptr);
  std::vector<ResultColumn> columns = plan->anchor->columns;
  NameColumns(columns, cte.columns, cte.name);
  for (auto& c : columns) {
    c.nullable = true;
    if (c.type.id == TypeId::Null) c.type = SqlType::Int();  // a NULL constant is an int
  }

  Recursion recursion{&cte, columns, plan->work, depth_ + 1, 0};
  Restore<Recursion*> recursing(recursion_, &recursion);
  for (size_t i = anchors; i < members.size(); ++i) {
    const ast::QueryExpr& member = *members[i].query;
    if (member.kind != ast::QueryExpr::Kind::Spec) ThrowError(252, {cte.name});
    const ast::QuerySpec& spec = *member.spec;
    if (spec.distinct) ThrowError(460, {cte.name});
    if (spec.top) ThrowError(461, {cte.name});
    for (const auto& ref : spec.from) {
      if (HasOuterJoin(*ref)) ThrowError(462, {cte.name});
    }
    recursion.references = 0;
    std::unique_ptr<BoundQuery> bound = BindQuery(member, nullptr);
    if (bound->spec->grouped) ThrowError(467, {cte.name});
    if (bound->columns.size() != columns.size()) ThrowError(205);
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!(bound->columns[c].type == columns[c].type)) {
        ThrowError(240, {columns[c].name, cte.name});
      }
    }
    plan->members.push_back(std::move(bound));
  }
  auto bound = std::make_unique<BoundQuery>();
  bound->columns = std::move(columns);
  bound->recursive = std::move(plan);
  return bound;
}

void Binder::AddRecursiveReference(BoundSource& source) {
  Recursion& recursion = *recursion_;
  if (depth_ != recursion.depth) ThrowError(465);
  if (++recursion.references > 1) ThrowError(253, {recursion.cte->name});
  source.columns = recursion.columns;
  source.work = recursion.work;
}

}  // namespace orv::tsql
