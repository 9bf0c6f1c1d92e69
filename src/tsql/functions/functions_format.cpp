// FORMAT(value, format [, culture]) with the .NET format strings clients use most: standard
// numeric formats (N, F, D, X, P, C, G with a precision), custom numeric patterns (0 # , .),
// standard date formats (d, D, t, T, g, G, s, u, o) and custom date patterns (yyyy MM dd HH mm
// ss fff tt MMM dddd ...), for the cultures en-US (the default) and de-DE. An unknown culture
// or a format that does not apply gives NULL, as SQL Server does.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "tsql/functions/functions_common.h"
#include "tsql/types/datetime.h"
#include "tsql/types/decimal.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql::fn {
namespace {

struct Culture {
  char decimal;
  char group;
  dt::Language language;
  const char* short_date;  // standard "d"
  const char* long_date;   // standard "D"
  const char* short_time;  // standard "t"
  const char* long_time;   // standard "T"
  const char* currency;    // {0} for the number
};

constexpr Culture kEnUs{'.', ',', dt::Language::kUsEnglish, "M/d/yyyy", "dddd, MMMM d, yyyy",
                        "h:mm tt", "h:mm:ss tt", "${0}"};
constexpr Culture kDeDe{',', '.', dt::Language::kDeutsch, "dd.MM.yyyy", "dddd, d. MMMM yyyy",
                        "HH:mm", "HH:mm:ss", "{0} \xE2\x82\xAC"};

const Culture* FindCulture(std::string_view name) {
  std::string lower;
  for (char c : name) lower.push_back(util::AsciiLower(c));
  if (lower.empty() || lower == "en-us" || lower == "en") return &kEnUs;
  if (lower == "de-de" || lower == "de") return &kDeDe;
  return nullptr;
}

// Digits of |v| rounded half away from zero to `decimals` places.
std::string FixedDigits(double v, int decimals) {
  char buf[400];
  double scale = std::pow(10.0, decimals);
  double r = std::round(std::fabs(v) * scale) / scale;
  std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
  return buf;
}

// Inserts the group separator into the integral part of "1234567.89".
std::string Grouped(const std::string& digits, const Culture& c, bool group) {
  size_t point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string frac = point == std::string::npos ? "" : digits.substr(point + 1);
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    out.push_back(whole[i]);
    size_t left = whole.size() - i - 1;
    if (group && left > 0 && left % 3 == 0) out.push_back(c.group);
  }
  if (!frac.empty()) {
    out.push_back(c.decimal);
    out += frac;
  }
  return out;
}

std::string Signed(double v, std::string body) {
  bool zero = body.find_first_not_of("0.,") == std::string::npos;
  return v < 0 && !zero ? "-" + body : body;
}

// A custom numeric pattern such as "#,##0.00", "0.###", "000".
std::string CustomNumber(double v, std::string_view pattern, const Culture& c) {
  size_t point = pattern.find('.');
  std::string_view whole = pattern.substr(0, point);
  std::string_view frac = point == std::string_view::npos ? "" : pattern.substr(point + 1);
  bool group = whole.find(',') != std::string_view::npos;
  int min_int = 0;
  for (char ch : whole) min_int += ch == '0';
  int min_frac = 0, max_frac = 0;
  for (char ch : frac) {
    if (ch == '0') ++min_frac, ++max_frac;
    if (ch == '#') ++max_frac;
  }
  std::string digits = FixedDigits(v, max_frac);
  size_t dot = digits.find('.');
  std::string int_part = digits.substr(0, dot);
  std::string frac_part = dot == std::string::npos ? "" : digits.substr(dot + 1);
  while (static_cast<int>(frac_part.size()) > min_frac && !frac_part.empty() &&
         frac_part.back() == '0') {
    frac_part.pop_back();
  }
  if (int_part == "0" && min_int == 0) int_part.clear();
  while (static_cast<int>(int_part.size()) < min_int) int_part.insert(0, "0");
  std::string body = Grouped(int_part.empty() ? "" : int_part, c, group);
  if (!frac_part.empty()) body += std::string(1, c.decimal) + frac_part;
  if (body.empty()) body = "0";
  // Literal text around the pattern characters is kept.
  size_t first = pattern.find_first_of("0#.,");
  size_t last = pattern.find_last_of("0#.,");
  std::string prefix(pattern.substr(0, first));
  std::string suffix(last == std::string_view::npos ? "" : pattern.substr(last + 1));
  return Signed(v, prefix + body + suffix);
}

std::string FormatNumber(double v, bool integral, std::string_view f, const Culture& c,
                         bool& ok) {
  ok = true;
  char kind = f.empty() ? 'G' : util::AsciiUpper(f[0]);
  bool standard = f.size() <= 3 && (f.size() == 1 || std::isdigit(static_cast<unsigned char>(f[1])));
  int precision = -1;
  if (standard && f.size() > 1) precision = std::stoi(std::string(f.substr(1)));
  if (!standard) return CustomNumber(v, f, c);
  switch (kind) {
    case 'N':
      return Signed(v, Grouped(FixedDigits(v, precision < 0 ? 2 : precision), c, true));
    case 'F':
      return Signed(v, Grouped(FixedDigits(v, precision < 0 ? 2 : precision), c, false));
    case 'P':
      return Signed(v, Grouped(FixedDigits(v * 100, precision < 0 ? 2 : precision), c, true)) +
             (c.decimal == ',' ? " %" : "%");
    case 'C': {
      std::string number = Grouped(FixedDigits(v, precision < 0 ? 2 : precision), c, true);
      std::string text = c.currency;
      text.replace(text.find("{0}"), 3, number);
      return v < 0 ? (c.decimal == ',' ? "-" + text : "(" + text + ")") : text;
    }
    case 'D': {
      if (!integral) break;
      std::string digits = FixedDigits(v, 0);
      while (precision > 0 && static_cast<int>(digits.size()) < precision) digits.insert(0, "0");
      return Signed(v, digits);
    }
    case 'X': {
      if (!integral) break;
      char buf[32];
      std::snprintf(buf, sizeof buf, f[0] == 'x' ? "%llx" : "%llX",
                    static_cast<unsigned long long>(static_cast<long long>(v)));
      std::string hex = buf;
      while (precision > 0 && static_cast<int>(hex.size()) < precision) hex.insert(0, "0");
      return hex;
    }
    case 'G': {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*g", precision <= 0 ? 15 : precision, v);
      std::string s = buf;
      if (c.decimal != '.') {
        for (char& ch : s) ch = ch == '.' ? c.decimal : ch;
      }
      return s;
    }
    default:
      break;
  }
  ok = false;
  return "";
}

struct DateParts {
  int year, month, day, hour, minute, second;
  int64_t fraction;  // 100 ns units
  int weekday;       // 0 = Sunday
  int offset;
  bool has_offset;
};

std::string Pad(int64_t v, int width) {
  std::string s = std::to_string(v);
  while (static_cast<int>(s.size()) < width) s.insert(0, "0");
  return s;
}

std::string CustomDate(const DateParts& d, std::string_view f, const Culture& c) {
  std::string out;
  for (size_t i = 0; i < f.size();) {
    char ch = f[i];
    size_t n = 1;
    while (i + n < f.size() && f[i + n] == ch) ++n;
    switch (ch) {
      case 'y':
        out += n <= 2 ? Pad(d.year % 100, static_cast<int>(n)) : Pad(d.year, static_cast<int>(n));
        break;
      case 'M':
        if (n >= 4) {
          out += dt::MonthName(d.month, c.language);
        } else if (n == 3) {
          out += std::string(dt::MonthName(d.month, c.language)).substr(0, 3);
        } else {
          out += Pad(d.month, static_cast<int>(n));
        }
        break;
      case 'd':
        if (n >= 4) {
          out += dt::WeekdayName(d.weekday, c.language);
        } else if (n == 3) {
          out += std::string(dt::WeekdayName(d.weekday, c.language)).substr(0, c.decimal == ',' ? 2 : 3);
        } else {
          out += Pad(d.day, static_cast<int>(n));
        }
        break;
      case 'H':
        out += Pad(d.hour, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'h':
        out += Pad(d.hour % 12 == 0 ? 12 : d.hour % 12, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'm':
        out += Pad(d.minute, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 's':
        out += Pad(d.second, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'f':
      case 'F': {
        std::string digits = Pad(d.fraction, 7).substr(0, std::min<size_t>(n, 7));
        if (ch == 'F') {
          while (!digits.empty() && digits.back() == '0') digits.pop_back();
        }
        out += digits;
        break;
      }
      case 't':
        if (c.decimal == ',') break;  // de-DE has no AM/PM designator
        out += n == 1 ? std::string(d.hour < 12 ? "A" : "P") : std::string(d.hour < 12 ? "AM" : "PM");
        break;
      case 'z': {
        int a = d.offset < 0 ? -d.offset : d.offset;
        std::string sign = d.offset < 0 ? "-" : "+";
        out += n == 1   ? sign + std::to_string(a / 60)
               : n == 2 ? sign + Pad(a / 60, 2)
                        : sign + Pad(a / 60, 2) + ":" + Pad(a % 60, 2);
        break;
      }
      case '\\':
        if (i + 1 < f.size()) out.push_back(f[i + 1]);
        n = 2;
        break;
      case '\'':
      case '"': {
        size_t close = f.find(ch, i + 1);
        if (close == std::string_view::npos) close = f.size();
        out += f.substr(i + 1, close - i - 1);
        n = close - i + 1;
        break;
      }
      default:
        out.append(n, ch);
        break;
    }
    i += n;
  }
  return out;
}

std::string FormatDate(const DateParts& d, std::string_view f, const Culture& c) {
  if (f.size() != 1) return CustomDate(d, f, c);
  switch (f[0]) {
    case 'd':
      return CustomDate(d, c.short_date, c);
    case 'D':
      return CustomDate(d, c.long_date, c);
    case 't':
      return CustomDate(d, c.short_time, c);
    case 'T':
      return CustomDate(d, c.long_time, c);
    case 'g':
      return CustomDate(d, std::string(c.short_date) + " " + c.short_time, c);
    case 'G':
      return CustomDate(d, std::string(c.short_date) + " " + c.long_time, c);
    case 's':
      return CustomDate(d, "yyyy-MM-dd'T'HH:mm:ss", c);
    case 'u':
      return CustomDate(d, "yyyy-MM-dd HH:mm:ss'Z'", c);
    case 'o':
    case 'O':
      return CustomDate(d, d.has_offset ? "yyyy-MM-dd'T'HH:mm:ss.fffffffzzz" : "yyyy-MM-dd'T'HH:mm:ss.fffffff", c);
    default:
      return CustomDate(d, f, c);
  }
}

Value Format(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  std::string culture_name = a.size() > 2 && !a[2].is_null() ? TextOf(a[2], t[2]) : "";
  const Culture* culture = FindCulture(culture_name);
  if (!culture) return Value::Null();
  std::string f = TextOf(a[1], t[1]);
  const SqlType& type = t[0];
  if (type.IsDateTime()) {
    int64_t units = 0;
    DateParts d{};
    if (a[0].kind() == Value::Kind::DateTime2) {
      units = a[0].datetime2_units();
      d.offset = a[0].datetime2_offset();
      d.has_offset = type.id == TypeId::DateTimeOffset;
      if (type.id == TypeId::Time) units += dt::kDaysTo1900 * dt::kUnitsPerDay;
    } else {
      units = dt::UnitsFromTicks(a[0].datetime_ticks());
    }
    int64_t days = dt::FloorDiv(units, dt::kUnitsPerDay);
    int64_t rest = units - days * dt::kUnitsPerDay;
    dt::CivilFromDays(days - dt::kDaysTo1900, d.year, d.month, d.day);
    d.hour = static_cast<int>(rest / (3600 * dt::kUnitsPerSecond));
    d.minute = static_cast<int>(rest / (60 * dt::kUnitsPerSecond) % 60);
    d.second = static_cast<int>(rest / dt::kUnitsPerSecond % 60);
    d.fraction = rest % dt::kUnitsPerSecond;
    d.weekday = static_cast<int>(dt::PartUnits(dt::DatePart::kWeekday, units) - 1);
    return Value::String(FormatDate(d, f, *culture));
  }
  if (!type.IsNumeric()) return Value::Null();
  double v = a[0].kind() == Value::Kind::Int     ? static_cast<double>(a[0].int_value())
             : a[0].kind() == Value::Kind::Float ? a[0].float_value()
                                                 : dec::ToDouble(a[0].decimal_unscaled(),
                                                                 a[0].decimal_scale());
  bool ok = true;
  std::string text = FormatNumber(v, type.IsInteger(), f, *culture, ok);
  if (!ok) return Value::Null();
  return Value::String(text);
}

SqlType FormatType(Types) { return SqlType::NVarChar(4000); }

constexpr ScalarFunction kFormatFunctions[] = {
    {"FORMAT", 2, 3, FormatType, Format},
};

}  // namespace

std::span<const ScalarFunction> FormatFunctions() { return kFormatFunctions; }

}  // namespace orv::tsql::fn
