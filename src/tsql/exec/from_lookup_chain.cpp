// Chains of look-up joins: a large set of rows joined to several small tables by their ids
// (task orders to their item, unit, department and employee), each tuple extended through all
// of the tables in one pass instead of one join after another.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "tsql/exec/from_runner.h"

namespace orv::tsql::from {
namespace {

// One join of a chain: the join, the sources of its left side, the table it adds, its key,
// the tests of that table's own from its ON, and whether it keeps a tuple that finds no row.
struct LookupStep {
  BoundJoin* node = nullptr;
  Mask lmask = 0;
  int source = -1;
  JoinKey key{};
  bool keyed = false;
  std::vector<const BExpr*> filters;
  bool keep_left = false;
};

// Whether `row` is one of rows[0, count) (a NULL row of an outer join is not).
bool InRows(const Row* row, const Row* rows, size_t count) {
  const auto at = reinterpret_cast<uintptr_t>(row), first = reinterpret_cast<uintptr_t>(rows);
  return at >= first && at < first + count * sizeof(Row);
}

}  // namespace

std::optional<TupleSet> FromRunner::ExtendThroughLookups(const TupleSet& base,
                                                         const std::vector<Lookup>& lookups,
                                                         Mask base_mask) {
  // A key read from a large table's rows on the base side comes from the table's array of the
  // column by the row's position (Table::ColumnAsArray; kept from one statement to the next
  // while the column does not change), when there are enough tuples to repay making it.
  struct BaseArray {
    const Row* rows = nullptr;  // the table's rows, the array's positions
    size_t count = 0;
    std::shared_ptr<const Table::ColumnArray> array;
  };
  std::vector<BaseArray> base_arrays(lookups.size());
  std::vector<std::pair<size_t, size_t>> base_keys;  // (source, column) read from base rows
  for (size_t i = 0; i < lookups.size(); ++i) {
    const Lookup& lookup = lookups[i];
    if (!(base_mask >> lookup.key_source & 1)) continue;
    const Table* table = ScannedTable(static_cast<int>(lookup.key_source));
    if (table && table->row_count() >= kArraysFrom && base.count * 4 >= table->row_count()) {
      if (auto array = table->ColumnAsArray(static_cast<int>(lookup.key_column))) {
        base_arrays[i] = {table->row_slots().data(), table->row_count(), std::move(array)};
        continue;
      }
    }
    base_keys.emplace_back(lookup.key_source, lookup.key_column);
  }
  // A look-up keyed by a column of an earlier look-up's table (an item's unit) reads its key
  // from an array by the tuple found there, not from that row: those rows are scattered over
  // the heap, and reading one per tuple is a cache miss per tuple (when there are at least as
  // many tuples as rows in that table: otherwise reading the rows the tuples find is less).
  struct ChainedKey {
    size_t from = 0;  // the earlier look-up
    std::vector<int64_t> values;
    std::vector<KeyIs> kinds;
  };
  std::vector<std::optional<ChainedKey>> chained(lookups.size());
  for (size_t i = 0; i < lookups.size(); ++i) {
    for (size_t j = 0; j < i && !chained[i]; ++j) {
      const std::vector<size_t>& filled = lookups[j].sources;
      const TupleSet& table = *lookups[j].table;
      if (table.count > base.count ||
          std::find(filled.begin(), filled.end(), lookups[i].key_source) == filled.end()) {
        continue;
      }
      ChainedKey& key = chained[i].emplace();
      key.from = j;
      key.values.resize(table.count);
      key.kinds.resize(table.count);
      for (size_t r = 0; r < table.count; ++r) {
        key.kinds[r] =
            ReadIntKey(table.at(r)[lookups[i].key_source], lookups[i].key_column, key.values[r]);
      }
    }
  }
  std::atomic<bool> other{false};
  auto probe = [&](size_t begin, size_t end, TupleSet& into) {
    std::vector<const Row*> tuple(width_, nullptr);
    std::vector<uint32_t> found_at(lookups.size(), DenseKeyMap::kNone);  // per look-up
    // Extends the tuple through the look-ups from i on; false on a key of another kind.
    auto extend = [&](auto& self, size_t i) -> bool {
      if (i == lookups.size()) {
        into.Append(tuple.data());
        return true;
      }
      const Lookup& lookup = lookups[i];
      int64_t k = 0;
      KeyIs is = KeyIs::Null;
      if (const std::optional<ChainedKey>& key = chained[i]) {
        const uint32_t at = found_at[key->from];
        if (at != DenseKeyMap::kNone) {
          is = key->kinds[at];
          k = key->values[at];
        }
      } else if (const BaseArray& b = base_arrays[i];
                 b.array && InRows(tuple[lookup.key_source], b.rows, b.count)) {
        const auto at = static_cast<size_t>(tuple[lookup.key_source] - b.rows);
        if (!b.array->nulls[at]) {
          is = KeyIs::Int;
          k = b.array->values[at];
        }
      } else {
        is = ReadIntKey(tuple[lookup.key_source], lookup.key_column, k);
      }
      uint32_t r = DenseKeyMap::kNone;
      switch (is) {
        case KeyIs::Other:
          return false;
        case KeyIs::Int:
          r = lookup.map->First(k);
          break;
        case KeyIs::Null:
          break;
      }
      if (r == DenseKeyMap::kNone) {
        if (!lookup.keep_left) return true;
        for (size_t s : lookup.sources) tuple[s] = nullptr;
        found_at[i] = DenseKeyMap::kNone;
        return self(self, i + 1);
      }
      for (; r != DenseKeyMap::kNone; r = lookup.map->Next(r)) {
        const Row* const* found = lookup.table->at(r);
        for (size_t s : lookup.sources) tuple[s] = found[s];
        found_at[i] = r;
        if (!self(self, i + 1)) return false;
      }
      return true;
    };
    for (size_t l = begin; l < end; ++l) {
      if ((l & 4095) == 4095) {
        CheckCancel(env_);
        if (other.load(std::memory_order_relaxed)) return;
      }
      for (const auto& [src, col] : base_keys) PrefetchKey(base, l, end, src, col);
      std::copy_n(base.at(l), width_, tuple.begin());
      if (!extend(extend, 0)) {
        other.store(true, std::memory_order_relaxed);
        return;
      }
    }
  };
  TupleSet out = ProbeInMorsels(base.count, probe);
  if (other.load()) return std::nullopt;
  return out;
}

bool FromRunner::BuildLookupChain(BoundJoin& node, Mask& mask, TupleSet& out) {
  // The joins of the chain from the top down, as long as each qualifies.
  std::vector<LookupStep> steps;
  BoundJoin* first = &node;
  while (first->source < 0 &&
         (first->type == ast::JoinType::Inner || first->type == ast::JoinType::Left)) {
    const int s = first->right->source;
    if (s < 0 || spec_.sources[static_cast<size_t>(s)].lateral) break;
    LookupStep step;
    step.node = first;
    step.lmask = TreeMask(*first->left);
    step.source = s;
    step.keep_left = first->type == ast::JoinType::Left;
    const Mask rmask = Mask{1} << s;
    bool fits = true;
    for (const auto& c : first->on) {
      const Mask m = MaskOf(*c);
      JoinKey key;
      if (m != 0 && Within(m, rmask)) {
        step.filters.push_back(c.get());
      } else if (!step.keyed && AsJoinKey(*c, step.lmask, rmask, key) && IsBareIntegerKey(key)) {
        step.key = key;
        step.keyed = true;
      } else {
        fits = false;
        break;
      }
    }
    // A join whose right side selects the rows of a table on its left is built right side
    // first (see Build): the chain ends below it.
    const BExpr* left_key = nullptr;
    const BExpr* right_key = nullptr;
    if (!fits || !step.keyed ||
        PreservedKeySource(*first, step.lmask, rmask, left_key, right_key) >= 0) {
      break;
    }
    steps.push_back(std::move(step));
    first = first->left.get();
  }
  // The first join of the chain reads its table as the join alone would, selecting its rows
  // by the key values of the chain's first side (NoteJoinKeys). A later one cannot know the
  // tuples that reach it before reading its table, so its table must be one that is read
  // whole either way: a small one, or one not much larger whose rows are all made already.
  // The chain ends below the first join with a table that is not.
  constexpr size_t kMadeTableRows = 65536;
  auto read_whole = [&](const LookupStep& step) {
    const Table* table = ScannedTable(step.source);
    return !table || table->row_count() < kArraysFrom ||
           (table->AllRowsMade() && table->row_count() <= kMadeTableRows);
  };
  for (size_t i = 0; i + 1 < steps.size(); ++i) {
    if (!read_whole(steps[i])) {
      first = steps[i + 1].node;
      steps.resize(i + 1);
      break;
    }
  }
  if (steps.size() < 2) return false;
  std::reverse(steps.begin(), steps.end());

  // The chain's first side, then its tables in the order the joins one by one read them.
  // A table may select its rows by the key values of the first side's tuples (those of the
  // tuples that reach its join are among them).
  Mask base_mask = 0;
  TupleSet base = Build(*first, base_mask);
  std::vector<TupleSet> tables(steps.size());
  std::vector<DenseKeyMap> maps(steps.size());
  bool dense = true;
  for (size_t i = 0; i < steps.size(); ++i) {
    LookupStep& step = steps[i];
    if (Within(MaskOf(*step.key.left), base_mask)) NoteJoinKeys(*step.node, step.lmask, base);
    Mask table_mask = 0;
    tables[i] = Build(*step.node->right, table_mask);
    Filter(tables[i], step.filters);
    dense = dense && maps[i].Build(tables[i], static_cast<size_t>(step.source),
                                   static_cast<size_t>(step.key.right->col));
  }
  mask = base_mask;
  for (const LookupStep& step : steps) mask |= Mask{1} << step.source;

  if (dense) {
    std::vector<Lookup> lookups;
    for (size_t i = 0; i < steps.size(); ++i) {
      lookups.push_back({&tables[i], &maps[i], {static_cast<size_t>(steps[i].source)},
                         static_cast<size_t>(steps[i].key.left->src),
                         static_cast<size_t>(steps[i].key.left->col), steps[i].keep_left});
    }
    if (std::optional<TupleSet> extended = ExtendThroughLookups(base, lookups, base_mask)) {
      out = std::move(*extended);
      return true;
    }
  }
  // A table without a DenseKeyMap, or a key of another kind: the joins one by one.
  out = std::move(base);
  for (size_t i = 0; i < steps.size(); ++i) {
    out = Join(out, tables[i], {steps[i].key}, {}, steps[i].node->type);
  }
  return true;
}

bool FromRunner::JoinLookupUnits(TupleSet& current, Mask current_mask,
                                 const std::vector<TupleSet>& units,
                                 const std::vector<UnitJoin>& plan) {
  if (plan.size() < 2) return false;
  for (const UnitJoin& step : plan) {
    if (spec_.from[step.unit]->source < 0 || step.keys.size() != 1 || !step.residual.empty() ||
        !IsBareIntegerKey(step.keys[0])) {
      return false;
    }
  }
  std::vector<DenseKeyMap> maps(plan.size());
  std::vector<Lookup> lookups;
  for (size_t i = 0; i < plan.size(); ++i) {
    const JoinKey& key = plan[i].keys[0];
    const size_t source = static_cast<size_t>(spec_.from[plan[i].unit]->source);
    const size_t column = static_cast<size_t>(key.right->col);
    if (!maps[i].Build(units[plan[i].unit], source, column)) return false;
    lookups.push_back({&units[plan[i].unit], &maps[i], {source}, static_cast<size_t>(key.left->src),
                       static_cast<size_t>(key.left->col), false});
  }
  std::optional<TupleSet> extended = ExtendThroughLookups(current, lookups, current_mask);
  if (!extended) return false;
  current = std::move(*extended);
  return true;
}

}  // namespace orv::tsql::from
