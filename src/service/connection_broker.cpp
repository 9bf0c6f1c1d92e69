// The connection broker, its context and the per-thread OrvGlobal object.
#include "service/connection_broker.h"

#include <utility>

#include "ado/provider.h"

namespace orv::service {

namespace {

constexpr char kBrokerSource[] = "OrvGlobal.ConnectionBroker";

}  // namespace

void ConnectionBroker::Record(std::string call) {
  // A server's threads keep their broker for days: the oldest half goes when the journal is
  // full.
  if (journal_.size() >= kJournalLimit) {
    journal_.erase(journal_.begin(), journal_.begin() + kJournalLimit / 2);
  }
  journal_.push_back(std::move(call));
}

void ConnectionBroker::Enter(std::string_view call, std::string journal_text) {
  Record(std::move(journal_text));
  auto failure = failures_.find(call);
  if (failure != failures_.end()) {
    automation::ErrorInfo error = failure->second;
    failures_.erase(failure);
    automation::Raise(error);
  }
}

void ConnectionBroker::FailNext(std::string call, automation::ErrorInfo error) {
  failures_[std::move(call)] = std::move(error);
}

void ConnectionBroker::MarkAbort() { Enter("MarkAbort", "MarkAbort"); }

void ConnectionBroker::MarkComplete() { Enter("MarkComplete", "MarkComplete"); }

std::shared_ptr<BrokerContext> ConnectionBroker::GetContext() {
  Enter("GetContext", "GetContext");
  return context_;
}

automation::Variant ConnectionBroker::OpenDataSource(std::string_view sDsn) {
  Enter("OpenDataSource", "OpenDataSource(" + std::string(sDsn) + ")");
  if (sDsn.empty()) {
    automation::Raise(automation::err::kInvalidProcedureCall, kBrokerSource,
                      "No data source given: the data-source text is empty");
  }
  Pair& pair = pairs_[std::string(sDsn)];
  // Open both connections now so that a data source that cannot be opened fails here, where
  // the caller expects it, rather than at the first statement.
  Ensure(pair.main, sDsn);
  Ensure(pair.lookup, sDsn);
  current_ = std::string(sDsn);
  has_current_ = true;
  context_ = std::make_shared<BrokerContext>(ado::ConnectionString(sDsn).Get("Language"));
  return automation::Variant(true);
}

std::shared_ptr<ado::Connection>& ConnectionBroker::Ensure(
    std::shared_ptr<ado::Connection>& connection, std::string_view sDsn) {
  if (!connection || !connection->IsOpen()) connection = ado::Connection::Open(sDsn);
  return connection;
}

std::shared_ptr<ado::Connection> ConnectionBroker::Connection() {
  Enter("Connection", "Connection");
  if (!has_current_) {
    automation::Raise(3709, kBrokerSource, "No data source has been opened");
  }
  return Ensure(pairs_[current_].main, current_);
}

std::shared_ptr<ado::Connection> ConnectionBroker::LookupConnection() {
  Enter("LookupConnection", "LookupConnection");
  if (!has_current_) {
    automation::Raise(3709, kBrokerSource, "No data source has been opened");
  }
  return Ensure(pairs_[current_].lookup, current_);
}

void ConnectionBroker::CloseAll() {
  for (auto& [dsn, pair] : pairs_) {
    if (pair.main && pair.main->IsOpen()) pair.main->Close();
    if (pair.lookup && pair.lookup->IsOpen()) pair.lookup->Close();
  }
  pairs_.clear();
  current_.clear();
  has_current_ = false;
  context_ = std::make_shared<BrokerContext>("");
}

OrvGlobal::OrvGlobal() : broker_(std::make_shared<service::ConnectionBroker>()) {}

OrvGlobal& OrvGlobal::ForThread() {
  thread_local OrvGlobal global;
  return global;
}

std::shared_ptr<service::ConnectionBroker> OrvGlobal::ConnectionBroker() {
  broker_->Record("ConnectionBroker");
  return broker_;
}

}  // namespace orv::service
