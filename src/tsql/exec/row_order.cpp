// Ordering rows: comparison under the sort keys (NULLs first ascending), and a stable sort
// that moves compact records of the keys rather than chasing row pointers.
#include "tsql/exec/row_order.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <iterator>
#include <numeric>
#include <optional>

#include "tsql/exec/exec.h"
#include "tsql/exec/two_halves.h"
#include "tsql/types/collation.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// std::stable_sort, on two threads for a large range: each half is sorted on its own thread,
// then the halves are merged (a merge takes the first half's element of an equal pair first,
// so the whole stays stable).
template <class Record, class Less>
void StableSortRecords(std::vector<Record>& records, Less less) {
  if (!WorthTwoThreads(records.size(), size_t{1} << 17)) {
    std::stable_sort(records.begin(), records.end(), less);
    return;
  }
  RunTwoHalves(records.size(), [&](size_t begin, size_t end, const std::atomic<bool>*) {
    std::stable_sort(records.begin() + static_cast<ptrdiff_t>(begin),
                     records.begin() + static_cast<ptrdiff_t>(end), less);
  });
  const auto mid = records.begin() + static_cast<ptrdiff_t>(records.size() / 2);
  std::vector<Record> merged;
  merged.reserve(records.size());
  std::merge(std::make_move_iterator(records.begin()), std::make_move_iterator(mid),
             std::make_move_iterator(mid), std::make_move_iterator(records.end()),
             std::back_inserter(merged), less);
  records = std::move(merged);
}

// Asks for the sort keys of the row kRowsAhead places after row i (of n): building the records
// of a large sort reads rows scattered over the heap.
void PrefetchKeysAhead(const Row* const* rows, size_t i, size_t n,
                       const std::vector<SortKey>& keys) {
  if (i + kRowsAhead >= n) return;
  const Row& ahead = *rows[i + kRowsAhead];
  for (const SortKey& key : keys) __builtin_prefetch(ahead.data() + key.column);
}

// An integer's value or a datetime's ticks, as the number a sort record holds.
int64_t NumberOf(const Value& v) {
  return v.kind() == Value::Kind::Int ? v.int_value() : v.datetime_ticks();
}

// The order of the rows under the keys, stable, as positions in `rows`. For up to eight keys
// the keys of each row are copied into one record with the row's position and the records
// themselves are sorted: a merge then reads neighbouring records, where sorting bare positions
// would fetch two rows' keys from random places for every comparison (the cost of sorting a
// large result).
template <size_t N>
std::vector<uint32_t> SortedOrderByRecords(const Row* const* rows, size_t n,
                                           const std::vector<SortKey>& keys) {
  struct Record {
    std::array<Value, N> key;
    uint32_t row;
  };
  const size_t nk = keys.size();
  std::vector<Record> records(n);
  for (size_t i = 0; i < n; ++i) {
    PrefetchKeysAhead(rows, i, n, keys);
    for (size_t k = 0; k < nk; ++k) records[i].key[k] = (*rows[i])[keys[k].column];
    records[i].row = static_cast<uint32_t>(i);
  }
  StableSortRecords(records, [&](const Record& a, const Record& b) {
    for (size_t k = 0; k < nk; ++k) {
      int c = CompareNullable(a.key[k], b.key[k], keys[k].type);
      if (c != 0) return keys[k].desc ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = records[i].row;
  return order;
}

// Keys whose values are all integers, or all datetimes, besides NULLs (ids, dates, sort
// numbers): the records hold plain 64-bit numbers, smaller than values and compared without
// looking at kinds or types. Nothing when a key holds a value of another kind.
template <size_t N>
std::optional<std::vector<uint32_t>> SortedOrderByNumbers(const Row* const* rows, size_t n,
                                                          const std::vector<SortKey>& keys) {
  struct Record {
    std::array<int64_t, N> key;
    uint32_t row;
    uint32_t nulls;  // bit k: key k is NULL
  };
  std::array<Value::Kind, N> kinds;
  kinds.fill(Value::Kind::Null);
  std::vector<Record> records(n);
  for (size_t i = 0; i < n; ++i) {
    PrefetchKeysAhead(rows, i, n, keys);
    Record& r = records[i];
    r.row = static_cast<uint32_t>(i);
    r.nulls = 0;
    for (size_t k = 0; k < N; ++k) {
      const Value& v = (*rows[i])[keys[k].column];
      r.key[k] = 0;
      if (v.is_null()) {
        r.nulls |= 1u << k;
        continue;
      }
      if (v.kind() != kinds[k]) {
        if (kinds[k] != Value::Kind::Null) return std::nullopt;
        if (v.kind() != Value::Kind::Int && v.kind() != Value::Kind::DateTime) return std::nullopt;
        kinds[k] = v.kind();
      }
      r.key[k] = NumberOf(v);
    }
  }
  std::array<bool, N> desc;
  for (size_t k = 0; k < N; ++k) desc[k] = keys[k].desc;
  StableSortRecords(records, [&](const Record& a, const Record& b) {
    for (size_t k = 0; k < N; ++k) {
      const uint32_t an = a.nulls >> k & 1, bn = b.nulls >> k & 1;
      int c;
      if (an | bn) {
        c = static_cast<int>(bn) - static_cast<int>(an);  // NULL lowest
      } else {
        c = a.key[k] < b.key[k] ? -1 : (a.key[k] > b.key[k] ? 1 : 0);
      }
      if (c != 0) return desc[k] ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = records[i].row;
  return order;
}

// Keys of integers or datetimes (as in SortedOrderByNumbers) and of text under the default
// collation, at least one of them text (item numbers, bill numbers, names): each text is
// represented in the record by its first 16 bytes, ASCII letters folded to upper case and
// blanks after its end. For ASCII text the collation compares exactly those bytes (a shorter
// text counts as padded with blanks), so records whose prefixes differ are ordered by two
// integer comparisons; equal prefixes are equal texts when both are whole in them, and
// otherwise (a longer text, or one with other characters) the values themselves are compared.
// Nothing when a key holds a value of another kind or type.
template <size_t N>
std::optional<std::vector<uint32_t>> SortedOrderByPrefixes(const Row* const* rows, size_t n,
                                                           const std::vector<SortKey>& keys) {
  constexpr size_t kPrefix = 16;
  struct Record {
    std::array<std::array<uint64_t, 2>, N> key;
    uint32_t row;
    uint8_t nulls;     // bit k: key k is NULL
    uint8_t decides;   // bit k: a difference in key k's prefix decides (ASCII text, a number)
    uint8_t complete;  // bit k: key k's prefix holds all of it
  };
  static_assert(N <= 8);
  std::array<Value::Kind, N> kinds;
  kinds.fill(Value::Kind::Null);
  std::array<bool, N> collated;  // text of the key compares under the default collation
  for (size_t k = 0; k < N; ++k) {
    collated[k] = keys[k].type.IsString() && keys[k].type.collation == Collation::kCiAs;
  }
  std::vector<Record> records(n);
  bool text = false;
  for (size_t i = 0; i < n; ++i) {
    PrefetchKeysAhead(rows, i, n, keys);
    Record& r = records[i];
    r.row = static_cast<uint32_t>(i);
    r.nulls = r.decides = r.complete = 0;
    for (size_t k = 0; k < N; ++k) {
      const Value& v = (*rows[i])[keys[k].column];
      r.key[k] = {0, 0};
      if (v.is_null()) {
        r.nulls |= static_cast<uint8_t>(1u << k);
        continue;
      }
      if (v.kind() != kinds[k]) {
        if (kinds[k] != Value::Kind::Null) return std::nullopt;
        if (v.kind() != Value::Kind::Int && v.kind() != Value::Kind::DateTime &&
            (v.kind() != Value::Kind::String || !collated[k])) {
          return std::nullopt;
        }
        kinds[k] = v.kind();
      }
      if (v.kind() != Value::Kind::String) {
        r.key[k][0] = static_cast<uint64_t>(NumberOf(v)) ^ (uint64_t{1} << 63);  // signed order
        r.decides |= static_cast<uint8_t>(1u << k);
        r.complete |= static_cast<uint8_t>(1u << k);
        continue;
      }
      text = true;
      const std::string_view s = v.string_value();
      bool ascii = true;
      for (unsigned char c : s) ascii = ascii && c < 0x80;
      if (!ascii) continue;  // compared as values
      for (size_t b = 0; b < kPrefix; ++b) {
        const unsigned char c = b < s.size() ? coll::Fold(static_cast<unsigned char>(s[b])) : ' ';
        r.key[k][b / 8] = r.key[k][b / 8] << 8 | c;
      }
      r.decides |= static_cast<uint8_t>(1u << k);
      if (s.size() <= kPrefix) r.complete |= static_cast<uint8_t>(1u << k);
    }
  }
  if (!text) return std::nullopt;  // SortedOrderByNumbers' records are smaller
  std::array<bool, N> desc;
  for (size_t k = 0; k < N; ++k) desc[k] = keys[k].desc;
  StableSortRecords(records, [&](const Record& a, const Record& b) {
    for (size_t k = 0; k < N; ++k) {
      const uint32_t an = a.nulls >> k & 1, bn = b.nulls >> k & 1;
      int c = 0;
      if (an | bn) {
        c = static_cast<int>(bn) - static_cast<int>(an);  // NULL lowest
      } else if ((a.decides & b.decides) >> k & 1 && a.key[k] != b.key[k]) {
        c = a.key[k] < b.key[k] ? -1 : 1;
      } else if (!((a.complete & b.complete) >> k & 1)) {  // (a complete key also decides)
        c = Compare((*rows[a.row])[keys[k].column], (*rows[b.row])[keys[k].column], keys[k].type);
      }
      if (c != 0) return desc[k] ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = records[i].row;
  return order;
}

// More keys: positions are sorted, comparing copies of the keys laid out one block per row.
std::vector<uint32_t> SortedOrderByIndex(const Row* const* rows, size_t n,
                                         const std::vector<SortKey>& keys) {
  const size_t nk = keys.size();
  std::vector<Value> flat(n * nk);
  for (size_t i = 0; i < n; ++i) {
    for (size_t k = 0; k < nk; ++k) flat[i * nk + k] = (*rows[i])[keys[k].column];
  }
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    const Value* a = flat.data() + static_cast<size_t>(x) * nk;
    const Value* b = flat.data() + static_cast<size_t>(y) * nk;
    for (size_t k = 0; k < nk; ++k) {
      int c = CompareNullable(a[k], b[k], keys[k].type);
      if (c != 0) return keys[k].desc ? c > 0 : c < 0;
    }
    return false;
  });
  return order;
}

}  // namespace

int CompareNullable(const Value& a, const Value& b, const SqlType& type) {
  if (a.is_null() || b.is_null()) {
    if (a.is_null() && b.is_null()) return 0;
    return a.is_null() ? -1 : 1;
  }
  return Compare(a, b, type);
}

int CompareRows(const Row& a, const Row& b, const std::vector<SortKey>& keys) {
  for (const auto& k : keys) {
    int c = CompareNullable(a[k.column], b[k.column], k.type);
    if (c != 0) return k.desc ? -c : c;
  }
  return 0;
}

std::vector<uint32_t> SortedOrder(const Row* const* rows, size_t n,
                                  const std::vector<SortKey>& keys) {
  using NumbersFn = std::optional<std::vector<uint32_t>> (*)(const Row* const*, size_t,
                                                             const std::vector<SortKey>&);
  static constexpr NumbersFn kByNumbers[] = {
      nullptr,
      SortedOrderByNumbers<1>,
      SortedOrderByNumbers<2>,
      SortedOrderByNumbers<3>,
      SortedOrderByNumbers<4>,
  };
  constexpr size_t kNumbersFrom = 64;  // fewer rows sort as fast either way
  if (n >= kNumbersFrom && !keys.empty() && keys.size() < std::size(kByNumbers)) {
    if (auto order = kByNumbers[keys.size()](rows, n, keys)) return std::move(*order);
  }
  static constexpr NumbersFn kByPrefixes[] = {
      nullptr,
      SortedOrderByPrefixes<1>,
      SortedOrderByPrefixes<2>,
      SortedOrderByPrefixes<3>,
      SortedOrderByPrefixes<4>,
      SortedOrderByPrefixes<5>,
      SortedOrderByPrefixes<6>,
  };
  if (n >= kNumbersFrom && !keys.empty() && keys.size() < std::size(kByPrefixes)) {
    if (auto order = kByPrefixes[keys.size()](rows, n, keys)) return std::move(*order);
  }
  using OrderFn = std::vector<uint32_t> (*)(const Row* const*, size_t, const std::vector<SortKey>&);
  static constexpr OrderFn kByRecords[] = {
      nullptr,
      SortedOrderByRecords<1>,
      SortedOrderByRecords<2>,
      SortedOrderByRecords<3>,
      SortedOrderByRecords<4>,
      SortedOrderByRecords<5>,
      SortedOrderByRecords<6>,
      SortedOrderByRecords<7>,
      SortedOrderByRecords<8>,
  };
  return keys.size() < std::size(kByRecords) ? kByRecords[keys.size()](rows, n, keys)
                                             : SortedOrderByIndex(rows, n, keys);
}

void SortRows(std::vector<Row>& rows, const std::vector<SortKey>& keys) {
  if (keys.empty() || rows.size() < 2) return;
  std::vector<const Row*> pointers(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) pointers[i] = &rows[i];
  const std::vector<uint32_t> order = SortedOrder(pointers.data(), rows.size(), keys);
  std::vector<Row> sorted;
  sorted.reserve(rows.size());
  for (uint32_t i : order) sorted.push_back(std::move(rows[i]));
  rows = std::move(sorted);
}

}  // namespace orv::tsql
