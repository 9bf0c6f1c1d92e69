// "orvdata query": one SQL text through Data::GetData (the query door), its rows printed.
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/source_choice.h"
#include "service/data.h"

namespace orv::cli {

void AddQueryCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "query", "Run one SQL text through the query door (GetData) and print its rows");
  struct Options {
    std::string dsn;
    std::string sql;
    OutputOptions output;
  };
  auto o = std::make_shared<Options>();
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("sql", o->sql, "The SQL text, run unchanged")->required();
  AddOutputOptions(cmd, o->output);
  cmd->callback([o, &exit_status] {
    exit_status = Guarded([&] {
      const ChosenSource source = ChooseSource(o->dsn);
      Printer printer(o->output, PrintSetup{{}, source.file, {}});
      const std::string& dsn = source.text;
      service::RecordsetRef rs;
      {
        Progress progress("query");
        service::Data data;
        rs = data.GetData(TrackBatches(dsn), o->sql);
      }
      printer.Print(rs ? exports::ReadRecordset(*rs) : exports::ResultTable{});
      printer.Finish();
    });
  });
}

}  // namespace orv::cli
