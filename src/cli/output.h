// Where and how results are printed: the output options shared by the subcommands (--format,
// --output, --columns, --captions, --bom, -x, --width) and Printer, which hands result tables to
// the writer of the format, on standard output or into a file. A file is written beside its
// target under a temporary name and renamed into place only when the command succeeded, so a
// failed run leaves the previous file as it was.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "export/result_table.h"
#include "export/writer.h"

namespace orv::cli {

struct OutputOptions {
  std::string format = "table";
  std::string output;   // "" is standard output
  std::string columns;  // "" is the command's default choice; "all" every column
  bool captions = false;     // --captions
  bool no_captions = false;  // --no-captions; neither: on for table and xlsx
  bool bom = false;
  bool expanded = false;
  std::optional<size_t> width;  // unset: the terminal's width when stdout is one
};

void AddOutputOptions(CLI::App* cmd, OutputOptions& options);

struct PrintSetup {
  // The columns the text and Markdown tables show when --columns is not given (those missing
  // from a result are skipped).
  std::vector<std::string> default_columns;
  // The data-source file of the command, which --output must not name ("" when none).
  std::string data_source_file;
  // Text-table settings of the T-SQL shell (separator, headers, trimming, NULL text).
  std::optional<exports::WriteOptions> table_style;
};

class Printer {
 public:
  // Raises UsageError for an unknown format, an --output naming the data source, or xlsx onto
  // a terminal; an error naming the file when it cannot be created.
  Printer(const OutputOptions& options, PrintSetup setup = {});
  ~Printer();

  exports::Format format() const { return format_; }
  bool text_form() const {
    return format_ == exports::Format::kTable || format_ == exports::Format::kMarkdown;
  }
  // Prints one result.
  void Print(exports::ResultTable table);
  // Where notes that belong with the text forms go (row counts, messages).
  std::ostream& stream() { return *out_; }
  // Ends the document, flushes, and puts an output file in place; raises an error when
  // writing failed.
  void Finish();

 private:
  exports::Format format_ = exports::Format::kTable;
  exports::WriteOptions write_;
  std::vector<std::string> columns_;
  bool columns_given_ = false;
  std::vector<std::string> default_columns_;
  std::string target_;     // --output file ("" for standard output)
  std::string temporary_;  // where the output is written until Finish
  // --output names a device or a pipe: written to directly (an xlsx workbook copied there).
  bool direct_ = false;
  std::unique_ptr<std::ofstream> file_;
  std::ostream* out_;
  std::unique_ptr<exports::ResultWriter> writer_;
  bool finished_ = false;
};

}  // namespace orv::cli
