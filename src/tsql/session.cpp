// Session: the connection-level state (temporary tables, options, clock) and its public API.
#include "tsql/catalog/session_state.h"
#include "tsql/engine.h"

#include <atomic>
#include "tsql/exec/runner.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

struct Session::Impl {
  explicit Impl(std::shared_ptr<Database> db) : state(std::move(db)) {}
  SessionState state;
};

Session::Session(std::shared_ptr<Database> database)
    : impl_(std::make_unique<Impl>(std::move(database))) {}

bool Session::nocount() const { return impl_->state.nocount; }

int32_t Session::transaction_count() const { return impl_->state.transaction.count; }

uint64_t Session::transaction_id() const { return impl_->state.transaction.id; }

bool Session::last_transaction_rolled_back() const {
  return impl_->state.transaction.last_rolled_back;
}

Session::~Session() = default;

void Session::SetClock(std::optional<int64_t> datetime_ticks) {
  impl_->state.fixed_clock = datetime_ticks;
}

void Session::SetShareResultRows(bool share) { impl_->state.share_result_rows = share; }

void Session::SetReadOnly(bool read_only) { impl_->state.read_only = read_only; }

void Session::Cancel() { impl_->state.cancel_requested.store(true, std::memory_order_relaxed); }

void Session::SetMemoryLimitMegabytes(int64_t megabytes) {
  impl_->state.memory_limit_bytes = megabytes > 0 ? megabytes << 20 : 0;
}

Database& Session::database() { return *impl_->state.database; }

SessionState& Session::state() { return impl_->state; }

namespace {

// The session's date and string settings apply to this thread while its batch runs.
class SessionSettingsScope {
 public:
  explicit SessionSettingsScope(const SessionState& state)
      : saved_dates_(dt::CurrentDateSettings()), saved_concat_(ConcatNullYieldsNull()) {
    dt::CurrentDateSettings() = state.date_settings;
    ConcatNullYieldsNull() = state.concat_null_yields_null;
  }
  ~SessionSettingsScope() {
    dt::CurrentDateSettings() = saved_dates_;
    ConcatNullYieldsNull() = saved_concat_;
  }
  SessionSettingsScope(const SessionSettingsScope&) = delete;
  SessionSettingsScope& operator=(const SessionSettingsScope&) = delete;

 private:
  dt::DateSettings saved_dates_;
  bool saved_concat_;
};

}  // namespace

std::vector<StatementResult> Session::ExecuteParsed(ast::Batch& batch, std::string_view text) {
  SessionSettingsScope settings(impl_->state);
  return RunBatch(impl_->state, batch, text);
}

ProcedureCall Session::CallProcedure(const ast::Name& name,
                                     const std::vector<ProcedureArgument>& arguments) {
  SessionSettingsScope settings(impl_->state);
  return RunProcedureCall(impl_->state, name, arguments);
}

}  // namespace orv::tsql
