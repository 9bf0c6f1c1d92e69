#include "service/code_suggestions.h"

#include "service/connection_broker.h"

namespace orv::service {

std::vector<lookups::CodeSuggestion> SuggestCodes(const std::string& dsn, lookups::CodeKind kind,
                                                  std::string_view typed, int limit) {
  std::shared_ptr<ConnectionBroker> broker = OrvGlobal::ForThread().ConnectionBroker();
  broker->OpenDataSource(dsn);
  return lookups::SuggestCodes(*broker->LookupConnection(), kind, typed, limit);
}

}  // namespace orv::service
