// The orvdata application: its subcommands, the --dsn accepted before the subcommand, and the
// mapping of command-line mistakes to exit status 2.
#include <algorithm>
#include <iostream>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/source_choice.h"
#include "reports/catalog.h"

namespace orv::cli {

namespace {

// "report" followed by something that is not a report number: said in the report's terms
// rather than as a missing subcommand.
bool CheckReportNumber(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dsn") {
      ++i;
      continue;
    }
    if (!args[i].empty() && args[i][0] == '-') continue;
    if (args[i] != "report") return true;
    for (size_t j = i + 1; j < args.size(); ++j) {
      if (args[j] == "--dsn") {
        ++j;
        continue;
      }
      if (!args[j].empty() && args[j][0] == '-') {
        if (args[j] == "--help" || args[j] == "-h") return true;
        continue;
      }
      if (reports::catalog::FindReport(args[j]) != nullptr) return true;
      std::cerr << "orvdata: there is no report " << args[j] << "; the reports are "
                << reports::catalog::ReportNumbers() << " (orvdata report --help)\n";
      return false;
    }
    std::cerr << "orvdata: give a report number: " << reports::catalog::ReportNumbers()
              << " (orvdata report --help)\n";
    return false;
  }
  return true;
}

}  // namespace

int RunCommandLine(std::vector<std::string> args) {
  if (!CheckReportNumber(args)) return kExitUsage;
  CLI::App app{
      "orvdata: production task and cost reports on a company database.\n"
      "The data source: --dsn, else $ORVDATA_DSN, else the default named in\n"
      "~/.config/orvdata/sources; \"orvdata demo run\" shows the invented demo company."};
  app.name("orvdata");
  app.set_version_flag("--version", std::string("orvdata ") + ORV_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  app.add_option("--dsn", DsnBeforeSubcommand(),
                 "Data source for the command (also accepted after the subcommand)");
  int exit_status = kExitSuccess;
  AddReportCommand(app, exit_status);
  AddLookupCommand(app, exit_status);
  AddQueryCommand(app, exit_status);
  AddPackageCommand(app, exit_status);
  AddSqlCommand(app, exit_status);
  AddDemoCommand(app, exit_status);
  AddServeCommand(app, exit_status);
  AddUsersCommand(app, exit_status);
  AddImportCommand(app, exit_status);
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
