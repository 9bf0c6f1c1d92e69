// Accounting-period look-ups.
#include "lookups/period_lookups.h"

#include "automation/factory.h"
#include "automation/variant.h"
#include "sqltext/quote.h"
#include "lookups/system_profile.h"

namespace orv::lookups {

namespace {

// "yyyy" followed by the last two characters of "0" + period: 3 -> "03", 12 -> "12".
std::string PeriodKey(int32_t year, int32_t period) {
  std::string padded = "0" + std::to_string(period);
  return std::to_string(year) + padded.substr(padded.size() - 2);
}

}  // namespace

std::string LastPeriodSql(int32_t year, int32_t period) {
  return "Select Top 1 * From t_PeriodDate\r\n"
         "Where RTrim(cast(Fyear as varchar(5)))+ right('0' + cast(FPeriod as varchar(5)),2) <" +
         sqltext::Q(PeriodKey(year, period)) +
         "\r\n"
         "Order by FYear Desc,FPeriod Desc";
}

std::string CurDateSql(int32_t year, int32_t period) {
  return "Select FStartDate,FEndDate From t_PeriodDate Where FYear=" + std::to_string(year) +
         " and FPeriod=" + std::to_string(period);
}

bool GetLastPeriod(ado::Connection& connection, int32_t year, int32_t period, int32_t& last_year,
                   int32_t& last_period) {
  std::shared_ptr<ado::Recordset> rs = connection.Execute(LastPeriodSql(year, period), nullptr, -1);
  if (rs->EOF()) return false;
  last_year = automation::CLng(rs->Fields("FYear").Value());
  last_period = automation::CLng(rs->Fields("FPeriod").Value());
  return true;
}

bool GetCurDate(ado::Connection& connection, int32_t year, int32_t period, std::string& start_date,
                std::string& end_date) {
  std::shared_ptr<ado::Recordset> rs = connection.Execute(CurDateSql(year, period), nullptr, -1);
  if (rs->EOF()) return false;
  start_date = automation::Format(rs->Fields("FStartDate").Value(), "yyyy-mm-dd");
  end_date = automation::Format(rs->Fields("FEndDate").Value(), "yyyy-mm-dd");
  return true;
}

std::string CurrentPeriodSql() {
  return "Select Top 1 FYear,FPeriod,CONVERT(char(10),FStartDate,120) As FStartDate,"
         "CONVERT(char(10),FEndDate,120) As FEndDate,CONVERT(char(10),GETDATE(),120) As FToday "
         "From t_PeriodDate Where FStartDate<=GETDATE() Order by FStartDate Desc";
}

bool GetCurrentPeriod(ado::Connection& connection, CurrentPeriod& current) {
  std::shared_ptr<ado::Recordset> rs = connection.Execute(CurrentPeriodSql(), nullptr, -1);
  if (rs->EOF()) return false;
  current.year = automation::CLng(rs->Fields("FYear").Value());
  current.period = automation::CLng(rs->Fields("FPeriod").Value());
  current.start_date = automation::CStr(rs->Fields("FStartDate").Value());
  current.end_date = automation::CStr(rs->Fields("FEndDate").Value());
  current.today = automation::CStr(rs->Fields("FToday").Value());
  return true;
}

int32_t ReadPeriodCount(std::string& sDsn) {
  auto reader = automation::As<SystemProfileReader>(
      automation::CreateInstance(kSystemProfileProgId));
  return automation::CLng(reader->GetProfile(sDsn, "GL", "PeriodCount"));
}

}  // namespace orv::lookups
