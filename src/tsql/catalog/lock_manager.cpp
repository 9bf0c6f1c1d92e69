// The lock table: holders per resource, waits with timeout, and deadlock detection over the
// graph of owners waiting for the holders of conflicting locks.
#include "tsql/catalog/lock_manager.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "tsql/types/sql_error.h"

namespace orv::tsql {

bool LockManager::Conflicts(const LockOwner& owner, const std::string& resource, LockMode mode) const {
  auto it = entries_.find(resource);
  if (it == entries_.end()) return false;
  for (const LockOwner* holder : it->second.holders) {
    if (holder == &owner) continue;
    if (mode == LockMode::kExclusive) return true;
    if (holder->held_.at(resource).mode == LockMode::kExclusive) return true;
  }
  return false;
}

// Whether the requester, waiting now, is part of a cycle: some owner it waits for waits (through
// others) for it.
bool LockManager::WouldDeadlock(const LockOwner& requester) const {
  std::vector<const LockOwner*> pending{&requester};
  std::set<const LockOwner*> seen;
  while (!pending.empty()) {
    const LockOwner* waiter = pending.back();
    pending.pop_back();
    if (!waiter->waiting_) continue;
    auto it = entries_.find(waiter->waiting_for_);
    if (it == entries_.end()) continue;
    for (const LockOwner* holder : it->second.holders) {
      if (holder == waiter) continue;
      const bool blocks = waiter->waiting_mode_ == LockMode::kExclusive ||
                          holder->held_.at(waiter->waiting_for_).mode == LockMode::kExclusive;
      if (!blocks) continue;
      if (holder == &requester) return true;
      if (seen.insert(holder).second) pending.push_back(holder);
    }
  }
  return false;
}

void LockManager::Acquire(LockOwner& owner, const std::string& resource, LockMode mode,
                          bool to_transaction_end, int64_t timeout_ms) {
  std::unique_lock lock(mutex_);
  auto held = owner.held_.find(resource);
  if (held != owner.held_.end() && (held->second.mode == LockMode::kExclusive || mode == LockMode::kShared)) {
    held->second.to_transaction_end = held->second.to_transaction_end || to_transaction_end;
    return;
  }
  if (Conflicts(owner, resource, mode)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    owner.waiting_ = true;
    owner.waiting_for_ = resource;
    owner.waiting_mode_ = mode;
    auto stop_waiting = [&] { owner.waiting_ = false; };
    while (Conflicts(owner, resource, mode)) {
      if (WouldDeadlock(owner)) {
        stop_waiting();
        SqlError e = MakeError(1205, {std::to_string(owner.session_id()), "lock"});
        throw SqlException(std::move(e));
      }
      if (owner.cancel_ && owner.cancel_->load(std::memory_order_relaxed)) {
        stop_waiting();
        ThrowError(3617);
      }
      // Waits are re-examined now and then, so a cycle closed by a grant (or a cancel) is
      // noticed as well.
      auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
      if (timeout_ms >= 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
          stop_waiting();
          ThrowError(1222);
        }
        slice = std::min(slice, deadline);
      }
      changed_.wait_until(lock, slice);
    }
    stop_waiting();
  }
  Entry& entry = entries_[resource];
  if (std::find(entry.holders.begin(), entry.holders.end(), &owner) == entry.holders.end()) {
    entry.holders.push_back(&owner);
  }
  LockOwner::Held& h = owner.held_[resource];
  h.mode = mode;
  h.to_transaction_end = h.to_transaction_end || to_transaction_end || mode == LockMode::kExclusive;
}

bool LockManager::Holds(const LockOwner& owner, const std::string& resource, LockMode mode) const {
  std::lock_guard lock(mutex_);
  auto it = owner.held_.find(resource);
  if (it == owner.held_.end()) return false;
  return mode == LockMode::kShared || it->second.mode == LockMode::kExclusive;
}

bool LockManager::ExclusivelyLocked(const std::string& resource) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(resource);
  if (it == entries_.end()) return false;
  for (const LockOwner* holder : it->second.holders) {
    if (holder->held_.at(resource).mode == LockMode::kExclusive) return true;
  }
  return false;
}

void LockManager::Drop(LockOwner& owner, const std::string& resource) {
  auto it = entries_.find(resource);
  if (it != entries_.end()) {
    auto& holders = it->second.holders;
    holders.erase(std::remove(holders.begin(), holders.end(), &owner), holders.end());
    if (holders.empty()) entries_.erase(it);
  }
}

void LockManager::ReleaseStatement(LockOwner& owner) {
  std::lock_guard lock(mutex_);
  bool any = false;
  for (auto it = owner.held_.begin(); it != owner.held_.end();) {
    if (it->second.to_transaction_end) {
      ++it;
      continue;
    }
    Drop(owner, it->first);
    it = owner.held_.erase(it);
    any = true;
  }
  if (any) changed_.notify_all();
}

void LockManager::ReleaseTransaction(LockOwner& owner) {
  std::lock_guard lock(mutex_);
  if (owner.held_.empty()) return;
  for (auto& [resource, held] : owner.held_) Drop(owner, resource);
  owner.held_.clear();
  changed_.notify_all();
}

void LockManager::Release(LockOwner& owner, const std::string& resource) {
  std::lock_guard lock(mutex_);
  if (owner.held_.erase(resource) == 0) return;
  Drop(owner, resource);
  changed_.notify_all();
}

}  // namespace orv::tsql
