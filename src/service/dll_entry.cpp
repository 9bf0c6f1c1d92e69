// The in-process server entry points of the shared library: registration of
// "OrvVAduzAvu.Data" in the registration file (with this library's own path), creation of the
// class, and the unload query (the library stays loaded once loaded).
#include <dlfcn.h>

#include <cctype>
#include <new>
#include <string>
#include <string_view>

#include "automation/error.h"
#include "automation/factory.h"
#include "automation/registration.h"
#include "service/data.h"

namespace {

namespace automation = orv::automation;
namespace hr = orv::automation::hr;

bool SameProgId(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The path of the library that holds this function.
std::string ThisLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

}  // namespace

extern "C" {

ORV_SERVER_EXPORT int DllRegisterServer(void) {
  try {
    const std::string path = ThisLibraryPath();
    if (path.empty()) return hr::kSelfRegClass;
    automation::RegisterServer(orv::service::kDataProgId, path);
    return hr::kOk;
  } catch (...) {
    return hr::kSelfRegClass;
  }
}

ORV_SERVER_EXPORT int DllUnregisterServer(void) {
  try {
    automation::UnregisterServer(orv::service::kDataProgId);
    return hr::kOk;
  } catch (...) {
    return hr::kSelfRegClass;
  }
}

ORV_SERVER_EXPORT int DllGetClassObject(const char* prog_id, void** out) {
  if (!out) return hr::kPointer;
  *out = nullptr;
  if (!prog_id || !SameProgId(prog_id, orv::service::kDataProgId)) return hr::kClassNotAvailable;
  try {
    orv::service::RegisterServiceClasses();
    automation::ObjectRef object = automation::CreateInstance(orv::service::kDataProgId);
    if (!object) return hr::kFail;
    *out = new automation::ObjectRef(std::move(object));
    return hr::kOk;
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  } catch (...) {
    return hr::kFail;
  }
}

// Built to stay loaded in its host once loaded, even while no object is alive.
ORV_SERVER_EXPORT int DllCanUnloadNow(void) { return hr::kFalse; }

}  // extern "C"
