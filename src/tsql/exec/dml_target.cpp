// The target of UPDATE ... FROM and DELETE ... FROM, bound the way SQL Server binds it.
#include "tsql/bind/binder.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

int BindDmlTarget(Binder& binder, const ast::Name& target,
                  const std::vector<ast::TableRefPtr>& from, BoundSpec& spec, Scope& scope) {
  binder.BindFrom(from, spec, scope);
  const std::string& name = target.back();
  int found = -1;
  if (target.size() == 1) {
    for (size_t i = 0; i < spec.sources.size(); ++i) {
      if (spec.sources[i].aliased && NamesEqual(spec.sources[i].exposed, name)) {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  if (found < 0) {
    std::vector<int> matches;
    for (size_t i = 0; i < spec.sources.size(); ++i) {
      const BoundSource& s = spec.sources[i];
      if (s.table && NamesEqual(s.table->name, name)) matches.push_back(static_cast<int>(i));
    }
    if (matches.size() == 1) {
      found = matches[0];
    } else if (matches.size() > 1) {
      for (int m : matches) {
        if (!spec.sources[m].aliased) {
          if (found >= 0) ThrowError(8154, {"The table '" + name + "' is ambiguous."});
          found = m;
        }
      }
      if (found < 0) ThrowError(8154, {"The table '" + name + "' is ambiguous."});
    }
  }
  if (found < 0) {
    found = binder.AddNamedSource(target, "", spec, false);
    auto leaf = std::make_unique<BoundJoin>();
    leaf->source = found;
    spec.from.push_back(std::move(leaf));
  }
  if (!spec.sources[found].table) ThrowError(4405, {"View or function '" + name + "' is not updatable."});
  return found;
}

int64_t BindTopLimit(Binder& binder, const ast::ExprPtr& top) {
  if (!top) return -1;
  Scope empty;
  BExprPtr bound = binder.BindExpr(*top, empty);
  Value v = binder.EvalConstant(*bound);
  if (v.is_null()) return -1;
  return Convert(v, bound->type, SqlType::BigInt(), CastMode::Implicit).int_value();
}

}  // namespace orv::tsql
