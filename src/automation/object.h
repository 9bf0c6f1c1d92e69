// The base of every automation object (dictionary, vector, string builder, recordset, Data...)
// and the reference type that Variants and the object factory hand around.
#pragma once

#include <memory>

namespace orv::automation {

// An automation object. Callers that "call by name" (late binding) cast an ObjectRef to the
// interface they expect with As<T>(); a failed cast is error 438.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
};

using ObjectRef = std::shared_ptr<Object>;

}  // namespace orv::automation
