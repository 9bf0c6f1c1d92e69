// The automation error object: number, source, description, help file and help context,
// raised and caught as one C++ exception type, plus the per-thread "Err" object that a
// failure handler fills and LoadMessage saves and restores.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orv::automation {

// Standard error numbers of the automation runtime that this code raises.
namespace err {
inline constexpr int32_t kInvalidProcedureCall = 5;    // "Invalid procedure call or argument"
inline constexpr int32_t kOverflow = 6;                // "Overflow"
inline constexpr int32_t kSubscriptOutOfRange = 9;     // "Subscript out of range"
inline constexpr int32_t kTypeMismatch = 13;           // "Type mismatch"
inline constexpr int32_t kPathFileAccess = 75;         // "Path/File access error"
inline constexpr int32_t kObjectNotSet = 91;           // "Object variable or With block variable not set"
inline constexpr int32_t kInvalidUseOfNull = 94;       // "Invalid use of Null"
inline constexpr int32_t kCannotCreateObject = 429;    // "ActiveX component can't create object"
inline constexpr int32_t kNotSupported = 438;          // "Object doesn't support this property or method"
inline constexpr int32_t kAutomationError = 440;       // "Automation error"
inline constexpr int32_t kNotImplemented = 445;        // "Object doesn't support this action"
}  // namespace err

// The standard description text of a runtime error number ("" when unknown).
std::string StandardDescription(int32_t number);

struct ErrorInfo {
  int32_t number = 0;
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;
};

// The one exception type of the automation layer. what() is the description.
class AutomationError : public std::runtime_error {
 public:
  explicit AutomationError(ErrorInfo info);
  const ErrorInfo& info() const { return info_; }
  int32_t number() const { return info_.number; }
  const std::string& source() const { return info_.source; }
  const std::string& description() const { return info_.description; }

 private:
  ErrorInfo info_;
};

// Raises an error; an empty description takes the standard text of the number.
[[noreturn]] void Raise(int32_t number, std::string source = {}, std::string description = {},
                        std::string help_file = {}, int32_t help_context = 0);
[[noreturn]] void Raise(const ErrorInfo& info);

// The per-thread pending error ("Err"). A failure handler stores the caught error here
// (Set), reads it, and raises from it; Clear() resets every field.
class ErrObject {
 public:
  const ErrorInfo& info() const { return info_; }
  int32_t Number() const { return info_.number; }
  const std::string& Source() const { return info_.source; }
  const std::string& Description() const { return info_.description; }
  const std::string& HelpFile() const { return info_.help_file; }
  int32_t HelpContext() const { return info_.help_context; }
  void Set(const ErrorInfo& info) { info_ = info; }
  void Clear() { info_ = ErrorInfo{}; }

 private:
  ErrorInfo info_;
};

ErrObject& Err();  // this thread's pending error

// Converts any exception in flight (inside a catch block) to ErrorInfo: AutomationError keeps
// its fields; other std::exceptions become number 440 ("Automation error") with what() as text.
ErrorInfo CurrentErrorInfo();

}  // namespace orv::automation
