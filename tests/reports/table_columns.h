// Test helpers for the column lists of CREATE TABLE statements inside generated batches: cut a
// list out for comparison, or split it into (name, normalized type) pairs.
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::reports::testing {

// Position of the "(" that opens the column list after `marker`, and of its matching ")".
inline std::pair<size_t, size_t> ColumnListSpan(std::string_view text, std::string_view marker) {
  const size_t at = text.find(marker);
  if (at == std::string_view::npos) return {std::string_view::npos, std::string_view::npos};
  const size_t open = text.find('(', at + marker.size() - (marker.back() == '(' ? 1 : 0));
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return {open, i};
  }
  return {std::string_view::npos, std::string_view::npos};
}

// The text with the column list after `marker` replaced by "(...)" (unchanged when absent).
inline std::string CollapseColumnList(std::string_view text, std::string_view marker) {
  const auto [open, close] = ColumnListSpan(text, marker);
  if (open == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, open)) + "(...)" + std::string(text.substr(close + 1));
}

// Lower case, blanks and line breaks collapsed, "default(0)" and "default (0)" written as
// "default 0".
inline std::string NormalizeType(std::string_view type) {
  std::string out;
  for (char c : type) {
    const bool blank = c == ' ' || c == '\r' || c == '\n' || c == '\t';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
    } else {
      out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  for (const char* form : {"default (0)", "default(0)"}) {
    const size_t at = out.find(form);
    if (at != std::string::npos) out.replace(at, std::string_view(form).size(), "default 0");
  }
  return out;
}

struct ColumnDef {
  std::string name;
  std::string type;  // normalized
  friend bool operator==(const ColumnDef&, const ColumnDef&) = default;
};

// The columns defined after `marker`, in order.
inline std::vector<ColumnDef> ColumnDefs(std::string_view text, std::string_view marker) {
  std::vector<ColumnDef> out;
  const auto [open, close] = ColumnListSpan(text, marker);
  if (open == std::string_view::npos) return out;
  const std::string_view list = text.substr(open + 1, close - open - 1);
  int depth = 0;
  size_t start = 0;
  auto flush = [&](size_t end) {
    const std::string def = NormalizeType(list.substr(start, end - start));
    const size_t blank = def.find(' ');
    if (def.empty()) return;
    ColumnDef column;
    // Names keep their letter case from the original text.
    const std::string_view raw = list.substr(start, end - start);
    const size_t name_at = raw.find_first_not_of(" \r\n\t");
    column.name = std::string(raw.substr(name_at, blank));
    column.type = blank == std::string::npos ? "" : def.substr(blank + 1);
    out.push_back(std::move(column));
  };
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == '(') ++depth;
    if (list[i] == ')') --depth;
    if (list[i] == ',' && depth == 0) {
      flush(i);
      start = i + 1;
    }
  }
  flush(list.size());
  return out;
}

}  // namespace orv::reports::testing
