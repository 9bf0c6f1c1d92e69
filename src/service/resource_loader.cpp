// The resource loader and its text table.
#include "service/resource_loader.h"

#include <memory>

#include "automation/ascii.h"
#include "automation/factory.h"

namespace orv::service {

namespace {

struct ResourceText {
  std::string_view key;
  std::string_view cht;
  std::string_view en;
};

// The "UlmINDUSTRY" texts. The base language's text of each entry is its key.
constexpr ResourceText kIndustryTexts[] = {
    {"生产任务执行情况汇总表中间层服务", "生產任務執行情況匯總表中間層服務",
     "Production Task Execution Summary Middle-Tier Service"},
};

}  // namespace

std::string Loader::LoadString(std::string_view key) {
  if (automation::AsciiUpper(base_name_) != automation::AsciiUpper(kResourceBaseName))
    return std::string(key);
  const std::string language = automation::AsciiUpper(language_);
  for (const ResourceText& text : kIndustryTexts) {
    if (text.key != key) continue;
    if (language == "CHT") return std::string(text.cht);
    if (language == "EN") return std::string(text.en);
    return std::string(text.key);
  }
  return std::string(key);
}

void RegisterResourceLoader() {
  automation::RegisterClass(kResourceLoaderProgId, [] { return std::make_shared<Loader>(); });
}

}  // namespace orv::service
