// The engine's types on the wire.
#include "tds/engine_types.h"

#include <algorithm>

#include "tds/tokens.h"

namespace orv::tds {
namespace {

constexpr int32_t kMaxInlineChars = 4000;  // 8000 bytes

TypeInfo Fixed(uint8_t t, uint32_t length) {
  TypeInfo info;
  info.type = t;
  info.length = length;
  return info;
}

TypeInfo Character(uint8_t t, int32_t chars, bool fixed_allowed) {
  TypeInfo info;
  info.collation = kServerCollation;
  const bool unicode = t == type::kNChar || t == type::kNVarChar;
  if (chars == tsql::SqlType::kMaxLength || chars > kMaxInlineChars || !fixed_allowed) {
    info.type = unicode ? type::kNVarChar : type::kBigVarChar;
    info.length = kMaxLength;
    if (chars != tsql::SqlType::kMaxLength && chars <= kMaxInlineChars) {
      info.length = static_cast<uint32_t>(std::max(chars, 1) * 2);
    }
    return info;
  }
  info.type = t;
  info.length = static_cast<uint32_t>(std::max(chars, 1) * 2);
  return info;
}

}  // namespace

TypeInfo WireTypeOf(const tsql::SqlType& t, uint32_t tds_version) {
  using tsql::TypeId;
  switch (t.id) {
    case TypeId::Null:
    case TypeId::Int:
      return Fixed(type::kIntN, 4);
    case TypeId::Bit:
      return Fixed(type::kBitN, 1);
    case TypeId::TinyInt:
      return Fixed(type::kIntN, 1);
    case TypeId::SmallInt:
      return Fixed(type::kIntN, 2);
    case TypeId::BigInt:
      return Fixed(type::kIntN, 8);
    case TypeId::Money:
      return Fixed(type::kMoneyN, 8);
    case TypeId::Decimal: {
      TypeInfo info;
      info.type = type::kDecimalN;
      info.precision = static_cast<uint8_t>(std::clamp<int>(t.precision, 1, 38));
      info.scale = std::min(t.scale, info.precision);
      info.length = info.precision <= 9 ? 5 : info.precision <= 19 ? 9 : info.precision <= 28 ? 13 : 17;
      return info;
    }
    case TypeId::Real:
      return Fixed(type::kFloatN, 4);
    case TypeId::Float:
      return Fixed(type::kFloatN, 8);
    case TypeId::Date:
      if (tds_version >= kTds73A) return Fixed(type::kDateN, 3);
      return Fixed(type::kDateTimeN, 8);
    case TypeId::SmallDateTime:
      return Fixed(type::kDateTimeN, 4);
    case TypeId::DateTime:
      return Fixed(type::kDateTimeN, 8);
    case TypeId::Char:
      return Character(type::kBigChar, t.length, true);
    case TypeId::VarChar:
      return Character(type::kBigVarChar, t.length, true);
    case TypeId::NChar:
      return Character(type::kNChar, t.length, true);
    case TypeId::NVarChar:
      return Character(type::kNVarChar, t.length, true);
    case TypeId::Text:
      return Character(type::kBigVarChar, tsql::SqlType::kMaxLength, false);
    case TypeId::NText:
      return Character(type::kNVarChar, tsql::SqlType::kMaxLength, false);
  }
  return Fixed(type::kIntN, 4);
}

WireValue WireValueOf(const tsql::Value& v, const tsql::SqlType& t) {
  switch (v.kind()) {
    case tsql::Value::Kind::Null:
      return WireValue::Null();
    case tsql::Value::Kind::Int:
      return WireValue::Int(v.int_value());
    case tsql::Value::Kind::Decimal:
      return WireValue::Decimal(v.decimal_unscaled(), v.decimal_scale());
    case tsql::Value::Kind::Float:
      return WireValue::Float(v.float_value());
    case tsql::Value::Kind::String:
      return WireValue::Text(std::string(v.string_value()));
    case tsql::Value::Kind::DateTime: {
      const int64_t ticks = v.datetime_ticks();
      int64_t days = ticks / tsql::kTicksPerDay;
      int64_t rest = ticks % tsql::kTicksPerDay;
      if (rest < 0) {
        rest += tsql::kTicksPerDay;
        --days;
      }
      int64_t time = (rest * 100'000 + 1) / 3;  // 1/300 s -> 100 ns, nearest
      if (t.id == tsql::TypeId::Date) time = 0;
      return WireValue::DateTime(static_cast<int32_t>(days + kDaysTo1900), time);
    }
  }
  return WireValue::Null();
}

}  // namespace orv::tds
