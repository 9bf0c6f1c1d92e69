// Binding and reading stored values, with the checks that a read value fits its column.
#include "tsql/storage/stored_values.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "tsql/types/datetime.h"
#include "tsql/types/decimal.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

std::string_view ValueText(sqlite3_value* value) {
  const unsigned char* t = sqlite3_value_text(value);
  const int n = sqlite3_value_bytes(value);
  return t ? std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n))
           : std::string_view();
}

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
// `scale` decimals and at most precision - scale integral digits. Tables of a million rows hold
// millions of these: the digits are gathered in 64 bits while they fit.
enum class DecimalText { kOk, kInvalid, kOverflow };
DecimalText ParseDecimalDigits(std::string_view text, int precision, int scale, Int128& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t small = 0;
  unsigned __int128 big = 0;
  int digits = 0;  // gathered, leading zeros left out
  int integral = 0, fraction = 0;
  bool any = false, point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    const unsigned d = static_cast<unsigned>(c - '0');
    if (d > 9) return DecimalText::kInvalid;
    any = true;
    if (point) {
      if (++fraction > scale) return DecimalText::kOverflow;
    } else if (integral > 0 || d != 0) {
      if (++integral > precision - scale) return DecimalText::kOverflow;
    }
    if (digits == 0 && d == 0) continue;
    if (++digits <= 18) {
      small = small * 10 + d;
    } else {
      if (digits == 19) big = small;
      big = big * 10 + d;
    }
  }
  if (!any) return DecimalText::kInvalid;
  // Up to the column's scale: 10^(scale - fraction), at most 10^38.
  const int shift = scale - fraction;
  if (digits + shift <= 18) {
    for (int k = 0; k < shift; ++k) small *= 10;
    out = negative ? -static_cast<Int128>(small) : static_cast<Int128>(small);
    return DecimalText::kOk;
  }
  if (digits <= 18) big = small;
  for (int k = 0; k < shift; ++k) big *= 10;
  out = negative ? -static_cast<Int128>(big) : static_cast<Int128>(big);
  return DecimalText::kOk;
}

// The usual stored text ("-12.5000000000": at most 18 digits, no leading zeros beyond one, no
// more decimals than the scale) in one pass; anything else goes to ParseDecimalDigits.
DecimalText ParseStoredDecimal(std::string_view text, int precision, int scale, Int128& out) {
  static constexpr uint64_t kPow10[19] = {1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL,
                                          10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL,
                                          100000000000ULL, 1000000000000ULL, 10000000000000ULL,
                                          100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL,
                                          100000000000000000ULL, 1000000000000000000ULL};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  uint64_t acc = 0;
  const char* const integral = p;
  while (p < end && static_cast<unsigned>(*p - '0') <= 9) acc = acc * 10 + static_cast<unsigned>(*p++ - '0');
  const ptrdiff_t integral_digits = p - integral;
  ptrdiff_t fraction_digits = 0;
  if (p < end && *p == '.') {
    const char* const fraction = ++p;
    while (p < end && static_cast<unsigned>(*p - '0') <= 9) acc = acc * 10 + static_cast<unsigned>(*p++ - '0');
    fraction_digits = p - fraction;
  }
  const bool leading_zero = integral_digits > 1 && *integral == '0';
  if (p != end || integral_digits + fraction_digits == 0 || integral_digits + fraction_digits > 18 ||
      leading_zero || fraction_digits > scale || (integral_digits > precision - scale && acc != 0)) {
    return ParseDecimalDigits(text, precision, scale, out);
  }
  const int shift = scale - static_cast<int>(fraction_digits);
  if (integral_digits + fraction_digits + shift <= 18) {
    const uint64_t scaled = acc * kPow10[shift];
    out = negative ? -static_cast<Int128>(scaled) : static_cast<Int128>(scaled);
  } else {
    Int128 scaled = static_cast<Int128>(acc);
    for (int k = 0; k < shift; ++k) scaled *= 10;
    out = negative ? -scaled : scaled;
  }
  return DecimalText::kOk;
}

}  // namespace

void BindStoredValue(sqlite3_stmt* stmt, int index, const Value& v, const SqlType& type) {
  switch (v.kind()) {
    case Value::Kind::Null: sqlite3_bind_null(stmt, index); break;
    case Value::Kind::Int: sqlite3_bind_int64(stmt, index, v.int_value()); break;
    case Value::Kind::Float: sqlite3_bind_double(stmt, index, v.float_value()); break;
    case Value::Kind::DateTime: sqlite3_bind_int64(stmt, index, v.datetime_ticks()); break;
    case Value::Kind::DateTime2:
      // time and datetime2 as their 100 ns units; datetimeoffset as "units offset" text.
      if (v.datetime2_offset() == 0) {
        sqlite3_bind_int64(stmt, index, v.datetime2_units());
      } else {
        const std::string text = std::to_string(v.datetime2_units()) + " " + std::to_string(v.datetime2_offset());
        sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      }
      break;
    case Value::Kind::Decimal: {
      const std::string text = dec::ToString(v.decimal_unscaled(), v.decimal_scale());
      sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case Value::Kind::String: {
      const std::string_view s = v.string_value();
      // Bytes (binary, uniqueidentifier) as a blob, text as text.
      if (type.IsBinary() || type.id == TypeId::UniqueIdentifier) {
        sqlite3_bind_blob(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      }
      break;
    }
  }
}

StoredValueReader::StoredValueReader(const SqlType& t, bool null_allowed) : type(t), nullable(null_allowed) {
  switch (t.id) {
    case TypeId::Bit: kind = Kind::kInteger; min = 0; max = 1; break;
    case TypeId::TinyInt: kind = Kind::kInteger; min = 0; max = 255; break;
    case TypeId::SmallInt: kind = Kind::kInteger; min = -32768; max = 32767; break;
    case TypeId::Int: kind = Kind::kInteger; min = INT32_MIN; max = INT32_MAX; break;
    case TypeId::BigInt: kind = Kind::kInteger; min = INT64_MIN; max = INT64_MAX; break;
    case TypeId::Decimal: kind = Kind::kDecimal; precision = t.precision; scale = t.scale; break;
    case TypeId::Money: kind = Kind::kDecimal; precision = 19; scale = 4; break;
    case TypeId::Float:
    case TypeId::Real: kind = Kind::kFloat; break;
    case TypeId::Date:
      kind = Kind::kDate;
      min = dt::DaysFromCivil(1, 1, 1) * kTicksPerDay;
      max = dt::kMaxTicks;
      break;
    case TypeId::SmallDateTime:
      kind = Kind::kDate;
      min = 0;
      max = dt::DaysFromCivil(2079, 6, 6) * kTicksPerDay + 1439 * 60 * kTicksPerSecond;
      break;
    case TypeId::DateTime: kind = Kind::kDate; min = dt::kMinTicks; max = dt::kMaxTicks; break;
    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset: kind = Kind::kPreciseTime; break;
    case TypeId::Binary:
    case TypeId::VarBinary:
    case TypeId::UniqueIdentifier: kind = Kind::kBytes; break;
    default: kind = Kind::kString; break;
  }
}

namespace {

std::optional<SqlError> ReadValue(sqlite3_stmt* stmt, int col, const StoredValueReader& r, Value& out) {
  const int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) {
    if (!r.nullable) {
      SqlError error = MakeError(515, {"", "", ""});
      error.message = "NULL in a column that does not allow nulls.";
      return error;
    }
    out = Value::Null();
    return std::nullopt;
  }
  const SqlType& type = r.type;
  if (r.kind == StoredValueReader::Kind::kBytes) {
    const void* b = sqlite3_column_blob(stmt, col);
    const int n = sqlite3_column_bytes(stmt, col);
    if (type.length != SqlType::kMaxLength && n > type.length) return MakeError(8152);
    out = Value::String(std::string_view(static_cast<const char*>(b), static_cast<size_t>(n)));
    return std::nullopt;
  }
  if (storage == SQLITE_BLOB) return Mismatch(stmt, col, storage, type);
  switch (r.kind) {
    case StoredValueReader::Kind::kInteger: {
      int64_t v = 0;
      if (storage == SQLITE_INTEGER) {
        v = sqlite3_column_int64(stmt, col);
      } else if (storage == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(stmt, col);
        // Only a whole number inside the type's range is the integer it stands for.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return Overflow(storage, type);
        if (d != std::trunc(d)) return Mismatch(stmt, col, storage, type);
        v = static_cast<int64_t>(d);
      } else {
        return Mismatch(stmt, col, storage, type);
      }
      if (v < r.min || v > r.max) return Overflow(storage, type);
      out = Value::Int(v);
      return std::nullopt;
    }
    case StoredValueReader::Kind::kDecimal: {
      if (storage == SQLITE_FLOAT) return Mismatch(stmt, col, storage, type);
      Int128 unscaled = 0;
      switch (ParseStoredDecimal(ColumnText(stmt, col), r.precision, r.scale, unscaled)) {
        case DecimalText::kOk: out = Value::Decimal(unscaled, r.scale); return std::nullopt;
        case DecimalText::kOverflow: return Overflow(storage, type);
        case DecimalText::kInvalid: break;
      }
      return Mismatch(stmt, col, storage, type);
    }
    case StoredValueReader::Kind::kFloat:
      if (storage != SQLITE_FLOAT && storage != SQLITE_INTEGER) return Mismatch(stmt, col, storage, type);
      out = Value::Float(sqlite3_column_double(stmt, col));
      return std::nullopt;
    case StoredValueReader::Kind::kDate: {
      if (storage != SQLITE_INTEGER) return Mismatch(stmt, col, storage, type);
      const int64_t ticks = sqlite3_column_int64(stmt, col);
      if (ticks < r.min || ticks > r.max) return MakeError(242, {"varchar", std::string(type.MessageName())});
      out = Value::DateTime(ticks);
      return std::nullopt;
    }
    case StoredValueReader::Kind::kPreciseTime: {
      if (storage == SQLITE_INTEGER) {
        out = Value::DateTime2(sqlite3_column_int64(stmt, col));
        return std::nullopt;
      }
      // datetimeoffset: "units offset" with the offset in minutes.
      long long units = 0;
      int offset = 0;
      const std::string text(ColumnText(stmt, col));
      if (storage != SQLITE_TEXT || std::sscanf(text.c_str(), "%lld %d", &units, &offset) != 2) {
        return Mismatch(stmt, col, storage, type);
      }
      out = Value::DateTime2(units, offset);
      return std::nullopt;
    }
    case StoredValueReader::Kind::kBytes:
      break;
    case StoredValueReader::Kind::kString: {
      // A number stored in a string column reads as its text.
      const std::string_view text = ColumnText(stmt, col);
      if (type.length != SqlType::kMaxLength && text.size() > static_cast<size_t>(type.length) &&
          util::CharCount(text) > static_cast<size_t>(type.length)) {
        return MakeError(8152);
      }
      out = Value::String(text);
      return std::nullopt;
    }
  }
  return Mismatch(stmt, col, storage, type);
}

// The common cases of ReadValue, without building anything for a value that does not fit:
// false sends the value to ReadValue, which reads it or says why it does not fit.
// The column is taken once as a value: each sqlite3_column_ call of its own enters and leaves
// the connection (its mutex and error state), which for a row of a dozen columns read two or
// three ways each cost more than the values' reading.
inline bool ReadUsualValue(sqlite3_stmt* stmt, int col, const StoredValueReader& r, std::vector<Value>& row) {
  sqlite3_value* stored = sqlite3_column_value(stmt, col);
  const int storage = sqlite3_value_type(stored);
  if (storage == SQLITE_NULL) {
    if (!r.nullable) return false;
    row.emplace_back();
    return true;
  }
  switch (r.kind) {
    case StoredValueReader::Kind::kInteger: {
      if (storage != SQLITE_INTEGER) return false;
      const int64_t v = sqlite3_value_int64(stored);
      if (v < r.min || v > r.max) return false;
      row.push_back(Value::Int(v));
      return true;
    }
    case StoredValueReader::Kind::kDecimal: {
      if (storage != SQLITE_TEXT) return false;
      Int128 unscaled = 0;
      if (ParseStoredDecimal(ValueText(stored), r.precision, r.scale, unscaled) != DecimalText::kOk) return false;
      row.push_back(Value::Decimal(unscaled, r.scale));
      return true;
    }
    case StoredValueReader::Kind::kFloat:
      if (storage != SQLITE_FLOAT && storage != SQLITE_INTEGER) return false;
      row.push_back(Value::Float(sqlite3_value_double(stored)));
      return true;
    case StoredValueReader::Kind::kDate: {
      if (storage != SQLITE_INTEGER) return false;
      const int64_t ticks = sqlite3_value_int64(stored);
      if (ticks < r.min || ticks > r.max) return false;
      row.push_back(Value::DateTime(ticks));
      return true;
    }
    case StoredValueReader::Kind::kString: {
      if (storage != SQLITE_TEXT) return false;
      const std::string_view text = ValueText(stored);
      // No character is stored in fewer bytes than it counts: short text fits.
      if (text.size() > static_cast<size_t>(r.type.length) && r.type.length != SqlType::kMaxLength) return false;
      row.push_back(Value::String(text));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

std::optional<std::pair<size_t, SqlError>> ReadStoredRow(sqlite3_stmt* stmt, int first,
                                                         const std::vector<StoredValueReader>& readers,
                                                         std::vector<Value>& row) {
  const size_t n = readers.size();
  row.clear();
  row.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const int col = first + static_cast<int>(i);
    if (ReadUsualValue(stmt, col, readers[i], row)) [[likely]] continue;
    Value value;
    if (std::optional<SqlError> bad = ReadValue(stmt, col, readers[i], value)) return std::make_pair(i, std::move(*bad));
    row.push_back(std::move(value));
  }
  return std::nullopt;
}

}  // namespace orv::tsql
