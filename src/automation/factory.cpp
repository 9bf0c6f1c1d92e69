// The object factory: a process-wide table of creators by ProgID, with the registration file
// of in-process servers as the fallback for ProgIDs that no linked code provides.
#include "automation/factory.h"

#include <map>
#include <mutex>
#include <utility>

#include "automation/ascii.h"
#include "automation/collections.h"
#include "automation/registration.h"
#include "fmt/format.h"

namespace orv::automation {

namespace {

class Registry {
 public:
  static Registry& Instance() {
    static Registry registry;
    return registry;
  }

  void Set(std::string_view prog_id, ObjectCreator creator) {
    std::lock_guard<std::mutex> guard(mutex_);
    creators_[AsciiLower(prog_id)] = std::move(creator);
  }
  void Remove(std::string_view prog_id) {
    std::lock_guard<std::mutex> guard(mutex_);
    creators_.erase(AsciiLower(prog_id));
  }
  // A copy, so that the creator runs without the lock (it may create other objects).
  ObjectCreator Get(std::string_view prog_id) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = creators_.find(AsciiLower(prog_id));
    return it == creators_.end() ? ObjectCreator() : it->second;
  }

 private:
  Registry() {
    creators_["daroz.stringbuilder"] = [] { return std::make_shared<StringBuilder>(); };
  }

  mutable std::mutex mutex_;
  std::map<std::string, ObjectCreator> creators_;
};

[[noreturn]] void RaiseCannotCreate(std::string_view prog_id) {
  Raise(err::kCannotCreateObject, {},
        fmt::format("ActiveX component can't create object: '{}'", prog_id));
}

}  // namespace

void RegisterClass(std::string_view prog_id, ObjectCreator creator) {
  Registry::Instance().Set(prog_id, std::move(creator));
}

void UnregisterClass(std::string_view prog_id) { Registry::Instance().Remove(prog_id); }

bool IsClassRegistered(std::string_view prog_id) {
  return static_cast<bool>(Registry::Instance().Get(prog_id));
}

ObjectRef CreateInstance(std::string_view prog_id, std::string_view /*server_name*/) {
  if (ObjectCreator creator = Registry::Instance().Get(prog_id)) {
    ObjectRef object = creator();
    if (!object) RaiseCannotCreate(prog_id);
    return object;
  }
  if (auto library = LookupServer(prog_id)) return CreateFromServer(*library, prog_id);
  RaiseCannotCreate(prog_id);
}

}  // namespace orv::automation
