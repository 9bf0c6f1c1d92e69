// The system-profile reader ("OrvPellBase.SystemProfile"): values of t_SystemProfile by
// category and key. GetMaxPeriod calls it late bound through SystemProfileReader.
#pragma once

#include <string>
#include <string_view>

#include "automation/object.h"
#include "automation/variant.h"

namespace orv::lookups {

inline constexpr char kSystemProfileProgId[] = "OrvPellBase.SystemProfile";

class SystemProfileReader : public automation::Object {
 public:
  virtual automation::Variant GetProfile(std::string& sDsn, std::string_view category,
                                         std::string_view key) = 0;
};

// Reads t_SystemProfile(FCategory, FKey, FValue) on its own connection to the data source
// sDsn. An absent row raises error 5 naming the category and key.
class SystemProfile : public SystemProfileReader {
 public:
  automation::Variant GetProfile(std::string& sDsn, std::string_view category,
                                 std::string_view key) override;
};

// Registers "OrvPellBase.SystemProfile" with the object factory (idempotent).
void RegisterSystemProfile();

}  // namespace orv::lookups
