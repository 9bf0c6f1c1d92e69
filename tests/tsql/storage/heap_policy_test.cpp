// The heap policy of the command line and the benchmarks: large blocks come from the heap
// (and so stay there for reuse when freed) instead of being mapped on their own.
#include <gtest/gtest.h>

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "tsql/storage/heap_policy.h"

namespace orv::tsql {
namespace {

TEST(HeapPolicy, LargeBlocksAreNotMappedOnTheirOwn) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the GNU C library's own allocator has this policy";
#else
  KeepFreedMemoryForReuse();
  const size_t mapped_before = mallinfo2().hblkhd;
  void* block = std::malloc(size_t{64} << 20);
  ASSERT_NE(block, nullptr);
  const size_t mapped_while_held = mallinfo2().hblkhd;
  std::free(block);
  EXPECT_EQ(mapped_while_held, mapped_before);
#endif
}

}  // namespace
}  // namespace orv::tsql
