// The per-thread OrvGlobal object and its connection broker: the broker opens a data source
// named by its data-source text, hands out the main and look-up connections of that source,
// reports the broker context (the language of the source), and keeps a journal of the calls
// made on it so that the request frame of each operation can be checked from outside.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "automation/error.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace orv::service {

// What the broker knows about the data source opened last: its language code, taken from the
// "Language" key of the data-source text ("" when absent).
class BrokerContext : public automation::Object {
 public:
  explicit BrokerContext(std::string language) : language_(std::move(language)) {}
  const std::string& Language() const { return language_; }

 private:
  std::string language_;
};

// Opens data sources and caches one connection pair per data-source text: `Connection` for the
// reports and item look-ups, `LookupConnection` for the period, unit and decimal look-ups. The
// two are separate connections of the same source, so each keeps its own temporary tables
// while the permanent tables are shared. The data-source text is the connection string.
class ConnectionBroker : public automation::Object {
 public:
  void MarkAbort();
  void MarkComplete();
  std::shared_ptr<BrokerContext> GetContext();
  // Opens (or re-uses) the connections of sDsn and makes it the current source. An empty
  // text raises error 5.
  automation::Variant OpenDataSource(std::string_view sDsn);
  // The current source's connections; error 3709 before any OpenDataSource.
  std::shared_ptr<ado::Connection> Connection();
  std::shared_ptr<ado::Connection> LookupConnection();

  // The calls made so far, e.g. "MarkComplete", "OpenDataSource(<dsn>)", "GetContext",
  // "Connection"; OrvGlobal adds "ConnectionBroker" when the broker is fetched. Only the
  // latest calls are kept (at most kJournalLimit).
  static constexpr size_t kJournalLimit = 10000;
  const std::vector<std::string>& Journal() const { return journal_; }
  void ClearJournal() { journal_.clear(); }
  void Record(std::string call);

  // Fault injection for tests: the next call named `call` ("MarkComplete", "OpenDataSource",
  // "Connection", ...) raises `error` instead of doing its work (once).
  void FailNext(std::string call, automation::ErrorInfo error);
  // Closes and forgets every cached connection and the current source.
  void CloseAll();

 private:
  struct Pair {
    std::shared_ptr<ado::Connection> main;
    std::shared_ptr<ado::Connection> lookup;
  };
  void Enter(std::string_view call, std::string journal_text);
  std::shared_ptr<ado::Connection>& Ensure(std::shared_ptr<ado::Connection>& connection,
                                           std::string_view sDsn);

  std::map<std::string, Pair, std::less<>> pairs_;
  std::string current_;  // the data-source text opened last
  bool has_current_ = false;
  std::shared_ptr<BrokerContext> context_ = std::make_shared<BrokerContext>("");
  std::vector<std::string> journal_;
  std::map<std::string, automation::ErrorInfo, std::less<>> failures_;
};

// The per-thread global object, created on first use in a thread.
class OrvGlobal {
 public:
  static OrvGlobal& ForThread();
  // The broker of this thread; each read is journaled as "ConnectionBroker".
  std::shared_ptr<service::ConnectionBroker> ConnectionBroker();
  // The broker without journaling (for tests and tools that inspect it).
  const std::shared_ptr<service::ConnectionBroker>& broker() const { return broker_; }

 private:
  OrvGlobal();
  std::shared_ptr<service::ConnectionBroker> broker_;
};

}  // namespace orv::service
