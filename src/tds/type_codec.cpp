// TYPE_INFO and value layouts of the TDS types (MS-TDS 2.2.5.4 - 2.2.5.5).
#include "tds/type_codec.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "tds/text_encoding.h"

namespace orv::tds {
namespace {

constexpr uint64_t kPlpNull = ~uint64_t{0};
constexpr uint64_t kPlpUnknownLength = ~uint64_t{0} - 1;

Int128 Pow10(int n) {
  Int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

bool HasOneByteLength(uint8_t t) {
  switch (t) {
    case type::kGuid:
    case type::kIntN:
    case type::kBitN:
    case type::kDecimalN:
    case type::kNumericN:
    case type::kFloatN:
    case type::kMoneyN:
    case type::kDateTimeN:
      return true;
    default:
      return false;
  }
}

bool IsTwoByteLength(uint8_t t) {
  return t == type::kBigVarBinary || t == type::kBigVarChar || t == type::kBigBinary ||
         t == type::kBigChar || t == type::kNVarChar || t == type::kNChar;
}

bool IsLegacyLarge(uint8_t t) { return t == type::kText || t == type::kNText || t == type::kImage; }

// Length of a fixed-length type, 0 for others.
int FixedLength(uint8_t t) {
  switch (t) {
    case type::kNull:
      return 0;
    case type::kInt1:
    case type::kBit:
      return 1;
    case type::kInt2:
      return 2;
    case type::kInt4:
    case type::kDateTime4:
    case type::kFloat4:
    case type::kMoney4:
      return 4;
    case type::kMoney:
    case type::kDateTime:
    case type::kFloat8:
    case type::kInt8:
      return 8;
    default:
      return -1;
  }
}

int TimeBytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

bool IsUnicode(uint8_t t) { return t == type::kNVarChar || t == type::kNChar || t == type::kNText; }
bool IsCharacter(uint8_t t) {
  return t == type::kBigVarChar || t == type::kBigChar || t == type::kText || IsUnicode(t);
}

// ---- value conversions for writing ---------------------------------------------------------

int64_t AsInt(const WireValue& v) {
  switch (v.kind) {
    case WireValue::Kind::Int:
      return v.integer;
    case WireValue::Kind::Float:
      return static_cast<int64_t>(v.real);
    case WireValue::Kind::Decimal:
      return static_cast<int64_t>(Rescale(v.unscaled, v.scale, 0));
    default:
      throw std::invalid_argument("not a number");
  }
}

double AsDouble(const WireValue& v) {
  switch (v.kind) {
    case WireValue::Kind::Int:
      return static_cast<double>(v.integer);
    case WireValue::Kind::Float:
      return v.real;
    case WireValue::Kind::Decimal:
      return static_cast<double>(v.unscaled) / std::pow(10.0, v.scale);
    default:
      throw std::invalid_argument("not a number");
  }
}

Int128 AsUnscaled(const WireValue& v, int scale) {
  switch (v.kind) {
    case WireValue::Kind::Int:
      return static_cast<Int128>(v.integer) * Pow10(scale);
    case WireValue::Kind::Decimal:
      return Rescale(v.unscaled, v.scale, scale);
    case WireValue::Kind::Float:
      return static_cast<Int128>(std::llround(v.real * std::pow(10.0, scale)));
    default:
      throw std::invalid_argument("not a number");
  }
}

std::string AsText(const WireValue& v) {
  switch (v.kind) {
    case WireValue::Kind::Text:
    case WireValue::Kind::Binary:
      return v.bytes;
    case WireValue::Kind::Int:
      return std::to_string(v.integer);
    case WireValue::Kind::Decimal:
      return DecimalText(v.unscaled, v.scale);
    default:
      throw std::invalid_argument("not text");
  }
}

void Unsigned(ByteWriter& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.U8(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t ReadUnsigned(ByteReader& in, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(in.U8()) << (8 * i);
  return v;
}

// The bytes of a character or binary value as the column's type holds them.
std::string EncodedBytes(const TypeInfo& info, const WireValue& value) {
  if (value.kind == WireValue::Kind::Guid) return value.bytes;
  std::string text = AsText(value);
  if (IsUnicode(info.type)) {
    std::u16string u = Utf8ToUtf16(text);
    std::string bytes(u.size() * 2, '\0');
    for (size_t i = 0; i < u.size(); ++i) {
      bytes[2 * i] = static_cast<char>(u[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(u[i] >> 8);
    }
    return bytes;
  }
  if (IsCharacter(info.type)) return Utf8ToCodePage(text, CodePageOfLcid(info.collation.lcid()));
  return text;
}

WireValue DecodedBytes(const TypeInfo& info, const uint8_t* p, size_t n) {
  if (IsUnicode(info.type)) {
    if (n % 2 != 0) throw ProtocolError("odd length of a Unicode value");
    std::u16string u(n / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    return WireValue::Text(Utf16ToUtf8(u));
  }
  std::string_view raw(reinterpret_cast<const char*>(p), n);
  if (IsCharacter(info.type)) {
    return WireValue::Text(CodePageToUtf8(raw, CodePageOfLcid(info.collation.lcid())));
  }
  return WireValue::Binary(std::string(raw));
}

void WriteDateTimeParts(ByteWriter& out, const TypeInfo& info, const WireValue& v) {
  if (v.kind != WireValue::Kind::DateTime) throw std::invalid_argument("not a date/time");
  const int bytes = TimeBytes(info.scale);
  const int64_t divisor = static_cast<int64_t>(Pow10(7 - info.scale));
  int64_t days = v.days;
  int64_t time = v.time;
  if (info.type == type::kDateTimeOffsetN) {
    // Stored as UTC, with the offset beside it.
    int64_t utc = days * kTimeUnitsPerDay + time - int64_t{v.offset} * 600'000'000;
    days = utc / kTimeUnitsPerDay;
    time = utc % kTimeUnitsPerDay;
    if (time < 0) {
      time += kTimeUnitsPerDay;
      --days;
    }
  }
  if (info.type != type::kDateN) Unsigned(out, static_cast<uint64_t>(time / divisor), bytes);
  if (info.type != type::kTimeN) Unsigned(out, static_cast<uint64_t>(days), 3);
  if (info.type == type::kDateTimeOffsetN) out.U16(static_cast<uint16_t>(v.offset));
}

int DateTimePartsLength(const TypeInfo& info) {
  int n = 0;
  if (info.type != type::kDateN) n += TimeBytes(info.scale);
  if (info.type != type::kTimeN) n += 3;
  if (info.type == type::kDateTimeOffsetN) n += 2;
  return n;
}

// The fixed-size body of the one-byte-length and fixed types (no length prefix).
void WriteFixedBody(ByteWriter& out, uint8_t t, int length, const TypeInfo& info,
                    const WireValue& v) {
  switch (t) {
    case type::kIntN:
    case type::kInt1:
    case type::kInt2:
    case type::kInt4:
    case type::kInt8:
      Unsigned(out, static_cast<uint64_t>(AsInt(v)), length);
      return;
    case type::kBitN:
    case type::kBit:
      out.U8(AsInt(v) != 0 ? 1 : 0);
      return;
    case type::kFloatN:
    case type::kFloat4:
    case type::kFloat8:
      if (length == 4) {
        float f = static_cast<float>(AsDouble(v));
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        out.U32(bits);
      } else {
        double d = AsDouble(v);
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out.U64(bits);
      }
      return;
    case type::kMoneyN:
    case type::kMoney:
    case type::kMoney4: {
      const auto cents = static_cast<int64_t>(AsUnscaled(v, 4));
      if (length == 4) {
        out.U32(static_cast<uint32_t>(static_cast<int32_t>(cents)));
      } else {
        out.U32(static_cast<uint32_t>(static_cast<uint64_t>(cents) >> 32));
        out.U32(static_cast<uint32_t>(cents));
      }
      return;
    }
    case type::kDateTimeN:
    case type::kDateTime:
    case type::kDateTime4: {
      if (v.kind != WireValue::Kind::DateTime) throw std::invalid_argument("not a date/time");
      const int32_t days = v.days - kDaysTo1900;
      if (length == 4) {
        out.U16(static_cast<uint16_t>(days));
        out.U16(static_cast<uint16_t>(v.time / 600'000'000));
      } else {
        // 1/300 s ticks, rounded to the nearest.
        const int64_t ticks = (v.time * 3 + 50'000) / 100'000;
        out.U32(static_cast<uint32_t>(days));
        out.U32(static_cast<uint32_t>(ticks));
      }
      return;
    }
    case type::kDecimalN:
    case type::kNumericN: {
      Int128 u = AsUnscaled(v, info.scale);
      out.U8(u < 0 ? 0 : 1);
      const auto magnitude = static_cast<unsigned __int128>(u < 0 ? -u : u);
      const int bytes = length - 1;
      for (int i = 0; i < bytes; ++i) out.U8(i < 16 ? static_cast<uint8_t>(magnitude >> (8 * i)) : 0);
      return;
    }
    case type::kGuid:
      if (v.kind != WireValue::Kind::Guid || v.bytes.size() != 16) {
        throw std::invalid_argument("not a uniqueidentifier");
      }
      out.Bytes(v.bytes);
      return;
    default:
      throw std::invalid_argument("unsupported type");
  }
}

WireValue ReadFixedBody(ByteReader& in, uint8_t t, int length, const TypeInfo& info) {
  switch (t) {
    case type::kIntN:
    case type::kInt1:
    case type::kInt2:
    case type::kInt4:
    case type::kInt8: {
      if (length != 1 && length != 2 && length != 4 && length != 8) {
        throw ProtocolError("bad integer length");
      }
      uint64_t raw = ReadUnsigned(in, length);
      if (length == 1) return WireValue::Int(static_cast<int64_t>(raw));  // tinyint is unsigned
      const int shift = 64 - 8 * length;
      return WireValue::Int(static_cast<int64_t>(raw << shift) >> shift);
    }
    case type::kBitN:
    case type::kBit:
      if (length != 1) throw ProtocolError("bad bit length");
      return WireValue::Int(in.U8() != 0 ? 1 : 0);
    case type::kFloatN:
    case type::kFloat4:
    case type::kFloat8:
      if (length == 4) {
        uint32_t bits = in.U32();
        float f;
        std::memcpy(&f, &bits, 4);
        return WireValue::Float(f);
      } else if (length == 8) {
        uint64_t bits = in.U64();
        double d;
        std::memcpy(&d, &bits, 8);
        return WireValue::Float(d);
      }
      throw ProtocolError("bad float length");
    case type::kMoneyN:
    case type::kMoney:
    case type::kMoney4:
      if (length == 4) return WireValue::Decimal(static_cast<int32_t>(in.U32()), 4);
      if (length == 8) {
        const uint64_t high = in.U32();
        const uint64_t low = in.U32();
        return WireValue::Decimal(static_cast<int64_t>((high << 32) | low), 4);
      }
      throw ProtocolError("bad money length");
    case type::kDateTimeN:
    case type::kDateTime:
    case type::kDateTime4:
      if (length == 4) {
        const uint16_t days = in.U16();
        const uint16_t minutes = in.U16();
        if (minutes >= 1440) throw ProtocolError("bad smalldatetime");
        return WireValue::DateTime(kDaysTo1900 + days, int64_t{minutes} * 600'000'000);
      }
      if (length == 8) {
        const auto days = static_cast<int32_t>(in.U32());
        const uint32_t ticks = in.U32();
        if (ticks >= 300u * 86400u || days < -53690 || days > 2958463) {
          throw ProtocolError("bad datetime");
        }
        return WireValue::DateTime(kDaysTo1900 + days, int64_t{ticks} * 100'000 / 3);
      }
      throw ProtocolError("bad datetime length");
    case type::kDecimalN:
    case type::kNumericN: {
      if (length < 2 || length > 17) throw ProtocolError("bad decimal length");
      const uint8_t sign = in.U8();
      unsigned __int128 magnitude = 0;
      for (int i = 0; i < length - 1; ++i) {
        magnitude |= static_cast<unsigned __int128>(in.U8()) << (8 * i);
      }
      if (magnitude >= static_cast<unsigned __int128>(Pow10(38))) {
        throw ProtocolError("decimal out of range");
      }
      const auto u = static_cast<Int128>(magnitude);
      return WireValue::Decimal(sign ? u : -u, info.scale);
    }
    case type::kGuid: {
      if (length != 16) throw ProtocolError("bad uniqueidentifier length");
      const uint8_t* p = in.Take(16);
      return WireValue::Guid(std::string(reinterpret_cast<const char*>(p), 16));
    }
    default:
      throw ProtocolError("unsupported type");
  }
}

WireValue ReadDateTimeParts(ByteReader& in, const TypeInfo& info) {
  int64_t time = 0;
  int32_t days = 0;
  int16_t offset = 0;
  if (info.type != type::kDateN) {
    const uint64_t raw = ReadUnsigned(in, TimeBytes(info.scale));
    time = static_cast<int64_t>(raw) * static_cast<int64_t>(Pow10(7 - info.scale));
    if (time >= kTimeUnitsPerDay) throw ProtocolError("bad time");
  }
  if (info.type != type::kTimeN) {
    days = static_cast<int32_t>(ReadUnsigned(in, 3));
    if (days > 3652058) throw ProtocolError("bad date");
  }
  if (info.type == type::kDateTimeOffsetN) {
    offset = static_cast<int16_t>(in.U16());
    if (offset < -840 || offset > 840) throw ProtocolError("bad time zone offset");
    // Back from UTC to the local time of the offset.
    int64_t local = days * kTimeUnitsPerDay + time + int64_t{offset} * 600'000'000;
    days = static_cast<int32_t>(local / kTimeUnitsPerDay);
    time = local % kTimeUnitsPerDay;
  }
  return WireValue::DateTime(days, time, offset);
}

}  // namespace

bool TypeInfo::is_plp() const { return IsTwoByteLength(type) && length == kMaxLength; }
bool TypeInfo::has_collation() const { return IsCharacter(type); }

std::string DecimalText(Int128 unscaled, int scale) {
  const bool negative = unscaled < 0;
  auto magnitude = static_cast<unsigned __int128>(negative ? -unscaled : unscaled);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale)) {
      digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<size_t>(scale), ".");
  }
  return negative ? "-" + digits : digits;
}

Int128 Rescale(Int128 unscaled, int from_scale, int to_scale) {
  if (to_scale >= from_scale) return unscaled * Pow10(to_scale - from_scale);
  const Int128 divisor = Pow10(from_scale - to_scale);
  Int128 q = unscaled / divisor;
  const Int128 r = unscaled % divisor;
  if (r * 2 >= divisor) ++q;
  if (r * 2 <= -divisor) --q;
  return q;
}

void WriteTypeInfo(ByteWriter& out, const TypeInfo& info) {
  out.U8(info.type);
  if (FixedLength(info.type) >= 0) return;
  if (HasOneByteLength(info.type)) {
    out.U8(static_cast<uint8_t>(info.length));
    if (info.type == type::kDecimalN || info.type == type::kNumericN) {
      out.U8(info.precision);
      out.U8(info.scale);
    }
    return;
  }
  if (info.type == type::kDateN) return;
  if (info.type == type::kTimeN || info.type == type::kDateTime2N ||
      info.type == type::kDateTimeOffsetN) {
    out.U8(info.scale);
    return;
  }
  if (IsTwoByteLength(info.type)) {
    out.U16(static_cast<uint16_t>(info.length));
  } else if (IsLegacyLarge(info.type)) {
    out.U32(info.length);
  } else {
    throw std::invalid_argument("unsupported type");
  }
  if (info.has_collation()) {
    out.U32(info.collation.info);
    out.U8(info.collation.sort_id);
  }
}

TypeInfo ReadTypeInfo(ByteReader& in) {
  TypeInfo info;
  info.type = in.U8();
  const int fixed = FixedLength(info.type);
  if (fixed >= 0) {
    info.length = static_cast<uint32_t>(fixed);
    return info;
  }
  if (HasOneByteLength(info.type)) {
    info.length = in.U8();
    if (info.type == type::kDecimalN || info.type == type::kNumericN) {
      info.precision = in.U8();
      info.scale = in.U8();
      if (info.precision < 1 || info.precision > 38 || info.scale > info.precision ||
          info.length < 2 || info.length > 17) {
        throw ProtocolError("bad decimal type");
      }
    }
    return info;
  }
  if (info.type == type::kDateN) {
    info.length = 3;
    return info;
  }
  if (info.type == type::kTimeN || info.type == type::kDateTime2N ||
      info.type == type::kDateTimeOffsetN) {
    info.scale = in.U8();
    if (info.scale > 7) throw ProtocolError("bad time scale");
    info.length = static_cast<uint32_t>(DateTimePartsLength(info));
    return info;
  }
  if (IsTwoByteLength(info.type)) {
    info.length = in.U16();
  } else if (IsLegacyLarge(info.type)) {
    info.length = in.U32();
  } else {
    throw ProtocolError("unsupported parameter type 0x" + [&] {
      static constexpr char kHex[] = "0123456789ABCDEF";
      return std::string{kHex[info.type >> 4], kHex[info.type & 15]};
    }());
  }
  if (info.has_collation()) {
    info.collation.info = in.U32();
    info.collation.sort_id = in.U8();
  }
  return info;
}

void WriteValue(ByteWriter& out, const TypeInfo& info, const WireValue& value) {
  const uint8_t t = info.type;
  const int fixed = FixedLength(t);
  if (fixed > 0) {
    if (value.is_null()) throw std::invalid_argument("NULL in a fixed-length type");
    WriteFixedBody(out, t, fixed, info, value);
    return;
  }
  if (HasOneByteLength(t)) {
    if (value.is_null()) {
      out.U8(0);
      return;
    }
    out.U8(static_cast<uint8_t>(info.length));
    WriteFixedBody(out, t, static_cast<int>(info.length), info, value);
    return;
  }
  if (t == type::kDateN || t == type::kTimeN || t == type::kDateTime2N ||
      t == type::kDateTimeOffsetN) {
    if (value.is_null()) {
      out.U8(0);
      return;
    }
    out.U8(static_cast<uint8_t>(DateTimePartsLength(info)));
    WriteDateTimeParts(out, info, value);
    return;
  }
  if (info.is_plp()) {
    if (value.is_null()) {
      out.U64(kPlpNull);
      return;
    }
    const std::string bytes = EncodedBytes(info, value);
    out.U64(bytes.size());
    if (!bytes.empty()) {
      out.U32(static_cast<uint32_t>(bytes.size()));
      out.Bytes(bytes);
    }
    out.U32(0);
    return;
  }
  if (IsTwoByteLength(t)) {
    if (value.is_null()) {
      out.U16(0xFFFF);
      return;
    }
    std::string bytes = EncodedBytes(info, value);
    if (bytes.size() > info.length) bytes.resize(info.length);
    if ((t == type::kNChar || t == type::kNVarChar) && bytes.size() % 2 != 0) bytes.pop_back();
    out.U16(static_cast<uint16_t>(bytes.size()));
    out.Bytes(bytes);
    return;
  }
  throw std::invalid_argument("unsupported type for a value");
}

WireValue ReadValue(ByteReader& in, const TypeInfo& info, size_t max_bytes) {
  const uint8_t t = info.type;
  const int fixed = FixedLength(t);
  if (fixed == 0) return WireValue::Null();
  if (fixed > 0) return ReadFixedBody(in, t, fixed, info);
  if (HasOneByteLength(t)) {
    const uint8_t length = in.U8();
    if (length == 0) return WireValue::Null();
    if (length > info.length) throw ProtocolError("value longer than its type");
    return ReadFixedBody(in, t, length, info);
  }
  if (t == type::kDateN || t == type::kTimeN || t == type::kDateTime2N ||
      t == type::kDateTimeOffsetN) {
    const uint8_t length = in.U8();
    if (length == 0) return WireValue::Null();
    if (length != DateTimePartsLength(info)) throw ProtocolError("bad date/time length");
    return ReadDateTimeParts(in, info);
  }
  if (info.is_plp()) {
    const uint64_t total = in.U64();
    if (total == kPlpNull) return WireValue::Null();
    if (total != kPlpUnknownLength && total > max_bytes) throw ProtocolError("value too large");
    std::string bytes;
    while (true) {
      const uint32_t chunk = in.U32();
      if (chunk == 0) break;
      if (chunk > max_bytes - bytes.size()) throw ProtocolError("value too large");
      const uint8_t* p = in.Take(chunk);
      bytes.append(reinterpret_cast<const char*>(p), chunk);
    }
    if (total != kPlpUnknownLength && total != bytes.size()) {
      throw ProtocolError("PLP chunks do not add up to the announced length");
    }
    return DecodedBytes(info, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  if (IsTwoByteLength(t)) {
    const uint16_t length = in.U16();
    if (length == 0xFFFF) return WireValue::Null();
    if (length > info.length || length > max_bytes) throw ProtocolError("value longer than its type");
    return DecodedBytes(info, in.Take(length), length);
  }
  if (IsLegacyLarge(t)) {
    const uint32_t length = in.U32();
    if (length == 0xFFFFFFFF) return WireValue::Null();
    if (length > max_bytes) throw ProtocolError("value too large");
    return DecodedBytes(info, in.Take(length), length);
  }
  throw ProtocolError("unsupported type");
}

}  // namespace orv::tds
