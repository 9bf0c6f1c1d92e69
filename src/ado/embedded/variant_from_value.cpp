// Engine value -> Variant, and the calendar arithmetic between engine ticks and dates.
#include "ado/embedded/variant_from_value.h"

#include <limits>
#include <string>

#include "tsql/types/value_ops.h"

namespace orv::ado::embedded {
namespace {

using automation::DecimalValue;
using automation::Variant;
using tsql::TypeId;
using tsql::Value;

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
    case Value::Kind::DateTime2:
      // A date value of the automation layer holds milliseconds: datetime's resolution.
      return Variant(DateFromTicks(tsql::Convert(value, tsql::SqlType::DateTime2(7),
                                                 tsql::SqlType::DateTime(),
                                                 tsql::CastMode::Implicit)
                                       .datetime_ticks()));
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
    case TypeId::Time:
    case TypeId::DateTimeOffset:
    case TypeId::UniqueIdentifier:
    case TypeId::SqlVariant:
      // Shown as their text, as a provider without these types gives them.
      return Variant(tsql::ToText(value, type));
    default:
      break;
  }
  return ByKind(value);
}

automation::DateValue DateFromTicks(int64_t ticks) {
  int year, month, day, hour, minute, second, millisecond;
  tsql::SplitDateTime(ticks, year, month, day, hour, minute, second, millisecond);
  return automation::DateValue::FromParts(year, month, day, hour, minute, second, millisecond);
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
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
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
  const int64_t ticks = tsql::MakeDateTime(*year, *month, *day, hour, minute, second);
  // A day past the end of its month (2025-02-30) comes back as another date: refuse it.
  int y, m, d, h, mi, sec, ms;
  tsql::SplitDateTime(ticks, y, m, d, h, mi, sec, ms);
  if (y != *year || m != *month || d != *day) return std::nullopt;
  return ticks;
}

}  // namespace orv::ado::embedded
