// An operation (a report, a query) running on a thread of its own while the request's thread
// sends its progress, watches whether the client is still there and enforces the time limit.
// The thread has its own service objects (the service keeps them per thread), so its
// connections, sessions and temporary tables end with it. Cancel stops the operation through
// its run control (ado/run_control.h): the running batch ends with error 3617 and no further
// batch starts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ado/run_control.h"
#include "export/result_table.h"
#include "http/api_error.h"

namespace orv::http {

class BackgroundRun {
 public:
  using Work = std::function<exports::ResultTable()>;

  explicit BackgroundRun(Work work);
  // Cancels the operation when it still runs and waits for its thread.
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  // Waits until the operation ends, names a new step, or `limit` passes; true once it ended.
  bool Wait(std::chrono::milliseconds limit);
  // The step names given since `seen` of them were taken (and moves `seen` on).
  std::vector<std::string> NewSteps(size_t& seen);

  // Safe from any thread, any number of times.
  void Cancel();
  bool cancelled() const { return control_->cancelled(); }

  // After the end: the result, or ApiError for the failure.
  exports::ResultTable TakeResult();
  // After the end: the failure, if it failed.
  std::optional<ApiError> Failure();

 private:
  void Body(Work work);

  std::shared_ptr<ado::RunControl> control_ = std::make_shared<ado::RunControl>();
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::vector<std::string> steps_;
  exports::ResultTable result_;
  std::optional<ApiError> error_;
  std::thread thread_;
};

}  // namespace orv::http
