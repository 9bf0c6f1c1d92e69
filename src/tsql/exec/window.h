// The window functions of a query scope (ROW_NUMBER, RANK, DENSE_RANK, NTILE, LAG, LEAD,
// FIRST_VALUE, LAST_VALUE and the aggregates with OVER), computed over the scope's rows after
// grouping and HAVING, before DISTINCT, ORDER BY and TOP.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "tsql/exec/exec.h"

namespace orv::tsql {

// Points a context at row i of the scope's rows (its tuple, and its group's aggregates).
using RowSetter = std::function<void(size_t i, EvalCtx& ctx)>;

// The values of the windows (the scope's BoundSpec::windows, each knowing its slot) for rows
// 0..n-1: n * windows.size() values, row after row, one per slot.
std::vector<Value> ComputeWindows(const std::vector<BExpr*>& windows, size_t n,
                                  const EvalCtx& base, const RowSetter& set_row);

}  // namespace orv::tsql
