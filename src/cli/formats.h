// The output formats of orvdata: an aligned text table (the default), CSV (RFC 4180), JSON (an
// array of objects) and a Markdown table. Every format writes one ResultTable; the row kinds
// (subtotal, grand total) are set apart in the table and Markdown forms.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"
#include "cli/result_table.h"

namespace orv::cli {

enum class Format { kTable, kCsv, kJson, kMarkdown };

// "table", "csv", "json", "markdown" (or "md"), any case.
std::optional<Format> ParseFormat(std::string_view text);

struct FormatStyle {
  bool emphasis = false;  // table: ANSI bold subtotal and total rows, dim NULL (a terminal)
  bool row_count = true;  // table: the "(n rows)" line after the rows
};

void WriteTable(std::ostream& out, const ResultTable& table, Format format,
                const FormatStyle& style = {});

// A date as ISO 8601: "yyyy-mm-dd" at midnight, else "yyyy-mm-ddThh:mm:ss" (".mmm" when the
// milliseconds are not 0).
std::string IsoDate(const automation::DateValue& date);

// A decimal text ("12.5000") with its fraction cut or padded to `scale` digits, never cutting
// a non-zero digit.
std::string RescaleDecimalText(std::string_view text, int scale);

}  // namespace orv::cli
