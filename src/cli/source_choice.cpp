#include "cli/source_choice.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "cli/data_source.h"
#include "cli/errors.h"
#include "sources/named_sources.h"
#include "sources/selection.h"
#include "sources/source_error.h"
#include "sources/source_text.h"

namespace orv::cli {

namespace {

namespace fs = std::filesystem;

bool AtTerminal() { return isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0; }

std::string HowToConfigure() {
  return "give --dsn FILE|CONNECTION-TEXT|@NAME, set ORVDATA_DSN, or name a default "
         "(\"default = NAME\") in " +
         sources::NamedSourcesPath();
}

ChosenSource Demo() {
  const std::string path = DemoDatabasePath();
  if (!fs::exists(path)) {
    std::cerr << "orvdata: creating the demo database " << path << " (size demo)\n";
    CreateDemoFile(path, demo::Options{});
  }
  std::cerr << "orvdata: DEMO DATA: no data source is configured, so this runs on the invented "
               "demo company in "
            << path << ".\norvdata: for your own data, " << HowToConfigure() << ".\n";
  ChosenSource chosen;
  chosen.text = sources::FileConnectionText(path);
  chosen.label = "demo";
  chosen.file = path;
  chosen.demo = true;
  return chosen;
}

}  // namespace

void AddDsnOption(CLI::App* cmd, std::string& dsn) {
  cmd->add_option("--dsn", dsn,
                  "Data source: a file, a connection text (\"Provider=Embedded;Data Source=FILE\", "
                  "\"Driver={FreeTDS};Server=HOST;Port=1433;Database=DB;UID=USER;PWD=...\") "
                  "or @NAME from ~/.config/orvdata/sources (default: $ORVDATA_DSN, then the "
                  "default named there)");
}

std::string& DsnBeforeSubcommand() {
  static std::string dsn;
  return dsn;
}

ChosenSource ChooseSource(const std::string& dsn_option, SourceUse use) {
  const std::string& option = dsn_option.empty() ? DsnBeforeSubcommand() : dsn_option;
  std::optional<sources::Selection> selection;
  try {
    selection = sources::SelectFromEnvironment(option);
  } catch (const sources::SourceError& e) {
    throw UsageError(e.what());
  }
  if (!selection) {
    if (AtTerminal()) return Demo();
    throw UsageError("no data source: " + HowToConfigure() +
                     ". (The demo database is used only at a terminal, or by \"orvdata demo run\".)");
  }
  ChosenSource chosen;
  chosen.text = selection->text;
  chosen.label = selection->label;
  chosen.file = selection->file;
  if (!chosen.file.empty() && chosen.file != ":memory:" && use == SourceUse::kExisting &&
      !fs::exists(chosen.file)) {
    throw CommandError("the data-source file '" + chosen.file + "' does not exist (check the path; " +
                     "\"orvdata demo create FILE\" makes a demo company)");
  }
  if (!chosen.file.empty() && fs::is_directory(chosen.file)) {
    throw CommandError("the data source '" + chosen.file + "' is a folder, not a data-source file");
  }
  std::error_code ec;
  if (!chosen.file.empty() && use == SourceUse::kExisting && fs::is_regular_file(chosen.file) &&
      fs::file_size(chosen.file, ec) == 0 && !ec) {
    throw CommandError("the data-source file '" + chosen.file +
                       "' is empty (0 bytes), not a company database; check the path");
  }
  return chosen;
}

}  // namespace orv::cli
