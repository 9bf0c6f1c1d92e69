// The runner of FROM and WHERE of one query scope (exec_from.cpp: scans, filters and the
// query's run; from_join.cpp: joins; from_lookup_chain.cpp: chains of look-up joins;
// from_join_keys.cpp: key values that select the rows of a join's other side before it is
// read), and the helpers these files share. Only those files include it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/integer_set.h"
#include "tsql/exec/morsels.h"
#include "tsql/exec/scan_filter.h"

namespace orv::tsql::from {

// A set of sources of a query scope, one bit per source.
using Mask = uint64_t;

Mask MaskOf(const BExpr& e);
inline bool Within(Mask m, Mask set) { return (m & ~set) == 0; }

// Loops over at least this many rows or tuples are spread over the cores.
inline constexpr size_t kMorselsFrom = 2 * kMorselRows;
// Tables from this size on keep arrays of their tested columns (Table::ColumnAsArray).
inline constexpr size_t kArraysFrom = 4096;

// Whether every expression may be evaluated for different rows on several threads at once.
bool AllowThreads(const std::vector<const BExpr*>& exprs);
// The tuples of the morsels of a loop, one after another in morsel order.
TupleSet Concatenate(std::vector<TupleSet>& parts, size_t width);

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
bool AsJoinKey(const BExpr& c, Mask lmask, Mask rmask, JoinKey& key);
// A derived table that only filters one table and passes every column through in order and
// in its own type ("SELECT * FROM t WHERE ..."): its rows are the table's rows themselves.
bool IsPassThrough(const BoundQuery& q);

// A join key that reads a column on each side as it is (evaluating it cannot fail).
bool IsBareKey(const JoinKey& key);
// ... of one integer type on both sides (its values can be listed as numbers).
bool IsBareIntegerKey(const JoinKey& key);
// Whether every filter of a scan of `source` compares a column with fixed values (with `ctx`,
// also with conversions of them that it works out without an error).
bool FiltersCannotFail(const std::vector<const BExpr*>& filters, int source, const EvalCtx* ctx = nullptr);
// The sources of a join tree.
Mask TreeMask(const BoundJoin& node);

// A key column's value in a row: NULL (the row too may be missing: the NULL side of an outer
// join), an integer (in v), or a value of another kind.
enum class KeyIs { Null, Int, Other };
inline KeyIs ReadIntKey(const Row* row, size_t col, int64_t& v) {
  if (!row) return KeyIs::Null;
  const Value& value = (*row)[col];
  if (value.is_null()) return KeyIs::Null;
  if (value.kind() != Value::Kind::Int) return KeyIs::Other;
  v = value.int_value();
  return KeyIs::Int;
}
// For a loop over tuples that reads one column of one source: asks for tuple i's value a few
// tuples ahead. A row's values are reached through its vector, itself a cache miss away, so
// the vector is requested twice as far ahead as the value it then points to.
inline void PrefetchKey(const TupleSet& tuples, size_t i, size_t end, size_t src, size_t col) {
  if (i + 2 * kRowsAhead < end) __builtin_prefetch(tuples.at(i + 2 * kRowsAhead)[src]);
  if (i + kRowsAhead < end) {
    if (const Row* ahead = tuples.at(i + kRowsAhead)[src]) __builtin_prefetch(ahead->data() + col);
  }
}

// The tuples of a join side by the value of one integer key column, found in an array indexed
// by the value: for a side whose values span a range at most a few times its size (ids of an
// item, unit or department table), where it replaces hashing and comparing keys.
class DenseKeyMap {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  // False when the side does not qualify: a key of another kind, or too wide a range.
  bool Build(const TupleSet& side, size_t src, size_t col);
  // The first tuple with the key (kNone when none), and the one after a tuple with its key;
  // they come in the side's order.
  uint32_t First(int64_t key) const {
    const uint64_t i = static_cast<uint64_t>(key) - static_cast<uint64_t>(low_);
    return i < head_.size() ? head_[i] : kNone;
  }
  uint32_t Next(uint32_t tuple) const { return next_[tuple]; }

 private:
  int64_t low_ = 0;
  std::vector<uint32_t> head_, next_;
};

// The keys of the tuples of one side of a join that can join (no key NULL): their values one
// tuple after another, their hashes, and the tuple each entry stands for.
struct JoinEntries {
  std::vector<Value> keys;
  std::vector<size_t> hashes;
  std::vector<uint32_t> rows;
};

class FromRunner {
 public:
  FromRunner(BoundSpec& spec, const EvalCtx* outer, ExecEnv& env)
      : spec_(spec), outer_(outer), env_(env), width_(spec.sources.size()), no_row_(width_, nullptr) {}

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
  // The context of values that read no row of this scope (constants, outer columns).
  EvalCtx NoRowCtx() const { return Ctx(no_row_.data()); }
  TupleSet Scan(int source);
  // The values a join key column of a table must hold for its row to join any row of the
  // left side already built: its scan may select those rows before any other test.
  struct JoinKeyValues {
    int column = -1;
    IntegerSet values;
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
  // joined to the others by left or inner joins on bare columns (through an inner join, only
  // when the right side also keeps at most a quarter of its own table), and joined to the
  // right side by a bare integer key: that table's source.
  int PreservedKeySource(const BoundJoin& node, Mask lmask, Mask rmask, const BExpr*& left_key,
                         const BExpr*& right_key) const;
  // About how many rows a scan of the source gives: as many as the one of its filters that
  // can be tested on a column array and cannot fail that keeps the fewest rows (a quick
  // estimate: every 16th entry of each array).
  size_t EstimateScan(int source) const;  // once per source and run (CountScan)
  size_t CountScan(int source) const;
  bool IndexedScan(int source, TupleSet& out);
  TupleSet Build(BoundJoin& node, Mask& mask);
  TupleSet Join(const TupleSet& left, const TupleSet& right, const std::vector<JoinKey>& keys,
                const std::vector<const BExpr*>& residual, ast::JoinType type);
  TupleSet JoinOnSmallLeft(const TupleSet& left, const TupleSet& right,
                           const std::vector<const BExpr*>& left_keys,
                           const std::vector<const BExpr*>& right_keys, const std::vector<SqlType>& types);
  // An inner or left join on one bare integer column a side, whose right side's key values
  // span a range at most a few times its size: each left tuple finds its right tuples in an
  // array indexed by the key value, with no hashing, in the order Join gives. Nothing when
  // the right side does not qualify, or a key holds a value of another kind.
  std::optional<TupleSet> JoinOnDenseKey(const TupleSet& left, const TupleSet& right,
                                         const JoinKey& key, bool keep_left);
  // A chain of inner and left joins that each add one table by one bare integer key, with no
  // other condition than tests of that table's own (a large set of rows looking up their item,
  // unit and department): the tables' keys in DenseKeyMaps, and each tuple of the chain's
  // first side extended through all of them in one pass, with no set of tuples between two
  // joins. The tuples and their order are those of the joins one by one. False, having done
  // nothing, when the join is not such a chain (of at least two joins); when a table does not
  // qualify for a DenseKeyMap once read, the joins are done one by one.
  bool BuildLookupChain(BoundJoin& node, Mask& mask, TupleSet& out);
  // One table of such a chain (or the right side of one join): its tuples and their
  // DenseKeyMap, the sources its tuples fill, the column of the tuples it looks up by, and
  // whether a tuple that finds no row stays (LEFT JOIN).
  struct Lookup {
    const TupleSet* table;
    const DenseKeyMap* map;
    std::vector<size_t> sources;
    size_t key_source, key_column;
    bool keep_left;
  };
  // Each tuple of `base` (whose sources are base_mask) extended through the look-ups in turn,
  // in one pass: the tuples and order of inner and left joins one after another. Nothing when
  // a key holds a value of another kind.
  std::optional<TupleSet> ExtendThroughLookups(const TupleSet& base,
                                               const std::vector<Lookup>& lookups, Mask base_mask);
  // One unit of a FROM list joined to those before it: by the list's WHERE equalities and
  // other conditions over both.
  struct UnitJoin {
    size_t unit = 0;
    std::vector<JoinKey> keys;
    std::vector<const BExpr*> residual;
  };
  // The same chain for a FROM list (`FROM #t, item, unit WHERE ...`): when each unit after the
  // first is one table that joins by one bare integer key and nothing else, and every one
  // qualifies for a DenseKeyMap, `current` becomes the joined tuples. False, having changed
  // nothing, otherwise.
  bool JoinLookupUnits(TupleSet& current, Mask current_mask, const std::vector<TupleSet>& units,
                       const std::vector<UnitJoin>& plan);
  // Runs probe(begin, end, into) over the tuples [0, count) of a join's driving side, in
  // morsels on every core when there are many, and puts the outputs together in order.
  template <class Probe>
  TupleSet ProbeInMorsels(size_t count, Probe&& probe) {
    if (WorthMorsels(count, kMorselsFrom)) {
      std::vector<TupleSet> parts((count + kMorselRows - 1) / kMorselRows);
      RunMorsels(count, kMorselRows, [&](size_t, size_t m, size_t begin, size_t end) {
        parts[m].width = width_;
        parts[m].slots.reserve((end - begin) * width_);
        probe(begin, end, parts[m]);
      });
      return Concatenate(parts, width_);
    }
    TupleSet out;
    out.width = width_;
    out.slots.reserve(count * width_);
    probe(0, count, out);
    return out;
  }
  // A tuple's key values into out[0..]: false when one of them is NULL (it joins nothing).
  bool EvalKeys(const Row* const* tuple, const std::vector<const BExpr*>& exprs, Value* out) const;
  // The entries of a join side's tuples, over every core when there are many.
  JoinEntries KeyEntries(const TupleSet& side, const std::vector<const BExpr*>& exprs,
                         const std::vector<SqlType>& types) const;
  TupleSet Apply(const TupleSet& left, int source, bool keep_left);
  void Filter(TupleSet& t, const std::vector<const BExpr*>& preds);

  BoundSpec& spec_;
  const EvalCtx* outer_;
  ExecEnv& env_;
  size_t width_;
  const std::vector<const Row*> no_row_;  // a tuple of no rows, for NoRowCtx
  std::vector<std::vector<const BExpr*>> scan_filters_;
  std::vector<std::unique_ptr<JoinKeyValues>> join_keys_;  // per source, for its next scan
  std::vector<char> deferred_;                             // per source: see RunPassThrough
  mutable std::vector<std::optional<size_t>> estimates_;   // per source: EstimateScan
  std::unique_ptr<JoinKeyValues> given_keys_;              // for source 0, from the runner above
  std::vector<ScanFilter> given_tests_;                    // the same, see RunPassThrough
  bool first_only_ = false;
};

}  // namespace orv::tsql::from
