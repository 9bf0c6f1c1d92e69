// SessionState: temporary tables by name and the session's clock.
#include "tsql/catalog/session_state.h"

#include <cstdlib>
#include <ctime>

#include "tsql/types/datetime.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

std::shared_ptr<Table> SessionState::FindTempTable(std::string_view name) const {
  auto it = temp_tables.find(FoldName(name));
  return it == temp_tables.end() ? nullptr : it->second;
}

int64_t SessionState::Now() const {
  if (fixed_clock) return *fixed_clock;
  if (auto demo = database->demo_clock()) return *demo;
  if (const char* env = std::getenv("ORV_FIXED_NOW"); env && *env) {
    try {
      if (auto ticks = ParseDateTime(env)) return *ticks;
    } catch (...) {
      // An unreadable setting falls back to the local time.
    }
  }
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return MakeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

}  // namespace orv::tsql
