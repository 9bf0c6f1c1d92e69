// Connection: opens a provider and runs batches with the first-result rule.
#include "ado/connection.h"

#include <utility>

#include "ado/ado_errors.h"
#include "ado/run_control.h"

namespace orv::ado {

std::shared_ptr<Connection> Connection::Open(std::string_view connection_string) {
  ConnectionString properties(connection_string);
  auto provider = OpenProvider(properties);
  return std::make_shared<Connection>(std::move(properties), std::move(provider));
}

Connection::Connection(ConnectionString properties, std::unique_ptr<ProviderConnection> provider)
    : properties_(std::move(properties)), provider_(std::move(provider)) {}

void Connection::Close() { provider_.reset(); }

std::deque<ProviderResult> Connection::RunBatch(std::string_view text) {
  if (!provider_) RaiseAdoError(adoerr::kObjectClosed);
  std::vector<ProviderResult> results;
  if (RunControl* control = CurrentRunControl()) {
    control->Enter(*provider_);
    try {
      results = provider_->ExecuteBatch(text);
    } catch (...) {
      control->Leave();
      throw;
    }
    control->Leave();
    // A cancel that reached the batch after it had ended, or that the engine had not yet
    // seen when the batch began, still stops the work here.
    if (control->cancelled()) {
      RaiseProviderError(ProviderError{kCancelledNumber, 11, kCancelledText});
    }
  } else {
    results = provider_->ExecuteBatch(text);
  }
  last_errors_.clear();

  // Informational messages and errors ahead of the first rowset or row count never reach the
  // caller as results; the errors among them fail the call.
  size_t first = 0;
  for (; first < results.size(); ++first) {
    const ProviderResult::Kind kind = results[first].kind;
    if (kind == ProviderResult::Kind::Rows || kind == ProviderResult::Kind::RowCount) break;
    if (kind == ProviderResult::Kind::Error) last_errors_.push_back(results[first].error);
  }
  if (!last_errors_.empty()) RaiseProviderError(last_errors_.front());

  std::deque<ProviderResult> out;
  for (size_t i = first; i < results.size(); ++i) out.push_back(std::move(results[i]));
  return out;
}

std::shared_ptr<Recordset> Connection::Execute(std::string_view text, int64_t* records_affected,
                                               int32_t options) {
  std::deque<ProviderResult> results = RunBatch(text);
  if (records_affected) {
    *records_affected = (!results.empty() && results.front().kind == ProviderResult::Kind::RowCount)
                            ? results.front().count
                            : -1;
  }
  if (options != -1 && (options & adExecuteNoRecords)) return nullptr;

  ProviderResult first;  // a row count of 0 when the batch had no result at all
  if (!results.empty()) {
    first = std::move(results.front());
    results.pop_front();
  }
  auto recordset = Recordset::FromResult(std::move(first), std::move(results));
  // Recordsets that Execute returns stay bound to the connection that produced them.
  if (auto self = weak_from_this().lock()) {
    recordset->SetActiveConnection(std::static_pointer_cast<Connection>(self));
  }
  return recordset;
}

}  // namespace orv::ado
