// "orvdata report <number>": runs one report with its conditions and prints its rows, or with
// --sql prints the batches it would send. One subcommand per report, each with the keys it
// reads in its help.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "automation/variant.h"
#include "cli/commands.h"
#include "cli/conditions.h"
#include "cli/data_source.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/report_batches.h"
#include "cli/report_catalog.h"
#include "reports/cost/rpt499_client.h"
#include "reports/production/report401.h"
#include "reports/production/report410.h"
#include "service/data.h"

namespace orv::cli {

namespace {

// The demo database's alarm day count, used by --sql for 410 when no data source is given.
constexpr int kDemoAlarmDays = 7;

struct ReportOptions {
  std::string dsn;
  OutputOptions output;
  std::vector<std::string> filters;
  std::string filter_file;
  std::vector<std::string> dsql;
  std::string dsql_file;
  int year = kDefaultYear;
  int period = kDefaultPeriod;
  bool sql = false;
  int alarm_days = kDemoAlarmDays;
};

std::shared_ptr<automation::Dictionary> StandardDsql(const ReportInfo& report) {
  return std::string(report.number) == "401" ? reports::Rpt401StandardFragments()
                                             : reports::Rpt499StandardFragments();
}

std::string Footer(const ReportInfo& report) {
  std::string text =
      "\nFilter keys (--filter KEY=VALUE; [default] is what orvdata sends when the "
      "key is not given):\n" +
      KeyHelp(report);
  if (report.takes_dsql) {
    text +=
        "\nClient SQL (--dsql KEY=VALUE or --dsql-file): Select, Groupby, ITEMFILTER, EndSel.\n"
        "Keys not given keep the standard fragments, which group the rows by item number.\n";
    text +=
        std::string(report.number) == "401"
            ? "ITEMFILTER is a condition on #T401 put after \" And \" (standard: always true).\n"
            : "ITEMFILTER is a whole \" And ...\" condition on #T499 alias t (standard: "
              "empty).\n";
  }
  if (report.takes_period) {
    text +=
        "\n--sql needs the period's first and last day: with --dsn they are looked up in "
        "the data source (GetCurDate";
    text += std::string(report.number) == "499" ? ", GetLastPeriod)" : ")";
    text += "; without it the period is taken as the calendar month.\n";
  }
  if (std::string(report.number) == "499") {
    text += "Batches 4 to 13 run only when batch 3 (the candidate items) returns rows.\n";
  }
  if (std::string(report.number) == "410") {
    text +=
        "\nTask orders show when unfinished and due within the alarm day count of the "
        "system profile (IC/ManufactureAlarmDateCount). --sql reads it with --dsn, else "
        "uses --alarm-days.\n";
  }
  if (!report.table_columns.empty()) {
    text +=
        "\nThe text and Markdown tables show the main columns; --columns all shows every "
        "column (csv and json always give every column).\n";
  }
  text += "\nWithout --dsn the demo database is used (created when missing).\n";
  return text;
}

void PrintBatches(const BatchPlan& plan, std::ostream& out) {
  for (const std::string& batch : plan.batches) {
    out << batch;
    if (batch.empty() || batch.back() != '\n') out << "\r\n";
    out << "GO\r\n";
  }
}

int32_t LookUpAlarmDays(service::Data& data, const std::string& dsn) {
  service::RecordsetRef setting = data.GetData(dsn, reports::kRpt410SettingQuery);
  if (setting && setting->RecordCount() > 0) return automation::CLng(setting->Fields(0).Value());
  return 0;
}

void ShowSql(const ReportInfo& report, const ReportOptions& o, const automation::Dictionary& filter,
             const automation::Dictionary* dsql) {
  const std::string number = report.number;
  std::unique_ptr<service::Data> data;
  std::string dsn;
  if (!o.dsn.empty()) {
    dsn = ResolveDsn(o.dsn);
    data = std::make_unique<service::Data>();
  }
  BatchPlan plan;
  if (number == "400") {
    plan = Batches400(filter);
  } else if (number == "401") {
    plan = Batches401(filter, *dsql);
  } else if (number == "406") {
    plan = Batches406(filter);
  } else if (number == "410") {
    plan = Batches410(filter, data ? LookUpAlarmDays(*data, dsn) : o.alarm_days);
  } else {
    PeriodDates dates = CalendarMonth(o.year, o.period);
    if (data) {
      dates = PeriodDates{};
      data->GetCurDate(dsn, o.year, o.period, dates.start, dates.end);
      if (number == "499") {
        data->GetLastPeriod(dsn, o.year, o.period, dates.last_year, dates.last_period);
      }
    }
    plan = number == "498" ? Batches498(filter, dates)
                           : Batches499(filter, *dsql, o.year, o.period, dates);
  }
  if (o.output.output.empty() || o.output.output == "-") {
    PrintBatches(plan, std::cout);
    std::cout.flush();
    return;
  }
  OutputOptions text_output = o.output;
  text_output.format = "table";
  Printer printer(text_output);
  PrintBatches(plan, printer.stream());
  printer.Finish();
}

void CheckPeriod(const ReportOptions& o) {
  if (o.year < 1900 || o.year > 9999) throw UsageError("--year must be a year like 2025");
  if (o.period < 1 || o.period > 99) throw UsageError("--period must be 1 or more");
}

void RunReport(const ReportInfo& report, const ReportOptions& o) {
  const std::string number = report.number;
  auto filter = BuildFilter(report, o.filter_file, o.filters);
  std::shared_ptr<automation::Dictionary> dsql;
  if (report.takes_dsql) dsql = BuildDsql(StandardDsql(report), o.dsql_file, o.dsql);
  if (report.takes_period) CheckPeriod(o);
  if (o.sql) {
    ShowSql(report, o, *filter, dsql.get());
    return;
  }

  Printer printer(o.output, report.table_columns);
  const std::string dsn = ResolveDsn(o.dsn);
  service::RecordsetRef rs;
  {
    Progress progress("report " + number);
    const std::string tracked = TrackBatches(dsn);
    service::Data data;
    const auto year = static_cast<int16_t>(o.year);
    const auto period = static_cast<int16_t>(o.period);
    if (number == "400") rs = data.GetRpt400Data(tracked, filter);
    if (number == "401") rs = data.GetRpt401Data(tracked, dsql, filter);
    if (number == "406") rs = data.GetRpt406Data(tracked, filter);
    if (number == "410") rs = data.GetRpt410Data(tracked, filter);
    if (number == "498") rs = data.Get498HappenData(tracked, year, period, nullptr, filter);
    if (number == "499") rs = data.Get499HappenData(tracked, year, period, dsql, filter);
  }
  printer.Print(rs ? ReadRecordset(*rs) : ResultTable{});
  printer.Finish();
}

void AddOneReport(CLI::App* parent, const ReportInfo& report, int& exit_status) {
  auto* cmd = parent->add_subcommand(report.number, report.title);
  auto o = std::make_shared<ReportOptions>();
  cmd->add_option("--dsn", o->dsn,
                  "Data source: a file path or \"Provider=Embedded;Data Source=FILE\" "
                  "(default: the demo database)");
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
    cmd->add_option("--year", o->year, "Accounting year")->default_val(kDefaultYear);
    cmd->add_option("--period", o->period, "Accounting period")->default_val(kDefaultPeriod);
  }
  cmd->add_flag("--sql", o->sql,
                "Print the batches the report would send, in order, separated by GO lines, "
                "without running them");
  if (std::string(report.number) == "410") {
    cmd->add_option("--alarm-days", o->alarm_days, "Alarm day count for --sql without --dsn")
        ->default_val(kDemoAlarmDays);
  }
  AddOutputOptions(cmd, o->output);
  cmd->footer(Footer(report));
  cmd->callback(
      [&report, o, &exit_status] { exit_status = Guarded([&] { RunReport(report, *o); }); });
}

}  // namespace

void AddReportCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("report",
                                 "Run a report (400, 401, 406, 410, 498, 499) and print its rows");
  cmd->require_subcommand(1);
  for (const ReportInfo& report : Reports()) AddOneReport(cmd, report, exit_status);
}

}  // namespace orv::cli
