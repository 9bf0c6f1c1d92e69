#include "export/text_table.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "export/text_width.h"
#include "export/value_text.h"

namespace orv::exports {

namespace {

constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";
constexpr size_t kNarrowest = 6;  // a column is not cut below this many terminal columns

std::string Pad(const std::string& text, size_t width, bool right) {
  const size_t used = DisplayWidth(text);
  const std::string fill(width > used ? width - used : 0, ' ');
  return right ? fill + text : text + fill;
}

// Cuts the widest columns, one terminal column at a time, until the line fits `limit`, no
// column below its `minimum`. What still does not fit wraps.
void FitWidths(std::vector<size_t>& widths, const std::vector<size_t>& minimum,
               size_t separator_width, size_t limit) {
  if (limit == 0 || widths.empty()) return;
  size_t total = separator_width * (widths.size() - 1);
  for (size_t w : widths) total += w;
  while (total > limit) {
    size_t widest = widths.size();
    for (size_t i = 0; i < widths.size(); ++i) {
      if (widths[i] <= minimum[i]) continue;
      if (widest == widths.size() || widths[i] > widths[widest]) widest = i;
    }
    if (widest == widths.size()) break;
    --widths[widest];
    --total;
  }
}

void WriteExpanded(std::ostream& out, const ResultTable& table,
                   const std::vector<std::vector<std::string>>& cells,
                   const WriteOptions& options) {
  size_t name_width = 0;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    name_width = std::max(name_width, DisplayWidth(Heading(table, i, options)));
  }
  for (size_t r = 0; r < cells.size(); ++r) {
    out << "-[ RECORD " << (r + 1) << " ]" << std::string(name_width > 8 ? name_width - 8 : 1, '-')
        << '\n';
    for (size_t i = 0; i < table.columns.size(); ++i) {
      std::string value = cells[r][i];
      if (options.width > name_width + 3) value = TruncateToWidth(value, options.width - name_width - 3);
      out << Pad(Heading(table, i, options), name_width, false) << " | " << value << '\n';
    }
  }
  if (options.row_count) {
    out << '(' << cells.size() << (cells.size() == 1 ? " row)" : " rows)") << '\n';
  }
}

}  // namespace

const std::string& Heading(const ResultTable& table, size_t i, const WriteOptions& options) {
  const ResultColumn& column = table.columns[i];
  return options.captions && !column.caption.empty() ? column.caption : column.name;
}

void WriteTextTable(std::ostream& out, const ResultTable& table, const WriteOptions& options) {
  const size_t n = table.columns.size();
  const std::vector<int> scales = ColumnScales(table);
  const std::string null_text = HasRowKindColumns(table) ? std::string() : options.null_text;
  std::vector<bool> numeric(n);
  for (size_t i = 0; i < n; ++i) numeric[i] = IsNumericColumn(table, i) && !table.columns[i].is_code;

  std::vector<std::vector<std::string>> cells;
  cells.reserve(table.rows.size());
  std::vector<size_t> widths(n);
  for (size_t i = 0; i < n; ++i) {
    widths[i] = options.headers ? DisplayWidth(Heading(table, i, options)) : 0;
  }
  for (const auto& row : table.rows) {
    std::vector<std::string> line;
    line.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      line.push_back(DisplayText(row[i], scales[i], null_text));
      widths[i] = std::max(widths[i], DisplayWidth(line.back()));
    }
    cells.push_back(std::move(line));
  }
  if (options.expanded) {
    WriteExpanded(out, table, cells, options);
    return;
  }
  // Numbers are never cut (a cut number reads as another number), only their headings; other
  // columns keep at least kNarrowest terminal columns.
  std::vector<size_t> minimum(n);
  for (size_t i = 0; i < n; ++i) {
    minimum[i] = std::min(widths[i], kNarrowest);
    if (numeric[i]) {
      for (const auto& line : cells) minimum[i] = std::max(minimum[i], DisplayWidth(line[i]));
    }
  }
  FitWidths(widths, minimum, DisplayWidth(options.separator), options.width);
  size_t total = DisplayWidth(options.separator) * (n > 0 ? n - 1 : 0);
  for (size_t w : widths) total += w;
  if (options.width > 0 && total > options.width) {
    // Too many columns for the width even with every cell cut: a block per row reads better
    // than wrapped lines.
    WriteExpanded(out, table, cells, options);
    return;
  }

  // A cell as it is printed: cut to its column, padded unless trimmed.
  auto cell = [&](const std::string& text, size_t i, bool right) {
    std::string shown = TruncateToWidth(text, widths[i]);
    if (options.trim) return shown;
    shown = Pad(shown, widths[i], right);
    return shown;
  };
  auto end_line = [&](std::string& line) {
    // Trailing spaces of the last column are left out.
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
  };
  auto rule = [&](char c) {
    std::string line;
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) {
        for (char s : options.separator) line.push_back(s == ' ' ? c : '+');
      }
      line.append(widths[i], c);
    }
    out << line << '\n';
  };
  const bool rules = options.separator == " | " && !options.trim;
  if (options.headers) {
    std::string line;
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) line += options.separator;
      line += cell(Heading(table, i, options), i, false);
    }
    end_line(line);
    if (rules) rule('-');
  }
  const bool kinds = table.kinds.size() == cells.size();
  for (size_t r = 0; r < cells.size(); ++r) {
    const RowKind kind = kinds ? table.kinds[r] : RowKind::kDetail;
    if (kind == RowKind::kTotal && rules) rule('=');
    const bool bold = options.emphasis && kind != RowKind::kDetail;
    std::string line;
    if (bold) line += kBold;
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) line += options.separator;
      const bool is_null = table.rows[r][i].IsNull();
      std::string text = cell(cells[r][i], i, numeric[i] || (is_null && !null_text.empty()));
      if (i + 1 == n) text.erase(text.find_last_not_of(' ') + 1);
      if (is_null && options.emphasis && !null_text.empty()) {
        line += kDim;
        line += text;
        line += kReset;
        if (bold) line += kBold;
      } else {
        line += text;
      }
    }
    if (bold) line += kReset;
    end_line(line);
    // A blank line closes each group that a subtotal ends.
    if (kind == RowKind::kSubtotal && r + 1 < cells.size()) out << '\n';
  }
  if (options.row_count) {
    out << '(' << cells.size() << (cells.size() == 1 ? " row)" : " rows)") << '\n';
  }
}

}  // namespace orv::exports
