#include "service/report_steps.h"

#include <utility>

namespace orv::service {

namespace {

StepListener& Current() {
  thread_local StepListener listener;
  return listener;
}

}  // namespace

const StepListener& ReportStepListener() { return Current(); }

ScopedStepListener::ScopedStepListener(StepListener listener)
    : previous_(std::exchange(Current(), std::move(listener))) {}

ScopedStepListener::~ScopedStepListener() { Current() = std::move(previous_); }

}  // namespace orv::service
