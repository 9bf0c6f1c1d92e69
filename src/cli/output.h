// Where and how results are printed: the --format, --output and --columns options shared by
// the subcommands, and Printer, which writes result tables to standard output or a file.
#pragma once

#include <CLI/CLI.hpp>
#include <fstream>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "cli/result_table.h"

namespace orv::cli {

struct OutputOptions {
  std::string format = "table";
  std::string output;   // "" is standard output
  std::string columns;  // "" is the command's default choice; "all" every column
};

void AddOutputOptions(CLI::App* cmd, OutputOptions& options);

class Printer {
 public:
  // `default_columns`: the columns the text and Markdown tables show when --columns is not
  // given (those missing from a result are skipped); CSV and JSON always give every column
  // unless --columns says otherwise. Raises UsageError for an unknown format and an error
  // naming the file when it cannot be written.
  explicit Printer(const OutputOptions& options, std::vector<std::string> default_columns = {});

  Format format() const { return format_; }
  // Prints one result; results after the first are separated by an empty line.
  void Print(ResultTable table);
  std::ostream& stream() { return *out_; }
  // Flushes; raises an error when writing failed.
  void Finish();

 private:
  Format format_ = Format::kTable;
  std::vector<std::string> columns_;
  bool columns_given_ = false;
  std::vector<std::string> default_columns_;
  std::ofstream file_;
  std::string file_name_;
  std::ostream* out_;
  FormatStyle style_;
  int printed_ = 0;
};

}  // namespace orv::cli
