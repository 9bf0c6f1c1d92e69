// Subqueries as expressions. Keyed (decorrelated) ones are built once per statement into a
// hash index over their correlation keys and probed per outer row; uncorrelated ones run once
// and are cached; any other correlated shape runs once per outer row.
#include <algorithm>
#include <array>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// A column of the subquery's own row, of an integer type.
bool IsIntegerColumn(const BExpr& e) {
  return e.kind == BKind::Column && e.depth == 0 && e.src == 0 && e.col >= 0 && e.type.IsInteger();
}

// BuildKeyed for a subquery over one large table whose keys (and value) are integer columns
// of it, compared as they are, and whose filters the table's column arrays decide: the
// entries are read from the arrays, and no row of the table is read or made.
bool BuildKeyedFromArrays(SubqueryPlan& plan, bool with_value, ExecEnv& env, bool in_value) {
  BoundSpec& spec = *plan.query->spec;
  const size_t nk = plan.inner_keys.size();
  std::vector<const BExpr*> columns;
  for (size_t k = 0; k < nk; ++k) {
    if (!IsIntegerColumn(*plan.inner_keys[k]) || !(plan.inner_keys[k]->type == plan.key_types[k])) return false;
    columns.push_back(plan.inner_keys[k].get());
  }
  if (with_value) {
    if (!IsIntegerColumn(*spec.select[0])) return false;
    columns.push_back(spec.select[0].get());
  }
  const Table* table = spec.sources.size() == 1 ? spec.sources[0].table.get() : nullptr;
  if (!table) return false;
  std::vector<std::shared_ptr<const Table::ColumnArray>> arrays;
  for (const BExpr* c : columns) {
    arrays.push_back(table->ColumnAsArray(c->col));
    if (!arrays.back() || !arrays.back()->usable || arrays.back()->values.size() != table->row_count()) return false;
  }
  std::vector<uint32_t> positions;
  if (!SelectRowsOnArrays(spec, env, positions)) return false;
  const size_t width = columns.size();
  plan.entries.clear();
  plan.entry_width = width;
  plan.index_built = false;
  plan.outer_index_built = false;
  if (width == 1 && !in_value) {
    // EXISTS on one key: whether a value is there is all that is asked, so each is kept once
    // (a bill's lines share its key).
    const Table::ColumnArray& a = *arrays[0];
    std::vector<int64_t> keys;
    keys.reserve(positions.size());
    for (uint32_t r : positions) {
      if (!a.nulls[r]) keys.push_back(a.values[r]);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    plan.entries.reserve(keys.size());
    for (int64_t k : keys) plan.entries.push_back(Value::Int(k));
    plan.built = true;
    return true;
  }
  plan.entries.reserve(positions.size() * width);
  for (uint32_t r : positions) {
    const size_t start = plan.entries.size();
    bool has_null = false;
    for (size_t c = 0; c < width; ++c) {
      const Table::ColumnArray& a = *arrays[c];
      if (a.nulls[r]) {
        plan.entries.emplace_back();
        if (c < nk && !(in_value && c == 0)) has_null = true;
      } else {
        plan.entries.push_back(Value::Int(a.values[r]));
      }
    }
    if (has_null) plan.entries.resize(start);
  }
  plan.built = true;
  return true;
}

// For a keyed IN (in_value set) the first key is the IN value: a row whose value is NULL is
// kept, since it makes a non-matching IN unknown; a NULL correlation key drops the row (its
// correlation equality can never hold).
void BuildKeyed(SubqueryPlan& plan, bool with_value, ExecEnv& env, bool in_value = false) {
  if (BuildKeyedFromArrays(plan, with_value, env, in_value)) return;
  BoundSpec& spec = *plan.query->spec;
  TupleSet tuples = RunFrom(spec, nullptr, env);
  size_t nk = plan.inner_keys.size();
  const size_t width = nk + (with_value ? 1 : 0);
  plan.entries.clear();
  plan.entries.reserve(tuples.count * width);
  plan.entry_width = width;
  plan.index_built = false;
  plan.outer_index_built = false;
  EvalCtx ctx;
  ctx.env = &env;
  std::vector<std::pair<int, int>> columns;
  for (const auto& k : plan.inner_keys) CollectOwnColumns(*k, columns);
  if (with_value) CollectOwnColumns(*spec.select[0], columns);
  for (size_t i = 0; i < tuples.count; ++i) {
    if (i + kRowsAhead < tuples.count) PrefetchColumns(tuples.at(i + kRowsAhead), columns);
    ctx.srcs = tuples.at(i);
    const size_t start = plan.entries.size();
    bool has_null = false;
    for (size_t k = 0; k < nk; ++k) {
      plan.entries.push_back(Eval(*plan.inner_keys[k], ctx));
      if (plan.entries.back().is_null() && !(in_value && k == 0)) has_null = true;
    }
    if (has_null) {
      plan.entries.resize(start);
      continue;
    }
    if (with_value) plan.entries.push_back(Eval(*spec.select[0], ctx));
  }
  plan.built = true;
}

// The index over all the keys of a keyed plan's entries. Listing IN values by outer key alone
// (ListInSubqueryValues) never needs it, so it is built only when a probe does.
void EnsureIndex(SubqueryPlan& plan) {
  if (plan.index_built) return;
  size_t nk = plan.inner_keys.size();
  const size_t count = plan.entry_count();
  std::vector<size_t> hashes(count);
  for (size_t id = 0; id < count; ++id) {
    hashes[id] = HashKey(plan.entry(id), plan.key_types.data(), nk);
  }
  plan.index.Reset(count);
  plan.index.InsertMany(hashes);
  plan.index_built = true;
}

// Builds a keyed scalar or EXISTS plan and its index on first use, once even when rows are
// evaluated on two threads.
void EnsureKeyedReady(SubqueryPlan& plan, bool with_value, ExecEnv& env) {
  if (plan.ready.load(std::memory_order_acquire)) return;
  std::lock_guard lock(plan.build_mutex);
  if (plan.ready.load(std::memory_order_relaxed)) return;
  if (!plan.built) BuildKeyed(plan, with_value, env);
  EnsureIndex(plan);
  plan.ready.store(true, std::memory_order_release);
}

// Runs an uncorrelated subquery's one evaluation (build) once, under the plan's lock, so that
// rows evaluated on several threads share it. A build that fails leaves the plan unbuilt: the
// next row that needs it fails the same way, as it would on one thread.
template <class Build>
void BuildOnce(SubqueryPlan& plan, Build&& build) {
  if (plan.ready.load(std::memory_order_acquire)) return;
  std::lock_guard lock(plan.build_mutex);
  if (plan.ready.load(std::memory_order_relaxed)) return;
  build();
  plan.built = true;
  plan.ready.store(true, std::memory_order_release);
}

// The values of one probe: on the stack for the usual few keys, since a probe is made per
// outer row.
class ProbeBuffer {
 public:
  explicit ProbeBuffer(size_t n) : n_(n) {
    if (n > kInline) heap_.resize(n);
  }
  Value& operator[](size_t i) { return data()[i]; }
  Value* data() { return n_ > kInline ? heap_.data() : inline_.data(); }
  const Value* data() const { return n_ > kInline ? heap_.data() : inline_.data(); }

 private:
  static constexpr size_t kInline = 4;
  size_t n_;
  std::array<Value, kInline> inline_;
  std::vector<Value> heap_;
};

// Stores the outer key values of ctx's row at out; false when one is NULL (no match possible).
bool ProbeKeys(const SubqueryPlan& plan, const EvalCtx& ctx, Value* out) {
  EvalCtx inner;
  inner.outer = &ctx;
  inner.env = ctx.env;
  for (size_t k = 0; k < plan.outer_keys.size(); ++k) {
    out[k] = Eval(*plan.outer_keys[k], inner);
    if (out[k].is_null()) return false;
  }
  return true;
}
bool ProbeKeys(const SubqueryPlan& plan, const EvalCtx& ctx, size_t first, ProbeBuffer& probe) {
  return ProbeKeys(plan, ctx, probe.data() + first);
}

// Calls f(entry) for each built entry matching the keys (whose hash is given); f returns false
// to stop.
template <class F>
void ForMatches(const SubqueryPlan& plan, const Value* keys, size_t hash, F&& f) {
  size_t nk = plan.inner_keys.size();
  plan.index.ForEach(hash, [&](uint32_t id) {
    const Value* entry = plan.entry(id);
    if (!KeyEqual(entry, keys, plan.key_types.data(), nk)) return true;
    return f(entry);
  });
}
template <class F>
void ForMatches(const SubqueryPlan& plan, const ProbeBuffer& probe, F&& f) {
  const size_t hash = HashKey(probe.data(), plan.key_types.data(), plan.inner_keys.size());
  ForMatches(plan, probe.data(), hash, f);
}

// The probe prepared for this expression and ctx's row, if any.
const PreparedProbe* Prepared(const BExpr& expr, const EvalCtx& ctx) {
  if (!ctx.probes) return nullptr;
  for (const PreparedProbe& p : ctx.probes->probes) {
    if (p.expr == &expr) {
      return p.srcs == ctx.srcs && p.state != PreparedProbe::State::None ? &p : nullptr;
    }
  }
  return nullptr;
}

// Calls f(entry) for each entry matching the outer keys of ctx's row (prepared or not); f
// returns false to stop.
template <class F>
void ForRowMatches(const BExpr& expr, const EvalCtx& ctx, F&& f) {
  const SubqueryPlan& plan = *expr.sub;
  if (const PreparedProbe* p = Prepared(expr, ctx)) {
    if (p->state == PreparedProbe::State::Ready) ForMatches(plan, p->keys.data(), p->hash, f);
    return;
  }
  ProbeBuffer probe(plan.inner_keys.size());
  if (ProbeKeys(plan, ctx, 0, probe)) ForMatches(plan, probe, f);
}

void EnsureOuterIndex(SubqueryPlan& plan) {
  size_t nk = plan.inner_keys.size();
  const size_t count = plan.entry_count();
  std::vector<size_t> hashes(count);
  for (size_t id = 0; id < count; ++id) {
    hashes[id] = HashKey(plan.entry(id) + 1, plan.key_types.data() + 1, nk - 1);
  }
  plan.outer_index.Reset(count);
  plan.outer_index.InsertMany(hashes);
  plan.outer_index_built = true;
}

// A keyed IN's entries, and the index over all their keys (probe) or over their outer keys
// alone (outer), each built once under the plan's lock: rows may be evaluated on several
// threads.
void EnsureKeyedInReady(SubqueryPlan& plan, ExecEnv& env, bool probe, bool outer) {
  if ((!probe || plan.ready.load(std::memory_order_acquire)) &&
      (!outer || plan.outer_ready.load(std::memory_order_acquire))) {
    return;
  }
  std::lock_guard lock(plan.build_mutex);
  if (!plan.built) BuildKeyed(plan, false, env, true);
  if (probe && !plan.index_built) {
    EnsureIndex(plan);
    plan.ready.store(true, std::memory_order_release);
  }
  if (outer && !plan.outer_index_built) {
    EnsureOuterIndex(plan);
    plan.outer_ready.store(true, std::memory_order_release);
  }
}

// Calls f(entry) for every entry whose outer keys equal probe[1..]; f returns false to stop.
template <class F>
void ForOuterMatches(const SubqueryPlan& plan, const ProbeBuffer& probe, F&& f) {
  size_t nk = plan.inner_keys.size();
  const SqlType* types = plan.key_types.data() + 1;
  plan.outer_index.ForEach(HashKey(probe.data() + 1, types, nk - 1), [&](uint32_t id) {
    const Value* entry = plan.entry(id);
    if (!KeyEqual(entry + 1, probe.data() + 1, types, nk - 1)) return true;
    return f(entry);
  });
}

}  // namespace

bool ListInSubqueryValues(const BExpr& expr, const EvalCtx& ctx, std::vector<Value>& out) {
  if (expr.kind != BKind::InSubquery || expr.negated || !expr.sub) return false;
  SubqueryPlan& plan = *expr.sub;
  size_t nk = plan.inner_keys.size();
  if (!plan.keyed || nk < 2) return false;
  // Outer keys count their depth from the subquery: depth 1 is ctx's own scope.
  for (const auto& k : plan.outer_keys) {
    if (RefsLevel(*k, 1)) return false;
  }
  EnsureKeyedInReady(plan, *ctx.env, false, true);
  ProbeBuffer probe(nk);
  if (!ProbeKeys(plan, ctx, 1, probe)) return true;
  ForOuterMatches(plan, probe, [&](const Value* entry) {
    out.push_back(entry[0]);
    return true;
  });
  return true;
}

bool SubqueriesAllowThreads(const BExpr& expr) {
  if (expr.sub && !((expr.kind == BKind::Subquery || expr.kind == BKind::Exists ||
                     expr.kind == BKind::InSubquery) &&
                    (expr.sub->keyed || !expr.sub->correlated))) {
    return false;
  }
  for (const auto& arg : expr.args) {
    if (arg && !SubqueriesAllowThreads(*arg)) return false;
  }
  return (!expr.else_expr || SubqueriesAllowThreads(*expr.else_expr)) &&
         (!expr.operand || SubqueriesAllowThreads(*expr.operand));
}

void CollectKeyedSubqueries(const BExpr& expr, std::vector<const BExpr*>& out) {
  if ((expr.kind == BKind::Subquery || expr.kind == BKind::Exists) && expr.sub &&
      expr.sub->keyed) {
    out.push_back(&expr);
    return;
  }
  for (const auto& a : expr.args) {
    if (a) CollectKeyedSubqueries(*a, out);
  }
  if (expr.operand) CollectKeyedSubqueries(*expr.operand, out);
  if (expr.else_expr) CollectKeyedSubqueries(*expr.else_expr, out);
}

SubqueryLookahead::SubqueryLookahead(const std::vector<const BExpr*>& subqueries)
    : subqueries_(subqueries) {
  if (subqueries_.empty()) return;
  slots_.resize(kSlots);
  for (PreparedProbes& slot : slots_) {
    slot.probes.resize(subqueries_.size());
    for (size_t q = 0; q < subqueries_.size(); ++q) {
      slot.probes[q].expr = subqueries_[q];
      slot.probes[q].keys.resize(subqueries_[q]->sub->inner_keys.size());
    }
  }
}

void SubqueryLookahead::Prepare(size_t row, const EvalCtx& ctx) {
  if (subqueries_.empty()) return;
  PreparedProbes& slot = slots_[row % kSlots];
  slot.row = row;
  for (PreparedProbe& p : slot.probes) {
    const SubqueryPlan& plan = *p.expr->sub;
    p.srcs = ctx.srcs;
    p.state = PreparedProbe::State::None;
    if (!plan.ready.load(std::memory_order_acquire)) continue;
    try {
      const bool keyed = ProbeKeys(plan, ctx, p.keys.data());
      p.state = keyed ? PreparedProbe::State::Ready : PreparedProbe::State::NullKey;
    } catch (const SqlException&) {
      continue;
    }
    if (p.state != PreparedProbe::State::Ready) continue;
    p.hash = HashKey(p.keys.data(), plan.key_types.data(), plan.inner_keys.size());
    plan.index.PrefetchBucket(p.hash);
  }
  // The row half as far ahead has its buckets in the cache by now: request its entries.
  if (row >= kRowsAhead / 2) {
    PreparedProbes& nearer = slots_[(row - kRowsAhead / 2) % kSlots];
    if (nearer.row == row - kRowsAhead / 2) RequestEntries(nearer);
  }
}

void SubqueryLookahead::RequestEntries(PreparedProbes& slot) const {
  for (const PreparedProbe& p : slot.probes) {
    if (p.state != PreparedProbe::State::Ready) continue;
    const SubqueryPlan& plan = *p.expr->sub;
    const uint32_t head = plan.index.PrefetchHead(p.hash);
    if (head == HashIndex::kNone) continue;
    const Value* entry = plan.entry(head);
    __builtin_prefetch(entry);
    __builtin_prefetch(entry + plan.entry_width - 1);
  }
}

void SubqueryLookahead::Attach(size_t row, EvalCtx& ctx) const {
  if (subqueries_.empty()) return;
  const PreparedProbes& slot = slots_[row % kSlots];
  ctx.probes = slot.row == row ? &slot : nullptr;
}

Value EvalScalarSubquery(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  if (plan.keyed) {
    EnsureKeyedReady(plan, true, *ctx.env);
    Value result;
    int matches = 0;
    size_t nk = plan.inner_keys.size();
    ForRowMatches(expr, ctx, [&](const Value* entry) {
      if (++matches > 1) {
        if (plan.top1) return false;
        ThrowError(512);
      }
      result = entry[nk];
      return true;
    });
    return result;
  }
  if (!plan.correlated) {
    BuildOnce(plan, [&] {
      std::vector<Row> rows = RunQuery(*plan.query, nullptr, *ctx.env);
      if (rows.size() > 1) ThrowError(512);
      plan.scalar = rows.empty() ? Value() : rows[0][0];
    });
    return plan.scalar;
  }
  std::vector<Row> rows = RunQuery(*plan.query, &ctx, *ctx.env);
  if (rows.size() > 1) ThrowError(512);
  return rows.empty() ? Value() : rows[0][0];
}

Tri EvalExists(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  if (plan.keyed) {
    EnsureKeyedReady(plan, false, *ctx.env);
    bool found = false;
    ForRowMatches(expr, ctx, [&](const Value*) {
      found = true;
      return false;
    });
    return found ? Tri::True : Tri::False;
  }
  if (!plan.correlated) {
    BuildOnce(plan, [&] { plan.any_rows = QueryHasRows(*plan.query, *ctx.env); });
    return plan.any_rows ? Tri::True : Tri::False;
  }
  return RunQuery(*plan.query, &ctx, *ctx.env).empty() ? Tri::False : Tri::True;
}

namespace {

// An uncorrelated IN's subquery run once (under the plan's lock): its distinct values other
// than NULL in the comparison type, whether it has rows, and whether a NULL was among them.
void BuildUncorrelatedIn(const BExpr& expr, ExecEnv& env) {
  SubqueryPlan& plan = *expr.sub;
  const SqlType& column_type = plan.query->columns[0].type;
  BuildOnce(plan, [&] {
    std::vector<Row> rows = RunQuery(*plan.query, nullptr, env);
    plan.entries.clear();
    plan.entry_width = 1;
    plan.index.Reset(rows.size());
    plan.key_types = {expr.cmp_type};
    for (auto& row : rows) {
      if (row[0].is_null()) {
        plan.has_null = true;
        continue;
      }
      Value value = Convert(row[0], column_type, expr.cmp_type, CastMode::Implicit);
      size_t h = HashKey(&value, plan.key_types.data(), 1);
      bool dup = false;
      plan.index.ForEach(h, [&](uint32_t id) {
        if (Compare(plan.entries[id], value, expr.cmp_type) == 0) {
          dup = true;
          return false;
        }
        return true;
      });
      if (dup) continue;
      plan.index.Insert(h);
      plan.entries.push_back(std::move(value));
    }
    plan.any_rows = !rows.empty();
  });
}

}  // namespace

const SubqueryPlan& UncorrelatedInValues(const BExpr& expr, ExecEnv& env) {
  BuildUncorrelatedIn(expr, env);
  return *expr.sub;
}

Tri EvalInSubquery(const BExpr& expr, const EvalCtx& ctx) {
  SubqueryPlan& plan = *expr.sub;
  Value v = Eval(*expr.args[0], ctx);
  if (plan.keyed) {
    EnsureKeyedInReady(plan, *ctx.env, true, false);
    ProbeBuffer probe(plan.inner_keys.size());
    // A NULL correlation value matches no row: the subquery is empty for this row.
    if (!ProbeKeys(plan, ctx, 1, probe)) return Tri::False;
    if (!v.is_null()) {
      probe[0] = v;
      bool found = false;
      ForMatches(plan, probe, [&](const Value*) {
        found = true;
        return false;
      });
      if (found) return Tri::True;
    }
    // No match: the result depends on whether the subquery has rows, and NULLs, for this row.
    EnsureKeyedInReady(plan, *ctx.env, false, true);
    bool any = false, has_null = false;
    ForOuterMatches(plan, probe, [&](const Value* entry) {
      any = true;
      if (entry[0].is_null()) has_null = true;
      return !has_null;
    });
    if (!any) return Tri::False;
    return v.is_null() || has_null ? Tri::Unknown : Tri::False;
  }
  if (!plan.correlated) {
    BuildUncorrelatedIn(expr, *ctx.env);
    if (!plan.any_rows) return Tri::False;
    if (v.is_null()) return Tri::Unknown;
    bool found = false;
    plan.index.ForEach(HashKey(&v, plan.key_types.data(), 1), [&](uint32_t id) {
      if (Compare(plan.entries[id], v, expr.cmp_type) == 0) {
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
  const SqlType& column_type = plan.query->columns[0].type;
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
