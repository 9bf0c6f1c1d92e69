// "orvdata sql": the T-SQL shell. On a terminal without -Q or -i it is interactive
// (sql_shell.h); otherwise it runs one text (-Q), script files (-i, several in order) or
// standard input, batches separated by GO lines, and prints every result of every batch. The
// script options follow the usual T-SQL command-line client: -b stops at the first batch with
// an error, -v name=value fills $(name), -h -1 leaves the headings out, -s sets the column
// separator, -W trims the padding, -o writes to a file. Exit status 1 when a batch had an
// error.
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "ado/provider.h"
#include "cli/commands.h"
#include "cli/conditions.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/source_choice.h"
#include "cli/sql_batches.h"
#include "cli/sql_shell.h"
#include "tsql/engine.h"

namespace orv::cli {

namespace {

struct SqlOptions {
  std::string dsn;
  std::string query;
  std::vector<std::string> inputs;
  std::vector<std::string> variables;
  bool stop_on_error = false;
  std::optional<int> headers;
  std::optional<std::string> separator;
  bool trim = false;
  bool timing = false;
  bool create = false;
  OutputOptions output;
};

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The batches of the script, in order: -Q, else each -i file, else standard input.
std::vector<std::string> ScriptBatches(const SqlOptions& o,
                                       const std::map<std::string, std::string>& variables) {
  std::vector<std::string> batches;
  auto add = [&](const std::string& text, const std::string& where) {
    for (std::string& batch : tsql::SplitScriptOnGo(SubstituteVariables(text, variables, where))) {
      batches.push_back(std::move(batch));
    }
  };
  if (!o.query.empty()) {
    add(o.query, "-Q");
  } else if (!o.inputs.empty()) {
    for (const std::string& input : o.inputs) {
      if (input == "-") {
        add(ReadAll(std::cin), "standard input");
        continue;
      }
      std::ifstream in(input, std::ios::binary);
      if (!in) throw UsageError("cannot read the script file '" + input + "'");
      add(ReadAll(in), "the script file '" + input + "'");
    }
  } else {
    add(ReadAll(std::cin), "standard input");
  }
  return batches;
}

exports::WriteOptions TableStyle(const SqlOptions& o) {
  exports::WriteOptions style;
  if (o.headers && *o.headers < 0) style.headers = false;
  if (o.separator) style.separator = *o.separator;
  style.trim = o.trim;
  return style;
}

// Runs the script or the interactive shell; returns true when every batch ran without error.
bool RunSql(const SqlOptions& o) {
  if (!o.query.empty() && !o.inputs.empty()) throw UsageError("give -Q or -i, not both");
  std::map<std::string, std::string> variables;
  for (const std::string& pair : o.variables) {
    auto [name, value] = SplitKeyValue(pair);
    variables[name] = value;
  }
  const bool interactive = o.query.empty() && o.inputs.empty() && isatty(STDIN_FILENO) != 0;
  const ChosenSource source = ChooseSource(o.dsn, o.create ? SourceUse::kMayCreate : SourceUse::kExisting);
  PrintSetup setup;
  setup.data_source_file = source.file;
  setup.table_style = TableStyle(o);
  Printer printer(o.output, setup);
  // With --create the engine may make the file: it makes one only when asked.
  const std::string text = o.create && !source.file.empty() ? source.text + ";Create=yes" : source.text;
  BatchRunner runner(ado::OpenProvider(ado::ConnectionString(text)), printer);
  runner.set_timing(o.timing);
  bool ok = true;
  if (interactive) {
    ok = RunInteractiveShell(runner, source.label);
  } else {
    const std::vector<std::string> batches = ScriptBatches(o, variables);
    Progress progress("sql");
    for (size_t b = 0; b < batches.size(); ++b) {
      progress.SetStep("batch " + std::to_string(b + 1) + " of " + std::to_string(batches.size()));
      if (!runner.Run(batches[b])) {
        ok = false;
        if (o.stop_on_error) {
          std::cerr << "orvdata: stopped at batch " << (b + 1) << " of " << batches.size()
                    << " (-b)\n";
          break;
        }
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
  cmd->set_help_flag("--help", "Print this help message and exit");
  auto o = std::make_shared<SqlOptions>();
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("-Q,--query", o->query, "The T-SQL text to run");
  cmd->add_option("-i,--input", o->inputs,
                  "Script files to run in order (GO lines separate batches); repeatable")
      ->delimiter(',')
      ->allow_extra_args(false);
  cmd->add_flag("-b,--stop-on-error", o->stop_on_error,
                "Stop at the first batch with an error (exit status 1)");
  cmd->add_option("-v,--variable", o->variables, "NAME=VALUE for $(NAME) in the script; repeatable")
      ->allow_extra_args(false);
  cmd->add_option("-h,--headers", o->headers, "-1: no heading lines");
  cmd->add_option("-s,--separator", o->separator, "Column separator of the table (default \" | \")");
  cmd->add_flag("-W,--trim", o->trim, "No padding: cells as they are, separated by the separator");
  cmd->add_flag("--timing", o->timing, "Show how long each batch took");
  cmd->add_flag("--create", o->create,
                "Allow a data-source file that does not exist yet (made by the first write)");
  AddOutputOptions(cmd, o->output);
  cmd->footer(
      "\nOn a terminal without -Q or -i the shell is interactive (:help there). Otherwise the\n"
      "script is -Q, the -i files, or standard input. Row counts and PRINT messages go to\n"
      "stdout with the table and markdown formats, to stderr with the others.\n"
      "Errors: \"Msg <n>, Level <s>: <text>\" on stderr; exit status 1 when any batch had one.");
  cmd->callback([o, &exit_status] {
    bool ok = true;
    exit_status = Guarded([&] { ok = RunSql(*o); });
    if (exit_status == kExitSuccess && !ok) exit_status = kExitFailure;
  });
}

}  // namespace orv::cli
