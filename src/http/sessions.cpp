#include "http/sessions.h"

#include <algorithm>

#include "users/random_token.h"

namespace orv::http {

SessionStore::SessionStore(std::chrono::seconds idle_limit, size_t max_sessions)
    : idle_limit_(idle_limit),
      max_sessions_(std::max<size_t>(max_sessions, 1)),
      now_([] { return Clock::now(); }) {}

void SessionStore::SetClockForTest(std::function<Clock::time_point()> now) {
  std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

void SessionStore::DropExpired(Clock::time_point now) {
  std::erase_if(sessions_,
                [&](const auto& item) { return now - item.second.last_use > idle_limit_; });
}

LoginSession SessionStore::Create(const std::string& user, users::Role role) {
  LoginSession session{user, role, users::RandomToken(), users::RandomToken()};
  std::lock_guard lock(mutex_);
  const Clock::time_point now = now_();
  DropExpired(now);
  if (sessions_.size() >= max_sessions_) {
    auto oldest = std::min_element(
        sessions_.begin(), sessions_.end(),
        [](const auto& a, const auto& b) { return a.second.last_use < b.second.last_use; });
    sessions_.erase(oldest);
  }
  sessions_[session.token] = Entry{session, now};
  return session;
}

std::optional<LoginSession> SessionStore::Find(const std::string& token) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return std::nullopt;
  const Clock::time_point now = now_();
  if (now - it->second.last_use > idle_limit_) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.last_use = now;
  return it->second.session;
}

void SessionStore::Remove(const std::string& token) {
  std::lock_guard lock(mutex_);
  sessions_.erase(token);
}

}  // namespace orv::http
