// Small helpers shared by the value operations: UTF-8 character counting and cutting, the
// decimal shape of exact numeric types, and the type names used in conversion messages.
#pragma once

#include <cstddef>
#include <string_view>

#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql::util {

inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Characters (code points) of UTF-8 text.
inline size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += IsContinuation(c) ? 0 : 1;
  return n;
}

// UTF-16 code units of UTF-8 text: what nvarchar lengths count (a character beyond the
// basic plane takes two).
inline size_t Utf16Units(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += IsContinuation(c) ? 0 : (c >= 0xF0 ? 2 : 1);
  return n;
}

// Byte length of the first `chars` characters (the whole text when it has fewer).
inline size_t PrefixBytes(std::string_view s, size_t chars) {
  size_t i = 0;
  for (size_t seen = 0; i < s.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(s[i]))) {
      if (seen == chars) break;
      ++seen;
    }
  }
  return i;
}

// The stored length of text in a string column: UTF-16 code units for nvarchar and nchar,
// bytes under a double-byte code page for varchar and char (a character outside ASCII takes
// two).
inline size_t StoredLength(std::string_view s, bool unicode) {
  size_t n = 0;
  for (unsigned char c : s) {
    if (IsContinuation(c)) continue;
    n += c < 0x80 ? 1 : (unicode ? (c >= 0xF0 ? 2 : 1) : 2);
  }
  return n;
}

// Byte length of the longest whole-character prefix whose stored length is at most `limit`.
inline size_t PrefixForLength(std::string_view s, size_t limit, bool unicode) {
  // No character's stored length exceeds its UTF-8 bytes: text no longer than the limit in
  // bytes fits whole (the usual case, decided without reading it).
  if (s.size() <= limit) return s.size();
  size_t used = 0, i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t width = c < 0x80 ? 1 : (unicode ? (c >= 0xF0 ? 2 : 1) : 2);
    if (used + width > limit) break;
    used += width;
    ++i;
    while (i < s.size() && IsContinuation(static_cast<unsigned char>(s[i]))) ++i;
  }
  return i;
}

inline std::string_view TrimTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

inline std::string_view TrimLeadingBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Precision and scale an exact numeric type counts as in decimal arithmetic.
struct DecimalShape {
  int precision;
  int scale;
};
inline DecimalShape ShapeOf(const SqlType& t) {
  switch (t.id) {
    case TypeId::Bit:
      return {1, 0};
    case TypeId::TinyInt:
      return {3, 0};
    case TypeId::SmallInt:
      return {5, 0};
    case TypeId::Int:
      return {10, 0};
    case TypeId::BigInt:
      return {19, 0};
    case TypeId::Money:
      return {19, 4};
    case TypeId::Decimal:
      return {t.precision, t.scale};
    default:
      return {38, 0};
  }
}

// "varchar" or "nvarchar": how conversion messages name a string source.
inline std::string_view StringSourceName(const SqlType& t) {
  return t.IsUnicode() ? "nvarchar" : "varchar";
}

// The message name of a conversion source ("varchar" for every non-unicode string type).
inline std::string_view SourceName(const SqlType& t) {
  return t.IsString() ? StringSourceName(t) : t.MessageName();
}

}  // namespace orv::tsql::util
