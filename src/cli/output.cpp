#include "cli/output.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "automation/error.h"
#include "cli/errors.h"

namespace orv::cli {

namespace {

bool StdoutIsColorTerminal() {
  if (!isatty(STDOUT_FILENO)) return false;
  if (std::getenv("NO_COLOR") != nullptr) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::string(term) != "dumb";
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

void AddOutputOptions(CLI::App* cmd, OutputOptions& options) {
  cmd->add_option("-f,--format", options.format, "Output format: table, csv, json or markdown")
      ->default_str("table");
  cmd->add_option("-o,--output", options.output, "Write the output to FILE instead of stdout");
  cmd->add_option("--columns", options.columns,
                  "Columns to show, comma-separated, in that order (\"all\": every column)");
}

Printer::Printer(const OutputOptions& options, std::vector<std::string> default_columns)
    : default_columns_(std::move(default_columns)), out_(&std::cout) {
  const auto format = ParseFormat(options.format);
  if (!format) {
    throw UsageError("unknown format '" + options.format + "'; use table, csv, json or markdown");
  }
  format_ = *format;
  if (!options.columns.empty() && options.columns != "all") {
    columns_ = SplitList(options.columns);
    columns_given_ = true;
  } else if (options.columns == "all") {
    default_columns_.clear();
  }
  if (!options.output.empty() && options.output != "-") {
    file_name_ = options.output;
    file_.open(options.output, std::ios::binary | std::ios::trunc);
    if (!file_) {
      automation::Raise(automation::err::kAutomationError, "orvdata",
                        "cannot write the output file '" + options.output + "'");
    }
    out_ = &file_;
  }
  style_.emphasis = format_ == Format::kTable && out_ == &std::cout && StdoutIsColorTerminal();
}

void Printer::Print(ResultTable table) {
  // CSV and JSON convert and write the rows a chunk at a time; every other use needs them all.
  if (columns_given_ || (format_ != Format::kCsv && format_ != Format::kJson)) {
    table.Materialize();
  }
  // Only the text and Markdown tables set subtotal and total rows apart; the kinds are read
  // before --columns can leave out the columns they come from.
  if (format_ == Format::kTable || format_ == Format::kMarkdown) EnsureRowKinds(table);
  if (columns_given_) {
    SelectColumns(table, columns_);
  } else if (!default_columns_.empty() &&
             (format_ == Format::kTable || format_ == Format::kMarkdown)) {
    std::vector<std::string> present;
    for (const auto& name : default_columns_) {
      for (const auto& column : table.columns) {
        if (SameName(column.name, name)) present.push_back(name);
      }
    }
    if (!present.empty()) SelectColumns(table, present);
  }
  if (printed_++ > 0) *out_ << (format_ == Format::kCsv ? "\r\n" : "\n");
  WriteTable(*out_, table, format_, style_);
}

void Printer::Finish() {
  out_->flush();
  if (!*out_) {
    automation::Raise(automation::err::kAutomationError, "orvdata",
                      file_name_.empty() ? std::string("cannot write to standard output")
                                         : "cannot write the output file '" + file_name_ + "'");
  }
}

}  // namespace orv::cli
