#include "export/value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orv::exports {

namespace {

using automation::Variant;
using automation::VarType;

// Digits after the point that carry a non-zero value ("12.50" -> 1, "3.000" -> 0).
int SignificantScale(std::string_view text) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return 0;
  size_t last = text.size();
  while (last > point + 1 && text[last - 1] == '0') --last;
  return static_cast<int>(last - point - 1);
}

// Control characters (line breaks, tabs) would break a table row: shown as one space each.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

}  // namespace

std::string IsoDate(const automation::DateValue& date) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  date.ToParts(year, month, day, hour, minute, second, ms);
  char buf[40];
  if (hour == 0 && minute == 0 && second == 0 && ms == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  } else if (ms == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute,
                  second);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, hour,
                  minute, second, ms);
  }
  return buf;
}

std::string DisplayDate(const automation::DateValue& date) {
  std::string text = IsoDate(date);
  if (text.size() > 10) text[10] = ' ';
  return text;
}

std::string RescaleDecimalText(std::string_view text, int scale) {
  std::string out(text);
  const size_t point = out.find('.');
  const int have = point == std::string::npos ? 0 : static_cast<int>(out.size() - point - 1);
  const int keep = std::max(scale, SignificantScale(text));
  if (have > keep) {
    out.erase(out.size() - static_cast<size_t>(have - keep));
    if (keep == 0) out.pop_back();  // the point itself
  } else if (have < keep) {
    if (point == std::string::npos) out.push_back('.');
    out.append(static_cast<size_t>(keep - have), '0');
  }
  return out;
}

std::string DoubleText(double value) {
  if (!std::isfinite(value)) return automation::CStr(Variant(value));
  char buf[400];
  const double magnitude = std::fabs(value);
  const auto format = magnitude == 0 || (magnitude >= 1e-9 && magnitude < 1e21)
                          ? std::chars_format::fixed
                          : std::chars_format::general;
  const auto result = std::to_chars(buf, buf + sizeof buf, value, format);
  return std::string(buf, result.ptr);
}

std::string DisplayText(const Variant& v, int scale, std::string_view null_text) {
  switch (v.type()) {
    case VarType::Null:
      return std::string(null_text);
    case VarType::Empty:
      return "";
    case VarType::Decimal:
      return RescaleDecimalText(automation::CStr(v), scale);
    case VarType::Date:
      return DisplayDate(v.AsDate());
    case VarType::Double:
      return DoubleText(v.AsDouble());
    default:
      return OneLine(automation::CStr(v));
  }
}

std::string PlainText(const Variant& v) {
  switch (v.type()) {
    case VarType::Null:
    case VarType::Empty:
      return "";
    case VarType::Date:
      return IsoDate(v.AsDate());
    case VarType::Double:
      return DoubleText(v.AsDouble());
    default:
      return automation::CStr(v);
  }
}

int DeclaredScale(const std::string& sql_type) {
  const size_t comma = sql_type.find(',');
  if (comma == std::string::npos) return 0;
  return std::atoi(sql_type.c_str() + comma + 1);
}

std::vector<int> ColumnScales(const ResultTable& table) {
  std::vector<int> scales(table.columns.size(), 0);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    scales[i] = std::min(2, DeclaredScale(table.columns[i].sql_type));
  }
  for (const auto& row : table.rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i].type() == VarType::Decimal) {
        scales[i] = std::max(scales[i], SignificantScale(automation::CStr(row[i])));
      }
    }
  }
  return scales;
}

}  // namespace orv::exports
