// Who hears the steps of a running report (reports/report_context.h): a progress display sets
// a listener for its thread, and every report the thread runs names its steps to it.
#pragma once

#include <functional>
#include <string_view>

namespace orv::service {

using StepListener = std::function<void(std::string_view step)>;

// This thread's listener (empty when none is set).
const StepListener& ReportStepListener();

// Sets this thread's listener for as long as the object lives, then restores the one before.
class ScopedStepListener {
 public:
  explicit ScopedStepListener(StepListener listener);
  ~ScopedStepListener();
  ScopedStepListener(const ScopedStepListener&) = delete;
  ScopedStepListener& operator=(const ScopedStepListener&) = delete;

 private:
  StepListener previous_;
};

}  // namespace orv::service
