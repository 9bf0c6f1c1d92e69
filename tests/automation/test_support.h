// Helpers shared by the automation tests: asserting that a call raises a given error number.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "automation/error.h"

namespace orv::automation::testing {

// Runs fn and returns the number of the AutomationError it raised (0 when it raised nothing).
template <class Fn>
int32_t RaisedNumber(Fn&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

// The description of the raised AutomationError ("" when nothing was raised).
template <class Fn>
std::string RaisedDescription(Fn&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e.description();
  }
  return {};
}

}  // namespace orv::automation::testing
