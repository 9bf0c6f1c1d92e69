// Statements and transactions of a session: undo, commit, and the locks they hold.
#include "tsql/catalog/transaction.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// Puts the catalog back as it was before a recorded CREATE or DROP.
void UndoCatalogChange(SessionState& session, const ChangeLog::Record& r) {
  Database& db = *session.database;
  switch (r.kind) {
    case ChangeLog::Kind::kCreateTable:
      if (r.table->temporary) {
        auto it = session.temp_tables.find(FoldName(r.table->name));
        if (it != session.temp_tables.end() && it->second == r.table) session.temp_tables.erase(it);
      } else {
        db.RemoveTable(r.table);
      }
      break;
    case ChangeLog::Kind::kDropTable:
      if (r.table->temporary) {
        session.temp_tables[FoldName(r.table->name)] = r.table;
      } else {
        db.RestoreTable(r.table);
      }
      break;
    case ChangeLog::Kind::kCreateView:
      db.RemoveView(r.view);
      break;
    case ChangeLog::Kind::kDropView:
      db.RestoreView(r.view);
      break;
    case ChangeLog::Kind::kPutProcedure:
      db.RestoreProcedure(r.procedure->name, r.replaced);
      break;
    case ChangeLog::Kind::kDropProcedure:
      db.RestoreProcedure(r.replaced->name, r.replaced);
      break;
    default:
      break;
  }
}

void UndoTo(SessionState& session, size_t mark, bool keep_table_variables = false) {
  session.transaction.log.UndoTo(
      mark, [&](const ChangeLog::Record& r) { UndoCatalogChange(session, r); }, keep_table_variables);
}

// Lets go of everything the transaction holds once its changes are committed or undone.
void Finish(SessionState& session, bool rolled_back) {
  TransactionState& t = session.transaction;
  if (t.id != 0) {
    t.last_rolled_back = rolled_back;
    t.id = 0;
  }
  if (t.writing) {
    t.writing = false;
    if (DataFile* file = session.database->file()) file->AbortWrite();
  }
  t.log.Clear();
  t.doomed = false;
  t.count = 0;
  t.name.clear();
  t.savepoints.clear();
  session.database->locks().ReleaseTransaction(session.locks);
}

// Writes the transaction's changes to permanent tables; on failure they are undone and the
// error raised.
void Commit(SessionState& session) {
  TransactionState& t = session.transaction;
  DataFile* file = session.database->file();
  if (file && t.writing && t.log.ChangesPermanent()) {
    try {
      file->Commit(*session.database, t.log);
    } catch (...) {
      UndoTo(session, 0);
      Finish(session, true);
      throw;
    }
  }
  Finish(session, false);
}

}  // namespace

size_t BeginStatement(SessionState& session) {
  session.reads.tables.clear();
  session.reads.check = false;
  if (DataFile* file = session.database->file()) {
    // A session that writes holds the file's write lock: nobody else can have committed.
    session.reads.data_version = file->Refresh(*session.database, false);
  }
  return session.transaction.log.size();
}

void LockForWrite(SessionState& session, const std::vector<std::string>& names) {
  Database& db = *session.database;
  TransactionState& t = session.transaction;
  const int64_t timeout = session.lock_timeout_ms;
  if (DataFile* file = db.file(); file && !t.writing) {
    db.locks().Acquire(session.locks, LockManager::kWriteResource, LockMode::kExclusive, true, timeout);
    // Another process may hold the file's write lock: try again until the lock timeout.
    const auto start = std::chrono::steady_clock::now();
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
      bool got = false;
      try {
        got = file->TryBeginWrite(db);
      } catch (...) {
        db.locks().Release(session.locks, LockManager::kWriteResource);
        throw;
      }
      if (got) break;
      const bool cancelled = session.cancel_requested.load(std::memory_order_relaxed);
      if (cancelled ||
          (timeout >= 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout))) {
        db.locks().Release(session.locks, LockManager::kWriteResource);
        ThrowError(cancelled ? 3617 : 1222);
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    t.writing = true;
    session.reads.data_version = file->Refresh(db, false);
  }
  for (const std::string& name : names) {
    db.locks().Acquire(session.locks, FoldName(name), LockMode::kExclusive, true, timeout);
  }
}

void CheckReads(SessionState& session) {
  StatementReads& reads = session.reads;
  if (!reads.check) return;
  DataFile* file = session.database->file();
  if (!file) return;
  const int64_t version = file->Refresh(*session.database, true);
  for (const auto& table : reads.tables) {
    if (table->checked_at != version) throw StatementRetry{};
  }
  reads.data_version = version;
  reads.check = false;
}

void EndStatement(SessionState& session, bool succeeded, size_t mark) {
  TransactionState& t = session.transaction;
  if (!succeeded) UndoTo(session, mark);
  if (t.count == 0) {
    if (succeeded) {
      Commit(session);
    } else {
      Finish(session, true);
    }
  }
  session.database->locks().ReleaseStatement(session.locks);
  session.reads.tables.clear();
}

void BeginTransaction(SessionState& session, const std::string& name) {
  TransactionState& t = session.transaction;
  if (t.count == 0) {
    t.name = name;
    t.id = ++t.last_id;
  }
  ++t.count;
}

void CommitTransaction(SessionState& session) {
  TransactionState& t = session.transaction;
  if (t.count == 0) ThrowError(3902);
  if (t.doomed) ThrowError(3930);
  if (--t.count > 0) return;
  Commit(session);
}

void RollbackTransaction(SessionState& session) {
  UndoTo(session, 0, true);
  Finish(session, true);
}

void RollbackTransactionNamed(SessionState& session, const std::string& name) {
  TransactionState& t = session.transaction;
  if (t.count == 0) ThrowError(3903);
  for (size_t i = t.savepoints.size(); i-- > 0;) {
    if (t.savepoints[i].name == name) {
      UndoTo(session, t.savepoints[i].mark, true);
      t.savepoints.resize(i + 1);
      return;
    }
  }
  if (name != t.name) ThrowError(6401, {name});
  RollbackTransaction(session);
}

void SaveTransaction(SessionState& session, const std::string& name) {
  TransactionState& t = session.transaction;
  if (t.count == 0) ThrowError(628);
  t.savepoints.push_back({name, t.log.size()});
}

}  // namespace orv::tsql
