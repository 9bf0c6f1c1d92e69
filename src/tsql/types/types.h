// SQL types of the engine: the declared type of a column or the derived type of an expression
// (type id, precision/scale for exact numerics, length for strings).
//
// Folder tsql/types: values, SQL types and everything computed on values alone (decimal and
// datetime arithmetic, conversion, comparison under the collation, LIKE, hashing, the engine's
// error numbers and texts). It uses nothing else of the engine; every other stage uses it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::tsql {

// Ordered by SQL Server's data type precedence, lowest first, so that a higher value wins an
// implicit conversion (Null is the type of the bare NULL literal and loses to everything).
enum class TypeId : uint8_t {
  Null,
  Binary,     // binary(n): bytes, zero-padded
  VarBinary,  // varbinary(n | max)
  Char,
  VarChar,
  NChar,
  NVarChar,
  UniqueIdentifier,  // 16 bytes in the order the text form shows them
  Text,
  NText,
  Bit,
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Money,
  Decimal,  // decimal and numeric
  Real,
  Float,
  Time,  // time(n): Value::DateTime2, 100 ns units since midnight
  Date,
  SmallDateTime,
  DateTime,
  DateTime2,       // datetime2(n): Value::DateTime2, 100 ns units since 0001-01-01
  DateTimeOffset,  // datetimeoffset(n): the same with the offset in minutes
  SqlVariant,      // holds a value of another type (its base type travels with the value)
};

// The collations a string can compare under: the default case-insensitive, accent-sensitive
// one, a case-sensitive one, and binary code point order (*_BIN2, *_BIN).
enum class Collation : uint8_t { kCiAs, kCsAs, kBin2 };

struct SqlType {
  TypeId id = TypeId::Null;
  uint8_t precision = 0;  // Decimal: 1..38
  uint8_t scale = 0;      // Decimal: 0..precision; time, datetime2, datetimeoffset: 0..7
  int32_t length = 0;     // strings: characters; binary: bytes; kMaxLength for (max), text
  Collation collation = Collation::kCiAs;  // strings: how they compare

  static constexpr int32_t kMaxLength = -1;

  static SqlType Null() { return {TypeId::Null}; }
  static SqlType Bit() { return {TypeId::Bit}; }
  static SqlType TinyInt() { return {TypeId::TinyInt}; }
  static SqlType SmallInt() { return {TypeId::SmallInt}; }
  static SqlType Int() { return {TypeId::Int}; }
  static SqlType BigInt() { return {TypeId::BigInt}; }
  static SqlType Money() { return {TypeId::Money, 19, 4}; }
  static SqlType Float() { return {TypeId::Float}; }
  static SqlType Real() { return {TypeId::Real}; }
  static SqlType DateTime() { return {TypeId::DateTime}; }
  static SqlType SmallDateTime() { return {TypeId::SmallDateTime}; }
  static SqlType Date() { return {TypeId::Date}; }
  static SqlType Time(int scale) { return {TypeId::Time, 0, static_cast<uint8_t>(scale)}; }
  static SqlType DateTime2(int scale) {
    return {TypeId::DateTime2, 0, static_cast<uint8_t>(scale)};
  }
  static SqlType DateTimeOffset(int scale) {
    return {TypeId::DateTimeOffset, 0, static_cast<uint8_t>(scale)};
  }
  static SqlType Binary(int32_t length) { return {TypeId::Binary, 0, 0, length}; }
  static SqlType VarBinary(int32_t length) { return {TypeId::VarBinary, 0, 0, length}; }
  static SqlType UniqueIdentifier() { return {TypeId::UniqueIdentifier, 0, 0, 16}; }
  static SqlType SqlVariant() { return {TypeId::SqlVariant, 0, 0, 8016}; }
  static SqlType Decimal(int precision, int scale) {
    return {TypeId::Decimal, static_cast<uint8_t>(precision), static_cast<uint8_t>(scale)};
  }
  static SqlType VarChar(int32_t length) { return {TypeId::VarChar, 0, 0, length}; }
  static SqlType Char(int32_t length) { return {TypeId::Char, 0, 0, length}; }
  static SqlType NVarChar(int32_t length) { return {TypeId::NVarChar, 0, 0, length}; }
  static SqlType NChar(int32_t length) { return {TypeId::NChar, 0, 0, length}; }

  bool IsString() const {
    return id == TypeId::Char || id == TypeId::VarChar || id == TypeId::NChar ||
           id == TypeId::NVarChar || id == TypeId::Text || id == TypeId::NText;
  }
  bool IsUnicode() const {
    return id == TypeId::NChar || id == TypeId::NVarChar || id == TypeId::NText;
  }
  bool IsFixedString() const { return id == TypeId::Char || id == TypeId::NChar; }
  bool IsBinary() const { return id == TypeId::Binary || id == TypeId::VarBinary; }
  bool IsInteger() const {
    return id == TypeId::Bit || id == TypeId::TinyInt || id == TypeId::SmallInt ||
           id == TypeId::Int || id == TypeId::BigInt;
  }
  bool IsExactNumeric() const { return IsInteger() || id == TypeId::Decimal || id == TypeId::Money; }
  bool IsNumeric() const { return IsExactNumeric() || id == TypeId::Float || id == TypeId::Real; }
  // Every date and time type.
  bool IsDateTime() const {
    return id == TypeId::DateTime || id == TypeId::SmallDateTime || id == TypeId::Date ||
           id == TypeId::Time || id == TypeId::DateTime2 || id == TypeId::DateTimeOffset;
  }
  // The types whose values are Value::DateTime2 (100 ns resolution).
  bool IsPreciseTime() const {
    return id == TypeId::Time || id == TypeId::DateTime2 || id == TypeId::DateTimeOffset;
  }

  // "int", "decimal(23,10)", "varchar(255)", "nvarchar(max)", "datetime", ...
  std::string ToString() const;
  // The SQL Server type name used in messages ("int", "numeric", "varchar", "datetime").
  std::string_view MessageName() const;

  friend bool operator==(const SqlType&, const SqlType&) = default;
};

// Whether v is in the range of the integer type id (bit: 0 or 1); true for other types.
bool FitsIntegerType(int64_t v, TypeId id);

}  // namespace orv::tsql
