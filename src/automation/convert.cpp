// The platform's conversions of a Variant (CStr, CBool, CInt, CLng, CDbl, CDate), its
// comparisons with an integer and with a text, and NullToDefault.
#include <charconv>
#include <cmath>
#include <limits>

#include "automation/date_text.h"
#include "automation/error.h"
#include "automation/number_text.h"
#include "automation/variant.h"

namespace orv::automation {

namespace {

// An object Variant in a value context: Nothing is error 91; objects have no default value
// here, so any other object is a type mismatch.
[[noreturn]] void RaiseForObject(const Variant& v) {
  if (!v.AsObject()) Raise(err::kObjectNotSet);
  Raise(err::kTypeMismatch);
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// The value as a double for the numeric conversions (Decimal is handled by the callers that
// need it exactly). Booleans are -1 and 0, Empty is 0, a Date is its serial.
double NumberOf(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      Raise(err::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBoolean() ? -1 : 0;
    case VarType::Integer:
      return v.AsInteger();
    case VarType::Long:
      return v.AsLong();
    case VarType::Double:
      return v.AsDouble();
    case VarType::Decimal:
      return internal::DecimalToDouble(v.AsDecimal());
    case VarType::Date:
      return v.AsDate().serial;
    case VarType::String: {
      auto number = internal::ParseNumericText(v.AsString());
      if (!number) Raise(err::kTypeMismatch);
      return *number;
    }
    case VarType::Object:
      RaiseForObject(v);
  }
  Raise(err::kTypeMismatch);
}

// Rounds half to even into [min, max]; anything else is an overflow.
int64_t RoundToRange(const Variant& v, int64_t min, int64_t max) {
  int64_t result = 0;
  switch (v.type()) {
    case VarType::Integer:
      result = v.AsInteger();
      break;
    case VarType::Long:
      result = v.AsLong();
      break;
    case VarType::Decimal: {
      auto rounded = internal::RoundHalfEven(v.AsDecimal());
      if (!rounded) Raise(err::kOverflow);
      result = *rounded;
      break;
    }
    default: {
      double rounded = internal::RoundHalfEven(NumberOf(v));
      if (!std::isfinite(rounded) || rounded < static_cast<double>(min) ||
          rounded > static_cast<double>(max)) {
        Raise(err::kOverflow);
      }
      return static_cast<int64_t>(rounded);
    }
  }
  if (result < min || result > max) Raise(err::kOverflow);
  return result;
}

}  // namespace

std::string CStr(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      Raise(err::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBoolean() ? "True" : "False";
    case VarType::Integer:
      return std::to_string(v.AsInteger());
    case VarType::Long:
      return std::to_string(v.AsLong());
    case VarType::Double:
      return internal::DoubleToText(v.AsDouble());
    case VarType::Decimal:
      return internal::DecimalToText(v.AsDecimal());
    case VarType::Date:
      return internal::DateToText(v.AsDate());
    case VarType::String:
      return v.AsString();
    case VarType::Object:
      RaiseForObject(v);
  }
  Raise(err::kTypeMismatch);
}

void AppendCStr(std::string& out, const Variant& v) {
  char digits[24];
  switch (v.type()) {
    case VarType::Integer:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, v.AsInteger()).ptr);
      return;
    case VarType::Long:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, v.AsLong()).ptr);
      return;
    case VarType::Decimal:
      internal::AppendDecimalText(v.AsDecimal(), out);
      return;
    case VarType::String:
      out += v.AsString();
      return;
    default:
      out += CStr(v);
  }
}

bool CBool(const Variant& v) {
  switch (v.type()) {
    case VarType::Boolean:
      return v.AsBoolean();
    case VarType::Decimal:
      return v.AsDecimal().unscaled != 0;
    case VarType::String: {
      std::string text = Trim(v.AsString());
      if (EqualsAsciiNoCase(text, "true")) return true;
      if (EqualsAsciiNoCase(text, "false")) return false;
      return NumberOf(v) != 0;  // non-numeric text: type mismatch
    }
    default:
      return NumberOf(v) != 0;
  }
}

int16_t CInt(const Variant& v) {
  return static_cast<int16_t>(
      RoundToRange(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

int32_t CLng(const Variant& v) {
  return static_cast<int32_t>(
      RoundToRange(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

double CDbl(const Variant& v) {
  double value = NumberOf(v);
  if (!std::isfinite(value)) Raise(err::kOverflow);
  return value;
}

DateValue CDate(const Variant& v) {
  switch (v.type()) {
    case VarType::Date:
      return v.AsDate();
    case VarType::Null:
      Raise(err::kInvalidUseOfNull);
    case VarType::String:
      if (auto date = internal::ParseDateText(v.AsString())) return *date;
      Raise(err::kTypeMismatch);
    case VarType::Object:
      RaiseForObject(v);
    default:
      Raise(err::kTypeMismatch);
  }
}

std::string NullToDefault(const Variant& v, const std::string& def) {
  return v.IsNull() ? def : CStr(v);
}

Variant NullToDefault(const Variant& v, const Variant& def) { return v.IsNull() ? def : v; }

bool EqualsInteger(const Variant& v, int64_t n) {
  switch (v.type()) {
    case VarType::Null:
      return false;
    case VarType::Integer:
      return v.AsInteger() == n;
    case VarType::Long:
      return v.AsLong() == n;
    case VarType::Decimal: {
      // Exact: the decimal must be integral and equal to n.
      auto rounded = internal::RoundHalfEven(v.AsDecimal());
      return rounded && *rounded == n && internal::IsIntegral(v.AsDecimal());
    }
    default:
      return NumberOf(v) == static_cast<double>(n);
  }
}

bool EqualsText(const Variant& v, std::string_view text) {
  if (v.IsNull()) return false;
  return CStr(v) == text;
}

}  // namespace orv::automation
