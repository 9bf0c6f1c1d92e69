// The process-wide table of providers by name, and opening a provider from a connection string.
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "ado/provider.h"
#include "automation/ascii.h"

namespace orv::ado {
namespace {

inline constexpr std::string_view kDefaultProvider = "Embedded";

struct Registry {
  std::mutex mutex;
  std::map<std::string, ProviderFactory> factories;  // by lower-case name
};

// Built on first use: static initializers of other translation units register into it.
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterProvider(std::string_view name, ProviderFactory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.factories[automation::AsciiLower(name)] = std::move(factory);
}

std::string ProviderName(const ConnectionString& properties) {
  std::string name = properties.Get("Provider");
  if (!name.empty()) return name;
  // ODBC connection texts name a driver or a DSN and no provider.
  if (!properties.Get("Driver").empty() || !properties.Get("DSN").empty()) return "ODBC";
  return std::string(kDefaultProvider);
}

std::unique_ptr<ProviderConnection> OpenProvider(const ConnectionString& properties) {
  const std::string name = ProviderName(properties);
  ProviderFactory factory;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.factories.find(automation::AsciiLower(name));
    if (it != registry.factories.end()) factory = it->second;
  }
  if (!factory) {
    RaiseAdoError(adoerr::kProviderNotFound, "Provider '" + name +
                                                 "' cannot be found. It may not be properly "
                                                 "installed.");
  }
  auto connection = factory(properties);
  if (!connection) {
    RaiseAdoError(adoerr::kNoConnection, "Provider '" + name + "' opened no connection.");
  }
  return connection;
}

}  // namespace orv::ado
