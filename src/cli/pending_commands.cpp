// Subcommands whose work needs parts that this build does not carry yet (the standard client
// conditions of the reports, the demo database): present with their help, exit status 2.
#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"

namespace orv::cli {

namespace {

void NotAvailable(const char* what, int& exit_status) {
  std::cerr << what << ": not available yet\n";
  exit_status = kExitUnavailable;
}

}  // namespace

void AddReportCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "report", "Run a report (400, 401, 406, 410, 498, 499) with conditions and print its rows");
  auto number = std::make_shared<std::string>();
  cmd->add_option("number", *number, "Report number: 400, 401, 406, 410, 498 or 499");
  cmd->allow_extras();
  cmd->callback([number, &exit_status] { NotAvailable("report", exit_status); });
}

void AddDemoCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("demo", "Create the demo company database and run the reports");
  cmd->allow_extras();
  cmd->callback([&exit_status] { NotAvailable("demo", exit_status); });
}

}  // namespace orv::cli
