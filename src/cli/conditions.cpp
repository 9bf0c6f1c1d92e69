#include "cli/conditions.h"

#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>

#include "automation/variant.h"
#include "cli/errors.h"

namespace orv::cli {

namespace {

void LoadJsonFile(reports::catalog::GivenConditions& into, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the conditions file '" + path + "'");
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception& e) {
    throw UsageError("the conditions file '" + path + "' is not valid JSON: " + e.what());
  }
  if (!json.is_object()) throw UsageError("the conditions file '" + path + "' must hold one JSON object");
  for (const auto& [key, value] : json.items()) {
    automation::Variant v;
    if (value.is_string()) {
      v = automation::Variant(value.get<std::string>());
    } else if (value.is_boolean()) {
      v = automation::Variant(value.get<bool>());
    } else if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
               value.get<int64_t>() <= INT32_MAX) {
      v = automation::Variant(static_cast<int32_t>(value.get<int64_t>()));
    } else if (value.is_number()) {
      v = automation::Variant(value.get<double>());
    } else if (value.is_null()) {
      v = automation::Variant::Null();
    } else {
      throw UsageError("the conditions file '" + path + "': the value of \"" + key +
                       "\" must be a text, a number, true, false or null");
    }
    into.emplace_back(key, std::move(v));
  }
}

}  // namespace

std::pair<std::string, std::string> SplitKeyValue(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    throw UsageError("expected KEY=VALUE, got '" + std::string(text) + "'");
  }
  return {std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

reports::catalog::GivenConditions GatherConditions(const std::string& json_file,
                                                   const std::vector<std::string>& pairs) {
  reports::catalog::GivenConditions given;
  if (!json_file.empty()) LoadJsonFile(given, json_file);
  for (const std::string& pair : pairs) {
    auto [key, value] = SplitKeyValue(pair);
    given.emplace_back(std::move(key), automation::Variant(std::move(value)));
  }
  return given;
}

}  // namespace orv::cli
