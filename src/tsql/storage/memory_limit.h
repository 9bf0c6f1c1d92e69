// The engine's bound on memory: what running statements hold in rows and tuples they make is
// counted where they make them (tuple buffers as they grow, every so many rows of a loop that
// makes rows, groups or a loaded table), an atomic add per step. A statement that takes more
// than its session allows (SET MEMORY_LIMIT_MB, or "Memory Limit" in the connection text), or
// takes the statements of all sessions together past the engine's limit (by default four
// fifths of physical memory), ends with Msg 701 and frees what it took; the session goes on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orv::tsql {

// Bytes all running statements together may hold.
int64_t EngineMemoryLimit();
void SetEngineMemoryLimit(int64_t bytes);  // <= 0: the default again
// Bytes the running statements hold now.
int64_t EngineMemoryInUse();
// How many statements have started since the process began, and how many are running now.
uint64_t StatementsStarted();
int64_t StatementsRunning();

// The count of one running statement, made current on the thread that runs it (and on the
// helper threads it starts, through StatementMemory::Scope).
class StatementMemory {
 public:
  // limit_bytes: what the statement may hold; 0 for the engine's limit alone.
  explicit StatementMemory(int64_t limit_bytes);
  ~StatementMemory();  // gives back what the statement was counted for
  StatementMemory(const StatementMemory&) = delete;
  StatementMemory& operator=(const StatementMemory&) = delete;

  // The statement current on this thread, or null.
  static StatementMemory* Current();
  // Makes a statement current on this thread while it lives (for helper threads).
  class Scope {
   public:
    explicit Scope(StatementMemory* memory);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    StatementMemory* outer_;
  };

 private:
  friend void ChargeMemory(int64_t bytes);
  std::atomic<int64_t> held_{0};
  int64_t limit_;
  StatementMemory* outer_;
};

// Counts `bytes` more for the statement current on this thread; raises SqlException 701 when
// that takes it past its limit or all statements past the engine's limit.
void ChargeMemory(int64_t bytes);

// For a loop that makes rows one at a time, each about `row_bytes`: counts them every
// kRowsBetweenCharges rows.
inline constexpr uint64_t kRowsBetweenCharges = 1u << 13;
inline void ChargeRows(uint64_t rows_made, size_t row_bytes) {
  if ((rows_made & (kRowsBetweenCharges - 1)) == 0) [[unlikely]] {
    ChargeMemory(static_cast<int64_t>(kRowsBetweenCharges * row_bytes));
  }
}

}  // namespace orv::tsql
