#include "demo_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "automation/variant.h"
#include "reports/cost/rpt498_sql.h"
#include "reports/cost/rpt499_client.h"
#include "reports/cost/rpt499_movement_sql.h"
#include "reports/cost/rpt499_sql.h"
#include "reports/production/report400.h"
#include "reports/production/report401.h"
#include "reports/production/report406.h"
#include "reports/production/report410.h"
#include "tsql/catalog/persistence.h"
#include "tsql/syntax/parser.h"

namespace orv::integration {
namespace {

using automation::CStr;
using automation::Variant;

void RunOrThrow(tsql::Session& session, const std::string& batch) {
  for (const auto& result : session.ExecuteBatch(batch)) {
    if (result.kind == tsql::StatementResult::Kind::Error) {
      throw std::runtime_error("Msg " + std::to_string(result.error.number) + ": " +
                               result.error.message + "\nin batch:\n" + batch.substr(0, 2000));
    }
  }
}

}  // namespace

std::string BuildDemoFile(demo::Size size, const std::string& tag) {
  tsql::Session session(tsql::OpenDatabase(":memory:"));
  demo::Generate({size, 1}, [&](const std::string& batch) { RunOrThrow(session, batch); });
  const std::string path =
      "/tmp/orv_integration_" + std::to_string(getpid()) + "_" + tag + ".orvdb";
  std::remove(path.c_str());
  tsql::SaveDatabaseAs(session.database(), path);
  return path;
}

std::unique_ptr<tsql::Session> SchemaOnlySession() {
  auto session = std::make_unique<tsql::Session>(tsql::OpenDatabase(":memory:"));
  for (const std::string& batch : tsql::SplitScriptOnGo(demo::SchemaScript())) {
    RunOrThrow(*session, batch);
  }
  return session;
}

std::shared_ptr<automation::Dictionary> ProductionFilter() {
  auto filter = automation::NewDictionary();
  filter->SetItem("bLongNumber", Variant(true));
  filter->SetItem("BDate", Variant("2024-01-01"));
  filter->SetItem("EDate", Variant("2025-12-31"));
  return filter;
}

std::shared_ptr<automation::Dictionary> AlarmFilter() {
  auto filter = automation::NewDictionary();
  filter->SetItem("bLongNumber", Variant(true));
  filter->SetItem("BWorkDate", Variant("2024-01-01"));
  filter->SetItem("EWorkDate", Variant("2025-12-31"));
  filter->SetItem("BFinishDate", Variant("2024-01-01"));
  filter->SetItem("EFinishDate", Variant("2026-12-31"));
  return filter;
}

std::vector<LabelledBatch> AllReportBatches() {
  namespace cost = reports::cost;
  std::vector<LabelledBatch> out;
  auto filter = ProductionFilter();
  out.push_back({"400 batch 1", reports::Rpt400Batch1(*filter)});
  out.push_back({"400 batch 2", reports::Rpt400Batch2(*filter)});
  auto dsql401 = reports::Rpt401StandardFragments();
  out.push_back({"401 batch 1", reports::Rpt401Batch1(*filter)});
  out.push_back({"401 batch 2", reports::Rpt401Batch2(*dsql401)});
  out.push_back({"406 batch", reports::Rpt406Batch(*filter)});
  out.push_back({"406 final select", reports::Rpt406FinalSelect(*filter)});
  out.push_back({"410 setting", reports::kRpt410SettingQuery});
  out.push_back({"410 batch 1", reports::Rpt410Batch1(reports::ReadRpt410Conditions(*AlarmFilter()), 7)});
  out.push_back({"410 batch 2", reports::Rpt410Batch2()});

  cost::Rpt498Conditions c498;
  c498.batch_no = "FBATCHNO";
  out.push_back({"498 batch", cost::Rpt498Batch("2025-05-01", "2025-05-31", c498).Text()});
  out.push_back({"498 final select", std::string(cost::kRpt498FinalSelect)});

  cost::Rpt499Period p;
  p.year = kCostYear;
  p.period = kCostPeriod;
  p.start = "2025-05-01";
  p.end = "2025-05-31";
  p.last_year = kCostYear;
  p.last_period = kCostPeriod - 1;
  auto dsql499 = reports::Rpt499StandardFragments();
  const std::vector<std::pair<const char*, std::string>> b499 = {
      {"create #T499Detail", cost::Rpt499CreateTableSql("#T499Detail")},
      {"create #T499", cost::Rpt499CreateTableSql("#T499")},
      {"candidates", cost::Rpt499CandidateSql(p)},
      {"detail rows", cost::Rpt499DetailRowsSql()},
      {"start quantity", cost::Rpt499StartNumSql(p)},
      {"start cost", cost::Rpt499StartCostSql(p)},
      {"in cost", cost::Rpt499InCostSql(p)},
      {"in quantity", cost::Rpt499InNumSql(p)},
      {"out", cost::Rpt499OutSql(p)},
      {"out price", cost::Rpt499OutPriceSql()},
      {"end quantity", cost::Rpt499EndNumSql(p)},
      {"end cost", cost::Rpt499EndCostSql(p)},
      {"end price and copy", cost::Rpt499EndPriceAndCopySql("", "")},
      {"client", cost::Rpt499ClientSql(CStr(dsql499->Item("Select")),
                                       CStr(dsql499->Item("Groupby")),
                                       CStr(dsql499->Item("ITEMFILTER")),
                                       CStr(dsql499->Item("EndSel")))},
      {"last", cost::Rpt499LastSql(CStr(dsql499->Item("EndSel")))},
  };
  for (const auto& [label, text] : b499) out.push_back({std::string("499 ") + label, text});
  return out;
}

}  // namespace orv::integration
