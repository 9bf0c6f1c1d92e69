// The heap policy of the command line and the benchmarks: huge pages asked for where the
// kernel gives them on request; large blocks come from the heap (and so stay there for reuse
// when freed) instead of being mapped on their own; each thread's heap usable whole at once;
// at the exit, the rows of tables are left for the exit to free. The server gives freed
// memory back, large blocks at once and small ones once its statements are done.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "tsql/catalog/catalog.h"
#include "tsql/storage/heap_policy.h"
#include "tsql/storage/memory_limit.h"

namespace orv::tsql {
namespace {

TEST(HeapPolicy, HugePagesAreAskedForOnlyWhereTheyAreGivenOnRequest) {
  constexpr const char* kMadvise = "always [madvise] never\n";
  const struct {
    const char* tunables;
    const char* thp_enabled;
    std::optional<std::string> expected;
  } cases[] = {
      {nullptr, kMadvise, "glibc.malloc.hugetlb=1"},
      {"", kMadvise, "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.arena_max=2", kMadvise, "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=0", kMadvise, std::nullopt},  // turned off by the user
      {"glibc.malloc.hugetlb=1", kMadvise, std::nullopt},  // the restarted process
      {nullptr, "[always] madvise never\n", std::nullopt},
      {nullptr, "always madvise [never]\n", std::nullopt},
      {nullptr, "", std::nullopt},  // no such file
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TunablesForHugePages(c.tunables, c.thp_enabled), c.expected)
        << (c.tunables ? c.tunables : "(unset)") << " / " << c.thp_enabled;
  }
}

TEST(HeapPolicy, LargeBlocksAreNotMappedOnTheirOwn) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the GNU C library's own allocator has this policy";
#else
  KeepFreedMemoryForReuse();
  const size_t mapped_before = mallinfo2().hblkhd;
  void* block = std::malloc(size_t{64} << 20);
  ASSERT_NE(block, nullptr);
  static_cast<volatile char*>(block)[0] = 1;  // not a malloc the compiler may drop
  const size_t mapped_while_held = mallinfo2().hblkhd;
  std::free(block);
  EXPECT_EQ(mapped_while_held, mapped_before);
#endif
}

// Each thread's heap is readable and writable whole from the start, not made so a page at a
// time as it fills (which shows as a large inaccessible mapping behind its used part). In a
// new process, so that no heap made before the policy (by earlier tests) is reused.
TEST(HeapPolicy, AThreadsHeapIsMadeWholeAtOnce) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the GNU C library's own allocator has this policy";
#else
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto largest_inaccessible_mib = [] {
    size_t largest = 0;
    if (std::FILE* f = std::fopen("/proc/self/maps", "r")) {
      unsigned long begin = 0, end = 0;
      char perms[8] = {};
      char line[512];
      while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "%lx-%lx %7s", &begin, &end, perms) == 3 &&
            std::string_view(perms) == "---p") {
          largest = std::max<size_t>(largest, end - begin);
        }
      }
      std::fclose(f);
    }
    return largest >> 20;
  };
  EXPECT_EXIT(
      {
        KeepFreedMemoryForReuse();
        std::vector<void*> blocks;
        std::thread([&] {
          for (int i = 0; i < 4096; ++i) {
            blocks.push_back(std::malloc(1024));
            static_cast<volatile char*>(blocks.back())[0] = 1;
          }
        }).join();
        const size_t largest = largest_inaccessible_mib();
        for (void* block : blocks) std::free(block);
        std::exit(largest < 16 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
#endif
}

// In a child process, as the server does it: the parent keeps its own policy.
TEST(HeapPolicy, AServerGivesLargeBlocksBack) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the GNU C library's own allocator has this policy";
#else
  EXPECT_EXIT(
      {
        KeepFreedMemoryForReuse();
        GiveFreedMemoryBack();
        const size_t mapped_before = mallinfo2().hblkhd;
        void* block = std::malloc(size_t{64} << 20);
        if (block) static_cast<volatile char*>(block)[0] = 1;  // not a malloc the compiler may drop
        const size_t mapped_while_held = mallinfo2().hblkhd;
        std::free(block);
        const size_t mapped_after = mallinfo2().hblkhd;
        std::exit(block && mapped_while_held > mapped_before && mapped_after == mapped_before ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

// In a child process: 200 MB of small blocks freed by a statement's thread, all but every
// 64th (so that no heap can shrink from its top): the trimmer gives the rest back once the
// statement is over.
TEST(HeapPolicy, AnIdleServerGivesFreedSmallBlocksBack) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the GNU C library's own allocator has this policy";
#else
  auto resident_mib = [] {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
      std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE) / (1 << 20);
  };
  EXPECT_EXIT(
      {
        GiveFreedMemoryBack();
        const IdleHeapTrimmer trimmer(std::chrono::milliseconds(20));
        std::vector<std::unique_ptr<char[]>> kept;
        long before = 0;  // once the blocks are freed, while the statement still runs
        std::thread statement([&] {
          StatementMemory memory(0);
          {
            std::vector<std::unique_ptr<char[]>> blocks(200 * 1024);
            for (auto& b : blocks) {
              b = std::make_unique<char[]>(1000);
              b[0] = 1;
            }
            for (size_t i = 0; i < blocks.size(); i += 64) kept.push_back(std::move(blocks[i]));
          }
          before = resident_mib();
        });
        statement.join();
        for (int i = 0; i < 200 && resident_mib() > before - 150; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::exit(before >= 190 && resident_mib() <= before - 150 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

// Run in a child process: the setting lasts for the rest of the process.
TEST(HeapPolicy, TablesGoingAtTheExitLeaveTheirRows) {
  auto rows_of_a_table_that_goes = [] {
    auto table = std::make_shared<Table>();
    table->mutable_rows().push_back(Row{Value::Int(1)});
    std::weak_ptr<const std::vector<Row>> rows = table->shared_rows();
    table.reset();
    return rows;
  };
  EXPECT_TRUE(rows_of_a_table_that_goes().expired());
  EXPECT_EXIT(
      {
        KeepRowsUntilExit();
        std::exit(rows_of_a_table_that_goes().expired() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace orv::tsql
