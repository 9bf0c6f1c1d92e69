// The type codec: every TDS type's TYPE_INFO and values survive a write and a read, known byte
// layouts come out exactly, and malformed client values are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tds/type_codec.h"

namespace orv::tds {
namespace {

TypeInfo T(uint8_t t, uint32_t length = 0, uint8_t precision = 0, uint8_t scale = 0) {
  TypeInfo info;
  info.type = t;
  info.length = length;
  info.precision = precision;
  info.scale = scale;
  if (t == type::kBigVarChar || t == type::kBigChar || t == type::kNVarChar || t == type::kNChar) {
    info.collation = kServerCollation;
  }
  return info;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void ExpectSameValue(const WireValue& want, const WireValue& got, const std::string& what) {
  ASSERT_EQ(static_cast<int>(want.kind), static_cast<int>(got.kind)) << what;
  switch (want.kind) {
    case WireValue::Kind::Int:
      EXPECT_EQ(want.integer, got.integer) << what;
      break;
    case WireValue::Kind::Float:
      EXPECT_EQ(want.real, got.real) << what;
      break;
    case WireValue::Kind::Decimal:
      EXPECT_EQ(DecimalText(want.unscaled, want.scale), DecimalText(got.unscaled, got.scale)) << what;
      break;
    case WireValue::Kind::DateTime:
      EXPECT_EQ(want.days, got.days) << what;
      EXPECT_EQ(want.time, got.time) << what;
      EXPECT_EQ(want.offset, got.offset) << what;
      break;
    default:
      EXPECT_EQ(want.bytes, got.bytes) << what;
  }
}

const Int128 kMaxDecimal38 = [] {
  Int128 v = 0;
  for (int i = 0; i < 38; ++i) v = v * 10 + 9;
  return v;
}();

TEST(TypeCodec, EveryTypeRoundTrips) {
  const std::string guid("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16);
  const std::string chinese = "生产任务单 物料";
  struct Case {
    const char* name;
    TypeInfo type;
    WireValue value;
  } cases[] = {
      {"tinyint", T(type::kIntN, 1), WireValue::Int(255)},
      {"smallint", T(type::kIntN, 2), WireValue::Int(-32768)},
      {"int", T(type::kIntN, 4), WireValue::Int(-2147483647 - 1)},
      {"bigint", T(type::kIntN, 8), WireValue::Int(INT64_MIN)},
      {"int NULL", T(type::kIntN, 4), WireValue::Null()},
      {"int4 fixed", T(type::kInt4), WireValue::Int(7)},
      {"bit", T(type::kBitN, 1), WireValue::Int(1)},
      {"real", T(type::kFloatN, 4), WireValue::Float(0.5)},
      {"float", T(type::kFloatN, 8), WireValue::Float(-1.5e300)},
      {"decimal(5,2)", T(type::kDecimalN, 5, 5, 2), WireValue::Decimal(-12345, 2)},
      {"decimal(19,4)", T(type::kDecimalN, 9, 19, 4), WireValue::Decimal(999999999999999999, 4)},
      {"decimal(28,10)", T(type::kDecimalN, 13, 28, 10), WireValue::Decimal(Int128{1} << 90, 10)},
      {"numeric(38,0)", T(type::kNumericN, 17, 38, 0), WireValue::Decimal(-kMaxDecimal38, 0)},
      {"money", T(type::kMoneyN, 8), WireValue::Decimal(-9223372036854775807 - 1, 4)},
      {"smallmoney", T(type::kMoneyN, 4), WireValue::Decimal(-2147483647 - 1, 4)},
      {"datetime", T(type::kDateTimeN, 8), WireValue::DateTime(kDaysTo1900 + 45350, 863'999'966'666)},
      {"datetime before 1900", T(type::kDateTimeN, 8), WireValue::DateTime(kDaysTo1900 - 53690, 0)},
      {"smalldatetime", T(type::kDateTimeN, 4), WireValue::DateTime(kDaysTo1900 + 45350, 863'400'000'000)},
      {"date", T(type::kDateN, 3), WireValue::DateTime(738000, 0)},
      {"date 9999-12-31", T(type::kDateN, 3), WireValue::DateTime(3652058, 0)},
      {"time(0)", T(type::kTimeN, 0, 0, 0), WireValue::DateTime(0, 863'990'000'000)},
      {"time(3)", T(type::kTimeN, 0, 0, 3), WireValue::DateTime(0, 123'450'000)},
      {"time(7)", T(type::kTimeN, 0, 0, 7), WireValue::DateTime(0, 863'999'999'999)},
      {"datetime2(7)", T(type::kDateTime2N, 0, 0, 7), WireValue::DateTime(738000, 1)},
      {"datetimeoffset(7) +08:00", T(type::kDateTimeOffsetN, 0, 0, 7), WireValue::DateTime(738000, 3'600'000'000, 480)},
      {"datetimeoffset(3) -05:30 across midnight", T(type::kDateTimeOffsetN, 0, 0, 3), WireValue::DateTime(738000, 863'000'000'000, -330)},
      {"varchar GBK", T(type::kBigVarChar, 100), WireValue::Text(chinese)},
      {"char", T(type::kBigChar, 4), WireValue::Text("ab  ")},
      {"nvarchar", T(type::kNVarChar, 200), WireValue::Text(chinese + " \xF0\x9F\x98\x80")},
      {"nchar", T(type::kNChar, 4), WireValue::Text("\xE7\x94\xB2 ")},
      {"nvarchar empty", T(type::kNVarChar, 20), WireValue::Text("")},
      {"nvarchar NULL", T(type::kNVarChar, 20), WireValue::Null()},
      {"nvarchar(max)", T(type::kNVarChar, kMaxLength), WireValue::Text(std::string(10000, 'x'))},
      {"nvarchar(max) empty", T(type::kNVarChar, kMaxLength), WireValue::Text("")},
      {"varchar(max) NULL", T(type::kBigVarChar, kMaxLength), WireValue::Null()},
      {"varchar(max) GBK", T(type::kBigVarChar, kMaxLength), WireValue::Text(chinese)},
      {"varbinary", T(type::kBigVarBinary, 10), WireValue::Binary(std::string("\x00\xFF\x10", 3))},
      {"binary", T(type::kBigBinary, 2), WireValue::Binary("AB")},
      {"varbinary(max)", T(type::kBigVarBinary, kMaxLength), WireValue::Binary(std::string(9000, '\x7F'))},
      {"uniqueidentifier", T(type::kGuid, 16), WireValue::Guid(guid)},
      {"uniqueidentifier NULL", T(type::kGuid, 16), WireValue::Null()},
  };
  for (const Case& c : cases) {
    ByteWriter out;
    WriteTypeInfo(out, c.type);
    WriteValue(out, c.type, c.value);
    ByteReader in(out.bytes());
    TypeInfo read_type = ReadTypeInfo(in);
    EXPECT_EQ(read_type.type, c.type.type) << c.name;
    EXPECT_EQ(read_type.scale, c.type.scale) << c.name;
    EXPECT_EQ(read_type.precision, c.type.precision) << c.name;
    EXPECT_EQ(read_type.collation, c.type.collation) << c.name;
    ExpectSameValue(c.value, ReadValue(in, read_type, 1 << 20), c.name);
    EXPECT_TRUE(in.empty()) << c.name << ": " << in.remaining() << " bytes left";
  }
}

TEST(TypeCodec, KnownLayouts) {
  struct Case {
    const char* name;
    TypeInfo type;
    WireValue value;
    const char* bytes;  // the value only, as hex
  } cases[] = {
      {"int", T(type::kIntN, 4), WireValue::Int(-2), "04 FE FF FF FF"},
      {"decimal(5,2) -123.45: sign 0, magnitude little-endian", T(type::kDecimalN, 5, 5, 2),
       WireValue::Decimal(-12345, 2), "05 00 39 30 00 00"},
      {"decimal(5,2) given an integer", T(type::kDecimalN, 5, 5, 2), WireValue::Int(3), "05 01 2C 01 00 00"},
      {"decimal rounds half away from zero", T(type::kDecimalN, 5, 5, 1), WireValue::Decimal(-125, 2), "05 00 0D 00 00 00"},
      {"money 1: high half first", T(type::kMoneyN, 8), WireValue::Decimal(1, 0), "08 00 00 00 00 10 27 00 00"},
      {"money -0.0001", T(type::kMoneyN, 8), WireValue::Decimal(-1, 4), "08 FF FF FF FF FF FF FF FF"},
      {"datetime 1900-01-01 00:00:00.003", T(type::kDateTimeN, 8), WireValue::DateTime(kDaysTo1900, 33'333), "08 00 00 00 00 01 00 00 00"},
      {"datetime 1899-12-31", T(type::kDateTimeN, 8), WireValue::DateTime(kDaysTo1900 - 1, 0), "08 FF FF FF FF 00 00 00 00"},
      {"smalldatetime 1900-01-02 00:01", T(type::kDateTimeN, 4), WireValue::DateTime(kDaysTo1900 + 1, 600'000'000), "04 01 00 01 00"},
      {"date 0001-01-02", T(type::kDateN, 3), WireValue::DateTime(1, 0), "03 01 00 00"},
      {"time(7) 1 second", T(type::kTimeN, 0, 0, 7), WireValue::DateTime(0, 10'000'000), "05 80 96 98 00 00"},
      {"nvarchar 'A'", T(type::kNVarChar, 10), WireValue::Text("A"), "02 00 41 00"},
      {"varchar '中' in code page 936", T(type::kBigVarChar, 10), WireValue::Text("\xE4\xB8\xAD"), "02 00 D6 D0"},
      {"varchar NULL", T(type::kBigVarChar, 10), WireValue::Null(), "FF FF"},
      {"nvarchar(max) 'A' as one PLP chunk", T(type::kNVarChar, kMaxLength), WireValue::Text("A"),
       "02 00 00 00 00 00 00 00 02 00 00 00 41 00 00 00 00 00"},
      {"nvarchar(max) NULL", T(type::kNVarChar, kMaxLength), WireValue::Null(), "FF FF FF FF FF FF FF FF"},
      {"bit NULL", T(type::kBitN, 1), WireValue::Null(), "00"},
  };
  for (const Case& c : cases) {
    ByteWriter out;
    WriteValue(out, c.type, c.value);
    EXPECT_EQ(Hex(out.bytes()), c.bytes) << c.name;
  }
  ByteWriter info;
  WriteTypeInfo(info, T(type::kBigVarChar, 200));
  EXPECT_EQ(Hex(info.bytes()), "A7 C8 00 04 08 D0 00 00") << "varchar(200) under Chinese_PRC_CI_AS";
}

TEST(TypeCodec, MalformedValuesAreRefused) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;  // TYPE_INFO and value
  } cases[] = {
      {"truncated int", {type::kIntN, 4, 4, 1, 2}},
      {"int value longer than its type", {type::kIntN, 2, 4, 1, 2, 3, 4}},
      {"int of length 3", {type::kIntN, 4, 3, 1, 2, 3}},
      {"decimal precision 39", {type::kDecimalN, 17, 39, 0, 0}},
      {"decimal scale above precision", {type::kDecimalN, 5, 5, 6, 0}},
      {"decimal beyond 38 digits", {type::kDecimalN, 17, 38, 0, 17, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"time scale 8", {type::kTimeN, 8}},
      {"date of length 4", {type::kDateN, 4, 0, 0, 0, 0}},
      {"datetime ticks past midnight", {type::kDateTimeN, 8, 8, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"varchar longer than declared", {type::kBigVarChar, 2, 0, 0, 0, 0, 0, 0, 3, 0, 'a', 'b', 'c'}},
      {"odd nvarchar", {type::kNVarChar, 10, 0, 0, 0, 0, 0, 0, 3, 0, 'a', 0, 'b'}},
      {"PLP chunks shorter than announced", {type::kNVarChar, 0xFF, 0xFF, 0, 0, 0, 0, 0,
                                             4, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 0, 0, 0, 0}},
      {"PLP chunk past the end", {type::kBigVarBinary, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0x7F}},
      {"xml is not accepted", {0xF1, 0}},
      {"unknown type", {0x99}},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(
        {
          ByteReader in(c.bytes);
          TypeInfo t = ReadTypeInfo(in);
          ReadValue(in, t, 1 << 20);
        },
        ProtocolError)
        << c.name;
  }
  // A value over the caller's limit.
  ByteWriter big;
  WriteTypeInfo(big, T(type::kBigVarBinary, kMaxLength));
  WriteValue(big, T(type::kBigVarBinary, kMaxLength), WireValue::Binary(std::string(100, 'x')));
  ByteReader in(big.bytes());
  TypeInfo t = ReadTypeInfo(in);
  EXPECT_THROW(ReadValue(in, t, 99), ProtocolError);
}

}  // namespace
}  // namespace orv::tds
