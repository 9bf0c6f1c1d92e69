// The system-profile reader.
#include "lookups/system_profile.h"

#include <memory>

#include "ado/connection.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "sqltext/quote.h"

namespace orv::lookups {

automation::Variant SystemProfile::GetProfile(std::string& sDsn, std::string_view category,
                                              std::string_view key) {
  // A connection of its own: the profile reader is not part of the caller's request frame.
  std::shared_ptr<ado::Connection> connection = ado::Connection::Open(sDsn);
  std::shared_ptr<ado::Recordset> rs = connection->Execute(
      "Select FValue From t_SystemProfile Where FCategory=" + sqltext::Q(category) + " And FKey=" + sqltext::Q(key));
  if (rs->State() != ado::adStateOpen || rs->EOF()) {
    connection->Close();
    automation::Raise(
        automation::err::kInvalidProcedureCall, kSystemProfileProgId,
        "System profile " + std::string(category) + "/" + std::string(key) + " not found");
  }
  automation::Variant value = rs->Fields(0).Value();
  rs->Close();
  connection->Close();
  return value;
}

void RegisterSystemProfile() {
  automation::RegisterClass(kSystemProfileProgId, [] { return std::make_shared<SystemProfile>(); });
}

}  // namespace orv::lookups
