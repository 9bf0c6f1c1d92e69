// The report operations of Data: the frame around each report body, and the ReportContext
// that connects a body to the frame's connection, the period look-ups and the success signal.
#include <string>

#include "reports/cost/rpt498.h"
#include "reports/cost/rpt499.h"
#include "reports/production/report400.h"
#include "reports/production/report401.h"
#include "reports/production/report406.h"
#include "reports/production/report410.h"
#include "reports/report_context.h"
#include "service/data.h"
#include "service/deref.h"
#include "service/report_steps.h"

namespace orv::service {

template <class Run>
RecordsetRef Data::RunReport(Operation operation, const std::string& sDsn, Run run) {
  RecordsetRef result;
  RunFrame(operation, sDsn, false, [&](FrameScope& scope) {
    reports::ReportContext ctx;
    ctx.connection = scope.connection();
    // The period look-ups go through this object's public operations, which re-bind sDsn.
    ctx.get_cur_date = [this, &sDsn](int32_t year, int32_t period, std::string& start,
                                     std::string& end) {
      return GetCurDate(sDsn, year, period, start, end);
    };
    ctx.get_last_period = [this, &sDsn](int32_t year, int32_t period, int32_t& last_year,
                                        int32_t& last_period) {
      return GetLastPeriod(sDsn, year, period, last_year, last_period);
    };
    ctx.mark_complete = [&scope] { scope.SignalSuccess(); };
    ctx.step = ReportStepListener();
    result = run(ctx);
  });
  return result;
}

RecordsetRef Data::GetRpt401Data(std::string sDsn, DictionaryRef dSql, DictionaryRef Filter) {
  return RunReport(Operation::kGetRpt401Data, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt401(ctx, Deref(dSql), Filter.get());
  });
}

RecordsetRef Data::GetRpt400Data(std::string sDsn, DictionaryRef Filter) {
  return RunReport(Operation::kGetRpt400Data, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt400(ctx, Deref(Filter));
  });
}

RecordsetRef Data::GetRpt406Data(std::string sDsn, DictionaryRef Filter) {
  return RunReport(Operation::kGetRpt406Data, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt406(ctx, Deref(Filter));
  });
}

RecordsetRef Data::GetRpt410Data(std::string sDsn, DictionaryRef Filter) {
  // The data-right texts are read before the frame's handler is armed, so a failure here (no
  // Filter at all) reaches the caller unchanged. The report does not apply them.
  Deref(Filter).Item("DataRightFrom");
  Deref(Filter).Item("DataRightWhere");
  return RunReport(Operation::kGetRpt410Data, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt410(ctx, Deref(Filter));
  });
}

RecordsetRef Data::Get498HappenData(std::string sDsn, int16_t iYear, int16_t iPeriod,
                                    DictionaryRef dSql, DictionaryRef Filter) {
  return RunReport(Operation::kGet498HappenData, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt498(ctx, iYear, iPeriod, dSql.get(), Filter.get());
  });
}

RecordsetRef Data::Get499HappenData(std::string sDsn, int16_t iYear, int16_t iPeriod,
                                    DictionaryRef dSql, DictionaryRef Filter) {
  return RunReport(Operation::kGet499HappenData, sDsn, [&](reports::ReportContext& ctx) {
    return reports::RunRpt499(ctx, iYear, iPeriod, dSql.get(), Filter.get());
  });
}

}  // namespace orv::service
