#include "sqltext/quote.h"

#include <cctype>

namespace orv::sqltext {

std::string QuoteSql(std::string_view text, bool quote, bool trim) {
  std::string out;
  try {
    if (trim) {
      size_t b = text.find_first_not_of(' ');
      if (b == std::string_view::npos) {
        text = {};
      } else {
        size_t e = text.find_last_not_of(' ');
        text = text.substr(b, e - b + 1);
      }
    }
    if (quote) out.push_back('\'');
    for (char c : text) {
      out.push_back(c);
      if (c == '\'') out.push_back('\'');
    }
    if (quote) out.push_back('\'');
  } catch (...) {
    // Only allocation can fail here; hand back what was built so far.
  }
  return out;
}

std::string LanguageSuffix(std::string_view name, std::string_view language) {
  try {
    std::string upper;
    for (char c : language) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (upper == "CHT") return std::string(name) + "_CHT";
    if (upper == "EN") return std::string(name) + "_EN";
    return std::string(name);
  } catch (...) {
    return std::string(name);
  }
}

}  // namespace orv::sqltext
