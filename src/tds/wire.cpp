// UTF-16 pieces of the byte writer and reader.
#include "tds/wire.h"

#include <algorithm>

namespace orv::tds {

void ByteWriter::Utf16(std::u16string_view s) {
  for (char16_t c : s) U16(static_cast<uint16_t>(c));
}

void ByteWriter::BVarChar(std::u16string_view s) {
  s = s.substr(0, std::min<size_t>(s.size(), 255));
  U8(static_cast<uint8_t>(s.size()));
  Utf16(s);
}

void ByteWriter::UsVarChar(std::u16string_view s) {
  s = s.substr(0, std::min<size_t>(s.size(), 65535));
  U16(static_cast<uint16_t>(s.size()));
  Utf16(s);
}

std::u16string ByteReader::Utf16(size_t units) {
  const uint8_t* p = Take(units * 2);
  std::u16string out(units, u'\0');
  for (size_t i = 0; i < units; ++i) {
    out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  }
  return out;
}

}  // namespace orv::tds
