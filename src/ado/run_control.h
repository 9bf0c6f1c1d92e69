// Stopping a thread's work on its data sources from another thread: a front end whose client
// went away, a cancel button, a time limit. While a RunScope is active on a thread, every batch
// a Connection of that thread runs is announced to the scope's RunControl. RunControl::Cancel
// asks the batch running at that moment to stop (the provider's Cancel: the engine ends it
// with error 3617) and makes every later batch of the scope fail at once with the same error,
// so an operation of many batches (a report) ends at its next batch.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace orv::ado {

class ProviderConnection;

// The error number and text of a cancelled batch, as the engine gives them.
inline constexpr int32_t kCancelledNumber = 3617;
inline constexpr const char* kCancelledText = "The batch was cancelled.";

class RunControl {
 public:
  // Safe from any thread, any number of times; each call asks the running batch (if any) to
  // stop again, which also covers a request that came just before the batch started.
  void Cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // Used by Connection around each batch: Enter raises the cancellation error when the
  // control is cancelled already, else records `provider` as running until Leave.
  void Enter(ProviderConnection& provider);
  void Leave();

 private:
  std::mutex mutex_;
  ProviderConnection* running_ = nullptr;  // guarded by mutex_
  std::atomic<bool> cancelled_{false};
};

// Makes `control` this thread's run control for the scope's lifetime (the one before is
// restored afterwards).
class RunScope {
 public:
  explicit RunScope(std::shared_ptr<RunControl> control);
  ~RunScope();
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  std::shared_ptr<RunControl> previous_;
};

// This thread's run control; null outside a RunScope.
RunControl* CurrentRunControl();

}  // namespace orv::ado
