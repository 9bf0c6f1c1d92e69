// Running one large operator's loop over rows on every core: the rows are cut into morsels of
// consecutive positions that the threads take one after another, each morsel's output kept
// apart so that the caller can put them together in row order.
#pragma once

#include <cstddef>
#include <functional>

#include "tsql/types/datetime.h"

namespace orv::tsql {

class StatementMemory;

// What a worker thread of a statement takes from the thread that runs the statement: the
// statement's memory count and the session settings that conversions and concatenation read
// per thread.
class WorkerSettings {
 public:
  // The settings of the calling thread.
  static WorkerSettings Capture();
  // Makes the session settings this thread's; the worker makes the memory count current
  // itself, with a StatementMemory::Scope of memory() for as long as it runs.
  void Apply() const;
  StatementMemory* memory() const { return memory_; }

 private:
  StatementMemory* memory_ = nullptr;
  dt::DateSettings date_settings_;
  bool concat_null_yields_null_ = true;
};

// Rows per morsel: enough that taking one costs nothing beside its work, few enough that the
// threads finish close together.
inline constexpr size_t kMorselRows = 16384;

// The threads RunMorsels uses, the calling one included: one per core.
size_t MorselWorkers();
// Whether a loop over n rows is worth spreading: at least `from` rows and more than one core.
bool WorthMorsels(size_t n, size_t from);

// Runs work(worker, morsel, begin, end) for the morsels [k * size, min(n, (k + 1) * size)) on
// MorselWorkers() threads; `worker` (below MorselWorkers()) tells which thread runs it, for
// state a thread keeps between its morsels. The outcome is that of running the morsels in
// order on one thread: when several fail, the exception of the first failing morsel is the
// one that propagates, and morsels after a failed one may not run at all.
using MorselWork = std::function<void(size_t worker, size_t morsel, size_t begin, size_t end)>;
void RunMorsels(size_t n, size_t size, const MorselWork& work);

}  // namespace orv::tsql
