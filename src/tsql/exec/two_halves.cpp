// RunTwoHalves: the helper thread and the order in which failures are reported.
#include "tsql/exec/two_halves.h"

#include <exception>
#include <thread>

#include "tsql/exec/morsels.h"
#include "tsql/storage/memory_limit.h"

namespace orv::tsql {

bool WorthTwoThreads(size_t n, size_t from) {
  return n >= from && std::thread::hardware_concurrency() > 1;
}

void RunTwoHalves(size_t n,
                  const std::function<void(size_t, size_t, const std::atomic<bool>*)>& work) {
  const size_t mid = n / 2;
  std::atomic<bool> first_failed{false};
  std::exception_ptr second_error;
  const WorkerSettings settings = WorkerSettings::Capture();
  std::thread helper([&] {
    StatementMemory::Scope counted(settings.memory());
    settings.Apply();
    try {
      work(mid, n, &first_failed);
    } catch (...) {
      second_error = std::current_exception();
    }
  });
  try {
    work(0, mid, nullptr);
  } catch (...) {
    first_failed = true;
    helper.join();
    throw;
  }
  helper.join();
  if (second_error) std::rethrow_exception(second_error);
}

}  // namespace orv::tsql
