// "orvdata package": the rows of a query packaged into keyed dictionaries, printed as JSON (one
// object per row, every value a text, as PackageRecordset gives them).
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "automation/collections.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "service/data.h"

namespace orv::cli {

void AddPackageCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "package", "Run a query and print its rows packaged as keyed dictionaries (JSON)");
  auto dsn = std::make_shared<std::string>();
  auto sql = std::make_shared<std::string>();
  cmd->add_option("--dsn", *dsn, "Data-source text")->required();
  cmd->add_option("sql", *sql, "The SQL text")->required();
  cmd->callback([dsn, sql, &exit_status] {
    exit_status = Guarded([&] {
      service::Data data;
      service::RecordsetRef rs = data.GetData(*dsn, *sql);
      auto rows = data.PackageRecordset(rs);
      nlohmann::ordered_json out = nlohmann::ordered_json::array();
      for (const automation::Variant& item : rows->items()) {
        auto row = automation::As<automation::Dictionary>(item.AsObject());
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const std::string& key : row->Keys()) object[key] = automation::CStr(row->Item(key));
        out.push_back(std::move(object));
      }
      std::cout << out.dump(2) << "\n";
    });
  });
}

}  // namespace orv::cli
