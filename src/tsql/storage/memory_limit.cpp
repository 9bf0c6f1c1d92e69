#include "tsql/storage/memory_limit.h"

#include <unistd.h>

#include "tsql/types/sql_error.h"

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

std::atomic<int64_t> in_use{0};
std::atomic<uint64_t> started{0};
std::atomic<int64_t> running{0};
thread_local StatementMemory* current = nullptr;

}  // namespace

int64_t EngineMemoryLimit() { return Limit().load(std::memory_order_relaxed); }

void SetEngineMemoryLimit(int64_t bytes) { Limit().store(bytes > 0 ? bytes : DefaultLimit()); }

int64_t EngineMemoryInUse() { return in_use.load(std::memory_order_relaxed); }

uint64_t StatementsStarted() { return started.load(std::memory_order_relaxed); }

int64_t StatementsRunning() { return running.load(std::memory_order_relaxed); }

StatementMemory::StatementMemory(int64_t limit_bytes) : limit_(limit_bytes), outer_(current) {
  current = this;
  started.fetch_add(1, std::memory_order_relaxed);
  running.fetch_add(1, std::memory_order_relaxed);
}

StatementMemory::~StatementMemory() {
  in_use.fetch_sub(held_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  running.fetch_sub(1, std::memory_order_relaxed);
  current = outer_;
}

StatementMemory* StatementMemory::Current() { return current; }

StatementMemory::Scope::Scope(StatementMemory* memory) : outer_(current) { current = memory; }

StatementMemory::Scope::~Scope() { current = outer_; }

void ChargeMemory(int64_t bytes) {
  StatementMemory* statement = current;
  if (!statement || bytes <= 0) return;
  const int64_t held = statement->held_.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  const int64_t total = in_use.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  if ((statement->limit_ > 0 && held > statement->limit_) || total > EngineMemoryLimit()) ThrowError(701);
}

}  // namespace orv::tsql
