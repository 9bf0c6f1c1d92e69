// The scripted test provider: named scripts of prepared answers, and the provider that plays
// them back while recording what it was sent.
#include "ado/scripted_provider.h"

#include <map>
#include <utility>

namespace orv::ado {

void Script::Answer(std::vector<ProviderResult> results) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(results));
}

void Script::AnswerRows(std::vector<ColumnInfo> columns,
                        std::vector<std::vector<automation::Variant>> rows) {
  ProviderResult result;
  result.kind = ProviderResult::Kind::Rows;
  result.columns = std::move(columns);
  result.rows = std::move(rows);
  Answer({std::move(result)});
}

void Script::AnswerError(int32_t native, std::string message) {
  ProviderResult result;
  result.kind = ProviderResult::Kind::Error;
  result.error = ProviderError{native, 16, std::move(message)};
  Answer({std::move(result)});
}

std::vector<std::string> Script::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void Script::Reset() {
  std::lock_guard lock(mutex_);
  received_.clear();
  queue_.clear();
}

std::vector<ProviderResult> Script::Next(std::string_view text) {
  std::lock_guard lock(mutex_);
  received_.emplace_back(text);
  if (queue_.empty()) return {ProviderResult{}};  // one row count of 0
  std::vector<ProviderResult> results = std::move(queue_.front());
  queue_.erase(queue_.begin());
  return results;
}

namespace {

class ScriptedConnection : public ProviderConnection {
 public:
  explicit ScriptedConnection(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  std::vector<ProviderResult> ExecuteBatch(std::string_view text) override {
    return script_->Next(text);
  }

 private:
  std::shared_ptr<Script> script_;
};

}  // namespace

std::shared_ptr<Script> ScriptFor(std::string_view data_source) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<Script>, std::less<>> scripts;
  std::lock_guard lock(mutex);
  auto it = scripts.find(data_source);
  if (it == scripts.end()) {
    it = scripts.emplace(std::string(data_source), std::make_shared<Script>()).first;
  }
  return it->second;
}

void InstallScriptedProvider() {
  RegisterProvider("Scripted", [](const ConnectionString& properties) {
    return std::make_unique<ScriptedConnection>(ScriptFor(properties.Get("Data Source")));
  });
}

}  // namespace orv::ado
