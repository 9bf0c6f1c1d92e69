// Running a bound query: grouping by hash with aggregates, HAVING, projection, DISTINCT,
// a stable ORDER BY (NULLs first ascending), TOP [PERCENT] [WITH TIES], UNION [ALL], EXCEPT
// and INTERSECT.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "tsql/exec/aggregate.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/row_order.h"
#include "tsql/exec/statement_result.h"
#include "tsql/exec/two_halves.h"
#include "tsql/exec/window.h"
#include "tsql/functions/functions.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

void Distinct(std::vector<Row>& rows, const std::vector<SqlType>& types) {
  size_t n = types.size();
  HashIndex index;
  index.Reset(rows.size());
  std::vector<Row> kept;
  for (auto& row : rows) {
    size_t h = HashKey(row.data(), types.data(), n);
    bool dup = false;
    index.ForEach(h, [&](uint32_t id) {
      if (KeyEqual(kept[id].data(), row.data(), types.data(), n)) {
        dup = true;
        return false;
      }
      return true;
    });
    if (dup) continue;
    index.Insert(h);
    kept.push_back(std::move(row));
  }
  rows = std::move(kept);
}

// OFFSET n ROWS FETCH NEXT m ROWS ONLY: the rows after the first n, m of them (all without m).
void ApplyOffset(std::vector<Row>& rows, const BExpr& offset, const BExpr* fetch, ExecEnv& env) {
  EvalCtx ctx;
  ctx.env = &env;
  auto count = [&](const BExpr& e) -> std::optional<int64_t> {
    Value v = Eval(e, ctx);
    if (v.is_null()) return std::nullopt;
    return Convert(v, e.type, SqlType::BigInt(), CastMode::Implicit).int_value();
  };
  const std::optional<int64_t> skip = count(offset);
  if (!skip || *skip < 0) ThrowError(10742);
  if (fetch) {
    const std::optional<int64_t> take = count(*fetch);
    if (!take || *take <= 0) ThrowError(10744);
  }
  const size_t n = std::min(rows.size(), static_cast<size_t>(*skip));
  rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n));
  if (fetch) {
    const auto take = static_cast<size_t>(*count(*fetch));
    if (take < rows.size()) rows.resize(take);
  }
}

void ApplyTop(std::vector<Row>& rows, const BoundSpec& spec, const std::vector<SortKey>& keys,
              ExecEnv& env) {
  if (spec.offset) {
    ApplyOffset(rows, *spec.offset, spec.top.get(), env);
    return;
  }
  if (!spec.top) return;
  EvalCtx ctx;
  ctx.env = &env;
  Value v = Eval(*spec.top, ctx);
  if (v.is_null()) return;
  size_t n;
  if (spec.top_percent) {
    double pct = Convert(v, spec.top->type, SqlType::Float(), CastMode::Implicit).float_value();
    n = static_cast<size_t>(std::ceil(pct * static_cast<double>(rows.size()) / 100.0 - 1e-9));
  } else {
    int64_t t = Convert(v, spec.top->type, SqlType::BigInt(), CastMode::Implicit).int_value();
    n = t < 0 ? 0 : static_cast<size_t>(t);
  }
  if (n >= rows.size()) return;
  if (spec.with_ties && n > 0) {
    while (n < rows.size() && CompareRows(rows[n - 1], rows[n], keys) == 0) ++n;
  }
  rows.resize(n);
}

// The output rows of a query scope; with a sink (only for a scope without DISTINCT, ORDER BY
// and TOP) each row goes to the sink as it is made instead, and none is returned. With a
// visitor, each output row also keeps its context (the tuple and the group's aggregate
// results; the row's number among them is one more value at its end), and the visitor gets
// the contexts in output order once DISTINCT, ORDER BY and TOP are done.
std::vector<Row> RunSpec(BoundQuery& query, const EvalCtx* outer, ExecEnv& env,
                         const RowSink* sink = nullptr, const SplitSinks* split = nullptr,
                         const RowVisitor* visit = nullptr) {
  CheckCancel(env);
  BoundSpec& spec = *query.spec;
  TupleSet tuples = RunFrom(spec, outer, env);
  size_t nsel = spec.select.size();
  std::vector<const BExpr*> hidden;
  for (const auto& o : spec.order) {
    if (o.expr) hidden.push_back(o.expr.get());
  }
  // "SELECT *" of one source: each output row starts as a copy of that source's row.
  int whole_row = -1;
  if (!spec.grouped && nsel > 0 && spec.select[0]->kind == BKind::Column &&
      spec.select[0]->depth == 0) {
    whole_row = spec.select[0]->src;
    for (size_t i = 0; i < nsel && whole_row >= 0; ++i) {
      const BExpr& e = *spec.select[i];
      if (e.kind != BKind::Column || e.depth != 0 || e.src != whole_row ||
          e.col != static_cast<int>(i)) {
        whole_row = -1;
      }
    }
    if (whole_row >= 0) {
      const BoundSource& src = spec.sources[static_cast<size_t>(whole_row)];
      if (src.columns.size() != nsel) whole_row = -1;
    }
  }
  std::vector<Row> out;
  Row scratch;  // the row handed to the sink, reused
  // Visiting: the tuples (tuples.width row pointers each) and aggregate results (one per
  // aggregate each) of the output rows, in the order they were made.
  std::vector<const Row*> visited_tuples;
  std::vector<Value> visited_aggs;
  std::vector<Value> visited_windows;
  size_t visited_count = 0;
  const size_t naggs = spec.aggregates.size();
  // The window functions' values of the rows, row after row (computed before projecting).
  const size_t nwin = spec.windows.size();
  std::vector<Value> window_values;
  // The visitor evaluates the select items again, row by row, once earlier rows have assigned
  // their variables: here only the items DISTINCT or ORDER BY needs are made (an item reading
  // a variable the same row assigns first must not be evaluated with its old value).
  std::vector<bool> made;
  if (visit) {
    made.assign(nsel, spec.distinct);
    for (const auto& o : spec.order) {
      if (o.output >= 0) made[static_cast<size_t>(o.output)] = true;
    }
  }
  // The values of a tuple's output row: a copy of the whole source row, or the select items
  // (when visiting, only those DISTINCT or ORDER BY needs), then the hidden ORDER BY values.
  auto make_row = [&](const EvalCtx& ctx, Row& row) {
    row.reserve(nsel + hidden.size() + (visit ? 1 : 0));
    const Row* whole = whole_row >= 0 ? ctx.srcs[whole_row] : nullptr;
    if (whole && whole->size() == nsel) {
      row.assign(whole->begin(), whole->end());
    } else if (!visit) {
      for (const auto& s : spec.select) row.push_back(Eval(*s, ctx));
    } else {
      for (size_t i = 0; i < nsel; ++i) {
        row.push_back(made[i] ? Eval(*spec.select[i], ctx) : Value());
      }
    }
    for (const BExpr* h : hidden) row.push_back(Eval(*h, ctx));
  };
  auto project = [&](const EvalCtx& ctx) {
    Row row = std::move(scratch);
    row.clear();
    make_row(ctx, row);
    if (visit) {
      row.push_back(Value::Int(static_cast<int64_t>(visited_count++)));
      visited_tuples.insert(visited_tuples.end(), ctx.srcs, ctx.srcs + tuples.width);
      if (naggs) visited_aggs.insert(visited_aggs.end(), ctx.aggs, ctx.aggs + naggs);
      if (nwin) visited_windows.insert(visited_windows.end(), ctx.windows, ctx.windows + nwin);
    }
    if (sink) {
      (*sink)(row);
      scratch = std::move(row);
    } else {
      out.push_back(std::move(row));
      ChargeRows(out.size(), sizeof(Row) + out.back().capacity() * sizeof(Value));
    }
  };
  EvalCtx ctx;
  ctx.outer = outer;
  ctx.env = &env;
  // Keyed subqueries in the select list get their probes prepared a few rows early.
  std::vector<const BExpr*> subqueries;
  for (const auto& s : spec.select) CollectKeyedSubqueries(*s, subqueries);
  EvalCtx ahead = ctx;
  constexpr size_t kAhead = kRowsAhead;
  // So are the columns the loop below reads from each tuple's rows.
  std::vector<std::pair<int, int>> columns;
  auto prefetch_columns = [&](const Row* const* tuple) { PrefetchColumns(tuple, columns); };

  if (!spec.grouped) {
    if (whole_row < 0) {
      for (const auto& s : spec.select) CollectOwnColumns(*s, columns);
    }
    for (const BExpr* h : hidden) CollectOwnColumns(*h, columns);
    if (!sink) out.reserve(tuples.count);
    if (nwin) {
      window_values = ComputeWindows(spec.windows, tuples.count, ctx,
                                     [&](size_t i, EvalCtx& c) { c.srcs = tuples.at(i); });
    }
    // Calls body(ctx) for the tuples [begin, end), with what they read requested ahead.
    auto for_tuples = [&](size_t begin, size_t end, const std::atomic<bool>* stop, auto&& body) {
      EvalCtx row_ctx = ctx;
      EvalCtx row_ahead = ctx;
      SubqueryLookahead lookahead(subqueries);
      for (size_t i = begin; i < end; ++i) {
        if (stop && (i & 1023) == 0 && stop->load(std::memory_order_relaxed)) return;
        if (i + kAhead < end) {
          prefetch_columns(tuples.at(i + kAhead));
          if (!lookahead.empty()) {
            row_ahead.srcs = tuples.at(i + kAhead);
            lookahead.Prepare(i + kAhead, row_ahead);
          }
        }
        row_ctx.srcs = tuples.at(i);
        if (nwin) row_ctx.windows = window_values.data() + i * nwin;
        lookahead.Attach(i, row_ctx);
        body(row_ctx);
      }
    };
    if (split && hidden.empty() &&
        std::all_of(spec.select.begin(), spec.select.end(),
                    [](const BExprPtr& e) { return SubqueriesAllowThreads(*e); }) &&
        split->ready(tuples.count)) {
      // Two halves on two threads, each to its own sink.
      RunTwoHalves(tuples.count, [&](size_t begin, size_t end, const std::atomic<bool>* stop) {
        const RowSink& to = begin == 0 ? split->first : split->second;
        Row row;
        for_tuples(begin, end, stop, [&](const EvalCtx& row_ctx) {
          row.clear();
          row.reserve(nsel);
          for (const auto& item : spec.select) row.push_back(Eval(*item, row_ctx));
          to(row);
        });
      });
      if (split->joined) split->joined();
      return out;
    }
    auto allow_threads = [](const auto& exprs) {
      return std::all_of(exprs.begin(), exprs.end(),
                         [](const auto& e) { return SubqueriesAllowThreads(*e); });
    };
    if (!sink && !visit && WorthTwoThreads(tuples.count, 65536) && allow_threads(spec.select) &&
        allow_threads(hidden)) {
      // The rows of a large result that is held (to be sorted, made distinct or returned
      // whole): made as two halves on two threads, the second appended to the first.
      std::vector<Row> second;
      RunTwoHalves(tuples.count, [&](size_t begin, size_t end, const std::atomic<bool>* stop) {
        std::vector<Row>& into = begin == 0 ? out : second;
        into.reserve(end - begin);
        for_tuples(begin, end, stop, [&](const EvalCtx& row_ctx) {
          Row row;
          make_row(row_ctx, row);
          into.push_back(std::move(row));
          ChargeRows(into.size(), sizeof(Row) + into.back().capacity() * sizeof(Value));
        });
      });
      std::move(second.begin(), second.end(), std::back_inserter(out));
    } else {
      for_tuples(0, tuples.count, nullptr, project);
    }
  } else {
    size_t ng = spec.group_by.size();
    size_t na = spec.aggregates.size();
    std::vector<AggregateSpec> aggs;
    for (const BExpr* a : spec.aggregates) aggs.push_back(AggregateSpec::From(*a));
    std::vector<SqlType> key_types;
    for (const auto& g : spec.group_by) key_types.push_back(g->type);
    for (const auto& g : spec.group_by) CollectOwnColumns(*g, columns);
    for (const AggregateSpec& a : aggs) {
      if (a.arg_expr) CollectOwnColumns(*a.arg_expr, columns);
      if (a.separator) CollectOwnColumns(*a.separator, columns);
      for (const BExpr* key : a.order) CollectOwnColumns(*key, columns);
    }
    // Groups in the order of their first row: their keys, that row, the accumulators.
    struct alignas(64) Groups {  // a line of its own: each thread of a split grouping adds to one
      HashIndex index;
      std::vector<size_t> hashes;
      std::vector<Value> keys;
      std::vector<size_t> representative;
      // The groups' accumulators, naggs a group, in chunks of 16, 32, 64, ... groups: adding
      // a group never moves the others' (one vector of all would, holding both copies as it
      // grows), and a grouping of a few groups allocates a few.
      std::vector<std::unique_ptr<Accumulator[]>> chunks;
      size_t naggs = 0;
      bool saw_null = false;  // an aggregate's argument was NULL in some row

      // Chunk c holds groups 16 * (2^c - 1) up to 16 * (2^(c+1) - 1).
      static size_t ChunkOf(size_t group) { return std::bit_width(group / 16 + 1) - 1; }
      Accumulator* StatesOf(size_t group) {
        const size_t c = ChunkOf(group);
        return chunks[c].get() + (group - 16 * ((size_t{1} << c) - 1)) * naggs;
      }
      void AddStates(size_t group) {
        if (const size_t c = ChunkOf(group); c == chunks.size()) {
          chunks.push_back(std::make_unique<Accumulator[]>((size_t{16} << c) * naggs));
        }
      }

      size_t Find(size_t h, const Value* key, const std::vector<SqlType>& types) const {
        size_t found = SIZE_MAX;
        const size_t n = types.size();
        index.ForEach(h, [&](uint32_t id) {
          if (!KeyEqual(keys.data() + id * n, key, types.data(), n)) return true;
          found = id;
          return false;
        });
        return found;
      }
      // A new group (after the others); returns its number.
      size_t Add(size_t h, const Value* key, size_t nkeys, size_t first_row) {
        index.Insert(h);
        hashes.push_back(h);
        keys.insert(keys.end(), key, key + nkeys);
        representative.push_back(first_row);
        AddStates(representative.size() - 1);
        ChargeRows(representative.size(),
                   sizeof(size_t) * 2 + nkeys * sizeof(Value) + naggs * sizeof(Accumulator));
        return representative.size() - 1;
      }
    };
    auto group_rows = [&](size_t begin, size_t end, Groups& groups,
                          const std::atomic<bool>* stop) {
      EvalCtx row_ctx = ctx;
      std::vector<Value> key(ng);
      for (size_t i = begin; i < end; ++i) {
        if (stop && (i & 1023) == 0 && stop->load(std::memory_order_relaxed)) return;
        if (i + kAhead < end) prefetch_columns(tuples.at(i + kAhead));
        row_ctx.srcs = tuples.at(i);
        for (size_t k = 0; k < ng; ++k) key[k] = Eval(*spec.group_by[k], row_ctx);
        const size_t h = HashKey(key.data(), key_types.data(), ng);
        size_t group = groups.Find(h, key.data(), key_types);
        if (group == SIZE_MAX) group = groups.Add(h, key.data(), ng, i);
        Accumulator* acc = groups.StatesOf(group);
        for (size_t a = 0; a < na; ++a) {
          if (aggs[a].fn == AggregateSpec::Fn::CountStar) {
            acc[a].AddRow();
          } else if (aggs[a].fn == AggregateSpec::Fn::StringAgg) [[unlikely]] {
            Value v = Eval(*aggs[a].arg_expr, row_ctx);
            if (v.is_null()) {
              groups.saw_null = true;
              continue;
            }
            std::vector<Value> keys;
            keys.reserve(aggs[a].order.size());
            for (const BExpr* key : aggs[a].order) keys.push_back(Eval(*key, row_ctx));
            acc[a].AddString(v, Eval(*aggs[a].separator, row_ctx), std::move(keys));
          } else {
            Value v = Eval(*aggs[a].arg_expr, row_ctx);
            if (v.is_null()) [[unlikely]] groups.saw_null = true;
            acc[a].Add(aggs[a], v);
          }
        }
      }
    };
    // A large grouping runs on two threads, each grouping half of the rows, when every
    // aggregate can be combined exactly from two halves (no DISTINCT, no floating-point sum)
    // and the keys' and arguments' subqueries allow it (see SubqueriesAllowThreads). The
    // second half's groups are then merged into the first's: a group already there takes
    // its accumulators, a new one is added after the first half's, which keeps the order of
    // first rows. When both halves fail, the first half's error is the one raised.
    const bool two_threads =
        WorthTwoThreads(tuples.count, 65536) &&
        std::all_of(aggs.begin(), aggs.end(), [](const AggregateSpec& a) {
          return Accumulator::Mergeable(a) &&
                 (!a.arg_expr || SubqueriesAllowThreads(*a.arg_expr));
        }) &&
        std::all_of(spec.group_by.begin(), spec.group_by.end(),
                    [](const BExprPtr& g) { return SubqueriesAllowThreads(*g); });
    Groups groups;
    groups.naggs = na;
    if (two_threads) {
      Groups second;
      second.naggs = na;
      RunTwoHalves(tuples.count, [&](size_t begin, size_t end, const std::atomic<bool>* stop) {
        group_rows(begin, end, begin == 0 ? groups : second, stop);
      });
      for (size_t g = 0; g < second.representative.size(); ++g) {
        const Value* key = second.keys.data() + g * ng;
        const size_t h = second.hashes[g];
        size_t into = groups.Find(h, key, key_types);
        if (into == SIZE_MAX) into = groups.Add(h, key, ng, second.representative[g]);
        for (size_t a = 0; a < na; ++a) {
          groups.StatesOf(into)[a].Merge(aggs[a], second.StatesOf(g)[a]);
        }
      }
      groups.saw_null = groups.saw_null || second.saw_null;
    } else {
      group_rows(0, tuples.count, groups, nullptr);
    }
    // An aggregate that skipped a NULL makes the statement send warning 8153.
    if (groups.saw_null && ctx.env) ctx.env->null_eliminated = true;
    std::vector<size_t>& representative = groups.representative;
    std::vector<const Row*> nulls(tuples.width, nullptr);
    if (ng == 0 && representative.empty()) {
      representative.push_back(SIZE_MAX);
      groups.AddStates(0);
    }
    std::vector<Value> results(na);
    if (nwin) {
      // The groups HAVING keeps and their aggregates; then the windows over them.
      std::vector<size_t> kept;
      std::vector<Value> kept_results;
      for (size_t g = 0; g < representative.size(); ++g) {
        for (size_t a = 0; a < na; ++a) results[a] = groups.StatesOf(g)[a].Finish(aggs[a]);
        ctx.srcs = representative[g] == SIZE_MAX ? nulls.data() : tuples.at(representative[g]);
        ctx.aggs = results.data();
        if (spec.having && EvalPred(*spec.having, ctx) != Tri::True) continue;
        kept.push_back(representative[g]);
        kept_results.insert(kept_results.end(), results.begin(), results.end());
      }
      auto set_group = [&](size_t k, EvalCtx& c) {
        c.srcs = kept[k] == SIZE_MAX ? nulls.data() : tuples.at(kept[k]);
        c.aggs = kept_results.data() + k * na;
      };
      window_values = ComputeWindows(spec.windows, kept.size(), ctx, set_group);
      for (size_t k = 0; k < kept.size(); ++k) {
        set_group(k, ctx);
        ctx.windows = window_values.data() + k * nwin;
        project(ctx);
      }
      representative.clear();
    }
    SubqueryLookahead lookahead(subqueries);
    for (size_t g = 0; g < representative.size(); ++g) {
      if (!lookahead.empty() && g + kAhead < representative.size() &&
          representative[g + kAhead] != SIZE_MAX) {
        ahead.srcs = tuples.at(representative[g + kAhead]);
        lookahead.Prepare(g + kAhead, ahead);
      }
      for (size_t a = 0; a < na; ++a) results[a] = groups.StatesOf(g)[a].Finish(aggs[a]);
      ctx.srcs = representative[g] == SIZE_MAX ? nulls.data() : tuples.at(representative[g]);
      lookahead.Attach(g, ctx);
      ctx.aggs = results.data();
      if (spec.having && EvalPred(*spec.having, ctx) != Tri::True) continue;
      project(ctx);
    }
    ctx.aggs = nullptr;
    ctx.probes = nullptr;
    ctx.windows = nullptr;
  }

  if (spec.distinct) {
    std::vector<SqlType> types;
    for (const auto& c : query.columns) types.push_back(c.type);
    Distinct(out, types);
  }
  std::vector<SortKey> keys;
  size_t hidden_index = 0;
  for (const auto& o : spec.order) {
    if (o.output >= 0) {
      keys.push_back({static_cast<size_t>(o.output), query.columns[o.output].type, o.desc});
    } else {
      keys.push_back({nsel + hidden_index++, o.expr->type, o.desc});
    }
  }
  SortRows(out, keys);
  ApplyTop(out, spec, keys, env);
  if (visit) {
    EvalCtx row_ctx;
    row_ctx.outer = outer;
    row_ctx.env = &env;
    for (const Row& row : out) {
      const size_t place = static_cast<size_t>(row.back().int_value());
      row_ctx.srcs = visited_tuples.data() + place * tuples.width;
      row_ctx.aggs = naggs ? visited_aggs.data() + place * naggs : nullptr;
      row_ctx.windows = nwin ? visited_windows.data() + place * nwin : nullptr;
      (*visit)(row_ctx);
    }
    return out;
  }
  if (!hidden.empty()) {
    for (auto& row : out) row.resize(nsel);
  }
  return out;
}

// EXCEPT / INTERSECT: the distinct rows of `rows` that are (matching) or are not (!matching)
// among `other`, in their first order. Rows compare as DISTINCT compares them: NULLs equal,
// strings under the collation with trailing blanks ignored.
void KeepMatching(std::vector<Row>& rows, const std::vector<Row>& other,
                  const std::vector<SqlType>& types, bool matching) {
  Distinct(rows, types);
  const size_t n = types.size();
  HashIndex index;
  index.Reset(other.size());
  for (const Row& row : other) index.Insert(HashKey(row.data(), types.data(), n));
  std::vector<Row> kept;
  for (Row& row : rows) {
    bool found = false;
    index.ForEach(HashKey(row.data(), types.data(), n), [&](uint32_t id) {
      found = KeyEqual(other[id].data(), row.data(), types.data(), n);
      return !found;
    });
    if (found == matching) kept.push_back(std::move(row));
  }
  rows = std::move(kept);
}

void ConvertColumns(std::vector<Row>& rows, const std::vector<ResultColumn>& from,
                    const std::vector<ResultColumn>& to) {
  for (size_t c = 0; c < to.size(); ++c) {
    if (from[c].type == to[c].type) continue;
    for (auto& row : rows) row[c] = Convert(row[c], from[c].type, to[c].type, CastMode::Implicit);
  }
}

}  // namespace

bool RunQuerySharingRows(BoundQuery& query, ExecEnv& env, StatementResult& result) {
  if (!query.spec) return false;
  BoundSpec& spec = *query.spec;
  if (spec.grouped || spec.distinct || spec.top || spec.having || !spec.aggregates.empty() ||
      spec.sources.size() != 1 || !spec.sources[0].table) {
    return false;
  }
  auto table_column = [](const BExpr& e) {
    return e.kind == BKind::Column && e.depth == 0 && e.src == 0 ? e.col : -1;
  };
  std::vector<uint32_t> columns;
  columns.reserve(spec.select.size());
  for (const auto& item : spec.select) {
    const int c = table_column(*item);
    if (c < 0) return false;
    columns.push_back(static_cast<uint32_t>(c));
  }
  std::vector<SortKey> keys;
  for (const auto& o : spec.order) {
    const BExpr* e =
        o.output >= 0 ? spec.select[static_cast<size_t>(o.output)].get() : o.expr.get();
    const int c = e ? table_column(*e) : -1;
    if (c < 0) return false;
    keys.push_back({static_cast<size_t>(c), e->type, o.desc});
  }

  TupleSet tuples = RunFrom(spec, nullptr, env);
  // Nothing changes the table while the statement runs: the tuples point into these rows.
  std::shared_ptr<const std::vector<Row>> rows = spec.sources[0].table->shared_rows();
  const Row* base = rows->data();
  const Row* const* picked = tuples.slots.data();
  std::vector<uint32_t> order(tuples.count);
  if (keys.empty() || tuples.count < 2) {
    for (size_t i = 0; i < tuples.count; ++i) order[i] = static_cast<uint32_t>(picked[i] - base);
  } else {
    const std::vector<uint32_t> sorted = SortedOrder(picked, tuples.count, keys);
    for (size_t i = 0; i < tuples.count; ++i) {
      order[i] = static_cast<uint32_t>(picked[sorted[i]] - base);
    }
  }
  result.shared_rows = std::move(rows);
  result.shared_order = std::move(order);
  result.shared_columns = std::move(columns);
  return true;
}

bool StreamsRows(const BoundQuery& query) {
  if (query.is_values || query.recursive) return false;
  if (query.spec) {
    return !query.spec->distinct && !query.spec->top && query.spec->order.empty();
  }
  return query.union_all && query.order.empty() && StreamsRows(*query.left) &&
         StreamsRows(*query.right);
}

void RunQueryStreaming(BoundQuery& query, ExecEnv& env, const RowSink& sink,
                       const SplitSinks* split) {
  if (query.spec) {
    RunSpec(query, nullptr, env, &sink, split);
    return;
  }
  // UNION ALL: the left part's rows, then the right part's, each in the union's types.
  for (BoundQuery* part : {query.left.get(), query.right.get()}) {
    std::vector<size_t> differ;
    for (size_t c = 0; c < query.columns.size(); ++c) {
      if (!(part->columns[c].type == query.columns[c].type)) differ.push_back(c);
    }
    auto converting = [&](const RowSink& to) -> RowSink {
      if (differ.empty()) return to;
      return [&](Row& row) {
        for (size_t c : differ) {
          row[c] = Convert(row[c], part->columns[c].type, query.columns[c].type,
                           CastMode::Implicit);
        }
        to(row);
      };
    };
    const RowSink part_sink = converting(sink);
    if (!split) {
      RunQueryStreaming(*part, env, part_sink, nullptr);
      continue;
    }
    SplitSinks part_split{split->ready, converting(split->first), converting(split->second),
                          split->joined};
    RunQueryStreaming(*part, env, part_sink, &part_split);
  }
}

size_t RunQueryVisiting(BoundQuery& query, ExecEnv& env, const RowVisitor& visit) {
  if (!query.spec) throw std::logic_error("RunQueryVisiting: not a query scope");
  return RunSpec(query, nullptr, env, nullptr, nullptr, &visit).size();
}

namespace {

// STRING_SPLIT's rows: the parts of `text` between single-character separators (empty parts
// included), each with its 1-based position when `ordinal`; none for a NULL string.
std::vector<Row> SplitString(const Value& text, const Value& separator, const SqlType& separator_type,
                             bool ordinal) {
  std::string scratch;
  if (separator.is_null()) ThrowError(214, {"separator", "nchar(1)/nvarchar(1)"});
  const std::string_view sep =
      separator.kind() == Value::Kind::String ? separator.string_value() : (scratch = ToText(separator, separator_type));
  if (util::CharCount(sep) != 1) ThrowError(214, {"separator", "nchar(1)/nvarchar(1)"});
  std::vector<Row> rows;
  if (text.is_null()) return rows;
  const std::string_view s = text.string_value();
  size_t start = 0;
  for (int64_t n = 1;; ++n) {
    const size_t at = s.find(sep, start);
    Row row;
    row.reserve(2);
    row.push_back(Value::String(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
    if (ordinal) row.push_back(Value::Int(n));
    rows.push_back(std::move(row));
    if (at == std::string_view::npos) break;
    start = at + sep.size();
  }
  return rows;
}

}  // namespace

std::vector<Row> RunQuery(BoundQuery& query, const EvalCtx* outer, ExecEnv& env) {
  if (query.spec) return RunSpec(query, outer, env);
  if (query.for_rows) {
    std::vector<Row> rows(1);
    const std::vector<Row> source = RunQuery(*query.for_rows, outer, env);
    rows[0].push_back(query.for_clause->json ? JsonOfRows(source, query.for_rows->columns, *query.for_clause)
                                             : XmlOfRows(source, query.for_rows->columns, *query.for_clause));
    return rows;
  }
  if (query.recursive) return RunRecursiveCte(*query.recursive, env);
  if (query.string_split) {
    EvalCtx ctx;
    ctx.outer = outer;
    ctx.env = &env;
    return SplitString(Eval(*query.values[0][0], ctx), Eval(*query.values[0][1], ctx),
                       query.values[0][1]->type, query.split_ordinal);
  }
  if (query.openjson) {
    EvalCtx ctx;
    ctx.outer = outer;
    ctx.env = &env;
    const Value json = Eval(*query.values[0][0], ctx);
    const Value path = query.values[0].size() > 1 ? Eval(*query.values[0][1], ctx) : Value();
    std::vector<Row> rows;
    if (json.is_null() || (query.values[0].size() > 1 && path.is_null())) return rows;
    for (auto& [key, value, type] :
         OpenJsonRows(json.string_value(), path.is_null() ? "$" : path.string_value())) {
      rows.push_back({std::move(key), std::move(value), Value::Int(type)});
    }
    return rows;
  }
  if (query.is_values) {
    EvalCtx ctx;
    ctx.outer = outer;
    ctx.env = &env;
    std::vector<Row> rows;
    rows.reserve(query.values.size());
    for (const auto& exprs : query.values) {
      Row row;
      row.reserve(exprs.size());
      for (const auto& e : exprs) row.push_back(Eval(*e, ctx));
      rows.push_back(std::move(row));
    }
    return rows;
  }
  std::vector<Row> rows = RunQuery(*query.left, outer, env);
  ConvertColumns(rows, query.left->columns, query.columns);
  std::vector<Row> right = RunQuery(*query.right, outer, env);
  ConvertColumns(right, query.right->columns, query.columns);
  std::vector<SqlType> types;
  for (const auto& c : query.columns) types.push_back(c.type);
  if (query.set_op == ast::QueryExpr::SetOp::Union) {
    rows.reserve(rows.size() + right.size());
    for (auto& r : right) rows.push_back(std::move(r));
    if (!query.union_all) Distinct(rows, types);
  } else {
    KeepMatching(rows, right, types, query.set_op == ast::QueryExpr::SetOp::Intersect);
  }
  std::vector<SortKey> keys;
  for (const auto& o : query.order) {
    keys.push_back({static_cast<size_t>(o.output), query.columns[o.output].type, o.desc});
  }
  SortRows(rows, keys);
  if (query.offset) ApplyOffset(rows, *query.offset, query.fetch.get(), env);
  return rows;
}

}  // namespace orv::tsql
