#include "cli/output.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "automation/error.h"
#include "cli/errors.h"

namespace orv::cli {

namespace {

namespace fs = std::filesystem;
using exports::Format;

bool StdoutIsColorTerminal() {
  if (!isatty(STDOUT_FILENO)) return false;
  if (std::getenv("NO_COLOR") != nullptr) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::string(term) != "dumb";
}

size_t TerminalWidth() {
  if (!isatty(STDOUT_FILENO)) return 0;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) return std::strtoul(columns, nullptr, 10);
  return 80;
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

// Whether two paths are the same file (device and inode, so links count too).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

[[noreturn]] void FailFile(const std::string& path, const std::string& why) {
  automation::Raise(automation::err::kAutomationError, "orvdata",
                    "cannot write the output file '" + path + "': " + why);
}

// A new empty file beside `target` ("<target>.<random>.part"), closed; its path.
std::string TemporaryBeside(const std::string& target) {
  std::string pattern = target + ".XXXXXX.part";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemps(buffer.data(), 5);
  if (fd < 0) FailFile(target, std::strerror(errno));
  // mkstemps makes the file private; the output gets the modes a new file normally gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  return std::string(buffer.data());
}

}  // namespace

void AddOutputOptions(CLI::App* cmd, OutputOptions& options) {
  cmd->add_option("-f,--format", options.format,
                  std::string("Output format: ") + exports::FormatNames())
      ->default_str("table");
  cmd->add_option("-o,--output", options.output,
                  "Write the output to FILE (put in place only when the command succeeds)");
  cmd->add_option("--columns", options.columns,
                  "Columns to show, comma-separated, in that order (\"all\": every column)");
  cmd->add_flag("--captions", options.captions,
                "Headings from the report's column captions (default for table and xlsx)");
  cmd->add_flag("--no-captions", options.no_captions, "Headings are the column names");
  cmd->add_flag("--bom", options.bom,
                "CSV: start with a UTF-8 byte-order mark (for spreadsheet programs)");
  cmd->add_flag("-x,--expanded", options.expanded,
                "Table: each row as a block of \"column | value\" lines");
  cmd->add_option("--width", options.width,
                  "Table: fit lines into N columns, cutting long cells with … (default: the "
                  "terminal's width; 0: no limit)");
}

Printer::Printer(const OutputOptions& options, PrintSetup setup)
    : default_columns_(std::move(setup.default_columns)), out_(&std::cout) {
  const auto format = exports::ParseFormat(options.format);
  if (!format) {
    throw UsageError("unknown format '" + options.format + "'; use " + exports::FormatNames());
  }
  format_ = *format;
  if (setup.table_style) write_ = *setup.table_style;
  write_.captions = options.captions ||
                    (!options.no_captions && (format_ == Format::kTable || format_ == Format::kXlsx));
  // ORVDATA_CSV_BOM=1 asks for the byte-order mark on every CSV file written with --output
  // (for people who open them in a spreadsheet program); standard output stays without.
  const char* bom_setting = std::getenv("ORVDATA_CSV_BOM");
  write_.bom = options.bom || (bom_setting != nullptr && std::string(bom_setting) == "1" &&
                               !options.output.empty() && options.output != "-");
  write_.expanded = options.expanded;
  write_.width = options.width.value_or(TerminalWidth());
  if (!options.columns.empty() && options.columns != "all") {
    columns_ = exports::SplitList(options.columns);
    columns_given_ = true;
  } else if (options.columns == "all") {
    default_columns_.clear();
  }
  if (!options.output.empty() && options.output != "-") {
    target_ = options.output;
    if (!setup.data_source_file.empty() && SameFile(target_, setup.data_source_file)) {
      throw CommandError("--output " + target_ + " is the data source " + setup.data_source_file +
                       "; writing there would destroy it: name another file");
    }
    if (fs::is_directory(target_)) FailFile(target_, "it is a folder");
    std::error_code ec;
    const fs::file_status status = fs::status(target_, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      // A device (/dev/null), a pipe or a terminal is written to as it is: putting a new file
      // in its place would destroy it.
      direct_ = true;
    } else {
      // A link to a file: the file it names gets the output, and the link stays.
      if (fs::is_symlink(fs::symlink_status(target_, ec))) {
        const fs::path named = fs::weakly_canonical(target_, ec);
        if (!ec) target_ = named.string();
      }
      temporary_ = TemporaryBeside(target_);
    }
  }
  if (format_ == Format::kXlsx && temporary_.empty()) {
    // The workbook is made in a file first, then copied to standard output or the device.
    if (target_.empty() && isatty(STDOUT_FILENO)) {
      throw UsageError("xlsx is a binary format: give --output FILE.xlsx, or redirect the output");
    }
    char pattern[] = "/tmp/orvdata-XXXXXX.xlsx";
    const int fd = mkstemps(pattern, 5);
    if (fd < 0) FailFile(pattern, std::strerror(errno));
    ::close(fd);
    temporary_ = pattern;
  }
  write_.emphasis = format_ == Format::kTable && target_.empty() && StdoutIsColorTerminal();
  if (format_ == Format::kXlsx) {
    writer_ = exports::MakeXlsxWriter(temporary_, write_);
    return;
  }
  if (direct_) {
    file_ = std::make_unique<std::ofstream>(target_, std::ios::binary);
    if (!*file_) FailFile(target_, "cannot open it for writing");
    out_ = file_.get();
  } else if (!temporary_.empty()) {
    file_ = std::make_unique<std::ofstream>(temporary_, std::ios::binary | std::ios::trunc);
    if (!*file_) FailFile(target_, "cannot create " + temporary_);
    out_ = file_.get();
  }
  writer_ = exports::MakeTextWriter(format_, *out_, write_);
}

Printer::~Printer() {
  if (!finished_ && !temporary_.empty()) {
    writer_.reset();
    file_.reset();
    std::remove(temporary_.c_str());
  }
}

void Printer::Print(exports::ResultTable table) {
  const bool streams = format_ == Format::kCsv || format_ == Format::kJson ||
                       format_ == Format::kJsonLines;
  if (columns_given_ || !streams) table.Materialize();
  // Subtotal and total rows are set apart by the human forms; the kinds are read before
  // --columns can leave out the columns they come from.
  if (!streams) exports::EnsureRowKinds(table);
  table.report_rows = table.report_rows || exports::HasRowKindColumns(table);
  if (columns_given_) {
    exports::SelectColumns(table, columns_);
  } else if (!default_columns_.empty() && text_form()) {
    std::vector<std::string> present;
    for (const auto& name : default_columns_) {
      for (const auto& column : table.columns) {
        if (SameName(column.name, name)) present.push_back(name);
      }
    }
    if (!present.empty()) exports::SelectColumns(table, present);
  }
  writer_->Write(table);
}

void Printer::Finish() {
  writer_->Finish();
  out_->flush();
  if (!*out_) {
    if (target_.empty()) {
      automation::Raise(automation::err::kAutomationError, "orvdata",
                        "cannot write to standard output");
    }
    FailFile(target_, "the disk may be full");
  }
  finished_ = true;
  if (temporary_.empty()) return;
  writer_.reset();
  file_.reset();
  if (target_.empty() || direct_) {
    // xlsx onto a pipe, a device or standard output: the finished workbook is copied there.
    std::ifstream in(temporary_, std::ios::binary);
    std::ofstream device;
    if (direct_) device.open(target_, std::ios::binary);
    std::ostream& to = direct_ ? static_cast<std::ostream&>(device) : std::cout;
    to << in.rdbuf();
    to.flush();
    std::remove(temporary_.c_str());
    if (!to) FailFile(target_.empty() ? "standard output" : target_, "cannot write the workbook there");
    return;
  }
  std::error_code ec;
  fs::rename(temporary_, target_, ec);
  if (ec) {
    std::remove(temporary_.c_str());
    FailFile(target_, ec.message());
  }
}

}  // namespace orv::cli
