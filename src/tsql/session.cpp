// Session: the connection-level state (temporary tables, options, clock) and its public API.
#include <cstdlib>
#include <ctime>

#include "tsql/engine.h"
#include "tsql/runner.h"
#include "tsql/session_state.h"
#include "tsql/value_ops.h"

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

struct Session::Impl {
  explicit Impl(std::shared_ptr<Database> db) : state(std::move(db)) {}
  SessionState state;
};

Session::Session(std::shared_ptr<Database> database)
    : impl_(std::make_unique<Impl>(std::move(database))) {}

Session::~Session() = default;

void Session::SetClock(std::optional<int64_t> datetime_ticks) {
  impl_->state.fixed_clock = datetime_ticks;
}

void Session::SetShareResultRows(bool share) { impl_->state.share_result_rows = share; }

Database& Session::database() { return *impl_->state.database; }

SessionState& Session::state() { return impl_->state; }

std::vector<StatementResult> Session::ExecuteParsed(ast::Batch& batch, std::string_view text) {
  return RunBatch(impl_->state, batch, text);
}

}  // namespace orv::tsql
