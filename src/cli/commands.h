// The subcommands of orvdata. Each Add*Command registers one subcommand (with its options and
// help text) on the application; when it runs, its callback stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace orv::cli {

void AddQueryCommand(CLI::App& app, int& exit_status);
void AddSqlCommand(CLI::App& app, int& exit_status);
void AddLookupCommand(CLI::App& app, int& exit_status);
void AddPackageCommand(CLI::App& app, int& exit_status);
void AddReportCommand(CLI::App& app, int& exit_status);
void AddDemoCommand(CLI::App& app, int& exit_status);

}  // namespace orv::cli
