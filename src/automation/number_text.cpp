// Number <-> text helpers behind the Variant conversions.
#include "automation/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

#include "automation/ascii.h"

namespace orv::automation::internal {

namespace {

unsigned __int128 PowerOfTen(int exponent) {
  unsigned __int128 result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// Writes the decimal digits of a 128-bit magnitude so that they end at `end`; returns where
// they begin. Only the part above 64 bits needs 128-bit division, once per 19 digits; the rest
// is plain 64-bit conversion (decimals are printed by the million in large results).
char* UnsignedDigits(unsigned __int128 value, char* end) {
  constexpr uint64_t k1e19 = 10000000000000000000ull;
  char* begin = end;
  while (value > std::numeric_limits<uint64_t>::max()) {
    uint64_t chunk = static_cast<uint64_t>(value % k1e19);
    value /= k1e19;
    for (int i = 0; i < 19; ++i, chunk /= 10) *--begin = static_cast<char>('0' + chunk % 10);
  }
  char top[20];
  const auto written = std::to_chars(top, top + sizeof top, static_cast<uint64_t>(value)).ptr;
  begin -= written - top;
  std::memcpy(begin, top, static_cast<size_t>(written - top));
  return begin;
}

}  // namespace

std::optional<double> ParseNumericText(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  std::string_view body = text.substr(begin, end - begin);

  // Normalised copy for from_chars: no '+' sign, 'e' as the exponent letter.
  std::string normal;
  size_t i = 0;
  bool negative = false;
  if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
  size_t int_digits = 0;
  size_t frac_digits = 0;
  int first_significant = std::numeric_limits<int>::min();  // decimal position of first non-0
  while (i < body.size() && IsAsciiDigit(body[i])) {
    if (body[i] != '0' && first_significant == std::numeric_limits<int>::min()) {
      first_significant = 0;
    }
    if (first_significant != std::numeric_limits<int>::min()) ++first_significant;
    normal += body[i++];
    ++int_digits;
  }
  if (i < body.size() && body[i] == '.') {
    normal += body[i++];
    int leading_zeros = 0;
    while (i < body.size() && IsAsciiDigit(body[i])) {
      if (first_significant == std::numeric_limits<int>::min()) {
        if (body[i] == '0') {
          ++leading_zeros;
        } else {
          first_significant = -leading_zeros;
        }
      }
      normal += body[i++];
      ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  long exponent = 0;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E' || body[i] == 'd' || body[i] == 'D')) {
    ++i;
    std::string exp_text;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) exp_text += body[i++];
    size_t exp_start = i;
    while (i < body.size() && IsAsciiDigit(body[i])) exp_text += body[i++];
    if (i == exp_start) return std::nullopt;
    exponent = std::strtol(exp_text.c_str(), nullptr, 10);  // saturates at LONG_MAX/MIN
    normal += 'e';
    normal += exp_text;
  }
  if (i != body.size()) return std::nullopt;

  double value = 0;
  auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: decide by the position of the first significant
    // digit after applying the exponent.
    bool overflow = first_significant != std::numeric_limits<int>::min() &&
                    static_cast<long double>(first_significant) + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc() || ptr != normal.data() + normal.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::string DoubleToText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";

  // Shortest round-trip digits in scientific form, e.g. "-1.25e+01".
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  size_t e_pos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());

  std::string text = negative ? "-" : "";
  double magnitude = std::fabs(value);
  if (magnitude >= 1e-5 && magnitude < 1e15) {
    if (exponent < 0) {
      text += "0.";
      text.append(static_cast<size_t>(-exponent - 1), '0');
      text += digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
      text += digits;
      text.append(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
      text += digits.substr(0, static_cast<size_t>(exponent) + 1);
      text += '.';
      text += digits.substr(static_cast<size_t>(exponent) + 1);
    }
    return text;
  }
  text += digits[0];
  if (digits.size() > 1) {
    text += '.';
    text += digits.substr(1);
  }
  text += exponent < 0 ? "E-" : "E+";
  std::string exp_digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (exp_digits.size() < 2) exp_digits.insert(exp_digits.begin(), '0');
  return text + exp_digits;
}

void AppendDecimalText(const DecimalValue& value, std::string& out) {
  const bool negative = value.unscaled < 0;
  const unsigned __int128 magnitude = negative ? -static_cast<unsigned __int128>(value.unscaled)
                                               : static_cast<unsigned __int128>(value.unscaled);
  // At most 39 digits, the zeros before them when the scale is larger, a point and a sign.
  const size_t scale = value.scale > 0 ? static_cast<size_t>(value.scale) : 0;
  if (magnitude <= std::numeric_limits<uint64_t>::max() && scale < 20) {
    // Nearly every decimal of a report: the whole part and the fraction in 64 bits, the
    // fraction's digits written from its end.
    static constexpr uint64_t kPowers[20] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull,
                                             1000000ull, 10000000ull, 100000000ull, 1000000000ull,
                                             10000000000ull, 100000000000ull, 1000000000000ull,
                                             10000000000000ull, 100000000000000ull,
                                             1000000000000000ull, 10000000000000000ull,
                                             100000000000000000ull, 1000000000000000000ull,
                                             10000000000000000000ull};
    const auto m = static_cast<uint64_t>(magnitude);
    uint64_t fraction = m % kPowers[scale];
    char buf[48];
    char* at = buf;
    if (negative) *at++ = '-';
    at = std::to_chars(at, buf + 21, m / kPowers[scale]).ptr;
    if (scale > 0) {
      *at++ = '.';
      for (size_t i = scale; i-- > 0; fraction /= 10) {
        at[i] = static_cast<char>('0' + fraction % 10);
      }
      at += scale;
    }
    out.append(buf, at);
    return;
  }
  char buf[96];
  char* const end = buf + sizeof buf;
  char* begin = UnsignedDigits(magnitude, end);
  if (scale > 0) {
    const size_t count = static_cast<size_t>(end - begin);
    if (count <= scale) {
      const size_t zeros = scale + 1 - count;
      begin -= zeros;
      std::memset(begin, '0', zeros);
    }
    // Move the whole part one place left to open the point's place.
    char* const point = end - static_cast<ptrdiff_t>(scale);
    std::memmove(begin - 1, begin, static_cast<size_t>(point - begin));
    --begin;
    point[-1] = '.';
  }
  if (negative) *--begin = '-';
  out.append(begin, end);
}

std::string DecimalToText(const DecimalValue& value) {
  std::string text;
  AppendDecimalText(value, text);
  return text;
}

double DecimalToDouble(const DecimalValue& value) {
  std::string text = DecimalToText(value);
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

double RoundHalfEven(double value) {
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<int64_t> RoundHalfEven(const DecimalValue& value) {
  bool negative = value.unscaled < 0;
  unsigned __int128 magnitude = negative ? -static_cast<unsigned __int128>(value.unscaled)
                                         : static_cast<unsigned __int128>(value.unscaled);
  int scale = value.scale > 0 ? value.scale : 0;
  if (scale > 38) return std::nullopt;
  unsigned __int128 unit = PowerOfTen(scale);
  unsigned __int128 quotient = magnitude / unit;
  unsigned __int128 remainder = magnitude % unit;
  if (remainder * 2 > unit || (remainder * 2 == unit && (quotient & 1) != 0)) ++quotient;
  constexpr auto kMax = static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max());
  if (quotient > kMax + (negative ? 1 : 0)) return std::nullopt;
  if (negative) return static_cast<int64_t>(-quotient);  // wraps to the negative value
  return static_cast<int64_t>(quotient);
}

bool IsIntegral(const DecimalValue& value) {
  if (value.scale <= 0) return true;
  if (value.scale > 38) return value.unscaled == 0;
  return value.unscaled % static_cast<__int128>(PowerOfTen(value.scale)) == 0;
}

}  // namespace orv::automation::internal
