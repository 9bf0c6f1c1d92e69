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
    : impl_(std::make_unique<Impl>(std::move(database))) {
  // Each connection has its own @@SPID; user sessions start at 51 as the server's do.
  static std::atomic<int32_t> next_spid{51};
  impl_->state.spid = next_spid.fetch_add(1);
  if (impl_->state.spid > 32000) impl_->state.spid = 51;
}

bool Session::nocount() const { return impl_->state.nocount; }

Session::~Session() = default;

void Session::SetClock(std::optional<int64_t> datetime_ticks) {
  impl_->state.fixed_clock = datetime_ticks;
}

void Session::SetShareResultRows(bool share) { impl_->state.share_result_rows = share; }

void Session::SetReadOnly(bool read_only) { impl_->state.read_only = read_only; }

void Session::Cancel() { impl_->state.cancel_requested.store(true, std::memory_order_relaxed); }

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
