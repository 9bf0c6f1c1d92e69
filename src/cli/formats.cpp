#include "cli/formats.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <ostream>
#include <vector>

#include "cli/text_width.h"

namespace orv::cli {

namespace {

using automation::Variant;
using automation::VarType;

constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";

// Digits after the point that carry a non-zero value ("12.50" -> 1, "3.000" -> 0).
int SignificantScale(std::string_view text) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return 0;
  size_t last = text.size();
  while (last > point + 1 && text[last - 1] == '0') --last;
  return static_cast<int>(last - point - 1);
}

// A double in plain digits (shortest text that reads back exactly), an exponent only for very
// large or very small magnitudes.
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

// Control characters (line breaks, tabs) would break a table row: shown as one space each.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

// Text of a value in the text and Markdown tables; decimals are brought to `scale` digits.
std::string DisplayText(const Variant& v, int scale) {
  switch (v.type()) {
    case VarType::Null:
      return "NULL";
    case VarType::Empty:
      return "";
    case VarType::Decimal:
      return RescaleDecimalText(automation::CStr(v), scale);
    case VarType::Date:
      return automation::CStr(v);
    case VarType::Double:
      return DoubleText(v.AsDouble());
    default:
      return OneLine(automation::CStr(v));
  }
}

// Text of a value in CSV: Null is an empty field, dates are ISO.
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

// The scale of a declared "decimal(p,s)" / "numeric(p,s)" type; 0 when not given.
int DeclaredScale(const std::string& sql_type) {
  const size_t comma = sql_type.find(',');
  if (comma == std::string::npos) return 0;
  return std::atoi(sql_type.c_str() + comma + 1);
}

// Per column: the decimal scale that shows every value of the column without trailing zeros,
// but at least two digits (or the declared scale when smaller), as amounts are read.
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

std::string Pad(const std::string& text, size_t width, bool right) {
  const size_t used = DisplayWidth(text);
  const std::string fill(width > used ? width - used : 0, ' ');
  return right ? fill + text : text + fill;
}

void WriteTextTable(std::ostream& out, const ResultTable& table, const FormatStyle& style) {
  const size_t n = table.columns.size();
  const std::vector<int> scales = ColumnScales(table);
  std::vector<bool> numeric(n);
  for (size_t i = 0; i < n; ++i) numeric[i] = IsNumericColumn(table, i);

  std::vector<std::vector<std::string>> cells;
  cells.reserve(table.rows.size());
  std::vector<size_t> widths(n);
  for (size_t i = 0; i < n; ++i) widths[i] = DisplayWidth(table.columns[i].name);
  for (const auto& row : table.rows) {
    std::vector<std::string> line;
    for (size_t i = 0; i < n; ++i) {
      line.push_back(DisplayText(row[i], scales[i]));
      widths[i] = std::max(widths[i], DisplayWidth(line.back()));
    }
    cells.push_back(std::move(line));
  }

  auto rule = [&](char c) {
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) out << c << '+' << c;
      out << std::string(widths[i], c);
    }
    out << '\n';
  };
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out << " | ";
    out << (i + 1 < n ? Pad(table.columns[i].name, widths[i], false) : table.columns[i].name);
  }
  out << '\n';
  rule('-');
  for (size_t r = 0; r < cells.size(); ++r) {
    const RowKind kind = table.kinds[r];
    if (kind == RowKind::kTotal) rule('=');
    const bool bold = style.emphasis && kind != RowKind::kDetail;
    if (bold) out << kBold;
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) out << " | ";
      const bool is_null = table.rows[r][i].IsNull();
      std::string text = Pad(cells[r][i], widths[i], numeric[i] || is_null);
      // Trailing spaces of the last column are left out.
      if (i + 1 == n) text.erase(text.find_last_not_of(' ') + 1);
      if (is_null && style.emphasis) {
        out << kDim << text << kReset;
        if (bold) out << kBold;
      } else {
        out << text;
      }
    }
    if (bold) out << kReset;
    out << '\n';
    // A blank line closes each group that a subtotal ends.
    if (kind == RowKind::kSubtotal && r + 1 < cells.size()) out << '\n';
  }
  if (style.row_count) {
    out << '(' << cells.size() << (cells.size() == 1 ? " row)" : " rows)") << '\n';
  }
}

// Appends one CSV field: quoted (with doubled quotes) only when it holds a comma, a quote or
// a line break.
void AppendCsvField(std::string& line, std::string_view text) {
  // One pass over the text (find_first_of makes one per character it looks for).
  const bool quote = std::any_of(text.begin(), text.end(), [](char c) {
    return c == ',' || c == '"' || c == '\r' || c == '\n';
  });
  if (!quote) {
    line.append(text);
    return;
  }
  line.push_back('"');
  for (char c : text) {
    if (c == '"') line.push_back('"');
    line.push_back(c);
  }
  line.push_back('"');
}

void Write(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Writes count rows, each appended as text by append_row(r, text). A report result can have
// millions of fields, and turning them into text is most of the cost of writing it: rows go in
// chunks, two chunks formatted at a time on two threads, and come out in row order.
void WriteRows(std::ostream& out, size_t count,
               const std::function<void(size_t, std::string&)>& append_row) {
  constexpr size_t kChunk = 4096;
  auto format = [&](size_t begin, size_t end, std::string& text) {
    text.clear();
    for (size_t r = begin; r < end; ++r) append_row(r, text);
  };
  std::string first, second;
  for (size_t start = 0; start < count; start += 2 * kChunk) {
    const size_t mid = std::min(start + kChunk, count);
    const size_t end = std::min(start + 2 * kChunk, count);
    std::future<void> helper;
    if (mid < end) helper = std::async(std::launch::async, format, mid, end, std::ref(second));
    format(start, mid, first);
    if (helper.valid()) helper.get();
    Write(out, first);
    if (mid < end) Write(out, second);
  }
}

void WriteCsv(std::ostream& out, const ResultTable& table) {
  std::string header;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) header.push_back(',');
    AppendCsvField(header, table.columns[i].name);
  }
  header += "\r\n";
  Write(out, header);
  WriteRows(out, table.row_count(), [&](size_t r, std::string& line) {
    thread_local std::vector<Variant> buffer;
    const auto& row = table.Row(r, buffer);
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line.push_back(',');
      switch (row[i].type()) {
        case VarType::Null:
        case VarType::Empty:
          break;
        case VarType::String:
          AppendCsvField(line, row[i].AsString());
          break;
        case VarType::Boolean:
        case VarType::Integer:
        case VarType::Long:
        case VarType::Decimal:
          // Digits, a sign, a point, True/False: nothing to quote.
          automation::AppendCStr(line, row[i]);
          break;
        default:
          AppendCsvField(line, PlainText(row[i]));
      }
    }
    line += "\r\n";
  });
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string JsonValue(const Variant& v) {
  switch (v.type()) {
    case VarType::Null:
    case VarType::Empty:
    case VarType::Object:
      return "null";
    case VarType::Boolean:
      return v.AsBoolean() ? "true" : "false";
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
      return automation::CStr(v);
    case VarType::Double:
      return std::isfinite(v.AsDouble()) ? DoubleText(v.AsDouble()) : "null";
    case VarType::Date:
      return JsonString(IsoDate(v.AsDate()));
    case VarType::String:
      return JsonString(v.AsString());
  }
  return "null";
}

void AppendJsonValue(std::string& out, const Variant& v) {
  switch (v.type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
      automation::AppendCStr(out, v);
      break;
    default:
      out += JsonValue(v);
  }
}

// JSON keys: an unnamed column becomes "column<n>", a repeated name gets "_2", "_3"...
std::vector<std::string> JsonKeys(const ResultTable& table) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    std::string key =
        table.columns[i].name.empty() ? "column" + std::to_string(i + 1) : table.columns[i].name;
    const std::string base = key;
    for (int k = 2; std::find(keys.begin(), keys.end(), key) != keys.end(); ++k) {
      key = base + "_" + std::to_string(k);
    }
    keys.push_back(key);
  }
  return keys;
}

void WriteJson(std::ostream& out, const ResultTable& table) {
  const std::vector<std::string> keys = JsonKeys(table);
  const size_t count = table.row_count();
  if (count == 0) {
    out << "[]\n";
    return;
  }
  std::vector<std::string> prefixes;  // ", \"key\": " (the first without the comma)
  for (size_t i = 0; i < keys.size(); ++i) {
    prefixes.push_back((i > 0 ? ", " : "") + JsonString(keys[i]) + ": ");
  }
  out << "[\n";
  WriteRows(out, count, [&](size_t r, std::string& line) {
    thread_local std::vector<Variant> buffer;
    const auto& row = table.Row(r, buffer);
    line += "  {";
    for (size_t i = 0; i < keys.size(); ++i) {
      line += prefixes[i];
      AppendJsonValue(line, row[i]);
    }
    line += r + 1 < count ? "},\n" : "}\n";
  });
  out << "]\n";
}

std::string MarkdownCell(std::string text) {
  std::string out;
  for (char c : OneLine(std::move(text))) {
    if (c == '|') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

void WriteMarkdown(std::ostream& out, const ResultTable& table) {
  const std::vector<int> scales = ColumnScales(table);
  out << '|';
  for (const auto& column : table.columns) out << ' ' << MarkdownCell(column.name) << " |";
  out << "\n|";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    out << (IsNumericColumn(table, i) ? " ---: |" : " --- |");
  }
  out << '\n';
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const bool strong = table.kinds[r] != RowKind::kDetail;
    out << '|';
    for (size_t i = 0; i < table.columns.size(); ++i) {
      std::string text = MarkdownCell(DisplayText(table.rows[r][i], scales[i]));
      if (strong && !text.empty()) text = "**" + text + "**";
      out << ' ' << text << " |";
    }
    out << '\n';
  }
}

}  // namespace

std::optional<Format> ParseFormat(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "table") return Format::kTable;
  if (lower == "csv") return Format::kCsv;
  if (lower == "json") return Format::kJson;
  if (lower == "markdown" || lower == "md") return Format::kMarkdown;
  return std::nullopt;
}

void WriteTable(std::ostream& out, const ResultTable& table, Format format,
                const FormatStyle& style) {
  if (table.source && format != Format::kCsv && format != Format::kJson) {
    ResultTable converted = table;
    converted.Materialize();
    WriteTable(out, converted, format, style);
    return;
  }
  switch (format) {
    case Format::kTable:
      WriteTextTable(out, table, style);
      break;
    case Format::kCsv:
      WriteCsv(out, table);
      break;
    case Format::kJson:
      WriteJson(out, table);
      break;
    case Format::kMarkdown:
      WriteMarkdown(out, table);
      break;
  }
}

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

}  // namespace orv::cli
