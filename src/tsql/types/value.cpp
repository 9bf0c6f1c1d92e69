// The out-of-line part of Value: letting go of a shared block.
#include "tsql/types/value.h"

#include <new>

namespace orv::tsql {

void Value::ReleaseBlock() noexcept {
  Block* block = heap_block();
  if (block->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  block->refs.~atomic();
  ::operator delete(block);
}

}  // namespace orv::tsql
