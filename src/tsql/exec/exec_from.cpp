// FROM and WHERE: scans with pushed-down single-table filters, join trees executed as hash
// joins on their equality conditions (nested loops only without one), and the comma-separated
// units joined greedily along the equalities found in WHERE. Filtered scans, filters and hash
// joins over many rows run on every core (morsels.h), their tuples kept in the order one
// thread would have made them.
#include <algorithm>
#include <bit>
#include <iterator>
#include <memory>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
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

namespace {

using Mask = uint64_t;

Mask MaskOf(const BExpr& e) {
  std::vector<int> sources;
  CollectSources(e, sources);
  Mask m = 0;
  for (int s : sources) m |= Mask{1} << s;
  return m;
}

bool Within(Mask m, Mask set) { return (m & ~set) == 0; }

// Loops over at least this many rows or tuples are spread over the cores.
constexpr size_t kMorselsFrom = 2 * kMorselRows;

// Whether every expression may be evaluated for different rows on several threads at once.
bool AllowThreads(const std::vector<const BExpr*>& exprs) {
  return std::all_of(exprs.begin(), exprs.end(),
                     [](const BExpr* e) { return SubqueriesAllowThreads(*e); });
}

// The tuples of the morsels of a loop, one after another in morsel order.
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

struct Conjunct {
  const BExpr* expr;
  Mask mask;
  bool applied = false;
};

struct JoinKey {
  const BExpr* left;
  const BExpr* right;
  SqlType type;  // the comparison type both sides were converted to
};

// An equality whose sides come from the two inputs; sets the key oriented left/right.
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

// A derived table that only filters one table and passes every column through in order and
// in its own type ("SELECT * FROM t WHERE ..."): its rows are the table's rows themselves.
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

class FromRunner {
 public:
  FromRunner(BoundSpec& spec, const EvalCtx* outer, ExecEnv& env)
      : spec_(spec), outer_(outer), env_(env), width_(spec.sources.size()) {}

  TupleSet Run();
  // Only whether there is a row: a scan stops at its first.
  void StopAtFirstRow() { first_only_ = true; }

 private:
  EvalCtx Ctx(const Row* const* tuple) const {
    EvalCtx c;
    c.srcs = tuple;
    c.outer = outer_;
    c.env = &env_;
    return c;
  }
  TupleSet Scan(int source);
  // The values a join key column of a table must hold for its row to join any row of the
  // left side already built: its scan may select those rows before any other test.
  struct JoinKeyValues {
    int column = -1;
    int64_t low = 0;
    std::vector<uint64_t> bits;   // bit v - low for each value, when they span a small range
    std::vector<int64_t> sorted;  // else the values, ascending
    bool Holds(int64_t v) const {
      if (!bits.empty()) {
        const uint64_t i = static_cast<uint64_t>(v) - static_cast<uint64_t>(low);
        return i < bits.size() * 64 && (bits[i >> 6] >> (i & 63) & 1);
      }
      return std::binary_search(sorted.begin(), sorted.end(), v);
    }
  };
  void NoteJoinKeys(const BoundJoin& node, Mask lmask, const TupleSet& left);
  // The values of the bare integer column `column` in the tuples, for the next scan of the
  // column's source; nothing when a value is of another kind.
  void NoteKeyValues(const TupleSet& tuples, const BExpr& column, const BExpr& scanned);
  // The table a scan of the source reads its rows from, in order (itself, or the one table a
  // deferred pass-through derived table filters), null for other sources.
  const Table* ScannedTable(int source) const;
  // Whether scanning the source can raise no error: its filters compare columns with fixed
  // values (those of a deferred pass-through derived table do by the deferral's condition;
  // other derived tables are made before the joins).
  bool ScanCannotFail(int source) const;
  // A derived table that passes a table's rows through, whose filters cannot fail, is run
  // when its scan comes (with any join key values noted for it), not before the joins.
  void RunPassThrough(int source);
  // For an inner join whose right side is one source that scans without failing and gives at
  // most a quarter of the rows of the scan of a large table, the first of its left side,
  // joined to the others by left joins on bare columns, and joined to the right side by a bare
  // integer key: that table's source.
  int PreservedKeySource(const BoundJoin& node, Mask lmask, Mask rmask, const BExpr*& left_key,
                         const BExpr*& right_key) const;
  // At most how many rows a scan of the source gives: as many as the one of its filters that
  // can be tested on a column array and cannot fail that keeps the fewest rows (a quick bound:
  // one pass over an array each).
  size_t EstimateScan(int source) const;
  bool IndexedScan(int source, TupleSet& out);
  TupleSet Build(BoundJoin& node, Mask& mask);
  TupleSet Join(const TupleSet& left, const TupleSet& right, const std::vector<JoinKey>& keys,
                const std::vector<const BExpr*>& residual, ast::JoinType type);
  TupleSet JoinOnSmallLeft(const TupleSet& left, const TupleSet& right,
                           const std::vector<JoinKey>& keys, const std::vector<SqlType>& types);
  TupleSet Apply(const TupleSet& left, int source, bool keep_left);
  void Filter(TupleSet& t, const std::vector<const BExpr*>& preds);

  BoundSpec& spec_;
  const EvalCtx* outer_;
  ExecEnv& env_;
  size_t width_;
  std::vector<std::vector<const BExpr*>> scan_filters_;
  std::vector<std::unique_ptr<JoinKeyValues>> join_keys_;  // per source, for its next scan
  std::vector<char> deferred_;                             // per source: see RunPassThrough
  std::unique_ptr<JoinKeyValues> given_keys_;              // for source 0, from the runner above
  bool first_only_ = false;
};

// Tables from this size on keep arrays of their tested columns (Table::ColumnAsArray).
constexpr size_t kArraysFrom = 4096;

bool IsIntegerType(TypeId id) {
  return id == TypeId::TinyInt || id == TypeId::SmallInt || id == TypeId::Int || id == TypeId::BigInt;
}

// A join key that reads a column on each side as it is (evaluating it cannot fail).
bool IsBareKey(const JoinKey& key) {
  return key.left->kind == BKind::Column && key.left->depth == 0 && key.right->kind == BKind::Column &&
         key.right->depth == 0;
}
// ... of one integer type on both sides (its values can be listed as numbers).
bool IsBareIntegerKey(const JoinKey& key) {
  return IsBareKey(key) && IsIntegerType(key.type.id) && key.left->type == key.type && key.right->type == key.type;
}

// Whether every filter of a scan of `source` compares a column with fixed values.
bool FiltersCannotFail(const std::vector<const BExpr*>& filters, int source) {
  return std::all_of(filters.begin(), filters.end(),
                     [&](const BExpr* f) { return ScanFilter(*f, source).CannotFail(); });
}

// The sources of a join tree.
Mask TreeMask(const BoundJoin& node) {
  if (node.source >= 0) return Mask{1} << node.source;
  return TreeMask(*node.left) | TreeMask(*node.right);
}

// Whether `source` is the tree's first leaf and every join above it is a left join on bare
// columns alone: every output row then carries one of its rows, the tree has at least as many
// rows as its scan, and leaving out rows of it first leaves out exactly the output rows that
// carry them (evaluating nothing that could fail on them).
bool CarriesThroughLeftJoins(const BoundJoin& node, int source) {
  if (node.source >= 0) return node.source == source;
  if (node.type != ast::JoinType::Left) return false;
  const Mask lmask = TreeMask(*node.left), rmask = TreeMask(*node.right);
  for (const auto& c : node.on) {
    JoinKey key;
    if (!AsJoinKey(*c, lmask, rmask, key) || !IsBareKey(key)) return false;
  }
  return CarriesThroughLeftJoins(*node.left, source);
}

// The index over column `col` of a source, built on first use for the rest of the statement.
const ColumnIndex& IndexOf(BoundSource& src, int col, const SqlType& type) {
  for (const auto& index : src.column_indexes) {
    if (index->col == col && index->type == type) return *index;
  }
  auto index = std::make_unique<ColumnIndex>();
  index->col = col;
  index->type = type;
  const std::vector<Row>& rows = *src.rows;
  std::vector<size_t> hashes;
  hashes.reserve(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    const Value& v = rows[r][static_cast<size_t>(col)];
    if (v.is_null()) continue;
    hashes.push_back(HashKey(&v, &type, 1));
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
      if (KeyEqual(&rows[r][col], &v, &type, 1)) ids.push_back(r);
      return true;
    });
  }
  if (values.size() > 1) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  }
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
  // A large table's tested columns are read from arrays of them where the table has them:
  // the rows that fail those tests are then never reached.
  bool first_test_on_array = false;
  if (src.table && src.rows == &src.table->rows() && rows.size() >= kArraysFrom) {
    for (size_t t = 0; t < tests.size(); ++t) {
      const bool on_array = tests[t].UseColumnArray(*src.table);
      if (t == 0) first_test_on_array = on_array;
    }
  }
  // A first test on an array goes over the whole array at once; the other tests then see only
  // the rows it kept.
  std::vector<uint32_t> kept;
  bool selected = false;
  size_t first_test = 0;
  // Rows whose join key holds none of the left side's values join nothing: when no test can
  // fail (so that skipping rows changes nothing but the time), they are left out first.
  const std::unique_ptr<JoinKeyValues> join_keys = std::move(join_keys_[source]);
  if (join_keys && src.table && src.rows == &src.table->rows() && rows.size() >= kArraysFrom &&
      std::all_of(tests.begin(), tests.end(), [](const ScanFilter& t) { return t.CannotFail(); })) {
    const auto array = src.table->ColumnAsArray(join_keys->column);
    if (array && array->usable && array->values.size() == rows.size()) {
      for (size_t i = 0; i < rows.size(); ++i) {
        if (!array->nulls[i] && join_keys->Holds(array->values[i])) kept.push_back(static_cast<uint32_t>(i));
      }
      selected = true;
    }
  }
  if (!selected && first_test_on_array && tests[0].SelectFromArray(ctx, kept)) {
    selected = true;
    first_test = 1;
  }
  const size_t n = selected ? kept.size() : rows.size();
  if (filters.empty()) out.slots.reserve(n * width_);
  // Rows are separate blocks: a filtered scan of a large table whose first test reads the row
  // asks for the rows a little ahead of the one it tests (all of a narrow row; the first lines
  // of a wide one). When the first test reads an array, only the rows that pass it are read.
  constexpr size_t kAhead = 16, kLines = 6;
  const size_t lines = rows.empty() || first_test_on_array || first_test == tests.size()
                           ? 0
                           : std::min(kLines, (rows[0].size() * sizeof(Value) + 63) / 64);
  // Visits rows [begin, end) of the loop (positions in `kept` when it selected them): those
  // that pass the tests from first_test on join `into`.
  auto scan_range = [&](std::vector<ScanFilter>& with, std::vector<const Row*>& tuple,
                        const EvalCtx& at, size_t begin, size_t end, TupleSet& into) {
    for (size_t k = begin; k < end; ++k) {
      if ((k & 4095) == 4095) CheckCancel(env_);
      if (lines && k + kAhead < end) {
        const Row& ahead = rows[selected ? kept[k + kAhead] : k + kAhead];
        const char* data = reinterpret_cast<const char*>(ahead.data());
        for (size_t l = 0; l < lines; ++l) __builtin_prefetch(data + 64 * l);
      }
      const size_t i = selected ? kept[k] : k;
      const Row& row = rows[i];
      tuple[source] = &row;
      bool pass = true;
      for (size_t t = first_test; t < with.size() && pass; ++t) pass = with[t].Passes(i, row, at);
      if (pass) into.Append(tuple.data());
      if (first_only_ && into.count > 0) return;
    }
  };
  if (!first_only_ && first_test < tests.size() && WorthMorsels(n, kMorselsFrom) && AllowThreads(filters)) {
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

TupleSet FromRunner::Join(const TupleSet& left, const TupleSet& right,
                          const std::vector<JoinKey>& keys,
                          const std::vector<const BExpr*>& residual, ast::JoinType type) {
  TupleSet out;
  out.width = width_;
  bool keep_left = type == ast::JoinType::Left || type == ast::JoinType::Full;
  bool keep_right = type == ast::JoinType::Full;
  std::vector<char> right_matched(keep_right ? right.count : 0, 0);
  // The tuple of a left and a right tuple together, in `tuple`.
  auto merge = [&](const Row* const* l, const Row* const* r, std::vector<const Row*>& tuple) {
    for (size_t k = 0; k < width_; ++k) tuple[k] = l[k] ? l[k] : r[k];
  };
  auto residual_ok = [&](const std::vector<const Row*>& tuple) {
    EvalCtx ctx = Ctx(tuple.data());
    for (const BExpr* p : residual) {
      if (EvalPred(*p, ctx) != Tri::True) return false;
    }
    return true;
  };

  if (keys.empty()) {
    std::vector<const Row*> scratch(width_, nullptr);
    for (size_t l = 0; l < left.count; ++l) {
      CheckCancel(env_);
      bool matched = false;
      for (size_t r = 0; r < right.count; ++r) {
        merge(left.at(l), right.at(r), scratch);
        if (!residual_ok(scratch)) continue;
        out.Append(scratch.data());
        matched = true;
        if (keep_right) right_matched[r] = 1;
      }
      if (!matched && keep_left) out.Append(left.at(l));
    }
  } else {
    size_t n = keys.size();
    std::vector<SqlType> types;
    std::vector<const BExpr*> left_keys, right_keys;
    for (const auto& k : keys) {
      types.push_back(k.type);
      left_keys.push_back(k.left);
      right_keys.push_back(k.right);
    }
    // An inner join of a few tuples with many (a master table's filtered rows with all of its
    // lines, say) on plain columns alone: indexing the many costs far more than probing with
    // them. Evaluating bare columns cannot fail, so the order in which the sides are read
    // changes nothing but the time.
    constexpr size_t kSmallLeftFrom = 4096;
    auto bare = [](const BExpr* e) { return e->kind == BKind::Column && e->depth == 0; };
    if (type == ast::JoinType::Inner && residual.empty() && right.count >= kSmallLeftFrom &&
        left.count * 4 <= right.count && std::all_of(left_keys.begin(), left_keys.end(), bare) &&
        std::all_of(right_keys.begin(), right_keys.end(), bare)) {
      return JoinOnSmallLeft(left, right, keys, types);
    }
    // The right side's keys, their hashes and the tuple each entry stands for (tuples with a
    // NULL key join nothing and are left out).
    struct Entries {
      std::vector<Value> keys;
      std::vector<size_t> hashes;
      std::vector<uint32_t> rows;
    };
    std::vector<std::pair<int, int>> right_columns;
    for (const auto& k : keys) CollectOwnColumns(*k.right, right_columns);
    auto build_range = [&](size_t begin, size_t end, Entries& into) {
      std::vector<Value> probe(n);
      into.keys.reserve(into.keys.size() + (end - begin) * n);
      into.hashes.reserve(into.hashes.size() + (end - begin));
      for (size_t r = begin; r < end; ++r) {
        if (r + kRowsAhead < end) PrefetchColumns(right.at(r + kRowsAhead), right_columns);
        EvalCtx ctx = Ctx(right.at(r));
        bool has_null = false;
        for (size_t k = 0; k < n; ++k) {
          probe[k] = Eval(*keys[k].right, ctx);
          if (probe[k].is_null()) has_null = true;
        }
        if (has_null) continue;
        into.hashes.push_back(HashKey(probe.data(), types.data(), n));
        for (size_t k = 0; k < n; ++k) into.keys.push_back(std::move(probe[k]));
        into.rows.push_back(static_cast<uint32_t>(r));
      }
    };
    Entries entries;
    if (WorthMorsels(right.count, kMorselsFrom) && AllowThreads(right_keys)) {
      std::vector<Entries> parts((right.count + kMorselRows - 1) / kMorselRows);
      RunMorsels(right.count, kMorselRows,
                 [&](size_t, size_t m, size_t begin, size_t end) { build_range(begin, end, parts[m]); });
      size_t total = 0;
      for (const Entries& part : parts) total += part.rows.size();
      entries.keys.reserve(total * n);
      entries.hashes.reserve(total);
      entries.rows.reserve(total);
      for (Entries& part : parts) {
        std::move(part.keys.begin(), part.keys.end(), std::back_inserter(entries.keys));
        entries.hashes.insert(entries.hashes.end(), part.hashes.begin(), part.hashes.end());
        entries.rows.insert(entries.rows.end(), part.rows.begin(), part.rows.end());
        part = Entries();
      }
    } else {
      build_range(0, right.count, entries);
    }
    const std::vector<Value>& rkeys = entries.keys;
    const std::vector<uint32_t>& entry_row = entries.rows;
    HashIndex index;
    index.Reset(entries.hashes.size());
    index.InsertMany(entries.hashes);
    std::vector<size_t>().swap(entries.hashes);
    // Probes go in blocks: the keys and hashes of a block are computed first, so that the
    // index can be asked for the buckets and chain heads of later probes while earlier ones
    // run (a large index lives outside the cache, and each probe would otherwise wait for it).
    constexpr size_t kBlock = 256, kBucketAhead = 16, kHeadAhead = 8;
    // The left rows' key columns are requested a few tuples ahead as well.
    std::vector<std::pair<int, int>> key_columns;  // (source, column)
    for (const auto& k : keys) CollectOwnColumns(*k.left, key_columns);
    auto probe_range = [&](size_t begin, size_t end, TupleSet& into) {
      std::vector<const Row*> scratch(width_, nullptr);
      std::vector<Value> lkeys(kBlock * n);
      std::vector<size_t> lhash(kBlock);
      std::vector<char> lnull(kBlock);
      for (size_t base = begin; base < end; base += kBlock) {
        const size_t m = std::min(kBlock, end - base);
        for (size_t i = 0; i < m; ++i) {
          if (base + i + kRowsAhead < end) PrefetchColumns(left.at(base + i + kRowsAhead), key_columns);
          EvalCtx ctx = Ctx(left.at(base + i));
          Value* key = &lkeys[i * n];
          lnull[i] = 0;
          for (size_t k = 0; k < n; ++k) {
            key[k] = Eval(*keys[k].left, ctx);
            if (key[k].is_null()) lnull[i] = 1;
          }
          if (!lnull[i]) lhash[i] = HashKey(key, types.data(), n);
        }
        for (size_t i = 0; i < m; ++i) {
          if (i + kBucketAhead < m && !lnull[i + kBucketAhead]) {
            index.PrefetchBucket(lhash[i + kBucketAhead]);
          }
          if (i + kHeadAhead < m && !lnull[i + kHeadAhead]) {
            const uint32_t head = index.PrefetchHead(lhash[i + kHeadAhead]);
            if (head != HashIndex::kNone) __builtin_prefetch(&rkeys[head * n]);
          }
          const size_t l = base + i;
          const Value* key = &lkeys[i * n];
          bool matched = false;
          if (!lnull[i]) {
            index.ForEach(lhash[i], [&](uint32_t id) {
              if (!KeyEqual(key, &rkeys[id * n], types.data(), n)) return true;
              size_t r = entry_row[id];
              merge(left.at(l), right.at(r), scratch);
              if (!residual_ok(scratch)) return true;
              into.Append(scratch.data());
              matched = true;
              if (keep_right) right_matched[r] = 1;
              return true;
            });
          }
          if (!matched && keep_left) into.Append(left.at(l));
        }
      }
    };
    // Most equality joins find at most one row per left row (a key joined to its master row),
    // so room for that many tuples is made at once instead of by repeated doubling, each of
    // which copies every tuple made so far. Room not used is never touched.
    std::vector<const BExpr*> probe_exprs = left_keys;
    probe_exprs.insert(probe_exprs.end(), residual.begin(), residual.end());
    if (!keep_right && WorthMorsels(left.count, kMorselsFrom) && AllowThreads(probe_exprs)) {
      std::vector<TupleSet> parts((left.count + kMorselRows - 1) / kMorselRows);
      RunMorsels(left.count, kMorselRows, [&](size_t, size_t m, size_t begin, size_t end) {
        parts[m].width = width_;
        parts[m].slots.reserve((end - begin) * width_);
        probe_range(begin, end, parts[m]);
      });
      out = Concatenate(parts, width_);
    } else {
      out.slots.reserve(left.count * width_);
      probe_range(0, left.count, out);
    }
  }
  if (keep_right) {
    for (size_t r = 0; r < right.count; ++r) {
      if (!right_matched[r]) out.Append(right.at(r));
    }
  }
  return out;
}

// The inner join of Join with the index built over the left side: each right tuple, in order,
// finds its left matches, and the pairs are then put in the order Join gives them (left tuple
// by left tuple, each one's right tuples in their order).
TupleSet FromRunner::JoinOnSmallLeft(const TupleSet& left, const TupleSet& right,
                                     const std::vector<JoinKey>& keys,
                                     const std::vector<SqlType>& types) {
  const size_t n = keys.size();
  std::vector<Value> lkeys;
  std::vector<size_t> lhash;
  std::vector<uint32_t> lrow;
  lkeys.reserve(left.count * n);
  lhash.reserve(left.count);
  std::vector<Value> key(n);
  for (size_t l = 0; l < left.count; ++l) {
    EvalCtx ctx = Ctx(left.at(l));
    bool has_null = false;
    for (size_t k = 0; k < n; ++k) {
      key[k] = Eval(*keys[k].left, ctx);
      if (key[k].is_null()) has_null = true;
    }
    if (has_null) continue;
    lhash.push_back(HashKey(key.data(), types.data(), n));
    for (size_t k = 0; k < n; ++k) lkeys.push_back(std::move(key[k]));
    lrow.push_back(static_cast<uint32_t>(l));
  }
  HashIndex index;
  index.Reset(lhash.size());
  index.InsertMany(lhash);
  using Pair = std::pair<uint32_t, uint32_t>;  // (left tuple, right tuple)
  std::vector<std::pair<int, int>> key_columns;
  for (const auto& k : keys) CollectOwnColumns(*k.right, key_columns);
  auto probe_range = [&](size_t begin, size_t end, std::vector<Pair>& pairs) {
    std::vector<Value> probe(n);
    for (size_t r = begin; r < end; ++r) {
      if ((r & 4095) == 4095) CheckCancel(env_);
      if (r + kRowsAhead < end) PrefetchColumns(right.at(r + kRowsAhead), key_columns);
      EvalCtx ctx = Ctx(right.at(r));
      bool has_null = false;
      for (size_t k = 0; k < n; ++k) {
        probe[k] = Eval(*keys[k].right, ctx);
        if (probe[k].is_null()) has_null = true;
      }
      if (has_null) continue;
      index.ForEach(HashKey(probe.data(), types.data(), n), [&](uint32_t id) {
        if (KeyEqual(probe.data(), &lkeys[id * n], types.data(), n)) {
          pairs.emplace_back(lrow[id], static_cast<uint32_t>(r));
        }
        return true;
      });
    }
  };
  std::vector<Pair> pairs;
  if (WorthMorsels(right.count, kMorselsFrom)) {
    std::vector<std::vector<Pair>> parts((right.count + kMorselRows - 1) / kMorselRows);
    RunMorsels(right.count, kMorselRows,
               [&](size_t, size_t m, size_t begin, size_t end) { probe_range(begin, end, parts[m]); });
    size_t total = 0;
    for (const auto& part : parts) total += part.size();
    pairs.reserve(total);
    for (const auto& part : parts) pairs.insert(pairs.end(), part.begin(), part.end());
  } else {
    probe_range(0, right.count, pairs);
  }
  // The pairs come in right order; placing them by left tuple, in that order, gives Join's.
  std::vector<uint32_t> first(left.count + 1, 0);
  for (const Pair& p : pairs) ++first[p.first + 1];
  for (size_t l = 0; l < left.count; ++l) first[l + 1] += first[l];
  std::vector<uint32_t> next(first.begin(), first.end() - 1);
  std::vector<uint32_t> matches(pairs.size());
  for (const Pair& p : pairs) matches[next[p.first]++] = p.second;
  TupleSet out;
  out.width = width_;
  ChargeMemory(static_cast<int64_t>(pairs.size() * width_ * sizeof(const Row*)));
  out.slots.reserve(pairs.size() * width_);
  std::vector<const Row*> tuple(width_, nullptr);
  for (size_t l = 0; l < left.count; ++l) {
    for (uint32_t i = first[l]; i < first[l + 1]; ++i) {
      const Row* const* a = left.at(l);
      const Row* const* b = right.at(matches[i]);
      for (size_t k = 0; k < width_; ++k) tuple[k] = a[k] ? a[k] : b[k];
      out.Append(tuple.data());
    }
  }
  return out;
}

// CROSS / OUTER APPLY of a lateral source: its query runs once for each left tuple, with that
// tuple as its outer context; each of its rows that passes the source's own filters joins the
// tuple. OUTER APPLY (keep_left) keeps a tuple that gets no row, with NULLs.
TupleSet FromRunner::Apply(const TupleSet& left, int source, bool keep_left) {
  BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  const auto& filters = scan_filters_[static_cast<size_t>(source)];
  src.materialized.clear();
  std::vector<size_t> first(left.count + 1);
  std::vector<const Row*> scratch(width_, nullptr);
  EvalCtx filter_ctx = Ctx(scratch.data());
  for (size_t l = 0; l < left.count; ++l) {
    first[l] = src.materialized.size();
    EvalCtx ctx = Ctx(left.at(l));
    for (Row& row : RunQuery(*src.derived, &ctx, env_)) {
      scratch[source] = &row;
      bool pass = true;
      for (const BExpr* f : filters) {
        if (EvalPred(*f, filter_ctx) != Tri::True) {
          pass = false;
          break;
        }
      }
      if (pass) src.materialized.push_back(std::move(row));
    }
  }
  first[left.count] = src.materialized.size();
  src.rows = &src.materialized;
  TupleSet out;
  out.width = width_;
  for (size_t l = 0; l < left.count; ++l) {
    std::copy(left.at(l), left.at(l) + width_, scratch.begin());
    if (first[l] == first[l + 1]) {
      if (!keep_left) continue;
      scratch[source] = nullptr;
      out.Append(scratch.data());
      continue;
    }
    for (size_t r = first[l]; r < first[l + 1]; ++r) {
      scratch[source] = &src.materialized[r];
      out.Append(scratch.data());
    }
  }
  return out;
}

TupleSet FromRunner::Build(BoundJoin& node, Mask& mask) {
  if (node.source >= 0) {
    mask = Mask{1} << node.source;
    return Scan(node.source);
  }
  Mask lmask = 0, rmask = 0;
  if (node.type == ast::JoinType::CrossApply || node.type == ast::JoinType::OuterApply) {
    const bool keep_left = node.type == ast::JoinType::OuterApply;
    TupleSet left = Build(*node.left, lmask);
    const int right = node.right->source;
    if (right >= 0 && spec_.sources[static_cast<size_t>(right)].lateral) {
      mask = lmask | Mask{1} << right;
      return Apply(left, right, keep_left);
    }
    // A right side that reads nothing of the left one is joined as it is.
    TupleSet rows = Build(*node.right, rmask);
    mask = lmask | rmask;
    return Join(left, rows, {}, {}, keep_left ? ast::JoinType::Left : ast::JoinType::Inner);
  }
  // The right side first when its key values can select the rows of a large table deep in
  // the left side (a month's bills selecting their lines before these are joined to their
  // units and items); otherwise the left side first, whose key values may select the rows of
  // the right side's table.
  TupleSet left, right;
  const BExpr* left_key = nullptr;
  const BExpr* right_key = nullptr;
  if (PreservedKeySource(node, TreeMask(*node.left), TreeMask(*node.right), left_key, right_key) >= 0) {
    right = Build(*node.right, rmask);
    NoteKeyValues(right, *right_key, *left_key);
    left = Build(*node.left, lmask);
  } else {
    left = Build(*node.left, lmask);
    NoteJoinKeys(node, lmask, left);
    right = Build(*node.right, rmask);
  }
  ast::JoinType type = node.type;
  if (type == ast::JoinType::Right) {
    std::swap(left, right);
    std::swap(lmask, rmask);
    type = ast::JoinType::Left;
  }
  std::vector<JoinKey> keys;
  std::vector<const BExpr*> residual, left_filter, right_filter;
  for (const auto& c : node.on) {
    Mask m = MaskOf(*c);
    bool inner = type == ast::JoinType::Inner || type == ast::JoinType::Cross;
    JoinKey key;
    if (m != 0 && Within(m, rmask) && (inner || type == ast::JoinType::Left)) {
      right_filter.push_back(c.get());
    } else if (m != 0 && Within(m, lmask) && inner) {
      left_filter.push_back(c.get());
    } else if (AsJoinKey(*c, lmask, rmask, key)) {
      keys.push_back(key);
    } else {
      residual.push_back(c.get());
    }
  }
  Filter(left, left_filter);
  Filter(right, right_filter);
  mask = lmask | rmask;
  return Join(left, right, keys, residual, type);
}

// An inner or left join whose right side is a large table and whose ON conditions include
// "left column = right column" on integers, with no condition on the right side alone: the
// left side's values of that column, for the table's scan (a right row without one of them
// can join nothing, and the left join keeps its left rows all the same).
void FromRunner::NoteJoinKeys(const BoundJoin& node, Mask lmask, const TupleSet& left) {
  const int s = node.right->source;
  if (s < 0 || (node.type != ast::JoinType::Inner && node.type != ast::JoinType::Left)) return;
  const Table* table = ScannedTable(s);
  if (!table || table->rows().size() < kArraysFrom || left.count * 4 > table->rows().size()) return;
  const Mask rmask = Mask{1} << s;
  const BExpr* left_key = nullptr;
  const BExpr* right_key = nullptr;
  for (const auto& c : node.on) {
    const Mask m = MaskOf(*c);
    if (m != 0 && Within(m, rmask)) return;  // tested on the table's rows after the scan
    JoinKey key;
    if (left_key || !AsJoinKey(*c, lmask, rmask, key)) continue;
    if (IsBareIntegerKey(key)) {
      left_key = key.left;
      right_key = key.right;
    }
  }
  if (left_key) NoteKeyValues(left, *left_key, *right_key);
}

void FromRunner::NoteKeyValues(const TupleSet& tuples, const BExpr& column, const BExpr& scanned) {
  std::vector<int64_t> values;
  values.reserve(tuples.count);
  for (size_t t = 0; t < tuples.count; ++t) {
    const Row* row = tuples.at(t)[column.src];
    if (!row) continue;
    const Value& v = (*row)[static_cast<size_t>(column.col)];
    if (v.is_null()) continue;
    if (v.kind() != Value::Kind::Int) return;
    values.push_back(v.int_value());
  }
  auto keys = std::make_unique<JoinKeyValues>();
  keys->column = scanned.col;
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  constexpr uint64_t kBitmapRange = uint64_t{1} << 26;
  if (!values.empty() && static_cast<uint64_t>(values.back()) - static_cast<uint64_t>(values.front()) < kBitmapRange) {
    keys->low = values.front();
    const uint64_t range = static_cast<uint64_t>(values.back()) - static_cast<uint64_t>(values.front()) + 1;
    keys->bits.assign((range + 63) / 64, 0);
    for (int64_t v : values) {
      const uint64_t i = static_cast<uint64_t>(v) - static_cast<uint64_t>(keys->low);
      keys->bits[i >> 6] |= uint64_t{1} << (i & 63);
    }
  } else {
    keys->sorted = std::move(values);
  }
  join_keys_[static_cast<size_t>(scanned.src)] = std::move(keys);
}

const Table* FromRunner::ScannedTable(int source) const {
  const BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  if (src.lateral) return nullptr;
  if (src.table) return src.table.get();
  if (deferred_[static_cast<size_t>(source)]) return src.derived->spec->sources[0].table.get();
  return nullptr;
}

bool FromRunner::ScanCannotFail(int source) const {
  const BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  if (src.lateral) return false;
  return FiltersCannotFail(scan_filters_[static_cast<size_t>(source)], source);
}

size_t FromRunner::EstimateScan(int source) const {
  const BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  if (src.lateral) return SIZE_MAX;
  std::vector<ScanFilter> tests;
  const Table* table = ScannedTable(source);
  if (!table) return src.rows ? src.rows->size() : src.borrowed.size();
  const std::vector<Row>& rows = table->rows();
  if (rows.size() < kArraysFrom) return rows.size();
  auto add = [&](const BExpr& f, int s) {
    ScanFilter test(f, s);
    if (test.CannotFail() && test.UseColumnArray(*table)) tests.push_back(std::move(test));
  };
  if (!src.table) {
    for (const auto& w : src.derived->spec->where) add(*w, 0);
  }
  for (const BExpr* f : scan_filters_[static_cast<size_t>(source)]) add(*f, source);
  if (tests.empty()) return rows.size();
  // Each test alone, over its array: the fewest rows one of them keeps.
  std::vector<const Row*> scratch(width_, nullptr);
  EvalCtx ctx = Ctx(scratch.data());
  size_t fewest = rows.size();
  std::vector<uint32_t> kept;
  for (ScanFilter& test : tests) {
    kept.clear();
    if (test.SelectFromArray(ctx, kept)) fewest = std::min(fewest, kept.size());
  }
  return fewest;
}

void FromRunner::RunPassThrough(int source) {
  BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  deferred_[static_cast<size_t>(source)] = 0;
  FromRunner inner(*src.derived->spec, nullptr, env_);
  inner.given_keys_ = std::move(join_keys_[static_cast<size_t>(source)]);
  TupleSet passed = inner.Run();
  src.borrowed.clear();
  src.borrowed.reserve(passed.count);
  for (size_t i = 0; i < passed.count; ++i) src.borrowed.push_back(passed.at(i)[0]);
  src.rows = nullptr;
}

int FromRunner::PreservedKeySource(const BoundJoin& node, Mask lmask, Mask rmask,
                                   const BExpr*& left_key, const BExpr*& right_key) const {
  const int r = node.right->source;
  if (node.type != ast::JoinType::Inner || r < 0 || !ScanCannotFail(r)) return -1;
  for (const auto& c : node.on) {
    JoinKey key;
    if (!AsJoinKey(*c, lmask, rmask, key) || !IsBareIntegerKey(key)) continue;
    const int s = key.left->src;
    const Table* table = ScannedTable(s);
    if (!table || table->rows().size() < kArraysFrom || join_keys_[static_cast<size_t>(s)] ||
        !CarriesThroughLeftJoins(*node.left, s)) {
      continue;
    }
    const size_t right_rows = EstimateScan(r);
    if (right_rows == SIZE_MAX || right_rows > table->rows().size() / 4 || right_rows > EstimateScan(s) / 4) {
      continue;
    }
    left_key = key.left;
    right_key = key.right;
    return s;
  }
  return -1;
}

TupleSet FromRunner::Run() {
  if (width_ > 64) ThrowError(4408, {"Too many tables. The query and the views or functions in it exceed the "
                      "limit of 64 tables."});
  scan_filters_.assign(width_, {});
  join_keys_.clear();
  join_keys_.resize(width_);
  if (given_keys_) join_keys_[0] = std::move(given_keys_);
  deferred_.assign(width_, 0);
  for (auto& source : spec_.sources) {
    if (source.table) {
      source.rows = &source.table->rows();
    } else if (source.work) {
      source.rows = source.work.get();  // the level before, of a recursive member
    } else if (source.lateral) {
      source.rows = nullptr;  // made by Apply, for each row of the left side
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
  std::vector<const Row*> nulls(width_, nullptr);
  for (const auto& w : spec_.where) {
    Conjunct c{w.get(), MaskOf(*w)};
    if (c.mask == 0) {
      if (EvalPred(*w, Ctx(nulls.data())) != Tri::True) {
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
    size_t u = remaining[pick];
    remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(pick));
    std::vector<JoinKey> keys;
    std::vector<const BExpr*> residual;
    Mask both = cmask | masks[u];
    for (auto& c : conjuncts) {
      if (c.applied || !Within(c.mask, both)) continue;
      c.applied = true;
      JoinKey key;
      if (AsJoinKey(*c.expr, cmask, masks[u], key)) {
        keys.push_back(key);
      } else {
        residual.push_back(c.expr);
      }
    }
    current = Join(current, units[u], keys, residual, ast::JoinType::Inner);
    units[u] = TupleSet();
    cmask = both;
  }
  std::vector<const BExpr*> rest;
  for (auto& c : conjuncts) {
    if (!c.applied) rest.push_back(c.expr);
  }
  Filter(current, rest);
  return current;
}

}  // namespace

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
