#include "ado/run_control.h"

#include <utility>

#include "ado/connection.h"
#include "ado/provider.h"

namespace orv::ado {

namespace {

std::shared_ptr<RunControl>& ThreadControl() {
  thread_local std::shared_ptr<RunControl> control;
  return control;
}

}  // namespace

void RunControl::Cancel() {
  cancelled_.store(true, std::memory_order_release);
  std::lock_guard lock(mutex_);
  if (running_) running_->Cancel();
}

void RunControl::Enter(ProviderConnection& provider) {
  std::lock_guard lock(mutex_);
  if (cancelled()) RaiseProviderError(ProviderError{kCancelledNumber, 11, kCancelledText});
  running_ = &provider;
}

void RunControl::Leave() {
  std::lock_guard lock(mutex_);
  running_ = nullptr;
}

RunScope::RunScope(std::shared_ptr<RunControl> control)
    : previous_(std::exchange(ThreadControl(), std::move(control))) {}

RunScope::~RunScope() { ThreadControl() = std::move(previous_); }

RunControl* CurrentRunControl() { return ThreadControl().get(); }

}  // namespace orv::ado
