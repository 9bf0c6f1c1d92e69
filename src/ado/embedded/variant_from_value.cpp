// Engine value -> Variant, and the calendar arithmetic between engine ticks and dates.
#include "ado/embedded/variant_from_value.h"

#include <limits>
#include <string>

namespace orv::ado::embedded {
namespace {

using automation::DecimalValue;
using automation::Variant;
using tsql::TypeId;
using tsql::Value;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Hinnant's algorithms).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kDay1900 = DaysFromCivil(1900, 1, 1);

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Conversion by the physical kind alone: used when the column type gives no better answer.
Variant ByKind(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
      return Variant::Null();
    case Value::Kind::Int: {
      const int64_t v = value.int_value();
      if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(v));
      }
      return Variant(DecimalValue{v, 0});
    }
    case Value::Kind::Decimal:
      return Variant(DecimalValue{value.decimal_unscaled(), value.decimal_scale()});
    case Value::Kind::Float:
      return Variant(value.float_value());
    case Value::Kind::String:
      return Variant(value.string_value());
    case Value::Kind::DateTime:
      return Variant(DateFromTicks(value.datetime_ticks()));
  }
  return Variant::Null();
}

bool InRange(int64_t v, int64_t lo, int64_t hi) { return v >= lo && v <= hi; }

}  // namespace

Variant VariantFromValue(const Value& value, const tsql::SqlType& type) {
  if (value.is_null()) return Variant::Null();
  const Value::Kind kind = value.kind();
  switch (type.id) {
    case TypeId::Bit:
      if (kind == Value::Kind::Int) return Variant(value.int_value() != 0);
      break;
    case TypeId::TinyInt:
    case TypeId::SmallInt:
      if (kind == Value::Kind::Int && InRange(value.int_value(), INT16_MIN, INT16_MAX)) {
        return Variant(static_cast<int16_t>(value.int_value()));
      }
      break;
    case TypeId::Int:
      if (kind == Value::Kind::Int && InRange(value.int_value(), INT32_MIN, INT32_MAX)) {
        return Variant(static_cast<int32_t>(value.int_value()));
      }
      break;
    case TypeId::BigInt:
      if (kind == Value::Kind::Int) return Variant(DecimalValue{value.int_value(), 0});
      break;
    case TypeId::Money:
    case TypeId::Decimal:
      if (kind == Value::Kind::Int) return Variant(DecimalValue{value.int_value(), 0});
      break;
    case TypeId::Float:
    case TypeId::Real:
      if (kind == Value::Kind::Int) return Variant(static_cast<double>(value.int_value()));
      break;
    default:
      break;
  }
  return ByKind(value);
}

automation::DateValue DateFromTicks(int64_t ticks) {
  int64_t days = ticks / tsql::kTicksPerDay;
  int64_t rest = ticks % tsql::kTicksPerDay;
  if (rest < 0) {
    rest += tsql::kTicksPerDay;
    --days;
  }
  int year, month, day;
  CivilFromDays(kDay1900 + days, year, month, day);
  const int64_t seconds = rest / tsql::kTicksPerSecond;
  const int64_t sub_ticks = rest % tsql::kTicksPerSecond;
  const int millisecond = static_cast<int>((sub_ticks * 10 + 1) / 3);
  return automation::DateValue::FromParts(year, month, day, static_cast<int>(seconds / 3600),
                                          static_cast<int>(seconds / 60 % 60),
                                          static_cast<int>(seconds % 60), millisecond);
}

std::optional<int64_t> TicksFromClockText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  // Reads exactly `width` digits at `pos` followed by `separator` (or the end when it is 0).
  auto field = [&](size_t pos, size_t width, char separator) -> std::optional<int> {
    if (pos + width > text.size()) return std::nullopt;
    int v = 0;
    for (size_t i = pos; i < pos + width; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      v = v * 10 + (text[i] - '0');
    }
    const size_t next = pos + width;
    if (separator == 0 ? next != text.size() && text[next] != ' '
                       : next >= text.size() || text[next] != separator) {
      return std::nullopt;
    }
    return v;
  };
  const auto year = field(0, 4, '-');
  const auto month = field(5, 2, '-');
  const auto day = field(8, 2, 0);
  if (!year || !month || !day) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) {
    return std::nullopt;
  }
  int hour = 0, minute = 0, second = 0;
  if (text.size() > 10) {
    size_t pos = 10;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const auto h = field(pos, 2, ':');
    const auto mi = field(pos + 3, 2, ':');
    const auto s = field(pos + 6, 2, 0);
    if (!h || !mi || !s || pos + 8 != text.size()) return std::nullopt;
    if (*h > 23 || *mi > 59 || *s > 59) return std::nullopt;
    hour = *h;
    minute = *mi;
    second = *s;
  }
  const int64_t days = DaysFromCivil(*year, *month, *day) - kDay1900;
  return days * tsql::kTicksPerDay + ((hour * 60 + minute) * 60 + second) * tsql::kTicksPerSecond;
}

}  // namespace orv::ado::embedded
