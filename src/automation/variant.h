// Variant: the automation platform's tagged value (Empty, Null, Boolean, Integer, Long, Double,
// Decimal, Date, String, Object) and the conversions the service relies on (CStr, CBool, CLng,
// Val, Format, Trim, comparison with an integer).
//
// Fixed text forms (the platform's are locale dependent; this implementation fixes one):
//   Boolean  "True" / "False"
//   Integer, Long   decimal digits with a leading "-" when negative
//   Double   shortest form that reads back exactly, no exponent for 1e-5 <= |x| < 1e15
//            (12.5 -> "12.5", 3 -> "3", 0.1 -> "0.1")
//   Decimal  digits with exactly the value's scale ("12.50"), no trailing-zero trimming
//   Date     "yyyy-mm-dd hh:mm:ss", or "yyyy-mm-dd" when the time of day is 00:00:00
//   Null     error 94 "Invalid use of Null" (CStr); Empty -> ""
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "automation/object.h"

namespace orv::automation {

enum class VarType { Empty, Null, Boolean, Integer, Long, Double, Decimal, Date, String, Object };

// An exact decimal: value = unscaled / 10^scale, scale 0..38.
struct DecimalValue {
  __int128 unscaled = 0;
  int scale = 0;
  friend bool operator==(const DecimalValue&, const DecimalValue&) = default;
};

// A date as the platform keeps it: days since 1899-12-30, time of day as the fraction.
struct DateValue {
  double serial = 0;
  friend bool operator==(const DateValue&, const DateValue&) = default;
  static DateValue FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0, int millisecond = 0);
  void ToParts(int& year, int& month, int& day, int& hour, int& minute, int& second,
               int& millisecond) const;
};

class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null();
  Variant(bool b);
  Variant(int16_t i);
  Variant(int32_t l);
  Variant(double d);
  Variant(DecimalValue d);
  Variant(DateValue d);
  Variant(std::string s);  // UTF-8 text
  Variant(std::string_view s);
  Variant(const char* s);
  Variant(ObjectRef o);  // a null ObjectRef is "Nothing"

  VarType type() const;
  bool IsEmpty() const { return type() == VarType::Empty; }
  bool IsNull() const { return type() == VarType::Null; }
  bool IsObject() const { return type() == VarType::Object; }
  bool IsNumeric() const;  // Boolean..Decimal, or a text that reads as a number

  // Direct access; each requires the matching type (else error 13).
  bool AsBoolean() const;
  int16_t AsInteger() const;
  int32_t AsLong() const;
  double AsDouble() const;
  const DecimalValue& AsDecimal() const;
  const DateValue& AsDate() const;
  const std::string& AsString() const;
  const ObjectRef& AsObject() const;  // error 13 unless Object

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) = default;
  };
  std::variant<std::monostate, NullTag, bool, int16_t, int32_t, double, DecimalValue, DateValue,
               std::string, ObjectRef>
      v_;
};

// Conversions with the platform's rules.
std::string CStr(const Variant& v);      // text forms above; Null -> error 94
void AppendCStr(std::string& out, const Variant& v);  // out += CStr(v), numbers without a copy
bool CBool(const Variant& v);            // numbers: <> 0; "True"/"False" any case; numeric text;
                                         // Empty -> False; Null -> 94; other text -> 13
int16_t CInt(const Variant& v);          // like CLng, range of 16 bits
int32_t CLng(const Variant& v);          // round half to even; out of range -> 6 "Overflow";
                                         // numeric text accepted; Empty -> 0; Null -> 94
double CDbl(const Variant& v);
DateValue CDate(const Variant& v);       // Date, or a text that reads as a date; else 13

double Val(std::string_view text);       // the leading number of a text ("12ab" -> 12, "" -> 0)
std::string Trim(std::string_view text); // removes leading and trailing spaces (only ' ')
std::string Format(const Variant& v, std::string_view pattern);
    // Pattern "YYYY-MM-DD" (any case): a Date, or a text that reads as a date, becomes
    // "yyyy-mm-dd"; any other value passes through as its CStr text; Null/Empty -> "".
    // Other date patterns built of yyyy, yy, m, mm, d, dd, h, hh, n, nn, s, ss (m after an hour
    // token is minutes) work the same way; an empty pattern gives CStr; any other pattern
    // (number patterns, day or month names) is error 5.
std::string NullToDefault(const Variant& v, const std::string& def);  // see also below
Variant NullToDefault(const Variant& v, const Variant& def);            // v, or def when Null

// v = n with the platform's rules: numbers compare by value; a numeric text compares as its
// number ("1" = 1); Empty equals 0; a non-numeric text raises 13 "Type mismatch"; Null -> false.
bool EqualsInteger(const Variant& v, int64_t n);

// Text equality as the reports test "value <> ''": Empty and "" are equal; numbers compare by
// their CStr text. Null -> false.
bool EqualsText(const Variant& v, std::string_view text);

}  // namespace orv::automation
