#include "http/background_run.h"

#include "service/report_steps.h"

namespace orv::http {

BackgroundRun::BackgroundRun(Work work) : thread_([this, work = std::move(work)] { Body(work); }) {}

BackgroundRun::~BackgroundRun() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

void BackgroundRun::Body(Work work) {
  exports::ResultTable result;
  std::optional<ApiError> error;
  {
    const ado::RunScope scope(control_);
    const service::ScopedStepListener steps([this](std::string_view name) {
      std::lock_guard lock(mutex_);
      steps_.emplace_back(name);
      changed_.notify_all();
    });
    try {
      result = work();
    } catch (...) {
      error = CurrentApiError();
    }
  }
  std::lock_guard lock(mutex_);
  result_ = std::move(result);
  error_ = std::move(error);
  done_ = true;
  changed_.notify_all();
}

bool BackgroundRun::Wait(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  const size_t steps = steps_.size();
  changed_.wait_for(lock, limit, [&] { return done_ || steps_.size() != steps; });
  return done_;
}

std::vector<std::string> BackgroundRun::NewSteps(size_t& seen) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (; seen < steps_.size(); ++seen) out.push_back(steps_[seen]);
  return out;
}

void BackgroundRun::Cancel() { control_->Cancel(); }

exports::ResultTable BackgroundRun::TakeResult() {
  std::lock_guard lock(mutex_);
  if (error_) throw *error_;
  return std::move(result_);
}

std::optional<ApiError> BackgroundRun::Failure() {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace orv::http
