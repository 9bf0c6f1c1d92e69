// The subcommands of orvdata. Each Add*Command registers one subcommand (with its options and
// help text) on the application; when it runs, its callback stores the exit status.
// RunCommandLine builds the whole application and runs one command line.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace orv::cli {

void AddQueryCommand(CLI::App& app, int& exit_status);
void AddSqlCommand(CLI::App& app, int& exit_status);
void AddLookupCommand(CLI::App& app, int& exit_status);
void AddPackageCommand(CLI::App& app, int& exit_status);
void AddReportCommand(CLI::App& app, int& exit_status);
void AddDemoCommand(CLI::App& app, int& exit_status);
void AddServeCommand(CLI::App& app, int& exit_status);
void AddUsersCommand(CLI::App& app, int& exit_status);
void AddImportCommand(CLI::App& app, int& exit_status);

// Runs `args` (without the program name) as an orvdata command line; returns the exit status
// (2 for a command line that does not parse, 0 after --help or --version).
int RunCommandLine(std::vector<std::string> args);

}  // namespace orv::cli
