// The object factory: creates automation objects by ProgID. Each layer registers the classes
// it provides; "daroz.stringbuilder" is built in. Unknown ProgIDs raise error 429.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/error.h"
#include "automation/object.h"

namespace orv::automation {

using ObjectCreator = std::function<ObjectRef()>;

// Registers (or replaces) the creator of a ProgID; ProgIDs compare without regard to case.
// Registration is process-wide and thread-safe; tests may replace a creator and restore it.
void RegisterClass(std::string_view prog_id, ObjectCreator creator);
void UnregisterClass(std::string_view prog_id);
bool IsClassRegistered(std::string_view prog_id);

// Creates an object; the server name is accepted and ignored (always omitted by callers).
ObjectRef CreateInstance(std::string_view prog_id, std::string_view server_name = {});

// Late binding: casts to the interface the caller expects, or raises 438.
template <class T>
std::shared_ptr<T> As(const ObjectRef& object) {
  if (!object) Raise(err::kObjectNotSet);
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) Raise(err::kNotSupported);
  return typed;
}

}  // namespace orv::automation
