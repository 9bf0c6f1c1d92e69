// The engine's types on the wire.
#include "tds/engine_types.h"

#include <algorithm>

#include "tds/tokens.h"
#include "tsql/types/value_ops.h"

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
    case TypeId::Binary:
    case TypeId::VarBinary: {
      TypeInfo info;
      const bool max = t.length == tsql::SqlType::kMaxLength || t.length > 8000;
      info.type = t.id == TypeId::Binary && !max ? type::kBigBinary : type::kBigVarBinary;
      info.length = max ? kMaxLength : static_cast<uint32_t>(std::max(t.length, 1));
      return info;
    }
    case TypeId::UniqueIdentifier:
      return Fixed(type::kGuid, 16);
    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset: {
      // Clients older than TDS 7.3 get these types as text, as the server sends them.
      if (tds_version < kTds73A) return Character(type::kNVarChar, 34, true);
      TypeInfo info;
      info.type = t.id == TypeId::Time        ? type::kTimeN
                  : t.id == TypeId::DateTime2 ? type::kDateTime2N
                                              : type::kDateTimeOffsetN;
      info.scale = static_cast<uint8_t>(std::min<int>(t.scale, 7));
      const uint32_t time_bytes = info.scale <= 2 ? 3 : info.scale <= 4 ? 4 : 5;
      info.length = time_bytes + (t.id == TypeId::Time ? 0 : 3) +
                    (t.id == TypeId::DateTimeOffset ? 2 : 0);
      return info;
    }
    case TypeId::SqlVariant:
      // No sql_variant encoder: the value goes as its text.
      return Character(type::kNVarChar, 4000, true);
  }
  return Fixed(type::kIntN, 4);
}

WireValue WireValueOf(const tsql::Value& v, const tsql::SqlType& t) {
  if (t.id == tsql::TypeId::SqlVariant && !v.is_null()) return WireValue::Text(tsql::ToText(v, t));
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
      if (t.IsBinary()) return WireValue::Binary(std::string(v.string_value()));
      if (t.id == tsql::TypeId::UniqueIdentifier) {
        WireValue w = WireValue::Binary(std::string(v.string_value()));
        w.kind = WireValue::Kind::Guid;  // the engine keeps a GUID's bytes in wire order
        return w;
      }
      return WireValue::Text(std::string(v.string_value()));
    case tsql::Value::Kind::DateTime2: {
      if (t.id == tsql::TypeId::SqlVariant || !t.IsPreciseTime()) {
        return WireValue::Text(tsql::ToText(v, t.IsPreciseTime() ? t : tsql::SqlType::DateTime2(7)));
      }
      constexpr int64_t kUnitsPerDay = 864'000'000'000;
      const int64_t units = v.datetime2_units();
      return WireValue::DateTime(static_cast<int32_t>(units / kUnitsPerDay), units % kUnitsPerDay,
                                 static_cast<int16_t>(v.datetime2_offset()));
    }
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

tsql::SqlType EngineTypeOf(const TypeInfo& info) {
  using tsql::SqlType;
  const bool max = info.length == kMaxLength;
  const int32_t bytes = max ? SqlType::kMaxLength : static_cast<int32_t>(info.length);
  const int32_t chars = max ? SqlType::kMaxLength : std::max<int32_t>(1, bytes / 2);
  switch (info.type) {
    case type::kBit:
    case type::kBitN:
      return SqlType::Bit();
    case type::kInt1:
      return SqlType::TinyInt();
    case type::kInt2:
      return SqlType::SmallInt();
    case type::kInt4:
      return SqlType::Int();
    case type::kInt8:
      return SqlType::BigInt();
    case type::kIntN:
      return info.length == 1   ? SqlType::TinyInt()
             : info.length == 2 ? SqlType::SmallInt()
             : info.length == 8 ? SqlType::BigInt()
                                : SqlType::Int();
    case type::kFloat4:
      return SqlType::Real();
    case type::kFloat8:
      return SqlType::Float();
    case type::kFloatN:
      return info.length == 4 ? SqlType::Real() : SqlType::Float();
    case type::kMoney:
    case type::kMoney4:
    case type::kMoneyN:
      return SqlType::Money();
    case type::kDecimalN:
    case type::kNumericN:
      return SqlType::Decimal(std::clamp<int>(info.precision, 1, 38), info.scale);
    case type::kDateTime4:
      return SqlType::SmallDateTime();
    case type::kDateTime:
      return SqlType::DateTime();
    case type::kDateTimeN:
      return info.length == 4 ? SqlType::SmallDateTime() : SqlType::DateTime();
    case type::kDateN:
      return SqlType::Date();
    case type::kTimeN:
      return SqlType::Time(std::min<int>(info.scale, 7));
    case type::kDateTime2N:
      return SqlType::DateTime2(std::min<int>(info.scale, 7));
    case type::kDateTimeOffsetN:
      return SqlType::DateTimeOffset(std::min<int>(info.scale, 7));
    case type::kGuid:
      return SqlType::UniqueIdentifier();
    case type::kBigBinary:
      return SqlType::Binary(std::max(bytes, 1));
    case type::kBigVarBinary:
    case type::kImage:
      return SqlType::VarBinary(info.type == type::kImage ? SqlType::kMaxLength : std::max(bytes, 1));
    case type::kBigChar:
      return SqlType::Char(std::max(bytes, 1));
    case type::kBigVarChar:
    case type::kText:
      return SqlType::VarChar(info.type == type::kText ? SqlType::kMaxLength : std::max(bytes, 1));
    case type::kNChar:
      return SqlType::NChar(chars);
    case type::kNVarChar:
    case type::kNText:
      return SqlType::NVarChar(info.type == type::kNText ? SqlType::kMaxLength : chars);
    default:
      return SqlType::Null();
  }
}

tsql::Value EngineValueOf(const WireValue& v, const TypeInfo& info) {
  constexpr int64_t kUnitsPerDay = 864'000'000'000;
  switch (v.kind) {
    case WireValue::Kind::Null:
      return tsql::Value::Null();
    case WireValue::Kind::Int:
      return tsql::Value::Int(v.integer);
    case WireValue::Kind::Float:
      return tsql::Value::Float(v.real);
    case WireValue::Kind::Decimal:
      return tsql::Value::Decimal(v.unscaled, v.scale);
    case WireValue::Kind::Text:
    case WireValue::Kind::Binary:
    case WireValue::Kind::Guid:  // the engine keeps a GUID's bytes in wire order too
      return tsql::Value::String(v.bytes);
    case WireValue::Kind::DateTime:
      if (info.type == type::kTimeN) return tsql::Value::DateTime2(v.time);
      // datetime, smalldatetime and date are held in datetime's ticks
      if (info.type == type::kDateTime || info.type == type::kDateTimeN ||
          info.type == type::kDateTime4 || info.type == type::kDateN) {
        const int64_t ticks = (static_cast<int64_t>(v.days) - kDaysTo1900) * tsql::kTicksPerDay +
                              (v.time * 3 + 50'000) / 100'000;  // 100 ns -> 1/300 s, nearest
        return tsql::Value::DateTime(ticks);
      }
      return tsql::Value::DateTime2(static_cast<int64_t>(v.days) * kUnitsPerDay + v.time,
                                    info.type == type::kDateTimeOffsetN ? v.offset : 0);
  }
  return tsql::Value::Null();
}

}  // namespace orv::tds
