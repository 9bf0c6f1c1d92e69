#include "cli/errors.h"

#include <iostream>

#include "cli/exit_status.h"
#include "export/export_error.h"

namespace orv::cli {

void PrintError(std::ostream& err, const automation::ErrorInfo& error) {
  err << "error " << error.number << ": " << error.description;
  if (!error.source.empty()) err << " (source: " << error.source << ")";
  err << '\n';
}

int Guarded(const std::function<void()>& action) {
  try {
    action();
    return kExitSuccess;
  } catch (const UsageError& e) {
    std::cerr << "orvdata: " << e.what() << '\n';
    return kExitUsage;
  } catch (const exports::ChoiceError& e) {
    std::cerr << "orvdata: " << e.what() << '\n';
    return kExitUsage;
  } catch (const CommandError& e) {
    std::cerr << "orvdata: " << e.what() << '\n';
    return kExitFailure;
  } catch (...) {
    PrintError(std::cerr, automation::CurrentErrorInfo());
    return kExitFailure;
  }
}

}  // namespace orv::cli
