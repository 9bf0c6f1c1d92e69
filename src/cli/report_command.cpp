// "orvdata report <number>": runs one report with its conditions and prints its rows, or with
// --sql prints the batches it sends. One subcommand per report; its help lists the report's
// conditions with their captions, allowed values and the defaults on the chosen data source.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ado/provider.h"
#include "cli/commands.h"
#include "cli/conditions.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/source_choice.h"
#include "export/text_width.h"
#include "reports/catalog.h"
#include "reports/condition_check.h"
#include "service/report_runner.h"
#include "service/report_steps.h"
#include "service/source_facts.h"
#include "sources/selection.h"
#include "sources/source_error.h"

namespace orv::cli {

namespace {

namespace catalog = reports::catalog;

struct ReportOptions {
  std::string dsn;
  OutputOptions output;
  std::vector<std::string> filters;
  std::string filter_file;
  std::vector<std::string> dsql;
  std::string dsql_file;
  std::optional<int> year;
  std::optional<int> period;
  std::optional<int> alarm_days;
  bool sql = false;
};

std::string TypeText(const catalog::ConditionKey& key) {
  switch (key.type) {
    case catalog::KeyType::kDate:
      return "date yyyy-mm-dd";
    case catalog::KeyType::kCode:
      return "code";
    case catalog::KeyType::kText:
      return "text";
    case catalog::KeyType::kInteger:
      return "whole number";
    case catalog::KeyType::kOrderBy:
      return "COLUMN [ASC|DESC], ...";
    case catalog::KeyType::kChoice: {
      std::string text;
      for (const auto& choice : key.choices) {
        text += (text.empty() ? "" : ", ") + std::string(choice.value) + " " + choice.en;
      }
      return text;
    }
  }
  return "";
}

// The facts of the data source --dsn (or the environment) names, for --help; nullopt with a
// reason when there is none to read.
std::optional<catalog::SourceFacts> FactsForHelp(const std::string& dsn, std::string& why) {
  try {
    const std::optional<sources::Selection> selection =
        sources::SelectFromEnvironment(dsn.empty() ? DsnBeforeSubcommand() : dsn);
    if (!selection) {
      why = "no data source is configured; give --dsn to see the defaults it gives";
      return std::nullopt;
    }
    if (!selection->file.empty() && selection->file != ":memory:" &&
        !std::filesystem::exists(selection->file)) {
      why = "the data-source file '" + selection->file + "' does not exist";
      return std::nullopt;
    }
    why = selection->label;
    return service::ReadSourceFacts(selection->text);
  } catch (const std::exception& e) {
    why = std::string("cannot read the data source: ") + e.what();
    return std::nullopt;
  }
}

std::string Footer(const catalog::ReportEntry& report, const ReportOptions& o) {
  std::string why;
  const std::optional<catalog::SourceFacts> facts = FactsForHelp(o.dsn, why);
  std::string text = "\nConditions (--filter KEY=VALUE, any letter case):\n";
  size_t width = 0;
  for (const auto& key : report.keys) width = std::max(width, std::string(key.name).size());
  for (const auto& key : report.keys) {
    std::string line = "  " + std::string(key.name);
    line.append(width + 2 - std::string(key.name).size(), ' ');
    line += std::string(key.en) + " / " + key.zh + " (" + TypeText(key) + ")";
    const std::string value = catalog::DefaultValue(key, facts.value_or(catalog::SourceFacts{}));
    if (!value.empty()) {
      line += " [default " + value + "]";
    } else if (key.rule != catalog::DefaultRule::kNone && !facts) {
      line += " [default from the data source]";
    }
    text += line + "\n";
  }
  if (report.takes_period) {
    text += "\n--year/--period default to the data source's current accounting period";
    if (facts && facts->year > 0) {
      text += " (" + std::to_string(facts->year) + "/" + std::to_string(facts->period) + ")";
    }
    text += ".\n";
  }
  if (report.takes_dsql) {
    text +=
        "\nClient SQL (--dsql KEY=VALUE or --dsql-file): Select, Groupby, ITEMFILTER, EndSel.\n"
        "Keys not given keep the standard fragments, which group the rows by item number.\n";
  }
  if (report.takes_alarm_days) {
    text += "\nTask orders show when unfinished and due within the alarm day count of the system "
            "profile (IC/ManufactureAlarmDateCount";
    if (facts && facts->alarm_days_known) text += ", " + std::to_string(facts->alarm_days) + " days";
    text += "); --alarm-days N runs as if it were N.\n";
  }
  text += "\nDefaults shown for: " + why + "\n";
  if (!report.main_columns.empty()) {
    text += "The text and Markdown tables show the main columns; --columns all shows every "
            "column\n(csv, json and xlsx always give every column).\n";
  }
  return text;
}

void PrintBatches(const std::vector<std::string>& batches, std::ostream& out) {
  for (const std::string& batch : batches) {
    out << batch;
    if (batch.empty() || batch.back() != '\n') out << "\r\n";
    out << "GO\r\n";
  }
}

// Captions of the report's columns in the data source's language, codes marked as text.
void Caption(exports::ResultTable& table, const catalog::ReportEntry& report, bool english) {
  table.title = report.number;
  for (auto& column : table.columns) {
    if (const catalog::ColumnCaption* known = catalog::FindColumn(report, column.name)) {
      column.caption = english ? known->en : known->zh;
      column.is_code = known->code;
    }
  }
}

service::ReportRequest BuildRequest(const catalog::ReportEntry& report, const ReportOptions& o,
                                    const std::string& dsn) {
  const catalog::SourceFacts facts = service::ReadSourceFacts(dsn);
  service::ReportRequest request;
  request.number = report.number;
  try {
    request.filter = catalog::BuildFilter(report, GatherConditions(o.filter_file, o.filters), facts);
    if (report.takes_dsql) {
      request.dsql = catalog::BuildDsql(service::StandardDsql(report.number),
                                        GatherConditions(o.dsql_file, o.dsql));
    }
    if (report.takes_period) {
      if ((!o.year || !o.period) && facts.year == 0) {
        throw UsageError("report " + std::string(report.number) +
                         ": the data source has no current accounting period (t_PeriodDate); "
                         "give --year and --period");
      }
      request.year = o.year.value_or(facts.year);
      request.period = o.period.value_or(facts.period);
      catalog::CheckPeriod(request.year, request.period, facts);
    }
  } catch (const catalog::ConditionError& e) {
    throw UsageError(e.what());
  }
  if (report.takes_period) {
    service::Data data;
    std::string start, end;
    if (!data.GetCurDate(dsn, request.year, request.period, start, end)) {
      throw UsageError("report " + std::string(report.number) + ": the period " +
                       std::to_string(request.year) + "/" + std::to_string(request.period) +
                       " is not in the data source's accounting calendar (t_PeriodDate)");
    }
  }
  if (!report.takes_alarm_days && o.alarm_days) {
    throw UsageError("--alarm-days is for report 410 only");
  }
  if (o.alarm_days && *o.alarm_days < 0) throw UsageError("--alarm-days must be 0 or more");
  request.alarm_days = o.alarm_days;
  return request;
}

void RunReport(const catalog::ReportEntry& report, const ReportOptions& o) {
  const ChosenSource source = ChooseSource(o.dsn);
  PrintSetup setup;
  setup.default_columns = report.main_columns;
  setup.data_source_file = source.file;
  if (o.sql) {
    OutputOptions text_output = o.output;
    text_output.format = "table";
    Printer printer(text_output, setup);
    const service::ReportRequest request = BuildRequest(report, o, source.text);
    PrintBatches(service::ReportBatches(source.text, request), printer.stream());
    printer.Finish();
    return;
  }
  Printer printer(o.output, setup);
  const service::ReportRequest request = BuildRequest(report, o, source.text);
  service::RecordsetRef rs;
  {
    Progress progress("report " + std::string(report.number));
    int step = 0;
    const service::ScopedStepListener steps([&](std::string_view name) {
      progress.SetStep("step " + std::to_string(++step) + ": " + std::string(name));
    });
    rs = service::RunReport(source.text, request);
  }
  exports::ResultTable table = rs ? exports::ReadRecordset(*rs) : exports::ResultTable{};
  Caption(table, report, catalog::IsEnglish(ado::ConnectionString(source.text).Get("Language")));
  printer.Print(std::move(table));
  printer.Finish();
}

void AddOneReport(CLI::App* parent, const catalog::ReportEntry& report, int& exit_status) {
  auto* cmd = parent->add_subcommand(report.number, std::string(report.en) + " (" + report.zh + ")");
  auto o = std::make_shared<ReportOptions>();
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("--filter", o->filters, "A condition KEY=VALUE (repeatable); keys below")
      ->allow_extra_args(false);
  cmd->add_option("--filter-file", o->filter_file,
                  "A JSON object of conditions; --filter pairs replace its keys");
  if (report.takes_dsql) {
    cmd->add_option("--dsql", o->dsql, "A client SQL fragment KEY=VALUE (repeatable)")
        ->allow_extra_args(false);
    cmd->add_option("--dsql-file", o->dsql_file, "A JSON object of client SQL fragments");
  }
  if (report.takes_period) {
    cmd->add_option("--year", o->year, "Accounting year (default: the current period's)");
    cmd->add_option("--period", o->period, "Accounting period (default: the current one)");
  }
  if (report.takes_alarm_days) {
    cmd->add_option("--alarm-days", o->alarm_days,
                    "Run as if the alarm day count setting were N (the data source is not "
                    "changed)");
  }
  cmd->add_flag("--sql", o->sql,
                "Print the batches the report sends, in order, separated by GO lines (its "
                "look-ups are answered by the data source; nothing else runs)");
  AddOutputOptions(cmd, o->output);
  cmd->footer([&report, o] { return Footer(report, *o); });
  cmd->callback(
      [&report, o, &exit_status] { exit_status = Guarded([&] { RunReport(report, *o); }); });
}

}  // namespace

void AddReportCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("report", "Run a report (" + catalog::ReportNumbers() +
                                               ") and print its rows");
  cmd->require_subcommand(1);
  for (const catalog::ReportEntry& report : catalog::Reports()) {
    AddOneReport(cmd, report, exit_status);
  }
}

}  // namespace orv::cli
