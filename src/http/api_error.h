// The errors of the HTTP API. Every failure reaches the client as one JSON object
//   {"error": {"status": 400, "code": "bad_condition", "message": "...", "number": -7000,
//              "source": "..."}}
// with the HTTP status it describes; "number" and "source" are those of the service error
// behind it, when there is one.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "automation/error.h"

namespace orv::http {

class ApiError : public std::runtime_error {
 public:
  ApiError(int status, std::string code, const std::string& message)
      : std::runtime_error(message), status_(status), code_(std::move(code)) {}

  int status() const { return status_; }
  const std::string& code() const { return code_; }
  const std::optional<int32_t>& number() const { return number_; }
  const std::string& source() const { return source_; }

  ApiError& WithService(int32_t number, std::string source) {
    number_ = number;
    source_ = std::move(source);
    return *this;
  }

 private:
  int status_;
  std::string code_;
  std::optional<int32_t> number_;
  std::string source_;
};

// The JSON text of an error (see the header comment).
std::string ErrorJson(const ApiError& error);

// The error a failed operation of the service becomes: 500 "service_error" with the service's
// number, source and description.
ApiError ServiceFailure(const automation::ErrorInfo& info);

// The exception in flight (inside a catch block) as an ApiError: ApiError itself; the report
// catalogue's ConditionError and the writers' ChoiceError as 400; automation errors through
// ServiceFailure; anything else as 500 "internal".
ApiError CurrentApiError();

}  // namespace orv::http
