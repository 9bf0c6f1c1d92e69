// "orvdata import": a snapshot of a company database (SQL Server, or another data-source file)
// in a new data-source file, for reporting offline. Progress on a terminal, a summary of the
// rows copied per table on standard output.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/progress.h"
#include "cli/source_choice.h"
#include "importer/snapshot.h"
#include "tsql/engine.h"

namespace orv::cli {

namespace {

struct ImportCommandOptions {
  std::string from;
  std::string to;
  std::vector<std::string> tables;
  size_t batch_rows = 500;
  bool force = false;
};

std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

void Import(const ImportCommandOptions& o) {
  const ChosenSource source = ChooseSource(o.from);
  if (!o.force && std::filesystem::exists(o.to)) {
    throw CommandError("'" + o.to + "' exists already; give --force to replace it");
  }
  if (!source.file.empty() && std::filesystem::exists(o.to) &&
      std::filesystem::equivalent(source.file, o.to)) {
    throw CommandError("--from and --to name the same file '" + o.to + "'");
  }
  importer::ImportOptions options;
  options.from = source.text;
  options.to = o.to;
  options.tables = o.tables;
  options.batch_rows = o.batch_rows;
  std::vector<importer::TableRows> summary;
  {
    Progress progress("import from " + source.label);
    options.progress = [&](const std::string& table, int64_t rows) {
      progress.SetStep(table + ": " + Grouped(rows) + " rows");
    };
    try {
      summary = importer::ImportSnapshot(options);
    } catch (const importer::ImportError& e) {
      throw CommandError(std::string("import from ") + source.label + " failed: " + e.what());
    }
    progress.SetStep("column snapshots of the large tables");
    tsql::MakeColumnSnapshots(o.to);
  }
  int64_t total = 0;
  size_t width = 5;
  for (const auto& entry : summary) width = std::max(width, entry.table.size());
  for (const auto& entry : summary) {
    std::cout << entry.table << std::string(width - entry.table.size() + 2, ' ') << Grouped(entry.rows)
              << "\n";
    total += entry.rows;
  }
  std::cout << "total" << std::string(width - 5 + 2, ' ') << Grouped(total) << " rows in "
            << summary.size() << " tables\n";
  std::cerr << "orvdata: wrote " << o.to << "\n";
}

}  // namespace

void AddImportCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "import", "Copy a company database (SQL Server or a data-source file) into a data-source file");
  auto o = std::make_shared<ImportCommandOptions>();
  cmd->add_option("--from", o->from,
                  "The source: a connection text (\"Driver={FreeTDS};Server=HOST;Port=1433;"
                  "Database=DB;UID=USER;PWD=...\" or \"Provider=SQLOLEDB;Data Source=HOST;...\"), "
                  "@NAME from ~/.config/orvdata/sources, or a data-source file")
      ->required();
  cmd->add_option("--to", o->to, "The data-source file to write")->required();
  cmd->add_option("--tables", o->tables, "Copy only these tables of the company schema")
      ->delimiter(',');
  cmd->add_option("--batch-rows", o->batch_rows, "Rows per write")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  cmd->add_flag("--force", o->force, "Replace the --to file when it exists");
  cmd->footer(
      "\nCopies the tables the reports read (the company schema) with their column types. The\n"
      "file appears only when the import is complete; a failed import leaves nothing behind.\n"
      "Keep the password off the command line: name the source in ~/.config/orvdata/sources\n"
      "(mode 0600) and give --from @NAME.");
  cmd->callback([o, &exit_status] { exit_status = Guarded([&] { Import(*o); }); });
}

}  // namespace orv::cli
