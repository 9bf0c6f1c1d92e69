// The engine's one collation for char/varchar/nchar/nvarchar text (UTF-8): ASCII letters
// compare case-insensitively, other characters by code point, trailing blanks are ignored
// (the shorter text counts as padded with blanks), and U+00FF (what CHAR(255) gives) sorts
// after every other character, as the highest single-byte character does for item-number sort
// keys. Used by comparison, hashing, LIKE and the string functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orv::tsql::coll {

// <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);

// Equal for texts that CompareText calls equal; never allocates.
size_t HashText(std::string_view s);

// Folds an ASCII letter to upper case; other bytes unchanged.
inline unsigned char Fold(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// Decodes the code point starting at s[i] and advances i (a malformed byte is taken alone).
char32_t NextCodePoint(std::string_view s, size_t& i);

// Appends the UTF-8 form of a code point.
template <class String>
void AppendUtf8(String& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Sort weight of one code point under the collation.
inline uint32_t Weight(char32_t cp) {
  if (cp < 0x80) return Fold(static_cast<unsigned char>(cp));
  if (cp == 0xFF) return 0x110000;  // above every code point
  return static_cast<uint32_t>(cp);
}

}  // namespace orv::tsql::coll
