// The data source of a command: the selection of sources/ (--dsn, ORVDATA_DSN, the default
// named source), checked for this command, or the demo database when nothing is configured
// at all and a person is at a terminal (with a banner saying so). In a script, a command with
// no data source configured is a usage error: it must never report on invented data.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace orv::cli {

// The --dsn option of a subcommand (also accepted before the subcommand).
void AddDsnOption(CLI::App* cmd, std::string& dsn);
// The value of --dsn given before the subcommand ("" when not given).
std::string& DsnBeforeSubcommand();

struct ChosenSource {
  std::string text;   // the connection text for the service
  std::string label;  // how to name it to a person (no password)
  std::string file;   // the data-source file of an embedded source, else ""
  bool demo = false;
};

enum class SourceUse {
  kExisting,   // read or written, but the data-source file must exist
  kMayCreate,  // the T-SQL shell with --create: a missing file is made by the first write
};

// Raises UsageError when nothing is configured off a terminal, for configuration mistakes
// (unknown name, sources file open to others), and for a missing data-source file.
ChosenSource ChooseSource(const std::string& dsn_option, SourceUse use = SourceUse::kExisting);

}  // namespace orv::cli
