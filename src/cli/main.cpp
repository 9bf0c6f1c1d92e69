// orvdata: the command-line front of the report service.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "service/data.h"
#include "tsql/engine.h"

int main(int argc, char** argv) {
  orv::tsql::KeepFreedMemoryForReuse();
  orv::service::RegisterServiceClasses();
  std::vector<std::string> args(argv + 1, argv + argc);
  return orv::cli::RunCommandLine(std::move(args));
}
