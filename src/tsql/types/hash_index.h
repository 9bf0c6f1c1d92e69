// A chained hash index over row ids, used by hash joins, semi-joins, grouping, DISTINCT and
// keyed subquery look-ups. It stores only ids and hashes; the caller compares the keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

class HashIndex {
 public:
  void Reset(size_t expected) {
    size_t buckets = 16;
    while (buckets < expected * 2) buckets <<= 1;
    buckets_.assign(buckets, Bucket{kNone, kNone});
    nodes_.clear();
    nodes_.reserve(expected);
    mask_ = buckets - 1;
  }
  // Ids must be given in increasing order starting from 0 (id == number of earlier inserts).
  void Insert(size_t hash) {
    if (buckets_.empty()) Reset(16);
    if (nodes_.size() * 2 > buckets_.size()) Grow();
    uint32_t id = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back(Node{hash, kNone});
    Bucket& b = buckets_[hash & mask_];
    // Append at the chain's tail so that ForEach visits ids in insertion order.
    if (b.head == kNone) {
      b.head = id;
    } else {
      nodes_[b.tail].next = id;
    }
    b.tail = id;
  }
  // Inserts one id per hash, in order, as Insert would. Building a large index writes buckets
  // at random places; here each bucket is asked for a few inserts before it is written.
  void InsertMany(const std::vector<size_t>& hashes) {
    if (buckets_.empty() || (nodes_.size() + hashes.size()) * 2 > buckets_.size()) {
      std::vector<Node> nodes = std::move(nodes_);
      Reset(nodes.size() + hashes.size());
      for (const Node& n : nodes) Insert(n.hash);
    }
    constexpr size_t kAhead = 16;
    for (size_t i = 0; i < hashes.size(); ++i) {
      if (i + kAhead < hashes.size()) PrefetchBucket(hashes[i + kAhead]);
      Insert(hashes[i]);
    }
  }
  size_t size() const { return nodes_.size(); }
  // Prefetching for loops that probe many keys: a probe reads the bucket, then the first entry
  // of its chain, both at random places in a large index. PrefetchBucket is issued some probes
  // ahead; PrefetchHead, fewer probes ahead, reads the (by then cached) bucket, prefetches the
  // chain's first node and returns its id (or kNone) so that the caller can prefetch its keys.
  void PrefetchBucket(size_t hash) const {
    if (!buckets_.empty()) __builtin_prefetch(&buckets_[hash & mask_]);
  }
  uint32_t PrefetchHead(size_t hash) const {
    if (buckets_.empty()) return kNone;
    const uint32_t head = buckets_[hash & mask_].head;
    if (head != kNone) __builtin_prefetch(&nodes_[head]);
    return head;
  }
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  // Calls f(id) for every id with this hash, in insertion order, until f returns false.
  template <class F>
  void ForEach(size_t hash, F&& f) const {
    if (buckets_.empty()) return;
    for (uint32_t cur = buckets_[hash & mask_].head; cur != kNone; cur = nodes_[cur].next) {
      if (nodes_[cur].hash == hash && !f(cur)) return;
    }
  }

 private:
  void Grow() {
    std::vector<Node> nodes = std::move(nodes_);
    Reset(nodes.size() * 2);
    for (const Node& n : nodes) Insert(n.hash);
  }
  // Head and tail of a chain side by side: an insert touches one cache line, not two.
  struct Bucket {
    uint32_t head;
    uint32_t tail;
  };
  // An entry's hash and its successor in the chain together: walking a chain costs one memory
  // access per entry (large indexes do not fit in the cache).
  struct Node {
    size_t hash;
    uint32_t next;
  };
  std::vector<Bucket> buckets_;
  std::vector<Node> nodes_;
  size_t mask_ = 0;
};

// Hash and equality of a key of n values with their types; NULLs hash alike and compare equal
// (grouping and DISTINCT semantics; joins skip NULL keys before calling these).
size_t HashKey(const Value* values, const SqlType* types, size_t n);
bool KeyEqual(const Value* a, const Value* b, const SqlType* types, size_t n);

}  // namespace orv::tsql
