// orvdata: the command-line front of the report service.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "service/data.h"
#include "tsql/engine.h"

int main(int argc, char** argv) {
  orv::tsql::RestartWithHugePageHeap(argv);
  orv::tsql::KeepFreedMemoryForReuse();
  orv::tsql::LetSnapshotRowsGoAfterEachStatement();
  orv::service::RegisterServiceClasses();
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = orv::cli::RunCommandLine(std::move(args));
  // The command is done: the tables still open (the connections kept for reuse) are closed on
  // the way out, but their rows are left for the exit to free.
  orv::tsql::KeepRowsUntilExit();
  return status;
}
