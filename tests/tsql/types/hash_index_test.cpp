// The hash index under joins, grouping and keyed subqueries: every id comes back for its hash,
// in insertion order, whether inserted one by one or many at once, across growth, and with
// colliding hashes.
#include <gtest/gtest.h>

#include <vector>

#include "tsql/types/hash_index.h"

namespace orv::tsql {
namespace {

std::vector<uint32_t> Ids(const HashIndex& index, size_t hash) {
  std::vector<uint32_t> ids;
  index.ForEach(hash, [&](uint32_t id) {
    ids.push_back(id);
    return true;
  });
  return ids;
}

// Hashes with many repeats and, through the low bits, many shared buckets.
std::vector<size_t> Hashes(size_t n) {
  std::vector<size_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back((i % 37) << 20 | (i % 5));
  return out;
}

TEST(HashIndex, InsertManyMatchesOneByOneInsertsAcrossGrowth) {
  const std::vector<size_t> hashes = Hashes(5000);
  HashIndex one_by_one;  // starts empty and grows many times
  for (size_t h : hashes) one_by_one.Insert(h);

  HashIndex many;
  many.Reset(10);  // too small: InsertMany must make room
  const std::vector<size_t> first(hashes.begin(), hashes.begin() + 1000);
  const std::vector<size_t> rest(hashes.begin() + 1000, hashes.end());
  many.InsertMany(first);
  many.InsertMany(rest);

  ASSERT_EQ(many.size(), hashes.size());
  for (size_t h : {size_t{0}, (size_t{3} << 20) | 3, (size_t{36} << 20) | 1, size_t{12345}}) {
    std::vector<uint32_t> expected;
    for (size_t i = 0; i < hashes.size(); ++i) {
      if (hashes[i] == h) expected.push_back(static_cast<uint32_t>(i));
    }
    EXPECT_EQ(Ids(one_by_one, h), expected) << h;
    EXPECT_EQ(Ids(many, h), expected) << h;
  }
}

TEST(HashIndex, ForEachStopsWhenAsked) {
  HashIndex index;
  index.InsertMany({7, 7, 7});
  int seen = 0;
  index.ForEach(7, [&](uint32_t) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(Ids(index, 8).empty());
}

}  // namespace
}  // namespace orv::tsql
