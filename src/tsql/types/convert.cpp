// CAST, CONVERT, implicit and assignment conversions between the engine's types.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "tsql/types/datetime.h"
#include "tsql/types/decimal.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

[[noreturn]] void Overflow(std::string_view from, const SqlType& to) {
  ThrowError(8115, {std::string(from), std::string(to.MessageName())});
}

[[noreturn]] void ConversionFailed(const SqlType& from, std::string_view text, const SqlType& to) {
  ThrowError(
      245, {std::string(util::SourceName(from)), std::string(text), std::string(to.MessageName())});
}

Value MakeInteger(int64_t v, const SqlType& to, std::string_view from_name) {
  if (to.id == TypeId::Bit) return Value::Int(v != 0 ? 1 : 0);
  if (!FitsIntegerType(v, to.id)) Overflow(from_name, to);
  return Value::Int(v);
}

// The money range: +-922,337,203,685,477.5807.
bool MoneyInRange(Int128 unscaled) {
  return unscaled >= std::numeric_limits<int64_t>::min() &&
         unscaled <= std::numeric_limits<int64_t>::max();
}

Value MakeExact(Int128 unscaled, const SqlType& to, std::string_view from_name) {
  if (to.id == TypeId::Money) {
    if (!MoneyInRange(unscaled)) Overflow(from_name, to);
    return Value::Decimal(unscaled, 4);
  }
  if (!dec::FitsPrecision(unscaled, to.precision)) Overflow(from_name, to);
  return Value::Decimal(unscaled, to.scale);
}

int TargetScale(const SqlType& to) { return to.id == TypeId::Money ? 4 : to.scale; }

// ---- text forms of numbers ------------------------------------------------------------------

// printf's exponent "e+06" in SQL Server's three-digit form "e+006".
void WidenExponent(std::string& s) {
  size_t e = s.find('e');
  if (e == std::string::npos || e + 2 > s.size()) return;
  size_t digits = e + 2;
  size_t count = s.size() - digits;
  if (count < 3) s.insert(digits, 3 - count, '0');
}

std::string FloatText(double d, int style, bool real) {
  char buf[64];
  if (d == 0) d = 0;  // no "-0"
  switch (style) {
    case 1:
      std::snprintf(buf, sizeof buf, "%.7e", d);
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "%.15e", d);
      break;
    case 3:
      std::snprintf(buf, sizeof buf, real ? "%.9g" : "%.17g", d);
      break;
    default:
      std::snprintf(buf, sizeof buf, "%.6g", d);
      break;
  }
  std::string s(buf);
  WidenExponent(s);
  return s;
}

std::string MoneyText(Int128 unscaled, int style) {
  if (style == 2) return dec::ToString(unscaled, 4);
  std::string plain = dec::ToString(dec::DivRound(unscaled, 100), 2);
  if (style != 1) return plain;
  // Thousands separators in the integral part.
  size_t start = plain[0] == '-' ? 1 : 0;
  size_t point = plain.find('.');
  std::string out = plain.substr(0, start);
  for (size_t i = start; i < point; ++i) {
    out.push_back(plain[i]);
    size_t left = point - i - 1;
    if (left > 0 && left % 3 == 0) out.push_back(',');
  }
  out += plain.substr(point);
  return out;
}

// Fits text into a string type: cut (or, for assignment, 8152 unless only blanks are lost)
// and blank-pad fixed-length types.
Value FitString(std::string_view text, const SqlType& to, CastMode mode) {
  if (to.length == SqlType::kMaxLength) return Value::String(text);
  size_t limit = static_cast<size_t>(to.length);
  const bool unicode = to.IsUnicode();
  size_t bytes = util::PrefixForLength(text, limit, unicode);
  if (bytes < text.size()) {
    if (mode == CastMode::Assignment && util::TrimTrailingBlanks(text.substr(bytes)).size() != 0) {
      ThrowError(8152);
    }
    text = text.substr(0, bytes);
  }
  if (!to.IsFixedString()) return Value::String(text);
  size_t used = util::StoredLength(text, unicode);
  if (used >= limit) return Value::String(text);
  std::string padded(text);
  padded.append(limit - used, ' ');
  return Value::String(padded);
}

// Fits bytes into binary(n) (zero-padded) or varbinary(n).
Value FitBinary(std::string_view bytes, const SqlType& to, CastMode mode) {
  if (to.length != SqlType::kMaxLength && bytes.size() > static_cast<size_t>(to.length)) {
    if (mode == CastMode::Assignment) ThrowError(8152);
    bytes = bytes.substr(0, static_cast<size_t>(to.length));
  }
  if (to.id != TypeId::Binary || bytes.size() >= static_cast<size_t>(to.length)) {
    return Value::String(bytes);
  }
  std::string padded(bytes);
  padded.append(static_cast<size_t>(to.length) - bytes.size(), '\0');
  return Value::String(padded);
}

std::string HexText(std::string_view bytes, bool prefix) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = prefix ? "0x" : "";
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

// A uniqueidentifier keeps its 16 bytes as SQL Server stores them: the first three groups
// of the text form little-endian, the last two as written.
constexpr int kGuidTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

std::string GuidText(std::string_view bytes) {
  std::string ordered(16, '\0');
  for (int i = 0; i < 16 && static_cast<size_t>(kGuidTextOrder[i]) < bytes.size(); ++i) {
    ordered[static_cast<size_t>(i)] = bytes[static_cast<size_t>(kGuidTextOrder[i])];
  }
  std::string hex = HexText(ordered, false);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}

Value ParseGuid(std::string_view raw) {
  std::string_view s = raw;
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  // SQL Server reads the first 36 characters and ignores the rest.
  if (s.size() > 36) s = s.substr(0, 36);
  if (s.size() != 36) ThrowError(8169);
  std::string ordered;
  for (size_t i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') ThrowError(8169);
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
      ThrowError(8169);
    }
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    ordered.push_back(static_cast<char>(nibble(s[i]) * 16 + nibble(s[i + 1])));
    ++i;
  }
  std::string bytes(16, '\0');
  for (int i = 0; i < 16; ++i) bytes[static_cast<size_t>(kGuidTextOrder[i])] = ordered[static_cast<size_t>(i)];
  return Value::String(bytes);
}

// UTF-16LE bytes of UTF-8 text: what nvarchar holds when seen as binary.
std::string Utf16Bytes(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + static_cast<size_t>(k) < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0x3F);
    }
    i += static_cast<size_t>(extra) + 1;
    auto unit = [&](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

// The byte count of an integer type (binary forms are big-endian, that many bytes).
int IntegerBytes(TypeId id) {
  switch (id) {
    case TypeId::Bit:
    case TypeId::TinyInt:
      return 1;
    case TypeId::SmallInt:
      return 2;
    case TypeId::BigInt:
      return 8;
    default:
      return 4;
  }
}

// Fits the text of a number: too long gives '*' for integers into char/varchar, else 8115.
Value FitNumberText(const std::string& text, const SqlType& from, const SqlType& to) {
  if (to.length != SqlType::kMaxLength && text.size() > static_cast<size_t>(to.length)) {
    if (from.IsInteger() && !to.IsUnicode()) return FitString("*", to, CastMode::Explicit);
    Overflow(from.id == TypeId::Decimal ? "numeric" : "expression", to);
  }
  return FitString(text, to, CastMode::Explicit);
}

std::string DateText(int64_t ticks, const SqlType& from, int style) {
  std::string out;
  if (!dt::Format(ticks, style, from.id == TypeId::Date, out)) {
    ThrowError(281, {std::to_string(style), std::string(from.MessageName())});
  }
  return out;
}

std::string PreciseText(const Value& v, const SqlType& from, int style) {
  std::string out;
  if (!dt::FormatPrecise(v.datetime2_units(), v.datetime2_offset(), from.id, from.scale, style,
                         out)) {
    ThrowError(281, {std::to_string(style), std::string(from.MessageName())});
  }
  return out;
}

Value ToStringType(const Value& v, const SqlType& from, const SqlType& to, CastMode mode,
                   int style) {
  switch (v.kind()) {
    case Value::Kind::String:
      if (from.IsBinary()) {
        // Styles 1 and 2 spell the bytes in hex (with and without 0x); 0 takes them as text.
        if (style == 1 || style == 2) return FitString(HexText(v.string_value(), style == 1), to, mode);
        return FitString(v.string_value(), to, mode);
      }
      if (from.id == TypeId::UniqueIdentifier) {
        if (to.length != SqlType::kMaxLength && to.length < 36)
          ThrowError(8115, {"uniqueidentifier", std::string(to.MessageName())});
        return FitString(GuidText(v.string_value()), to, mode);
      }
      return FitString(v.string_value(), to, mode);
    case Value::Kind::DateTime2:
      return FitString(PreciseText(v, from, style), to,
                       mode == CastMode::Assignment ? mode : CastMode::Explicit);
    case Value::Kind::Int:
      return FitNumberText(std::to_string(v.int_value()), from, to);
    case Value::Kind::Decimal:
      if (from.id == TypeId::Money) {
        return FitNumberText(MoneyText(v.decimal_unscaled(), style), from, to);
      }
      return FitNumberText(dec::ToString(v.decimal_unscaled(), v.decimal_scale()), from, to);
    case Value::Kind::Float:
      return FitNumberText(FloatText(v.float_value(), style, from.id == TypeId::Real), from, to);
    case Value::Kind::DateTime: {
      std::string text = DateText(v.datetime_ticks(), from, style);
      return FitString(text, to, mode == CastMode::Assignment ? mode : CastMode::Explicit);
    }
    case Value::Kind::Null:
      return Value::Null();
  }
  return Value::Null();
}

// ---- strings to numbers ----------------------------------------------------------------------

std::string_view TrimBlanks(std::string_view s) {
  return util::TrimTrailingBlanks(util::TrimLeadingBlanks(s));
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (util::AsciiUpper(a[i]) != util::AsciiUpper(b[i])) return false;
  }
  return true;
}

Value StringToInteger(std::string_view raw, const SqlType& from, const SqlType& to) {
  std::string_view s = TrimBlanks(raw);
  if (to.id == TypeId::Bit) {
    if (IEquals(s, "TRUE")) return Value::Int(1);
    if (IEquals(s, "FALSE")) return Value::Int(0);
  }
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  unsigned __int128 magnitude = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') ConversionFailed(from, raw, to);
    magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    if (magnitude > (static_cast<unsigned __int128>(1) << 64)) overflow = true, magnitude = 0;
  }
  // '' and a lone sign read as 0.
  Int128 v = negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  if (to.id == TypeId::Bit) return Value::Int(v != 0 || overflow ? 1 : 0);
  if (overflow || v < std::numeric_limits<int64_t>::min() ||
      v > std::numeric_limits<int64_t>::max() || !FitsIntegerType(static_cast<int64_t>(v), to.id)) {
    if (to.id == TypeId::Int) {
      ThrowError(248, {std::string(util::SourceName(from)), std::string(raw),
                       std::string(to.MessageName())});
    }
    Overflow("expression", to);
  }
  return Value::Int(static_cast<int64_t>(v));
}

Value StringToExact(std::string_view raw, const SqlType& from, const SqlType& to) {
  Int128 v = 0;
  if (to.id == TypeId::Money) {
    std::string cleaned;
    for (char c : TrimBlanks(raw)) {
      if (c != '$' && c != ',') cleaned.push_back(c);
    }
    if (cleaned.empty()) return Value::Decimal(0, 4);
    switch (dec::Parse(cleaned, 38, 4, v)) {
      case dec::ParseStatus::kOk:
        break;
      case dec::ParseStatus::kSyntax:
        ThrowError(235);
      case dec::ParseStatus::kOverflow:
        Overflow("expression", to);
    }
    return MakeExact(v, to, "expression");
  }
  switch (dec::Parse(raw, to.precision, to.scale, v)) {
    case dec::ParseStatus::kOk:
      return Value::Decimal(v, to.scale);
    case dec::ParseStatus::kSyntax:
      ThrowError(8114, {std::string(util::SourceName(from)), "numeric"});
    case dec::ParseStatus::kOverflow:
      Overflow(util::SourceName(from), to);
  }
  return Value::Null();
}

// [sign] digits [. digits] [e [sign] digits], at least one mantissa digit.
bool IsFloatText(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, digits = true;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, digits = true;
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool exp_digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, exp_digits = true;
    if (!exp_digits) return false;
  }
  return i == s.size();
}

Value MakeFloat(double d, const SqlType& to, std::string_view from_name) {
  if (!std::isfinite(d)) Overflow(from_name, to);
  if (to.id == TypeId::Real) {
    if (std::fabs(d) > std::numeric_limits<float>::max()) Overflow(from_name, to);
    return Value::Float(static_cast<double>(static_cast<float>(d)));
  }
  return Value::Float(d);
}

Value StringToFloat(std::string_view raw, const SqlType& from, const SqlType& to) {
  std::string_view s = TrimBlanks(raw);
  if (s.empty()) return Value::Float(0);
  if (!IsFloatText(s))
    ThrowError(8114, {std::string(util::SourceName(from)), std::string(to.MessageName())});
  return MakeFloat(std::strtod(std::string(s).c_str(), nullptr), to, util::SourceName(from));
}

// ---- datetimes ------------------------------------------------------------------------------

[[noreturn]] void NotAllowed(const SqlType& from, const SqlType& to) {
  ThrowError(529, {std::string(from.MessageName()), std::string(to.MessageName())});
}

const int64_t kSmallMin = 0;
// date reaches back to 0001-01-01.
const int64_t kDateMinTicks = -dt::kDaysTo1900 * kTicksPerDay;
const int64_t kSmallMax = MakeDateTime(2079, 6, 6, 23, 59, 0);

// Brings a datetime value to the target's resolution and range.
Value FitDateTime(int64_t ticks, const SqlType& from, const SqlType& to) {
  auto out_of_range = [&] {
    ThrowError(242, {std::string(util::SourceName(from)), std::string(to.MessageName())});
  };
  if (to.id == TypeId::Date) {
    ticks = dt::FloorDiv(ticks, kTicksPerDay) * kTicksPerDay;
    if (ticks < kDateMinTicks || ticks > dt::kMaxTicks) out_of_range();
    return Value::DateTime(ticks);
  } else if (to.id == TypeId::SmallDateTime) {
    constexpr int64_t kMinute = 60 * kTicksPerSecond;
    // 29.998 seconds and less round down, 29.999 and more round up
    ticks = dt::FloorDiv(ticks + kMinute / 2, kMinute) * kMinute;
    if (ticks < kSmallMin || ticks > kSmallMax) out_of_range();
  }
  if (!dt::InRange(ticks)) {
    if (from.IsNumeric()) Overflow("expression", to);
    out_of_range();
  }
  return Value::DateTime(ticks);
}

// A time, datetime2 or datetimeoffset value of the target's precision.
Value MakePrecise(int64_t units, int offset, const SqlType& to, const SqlType& from) {
  units = dt::RoundUnits(units, to.scale);
  if (to.id == TypeId::Time) return Value::DateTime2(units - dt::FloorDiv(units, dt::kUnitsPerDay) * dt::kUnitsPerDay);
  if (units < 0 || units > dt::kMaxUnits) {
    ThrowError(242, {std::string(util::SourceName(from)), std::string(to.MessageName())});
  }
  return Value::DateTime2(units, to.id == TypeId::DateTimeOffset ? offset : 0);
}

Value StringToPrecise(std::string_view raw, const SqlType& from, const SqlType& to, int style) {
  dt::Stamp stamp;
  if (dt::ParsePrecise(raw, dt::OrderForStyle(style), stamp) != dt::ParseResult::kOk) {
    ThrowError(241);
  }
  if (to.id == TypeId::Date) {
    int64_t days = dt::FloorDiv(stamp.units, dt::kUnitsPerDay) - dt::kDaysTo1900;
    return Value::DateTime(days * kTicksPerDay);
  }
  return MakePrecise(stamp.units, stamp.offset, to, from);
}

// From a time, datetime2 or datetimeoffset value to any date and time type.
Value FromPrecise(const Value& v, const SqlType& from, const SqlType& to) {
  int64_t units = v.datetime2_units();
  if (from.id == TypeId::Time) {
    if (to.id == TypeId::Date) NotAllowed(from, to);
    units += dt::kDaysTo1900 * dt::kUnitsPerDay;  // the date part is 1900-01-01
  }
  if (to.IsPreciseTime()) return MakePrecise(units, v.datetime2_offset(), to, from);
  int64_t ticks = dt::TicksFromUnits(units);
  if (to.id == TypeId::Date) {
    return Value::DateTime(dt::FloorDiv(ticks, kTicksPerDay) * kTicksPerDay);
  }
  return FitDateTime(ticks, from, to);
}

Value StringToDateTime(std::string_view raw, const SqlType& from, const SqlType& to, int style) {
  if (to.IsPreciseTime() || to.id == TypeId::Date) return StringToPrecise(raw, from, to, style);
  int64_t ticks = 0;
  switch (dt::Parse(raw, dt::OrderForStyle(style), ticks)) {
    case dt::ParseResult::kOk:
      return FitDateTime(ticks, from, to);
    case dt::ParseResult::kInvalid:
      ThrowError(241);
    case dt::ParseResult::kOutOfRange:
      ThrowError(242, {std::string(util::SourceName(from)), std::string(to.MessageName())});
  }
  return Value::Null();
}

double DaysOf(int64_t ticks) { return static_cast<double>(ticks) / kTicksPerDay; }


Value ToBinary(const Value& v, const SqlType& from, const SqlType& to, CastMode mode) {
  switch (v.kind()) {
    case Value::Kind::String:
      if (from.IsUnicode()) return FitBinary(Utf16Bytes(v.string_value()), to, mode);
      return FitBinary(v.string_value(), to, mode);
    case Value::Kind::Int: {
      int n = IntegerBytes(from.id);
      std::string bytes(static_cast<size_t>(n), '\0');
      uint64_t x = static_cast<uint64_t>(v.int_value());
      for (int i = n - 1; i >= 0; --i, x >>= 8) bytes[static_cast<size_t>(i)] = static_cast<char>(x & 0xFF);
      // A number cut to a shorter binary keeps its low-order bytes.
      if (to.length != SqlType::kMaxLength && bytes.size() > static_cast<size_t>(to.length)) {
        bytes = bytes.substr(bytes.size() - static_cast<size_t>(to.length));
      }
      return FitBinary(bytes, to, CastMode::Explicit);
    }
    default:
      NotAllowed(from, to);
  }
}

// Big-endian bytes as an integer (the last bytes when there are more than it holds).
Value BinaryToInteger(std::string_view bytes, const SqlType& to) {
  size_t n = static_cast<size_t>(IntegerBytes(to.id));
  if (bytes.size() > n) bytes = bytes.substr(bytes.size() - n);
  uint64_t x = 0;
  for (unsigned char c : bytes) x = (x << 8) | c;
  int64_t v = static_cast<int64_t>(x);
  // Sign-extend from the type's width when all its bytes were given.
  if (bytes.size() == n && n < 8 && (x >> (n * 8 - 1)) & 1) v -= int64_t{1} << (n * 8);
  if (to.id == TypeId::Bit) return Value::Int(v != 0 ? 1 : 0);
  if (to.id == TypeId::TinyInt) return Value::Int(static_cast<int64_t>(x & 0xFF));
  return Value::Int(v);
}

}  // namespace

SqlType VariantBaseType(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Int:
      return v.int_value() >= INT32_MIN && v.int_value() <= INT32_MAX ? SqlType::Int()
                                                                       : SqlType::BigInt();
    case Value::Kind::Decimal: {
      int digits = 1;
      for (Int128 x = v.decimal_unscaled() < 0 ? -v.decimal_unscaled() : v.decimal_unscaled();
           x >= 10; x /= 10)
        ++digits;
      return SqlType::Decimal(std::max(digits, v.decimal_scale() + 1), v.decimal_scale());
    }
    case Value::Kind::Float:
      return SqlType::Float();
    case Value::Kind::String:
      return SqlType::NVarChar(std::max<int32_t>(1, static_cast<int32_t>(util::Utf16Units(v.string_value()))));
    case Value::Kind::DateTime:
      return SqlType::DateTime();
    case Value::Kind::DateTime2:
      return SqlType::DateTime2(7);
    case Value::Kind::Null:
      break;
  }
  return SqlType::Null();
}

Value Convert(const Value& v, const SqlType& from, const SqlType& to, CastMode mode, int style) {
  if (v.is_null()) return Value::Null();
  if (from == to && !to.IsFixedString() && mode != CastMode::Assignment) return v;
  if (from.id == TypeId::SqlVariant && to.id != TypeId::SqlVariant) {
    return Convert(v, VariantBaseType(v), to, mode, style);
  }
  if (from.IsBinary() && !to.IsString() && !to.IsBinary()) {
    if (to.IsInteger()) return BinaryToInteger(v.string_value(), to);
    if (to.id == TypeId::UniqueIdentifier) return FitBinary(v.string_value(), SqlType::Binary(16), CastMode::Explicit);
    if (to.id != TypeId::SqlVariant) NotAllowed(from, to);
  }
  if (from.id == TypeId::UniqueIdentifier && !to.IsString() && !to.IsBinary() &&
      to.id != TypeId::UniqueIdentifier && to.id != TypeId::SqlVariant) {
    NotAllowed(from, to);
  }
  if (v.kind() == Value::Kind::DateTime2 && !to.IsDateTime() && !to.IsString() &&
      to.id != TypeId::SqlVariant && to.id != TypeId::Null) {
    NotAllowed(from, to);
  }
  switch (to.id) {
    case TypeId::Null:
    case TypeId::SqlVariant:
      return v;

    case TypeId::Binary:
    case TypeId::VarBinary:
      return ToBinary(v, from, to, mode);

    case TypeId::UniqueIdentifier:
      if (v.kind() != Value::Kind::String) NotAllowed(from, to);
      if (from.id == TypeId::UniqueIdentifier) return v;
      return ParseGuid(v.string_value());

    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset:
      switch (v.kind()) {
        case Value::Kind::String:
          return StringToPrecise(v.string_value(), from, to, style);
        case Value::Kind::DateTime2:
          return FromPrecise(v, from, to);
        case Value::Kind::DateTime:
          if (to.id == TypeId::Time && from.id == TypeId::Date) NotAllowed(from, to);
          return MakePrecise(dt::UnitsFromTicks(v.datetime_ticks()), 0, to, from);
        default:
          NotAllowed(from, to);
      }

    case TypeId::Char:
    case TypeId::VarChar:
    case TypeId::NChar:
    case TypeId::NVarChar:
    case TypeId::Text:
    case TypeId::NText:
      return ToStringType(v, from, to, mode, style);

    case TypeId::Bit:
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
    case TypeId::BigInt:
      switch (v.kind()) {
        case Value::Kind::Int:
          return MakeInteger(v.int_value(), to, "expression");
        case Value::Kind::Decimal: {
          // decimal truncates toward zero, money rounds
          bool money = from.id == TypeId::Money;
          Int128 whole = *dec::Rescale(v.decimal_unscaled(), v.decimal_scale(), 0, !money);
          std::string_view name = money ? "expression" : "numeric";
          if (whole < std::numeric_limits<int64_t>::min() ||
              whole > std::numeric_limits<int64_t>::max())
            Overflow(name, to);
          return MakeInteger(static_cast<int64_t>(whole), to, name);
        }
        case Value::Kind::Float: {
          double d = std::trunc(v.float_value());
          if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
            Overflow("expression", to);
          }
          return MakeInteger(static_cast<int64_t>(d), to, "expression");
        }
        case Value::Kind::String:
          return StringToInteger(v.string_value(), from, to);
        case Value::Kind::DateTime: {
          if (from.id == TypeId::Date) NotAllowed(from, to);
          // whole days, from noon on rounded up
          int64_t days = dt::FloorDiv(v.datetime_ticks() + kTicksPerDay / 2, kTicksPerDay);
          return MakeInteger(days, to, "expression");
        }
        case Value::Kind::DateTime2:  // refused before the switch
        case Value::Kind::Null:
          break;
      }
      break;

    case TypeId::Decimal:
    case TypeId::Money: {
      int scale = TargetScale(to);
      switch (v.kind()) {
        case Value::Kind::Int: {
          std::string_view name = from.IsInteger() ? from.MessageName() : "int";
          if (from.id == TypeId::Bit) name = "bit";
          auto scaled = dec::Rescale(v.int_value(), 0, scale);
          if (!scaled) Overflow(to.id == TypeId::Money ? "expression" : name, to);
          return MakeExact(*scaled, to, to.id == TypeId::Money ? "expression" : name);
        }
        case Value::Kind::Decimal: {
          std::string_view name = from.id == TypeId::Money ? "money" : "numeric";
          if (to.id == TypeId::Money) name = "expression";
          if (v.decimal_scale() == scale && from == to) return v;
          auto scaled = dec::Rescale(v.decimal_unscaled(), v.decimal_scale(), scale);
          if (!scaled) Overflow(name, to);
          return MakeExact(*scaled, to, name);
        }
        case Value::Kind::Float: {
          std::string_view name = to.id == TypeId::Money ? "expression" : "float";
          auto d =
              dec::FromDouble(v.float_value(), to.id == TypeId::Money ? 38 : to.precision, scale);
          if (!d) Overflow(name, to);
          return MakeExact(*d, to, name);
        }
        case Value::Kind::String:
          return StringToExact(v.string_value(), from, to);
        case Value::Kind::DateTime: {
          if (from.id == TypeId::Date) NotAllowed(from, to);
          auto q = dec::Quotient(v.datetime_ticks(), 0, kTicksPerDay, 0, scale);
          if (!q) Overflow("expression", to);
          return MakeExact(*q, to, "expression");
        }
        case Value::Kind::DateTime2:  // refused before the switch
        case Value::Kind::Null:
          break;
      }
      break;
    }

    case TypeId::Float:
    case TypeId::Real:
      switch (v.kind()) {
        case Value::Kind::Int:
          return MakeFloat(static_cast<double>(v.int_value()), to, "expression");
        case Value::Kind::Decimal:
          return MakeFloat(dec::ToDouble(v.decimal_unscaled(), v.decimal_scale()), to, "numeric");
        case Value::Kind::Float:
          return MakeFloat(v.float_value(), to, "float");
        case Value::Kind::String:
          return StringToFloat(v.string_value(), from, to);
        case Value::Kind::DateTime:
          if (from.id == TypeId::Date) NotAllowed(from, to);
          return Value::Float(DaysOf(v.datetime_ticks()));
        case Value::Kind::DateTime2:  // refused before the switch
        case Value::Kind::Null:
          break;
      }
      break;

    case TypeId::Date:
    case TypeId::SmallDateTime:
    case TypeId::DateTime:
      switch (v.kind()) {
        case Value::Kind::String:
          return StringToDateTime(v.string_value(), from, to, style);
        case Value::Kind::DateTime:
          return FitDateTime(v.datetime_ticks(), from, to);
        case Value::Kind::DateTime2:
          return FromPrecise(v, from, to);
        case Value::Kind::Int:
          if (to.id == TypeId::Date) NotAllowed(from, to);
          if (v.int_value() > 3000000 || v.int_value() < -3000000) Overflow("expression", to);
          return FitDateTime(v.int_value() * kTicksPerDay, from, to);
        case Value::Kind::Decimal:
        case Value::Kind::Float: {
          if (to.id == TypeId::Date) NotAllowed(from, to);
          double days = v.kind() == Value::Kind::Float
                            ? v.float_value()
                            : dec::ToDouble(v.decimal_unscaled(), v.decimal_scale());
          if (!(std::fabs(days) < 3000000)) Overflow("expression", to);
          return FitDateTime(std::llround(days * kTicksPerDay), from, to);
        }
        case Value::Kind::Null:
          break;
      }
      break;
  }
  return Value::Null();
}

std::string ToText(const Value& v, const SqlType& type) {
  if (v.is_null()) return "";
  SqlType text = SqlType::VarChar(SqlType::kMaxLength);
  SqlType from = type;
  if (from.id == TypeId::Null) {
    // Without a declared type, go by the value's kind.
    switch (v.kind()) {
      case Value::Kind::Int:
        from = SqlType::BigInt();
        break;
      case Value::Kind::Decimal:
        from = SqlType::Decimal(38, v.decimal_scale());
        break;
      case Value::Kind::Float:
        from = SqlType::Float();
        break;
      case Value::Kind::DateTime:
        from = SqlType::DateTime();
        break;
      case Value::Kind::DateTime2:
        from = SqlType::DateTime2(7);
        break;
      default:
        from = text;
        break;
    }
  }
  Value s = Convert(v, from, text, CastMode::Explicit, 0);
  return std::string(s.string_value());
}

}  // namespace orv::tsql
