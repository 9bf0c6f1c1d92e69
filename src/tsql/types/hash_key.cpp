// Hashing and equality of multi-column keys under the collation-aware Hash/Compare.
#include "tsql/types/hash_index.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

size_t HashKey(const Value* values, const SqlType* types, size_t n) {
  size_t h = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < n; ++i) {
    size_t x = values[i].is_null() ? 0x51ED27A3u : Hash(values[i], types[i]);
    h ^= x + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  }
  return h;
}

bool KeyEqual(const Value* a, const Value* b, const SqlType* types, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    bool an = a[i].is_null(), bn = b[i].is_null();
    if (an || bn) {
      if (an && bn) continue;
      return false;
    }
    if (Compare(a[i], b[i], types[i]) != 0) return false;
  }
  return true;
}

}  // namespace orv::tsql
