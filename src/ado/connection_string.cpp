// Parsing of "key=value;key=value" connection strings.
//
// Grammar: pairs separated by ';'. Spaces around keys and unquoted values are dropped; keys
// compare without regard to case. A value that starts with '{' runs to the matching '}', with
// "}}" standing for one '}', so it may hold ';' and '='. Empty segments are skipped, a segment
// without '=' is a key with an empty value, and a repeated key takes its last value.
#include <algorithm>
#include <utility>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "ado/provider.h"
#include "automation/ascii.h"

namespace orv::ado {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The text with what follows "Password=" or "PWD=" hidden up to the next ';' (to the end when
// the value is braced, since the braces may be what is wrong): a malformed text is shown in
// the error, its password never.
std::string WithoutPasswords(std::string_view text) {
  const std::string lower = automation::AsciiLower(text);
  std::string out;
  size_t copied = 0;
  for (size_t pos = 0; pos < lower.size(); ++pos) {
    size_t key_length = 0;
    if (lower.compare(pos, 8, "password") == 0) key_length = 8;
    else if (lower.compare(pos, 3, "pwd") == 0) key_length = 3;
    if (key_length == 0 || (pos > 0 && lower[pos - 1] != ';' && !IsSpace(lower[pos - 1]))) continue;
    size_t eq = pos + key_length;
    while (eq < lower.size() && IsSpace(lower[eq])) ++eq;
    if (eq >= lower.size() || lower[eq] != '=') continue;
    size_t value = eq + 1;
    while (value < lower.size() && IsSpace(lower[value])) ++value;
    const size_t end =
        value < lower.size() && lower[value] == '{' ? lower.size() : lower.find(';', value);
    out.append(text.substr(copied, eq + 1 - copied));
    out += "***";
    copied = end == std::string::npos ? lower.size() : end;
    pos = copied;
  }
  out.append(text.substr(std::min(copied, text.size())));
  return out;
}

[[noreturn]] void RaiseMalformed(std::string_view text, std::string_view why) {
  RaiseAdoError(adoerr::kInvalidArgument,
                "Invalid connection string (" + std::string(why) + "): " + WithoutPasswords(text));
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) : text_(text) {
  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    // Key: up to '=' or the end of the segment.
    size_t key_end = pos;
    while (key_end < n && text[key_end] != '=' && text[key_end] != ';') ++key_end;
    std::string_view key = TrimSpaces(text.substr(pos, key_end - pos));
    pos = key_end;
    std::string value;
    if (pos < n && text[pos] == '=') {
      ++pos;
      while (pos < n && IsSpace(text[pos])) ++pos;
      if (pos < n && text[pos] == '{') {
        ++pos;
        bool closed = false;
        while (pos < n) {
          if (text[pos] == '}') {
            if (pos + 1 < n && text[pos + 1] == '}') {
              value += '}';
              pos += 2;
              continue;
            }
            ++pos;
            closed = true;
            break;
          }
          value += text[pos++];
        }
        if (!closed) RaiseMalformed(text, "unterminated '{'");
        while (pos < n && IsSpace(text[pos])) ++pos;
        if (pos < n && text[pos] != ';') RaiseMalformed(text, "text after '}'");
      } else {
        size_t value_end = text.find(';', pos);
        if (value_end == std::string_view::npos) value_end = n;
        value = std::string(TrimSpaces(text.substr(pos, value_end - pos)));
        pos = value_end;
      }
    }
    if (pos < n) ++pos;  // the ';'
    if (key.empty()) {
      if (!value.empty()) RaiseMalformed(text, "value without a key");
      continue;
    }
    bool replaced = false;
    for (auto& [k, v] : pairs_) {
      if (automation::EqualsIgnoreCase(k, key)) {
        v = value;
        replaced = true;
        break;
      }
    }
    if (!replaced) pairs_.emplace_back(std::string(key), std::move(value));
  }
}

std::string ConnectionString::Get(std::string_view key, std::string_view default_value) const {
  for (const auto& [k, v] : pairs_) {
    if (automation::EqualsIgnoreCase(k, key)) return v;
  }
  return std::string(default_value);
}

bool ConnectionString::Has(std::string_view key) const {
  for (const auto& [k, v] : pairs_) {
    if (automation::EqualsIgnoreCase(k, key)) return true;
  }
  return false;
}

}  // namespace orv::ado
