// Table-level locks between the sessions of one process, with SQL Server's read-committed
// locking: a statement holds shared locks on the tables it reads until it ends, a transaction
// holds exclusive locks on the tables it changes until it ends, so a reader of a table that
// another session changed in an open transaction waits for that transaction. A wait ends with
// error 1222 when the session's lock timeout passes, and with error 1205 for the session whose
// request would close a cycle of sessions waiting for each other (a deadlock).
//
// Resources are names: a table's folded name, or kWriteResource, the right to write the
// data-source file (SQLite lets one connection write at a time, and the sessions of a process
// share one connection).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orv::tsql {

enum class LockMode : uint8_t { kShared, kExclusive };

class LockManager;

// The locks one session holds. Owned by the session; a LockManager refers to it while it holds
// or waits for a lock, so it must release everything before it goes.
class LockOwner {
 public:
  // `cancel`, when given, ends a wait with error 3617 once it is set (the session was cancelled
  // from another thread).
  explicit LockOwner(int32_t session_id, const std::atomic<bool>* cancel = nullptr)
      : session_id_(session_id), cancel_(cancel) {}
  int32_t session_id() const { return session_id_; }

 private:
  friend class LockManager;
  struct Held {
    LockMode mode = LockMode::kShared;
    bool to_transaction_end = false;  // false: released at the end of the statement
  };
  int32_t session_id_;
  const std::atomic<bool>* cancel_;
  std::map<std::string, Held> held_;  // guarded by the manager's mutex
  bool waiting_ = false;
  std::string waiting_for_;
  LockMode waiting_mode_ = LockMode::kShared;
};

class LockManager {
 public:
  static constexpr const char* kWriteResource = "";

  // Takes a lock, waiting while another owner holds a conflicting one. An exclusive lock, and a
  // shared one with to_transaction_end, is kept until ReleaseTransaction; other shared locks
  // until ReleaseStatement. timeout_ms < 0 waits without limit. Raises SqlException 1222 on
  // timeout, 1205 when the wait would deadlock and 3617 when the owner is cancelled while it
  // waits; nothing is taken then.
  void Acquire(LockOwner& owner, const std::string& resource, LockMode mode, bool to_transaction_end,
               int64_t timeout_ms);
  // Whether the owner holds the resource in at least this mode.
  bool Holds(const LockOwner& owner, const std::string& resource, LockMode mode) const;
  // Whether any owner holds the resource exclusively.
  bool ExclusivelyLocked(const std::string& resource) const;
  void ReleaseStatement(LockOwner& owner);
  void ReleaseTransaction(LockOwner& owner);
  void Release(LockOwner& owner, const std::string& resource);

 private:
  struct Entry {
    std::vector<LockOwner*> holders;
  };
  bool Conflicts(const LockOwner& owner, const std::string& resource, LockMode mode) const;
  bool WouldDeadlock(const LockOwner& requester) const;
  void Drop(LockOwner& owner, const std::string& resource);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Entry> entries_;
};

}  // namespace orv::tsql
