// IntegerSet: a set of 64-bit integers asked about once per row of a large scan (the key
// values a join's other side holds, the values an IN subquery lists).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orv::tsql {

// A bitmap when the values span a small range, else the values sorted for binary search.
class IntegerSet {
 public:
  IntegerSet() = default;
  explicit IntegerSet(std::vector<int64_t> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    constexpr uint64_t kBitmapRange = uint64_t{1} << 26;
    if (values.empty()) return;
    const uint64_t span =
        static_cast<uint64_t>(values.back()) - static_cast<uint64_t>(values.front());
    if (span < kBitmapRange) {
      low_ = values.front();
      bits_.assign(span / 64 + 1, 0);
      for (int64_t v : values) {
        const uint64_t i = static_cast<uint64_t>(v) - static_cast<uint64_t>(low_);
        bits_[i >> 6] |= uint64_t{1} << (i & 63);
      }
    } else {
      sorted_ = std::move(values);
    }
  }
  bool Holds(int64_t v) const {
    if (!bits_.empty()) {
      const uint64_t i = static_cast<uint64_t>(v) - static_cast<uint64_t>(low_);
      return i < bits_.size() * 64 && (bits_[i >> 6] >> (i & 63) & 1);
    }
    return std::binary_search(sorted_.begin(), sorted_.end(), v);
  }

 private:
  int64_t low_ = 0;
  std::vector<uint64_t> bits_;
  std::vector<int64_t> sorted_;
};

}  // namespace orv::tsql
