// The out-of-line part of Value: freeing a shared string block.
#include "tsql/value.h"

#include <new>

namespace orv::tsql {

void Value::FreeBlock(Block* block) noexcept {
  block->refs.~atomic();
  ::operator delete(block);
}

}  // namespace orv::tsql
