// SessionState: temporary tables by name, reading permanent tables under locks, the clock.
#include "tsql/catalog/session_state.h"

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "tsql/catalog/transaction.h"
#include "tsql/types/datetime.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

int32_t NextSessionId() {
  // Ids below 51 are the system's own in SQL Server; @@SPID is a smallint, so ids wrap.
  static std::atomic<int32_t> next{0};
  return 51 + next.fetch_add(1, std::memory_order_relaxed) % (32767 - 51);
}

}  // namespace

SessionState::SessionState(std::shared_ptr<Database> db)
    : database(std::move(db)), session_id(NextSessionId()), locks(session_id, &cancel_requested) {}

SessionState::~SessionState() {
  try {
    RollbackTransaction(*this);
  } catch (...) {
    // Nothing was written for an open transaction; there is nothing left to undo in the file.
  }
}

std::shared_ptr<Table> SessionState::FindTempTable(std::string_view name) const {
  auto it = temp_tables.find(FoldName(name));
  return it == temp_tables.end() ? nullptr : it->second;
}

std::shared_ptr<Table> SessionState::OpenTable(std::string_view name) {
  database->locks().Acquire(locks, FoldName(name), LockMode::kShared, false, lock_timeout_ms);
  std::shared_ptr<Table> table = database->FindTable(name);
  DataFile* file = database->file();
  if (!table || !file) return table;
  if (transaction.writing) {
    // While the session writes it holds the file's write lock: no other process can commit.
    // But a table put in memory before the lock was taken (read ahead for the batch while
    // another process committed, and added after the lock's look at the file) may be of an
    // older state: unless this transaction has changed it already, it is read again, so that
    // what this session changes is the table as committed.
    if (table->checked_at != reads.data_version) {
      bool changed = false;
      for (const ChangeLog::Record& r : transaction.log.records()) changed = changed || r.table == table;
      if (!changed) {
        database->EvictTable(table->name);
        table = database->FindTable(name);
      }
    }
    return table;
  }
  if (table->checked_at != reads.data_version) reads.check = true;
  reads.tables.push_back(table);
  return table;
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

std::string ObjectNamePart(std::string_view text, std::string_view current_database) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  auto unbracketed = [](std::string_view part) {
    return part.size() >= 2 && part.front() == '[' && part.back() == ']'
               ? part.substr(1, part.size() - 2)
               : part;
  };
  const std::string_view name = unbracketed(parts.back());
  if (IsTempName(name)) {
    // The database is the part before the schema: "db.schema.name" or "server.db.schema.name".
    const std::string_view database =
        parts.size() >= 3 ? unbracketed(parts[parts.size() - 3]) : current_database;
    if (!NamesEqual(database, "tempdb")) return {};
  }
  return std::string(name);
}

}  // namespace orv::tsql
