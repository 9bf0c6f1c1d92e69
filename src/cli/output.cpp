// Text-table output and error reporting of orvdata.
#include "cli/output.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "automation/variant.h"
#include "cli/exit_status.h"

namespace orv::cli {

namespace {

// Display width of UTF-8 text: one column per code point, two for CJK ideographs and
// full-width forms, so Chinese item names line up.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    for (size_t k = 1; k < len && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
    i += len;
  }
  return width;
}

std::string CellText(const automation::Variant& value) {
  if (value.IsNull()) return "NULL";
  return automation::CStr(value);
}

void PrintRow(std::ostream& out, const std::vector<std::string>& cells,
              const std::vector<size_t>& widths) {
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out << " | ";
    out << cells[i];
    if (i + 1 < cells.size()) out << std::string(widths[i] - DisplayWidth(cells[i]), ' ');
  }
  out << '\n';
}

}  // namespace

void PrintTable(std::ostream& out, ado::Recordset& rs) {
  std::vector<std::string> header;
  for (size_t i = 0; i < rs.FieldCount(); ++i) header.push_back(rs.Fields(i).Name());
  std::vector<std::vector<std::string>> rows;
  for (; !rs.EOF(); rs.MoveNext()) {
    std::vector<std::string> row;
    for (size_t i = 0; i < rs.FieldCount(); ++i) row.push_back(CellText(rs.Fields(i).Value()));
    rows.push_back(std::move(row));
  }
  std::vector<size_t> widths(header.size());
  for (size_t i = 0; i < header.size(); ++i) {
    widths[i] = DisplayWidth(header[i]);
    for (const auto& row : rows) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  PrintRow(out, header, widths);
  for (size_t i = 0; i < widths.size(); ++i) {
    if (i > 0) out << "-+-";
    out << std::string(widths[i], '-');
  }
  out << '\n';
  for (const auto& row : rows) PrintRow(out, row, widths);
  out << "(" << rows.size() << (rows.size() == 1 ? " row)" : " rows)") << '\n';
}

void PrintError(std::ostream& err, const automation::ErrorInfo& error) {
  err << "error " << error.number << ": " << error.description;
  if (!error.source.empty()) err << " [source: " << error.source << "]";
  err << '\n';
}

int Guarded(const std::function<void()>& action) {
  try {
    action();
    return kExitSuccess;
  } catch (...) {
    PrintError(std::cerr, automation::CurrentErrorInfo());
    return kExitFailure;
  }
}

}  // namespace orv::cli
