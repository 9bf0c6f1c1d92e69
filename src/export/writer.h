// The output writers: an aligned text table, CSV (RFC 4180), JSON, JSON Lines, Markdown and
// XLSX. A writer takes the results of one command (or one HTTP request) one after another and
// turns them into one document: JSON of several results is one array of result arrays, XLSX
// puts each result on a sheet of its own, the text forms separate them by a blank line.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "export/result_table.h"

namespace orv::exports {

enum class Format { kTable, kCsv, kJson, kJsonLines, kMarkdown, kXlsx };

// "table", "csv", "json", "jsonl", "markdown" (or "md"), "xlsx"; any case.
std::optional<Format> ParseFormat(std::string_view text);
// The names ParseFormat knows, for messages: "table, csv, json, jsonl, markdown or xlsx".
const char* FormatNames();

struct WriteOptions {
  // Headings from the columns' captions (where they have one) instead of their names.
  bool captions = false;
  // CSV: a UTF-8 byte-order mark first, so spreadsheet programs read the text as UTF-8.
  bool bom = false;
  // Text table: ANSI bold subtotal and total rows, dim NULL (for a terminal).
  bool emphasis = false;
  // Text table: the "(n rows)" line after the rows.
  bool row_count = true;
  // Text table and CSV: the heading line.
  bool headers = true;
  // Text table: terminal columns the lines must fit in (0: no limit). Cells of the widest
  // columns are cut, ending in "…" (numbers are never cut); when even that does not fit, the
  // rows are shown expanded.
  size_t width = 0;
  // Text table: each row as a block of "column | value" lines instead of one line.
  bool expanded = false;
  // Text table: what separates the columns, and whether cells are padded to a common width.
  std::string separator = " | ";
  bool trim = false;
  // Text table and Markdown: how NULL is shown. Report tables (those with row-kind columns)
  // always show it blank: their child and total rows leave the parent columns empty.
  std::string null_text = "NULL";
};

class ResultWriter {
 public:
  virtual ~ResultWriter() = default;
  // One result (the table's rows are read, not kept).
  virtual void Write(const ResultTable& table) = 0;
  // Closes the document: after the last result, or without any result.
  virtual void Finish() = 0;
};

// A writer of a text format onto `out`. Not for kXlsx.
std::unique_ptr<ResultWriter> MakeTextWriter(Format format, std::ostream& out,
                                             const WriteOptions& options);

// The XLSX writer, building the workbook at `path` (written when Finish is called): captions
// as headings, numbers as numbers formatted with their column's scale, dates as dates, text
// and codes as text, subtotal and total rows bold, a frozen heading row, an auto-filter and
// column widths from the contents. Raises an automation error naming the file when it cannot
// be written.
std::unique_ptr<ResultWriter> MakeXlsxWriter(const std::string& path, const WriteOptions& options);

// One result in one text format (tests and small callers).
void WriteTable(std::ostream& out, const ResultTable& table, Format format,
                const WriteOptions& options = {});

}  // namespace orv::exports
