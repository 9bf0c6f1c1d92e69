// In-process server registration: the C entry points that a server library exports, the
// registration file that maps a ProgID to the library serving it, and creating an object
// through such a library.
//
// The registration file is plain text, one "ProgID=/path/to/library.so" per line (blank lines
// and lines starting with '#' are kept but ignored). Its location is the environment variable
// ORV_REGISTRY, else $HOME/.config/orvdata/registry, else (no HOME) /tmp/.config/orvdata/registry.
// ProgIDs compare without regard to ASCII letter case. Updates replace the file atomically
// under an advisory lock, so several processes may register at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/object.h"

#define ORV_SERVER_EXPORT __attribute__((visibility("default")))

// The four entry points of an in-process server library, with C linkage. Each returns 0
// (S_OK) on success and a negative HRESULT-like code on failure; DllCanUnloadNow returns 0
// when the library may be unloaded and 1 (S_FALSE) while it must stay loaded.
//   DllRegisterServer    writes the library's ProgIDs into the registration file
//   DllUnregisterServer  removes them
//   DllGetClassObject    creates an object of the class prog_id; on success *out receives a
//                        heap-allocated orv::automation::ObjectRef* that the caller owns
//                        (and deletes); on failure *out is left null
extern "C" {
ORV_SERVER_EXPORT int DllRegisterServer(void);
ORV_SERVER_EXPORT int DllUnregisterServer(void);
ORV_SERVER_EXPORT int DllGetClassObject(const char* prog_id, void** out);
ORV_SERVER_EXPORT int DllCanUnloadNow(void);
}

namespace orv::automation {

extern "C" {
typedef int (*DllRegisterServerFn)(void);
typedef int (*DllUnregisterServerFn)(void);
typedef int (*DllGetClassObjectFn)(const char* prog_id, void** out);
typedef int (*DllCanUnloadNowFn)(void);
}

// Exported symbol names, for dlsym().
inline constexpr char kDllRegisterServerName[] = "DllRegisterServer";
inline constexpr char kDllUnregisterServerName[] = "DllUnregisterServer";
inline constexpr char kDllGetClassObjectName[] = "DllGetClassObject";
inline constexpr char kDllCanUnloadNowName[] = "DllCanUnloadNow";

// Result codes of the entry points (HRESULT values as signed 32-bit integers).
namespace hr {
inline constexpr int32_t kOk = 0;                                           // S_OK
inline constexpr int32_t kFalse = 1;                                        // S_FALSE
inline constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
inline constexpr int32_t kPointer = static_cast<int32_t>(0x80004003u);      // E_POINTER
inline constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
inline constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111u);
inline constexpr int32_t kSelfRegClass = static_cast<int32_t>(0x80040201u);  // SELFREG_E_CLASS
}  // namespace hr

// The registration file in use (reads the environment on every call).
std::string RegistryFilePath();

// Adds or replaces the line of prog_id. A ProgID that is empty or holds '=', '#' or a line
// break, or a path that is empty or holds a line break, is error 5; file failures are error 75.
void RegisterServer(std::string_view prog_id, std::string_view library_path);

// Removes the line of prog_id; false when it was not registered.
bool UnregisterServer(std::string_view prog_id);

// The library registered for prog_id, if any.
std::optional<std::string> LookupServer(std::string_view prog_id);

// Every registration, in file order (ProgID as written, library path).
std::vector<std::pair<std::string, std::string>> RegisteredServers();

// Loads a server library (once per process; it is never unloaded, since the objects it creates
// run its code) and asks its DllGetClassObject for prog_id. A library that cannot be loaded,
// lacks the entry point, fails or returns nothing raises error 429 naming the ProgID.
ObjectRef CreateFromServer(const std::string& library_path, std::string_view prog_id);

}  // namespace orv::automation
