// The platform's text functions: Val, Trim and Format.
#include <cmath>
#include <string>

#include "automation/date_text.h"
#include "automation/error.h"
#include "automation/number_text.h"
#include "automation/variant.h"

namespace orv::automation {

double Val(std::string_view text) {
  // Val skips blanks anywhere ("1 2" -> 12) and stops at the first character that cannot
  // continue the number; an exponent counts only when digits follow it.
  std::string compact;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact += c;
  }
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  std::string number;
  if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) number += compact[i++];
  size_t digits = 0;
  while (i < compact.size() && is_digit(compact[i])) number += compact[i++], ++digits;
  if (i < compact.size() && compact[i] == '.') {
    number += compact[i++];
    while (i < compact.size() && is_digit(compact[i])) number += compact[i++], ++digits;
  }
  if (digits == 0) return 0;
  if (i < compact.size() &&
      (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' || compact[i] == 'D')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) exponent += compact[j++];
    size_t exp_digits = 0;
    while (j < compact.size() && is_digit(compact[j])) exponent += compact[j++], ++exp_digits;
    if (exp_digits > 0) number += exponent;
  }
  auto value = internal::ParseNumericText(number);
  if (!value || !std::isfinite(*value)) Raise(err::kOverflow);
  return *value;
}

std::string Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end + 1 - begin));
}

std::string Format(const Variant& v, std::string_view pattern) {
  if (v.IsNull() || v.IsEmpty()) return {};
  if (pattern.empty()) return CStr(v);
  if (!internal::IsDatePattern(pattern)) {
    Raise(err::kInvalidProcedureCall, {},
          "Invalid procedure call or argument: unsupported Format pattern '" +
              std::string(pattern) + "'");
  }
  switch (v.type()) {
    case VarType::Date:
      return internal::FormatDate(v.AsDate(), pattern);
    case VarType::String:
      if (auto date = internal::ParseDateText(v.AsString())) {
        return internal::FormatDate(*date, pattern);
      }
      return v.AsString();
    default:
      return CStr(v);
  }
}

}  // namespace orv::automation
