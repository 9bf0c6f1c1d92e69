#include "export/text_width.h"

#include <algorithm>
#include <cstdint>

namespace orv::exports {

namespace {

// Ranges of East Asian Wide (W) and Fullwidth (F) characters, the ones that matter for item,
// department and unit names: Hangul Jamo, CJK radicals to Yi, Hangul syllables, CJK
// compatibility ideographs, vertical and compatibility forms, full-width forms, the
// supplementary ideographic planes and the common emoji block.
bool IsWide(uint32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
         (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
         (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE10 && cp <= 0xFE19) || (cp >= 0xFE30 && cp <= 0xFE6F) ||
         (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) ||
         (cp >= 0x1F300 && cp <= 0x1F64F) || (cp >= 0x1F900 && cp <= 0x1F9FF) ||
         (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool IsZeroWidth(uint32_t cp) {
  return (cp >= 0x0300 && cp <= 0x036F) || cp == 0x200B || cp == 0x200D ||
         (cp >= 0xFE00 && cp <= 0xFE0F);
}

size_t SequenceLength(unsigned char c) {
  if (c >= 0xF0) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    for (size_t k = 1; k < len && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (!IsZeroWidth(cp)) width += IsWide(cp) ? 2 : 1;
    i += len;
  }
  return width;
}

}  // namespace orv::exports

namespace orv::exports {

std::string TruncateToWidth(std::string_view text, size_t width) {
  if (DisplayWidth(text) <= width) return std::string(text);
  if (width == 0) return "";
  std::string out;
  size_t used = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t len = std::min(SequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
    const size_t w = DisplayWidth(text.substr(i, len));
    if (used + w + 1 > width) break;  // one column stays for the ellipsis
    out.append(text.substr(i, len));
    used += w;
    i += len;
  }
  return out + "\u2026";
}

}  // namespace orv::exports
