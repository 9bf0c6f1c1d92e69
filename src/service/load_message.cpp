// LoadMessage and the per-thread loader it keeps.
#include "service/load_message.h"

#include <memory>
#include <optional>

#include "automation/ascii.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "automation/variant.h"
#include "service/resource_loader.h"

namespace orv::service {

namespace {

std::shared_ptr<ResourceLoader>& ThreadLoader() {
  thread_local std::shared_ptr<ResourceLoader> loader;
  return loader;
}

std::shared_ptr<ResourceLoader> NewLoader() {
  return automation::As<ResourceLoader>(automation::CreateInstance(kResourceLoaderProgId));
}

}  // namespace

std::string LoadMessage(std::string_view key, std::string_view language) {
  automation::ErrObject& err = automation::Err();
  std::optional<automation::ErrorInfo> saved;
  if (err.Number() != 0) saved = err.info();

  std::string result(key);
  try {
    std::shared_ptr<ResourceLoader>& loader = ThreadLoader();
    if (!loader) loader = NewLoader();
    if (automation::AsciiUpper(loader->LanguageID()) != automation::AsciiUpper(language)) {
      loader->Unload();
      loader.reset();
      loader = NewLoader();
      loader->SetLanguageID(language);
      loader->SetResFileBaseName(kResourceBaseName);
    }
    result = automation::Trim(key);
    result = loader->LoadString(result);
  } catch (...) {
    // The local handler: the failure becomes the pending error until the caller's error is put
    // back below; the result stays the key (trimmed once the trim has run).
    err.Set(automation::CurrentErrorInfo());
    if (!saved) err.Clear();
  }
  if (saved) err.Set(*saved);
  return result;
}

void ResetMessageLoader() { ThreadLoader().reset(); }

}  // namespace orv::service
