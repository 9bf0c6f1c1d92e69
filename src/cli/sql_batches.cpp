#include "cli/sql_batches.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/errors.h"

namespace orv::cli {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool BatchRunner::Run(const std::string& batch) {
  const auto start = std::chrono::steady_clock::now();
  // Row counts and messages are part of the text forms; with csv or json they would spoil the
  // data, so they go to stderr.
  std::ostream& notes = printer_.text_form() ? printer_.stream() : std::cerr;
  bool ok = true;
  for (const ado::ProviderResult& result : connection_->ExecuteBatch(batch)) {
    switch (result.kind) {
      case ado::ProviderResult::Kind::Rows:
        printer_.Print(exports::FromProviderResult(result));
        break;
      case ado::ProviderResult::Kind::RowCount:
        notes << "(" << result.count << (result.count == 1 ? " row affected)\n" : " rows affected)\n");
        break;
      case ado::ProviderResult::Kind::Message:
        notes << result.error.message << "\n";
        break;
      case ado::ProviderResult::Kind::Error:
        printer_.stream().flush();
        std::cerr << "Msg " << result.error.native << ", Level " << result.error.severity << ": "
                  << result.error.message << "\n";
        ok = false;
        break;
    }
  }
  if (timing_) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    char text[64];
    std::snprintf(text, sizeof text, "Time: %.1f ms\n", ms);
    notes << text;
  }
  printer_.stream().flush();
  return ok;
}

std::string SubstituteVariables(const std::string& text,
                                const std::map<std::string, std::string>& variables,
                                const std::string& where) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find("$(", pos);
    if (open == std::string::npos) break;
    const size_t close = text.find(')', open + 2);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 2, close - open - 2);
    out.append(text, pos, open - pos);
    bool found = false;
    for (const auto& [known, value] : variables) {
      if (Lower(known) == Lower(name)) {
        out += value;
        found = true;
        break;
      }
    }
    if (!found) {
      throw UsageError(where + " uses the variable $(" + name + "), which has no value; give -v " +
                       name + "=VALUE");
    }
    pos = close + 1;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace orv::cli
