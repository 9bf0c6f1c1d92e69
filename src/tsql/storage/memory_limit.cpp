#include "tsql/storage/memory_limit.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "tsql/types/sql_error.h"

#if defined(__SANITIZE_ADDRESS__)
#define ORV_HEAP_FROM_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_HEAP_FROM_SANITIZER 1
#endif
#endif

#if defined(ORV_HEAP_FROM_SANITIZER)
#include <sanitizer/allocator_interface.h>
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv::tsql {
namespace {

int64_t DefaultLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return INT64_MAX;
  return static_cast<int64_t>(pages) * page_size / 5 * 4;
}

std::atomic<int64_t>& Limit() {
  static std::atomic<int64_t> limit{DefaultLimit()};
  return limit;
}

thread_local StatementMemory* current = nullptr;

}  // namespace

int64_t EngineMemoryLimit() { return Limit().load(std::memory_order_relaxed); }

void SetEngineMemoryLimit(int64_t bytes) { Limit().store(bytes > 0 ? bytes : DefaultLimit()); }

int64_t HeapBytesInUse() {
#if defined(ORV_HEAP_FROM_SANITIZER)
  return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<int64_t>(info.uordblks + info.hblkhd);
#else
  return 0;
#endif
}

StatementMemory::StatementMemory(int64_t limit_bytes)
    : start_(HeapBytesInUse()), limit_(limit_bytes), outer_(current) {
  current = this;
}

StatementMemory::~StatementMemory() { current = outer_; }

void CheckMemory() {
  const int64_t used = HeapBytesInUse();
  const bool over_engine = used > EngineMemoryLimit();
  const bool over_statement = current && current->limit_ > 0 && used - current->start_ > current->limit_;
  if (over_engine || over_statement) ThrowError(701);
}

}  // namespace orv::tsql
