// How a process that runs large batches treats the memory it frees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace orv::tsql {

// A batch moves its work tables through statements that each allocate and free hundreds of
// megabytes (new row values, hash tables, sort records, result copies). By default the C
// library hands blocks that large straight back to the kernel and takes fresh, zero-filled
// pages for the next statement, so a large report spent a tenth of its time in page faults.
// A short-lived process that owns its heap (the command line, the benchmarks) calls this
// once at start to keep what it frees for reuse instead. It also has each heap of another
// thread (64 MiB at most) made readable and writable whole when it is made: otherwise the
// library makes it so a page at a time as it fills, one system call per 4 KiB under the
// lock that every page fault of the process takes too, which was most of the time of a
// report's largest insert when its new rows were made on a second thread. Neither makes the
// process use more memory: pages count only once they are written. A library loaded into
// someone else's process leaves the choice to that process.
void KeepFreedMemoryForReuse();
// The opposite, the C library's own way, for a process that runs for long with many threads
// (the server): large blocks are mapped on their own and the top of the heap is trimmed, so
// that the memory one large report freed goes back to the system instead of staying with the
// process for good, and the threads share a few heaps. Call it before the threads start.
// Each heap still gets the large pad of KeepFreedMemoryForReuse (called first by main): that
// leaves up to 64 MiB free at the top of each of the few heaps, and made reports 400 and 406
// over a year through the server 20-40% faster.
void GiveFreedMemoryBack();

// Starts the program again (same arguments, same process) with the C library told to back
// its heap with transparent huge pages, which it takes only from its environment at start
// (GLIBC_TUNABLES=glibc.malloc.hugetlb=1); returns when that is not done. A report makes and
// lets go of gigabytes of rows: in 4 KiB pages that is hundreds of thousands of page faults,
// each one costly on a virtual machine, and one 2 MiB page replaces 512 of them (the reports
// ran 14-28% faster). Done only where the kernel gives huge pages on request ("madvise"; with
// "always" the heap has them already), where the C library has the setting, when the
// environment does not set it either way (glibc.malloc.hugetlb=0 turns this off), and when
// nothing is preloaded (a preloaded library may be the allocator, or a tool that follows this
// process and would lose it across the restart). The first thing main does.
void RestartWithHugePageHeap(char** argv);
// The GLIBC_TUNABLES value to restart with, from its value now (null when unset) and the
// kernel's setting (the text of /sys/kernel/mm/transparent_hugepage/enabled); nothing when
// there is no reason to restart.
std::optional<std::string> TunablesForHugePages(const char* tunables, std::string_view thp_enabled);

// While it lives, gives the memory statements freed back to the system once they are done:
// a server's threads allocate from several heaps, where a large report's freed rows stay,
// scattered among blocks still in use, so that the server held gigabytes for good after a few
// reports. Every `interval` for a minute after statements ran (counted from the end of the
// last one), when none is running and the heaps hold enough more free memory than after the
// last trim, the free parts of every heap are given back (malloc_trim). Does nothing where the
// C library has no such call.
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

// From now on, once the process holds more than one and a half times its data-source file,
// the end of a batch's statement lets go the rows made of tables loaded from their column
// snapshots (and not changed since) that no later statement of the batch names; a later batch
// that reads them makes them again. Report 400 made most of its stock-bill lines in one
// statement and kept them to its end, under the work tables its last statements fill. Only for
// a process with one session at a time (the command line; the server turns it off again before
// its sessions start): another session could be reading those rows.
void LetSnapshotRowsGoAfterEachStatement(bool on = true);
bool SnapshotRowsGoAfterEachStatement();
// The process's resident memory in bytes (0 where /proc has none), read through a descriptor
// kept open: a few microseconds, so that it can be asked after every statement.
size_t ResidentBytes();

// From now on, tables that go keep their rows' memory: for a process about to exit (the
// command line, once its output is written), where handing a million rows back to the
// allocator one value at a time only delays the exit that frees them all at once.
void KeepRowsUntilExit();
bool RowsKeptUntilExit();

}  // namespace orv::tsql
