// "orvdata sql": the T-SQL shell. Runs one text (-Q), a script file (-i) or standard input on a
// data source, batches separated by GO lines, and prints every result of every batch: row
// sets, "(n rows affected)", PRINT messages; errors go to stderr as "Msg <n>, Level <s>: <text>".
// The exit status is 1 when any batch had an error.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "ado/provider.h"
#include "cli/commands.h"
#include "cli/data_source.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "tsql/engine.h"

namespace orv::cli {

namespace {

struct SqlOptions {
  std::string dsn;
  std::string query;
  std::string input;
  OutputOptions output;
};

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScriptText(const SqlOptions& o) {
  if (!o.query.empty() && !o.input.empty()) throw UsageError("give -Q or -i, not both");
  if (!o.query.empty()) return o.query;
  if (!o.input.empty() && o.input != "-") {
    std::ifstream in(o.input, std::ios::binary);
    if (!in) throw UsageError("cannot read the script file '" + o.input + "'");
    return ReadAll(in);
  }
  return ReadAll(std::cin);
}

// Runs the script; returns true when every batch ran without an error.
bool RunScript(const SqlOptions& o) {
  Printer printer(o.output);
  const std::string script = ScriptText(o);
  const std::string dsn = ResolveDsn(o.dsn, /*must_exist=*/false);
  // Row counts and messages are part of the text forms; with csv or json they would spoil the
  // data, so they go to stderr.
  const bool text_form =
      printer.format() == Format::kTable || printer.format() == Format::kMarkdown;
  std::ostream& notes = text_form ? printer.stream() : std::cerr;

  std::unique_ptr<ado::ProviderConnection> connection =
      ado::OpenProvider(ado::ConnectionString(dsn));
  const std::vector<std::string> batches = tsql::SplitScriptOnGo(script);
  Progress progress("sql");
  bool ok = true;
  for (size_t b = 0; b < batches.size(); ++b) {
    progress.SetStep("batch " + std::to_string(b + 1) + " of " + std::to_string(batches.size()) +
                     ": " + BatchSummary(batches[b]));
    for (const ado::ProviderResult& result : connection->ExecuteBatch(batches[b])) {
      switch (result.kind) {
        case ado::ProviderResult::Kind::Rows:
          printer.Print(FromProviderResult(result));
          break;
        case ado::ProviderResult::Kind::RowCount:
          notes << "(" << result.count
                << (result.count == 1 ? " row affected)\n" : " rows affected)\n");
          break;
        case ado::ProviderResult::Kind::Message:
          notes << result.error.message << "\n";
          break;
        case ado::ProviderResult::Kind::Error:
          printer.stream().flush();
          std::cerr << "Msg " << result.error.native << ", Level " << result.error.severity << ": "
                    << result.error.message << "\n";
          ok = false;
          break;
      }
    }
  }
  printer.Finish();
  return ok;
}

}  // namespace

void AddSqlCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "sql", "T-SQL shell: run statements on a data source and print every result");
  auto o = std::make_shared<SqlOptions>();
  cmd->add_option("--dsn", o->dsn,
                  "Data source: a file path or connection text (default: the demo database); a "
                  "new file is created by the first batch that writes");
  cmd->add_option("-Q,--query", o->query, "The T-SQL text to run");
  cmd->add_option("-i,--input", o->input, "A script file to run (GO lines separate batches)");
  AddOutputOptions(cmd, o->output);
  cmd->footer(
      "\nWithout -Q or -i the script is read from standard input. Row counts and PRINT "
      "messages\ngo to stdout with the table and markdown formats, to stderr with csv and "
      "json.\nErrors: \"Msg <n>, Level <s>: <text>\" on stderr; exit status 1 when any "
      "batch had one.");
  cmd->callback([o, &exit_status] {
    bool ok = true;
    exit_status = Guarded([&] { ok = RunScript(*o); });
    if (exit_status == kExitSuccess && !ok) exit_status = kExitFailure;
  });
}

}  // namespace orv::cli
