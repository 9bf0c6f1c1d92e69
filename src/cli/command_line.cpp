// The orvdata application: its subcommands, and the mapping of command-line mistakes to exit
// status 2.
#include <algorithm>
#include <iostream>

#include "cli/commands.h"
#include "cli/exit_status.h"

namespace orv::cli {

int RunCommandLine(std::vector<std::string> args) {
  CLI::App app{
      "orvdata: production task and cost reports on a company database.\n"
      "Without --dsn, commands use the demo database (created on first use)."};
  app.name("orvdata");
  app.set_version_flag("--version", std::string("orvdata ") + ORV_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  int exit_status = kExitSuccess;
  AddReportCommand(app, exit_status);
  AddLookupCommand(app, exit_status);
  AddQueryCommand(app, exit_status);
  AddPackageCommand(app, exit_status);
  AddSqlCommand(app, exit_status);
  AddDemoCommand(app, exit_status);
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return exit_status;
}

}  // namespace orv::cli
