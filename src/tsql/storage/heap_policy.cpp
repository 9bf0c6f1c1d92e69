#include "tsql/storage/heap_policy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>  // defines __GLIBC__ on the GNU C library
#include <fstream>
#include <iterator>

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#include <malloc.h>
#endif

#include "tsql/storage/memory_limit.h"

namespace orv::tsql {
namespace {

std::atomic<bool> rows_kept_until_exit{false};
std::atomic<bool> snapshot_rows_go{false};

}  // namespace

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
  // A new heap of another thread gets its size plus this pad at once, so a pad as large as a
  // heap can be makes every such heap whole (and keeps an emptied one rather than letting it
  // go, to be made again a page at a time); the main heap grows in steps of this size.
  constexpr int kHeapSize = 64 << 20;
  mallopt(M_TOP_PAD, kHeapSize);
#endif
}

void GiveFreedMemoryBack() {
#if defined(__GLIBC__)
  constexpr int kLargeBlock = 128 * 1024;  // the library's default thresholds
  mallopt(M_MMAP_MAX, 65536);
  mallopt(M_MMAP_THRESHOLD, kLargeBlock);
  mallopt(M_TRIM_THRESHOLD, kLargeBlock);
  // A few heaps rather than one per thread, so that the peaks of different requests share
  // memory.
  mallopt(M_ARENA_MAX, 4);
  malloc_trim(0);  // and what was kept so far
#endif
}

std::optional<std::string> TunablesForHugePages(const char* tunables,
                                                std::string_view thp_enabled) {
  constexpr std::string_view kSetting = "glibc.malloc.hugetlb";
  if (tunables && std::string_view(tunables).find(kSetting) != std::string_view::npos) {
    return std::nullopt;  // set already, either way
  }
  if (thp_enabled.find("[madvise]") == std::string_view::npos) return std::nullopt;
  std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
  value.append(kSetting).append("=1");
  return value;
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
namespace {

// Whether the process was started with a library preloaded: in its environment now, or in the
// one it was started with (/proc/self/environ keeps that), since a preloaded tool may take
// itself out of the environment (so as not to follow the process's children).
bool StartedWithPreload() {
  if (const char* preload = std::getenv("LD_PRELOAD"); preload && *preload) return true;
  std::ifstream file("/proc/self/environ", std::ios::binary);
  std::string entry;
  while (std::getline(file, entry, '\0')) {
    if (entry.starts_with("LD_PRELOAD=") && entry.size() > sizeof("LD_PRELOAD=") - 1) return true;
  }
  return false;
}

}  // namespace
#endif

void RestartWithHugePageHeap(char** argv) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
  // The setting came with version 2.35; older libraries would ignore it.
  int major = 0, minor = 0;
  if (std::sscanf(gnu_get_libc_version(), "%d.%d", &major, &minor) != 2 ||
      major * 1000 + minor < 2035) {
    return;
  }
  if (StartedWithPreload()) return;
  std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
  const std::string thp_enabled((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  const std::optional<std::string> value = TunablesForHugePages(tunables, thp_enabled);
  if (!value) return;
  const std::string before = tunables ? tunables : "";
  if (setenv("GLIBC_TUNABLES", value->c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Could not start again: go on as it is, with the environment as it was.
  if (tunables) {
    setenv("GLIBC_TUNABLES", before.c_str(), 1);
  } else {
    unsetenv("GLIBC_TUNABLES");
  }
#else
  (void)argv;
#endif
}

IdleHeapTrimmer::IdleHeapTrimmer(std::chrono::milliseconds interval) {
#if defined(__GLIBC__)
  thread_ = std::thread([this, interval, seen = StatementsStarted()]() mutable {
    // Looks for a while after statements ran (their results may be freed well after them, once
    // sent), and trims when no statement runs and the heaps' free bytes grew by enough since
    // the last trim (a trim leaves them counted as free; reuse makes them fewer).
    constexpr int kLooks = 120;
    constexpr size_t kWorthTrimming = size_t{64} << 20;
    int looks = kLooks;
    size_t free_after_trim = SIZE_MAX;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, interval, [this] { return stop_; })) {
      if (const uint64_t started = StatementsStarted(); started != seen) {
        seen = started;
        looks = 0;
      }
      // The while counts from when the last statement ended: a report that runs for longer
      // than it must still be trimmed after.
      if (StatementsRunning() > 0) {
        looks = 0;
        continue;
      }
      if (looks >= kLooks) continue;
      ++looks;
      const size_t free_now = mallinfo2().fordblks;
      if (free_after_trim != SIZE_MAX && free_now < free_after_trim + kWorthTrimming) {
        free_after_trim = std::min(free_after_trim, free_now);
        continue;
      }
      malloc_trim(0);
      free_after_trim = mallinfo2().fordblks;
    }
  });
#else
  (void)interval;
#endif
}

IdleHeapTrimmer::~IdleHeapTrimmer() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LetSnapshotRowsGoAfterEachStatement(bool on) {
  snapshot_rows_go.store(on, std::memory_order_relaxed);
}

bool SnapshotRowsGoAfterEachStatement() { return snapshot_rows_go.load(std::memory_order_relaxed); }

size_t ResidentBytes() {
  // Opened again in a forked child: the descriptor would still read its parent's figures.
  static std::mutex mutex;
  static int fd = -1;
  static pid_t opened_by = 0;
  std::lock_guard lock(mutex);
  if (fd < 0 || opened_by != ::getpid()) {
    if (fd >= 0) ::close(fd);
    fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    opened_by = ::getpid();
  }
  char text[128];
  const ssize_t n = fd < 0 ? -1 : ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  text[n] = '\0';
  unsigned long pages = 0, resident = 0;
  if (std::sscanf(text, "%lu %lu", &pages, &resident) != 2) return 0;
  return static_cast<size_t>(resident) * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

void KeepRowsUntilExit() { rows_kept_until_exit.store(true, std::memory_order_relaxed); }

bool RowsKeptUntilExit() { return rows_kept_until_exit.load(std::memory_order_relaxed); }

}  // namespace orv::tsql
