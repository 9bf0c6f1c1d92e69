// The XLSX writer on libxlsxwriter: one sheet per result, typed cells, a format per column
// scale, bold subtotal and total rows, a frozen heading row, an auto-filter and column widths.
#include <xlsxwriter.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "automation/error.h"
#include "export/text_table.h"
#include "export/text_width.h"
#include "export/value_text.h"
#include "export/writer.h"

namespace orv::exports {

namespace {

using automation::Variant;
using automation::VarType;

constexpr double kMaxColumnWidth = 60;

// Sheet names: at most 31 characters, none of []:*?/\ .
std::string SheetName(const std::string& title, int number) {
  std::string name = title.empty() ? "Result " + std::to_string(number) : title;
  for (char& c : name) {
    if (std::string_view("[]:*?/\\").find(c) != std::string_view::npos) c = ' ';
  }
  if (name.size() > 31) name.resize(31);
  return name;
}

// "#,##0" followed by the scale's zeros after a point: 2 -> "#,##0.00".
std::string NumberFormat(int scale) {
  std::string format = "#,##0";
  if (scale > 0) format += "." + std::string(static_cast<size_t>(scale), '0');
  return format;
}

class XlsxWriter : public ResultWriter {
 public:
  XlsxWriter(std::string path, const WriteOptions& options)
      : path_(std::move(path)), options_(options) {
    workbook_ = workbook_new(path_.c_str());
    if (workbook_ == nullptr) Fail("cannot create it");
  }

  ~XlsxWriter() override {
    // A workbook not finished (an error on the way) is still closed to free it; the partial
    // file is the caller's to remove.
    if (workbook_ != nullptr) workbook_close(workbook_);
  }

  void Write(const ResultTable& given) override {
    ResultTable table = given;
    table.Materialize();
    EnsureRowKinds(table);
    lxw_worksheet* sheet =
        workbook_add_worksheet(workbook_, SheetName(table.title, ++sheets_).c_str());
    if (sheet == nullptr) Fail("cannot add a sheet");
    const std::vector<int> scales = ColumnScales(table);
    const size_t n = table.columns.size();
    std::vector<double> widths(n, 0);
    lxw_format* heading = Format(Style{true, Kind::kText, 0});
    for (size_t i = 0; i < n; ++i) {
      const std::string& text = Heading(table, i, options_);
      worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(i), text.c_str(), heading);
      widths[i] = static_cast<double>(DisplayWidth(text));
    }
    for (size_t r = 0; r < table.rows.size(); ++r) {
      const bool bold = table.kinds[r] != RowKind::kDetail;
      const auto row = static_cast<lxw_row_t>(r + 1);
      for (size_t i = 0; i < n; ++i) {
        const Variant& v = table.rows[r][i];
        const auto col = static_cast<lxw_col_t>(i);
        double width = 0;
        switch (v.type()) {
          case VarType::Null:
          case VarType::Empty:
            if (bold) worksheet_write_blank(sheet, row, col, Format(Style{true, Kind::kText, 0}));
            break;
          case VarType::Integer:
          case VarType::Long:
          case VarType::Decimal:
          case VarType::Double: {
            if (table.columns[i].is_code) {
              const std::string text = PlainText(v);
              worksheet_write_string(sheet, row, col, text.c_str(), Format(Style{bold, Kind::kText, 0}));
              width = static_cast<double>(DisplayWidth(text));
              break;
            }
            const int scale = v.type() == VarType::Double ? std::max(scales[i], 2) : scales[i];
            worksheet_write_number(sheet, row, col, automation::CDbl(v),
                                   Format(Style{bold, Kind::kNumber, scale}));
            width = static_cast<double>(DisplayText(v, scale, "").size()) + 2;
            break;
          }
          case VarType::Date: {
            int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
            v.AsDate().ToParts(year, month, day, hour, minute, second, ms);
            lxw_datetime when{year, month, day, hour, minute, second + ms / 1000.0};
            const bool timed = hour != 0 || minute != 0 || second != 0 || ms != 0;
            worksheet_write_datetime(sheet, row, col, &when,
                                     Format(Style{bold, timed ? Kind::kDateTime : Kind::kDate, 0}));
            width = timed ? 19 : 10;
            break;
          }
          case VarType::Boolean:
            worksheet_write_boolean(sheet, row, col, v.AsBoolean() ? 1 : 0,
                                    Format(Style{bold, Kind::kText, 0}));
            width = 5;
            break;
          default: {
            const std::string text = automation::CStr(v);
            worksheet_write_string(sheet, row, col, text.c_str(), Format(Style{bold, Kind::kText, 0}));
            width = static_cast<double>(DisplayWidth(text));
          }
        }
        widths[i] = std::max(widths[i], width);
      }
    }
    for (size_t i = 0; i < n; ++i) {
      worksheet_set_column(sheet, static_cast<lxw_col_t>(i), static_cast<lxw_col_t>(i),
                           std::min(widths[i] + 2, kMaxColumnWidth), nullptr);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    if (n > 0) {
      worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(table.rows.size()),
                           static_cast<lxw_col_t>(n - 1));
    }
  }

  void Finish() override {
    if (sheets_ == 0) Write(ResultTable{});
    lxw_workbook* workbook = workbook_;
    workbook_ = nullptr;
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) Fail(lxw_strerror(error));
  }

 private:
  enum class Kind { kText, kNumber, kDate, kDateTime };
  struct Style {
    bool bold;
    Kind kind;
    int scale;
    bool operator<(const Style& o) const {
      return std::tie(bold, kind, scale) < std::tie(o.bold, o.kind, o.scale);
    }
  };

  // One workbook format per style, made on first use.
  lxw_format* Format(const Style& style) {
    auto it = formats_.find(style);
    if (it != formats_.end()) return it->second;
    lxw_format* format = workbook_add_format(workbook_);
    if (style.bold) format_set_bold(format);
    switch (style.kind) {
      case Kind::kText:
        break;
      case Kind::kNumber:
        format_set_num_format(format, NumberFormat(style.scale).c_str());
        break;
      case Kind::kDate:
        format_set_num_format(format, "yyyy-mm-dd");
        break;
      case Kind::kDateTime:
        format_set_num_format(format, "yyyy-mm-dd hh:mm:ss");
        break;
    }
    formats_.emplace(style, format);
    return format;
  }

  [[noreturn]] void Fail(const std::string& why) {
    automation::Raise(automation::err::kAutomationError, "orvdata",
                      "cannot write the spreadsheet '" + path_ + "': " + why);
  }

  std::string path_;
  WriteOptions options_;
  lxw_workbook* workbook_ = nullptr;
  int sheets_ = 0;
  std::map<Style, lxw_format*> formats_;
};

}  // namespace

std::unique_ptr<ResultWriter> MakeXlsxWriter(const std::string& path, const WriteOptions& options) {
  return std::make_unique<XlsxWriter>(path, options);
}

}  // namespace orv::exports
