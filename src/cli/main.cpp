// orvdata: the command-line front of the report service.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "service/data.h"

int main(int argc, char** argv) {
  orv::service::RegisterServiceClasses();

  CLI::App app{"orvdata: production task and cost reports on a company database"};
  app.set_version_flag("--version", std::string("orvdata ") + ORV_VERSION);
  app.require_subcommand(1);
  int exit_status = orv::cli::kExitSuccess;
  orv::cli::AddReportCommand(app, exit_status);
  orv::cli::AddLookupCommand(app, exit_status);
  orv::cli::AddQueryCommand(app, exit_status);
  orv::cli::AddSqlCommand(app, exit_status);
  orv::cli::AddDemoCommand(app, exit_status);
  orv::cli::AddPackageCommand(app, exit_status);
  CLI11_PARSE(app, argc, argv);
  return exit_status;
}
