#include "tsql/types/types.h"

#include <limits>

namespace orv::tsql {
namespace {

std::string_view BaseName(TypeId id) {
  switch (id) {
    case TypeId::Null:
      return "null";
    case TypeId::Char:
      return "char";
    case TypeId::VarChar:
      return "varchar";
    case TypeId::NChar:
      return "nchar";
    case TypeId::NVarChar:
      return "nvarchar";
    case TypeId::Text:
      return "text";
    case TypeId::NText:
      return "ntext";
    case TypeId::Bit:
      return "bit";
    case TypeId::TinyInt:
      return "tinyint";
    case TypeId::SmallInt:
      return "smallint";
    case TypeId::Int:
      return "int";
    case TypeId::BigInt:
      return "bigint";
    case TypeId::Money:
      return "money";
    case TypeId::Decimal:
      return "decimal";
    case TypeId::Real:
      return "real";
    case TypeId::Float:
      return "float";
    case TypeId::Date:
      return "date";
    case TypeId::SmallDateTime:
      return "smalldatetime";
    case TypeId::DateTime:
      return "datetime";
    case TypeId::Binary:
      return "binary";
    case TypeId::VarBinary:
      return "varbinary";
    case TypeId::UniqueIdentifier:
      return "uniqueidentifier";
    case TypeId::Time:
      return "time";
    case TypeId::DateTime2:
      return "datetime2";
    case TypeId::DateTimeOffset:
      return "datetimeoffset";
    case TypeId::SqlVariant:
      return "sql_variant";
  }
  return "?";
}

}  // namespace

std::string SqlType::ToString() const {
  std::string s(BaseName(id));
  if (id == TypeId::Decimal) {
    s += "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
  } else if (IsPreciseTime()) {
    s += "(" + std::to_string(scale) + ")";
  } else if ((IsString() && id != TypeId::Text && id != TypeId::NText) || IsBinary()) {
    s += length == kMaxLength ? std::string("(max)") : "(" + std::to_string(length) + ")";
  }
  // A column's own collation, when it is not the default one.
  if (IsString() && collation == Collation::kCsAs) s += " COLLATE Chinese_PRC_CS_AS";
  if (IsString() && collation == Collation::kBin2) s += " COLLATE Chinese_PRC_BIN2";
  return s;
}

std::string_view SqlType::MessageName() const {
  // Messages name decimal values "numeric" and never show a length.
  if (id == TypeId::Decimal) return "numeric";
  return BaseName(id);
}

bool FitsIntegerType(int64_t v, TypeId id) {
  switch (id) {
    case TypeId::Bit:
      return v == 0 || v == 1;
    case TypeId::TinyInt:
      return v >= 0 && v <= 255;
    case TypeId::SmallInt:
      return v >= -32768 && v <= 32767;
    case TypeId::Int:
      return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
    default:
      return true;
  }
}

}  // namespace orv::tsql
