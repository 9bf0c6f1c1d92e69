// Date functions: YEAR, MONTH, DAY, DATEPART, DATEDIFF, DATEADD, DATETRUNC. The datepart keyword
// comes as the first argument, a varchar value.
#include <cmath>
#include <cstdio>
#include <limits>

#include "tsql/functions/functions_common.h"
#include "tsql/types/datetime.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql::fn {
namespace {

dt::DatePart PartOf(const Value& v, const char* function) {
  std::string_view name = v.kind() == Value::Kind::String ? v.string_value() : "";
  auto part = dt::ParseDatePart(name);
  if (!part) ThrowError(155, {std::string(name), function});
  return *part;
}

// An argument as 100 ns units since 0001-01-01 (time: on 1900-01-01; strings read as
// datetime2) and, for datetimeoffset, its offset.
int64_t UnitsOf(const Value& v, const SqlType& t, int* offset = nullptr) {
  if (offset) *offset = 0;
  if (v.kind() == Value::Kind::DateTime2) {
    if (offset) *offset = v.datetime2_offset();
    if (t.id == TypeId::Time) return v.datetime2_units() + dt::kDaysTo1900 * dt::kUnitsPerDay;
    return v.datetime2_units();
  }
  if (v.kind() == Value::Kind::DateTime) return dt::UnitsFromTicks(v.datetime_ticks());
  SqlType from = t.id == TypeId::Null ? SqlType::VarChar(8000) : t;
  Value d = Convert(v, from, SqlType::DateTimeOffset(7), CastMode::Implicit);
  if (offset) *offset = d.datetime2_offset();
  return d.datetime2_units();
}

// Whether the functions must work at 100 ns: any argument of a precise type or a string.
bool Precise(Types t, size_t from) {
  for (size_t i = from; i < t.size(); ++i) {
    if (t[i].IsPreciseTime()) return true;
  }
  return false;
}

// The dateparts' names in messages, in the order of dt::DatePart.
constexpr const char* kPartNames[] = {
    "year",   "quarter", "month",       "dayofyear",   "day",        "week",     "weekday", "hour",
    "minute", "second",  "millisecond", "microsecond", "nanosecond", "tzoffset", "iso_week"};

// 9810 for a datepart the argument's type does not have (hour of a date, year of a time).
void CheckPart(dt::DatePart part, const SqlType& t, const char* function) {
  using P = dt::DatePart;
  bool time_part = part == P::kHour || part == P::kMinute || part == P::kSecond ||
                   part == P::kMillisecond || part == P::kMicrosecond || part == P::kNanosecond;
  bool ok = true;
  if (t.id == TypeId::Date) ok = !time_part && part != P::kTzOffset;
  if (t.id == TypeId::Time) ok = time_part;
  if (part == P::kTzOffset && t.id != TypeId::DateTimeOffset && !t.IsString()) ok = false;
  if (!ok) {
    ThrowError(9810, {kPartNames[static_cast<int>(part)], function, std::string(t.MessageName())});
  }
}

int64_t PartOfValue(dt::DatePart part, const Value& v, const SqlType& t) {
  if (v.kind() == Value::Kind::DateTime && part <= dt::DatePart::kMillisecond) {
    return dt::Part(part, v.datetime_ticks());
  }
  int offset = 0;
  int64_t units = UnitsOf(v, t, &offset);
  if (part == dt::DatePart::kTzOffset) return offset;
  if (part == dt::DatePart::kWeekday) {
    // SET DATEFIRST moves the first day of the week.
    int64_t sunday_based = dt::PartUnits(part, units) - 1;  // 0 = Sunday
    int first = dt::CurrentDateSettings().datefirst % 7;     // 0 = Sunday
    return (sunday_based - first + 7) % 7 + 1;
  }
  return dt::PartUnits(part, units);
}

template <dt::DatePart kPart>
Value PartFunction(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  if (a[0].kind() == Value::Kind::DateTime) return Value::Int(dt::Part(kPart, a[0].datetime_ticks()));
  if (a[0].kind() == Value::Kind::DateTime2 || t[0].IsString()) {
    CheckPart(kPart, t[0], kPart == dt::DatePart::kYear ? "year" : kPart == dt::DatePart::kMonth ? "month" : "day");
    return Value::Int(PartOfValue(kPart, a[0], t[0]));
  }
  return Value::Int(dt::Part(kPart, TicksOf(a[0], t[0])));
}

Value DatePartFn(Args a, Types t, const SqlType&) {
  dt::DatePart part = PartOf(a[0], "datepart");
  CheckPart(part, t[1], "datepart");
  if (a[1].is_null()) return Value::Null();
  if (a[1].kind() == Value::Kind::DateTime || a[1].kind() == Value::Kind::DateTime2 ||
      t[1].IsString()) {
    return Value::Int(PartOfValue(part, a[1], t[1]));
  }
  return Value::Int(dt::Part(part, TicksOf(a[1], t[1])));
}

Value DateName(Args a, Types t, const SqlType&) {
  dt::DatePart part = PartOf(a[0], "datename");
  CheckPart(part, t[1], "datename");
  if (a[1].is_null()) return Value::Null();
  dt::Language language = dt::CurrentDateSettings().language;
  if (part == dt::DatePart::kMonth) {
    return Value::String(dt::MonthName(static_cast<int>(PartOfValue(part, a[1], t[1])), language));
  }
  if (part == dt::DatePart::kWeekday) {
    int64_t units = UnitsOf(a[1], t[1]);
    int sunday_based = static_cast<int>(dt::PartUnits(dt::DatePart::kWeekday, units)) - 1;
    return Value::String(dt::WeekdayName(sunday_based, language));
  }
  if (part == dt::DatePart::kTzOffset) {
    int offset = static_cast<int>(PartOfValue(part, a[1], t[1]));
    char buf[16];
    int m = offset < 0 ? -offset : offset;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", offset < 0 ? '-' : '+', m / 60, m % 60);
    return Value::String(buf);
  }
  return Value::String(std::to_string(PartOfValue(part, a[1], t[1])));
}

// DATEDIFF counts in int (Msg 535 past it), DATEDIFF_BIG in bigint.
template <bool kBig>
Value DateDiff(Args a, Types t, const SqlType&) {
  const char* name = kBig ? "datediff_big" : "datediff";
  dt::DatePart part = PartOf(a[0], name);
  CheckPart(part, t[1], name);
  CheckPart(part, t[2], name);
  if (a[1].is_null() || a[2].is_null()) return Value::Null();
  int64_t r;
  // Strings are read as datetime2: their years before 1753 and seventh fractional digit count.
  if (Precise(t, 1) || t[1].IsString() || t[2].IsString() ||
      a[1].kind() == Value::Kind::DateTime2 || a[2].kind() == Value::Kind::DateTime2) {
    int o1 = 0, o2 = 0;
    int64_t u1 = UnitsOf(a[1], t[1], &o1), u2 = UnitsOf(a[2], t[2], &o2);
    // datetimeoffset values count in UTC.
    u1 -= int64_t{o1} * 60 * dt::kUnitsPerSecond;
    u2 -= int64_t{o2} * 60 * dt::kUnitsPerSecond;
    r = dt::DiffUnits(part, u1, u2);
  } else {
    r = dt::Diff(part, TicksOf(a[1], t[1]), TicksOf(a[2], t[2]));
  }
  if (!kBig && (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())) {
    ThrowError(535);
  }
  return Value::Int(r);
}

Value DateAdd(Args a, Types t, const SqlType& result) {
  dt::DatePart part = PartOf(a[0], "dateadd");
  CheckPart(part, result, "dateadd");
  if (a[1].is_null() || a[2].is_null()) return Value::Null();
  int64_t n = IntOf(a[1], t[1]);  // a fraction is truncated
  if (result.IsPreciseTime()) {
    int offset = 0;
    int64_t units = UnitsOf(a[2], t[2], &offset);
    auto r = dt::AddUnits(part, n, units);
    if (!r) ThrowError(517, {std::string(result.MessageName())});
    if (result.id == TypeId::Time) {
      int64_t rest = *r - dt::FloorDiv(*r, dt::kUnitsPerDay) * dt::kUnitsPerDay;
      return Value::DateTime2(dt::RoundUnits(rest, result.scale) % dt::kUnitsPerDay);
    }
    return Value::DateTime2(*r, offset);
  }
  if (result.id == TypeId::Date) {
    auto r = dt::AddUnits(part, n, UnitsOf(a[2], t[2]));
    if (!r) ThrowError(517, {std::string(result.MessageName())});
    return Value::DateTime((dt::FloorDiv(*r, dt::kUnitsPerDay) - dt::kDaysTo1900) * kTicksPerDay);
  }
  auto r = dt::Add(part, n, TicksOf(a[2], t[2]));
  if (!r) ThrowError(517, {std::string(result.MessageName())});
  if (result.id == TypeId::SmallDateTime) {
    return Convert(Value::DateTime(*r), SqlType::DateTime(), result, CastMode::Implicit);
  }
  return Value::DateTime(*r);
}

// EOMONTH(date [, months]): the last day of the month, as a date.
Value EoMonth(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || (a.size() > 1 && a[1].is_null())) return Value::Null();
  int64_t units = UnitsOf(a[0], t[0]);
  int64_t months = a.size() > 1 ? IntOf(a[1], t[1]) : 0;
  auto moved = dt::AddUnits(dt::DatePart::kMonth, months, units);
  if (!moved) ThrowError(517, {"date"});
  int y, m, d;
  dt::CivilFromDays(dt::FloorDiv(*moved, dt::kUnitsPerDay) - dt::kDaysTo1900, y, m, d);
  return Value::DateTime(dt::DaysFromCivil(y, m, dt::DaysInMonth(y, m)) * kTicksPerDay);
}

// The *FROMPARTS functions: NULL when any argument is NULL, 289 when a part is out of range.
bool ValidDate(int64_t y, int64_t m, int64_t d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 &&
         d <= dt::DaysInMonth(static_cast<int>(y), static_cast<int>(m));
}
bool ValidTime(int64_t h, int64_t mi, int64_t s) {
  return h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60;
}

Value DateFromParts(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t y = IntOf(a[0], t[0]), m = IntOf(a[1], t[1]), d = IntOf(a[2], t[2]);
  if (!ValidDate(y, m, d)) ThrowError(289, {"date"});
  return Value::DateTime(dt::DaysFromCivil(static_cast<int>(y), static_cast<int>(m),
                                           static_cast<int>(d)) *
                         kTicksPerDay);
}

Value DateTimeFromParts(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t p[7];
  for (int i = 0; i < 7; ++i) p[i] = IntOf(a[static_cast<size_t>(i)], t[static_cast<size_t>(i)]);
  if (!ValidDate(p[0], p[1], p[2]) || !ValidTime(p[3], p[4], p[5]) || p[6] < 0 || p[6] > 999 ||
      p[0] < 1753) {
    ThrowError(289, {"datetime"});
  }
  return Value::DateTime(MakeDateTime(static_cast<int>(p[0]), static_cast<int>(p[1]),
                                      static_cast<int>(p[2]), static_cast<int>(p[3]),
                                      static_cast<int>(p[4]), static_cast<int>(p[5]),
                                      static_cast<int>(p[6])));
}

// fractions with `precision` digits as 100 ns units; false when they do not fit.
bool FractionUnits(int64_t fractions, int64_t precision, int64_t& units) {
  if (precision < 0 || precision > 7 || fractions < 0) return false;
  int64_t limit = 1;
  for (int i = 0; i < precision; ++i) limit *= 10;
  if (fractions >= limit) return false;
  units = fractions;
  for (int64_t i = precision; i < 7; ++i) units *= 10;
  return true;
}

Value DateTime2FromParts(Args a, Types t, const SqlType& result) {
  if (AnyNull(a.first(7))) return Value::Null();
  int64_t p[8];
  for (int i = 0; i < 8; ++i) p[i] = IntOf(a[static_cast<size_t>(i)], t[static_cast<size_t>(i)]);
  int64_t frac = 0;
  if (!ValidDate(p[0], p[1], p[2]) || !ValidTime(p[3], p[4], p[5]) ||
      !FractionUnits(p[6], p[7], frac)) {
    ThrowError(289, {"datetime2"});
  }
  int64_t days = dt::DaysFromCivil(static_cast<int>(p[0]), static_cast<int>(p[1]),
                                   static_cast<int>(p[2])) + dt::kDaysTo1900;
  (void)result;
  return Value::DateTime2(days * dt::kUnitsPerDay + (p[3] * 3600 + p[4] * 60 + p[5]) * dt::kUnitsPerSecond + frac);
}

Value TimeFromParts(Args a, Types t, const SqlType&) {
  if (AnyNull(a.first(4))) return Value::Null();
  int64_t p[5];
  for (int i = 0; i < 5; ++i) p[i] = IntOf(a[static_cast<size_t>(i)], t[static_cast<size_t>(i)]);
  int64_t frac = 0;
  if (!ValidTime(p[0], p[1], p[2]) || !FractionUnits(p[3], p[4], frac)) ThrowError(289, {"time"});
  return Value::DateTime2((p[0] * 3600 + p[1] * 60 + p[2]) * dt::kUnitsPerSecond + frac);
}

Value IsDate(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Int(0);
  if (!t[0].IsString()) return Value::Int(t[0].IsDateTime() && t[0].id != TypeId::Time ? 1 : 0);
  try {
    Convert(a[0], t[0], SqlType::DateTime(), CastMode::Implicit);
    return Value::Int(1);
  } catch (const SqlException&) {
    return Value::Int(0);
  }
}

// SWITCHOFFSET(dto, '+hh:mm'): the same instant at another offset.
int OffsetArgument(const Value& v, const SqlType& t) {
  if (v.kind() != Value::Kind::String) return static_cast<int>(IntOf(v, t));
  dt::Stamp stamp;
  std::string text = "2000-01-01 00:00 " + std::string(v.string_value());
  if (dt::ParsePrecise(text, dt::DateOrder::kYmd, stamp) != dt::ParseResult::kOk ||
      !stamp.has_offset) {
    ThrowError(9812, {"The timezone provided to builtin function todatetimeoffset is invalid."});
  }
  return stamp.offset;
}

Value SwitchOffset(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int from = 0;
  int64_t units = UnitsOf(a[0], t[0], &from);
  int to = OffsetArgument(a[1], t[1]);
  return Value::DateTime2(units + int64_t{to - from} * 60 * dt::kUnitsPerSecond, to);
}

Value ToDateTimeOffset(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t units = UnitsOf(a[0], t[0]);
  return Value::DateTime2(units, OffsetArgument(a[1], t[1]));
}

// DATETRUNC(part, d): d with every part finer than `part` at its start, in d's own type (a
// string is read as datetime2(7)). Weeks start on the SET DATEFIRST day, ISO weeks on Monday.
// weekday, tzoffset and nanosecond cannot be truncated to, nor a part finer than the type
// keeps (hour of a date, millisecond of datetime2(2), microsecond of datetime): 9810.
Value DateTrunc(Args a, Types t, const SqlType& result) {
  using P = dt::DatePart;
  const P part = PartOf(a[0], "datetrunc");
  const SqlType& type = result;
  CheckPart(part, type, "datetrunc");
  int finest = 7;  // fractional digits the type keeps
  if (type.id == TypeId::DateTime) finest = 3;
  if (type.id == TypeId::SmallDateTime) finest = 0;
  if (type.IsPreciseTime()) finest = type.scale;
  if (part == P::kWeekday || part == P::kTzOffset || part == P::kNanosecond ||
      (part == P::kMillisecond && finest < 3) || (part == P::kMicrosecond && finest < 6)) {
    ThrowError(9810,
               {kPartNames[static_cast<int>(part)], "datetrunc", std::string(type.MessageName())});
  }
  if (a[1].is_null()) return Value::Null();
  int offset = 0;
  const int64_t units = UnitsOf(a[1], t[1], &offset);
  int64_t days = dt::FloorDiv(units, dt::kUnitsPerDay);
  int64_t in_day = units - days * dt::kUnitsPerDay;
  auto floor_to = [&](int64_t step) { in_day -= in_day % step; };
  int y, m, d;
  dt::CivilFromDays(days - dt::kDaysTo1900, y, m, d);
  switch (part) {
    case P::kYear:
    case P::kQuarter:
    case P::kMonth: {
      const int month = part == P::kYear ? 1 : part == P::kQuarter ? (m - 1) / 3 * 3 + 1 : m;
      days = dt::DaysFromCivil(y, month, 1) + dt::kDaysTo1900;
      in_day = 0;
      break;
    }
    case P::kWeek:
    case P::kIsoWeek: {
      const int64_t sunday_based = dt::PartUnits(P::kWeekday, units) - 1;  // 0 = Sunday
      const int first = part == P::kIsoWeek ? 1 : dt::CurrentDateSettings().datefirst % 7;
      days -= (sunday_based - first + 7) % 7;
      in_day = 0;
      break;
    }
    case P::kDay:
    case P::kDayOfYear:
      in_day = 0;
      break;
    case P::kHour:
      floor_to(3600 * dt::kUnitsPerSecond);
      break;
    case P::kMinute:
      floor_to(60 * dt::kUnitsPerSecond);
      break;
    case P::kSecond:
      floor_to(dt::kUnitsPerSecond);
      break;
    case P::kMillisecond:
      floor_to(dt::kUnitsPerSecond / 1000);
      break;
    default:  // microsecond
      floor_to(dt::kUnitsPerSecond / 1000000);
      break;
  }
  const int64_t truncated = days * dt::kUnitsPerDay + in_day;
  switch (type.id) {
    case TypeId::Time:
      return Value::DateTime2(in_day);
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset:
      return Value::DateTime2(truncated, offset);
    default: {
      // datetime, smalldatetime and date hold 1/300 s ticks since 1900-01-01; a week can
      // start before the first day datetime (1753-01-01) or smalldatetime (1900) holds.
      const int64_t first_day = type.id == TypeId::DateTime        ? dt::kDaysTo1900 - 53690
                                : type.id == TypeId::SmallDateTime ? dt::kDaysTo1900
                                                                   : 0;
      if (days < first_day) ThrowError(517, {std::string(type.MessageName())});
      return Value::DateTime(dt::TicksFromUnits(truncated));
    }
  }
}

SqlType NameType(Types) { return SqlType::NVarChar(30); }
SqlType DateType(Types) { return SqlType::Date(); }
SqlType DateTimeType(Types) { return SqlType::DateTime(); }
SqlType IsDateType(Types) { return SqlType::Int(); }
SqlType DateAddType(Types t) {
  if (t.size() > 2 && t[2].IsDateTime()) return t[2];
  return SqlType::DateTime();
}
SqlType DateTime2PartsType(Types) { return SqlType::DateTime2(7); }
SqlType TimePartsType(Types) { return SqlType::Time(7); }
SqlType DateTruncType(Types t) {
  if (t.size() > 1 && (t[1].IsDateTime() || t[1].id == TypeId::Time)) return t[1];
  if (t.size() > 1 && !t[1].IsString() && t[1].id != TypeId::Null) {
    ThrowError(8116, {std::string(t[1].MessageName()), "2", "datetrunc"});
  }
  return SqlType::DateTime2(7);
}
SqlType OffsetType(Types t) { return SqlType::DateTimeOffset(t[0].IsPreciseTime() ? t[0].scale : 7); }

constexpr ScalarFunction kDateFunctions[] = {
    {"YEAR", 1, 1, IntType, PartFunction<dt::DatePart::kYear>},
    {"MONTH", 1, 1, IntType, PartFunction<dt::DatePart::kMonth>},
    {"DAY", 1, 1, IntType, PartFunction<dt::DatePart::kDay>},
    {"DATEPART", 2, 2, IntType, DatePartFn},
    {"DATENAME", 2, 2, NameType, DateName},
    {"DATEDIFF", 3, 3, IntType, DateDiff<false>},
    {"DATEDIFF_BIG", 3, 3, BigIntType, DateDiff<true>},
    {"DATEADD", 3, 3, DateAddType, DateAdd},
    {"EOMONTH", 1, 2, DateType, EoMonth},
    {"DATEFROMPARTS", 3, 3, DateType, DateFromParts},
    {"DATETIMEFROMPARTS", 7, 7, DateTimeType, DateTimeFromParts},
    {"DATETIME2FROMPARTS", 8, 8, DateTime2PartsType, DateTime2FromParts},
    {"TIMEFROMPARTS", 5, 5, TimePartsType, TimeFromParts},
    {"ISDATE", 1, 1, IsDateType, IsDate},
    {"SWITCHOFFSET", 2, 2, OffsetType, SwitchOffset},
    {"TODATETIMEOFFSET", 2, 2, OffsetType, ToDateTimeOffset},
    {"DATETRUNC", 2, 2, DateTruncType, DateTrunc},
};

}  // namespace

std::span<const ScalarFunction> DateFunctions() { return kDateFunctions; }

}  // namespace orv::tsql::fn
