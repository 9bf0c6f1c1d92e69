// "orvdata query": one SQL text through Data::GetData (the query door), its rows printed.
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/data_source.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "cli/progress.h"
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
  cmd->add_option("--dsn", o->dsn, "Data source: a file path or connection text (default: demo)");
  cmd->add_option("sql", o->sql, "The SQL text, run unchanged")->required();
  AddOutputOptions(cmd, o->output);
  cmd->callback([o, &exit_status] {
    exit_status = Guarded([&] {
      Printer printer(o->output);
      const std::string dsn = ResolveDsn(o->dsn);
      service::RecordsetRef rs;
      {
        Progress progress("query");
        service::Data data;
        rs = data.GetData(TrackBatches(dsn), o->sql);
      }
      printer.Print(rs ? ReadRecordset(*rs) : ResultTable{});
      printer.Finish();
    });
  });
}

}  // namespace orv::cli
