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

void GiveFreedMemoryBack() {
#if defined(__GLIBC__)
  constexpr int kLargeBlock = 128 * 1024;  // the library's default thresholds
  mallopt(M_MMAP_MAX, 65536);
  mallopt(M_MMAP_THRESHOLD, kLargeBlock);
  mallopt(M_TRIM_THRESHOLD, kLargeBlock);
  malloc_trim(0);  // and what was kept so far
#endif
}

void KeepRowsUntilExit() { rows_kept_until_exit.store(true, std::memory_order_relaxed); }

bool RowsKeptUntilExit() { return rows_kept_until_exit.load(std::memory_order_relaxed); }

}  // namespace orv::tsql
