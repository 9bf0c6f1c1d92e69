#include "cli/conditions.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "automation/variant.h"
#include "cli/errors.h"

namespace orv::cli {

namespace {

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool NamesDate(std::string_view key) {
  for (size_t i = 0; i + 4 <= key.size(); ++i) {
    if (SameKey(key.substr(i, 4), "date")) return true;
  }
  return false;
}

// The report's spelling of a key, or the key as given.
std::string Canonical(const std::vector<ReportKey>& keys, const std::string& key) {
  for (const auto& known : keys) {
    if (SameKey(known.name, key)) return known.name;
  }
  return key;
}

bool Known(const std::vector<ReportKey>& keys, const std::string& key) {
  for (const auto& known : keys) {
    if (known.name == key) return true;
  }
  return false;
}

// Puts the JSON file and the pairs into `into`, keys in the spelling of `keys`.
void Gather(automation::Dictionary& into, const std::vector<ReportKey>& keys,
            const std::string& json_file, const std::vector<std::string>& pairs) {
  automation::Dictionary given;
  if (!json_file.empty()) LoadJsonFile(given, json_file);
  for (const std::string& pair : pairs) {
    auto [key, value] = SplitKeyValue(pair);
    given.SetItem(key, automation::Variant(value));
  }
  for (const std::string& key : given.Keys()) {
    const std::string name = Canonical(keys, key);
    into.Remove(name);
    into.SetItem(name, given.Item(key));
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

void LoadJsonFile(automation::Dictionary& into, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read '" + path + "'");
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception& e) {
    throw UsageError("'" + path + "' is not valid JSON: " + e.what());
  }
  if (!json.is_object()) throw UsageError("'" + path + "' must hold one JSON object");
  for (const auto& [key, value] : json.items()) {
    if (value.is_string()) {
      into.SetItem(key, automation::Variant(value.get<std::string>()));
    } else if (value.is_boolean()) {
      into.SetItem(key, automation::Variant(value.get<bool>()));
    } else if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
               value.get<int64_t>() <= INT32_MAX) {
      into.SetItem(key, automation::Variant(static_cast<int32_t>(value.get<int64_t>())));
    } else if (value.is_number()) {
      into.SetItem(key, automation::Variant(value.get<double>()));
    } else if (value.is_null()) {
      into.SetItem(key, automation::Variant::Null());
    } else {
      throw UsageError("'" + path + "': the value of \"" + key +
                       "\" must be a text, a number, true, false or null");
    }
  }
}

bool IsIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  const int year = std::stoi(std::string(text.substr(0, 4)));
  const int month = std::stoi(std::string(text.substr(5, 2)));
  const int day = std::stoi(std::string(text.substr(8, 2)));
  if (month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::shared_ptr<automation::Dictionary> BuildFilter(const ReportInfo& report,
                                                    const std::string& json_file,
                                                    const std::vector<std::string>& pairs) {
  auto filter = automation::NewDictionary();
  Gather(*filter, report.filter_keys, json_file, pairs);
  for (const std::string& key : filter->Keys()) {
    const automation::Variant value = filter->Item(key);
    if (NamesDate(key) && value.type() == automation::VarType::String &&
        !value.AsString().empty() && !IsIsoDate(value.AsString())) {
      throw UsageError("the value of " + key + " must be a date written yyyy-mm-dd, got '" +
                       value.AsString() + "'");
    }
    if (!Known(report.filter_keys, key)) {
      std::cerr << "orvdata: warning: report " << report.number << " does not read the key " << key
                << " (see orvdata report " << report.number << " --help)\n";
    }
  }
  for (const auto& key : report.filter_keys) {
    if (key.fallback != nullptr && !filter->Exists(key.name)) {
      filter->SetItem(key.name, automation::Variant(key.fallback));
    }
  }
  return filter;
}

std::shared_ptr<automation::Dictionary> BuildDsql(std::shared_ptr<automation::Dictionary> standard,
                                                  const std::string& json_file,
                                                  const std::vector<std::string>& pairs) {
  Gather(*standard, DsqlKeys(), json_file, pairs);
  return standard;
}

}  // namespace orv::cli
