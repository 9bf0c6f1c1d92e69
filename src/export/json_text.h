// JSON text of single values, shared by the JSON writers and the HTTP front end's row stream:
// strings escaped, numbers in plain digits (decimals exact), dates as ISO 8601 strings, Null
// (and Empty) as null.
#pragma once

#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orv::exports {

// Appends `text` as a JSON string (quotes, backslashes and control characters escaped).
void AppendJsonString(std::string& out, std::string_view text);
std::string JsonString(std::string_view text);

// Appends a value as JSON: null, true/false, a number (a non-finite double is null), or a
// string (texts, and dates in ISO 8601).
void AppendJsonValue(std::string& out, const automation::Variant& value);

}  // namespace orv::exports
