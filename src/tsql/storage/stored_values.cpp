// Binding and reading stored values, with the checks that a read value fits its column.
#include "tsql/storage/stored_values.h"

#include <sqlite3.h>

#include <cmath>
#include <string>
#include <string_view>

#include "tsql/types/datetime.h"
#include "tsql/types/decimal.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

std::string_view ColumnText(sqlite3_stmt* stmt, int col) {
  const unsigned char* t = sqlite3_column_text(stmt, col);
  const int n = sqlite3_column_bytes(stmt, col);
  return t ? std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n))
           : std::string_view();
}

// The name SQL Server gives the stored value's own type in conversion messages.
const char* StorageTypeName(int storage) {
  switch (storage) {
    case SQLITE_INTEGER: return "bigint";
    case SQLITE_FLOAT: return "float";
    case SQLITE_BLOB: return "varbinary";
    default: return "varchar";
  }
}

std::string Shorten(std::string_view text) {
  constexpr size_t kShown = 40;
  return text.size() <= kShown ? std::string(text) : std::string(text.substr(0, kShown)) + "...";
}

SqlError Mismatch(sqlite3_stmt* stmt, int col, int storage, const SqlType& type) {
  if (storage == SQLITE_TEXT && type.IsInteger()) {
    return MakeError(245, {"varchar", Shorten(ColumnText(stmt, col)), std::string(type.MessageName())});
  }
  if (storage == SQLITE_TEXT && type.IsDateTime()) return MakeError(241);
  return MakeError(8114, {StorageTypeName(storage), std::string(type.MessageName())});
}

SqlError Overflow(int storage, const SqlType& type) {
  return MakeError(8115, {StorageTypeName(storage), std::string(type.MessageName())});
}

// Exact decimal text ("-12.50", "7"): the unscaled value at `scale`, when it has at most
// `scale` decimals and at most precision - scale integral digits.
enum class DecimalText { kOk, kInvalid, kOverflow };
DecimalText ParseStoredDecimal(std::string_view text, int precision, int scale, Int128& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned __int128 magnitude = 0;
  int integral = 0, fraction = 0;
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return DecimalText::kInvalid;
    digits = true;
    if (point) {
      if (++fraction > scale) return DecimalText::kOverflow;
    } else if (integral > 0 || c != '0') {
      if (++integral > precision - scale) return DecimalText::kOverflow;
    }
    magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  }
  if (!digits) return DecimalText::kInvalid;
  for (; fraction < scale; ++fraction) magnitude *= 10;
  out = negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  return DecimalText::kOk;
}

int64_t DateTicksMin(TypeId id) {
  static const int64_t kDateMin = dt::DaysFromCivil(1, 1, 1) * kTicksPerDay;
  static const int64_t kSmallMin = 0;
  if (id == TypeId::Date) return kDateMin;
  if (id == TypeId::SmallDateTime) return kSmallMin;
  return dt::kMinTicks;
}

int64_t DateTicksMax(TypeId id) {
  static const int64_t kSmallMax = dt::DaysFromCivil(2079, 6, 6) * kTicksPerDay + 1439 * 60 * kTicksPerSecond;
  if (id == TypeId::SmallDateTime) return kSmallMax;
  return dt::kMaxTicks;
}

}  // namespace

void BindStoredValue(sqlite3_stmt* stmt, int index, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null: sqlite3_bind_null(stmt, index); break;
    case Value::Kind::Int: sqlite3_bind_int64(stmt, index, v.int_value()); break;
    case Value::Kind::Float: sqlite3_bind_double(stmt, index, v.float_value()); break;
    case Value::Kind::DateTime: sqlite3_bind_int64(stmt, index, v.datetime_ticks()); break;
    case Value::Kind::Decimal: {
      const std::string text = dec::ToString(v.decimal_unscaled(), v.decimal_scale());
      sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case Value::Kind::String: {
      const std::string_view s = v.string_value();
      sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      break;
    }
  }
}

std::optional<SqlError> ReadStoredValue(sqlite3_stmt* stmt, int col, const SqlType& type,
                                        bool nullable, Value& out) {
  const int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) {
    if (!nullable) {
      SqlError error = MakeError(515, {"", "", ""});
      error.message = "NULL in a column that does not allow nulls.";
      return error;
    }
    out = Value::Null();
    return std::nullopt;
  }
  if (storage == SQLITE_BLOB) return Mismatch(stmt, col, storage, type);
  switch (type.id) {
    case TypeId::Bit:
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
    case TypeId::BigInt: {
      if (storage == SQLITE_INTEGER) {
        const int64_t v = sqlite3_column_int64(stmt, col);
        if (!FitsIntegerType(v, type.id)) return Overflow(storage, type);
        out = Value::Int(v);
        return std::nullopt;
      }
      if (storage == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(stmt, col);
        // Only a whole number inside the type's range is the integer it stands for.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return Overflow(storage, type);
        if (d != std::trunc(d)) return Mismatch(stmt, col, storage, type);
        const auto v = static_cast<int64_t>(d);
        if (!FitsIntegerType(v, type.id)) return Overflow(storage, type);
        out = Value::Int(v);
        return std::nullopt;
      }
      return Mismatch(stmt, col, storage, type);
    }
    case TypeId::Decimal:
    case TypeId::Money: {
      const int precision = type.id == TypeId::Money ? 19 : type.precision;
      const int scale = type.id == TypeId::Money ? 4 : type.scale;
      if (storage == SQLITE_FLOAT) return Mismatch(stmt, col, storage, type);
      Int128 unscaled = 0;
      switch (ParseStoredDecimal(ColumnText(stmt, col), precision, scale, unscaled)) {
        case DecimalText::kOk: out = Value::Decimal(unscaled, scale); return std::nullopt;
        case DecimalText::kOverflow: return Overflow(storage, type);
        case DecimalText::kInvalid: return Mismatch(stmt, col, storage, type);
      }
      return Mismatch(stmt, col, storage, type);
    }
    case TypeId::Float:
    case TypeId::Real:
      if (storage != SQLITE_FLOAT && storage != SQLITE_INTEGER) return Mismatch(stmt, col, storage, type);
      out = Value::Float(sqlite3_column_double(stmt, col));
      return std::nullopt;
    case TypeId::DateTime:
    case TypeId::SmallDateTime:
    case TypeId::Date: {
      if (storage != SQLITE_INTEGER) return Mismatch(stmt, col, storage, type);
      const int64_t ticks = sqlite3_column_int64(stmt, col);
      if (ticks < DateTicksMin(type.id) || ticks > DateTicksMax(type.id)) {
        return MakeError(242, {"varchar", std::string(type.MessageName())});
      }
      out = Value::DateTime(ticks);
      return std::nullopt;
    }
    default: {
      // Strings; a number stored in a string column reads as its text.
      const std::string_view text = ColumnText(stmt, col);
      if (type.length != SqlType::kMaxLength && text.size() > static_cast<size_t>(type.length) &&
          util::CharCount(text) > static_cast<size_t>(type.length)) {
        return MakeError(8152);
      }
      out = Value::String(text);
      return std::nullopt;
    }
  }
}

}  // namespace orv::tsql
