// The automation error object: standard texts, raising, and the per-thread pending error.
#include "automation/error.h"

#include <exception>
#include <utility>

namespace orv::automation {

std::string StandardDescription(int32_t number) {
  switch (number) {
    case err::kInvalidProcedureCall:
      return "Invalid procedure call or argument";
    case err::kOverflow:
      return "Overflow";
    case err::kSubscriptOutOfRange:
      return "Subscript out of range";
    case err::kTypeMismatch:
      return "Type mismatch";
    case err::kPathFileAccess:
      return "Path/File access error";
    case err::kObjectNotSet:
      return "Object variable or With block variable not set";
    case err::kInvalidUseOfNull:
      return "Invalid use of Null";
    case err::kCannotCreateObject:
      return "ActiveX component can't create object";
    case err::kNotSupported:
      return "Object doesn't support this property or method";
    case err::kAutomationError:
      return "Automation error";
    case err::kNotImplemented:
      return "Object doesn't support this action";
    default:
      return {};
  }
}

namespace {

// An error without a description carries the standard text of its number.
ErrorInfo WithStandardText(ErrorInfo info) {
  if (info.description.empty()) info.description = StandardDescription(info.number);
  return info;
}

}  // namespace

AutomationError::AutomationError(ErrorInfo info)
    : std::runtime_error(WithStandardText(info).description),
      info_(WithStandardText(std::move(info))) {}

void Raise(int32_t number, std::string source, std::string description, std::string help_file,
           int32_t help_context) {
  Raise(ErrorInfo{number, std::move(source), std::move(description), std::move(help_file),
                  help_context});
}

void Raise(const ErrorInfo& info) { throw AutomationError(info); }

ErrObject& Err() {
  thread_local ErrObject err;
  return err;
}

ErrorInfo CurrentErrorInfo() {
  std::exception_ptr current = std::current_exception();
  if (!current) return {};
  try {
    std::rethrow_exception(current);
  } catch (const AutomationError& e) {
    return e.info();
  } catch (const std::exception& e) {
    return ErrorInfo{err::kAutomationError, {}, e.what(), {}, 0};
  } catch (...) {
    return ErrorInfo{err::kAutomationError, {}, StandardDescription(err::kAutomationError), {}, 0};
  }
}

}  // namespace orv::automation
