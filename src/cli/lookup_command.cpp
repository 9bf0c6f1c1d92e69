// "orvdata lookup <what>": the reference look-ups of Data, one subcommand each. Every answer is
// printed as a small result table, so --format works as for the reports.
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "automation/collections.h"
#include "automation/variant.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "cli/errors.h"
#include "cli/output.h"
#include "service/data.h"
#include "service/source_facts.h"

namespace orv::cli {

namespace {

using automation::Variant;

struct LookupOptions {
  std::string dsn;
  OutputOptions output;
  std::optional<int32_t> year;
  std::optional<int32_t> period;
  int32_t item_class = 4;
  std::string filter;
  std::string number;
  int32_t from_unit = 0;
  int32_t to_unit = 0;
};

// A one-row table of named values.
exports::ResultTable OneRow(std::initializer_list<std::pair<const char*, Variant>> values) {
  exports::ResultTable table;
  std::vector<Variant> row;
  for (const auto& [name, value] : values) {
    table.AddColumn(name, value.type() == automation::VarType::String ? "varchar" : "int");
    row.push_back(value);
  }
  table.AddRow(std::move(row));
  return table;
}

exports::ResultTable NoRow(std::initializer_list<const char*> names) {
  exports::ResultTable table;
  for (const char* name : names) table.AddColumn(name);
  return table;
}

using Body = std::function<exports::ResultTable(service::Data&, const std::string& dsn)>;

CLI::App* Sub(CLI::App& parent, const char* name, const char* help,
              std::shared_ptr<LookupOptions> o, int& exit_status, Body body) {
  auto* cmd = parent.add_subcommand(name, help);
  AddDsnOption(cmd, o->dsn);
  AddOutputOptions(cmd, o->output);
  cmd->callback([o, body, &exit_status] {
    exit_status = Guarded([&] {
      const ChosenSource source = ChooseSource(o->dsn);
      Printer printer(o->output, PrintSetup{{}, source.file, {}});
      const std::string& dsn = source.text;
      service::Data data;
      printer.Print(body(data, dsn));
      printer.Finish();
    });
  });
  return cmd;
}

void AddPeriodOptions(CLI::App* cmd, LookupOptions& o) {
  cmd->add_option("--year", o.year, "Accounting year (default: the current period's)");
  cmd->add_option("--period", o.period, "Accounting period (default: the current one)");
}

// --year and --period, each defaulting to the data source's current period.
std::pair<int32_t, int32_t> ChosenPeriod(const LookupOptions& o, const std::string& dsn) {
  if (o.year && o.period) return {*o.year, *o.period};
  const reports::catalog::SourceFacts facts = service::ReadSourceFacts(dsn);
  if (facts.year == 0) {
    throw UsageError("the data source has no current accounting period; give --year and --period");
  }
  return {o.year.value_or(facts.year), o.period.value_or(facts.period)};
}

}  // namespace

void AddLookupCommand(CLI::App& app, int& exit_status) {
  auto* lookup = app.add_subcommand("lookup", "Reference look-ups: periods, items, units");
  lookup->require_subcommand(1);
  auto o = std::make_shared<LookupOptions>();

  auto* last = Sub(*lookup, "last-period", "The period before a given one (GetLastPeriod)", o,
                   exit_status, [o](service::Data& d, const std::string& dsn) {
                     int32_t year = 0, period = 0;
                     const auto [cur_year, cur_period] = ChosenPeriod(*o, dsn);
                     if (!d.GetLastPeriod(dsn, cur_year, cur_period, year, period)) {
                       std::cerr << "orvdata: no period before " << cur_year << "/" << cur_period
                                 << "\n";
                       return NoRow({"year", "period"});
                     }
                     return OneRow({{"year", Variant(year)}, {"period", Variant(period)}});
                   });
  AddPeriodOptions(last, *o);

  auto* dates = Sub(*lookup, "cur-date", "First and last day of a period (GetCurDate)", o,
                    exit_status, [o](service::Data& d, const std::string& dsn) {
                      std::string start, end;
                      const auto [year, period] = ChosenPeriod(*o, dsn);
                      if (!d.GetCurDate(dsn, year, period, start, end)) {
                        std::cerr << "orvdata: no period " << year << "/" << period << "\n";
                        return NoRow({"start_date", "end_date"});
                      }
                      return OneRow({{"start_date", Variant(start)}, {"end_date", Variant(end)}});
                    });
  AddPeriodOptions(dates, *o);

  Sub(*lookup, "max-period", "Periods per year, 0 when the profile is unreadable (GetMaxPeriod)", o,
      exit_status, [](service::Data& d, const std::string& dsn) {
        return OneRow({{"periods", Variant(d.GetMaxPeriod(dsn))}});
      });

  Sub(*lookup, "currency-scale", "Decimal places of the base currency (GetCurrencyScale)", o,
      exit_status, [](service::Data& d, const std::string& dsn) {
        return OneRow({{"scale", Variant(d.GetCurrencyScale(dsn))}});
      });

  auto* level =
      Sub(*lookup, "item-max-level", "Depth of an item class (GetItemMaxLevel)", o, exit_status,
          [o](service::Data& d, const std::string& dsn) {
            return OneRow({{"max_level", Variant(d.GetItemMaxLevel(dsn, o->item_class))}});
          });
  level->add_option("--class", o->item_class, "Item class id (4 products and materials)")
      ->default_val(4);

  auto* props = Sub(*lookup, "item-props", "Item property descriptions (GetItemPropDesc)", o,
                    exit_status, [o](service::Data& d, const std::string& dsn) {
                      std::optional<std::string> condition;
                      if (!o->filter.empty()) condition = o->filter;
                      auto rows = d.GetItemPropDesc(dsn, condition);
                      return rows ? exports::FromDictionaries(*rows) : exports::ResultTable{};
                    });
  props->add_option("--where", o->filter,
                    "SQL condition on the property table (default \" FItemClassID IN (4,8) \")");

  auto* decimals =
      Sub(*lookup, "decimal", "Quantity and price precision of an item (GetDecimal)", o,
          exit_status, [o](service::Data& d, const std::string& dsn) {
            int32_t qty = 0, price = 0;
            d.GetDecimal(dsn, o->number, qty, price);
            return OneRow({{"qty_decimal", Variant(qty)}, {"price_decimal", Variant(price)}});
          });
  decimals->add_option("--number", o->number, "Item number (long number)")->required();

  auto* unit = Sub(*lookup, "unit-coefficient",
                   "Factor from one unit of measure to another (ChangeUnitCoeffcient)", o,
                   exit_status, [o](service::Data& d, const std::string& dsn) {
                     service::ConnectionRef cn;
                     const double factor =
                         d.ChangeUnitCoeffcient(cn, o->from_unit, o->to_unit, dsn);
                     exports::ResultTable table;
                     table.AddColumn("coefficient", "float");
                     table.AddRow({Variant(factor)});
                     return table;
                   });
  unit->add_option("--from", o->from_unit, "From-unit id (t_MeasureUnit.FMeasureUnitID)")
      ->required();
  unit->add_option("--to", o->to_unit, "To-unit id")->required();
}

}  // namespace orv::cli
