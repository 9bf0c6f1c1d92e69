// The engine's bound on memory: a statement that would take the process's heap past the engine
// limit (default: four fifths of physical memory), or grow it by more than its session allows
// (SET MEMORY_LIMIT_MB, or "Memory Limit" in the connection text), ends with Msg 701 and frees
// what it took; the session goes on.
//
// The check reads the C library's count of heap bytes in use (a few microseconds), so it is
// made where statements materialize rows, not per value: when a row or tuple buffer grows and
// every so many rows of a loop.
#pragma once

#include <cstdint>

namespace orv::tsql {

// Bytes the process's heap may hold before statements fail with 701.
int64_t EngineMemoryLimit();
void SetEngineMemoryLimit(int64_t bytes);

// Heap bytes the process holds now.
int64_t HeapBytesInUse();

// Marks the statement running on this thread for the checks made on it: its heap use counts
// from now, up to `limit_bytes` (0: the engine limit only). One per thread at a time.
class StatementMemory {
 public:
  explicit StatementMemory(int64_t limit_bytes);
  ~StatementMemory();
  StatementMemory(const StatementMemory&) = delete;
  StatementMemory& operator=(const StatementMemory&) = delete;

 private:
  friend void CheckMemory();
  int64_t start_;
  int64_t limit_;
  StatementMemory* outer_;
};

// Raises SqlException 701 when the heap is past the engine limit, or the statement running on
// this thread has grown it by more than its limit.
void CheckMemory();

// For loops that add rows one at a time: checks every `kRowsBetweenChecks` rows.
inline constexpr uint64_t kRowsBetweenChecks = 1u << 15;
inline void CheckMemoryEvery(uint64_t rows) {
  if ((rows & (kRowsBetweenChecks - 1)) == 0) [[unlikely]] CheckMemory();
}

}  // namespace orv::tsql
