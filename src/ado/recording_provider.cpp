// The recording provider: named recordings and the connection that records, forwards or
// answers each batch.
#include "ado/recording_provider.h"

#include <atomic>
#include <cctype>
#include <utility>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "automation/ascii.h"

namespace orv::ado {

namespace {

struct RecordingRegistry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<Recording>, std::less<>> recordings;
};

RecordingRegistry& Recordings() {
  static RecordingRegistry registry;
  return registry;
}

// One row with no columns: "some rows came back", as far as the caller can tell.
std::vector<ProviderResult> OneEmptyRow() {
  ProviderResult result;
  result.kind = ProviderResult::Kind::Rows;
  result.rows.emplace_back();
  return {std::move(result)};
}

class RecordingConnection : public ProviderConnection {
 public:
  explicit RecordingConnection(std::shared_ptr<Recording> recording)
      : recording_(std::move(recording)) {}

  std::vector<ProviderResult> ExecuteBatch(std::string_view text) override {
    std::vector<ProviderResult> answer;
    if (recording_->Take(text, answer)) return answer;
    if (recording_->mode() == Recording::Mode::kQueriesOnly && !IsLookupBatch(text)) {
      return OneEmptyRow();
    }
    ProviderConnection* inner = nullptr;
    {
      std::lock_guard lock(inner_mutex_);
      if (!inner_) inner_ = OpenProvider(ConnectionString(recording_->target()));
      inner = inner_.get();
    }
    return inner->ExecuteBatch(text);
  }

  void Cancel() override {
    std::lock_guard lock(inner_mutex_);
    if (inner_) inner_->Cancel();
  }

 private:
  std::shared_ptr<Recording> recording_;
  std::mutex inner_mutex_;                     // Cancel comes from another thread
  std::unique_ptr<ProviderConnection> inner_;  // opened by the first batch it must see
};

std::unique_ptr<ProviderConnection> OpenRecording(const ConnectionString& properties) {
  const std::string name = properties.Get("Data Source");
  std::shared_ptr<Recording> recording;
  {
    RecordingRegistry& registry = Recordings();
    std::lock_guard lock(registry.mutex);
    auto it = registry.recordings.find(name);
    if (it != registry.recordings.end()) recording = it->second.lock();
  }
  if (!recording) RaiseAdoError(adoerr::kNoConnection, "No recording named '" + name + "'.");
  return std::make_unique<RecordingConnection>(std::move(recording));
}

// The text with string literals and comments blanked out, so words inside them do not count.
std::string CodeOnly(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size();) {
    if (out[i] == '\'') {
      size_t j = i + 1;
      while (j < out.size()) {
        if (out[j] == '\'' && j + 1 < out.size() && out[j + 1] == '\'') {
          j += 2;
          continue;
        }
        if (out[j] == '\'') break;
        ++j;
      }
      for (size_t k = i + 1; k < j && k < out.size(); ++k) out[k] = ' ';
      i = j + 1;
    } else if (out.compare(i, 2, "--") == 0) {
      while (i < out.size() && out[i] != '\n') out[i++] = ' ';
    } else if (out.compare(i, 2, "/*") == 0) {
      const size_t end = out.find("*/", i + 2);
      const size_t stop = end == std::string::npos ? out.size() : end + 2;
      for (size_t k = i; k < stop; ++k) out[k] = ' ';
      i = stop;
    } else {
      ++i;
    }
  }
  return out;
}

}  // namespace

void Recording::Answer(std::string text, std::vector<ProviderResult> results) {
  std::lock_guard lock(mutex_);
  answers_[std::move(text)] = std::move(results);
}

std::vector<std::string> Recording::Batches() const {
  std::lock_guard lock(mutex_);
  return batches_;
}

bool Recording::Take(std::string_view text, std::vector<ProviderResult>& answer) {
  std::lock_guard lock(mutex_);
  batches_.emplace_back(text);
  auto it = answers_.find(text);
  if (it == answers_.end()) return false;
  answer = it->second;
  return true;
}

std::shared_ptr<Recording> StartRecording(std::string target, Recording::Mode mode) {
  static const bool registered = [] {
    RegisterProvider("Recording", OpenRecording);
    return true;
  }();
  (void)registered;
  static std::atomic<int> counter{0};
  auto recording = std::make_shared<Recording>(std::move(target), mode);
  const std::string name = "recording" + std::to_string(++counter);
  recording->connection_text_ = "Provider=Recording;Data Source=" + name;
  RecordingRegistry& registry = Recordings();
  std::lock_guard lock(registry.mutex);
  registry.recordings[name] = recording;
  return recording;
}

bool IsLookupBatch(std::string_view text) {
  const std::string code = CodeOnly(text);
  std::vector<std::string> words;
  bool statement_ended = false;
  for (size_t i = 0; i < code.size();) {
    const char c = code[i];
    if (c == '#') return false;
    if (c == ';') {
      statement_ended = true;
      ++i;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@') {
      size_t j = i;
      while (j < code.size() && (std::isalnum(static_cast<unsigned char>(code[j])) ||
                                 code[j] == '_' || code[j] == '@' || code[j] == '$')) {
        ++j;
      }
      if (statement_ended) return false;  // something after a ';'
      words.push_back(automation::AsciiLower(code.substr(i, j - i)));
      i = j;
      continue;
    }
    ++i;
  }
  if (words.empty() || words.front() != "select") return false;
  // A second SELECT may be a subquery, but no query that only reads needs these words.
  static const char* const kWriting[] = {"into",  "insert",  "update",   "delete", "drop",
                                         "create", "alter",  "exec",     "execute", "set",
                                         "truncate", "merge", "declare", "go"};
  for (size_t w = 1; w < words.size(); ++w) {
    for (const char* bad : kWriting) {
      if (words[w] == bad) return false;
    }
  }
  return true;
}

}  // namespace orv::ado
