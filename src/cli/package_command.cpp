// "orvdata package": the rows of a query packaged into keyed dictionaries by PackageRecordset
// (every value a trimmed text, Null as ""), or the first row alone by PackageRecord. Printed as
// JSON unless --format says otherwise.
#include <iostream>
#include <memory>
#include <string>

#include "automation/collections.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "service/data.h"

namespace orv::cli {

void AddPackageCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "package", "Run a query and print its rows packaged as keyed dictionaries (JSON)");
  struct Options {
    std::string dsn;
    std::string sql;
    bool first = false;
    OutputOptions output;
  };
  auto o = std::make_shared<Options>();
  o->output.format = "json";
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("sql", o->sql, "The SQL text")->required();
  cmd->add_flag("--first", o->first, "Package only the first row (PackageRecord)");
  AddOutputOptions(cmd, o->output);
  cmd->get_option("--format")->default_str("json");
  cmd->callback([o, &exit_status] {
    exit_status = Guarded([&] {
      const ChosenSource source = ChooseSource(o->dsn);
      Printer printer(o->output, PrintSetup{{}, source.file, {}});
      service::Data data;
      service::RecordsetRef rs = data.GetData(source.text, o->sql);
      auto rows = std::make_shared<automation::Vector>();
      if (o->first) {
        if (auto row = data.PackageRecord(rs))
          rows->Add(automation::Variant(automation::ObjectRef(row)));
      } else {
        rows = data.PackageRecordset(rs);
      }
      printer.Print(exports::FromDictionaries(*rows));
      printer.Finish();
    });
  });
}

}  // namespace orv::cli
