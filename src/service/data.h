// The Data class ("OrvVAduzAvu.Data"): every public operation of the report service. Each
// operation runs its body inside the request frame of its row in the frame table
// (request_frame.h): broker signals, BindDataSource, the connection taken, and what a failure
// becomes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ado/connection.h"
#include "automation/collections.h"
#include "automation/object.h"
#include "service/connection_broker.h"
#include "service/request_frame.h"

namespace orv::service {

inline constexpr char kDataProgId[] = "OrvVAduzAvu.Data";
inline constexpr int32_t kTransMode = 3;

using DictionaryRef = std::shared_ptr<automation::Dictionary>;  // nullptr is Nothing
using RecordsetRef = std::shared_ptr<ado::Recordset>;
using ConnectionRef = std::shared_ptr<ado::Connection>;

class Data : public automation::Object {
 public:
  // Fetches this thread's broker and its context; a failure there is the creation's failure.
  Data();
  ~Data() override;

  int32_t TransMode() const { return kTransMode; }

  int32_t GetCurrencyScale(std::string sDsn);
  RecordsetRef GetData(std::string sDsn, std::string strSql);
  int32_t GetItemMaxLevel(std::string sDsn, int32_t lItemClassID);
  // strFilter omitted: " FItemClassID IN (4,8) ".
  std::shared_ptr<automation::Vector> GetItemPropDesc(
      std::string sDsn, std::optional<std::string> strFilter = std::nullopt);
  RecordsetRef GetRpt401Data(std::string sDsn, DictionaryRef dSql, DictionaryRef Filter = nullptr);
  RecordsetRef GetRpt400Data(std::string sDsn, DictionaryRef Filter);
  RecordsetRef GetRpt406Data(std::string sDsn, DictionaryRef Filter);
  RecordsetRef GetRpt410Data(std::string sDsn, DictionaryRef Filter);
  RecordsetRef Get498HappenData(std::string sDsn, int16_t iYear, int16_t iPeriod,
                                DictionaryRef dSql, DictionaryRef Filter = nullptr);
  RecordsetRef Get499HappenData(std::string sDsn, int16_t iYear, int16_t iPeriod,
                                DictionaryRef dSql, DictionaryRef Filter = nullptr);
  bool GetLastPeriod(std::string sDsn, int32_t lCurYear, int32_t lCurPeriod, int32_t& lLastYear,
                     int32_t& lLastPeriod);
  bool GetCurDate(std::string sDsn, int32_t lCurYear, int32_t lCurPeriod, std::string& sStartDate,
                  std::string& sEndDate);
  int32_t GetMaxPeriod(std::string sDsn);
  // Cn nullptr: binds sDsn ("" when omitted) and stores the broker's LookupConnection in Cn.
  double ChangeUnitCoeffcient(ConnectionRef& Cn, int32_t FromUnitID, int32_t ToUnitID,
                              std::optional<std::string> sDsn = std::nullopt);
  void GetDecimal(std::string sDsn, std::string sNumber, int32_t& lQtyDecimal,
                  int32_t& lPriceDecimal);
  std::shared_ptr<automation::Vector> PackageRecordset(RecordsetRef& Rs);
  DictionaryRef PackageRecord(RecordsetRef& Rs);

  // The references the object holds (replaced by every BindDataSource).
  const std::shared_ptr<ConnectionBroker>& broker() const { return broker_; }
  const std::shared_ptr<BrokerContext>& context() const { return context_; }

 private:
  using Body = std::function<void(FrameScope&)>;

  bool BindDataSource(const std::string& sDsn);
  // Applies the frame row of `operation` around `body`. Returns false when the row's failure
  // path swallowed a failure (the operation then returns its default); raises otherwise.
  bool RunFrame(Operation operation, const std::string& sDsn, bool connection_given,
                const Body& body);
  void GiveSignal(Signal signal);
  [[noreturn]] void RaiseFailure(const FrameRow& row);
  // The ReportContext of a report body: the frame's connection, the period look-ups through
  // this object, the success signal of the frame.
  template <class Run>
  RecordsetRef RunReport(Operation operation, const std::string& sDsn, Run run);

  std::shared_ptr<BrokerContext> context_;
  std::shared_ptr<ConnectionBroker> broker_;
  std::string language_;  // no operation sets it; LoadMessage receives ""
};

// Registers "OrvVAduzAvu.Data", "UlmRESLOADER.Loader" and "OrvPellBase.SystemProfile" with the
// object factory. Idempotent; a re-registration restores a class that a test removed.
void RegisterServiceClasses();

}  // namespace orv::service
