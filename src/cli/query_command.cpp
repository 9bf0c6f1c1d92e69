// "orvdata query": one SQL text through Data::GetData, printed as a table; and "orvdata sql":
// a whole batch on a connection of its own, every result printed in turn.
#include <iostream>
#include <memory>
#include <string>

#include "ado/connection.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/output.h"
#include "service/data.h"

namespace orv::cli {

void AddQueryCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "query", "Run one SQL text through GetData and print the rows (detached recordset)");
  auto dsn = std::make_shared<std::string>();
  auto sql = std::make_shared<std::string>();
  cmd->add_option("--dsn", *dsn, "Data-source text, e.g. \"Provider=Embedded;Data Source=x.db\"")
      ->required();
  cmd->add_option("sql", *sql, "The SQL text, run unchanged")->required();
  cmd->callback([dsn, sql, &exit_status] {
    exit_status = Guarded([&] {
      service::Data data;
      service::RecordsetRef rs = data.GetData(*dsn, *sql);
      PrintTable(std::cout, *rs);
    });
  });
}

void AddSqlCommand(CLI::App& app, int& exit_status) {
  auto* cmd =
      app.add_subcommand("sql", "Run a T-SQL batch on a data source and print each of its results");
  auto dsn = std::make_shared<std::string>();
  auto batch = std::make_shared<std::string>();
  cmd->add_option("--dsn", *dsn, "Data-source text")->required();
  cmd->add_option("batch", *batch, "The batch text")->required();
  cmd->callback([dsn, batch, &exit_status] {
    exit_status = Guarded([&] {
      std::shared_ptr<ado::Connection> connection = ado::Connection::Open(*dsn);
      int64_t affected = -1;
      std::shared_ptr<ado::Recordset> rs = connection->Execute(*batch, &affected);
      bool first = true;
      while (rs) {
        if (rs->State() == ado::adStateOpen) {
          PrintTable(std::cout, *rs);
        } else if (first && affected >= 0) {
          std::cout << "(" << affected << " rows affected)\n";
        } else {
          std::cout << "(done)\n";
        }
        first = false;
        rs = rs->NextRecordset();
      }
      connection->Close();
    });
  });
}

}  // namespace orv::cli
