// Ordering rows under sort keys as ORDER BY and the OVER clause order them: NULLs first
// ascending (last descending), strings under the collation, and stable for equal keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct SortKey {
  size_t column;
  SqlType type;
  bool desc;
};

// <0, 0 or >0 as a sorts before, with or after b (NULL lowest).
int CompareNullable(const Value& a, const Value& b, const SqlType& type);
int CompareRows(const Row& a, const Row& b, const std::vector<SortKey>& keys);
// The stable order of the rows under the keys, as positions in `rows`.
std::vector<uint32_t> SortedOrder(const Row* const* rows, size_t n,
                                  const std::vector<SortKey>& keys);
void SortRows(std::vector<Row>& rows, const std::vector<SortKey>& keys);

}  // namespace orv::tsql
