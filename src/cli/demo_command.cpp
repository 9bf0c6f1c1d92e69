// "orvdata demo": the demo company database. "demo create" writes it as a data-source file or
// (--script) as a T-SQL script; "demo run" creates it when missing and runs report 400 on it.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/data_source.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "demo/generator.h"

namespace orv::cli {

namespace {

struct DemoOptions {
  std::string file;
  std::string size = "demo";
  uint64_t seed = 1;
  bool script = false;
  bool force = false;
};

void Create(const DemoOptions& o) {
  const auto size = demo::ParseSize(o.size);
  if (!size) throw UsageError("unknown size '" + o.size + "'; use tiny, demo or large");
  const demo::Options options{*size, o.seed};
  if (!o.force && std::filesystem::exists(o.file)) {
    throw CommandError("'" + o.file + "' exists already; give --force to replace it");
  }
  if (o.script) {
    WriteDemoScript(o.file, options);
    std::cerr << "orvdata: wrote the demo database script " << o.file << "\n";
  } else {
    CreateDemoFile(o.file, options);
    std::cerr << "orvdata: created the demo database " << o.file << "\n";
  }
}

}  // namespace

void AddDemoCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("demo", "The demo company database: create it, run a report");
  cmd->require_subcommand(1);

  auto o = std::make_shared<DemoOptions>();
  auto* create = cmd->add_subcommand("create", "Write the demo company database to FILE");
  create->add_option("file", o->file, "The data-source file (or script file with --script)")
      ->required();
  create->add_option("--size", o->size, "tiny (a few rows), demo, or large")->default_str("demo");
  create->add_option("--seed", o->seed, "Seed of the generator; the same seed gives the same data")
      ->default_val(1);
  create->add_flag("--script", o->script,
                   "Write a T-SQL script with GO lines instead (for orvdata sql -i or SQL Server)");
  create->add_flag("--force", o->force, "Replace FILE when it exists");
  create->footer(
      "\nUse the file with --dsn FILE (or --dsn \"Provider=Embedded;Data Source=FILE\").");
  create->callback([o, &exit_status] { exit_status = Guarded([&] { Create(*o); }); });

  auto extras = std::make_shared<std::vector<std::string>>();
  auto* run = cmd->add_subcommand(
      "run", "Create the demo database when missing and run report 400 on it, as a table");
  run->prefix_command();
  run->footer(
      "\nWithout arguments it shows the task orders of the month up to the demo's today.\n"
      "Arguments after \"run\" go to the report, e.g.\n"
      "  orvdata demo run --filter BProductBillNo=WORK000001 --columns all\n"
      "See orvdata report 400 --help. The demo database: $ORVDATA_DEMO_DB, else\n"
      "$XDG_DATA_HOME/orvdata/demo.orvdb, else ~/.local/share/orvdata/demo.orvdb.");
  run->callback([run, &exit_status] {
    // The demo database is this command's data source whatever else is configured.
    const std::string path = DemoDatabasePath();
    if (!std::filesystem::exists(path)) {
      std::cerr << "orvdata: creating the demo database " << path << " (size demo)\n";
      exit_status = Guarded([&] { CreateDemoFile(path, demo::Options{}); });
      if (exit_status != kExitSuccess) return;
    }
    std::cerr << "orvdata: DEMO DATA: the invented demo company in " << path << "\n";
    std::vector<std::string> args = {"report", "400", "--dsn", path};
    const std::vector<std::string> extra = run->remaining();
    if (extra.empty()) {
      // Without conditions of its own, show the task orders of the month up to the demo's today:
      // a screenful of every row kind rather than the whole year.
      const std::string today(orv::demo::kDemoToday.substr(0, 10));
      int year = std::stoi(today.substr(0, 4));
      int month = std::stoi(today.substr(5, 2)) - 1;
      if (month == 0) {
        month = 12;
        --year;
      }
      char from[32];
      std::snprintf(from, sizeof from, "%04d-%02d-%s", year, month, today.substr(8, 2).c_str());
      args.insert(args.end(), {"--filter", std::string("BDate=") + from, "--filter", "EDate=" + today});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    exit_status = RunCommandLine(std::move(args));
  });
}

}  // namespace orv::cli
