// ASCII character tests and case folding, for the names compared without regard to case
// (programmatic ids, connection-string keys, provider and field names, resource languages)
// and for digits in texts that are ASCII by definition.
#pragma once

#include <string>
#include <string_view>

namespace orv::automation {

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace orv::automation
