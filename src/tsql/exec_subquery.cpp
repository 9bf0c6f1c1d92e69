// Subqueries as expressions. Keyed (decorrelated) ones are built once per statement into a
// hash index over their correlation keys and probed per outer row; uncorrelated ones run once
// and are cached; any other correlated shape runs once per outer row.
#include "tsql/exec.h"
#include "tsql/sql_error.h"

namespace orv::tsql {
namespace {

void BuildKeyed(SubqueryPlan& plan, bool with_value, ExecEnv& env) {
  BoundSpec& spec = *plan.query->spec;
  TupleSet tuples = RunFrom(spec, nullptr, env);
  size_t nk = plan.inner_keys.size();
  plan.entries.clear();
  plan.index.Reset(tuples.count);
  EvalCtx ctx;
  ctx.env = &env;
  for (size_t i = 0; i < tuples.count; ++i) {
    ctx.srcs = tuples.at(i);
    Row entry(nk + (with_value ? 1 : 0));
    bool has_null = false;
    for (size_t k = 0; k < nk; ++k) {
      entry[k] = Eval(*plan.inner_keys[k], ctx);
      if (entry[k].is_null()) has_null = true;
    }
    if (has_null) continue;
    if (with_value) entry[nk] = Eval(*spec.select[0], ctx);
    plan.index.Insert(HashKey(entry.data(), plan.key_types.data(), nk));
    plan.entries.push_back(std::move(entry));
  }
  plan.built = true;
}

// Fills probe with the outer key values; false when one is NULL (no match possible).
bool ProbeKeys(const SubqueryPlan& plan, const EvalCtx& ctx, size_t first, Row& probe) {
  EvalCtx inner;
  inner.outer = &ctx;
  inner.env = ctx.env;
  for (size_t k = 0; k < plan.outer_keys.size(); ++k) {
    probe[first + k] = Eval(*plan.outer_keys[k], inner);
    if (probe[first + k].is_null()) return false;
  }
  return true;
}

// Calls f(entry) for each built entry matching probe; f returns false to stop.
template <class F>
void ForMatches(const SubqueryPlan& plan, const Row& probe, F&& f) {
  size_t nk = plan.inner_keys.size();
  plan.index.ForEach(HashKey(probe.data(), plan.key_types.data(), nk), [&](uint32_t id) {
    const Row& entry = plan.entries[id];
    if (!KeyEqual(entry.data(), probe.data(), plan.key_types.data(), nk)) return true;
    return f(entry);
  });
}

}  // namespace

Value EvalScalarSubquery(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  if (plan.keyed) {
    if (!plan.built) BuildKeyed(plan, true, *ctx.env);
    Row probe(plan.inner_keys.size());
    if (!ProbeKeys(plan, ctx, 0, probe)) return Value();
    Value result;
    int matches = 0;
    size_t nk = plan.inner_keys.size();
    ForMatches(plan, probe, [&](const Row& entry) {
      if (++matches > 1) {
        if (plan.top1) return false;
        ThrowError(512);
      }
      result = entry[nk];
      return true;
    });
    return result;
  }
  if (!plan.correlated && plan.built) return plan.scalar;
  std::vector<Row> rows = RunQuery(*plan.query, plan.correlated ? &ctx : nullptr, *ctx.env);
  if (rows.size() > 1) ThrowError(512);
  Value result = rows.empty() ? Value() : rows[0][0];
  if (!plan.correlated) {
    plan.scalar = result;
    plan.built = true;
  }
  return result;
}

Tri EvalExists(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  if (plan.keyed) {
    if (!plan.built) BuildKeyed(plan, false, *ctx.env);
    Row probe(plan.inner_keys.size());
    if (!ProbeKeys(plan, ctx, 0, probe)) return Tri::False;
    bool found = false;
    ForMatches(plan, probe, [&](const Row&) {
      found = true;
      return false;
    });
    return found ? Tri::True : Tri::False;
  }
  if (!plan.correlated && plan.built) return plan.any_rows ? Tri::True : Tri::False;
  bool any = !RunQuery(*plan.query, plan.correlated ? &ctx : nullptr, *ctx.env).empty();
  if (!plan.correlated) {
    plan.any_rows = any;
    plan.built = true;
  }
  return any ? Tri::True : Tri::False;
}

Tri EvalInSubquery(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  Value v = Eval(*expr.args[0], ctx);
  if (plan.keyed) {
    if (!plan.built) BuildKeyed(plan, false, *ctx.env);
    if (v.is_null()) return plan.entries.empty() ? Tri::False : Tri::Unknown;
    Row probe(plan.inner_keys.size());
    probe[0] = v;
    if (!ProbeKeys(plan, ctx, 1, probe)) return Tri::Unknown;
    bool found = false;
    ForMatches(plan, probe, [&](const Row&) {
      found = true;
      return false;
    });
    return found ? Tri::True : Tri::False;
  }
  const SqlType& column_type = plan.query->columns[0].type;
  if (!plan.correlated) {
    if (!plan.built) {
      std::vector<Row> rows = RunQuery(*plan.query, nullptr, *ctx.env);
      plan.entries.clear();
      plan.index.Reset(rows.size());
      plan.key_types = {expr.cmp_type};
      for (auto& row : rows) {
        if (row[0].is_null()) {
          plan.has_null = true;
          continue;
        }
        Row entry(1);
        entry[0] = Convert(row[0], column_type, expr.cmp_type, CastMode::Implicit);
        size_t h = HashKey(entry.data(), plan.key_types.data(), 1);
        bool dup = false;
        plan.index.ForEach(h, [&](uint32_t id) {
          if (Compare(plan.entries[id][0], entry[0], expr.cmp_type) == 0) {
            dup = true;
            return false;
          }
          return true;
        });
        if (dup) continue;
        plan.index.Insert(h);
        plan.entries.push_back(std::move(entry));
      }
      plan.any_rows = !rows.empty();
      plan.built = true;
    }
    if (!plan.any_rows) return Tri::False;
    if (v.is_null()) return Tri::Unknown;
    bool found = false;
    plan.index.ForEach(HashKey(&v, plan.key_types.data(), 1), [&](uint32_t id) {
      if (Compare(plan.entries[id][0], v, expr.cmp_type) == 0) {
        found = true;
        return false;
      }
      return true;
    });
    if (found) return Tri::True;
    return plan.has_null ? Tri::Unknown : Tri::False;
  }
  std::vector<Row> rows = RunQuery(*plan.query, &ctx, *ctx.env);
  if (rows.empty()) return Tri::False;
  if (v.is_null()) return Tri::Unknown;
  bool unknown = false;
  for (const auto& row : rows) {
    if (row[0].is_null()) {
      unknown = true;
      continue;
    }
    Value c = Convert(row[0], column_type, expr.cmp_type, CastMode::Implicit);
    if (Compare(c, v, expr.cmp_type) == 0) return Tri::True;
  }
  return unknown ? Tri::Unknown : Tri::False;
}

}  // namespace orv::tsql
