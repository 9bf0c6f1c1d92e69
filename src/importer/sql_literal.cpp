#include "importer/sql_literal.h"

#include <charconv>
#include <cstdio>

namespace orv::importer {

using automation::VarType;

void AppendSqlLiteral(std::string& out, const automation::Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Object:
      out += "NULL";
      return;
    case VarType::Boolean:
      out += value.AsBoolean() ? '1' : '0';
      return;
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
      automation::AppendCStr(out, value);
      return;
    case VarType::Double: {
      char buffer[32];
      const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.AsDouble());
      out.append(buffer, ec == std::errc() ? end : buffer);
      return;
    }
    case VarType::Date: {
      int year, month, day, hour, minute, second, millisecond;
      value.AsDate().ToParts(year, month, day, hour, minute, second, millisecond);
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02dT%02d:%02d:%02d.%03d'", year, month,
                    day, hour, minute, second, millisecond);
      out += buffer;
      return;
    }
    case VarType::String:
      out += "N'";
      for (char c : value.AsString()) {
        out += c;
        if (c == '\'') out += '\'';
      }
      out += '\'';
      return;
  }
}

}  // namespace orv::importer
