// RunMorsels: the worker threads, how they take morsels, and which failure is reported.
#include "tsql/exec/morsels.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "tsql/storage/memory_limit.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

WorkerSettings WorkerSettings::Capture() {
  WorkerSettings s;
  s.memory_ = StatementMemory::Current();
  s.date_settings_ = dt::CurrentDateSettings();
  s.concat_null_yields_null_ = ConcatNullYieldsNull();
  return s;
}

void WorkerSettings::Apply() const {
  dt::CurrentDateSettings() = date_settings_;
  ConcatNullYieldsNull() = concat_null_yields_null_;
}

size_t MorselWorkers() {
  static const size_t workers = std::max(1u, std::thread::hardware_concurrency());
  return workers;
}

bool WorthMorsels(size_t n, size_t from) { return n >= from && MorselWorkers() > 1; }

void RunMorsels(size_t n, size_t size, const MorselWork& work) {
  const size_t morsels = size == 0 ? 0 : (n + size - 1) / size;
  const size_t workers = std::min(MorselWorkers(), morsels);
  auto bounds = [&](size_t k) { return std::pair{k * size, std::min(n, (k + 1) * size)}; };
  if (workers <= 1) {
    for (size_t k = 0; k < morsels; ++k) work(0, k, bounds(k).first, bounds(k).second);
    return;
  }
  // Morsels are taken in increasing order, so when morsel k fails every morsel before it has
  // been taken by some thread and will finish (or fail first): the lowest failure is the one
  // a single thread would have met first.
  std::atomic<size_t> next{0};
  std::atomic<size_t> first_failed{SIZE_MAX};
  std::mutex error_mutex;
  std::exception_ptr error;
  auto run = [&](size_t worker) {
    for (;;) {
      const size_t k = next.fetch_add(1, std::memory_order_relaxed);
      if (k >= morsels || k > first_failed.load(std::memory_order_relaxed)) return;
      try {
        work(worker, k, bounds(k).first, bounds(k).second);
      } catch (...) {
        std::lock_guard lock(error_mutex);
        if (k < first_failed.load(std::memory_order_relaxed)) {
          first_failed.store(k, std::memory_order_relaxed);
          error = std::current_exception();
        }
        return;
      }
    }
  };
  const WorkerSettings settings = WorkerSettings::Capture();
  std::vector<std::thread> helpers;
  helpers.reserve(workers - 1);
  for (size_t w = 1; w < workers; ++w) {
    helpers.emplace_back([&, w] {
      StatementMemory::Scope counted(settings.memory());
      settings.Apply();
      run(w);
    });
  }
  run(0);
  for (auto& t : helpers) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace orv::tsql
