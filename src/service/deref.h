// Using an object reference that may be Nothing: error 91, as the automation runtime raises.
#pragma once

#include <memory>

#include "automation/error.h"

namespace orv::service {

template <class T>
T& Deref(const std::shared_ptr<T>& object) {
  if (!object) automation::Raise(automation::err::kObjectNotSet);
  return *object;
}

}  // namespace orv::service
