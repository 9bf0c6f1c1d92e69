// Running a loop over rows as two halves on two threads (the calling thread and a helper),
// for the statements that work on large tables.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace orv::tsql {

// Whether a loop over n items is worth splitting: at least `from` items and a second core.
bool WorthTwoThreads(size_t n, size_t from);

// Runs work(0, n/2, nullptr) on this thread and work(n/2, n, stop) on a helper thread. The
// outcome is that of running the items in order: when the first half throws, its exception
// is the one that propagates (and `stop` tells the second half it may give up early); the
// second half's exception propagates only when the first half completed.
void RunTwoHalves(size_t n,
                  const std::function<void(size_t begin, size_t end,
                                           const std::atomic<bool>* stop)>& work);

}  // namespace orv::tsql
