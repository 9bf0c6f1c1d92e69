// A chained hash index over row ids, used by hash joins, semi-joins, grouping, DISTINCT and
// keyed subquery look-ups. It stores only ids and hashes; the caller compares the keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsql/types.h"
#include "tsql/value.h"

namespace orv::tsql {

class HashIndex {
 public:
  void Reset(size_t expected) {
    size_t buckets = 16;
    while (buckets < expected * 2) buckets <<= 1;
    buckets_.assign(buckets, Bucket{kNone, kNone});
    next_.clear();
    hashes_.clear();
    next_.reserve(expected);
    hashes_.reserve(expected);
    mask_ = buckets - 1;
  }
  // Ids must be given in increasing order starting from 0 (id == number of earlier inserts).
  void Insert(size_t hash) {
    if (buckets_.empty()) Reset(16);
    if (hashes_.size() * 2 > buckets_.size()) Grow();
    uint32_t id = static_cast<uint32_t>(hashes_.size());
    hashes_.push_back(hash);
    Bucket& b = buckets_[hash & mask_];
    next_.push_back(kNone);
    // Append at the chain's tail so that ForEach visits ids in insertion order.
    if (b.head == kNone) {
      b.head = id;
    } else {
      next_[b.tail] = id;
    }
    b.tail = id;
  }
  size_t size() const { return hashes_.size(); }
  // Calls f(id) for every id with this hash, in insertion order, until f returns false.
  template <class F>
  void ForEach(size_t hash, F&& f) const {
    if (buckets_.empty()) return;
    for (uint32_t cur = buckets_[hash & mask_].head; cur != kNone; cur = next_[cur]) {
      if (hashes_[cur] == hash && !f(cur)) return;
    }
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  void Grow() {
    std::vector<size_t> hashes = std::move(hashes_);
    Reset(hashes.size() * 2);
    for (size_t h : hashes) Insert(h);
  }
  // Head and tail of a chain side by side: an insert touches one cache line, not two.
  struct Bucket {
    uint32_t head;
    uint32_t tail;
  };
  std::vector<Bucket> buckets_;
  std::vector<uint32_t> next_;
  std::vector<size_t> hashes_;
  size_t mask_ = 0;
};

// Hash and equality of a key of n values with their types; NULLs hash alike and compare equal
// (grouping and DISTINCT semantics; joins skip NULL keys before calling these).
size_t HashKey(const Value* values, const SqlType* types, size_t n);
bool KeyEqual(const Value* a, const Value* b, const SqlType* types, size_t n);

}  // namespace orv::tsql
