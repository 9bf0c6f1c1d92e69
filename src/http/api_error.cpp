#include "http/api_error.h"

#include <nlohmann/json.hpp>

#include "export/export_error.h"
#include "reports/condition_check.h"

namespace orv::http {

std::string ErrorJson(const ApiError& error) {
  nlohmann::json body = {
      {"status", error.status()}, {"code", error.code()}, {"message", error.what()}};
  if (error.number()) body["number"] = *error.number();
  if (!error.source().empty()) body["source"] = error.source();
  return nlohmann::json{{"error", body}}.dump(-1, ' ', false,
                                              nlohmann::json::error_handler_t::replace);
}

ApiError ServiceFailure(const automation::ErrorInfo& info) {
  std::string message =
      info.description.empty() ? automation::StandardDescription(info.number) : info.description;
  return ApiError(500, "service_error", message).WithService(info.number, info.source);
}

ApiError CurrentApiError() {
  try {
    throw;
  } catch (const ApiError& e) {
    return e;
  } catch (const reports::catalog::ConditionError& e) {
    return ApiError(400, "bad_condition", e.what());
  } catch (const exports::ChoiceError& e) {
    return ApiError(400, "bad_choice", e.what());
  } catch (const automation::AutomationError& e) {
    return ServiceFailure(e.info());
  } catch (const std::exception& e) {
    return ApiError(500, "internal", e.what());
  } catch (...) {
    return ApiError(500, "internal", "unknown failure");
  }
}

}  // namespace orv::http
