#include "tsql/storage/heap_policy.h"

#include <atomic>
#include <cstdlib>  // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv::tsql {
namespace {

std::atomic<bool> rows_kept_until_exit{false};

}  // namespace

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
#endif
}

void KeepRowsUntilExit() { rows_kept_until_exit.store(true, std::memory_order_relaxed); }

bool RowsKeptUntilExit() { return rows_kept_until_exit.load(std::memory_order_relaxed); }

}  // namespace orv::tsql
