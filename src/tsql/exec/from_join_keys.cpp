// Key values that select rows before they are read: the values a join's side already built
// holds in its key column become a set that the scan of the other side's table tests first
// (from its column array), where none of that table's tests can fail; which side is built
// first; and derived tables that only filter a table, run when their scan comes so that such
// values reach them.
#include <algorithm>
#include <memory>
#include <optional>

#include "tsql/exec/from_runner.h"
#include "tsql/exec/scan_filter.h"

namespace orv::tsql::from {

namespace {

bool IsIntegerType(TypeId id) {
  return id == TypeId::TinyInt || id == TypeId::SmallInt || id == TypeId::Int || id == TypeId::BigInt;
}

// Whether `source` is the tree's first leaf and every join above it is a left or inner join
// on equalities of bare columns alone: every output row then carries one of its rows, and
// leaving out rows of it first leaves out exactly the output rows that carry them (an inner
// join may leave out more), evaluating nothing that could fail on them. `inner` is set when
// one of the joins is an inner join.
bool CarriesThroughJoins(const BoundJoin& node, int source, bool& inner) {
  if (node.source >= 0) return node.source == source;
  if (node.type != ast::JoinType::Left && node.type != ast::JoinType::Inner) return false;
  inner = inner || node.type == ast::JoinType::Inner;
  const Mask lmask = TreeMask(*node.left), rmask = TreeMask(*node.right);
  for (const auto& c : node.on) {
    JoinKey key;
    if (!AsJoinKey(*c, lmask, rmask, key) || !IsBareKey(key)) return false;
  }
  return CarriesThroughJoins(*node.left, source, inner);
}

}  // namespace

bool IsBareKey(const JoinKey& key) {
  return key.left->kind == BKind::Column && key.left->depth == 0 && key.right->kind == BKind::Column &&
         key.right->depth == 0;
}
bool IsBareIntegerKey(const JoinKey& key) {
  return IsBareKey(key) && IsIntegerType(key.type.id) && key.left->type == key.type && key.right->type == key.type;
}

bool FiltersCannotFail(const std::vector<const BExpr*>& filters, int source, const EvalCtx* ctx) {
  return std::all_of(filters.begin(), filters.end(), [&](const BExpr* f) {
    ScanFilter test(*f, source);
    return ctx ? test.WorkOutValues(*ctx) : test.CannotFail();
  });
}

Mask TreeMask(const BoundJoin& node) {
  if (node.source >= 0) return Mask{1} << node.source;
  return TreeMask(*node.left) | TreeMask(*node.right);
}


// An inner or left join whose right side is a large table and whose ON conditions include
// "left column = right column" on integers, with no condition on the right side alone: the
// left side's values of that column, for the table's scan (a right row without one of them
// can join nothing, and the left join keeps its left rows all the same).
void FromRunner::NoteJoinKeys(const BoundJoin& node, Mask lmask, const TupleSet& left) {
  const int s = node.right->source;
  if (s < 0 || (node.type != ast::JoinType::Inner && node.type != ast::JoinType::Left)) return;
  const Table* table = ScannedTable(s);
  // Worth a pass over the key column's array when the left side is small beside the table,
  // or, for a table whose rows are not all made yet, not larger than it: each row left out
  // is then also a row not made.
  if (!table || table->row_count() < kArraysFrom) return;
  if (left.count * (table->AllRowsMade() ? 4 : 1) > table->row_count()) return;
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
  keys->values = IntegerSet(std::move(values));
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
  const EvalCtx ctx = NoRowCtx();
  return FiltersCannotFail(scan_filters_[static_cast<size_t>(source)], source, &ctx);
}

size_t FromRunner::EstimateScan(int source) const {
  std::optional<size_t>& known = estimates_[static_cast<size_t>(source)];
  if (!known) known = CountScan(source);
  return *known;
}

size_t FromRunner::CountScan(int source) const {
  const BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  if (src.lateral) return SIZE_MAX;
  std::vector<ScanFilter> tests;
  const Table* table = ScannedTable(source);
  if (!table) return src.rows ? src.rows->size() : src.borrowed.size();
  const size_t rows = table->row_count();
  if (rows < kArraysFrom) return rows;
  const EvalCtx ctx = NoRowCtx();
  auto add = [&](const BExpr& f, int s) {
    ScanFilter test(f, s);
    if (test.WorkOutValues(ctx) && test.UseColumnArray(*table)) tests.push_back(std::move(test));
  };
  if (!src.table) {
    for (const auto& w : src.derived->spec->where) add(*w, 0);
  }
  for (const BExpr* f : scan_filters_[static_cast<size_t>(source)]) add(*f, source);
  if (tests.empty()) return rows;
  // Each test alone, over every 16th entry of its array: the fewest rows one of them keeps,
  // scaled to the table.
  constexpr size_t kStride = 16;
  std::vector<uint32_t> sample;
  for (size_t i = 0; i < rows; i += kStride) sample.push_back(static_cast<uint32_t>(i));
  size_t fewest = rows;
  std::vector<uint32_t> kept;
  for (ScanFilter& test : tests) {
    kept = sample;
    if (test.NarrowOnArray(ctx, kept)) fewest = std::min(fewest, kept.size() * rows / sample.size());
  }
  return fewest;
}

void FromRunner::RunPassThrough(int source) {
  BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  deferred_[static_cast<size_t>(source)] = 0;
  FromRunner inner(*src.derived->spec, nullptr, env_);
  inner.given_keys_ = std::move(join_keys_[static_cast<size_t>(source)]);
  // This scope's tests of the derived table's rows that cannot fail, with their values worked
  // out here: the table's scan may select its rows by them.
  const EvalCtx ctx = NoRowCtx();
  for (const BExpr* f : scan_filters_[static_cast<size_t>(source)]) {
    ScanFilter test(*f, source);
    if (test.WorkOutValues(ctx)) inner.given_tests_.push_back(std::move(test));
  }
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
    bool inner = false;
    if (!table || table->row_count() < kArraysFrom || join_keys_[static_cast<size_t>(s)] ||
        !CarriesThroughJoins(*node.left, s, inner)) {
      continue;
    }
    const size_t right_rows = EstimateScan(r);
    if (right_rows == SIZE_MAX || right_rows > table->row_count() / 4) continue;
    // Through an inner join, the left side built first may select the right side's rows in
    // turn: the right side goes first only when its own filters keep few of its table's rows.
    const Table* right_table = ScannedTable(r);
    if (inner && (!right_table || right_rows > right_table->row_count() / 4)) continue;
    if (right_rows > EstimateScan(s) / 4) continue;
    left_key = key.left;
    right_key = key.right;
    return s;
  }
  return -1;
}

}  // namespace orv::tsql::from
