#include "service/source_facts.h"

#include "automation/error.h"
#include "automation/variant.h"
#include "lookups/period_lookups.h"
#include "reports/production/report410.h"
#include "service/connection_broker.h"
#include "service/data.h"

namespace orv::service {

reports::catalog::SourceFacts ReadSourceFacts(const std::string& dsn) {
  reports::catalog::SourceFacts facts;
  Data data;
  facts.periods_per_year = data.GetMaxPeriod(dsn);
  std::shared_ptr<ConnectionBroker> broker = OrvGlobal::ForThread().ConnectionBroker();
  broker->OpenDataSource(dsn);
  std::shared_ptr<ado::Connection> lookup = broker->LookupConnection();
  lookups::CurrentPeriod current;
  try {
    if (lookups::GetCurrentPeriod(*lookup, current)) {
      facts.year = current.year;
      facts.period = current.period;
      facts.period_start = current.start_date;
      facts.period_end = current.end_date;
      facts.today = current.today;
      std::string first_end;
      data.GetCurDate(dsn, current.year, 1, facts.year_start, first_end);
    }
  } catch (const automation::AutomationError&) {
    // No accounting calendar: the defaults that need one stay unknown.
  }
  try {
    std::shared_ptr<ado::Recordset> setting = lookup->Execute(reports::kRpt410SettingQuery);
    if (setting && setting->State() == ado::adStateOpen && !setting->EOF()) {
      facts.alarm_days = automation::CLng(setting->Fields(0).Value());
      facts.alarm_days_known = true;
    }
  } catch (const automation::AutomationError&) {
  }
  return facts;
}

}  // namespace orv::service
