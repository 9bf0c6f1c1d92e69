// FROM and WHERE: scans with pushed-down single-table filters, join trees executed as hash
// joins on their equality conditions (nested loops only without one), and the comma-separated
// units joined greedily along the equalities found in WHERE. Filtered scans, filters and hash
// joins over many rows run on every core (morsels.h), their tuples kept in the order one
// thread would have made them. This file: the scans, the filters and the run of a scope;
// from_join.cpp has the joins, from_join_keys.cpp the key values that select rows first.
#include <algorithm>
#include <bit>
#include <iterator>
#include <memory>
#include <numeric>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/from_runner.h"
#include "tsql/exec/morsels.h"
#include "tsql/exec/scan_filter.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

void TupleSet::Grow() {
  const size_t capacity = std::max(slots.capacity() * 2, width * 64);
  ChargeMemory(static_cast<int64_t>((capacity - slots.capacity()) * sizeof(const Row*)));
  slots.reserve(capacity);
}

namespace from {

Mask MaskOf(const BExpr& e) {
  std::vector<int> sources;
  CollectSources(e, sources);
  Mask m = 0;
  for (int s : sources) m |= Mask{1} << s;
  return m;
}

bool AllowThreads(const std::vector<const BExpr*>& exprs) {
  return std::all_of(exprs.begin(), exprs.end(),
                     [](const BExpr* e) { return SubqueriesAllowThreads(*e); });
}

TupleSet Concatenate(std::vector<TupleSet>& parts, size_t width) {
  TupleSet out;
  out.width = width;
  size_t slots = 0;
  for (const TupleSet& part : parts) slots += part.slots.size();
  ChargeMemory(static_cast<int64_t>(slots * sizeof(const Row*)));
  out.slots.reserve(slots);
  for (TupleSet& part : parts) {
    out.slots.insert(out.slots.end(), part.slots.begin(), part.slots.end());
    out.count += part.count;
    std::vector<const Row*>().swap(part.slots);
  }
  return out;
}

bool AsJoinKey(const BExpr& c, Mask lmask, Mask rmask, JoinKey& key) {
  if (c.kind != BKind::Compare || c.op != ast::Op::Eq) return false;
  Mask a = MaskOf(*c.args[0]);
  Mask b = MaskOf(*c.args[1]);
  if (a == 0 || b == 0) return false;
  if (Within(a, lmask) && Within(b, rmask)) {
    key = {c.args[0].get(), c.args[1].get(), c.cmp_type};
    return true;
  }
  if (Within(b, lmask) && Within(a, rmask)) {
    key = {c.args[1].get(), c.args[0].get(), c.cmp_type};
    return true;
  }
  return false;
}

bool IsPassThrough(const BoundQuery& q) {
  if (!q.spec) return false;
  const BoundSpec& s = *q.spec;
  if (s.sources.size() != 1 || !s.sources[0].table || s.grouped || s.distinct || s.top ||
      s.having || !s.order.empty() || !s.aggregates.empty()) {
    return false;
  }
  const Table& table = *s.sources[0].table;
  if (s.select.size() != table.columns.size() || q.columns.size() != table.columns.size()) {
    return false;
  }
  for (size_t i = 0; i < s.select.size(); ++i) {
    const BExpr& e = *s.select[i];
    if (e.kind != BKind::Column || e.depth != 0 || e.src != 0 || e.col != static_cast<int>(i) ||
        !(e.type == table.columns[i].type) || !(q.columns[i].type == e.type)) {
      return false;
    }
  }
  return true;
}

namespace {

// The index over column `col` of a table source, built on first use for the rest of the
// statement: a large table's integer column from its array, so that a table whose rows are
// made on demand makes only the rows found; otherwise from the rows, all of them made.
const ColumnIndex& IndexOf(BoundSource& src, int col, const SqlType& type) {
  for (const auto& index : src.column_indexes) {
    if (index->col == col && index->type == type) return *index;
  }
  auto index = std::make_unique<ColumnIndex>();
  index->col = col;
  index->type = type;
  const std::vector<Row>& rows = *src.rows;
  if (type.IsInteger() && src.rows == &src.table->row_slots() && rows.size() >= kArraysFrom) {
    index->array = src.table->ColumnAsArray(col);
    if (index->array && (!index->array->usable || index->array->values.size() != rows.size())) {
      index->array = nullptr;
    }
  }
  if (!index->array) src.table->rows();
  const Table::ColumnArray* array = index->array.get();
  std::vector<size_t> hashes;
  hashes.reserve(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    if (array) {
      if (array->nulls[r]) continue;
      const Value v = Value::Int(array->values[r]);
      hashes.push_back(HashKey(&v, &type, 1));
    } else {
      const Value& v = rows[r][static_cast<size_t>(col)];
      if (v.is_null()) continue;
      hashes.push_back(HashKey(&v, &type, 1));
    }
    index->row_ids.push_back(static_cast<uint32_t>(r));
  }
  index->index.Reset(hashes.size());
  index->index.InsertMany(hashes);
  src.column_indexes.push_back(std::move(index));
  return *src.column_indexes.back();
}

// A bare column of `source` compared in its own type.
bool IsSourceColumn(const BExpr& e, int source, const SqlType& cmp_type) {
  return e.kind == BKind::Column && e.depth == 0 && e.src == source && e.type == cmp_type;
}

}  // namespace

// A query run once per outer row reads a table through a column index when one of the
// table's filters is "column = value" or "column IN (keyed subquery)" whose other side reads
// nothing of this scope: only the rows holding those values are tested, in table order.
bool FromRunner::IndexedScan(int source, TupleSet& out) {
  BoundSource& src = spec_.sources[source];
  if (!src.table || src.rows->empty()) return false;
  const auto& filters = scan_filters_[source];
  std::vector<const Row*> scratch(width_, nullptr);
  EvalCtx ctx = Ctx(scratch.data());
  std::vector<Value> values;
  const BExpr* column = nullptr;
  const BExpr* driver = nullptr;  // the filter whose values select the rows
  for (const BExpr* f : filters) {
    if (f->kind == BKind::Compare && f->op == ast::Op::Eq) {
      for (int side = 0; side < 2 && !column; ++side) {
        const BExpr& c = *f->args[side];
        const BExpr& other = *f->args[1 - side];
        if (IsSourceColumn(c, source, f->cmp_type) && MaskOf(other) == 0) {
          values.push_back(Eval(other, ctx));
          column = &c;
        }
      }
    } else if (f->kind == BKind::InSubquery && IsSourceColumn(*f->args[0], source, f->cmp_type)) {
      if (ListInSubqueryValues(*f, ctx, values)) column = f->args[0].get();
    }
    if (column) {
      driver = f;
      break;
    }
  }
  if (!column) return false;
  const SqlType& type = column->type;
  const ColumnIndex& index = IndexOf(src, column->col, type);
  const std::vector<Row>& rows = *src.rows;
  // Values are compared with the array's integers (every one an integer, as the column's type
  // makes them), else with the rows, made for it.
  const Table::ColumnArray* array = index.array.get();
  if (array && !std::all_of(values.begin(), values.end(), [](const Value& v) {
        return v.is_null() || v.kind() == Value::Kind::Int;
      })) {
    src.table->rows();
    array = nullptr;
  }
  const auto col = static_cast<size_t>(column->col);
  // The values' buckets are requested together rather than waited for one by one.
  std::vector<size_t> hashes(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].is_null()) continue;
    hashes[i] = HashKey(&values[i], &type, 1);
    index.index.PrefetchBucket(hashes[i]);
  }
  std::vector<uint32_t> ids;
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    if (v.is_null()) continue;
    index.index.ForEach(hashes[i], [&](uint32_t id) {
      uint32_t r = index.row_ids[id];
      if (array ? array->values[r] == v.int_value() : KeyEqual(&rows[r][col], &v, &type, 1)) {
        ids.push_back(r);
      }
      return true;
    });
  }
  if (values.size() > 1) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  }
  if (array) src.table->MakeRows(ids);
  // A row found through the index holds one of the values, so the filter that gave them holds
  // for it (the column equals the value; the value is one the IN subquery returns for this
  // outer row): only the other filters are tested.
  for (uint32_t r : ids) {
    scratch[source] = &rows[r];
    bool pass = true;
    for (const BExpr* f : filters) {
      if (f == driver) continue;
      if (EvalPred(*f, ctx) != Tri::True) {
        pass = false;
        break;
      }
    }
    if (pass) out.Append(scratch.data());
  }
  return true;
}

TupleSet FromRunner::Scan(int source) {
  TupleSet out;
  out.width = width_;
  if (outer_ && IndexedScan(source, out)) return out;
  if (deferred_[static_cast<size_t>(source)]) RunPassThrough(source);
  const BoundSource& src = spec_.sources[source];
  const auto& filters = scan_filters_[source];
  std::vector<const Row*> scratch(width_, nullptr);
  EvalCtx ctx = Ctx(scratch.data());
  std::vector<ScanFilter> tests;
  tests.reserve(filters.size());
  for (const BExpr* f : filters) tests.emplace_back(*f, source);
  if (!src.rows) {
    out.slots.reserve(filters.empty() ? src.borrowed.size() * width_ : 0);
    for (size_t i = 0; i < src.borrowed.size(); ++i) {
      const Row& row = *src.borrowed[i];
      scratch[source] = &row;
      bool pass = true;
      for (size_t t = 0; t < tests.size() && pass; ++t) pass = tests[t].Passes(i, row, ctx);
      if (pass) out.Append(scratch.data());
      if (first_only_ && out.count > 0) break;
    }
    return out;
  }
  const std::vector<Row>& rows = *src.rows;
  const bool whole_table = src.table && src.rows == &src.table->row_slots();
  // A large table's tested columns are read from arrays of them where the table has them:
  // the rows that fail those tests are then never reached.
  std::vector<char> on_array(tests.size(), 0);
  if (whole_table && rows.size() >= kArraysFrom) {
    for (size_t t = 0; t < tests.size(); ++t) {
      on_array[t] = tests[t].UseColumnArray(*src.table);
      tests[t].WorkOutValues(ctx);
    }
  }
  // The tests done over whole arrays before the rows are visited; the loop skips them.
  std::vector<char> done(tests.size(), 0);
  // A first test on an array goes over the whole array at once; the other tests then see only
  // the rows it kept.
  std::vector<uint32_t> kept;
  bool selected = false;
  // Rows whose join key holds none of the left side's values join nothing: when no test can
  // fail (so that skipping rows changes nothing but the time), they are left out first.
  const std::unique_ptr<JoinKeyValues> join_keys = std::move(join_keys_[source]);
  if (join_keys && whole_table && rows.size() >= kArraysFrom &&
      std::all_of(tests.begin(), tests.end(), [](const ScanFilter& t) { return t.CannotFail(); })) {
    const auto array = src.table->ColumnAsArray(join_keys->column);
    if (array && array->usable && array->values.size() == rows.size()) {
      for (size_t i = 0; i < rows.size(); ++i) {
        if (!array->nulls[i] && join_keys->values.Holds(array->values[i])) {
          kept.push_back(static_cast<uint32_t>(i));
        }
      }
      selected = true;
    }
  }
  if (!selected && !tests.empty() && on_array[0] && tests[0].SelectFromArray(ctx, kept)) {
    selected = true;
    done[0] = tests[0].Exact();
  }
  // The array tests of the runner above, which filters these rows afterwards (a derived table
  // that passes the table's rows through, whose own tests cannot fail), leave out first the
  // rows it would leave out.
  if (source == 0 && !given_tests_.empty() && whole_table && rows.size() >= kArraysFrom) {
    for (ScanFilter& test : given_tests_) {
      if (!test.UseColumnArray(*src.table)) continue;
      if (selected) {
        test.NarrowOnArray(ctx, kept);
      } else if (test.SelectFromArray(ctx, kept)) {
        selected = true;
      }
    }
  }
  // Then each later test on an array narrows the selection, as long as the tests before it
  // cannot fail (a row it leaves out would have met those first, and none of them can raise
  // an error for it).
  if (selected) {
    for (size_t t = 0; t < tests.size() && tests[t].CannotFail(); ++t) {
      if (!done[t] && on_array[t] && tests[t].NarrowOnArray(ctx, kept)) done[t] = tests[t].Exact();
    }
  }
  // A table whose rows are made on demand makes those the loop visits: all of them first, or,
  // for a scan that stops at its first row, a block at a time as the loop comes to them.
  const bool make_as_visited = whole_table && first_only_ && !src.table->AllRowsMade();
  constexpr size_t kMakeBlock = 1024;
  if (whole_table && !first_only_ && !src.table->AllRowsMade()) {
    if (selected) {
      src.table->MakeRows(kept);
    } else {
      src.table->rows();
    }
  }
  const bool first_test_on_array = !tests.empty() && on_array[0];
  const size_t n = selected ? kept.size() : rows.size();
  if (filters.empty()) out.slots.reserve(n * width_);
  // Rows are separate blocks: a filtered scan of a large table whose first test reads the row
  // asks for the rows a little ahead of the one it tests (all of a narrow row; the first lines
  // of a wide one). When the first test reads an array, only the rows that pass it are read.
  constexpr size_t kAhead = 16, kLines = 6;
  const bool all_done = std::all_of(done.begin(), done.end(), [](char d) { return d != 0; });
  const size_t lines = rows.empty() || first_test_on_array || all_done || make_as_visited
                           ? 0
                           : std::min(kLines, (rows[0].size() * sizeof(Value) + 63) / 64);
  // Visits rows [begin, end) of the loop (positions in `kept` when it selected them): those
  // that pass the tests not done yet join `into`.
  auto scan_range = [&](std::vector<ScanFilter>& with, std::vector<const Row*>& tuple,
                        const EvalCtx& at, size_t begin, size_t end, TupleSet& into) {
    std::vector<uint32_t> block;
    for (size_t k = begin; k < end; ++k) {
      if ((k & 4095) == 4095) CheckCancel(env_);
      if (make_as_visited && (k - begin) % kMakeBlock == 0) {
        block.clear();
        for (size_t b = k; b < std::min(end, k + kMakeBlock); ++b) {
          block.push_back(selected ? kept[b] : static_cast<uint32_t>(b));
        }
        src.table->MakeRows(block);
      }
      if (lines && k + kAhead < end) {
        const Row& ahead = rows[selected ? kept[k + kAhead] : k + kAhead];
        const char* data = reinterpret_cast<const char*>(ahead.data());
        for (size_t l = 0; l < lines; ++l) __builtin_prefetch(data + 64 * l);
      }
      const size_t i = selected ? kept[k] : k;
      const Row& row = rows[i];
      tuple[source] = &row;
      bool pass = true;
      for (size_t t = 0; t < with.size() && pass; ++t) pass = done[t] || with[t].Passes(i, row, at);
      if (pass) into.Append(tuple.data());
      if (first_only_ && into.count > 0) return;
    }
  };
  if (!first_only_ && !all_done && WorthMorsels(n, kMorselsFrom) && AllowThreads(filters)) {
    // Each thread tests with its own copies of the tests (a test keeps the values it worked
    // out), each morsel's rows go to its own part.
    struct Worker {
      std::vector<ScanFilter> tests;
      std::vector<const Row*> tuple;
      EvalCtx ctx;
    };
    std::vector<std::unique_ptr<Worker>> workers(MorselWorkers());
    std::vector<TupleSet> parts((n + kMorselRows - 1) / kMorselRows);
    RunMorsels(n, kMorselRows, [&](size_t w, size_t m, size_t begin, size_t end) {
      if (!workers[w]) {
        workers[w] = std::make_unique<Worker>(Worker{tests, std::vector<const Row*>(width_, nullptr), {}});
        workers[w]->ctx = Ctx(workers[w]->tuple.data());
      }
      Worker& worker = *workers[w];
      parts[m].width = width_;
      scan_range(worker.tests, worker.tuple, worker.ctx, begin, end, parts[m]);
    });
    return Concatenate(parts, width_);
  }
  scan_range(tests, scratch, ctx, 0, n, out);
  return out;
}

void FromRunner::Filter(TupleSet& t, const std::vector<const BExpr*>& preds) {
  if (preds.empty()) return;
  std::vector<std::pair<int, int>> columns;
  for (const BExpr* p : preds) CollectOwnColumns(*p, columns);
  auto filter_range = [&](size_t begin, size_t end, TupleSet& into) {
    for (size_t i = begin; i < end; ++i) {
      if ((i & 255) == 255) CheckCancel(env_);
      if (i + kRowsAhead < end) PrefetchColumns(t.at(i + kRowsAhead), columns);
      EvalCtx ctx = Ctx(t.at(i));
      bool pass = true;
      for (const BExpr* p : preds) {
        if (EvalPred(*p, ctx) != Tri::True) {
          pass = false;
          break;
        }
      }
      if (pass) into.Append(t.at(i));
    }
  };
  TupleSet out;
  out.width = t.width;
  if (WorthMorsels(t.count, kMorselsFrom) && AllowThreads(preds)) {
    std::vector<TupleSet> parts((t.count + kMorselRows - 1) / kMorselRows);
    RunMorsels(t.count, kMorselRows, [&](size_t, size_t m, size_t begin, size_t end) {
      parts[m].width = t.width;
      filter_range(begin, end, parts[m]);
    });
    out = Concatenate(parts, t.width);
  } else {
    filter_range(0, t.count, out);
  }
  t = std::move(out);
}

TupleSet FromRunner::Run() {
  if (width_ > 64) ThrowError(4408, {"Too many tables. The query and the views or functions in it exceed the "
                      "limit of 64 tables."});
  scan_filters_.assign(width_, {});
  join_keys_.clear();
  join_keys_.resize(width_);
  if (given_keys_) join_keys_[0] = std::move(given_keys_);
  deferred_.assign(width_, 0);
  estimates_.assign(width_, std::nullopt);
  for (auto& source : spec_.sources) {
    if (source.table) {
      // Rows not made yet are made by the scan that visits them (Scan).
      source.rows = &source.table->row_slots();
    } else if (source.work) {
      source.rows = source.work.get();  // the level before, of a recursive member
    } else if (source.lateral) {
      source.rows = nullptr;  // made by Apply, for each row of the left side
    } else if (source.outer_correlated) {
      // It reads the rows around this query (its level for this one names nothing).
      const EvalCtx level = NoRowCtx();
      source.materialized = RunQuery(*source.derived, &level, env_);
      source.rows = &source.materialized;
    } else if (IsPassThrough(*source.derived)) {
      const BoundSpec& inner = *source.derived->spec;
      std::vector<const BExpr*> filters;
      for (const auto& w : inner.where) filters.push_back(w.get());
      if (FiltersCannotFail(filters, 0)) {
        deferred_[static_cast<size_t>(&source - spec_.sources.data())] = 1;
        source.rows = nullptr;
        continue;
      }
      TupleSet passed = RunFrom(*source.derived->spec, nullptr, env_);
      source.borrowed.clear();
      source.borrowed.reserve(passed.count);
      for (size_t i = 0; i < passed.count; ++i) source.borrowed.push_back(passed.at(i)[0]);
      source.rows = nullptr;
    } else {
      source.materialized = RunQuery(*source.derived, nullptr, env_);
      source.rows = &source.materialized;
    }
  }
  std::vector<Conjunct> conjuncts;
  for (const auto& w : spec_.where) {
    Conjunct c{w.get(), MaskOf(*w)};
    if (c.mask == 0) {
      if (EvalPred(*w, NoRowCtx()) != Tri::True) {
        TupleSet empty;
        empty.width = width_;
        return empty;
      }
      continue;
    }
    if (std::popcount(c.mask) == 1) {
      int s = std::countr_zero(c.mask);
      if (!spec_.sources[s].null_supplying) {
        scan_filters_[s].push_back(w.get());
        continue;
      }
    }
    conjuncts.push_back(c);
  }
  if (spec_.from.empty()) {
    TupleSet one;
    one.width = width_;
    one.count = 1;
    return one;
  }
  std::vector<TupleSet> units;
  std::vector<Mask> masks;
  for (auto& f : spec_.from) {
    Mask m = 0;
    units.push_back(Build(*f, m));
    masks.push_back(m);
  }
  TupleSet current = std::move(units[0]);
  Mask cmask = masks[0];
  {
    std::vector<const BExpr*> now;
    for (auto& c : conjuncts) {
      if (!c.applied && Within(c.mask, cmask)) {
        now.push_back(c.expr);
        c.applied = true;
      }
    }
    Filter(current, now);
  }
  // The order in which the other units join, with each one's keys and other conditions: next
  // comes the first unit that an equality not applied yet joins to those before it.
  std::vector<UnitJoin> plan;
  const Mask first_mask = cmask;
  std::vector<size_t> remaining;
  for (size_t i = 1; i < units.size(); ++i) remaining.push_back(i);
  while (!remaining.empty()) {
    size_t pick = 0;
    bool found = false;
    for (size_t r = 0; r < remaining.size() && !found; ++r) {
      for (const auto& c : conjuncts) {
        JoinKey key;
        if (!c.applied && AsJoinKey(*c.expr, cmask, masks[remaining[r]], key)) {
          pick = r;
          found = true;
          break;
        }
      }
    }
    UnitJoin step;
    step.unit = remaining[pick];
    remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(pick));
    Mask both = cmask | masks[step.unit];
    for (auto& c : conjuncts) {
      if (c.applied || !Within(c.mask, both)) continue;
      c.applied = true;
      JoinKey key;
      if (AsJoinKey(*c.expr, cmask, masks[step.unit], key)) {
        step.keys.push_back(key);
      } else {
        step.residual.push_back(c.expr);
      }
    }
    plan.push_back(std::move(step));
    cmask = both;
  }
  if (!JoinLookupUnits(current, first_mask, units, plan)) {
    for (const UnitJoin& step : plan) {
      current = Join(current, units[step.unit], step.keys, step.residual, ast::JoinType::Inner);
      units[step.unit] = TupleSet();
    }
  }
  std::vector<const BExpr*> rest;
  for (auto& c : conjuncts) {
    if (!c.applied) rest.push_back(c.expr);
  }
  Filter(current, rest);
  return current;
}

}  // namespace from

using from::FromRunner;

void CollectOwnColumns(const BExpr& e, std::vector<std::pair<int, int>>& out) {
  if (e.kind == BKind::Column && e.depth == 0) {
    const std::pair<int, int> key{e.src, e.col};
    if (std::find(out.begin(), out.end(), key) == out.end()) out.push_back(key);
  }
  for (const auto& a : e.args) {
    if (a) CollectOwnColumns(*a, out);
  }
  if (e.operand) CollectOwnColumns(*e.operand, out);
  if (e.else_expr) CollectOwnColumns(*e.else_expr, out);
}

bool SelectRowsOnArrays(BoundSpec& spec, ExecEnv& env, std::vector<uint32_t>& positions) {
  if (spec.sources.size() != 1 || spec.from.size() != 1 || spec.from[0]->source != 0) return false;
  const Table* table = spec.sources[0].table.get();
  if (!table || spec.sources[0].null_supplying || table->row_count() < from::kArraysFrom ||
      table->row_count() > UINT32_MAX) {
    return false;
  }
  std::vector<ScanFilter> tests;
  for (const auto& w : spec.where) {
    if (from::MaskOf(*w) != 1) return false;
    tests.emplace_back(*w, 0);
  }
  const Row* none = nullptr;
  EvalCtx ctx;
  ctx.srcs = &none;
  ctx.env = &env;
  // Every test is decided on its array and none can fail, so their order does not matter.
  for (ScanFilter& test : tests) {
    if (!test.WorkOutValues(ctx) || !test.UseColumnArray(*table) || !test.Exact()) return false;
  }
  std::vector<uint32_t> kept;
  if (tests.empty()) {
    kept.resize(table->row_count());
    std::iota(kept.begin(), kept.end(), uint32_t{0});
  } else if (!tests[0].SelectFromArray(ctx, kept)) {
    return false;
  }
  for (size_t t = 1; t < tests.size(); ++t) {
    if (!tests[t].NarrowOnArray(ctx, kept)) return false;
  }
  positions = std::move(kept);
  return true;
}

TupleSet RunFrom(BoundSpec& spec, const EvalCtx* outer, ExecEnv& env) {
  FromRunner runner(spec, outer, env);
  return runner.Run();
}

bool QueryHasRows(BoundQuery& query, ExecEnv& env) {
  const BoundSpec* spec = query.spec.get();
  const bool one_scan = spec && !query.left && !query.recursive && !query.is_values && !query.string_split &&
                        !spec->grouped && spec->aggregates.empty() && !spec->having && !spec->top &&
                        spec->sources.size() == 1 && spec->from.size() == 1 && spec->from[0]->source == 0;
  if (!one_scan) return !RunQuery(query, nullptr, env).empty();
  FromRunner runner(*query.spec, nullptr, env);
  runner.StopAtFirstRow();
  return runner.Run().count > 0;
}

}  // namespace orv::tsql
