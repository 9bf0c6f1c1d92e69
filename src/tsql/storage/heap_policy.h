// How a process that runs large batches treats the memory it frees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orv::tsql {

// A batch moves its work tables through statements that each allocate and free hundreds of
// megabytes (new row values, hash tables, sort records, result copies). By default the C
// library hands blocks that large straight back to the kernel and takes fresh, zero-filled
// pages for the next statement, so a large report spent a tenth of its time in page faults.
// A short-lived process that owns its heap (the command line, the benchmarks) calls this
// once at start to keep what it frees for reuse instead. A library loaded into someone
// else's process leaves the choice to that process.
void KeepFreedMemoryForReuse();
// The opposite, the C library's own way, for a process that runs for long with many threads
// (the server): large blocks are mapped on their own and the top of the heap is trimmed, so
// that the memory one large report freed goes back to the system instead of staying with the
// process for good, and the threads share a few heaps. Call it before the threads start.
void GiveFreedMemoryBack();

// While it lives, gives the memory statements freed back to the system once they are done:
// a server's threads allocate from several heaps, where a large report's freed rows stay,
// scattered among blocks still in use, so that the server held gigabytes for good after a few
// reports. Every `interval` for a minute after statements started, when none is running and
// the heaps hold enough more free memory than after the last trim, the free parts of every
// heap are given back (malloc_trim). Does nothing where the C library has no such call.
class IdleHeapTrimmer {
 public:
  explicit IdleHeapTrimmer(std::chrono::milliseconds interval = std::chrono::milliseconds(500));
  ~IdleHeapTrimmer();
  IdleHeapTrimmer(const IdleHeapTrimmer&) = delete;
  IdleHeapTrimmer& operator=(const IdleHeapTrimmer&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// From now on, tables that go keep their rows' memory: for a process about to exit (the
// command line, once its output is written), where handing a million rows back to the
// allocator one value at a time only delays the exit that frees them all at once.
void KeepRowsUntilExit();
bool RowsKeptUntilExit();

}  // namespace orv::tsql
