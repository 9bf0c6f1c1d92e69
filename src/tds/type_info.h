// TDS data types as they appear on the wire: the type byte, its TYPE_INFO (length, precision,
// scale, collation) and the values we hand to or read from clients (WireValue).
#pragma once

#include <cstdint>
#include <string>

namespace orv::tds {

namespace type {
// Fixed-length types.
inline constexpr uint8_t kNull = 0x1F;
inline constexpr uint8_t kInt1 = 0x30;
inline constexpr uint8_t kBit = 0x32;
inline constexpr uint8_t kInt2 = 0x34;
inline constexpr uint8_t kInt4 = 0x38;
inline constexpr uint8_t kDateTime4 = 0x3A;
inline constexpr uint8_t kFloat4 = 0x3B;
inline constexpr uint8_t kMoney = 0x3C;
inline constexpr uint8_t kDateTime = 0x3D;
inline constexpr uint8_t kFloat8 = 0x3E;
inline constexpr uint8_t kMoney4 = 0x7A;
inline constexpr uint8_t kInt8 = 0x7F;
// Variable-length types with a one-byte length.
inline constexpr uint8_t kGuid = 0x24;
inline constexpr uint8_t kIntN = 0x26;
inline constexpr uint8_t kBitN = 0x68;
inline constexpr uint8_t kDecimalN = 0x6A;
inline constexpr uint8_t kNumericN = 0x6C;
inline constexpr uint8_t kFloatN = 0x6D;
inline constexpr uint8_t kMoneyN = 0x6E;
inline constexpr uint8_t kDateTimeN = 0x6F;
inline constexpr uint8_t kDateN = 0x28;
inline constexpr uint8_t kTimeN = 0x29;
inline constexpr uint8_t kDateTime2N = 0x2A;
inline constexpr uint8_t kDateTimeOffsetN = 0x2B;
// Variable-length types with a two-byte length (0xFFFF: partially length-prefixed, "max").
inline constexpr uint8_t kBigVarBinary = 0xA5;
inline constexpr uint8_t kBigVarChar = 0xA7;
inline constexpr uint8_t kBigBinary = 0xAD;
inline constexpr uint8_t kBigChar = 0xAF;
inline constexpr uint8_t kNVarChar = 0xE7;
inline constexpr uint8_t kNChar = 0xEF;
// Legacy large types with a four-byte length.
inline constexpr uint8_t kImage = 0x22;
inline constexpr uint8_t kText = 0x23;
inline constexpr uint8_t kNText = 0x63;
}  // namespace type

// Length of a (max) column: its values are sent as PLP chunks.
inline constexpr uint16_t kMaxLength = 0xFFFF;

// The five collation bytes: locale id and comparison flags, then a SQL sort id (0 for a
// Windows collation).
struct Collation {
  uint32_t info = 0;
  uint8_t sort_id = 0;
  uint32_t lcid() const { return info & 0xFFFFF; }
  friend bool operator==(const Collation&, const Collation&) = default;
};

// Chinese_PRC_CI_AS: locale 0x0804 (code page 936), case-, kana- and width-insensitive.
inline constexpr Collation kServerCollation{0x00D00804, 0};

struct TypeInfo {
  uint8_t type = type::kIntN;
  uint32_t length = 4;  // bytes; kMaxLength for a (max) type
  uint8_t precision = 0;
  uint8_t scale = 0;
  Collation collation;

  bool is_plp() const;
  bool has_collation() const;
  friend bool operator==(const TypeInfo&, const TypeInfo&) = default;
};

using Int128 = __int128;

// One value on the wire. Dates and times are kept as days since 0001-01-01 and the time of
// day in 100 ns units (datetime's 1/300 s ticks convert without loss both ways).
struct WireValue {
  enum class Kind : uint8_t { Null, Int, Float, Decimal, Text, Binary, DateTime, Guid };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  Int128 unscaled = 0;  // Decimal (also money): value = unscaled / 10^scale
  int scale = 0;
  std::string bytes;     // Text: UTF-8; Binary: raw; Guid: 16 bytes in wire order
  int32_t days = 0;      // DateTime
  int64_t time = 0;      // DateTime: 100 ns units since midnight
  int16_t offset = 0;    // DateTime: minutes east of UTC (datetimeoffset)

  static WireValue Null() { return {}; }
  static WireValue Int(int64_t v) {
    WireValue w;
    w.kind = Kind::Int;
    w.integer = v;
    return w;
  }
  static WireValue Float(double v) {
    WireValue w;
    w.kind = Kind::Float;
    w.real = v;
    return w;
  }
  static WireValue Decimal(Int128 unscaled, int scale) {
    WireValue w;
    w.kind = Kind::Decimal;
    w.unscaled = unscaled;
    w.scale = scale;
    return w;
  }
  static WireValue Text(std::string utf8) {
    WireValue w;
    w.kind = Kind::Text;
    w.bytes = std::move(utf8);
    return w;
  }
  static WireValue Binary(std::string raw) {
    WireValue w;
    w.kind = Kind::Binary;
    w.bytes = std::move(raw);
    return w;
  }
  static WireValue DateTime(int32_t days, int64_t time, int16_t offset = 0) {
    WireValue w;
    w.kind = Kind::DateTime;
    w.days = days;
    w.time = time;
    w.offset = offset;
    return w;
  }
  static WireValue Guid(std::string sixteen) {
    WireValue w;
    w.kind = Kind::Guid;
    w.bytes = std::move(sixteen);
    return w;
  }
  bool is_null() const { return kind == Kind::Null; }
};

// Days from 0001-01-01 to 1900-01-01 (datetime's and smalldatetime's day zero).
inline constexpr int32_t kDaysTo1900 = 693595;
inline constexpr int64_t kTimeUnitsPerDay = 864'000'000'000;  // 100 ns units

}  // namespace orv::tds
