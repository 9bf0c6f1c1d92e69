// The look-up, query and packaging operations of Data: each hands its body to the frame runner.
#include <string>

#include "automation/variant.h"
#include "lookups/item_lookups.h"
#include "lookups/period_lookups.h"
#include "lookups/unit_conversion.h"
#include "service/data.h"
#include "service/deref.h"
#include "service/query.h"

namespace orv::service {

int32_t Data::GetCurrencyScale(std::string sDsn) {
  int32_t scale = 0;
  RunFrame(Operation::kGetCurrencyScale, sDsn, false, [&](FrameScope& scope) {
    scale = lookups::GetCurrencyScale(Deref(scope.connection()));
  });
  return scale;
}

RecordsetRef Data::GetData(std::string sDsn, std::string strSql) {
  RecordsetRef result;
  RunFrame(Operation::kGetData, sDsn, false,
           [&](FrameScope& scope) { result = OpenDetached(scope.connection(), strSql); });
  return result;
}

int32_t Data::GetItemMaxLevel(std::string sDsn, int32_t lItemClassID) {
  int32_t level = 0;
  RunFrame(Operation::kGetItemMaxLevel, sDsn, false, [&](FrameScope& scope) {
    level = lookups::GetItemMaxLevel(scope.connection(), lItemClassID);
  });
  return level;
}

std::shared_ptr<automation::Vector> Data::GetItemPropDesc(std::string sDsn,
                                                          std::optional<std::string> strFilter) {
  const std::string filter = strFilter.value_or(lookups::kDefaultItemPropFilter);
  std::shared_ptr<automation::Vector> properties;
  RunFrame(Operation::kGetItemPropDesc, sDsn, false, [&](FrameScope& scope) {
    properties = lookups::GetItemPropDesc(scope.connection(), scope.language(), filter);
  });
  return properties;
}

bool Data::GetLastPeriod(std::string sDsn, int32_t lCurYear, int32_t lCurPeriod, int32_t& lLastYear,
                         int32_t& lLastPeriod) {
  bool found = false;
  RunFrame(Operation::kGetLastPeriod, sDsn, false, [&](FrameScope& scope) {
    found = lookups::GetLastPeriod(Deref(scope.connection()), lCurYear, lCurPeriod, lLastYear,
                                   lLastPeriod);
  });
  return found;
}

bool Data::GetCurDate(std::string sDsn, int32_t lCurYear, int32_t lCurPeriod,
                      std::string& sStartDate, std::string& sEndDate) {
  bool found = false;
  RunFrame(Operation::kGetCurDate, sDsn, false, [&](FrameScope& scope) {
    found =
        lookups::GetCurDate(Deref(scope.connection()), lCurYear, lCurPeriod, sStartDate, sEndDate);
  });
  return found;
}

int32_t Data::GetMaxPeriod(std::string sDsn) {
  int32_t periods = 0;
  if (!RunFrame(Operation::kGetMaxPeriod, sDsn, false,
                [&](FrameScope&) { periods = lookups::ReadPeriodCount(sDsn); })) {
    return 0;
  }
  return periods;
}

double Data::ChangeUnitCoeffcient(ConnectionRef& Cn, int32_t FromUnitID, int32_t ToUnitID,
                                  std::optional<std::string> sDsn) {
  double result = -1;
  RunFrame(Operation::kChangeUnitCoeffcient, sDsn.value_or(std::string()), Cn != nullptr,
           [&](FrameScope& scope) {
             if (!Cn) Cn = scope.connection();
             result = lookups::ChangeUnitCoefficient(Deref(Cn), FromUnitID, ToUnitID);
           });
  return result;
}

void Data::GetDecimal(std::string sDsn, std::string sNumber, int32_t& lQtyDecimal,
                      int32_t& lPriceDecimal) {
  RunFrame(Operation::kGetDecimal, sDsn, false, [&](FrameScope& scope) {
    lookups::GetDecimal(Deref(scope.connection()), sNumber, lQtyDecimal, lPriceDecimal);
  });
}

std::shared_ptr<automation::Vector> Data::PackageRecordset(RecordsetRef& Rs) {
  std::shared_ptr<automation::Vector> rows;
  RunFrame(Operation::kPackageRecordset, {}, false, [&](FrameScope&) {
    auto packaged = std::make_shared<automation::Vector>();
    while (!Deref(Rs).EOF()) {
      packaged->Add(automation::Variant(automation::ObjectRef(PackageRecord(Rs))));
      Rs->MoveNext();
    }
    rows = std::move(packaged);
  });
  return rows;
}

DictionaryRef Data::PackageRecord(RecordsetRef& Rs) {
  DictionaryRef row;
  RunFrame(Operation::kPackageRecord, {}, false,
           [&](FrameScope&) { row = service::PackageRecord(Deref(Rs)); });
  return row;
}

}  // namespace orv::service
