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

std::vector<StatementResult> Session::ExecuteParsed(ast::Batch& batch, std::string_view text) {
  // The session's date settings apply to this thread while its batch runs.
  dt::DateSettings saved = dt::CurrentDateSettings();
  dt::CurrentDateSettings() = impl_->state.date_settings;
  bool saved_concat = ConcatNullYieldsNull();
  ConcatNullYieldsNull() = impl_->state.concat_null_yields_null;
  struct Restore {
    dt::DateSettings saved;
    bool concat;
    ~Restore() {
      dt::CurrentDateSettings() = saved;
      ConcatNullYieldsNull() = concat;
    }
  } restore{saved, saved_concat};
  return RunBatch(impl_->state, batch, text);
}

}  // namespace orv::tsql
