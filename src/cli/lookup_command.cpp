// "orvdata lookup <what>": the reference look-ups of Data, one subcommand each.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "automation/collections.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "service/data.h"

namespace orv::cli {

namespace {

struct LookupOptions {
  std::string dsn;
  int32_t year = 0;
  int32_t period = 0;
  int32_t item_class = 4;
  std::string filter;
  std::string number;
  int32_t from_unit = 0;
  int32_t to_unit = 0;
};

CLI::App* Sub(CLI::App& parent, const char* name, const char* help, LookupOptions& o) {
  auto* cmd = parent.add_subcommand(name, help);
  cmd->add_option("--dsn", o.dsn, "Data-source text")->required();
  return cmd;
}

void AddPeriodOptions(CLI::App* cmd, LookupOptions& o) {
  cmd->add_option("--year", o.year, "Accounting year")->required();
  cmd->add_option("--period", o.period, "Accounting period")->required();
}

}  // namespace

void AddLookupCommand(CLI::App& app, int& exit_status) {
  auto* lookup = app.add_subcommand("lookup", "Reference look-ups: periods, items, units");
  lookup->require_subcommand(1);
  auto o = std::make_shared<LookupOptions>();
  auto run = [&exit_status](std::function<void(service::Data&)> body) {
    return [&exit_status, body] {
      exit_status = Guarded([&] {
        service::Data data;
        body(data);
      });
    };
  };

  auto* last = Sub(*lookup, "last-period", "The period before a given one", *o);
  AddPeriodOptions(last, *o);
  last->callback(run([o](service::Data& d) {
    int32_t year = 0, period = 0;
    if (d.GetLastPeriod(o->dsn, o->year, o->period, year, period)) {
      std::cout << year << " " << period << "\n";
    } else {
      std::cout << "no earlier period\n";
    }
  }));

  auto* dates = Sub(*lookup, "cur-date", "First and last day of a period", *o);
  AddPeriodOptions(dates, *o);
  dates->callback(run([o](service::Data& d) {
    std::string start, end;
    if (d.GetCurDate(o->dsn, o->year, o->period, start, end)) {
      std::cout << start << " " << end << "\n";
    } else {
      std::cout << "no such period\n";
    }
  }));

  Sub(*lookup, "max-period", "Periods per year (0 when the profile is unreadable)", *o)
      ->callback(run([o](service::Data& d) { std::cout << d.GetMaxPeriod(o->dsn) << "\n"; }));

  Sub(*lookup, "currency-scale", "Decimal places of the base currency", *o)
      ->callback(run([o](service::Data& d) { std::cout << d.GetCurrencyScale(o->dsn) << "\n"; }));

  auto* level = Sub(*lookup, "item-max-level", "Depth of an item class", *o);
  level->add_option("--class", o->item_class, "Item class id")->required();
  level->callback(run(
      [o](service::Data& d) { std::cout << d.GetItemMaxLevel(o->dsn, o->item_class) << "\n"; }));

  auto* props = Sub(*lookup, "item-props", "Item property descriptions", *o);
  auto* filter = props->add_option("--filter", o->filter,
                                   "SQL condition (default \" FItemClassID IN (4,8) \")");
  props->callback(run([o, filter](service::Data& d) {
    std::optional<std::string> condition;
    if (filter->count() > 0) condition = o->filter;
    auto rows = d.GetItemPropDesc(o->dsn, condition);
    for (const automation::Variant& item : rows->items()) {
      auto row = automation::As<automation::Dictionary>(item.AsObject());
      bool first = true;
      for (const std::string& key : row->Keys()) {
        const automation::Variant value = row->Item(key);
        std::cout << (first ? "" : " | ") << key << "="
                  << (value.IsNull() ? std::string("NULL") : automation::CStr(value));
        first = false;
      }
      std::cout << "\n";
    }
  }));

  auto* decimals = Sub(*lookup, "decimal", "Quantity and price precision of an item", *o);
  decimals->add_option("--number", o->number, "Item number")->required();
  decimals->callback(run([o](service::Data& d) {
    int32_t qty = 0, price = 0;
    d.GetDecimal(o->dsn, o->number, qty, price);
    std::cout << "qty " << qty << " price " << price << "\n";
  }));

  auto* unit = Sub(*lookup, "unit-coefficient", "Factor from one unit of measure to another", *o);
  unit->add_option("--from", o->from_unit, "From-unit id")->required();
  unit->add_option("--to", o->to_unit, "To-unit id")->required();
  unit->callback(run([o](service::Data& d) {
    service::ConnectionRef cn;
    std::cout << automation::CStr(automation::Variant(
                     d.ChangeUnitCoeffcient(cn, o->from_unit, o->to_unit, o->dsn)))
              << "\n";
  }));
}

}  // namespace orv::cli
