#include "ado/odbc/odbc_values.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "ado/odbc/odbc_handles.h"
#include "automation/ascii.h"

namespace orv::ado::odbc {
namespace {

using automation::DateValue;
using automation::DecimalValue;
using automation::Variant;

// SQL Server's own type codes that drivers report.
constexpr SQLSMALLINT kSqlTime2 = -154;
constexpr SQLSMALLINT kSqlDateTimeOffset = -155;

[[noreturn]] void RaiseFetchError(SQLHSTMT statement, const OdbcColumn& column) {
  std::string text = "cannot read column '" + column.info.name + "'";
  for (const Diagnostic& d : ReadDiagnostics(SQL_HANDLE_STMT, statement)) {
    text += ": " + d.message;
  }
  RaiseAdoError(adoerr::kProviderError, text);
}

// The value in pieces as the driver hands it over; nullopt for NULL. Text comes with a
// terminating zero that is not part of it, binary data without.
std::optional<std::string> ReadLong(SQLHSTMT statement, SQLUSMALLINT index,
                                    const OdbcColumn& column, SQLSMALLINT c_type) {
  std::string out;
  char buffer[8192];
  const size_t terminator = c_type == SQL_C_CHAR ? 1 : 0;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(statement, index + 1, c_type, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) RaiseFetchError(statement, column);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const size_t room = sizeof buffer - terminator;
    size_t got;
    if (rc == SQL_SUCCESS && indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) <= room) {
      got = static_cast<size_t>(indicator);
    } else if (c_type == SQL_C_CHAR) {
      got = strnlen(buffer, room);  // a driver may stop short of a split character
    } else {
      got = room;
    }
    out.append(buffer, got);
    if (rc == SQL_SUCCESS) break;
  }
  return out;
}

template <class T>
bool ReadFixed(SQLHSTMT statement, SQLUSMALLINT index, const OdbcColumn& column,
               SQLSMALLINT c_type, T& value) {
  SQLLEN indicator = 0;
  const SQLRETURN rc = SQLGetData(statement, index + 1, c_type, &value, sizeof value, &indicator);
  if (!SQL_SUCCEEDED(rc)) RaiseFetchError(statement, column);
  return indicator != SQL_NULL_DATA;
}

// "hh:mm:ss[.fffffff]" as a time of day on day zero.
Variant TimeFromText(const std::string& text) {
  int hour = 0, minute = 0, second = 0;
  double fraction = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d", &hour, &minute, &second) != 3) return Variant(text);
  if (size_t point = text.find('.'); point != std::string::npos) {
    fraction = std::atof(text.c_str() + point);
  }
  int millisecond = static_cast<int>(fraction * 1000 + 0.5);
  if (millisecond > 999) millisecond = 999;
  return Variant(DateValue::FromParts(1899, 12, 30, hour, minute, second, millisecond));
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

}  // namespace

DecimalValue DecimalFromText(std::string_view text, int scale) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  __int128 unscaled = 0;
  int decimals = -1;  // digits read after the point; -1 before it
  for (char c : text) {
    if (c == '.') {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') break;
    if (decimals >= scale) continue;  // beyond the column's scale: cut
    unscaled = unscaled * 10 + (c - '0');
    if (decimals >= 0) ++decimals;
  }
  for (int i = decimals < 0 ? 0 : decimals; i < scale; ++i) unscaled *= 10;
  return DecimalValue{negative ? -unscaled : unscaled, scale};
}

std::string TypeText(std::string_view type_name, SQLSMALLINT sql_type, SQLULEN size,
                     SQLSMALLINT scale) {
  std::string name = automation::AsciiLower(type_name);
  if (name.empty()) {
    switch (sql_type) {
      case SQL_BIT: name = "bit"; break;
      case SQL_TINYINT: name = "tinyint"; break;
      case SQL_SMALLINT: name = "smallint"; break;
      case SQL_INTEGER: name = "int"; break;
      case SQL_BIGINT: name = "bigint"; break;
      case SQL_DECIMAL:
      case SQL_NUMERIC: name = "decimal"; break;
      case SQL_REAL: name = "real"; break;
      case SQL_FLOAT:
      case SQL_DOUBLE: name = "float"; break;
      case SQL_CHAR: name = "char"; break;
      case SQL_VARCHAR:
      case SQL_LONGVARCHAR: name = "varchar"; break;
      case SQL_WCHAR: name = "nchar"; break;
      case SQL_WVARCHAR:
      case SQL_WLONGVARCHAR: name = "nvarchar"; break;
      case SQL_TYPE_DATE: name = "date"; break;
      case SQL_TYPE_TIMESTAMP: name = "datetime"; break;
      default: return "";
    }
  }
  // The driver names smalldatetime "datetime"; its size (16 against 23) tells them apart.
  if (name == "datetime" && size == 16) return "smalldatetime";
  if (name == "numeric" || name == "decimal") {
    return "decimal(" + std::to_string(size) + "," + std::to_string(scale) + ")";
  }
  const bool national = name == "nchar" || name == "nvarchar";
  if (national || name == "char" || name == "varchar") {
    const bool max = size == 0 || size > (national ? 4000u : 8000u) ||
                     sql_type == SQL_LONGVARCHAR || sql_type == SQL_WLONGVARCHAR;
    return name + (max ? std::string("(max)") : "(" + std::to_string(size) + ")");
  }
  return name;
}

std::vector<OdbcColumn> DescribeColumns(SQLHSTMT statement, SQLSMALLINT count) {
  std::vector<OdbcColumn> columns;
  columns.reserve(static_cast<size_t>(count));
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    OdbcColumn column;
    SQLCHAR name[512] = {};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT nullable = 0;
    SQLDescribeCol(statement, i, name, sizeof name, &name_length, &column.sql_type, &column.size,
                   &column.scale, &nullable);
    column.info.name = reinterpret_cast<const char*>(name);
    SQLCHAR type_name[128] = {};
    SQLSMALLINT type_length = 0;
    SQLColAttribute(statement, i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, &type_length,
                    nullptr);
    column.info.sql_type = TypeText(reinterpret_cast<const char*>(type_name), column.sql_type,
                                    column.size, column.scale);
    columns.push_back(std::move(column));
  }
  return columns;
}

Variant ReadValue(SQLHSTMT statement, SQLUSMALLINT index, const OdbcColumn& column) {
  switch (column.sql_type) {
    case SQL_BIT: {
      unsigned char bit = 0;
      if (!ReadFixed(statement, index, column, SQL_C_BIT, bit)) return Variant::Null();
      return Variant(bit != 0);
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT v = 0;
      if (!ReadFixed(statement, index, column, SQL_C_SBIGINT, v)) return Variant::Null();
      if (column.sql_type == SQL_INTEGER) return Variant(static_cast<int32_t>(v));
      if (column.sql_type == SQL_BIGINT) return Variant(DecimalValue{v, 0});
      return Variant(static_cast<int16_t>(v));
    }
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
      const auto text = ReadLong(statement, index, column, SQL_C_CHAR);
      if (!text) return Variant::Null();
      return Variant(DecimalFromText(*text, column.scale));
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double v = 0;
      if (!ReadFixed(statement, index, column, SQL_C_DOUBLE, v)) return Variant::Null();
      return Variant(v);
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
    case kSqlDateTimeOffset: {
      SQL_TIMESTAMP_STRUCT ts{};
      if (!ReadFixed(statement, index, column, SQL_C_TYPE_TIMESTAMP, ts)) return Variant::Null();
      int millisecond = static_cast<int>((ts.fraction + 500000) / 1000000);
      if (millisecond > 999) millisecond = 999;
      return Variant(DateValue::FromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute,
                                          ts.second, millisecond));
    }
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlTime2: {
      const auto text = ReadLong(statement, index, column, SQL_C_CHAR);
      if (!text) return Variant::Null();
      return TimeFromText(*text);
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      const auto bytes = ReadLong(statement, index, column, SQL_C_BINARY);
      if (!bytes) return Variant::Null();
      return Variant(Hex(*bytes));
    }
    default: {
      auto text = ReadLong(statement, index, column, SQL_C_CHAR);
      if (!text) return Variant::Null();
      return Variant(std::move(*text));
    }
  }
}

}  // namespace orv::ado::odbc
