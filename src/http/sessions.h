// The login sessions of the HTTP front end. A login gives a session: an unguessable token (sent
// back as a bearer token or in a cookie) and a CSRF token that pages using the cookie must
// send with every request that is not a read. Sessions end at logout or after a time without
// use; only a bounded number is kept (the least recently used go first).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "users/users_file.h"

namespace orv::http {

struct LoginSession {
  std::string user;
  users::Role role = users::Role::ReadOnly;
  std::string token;
  std::string csrf;
};

class SessionStore {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SessionStore(std::chrono::seconds idle_limit, size_t max_sessions = 10000);

  LoginSession Create(const std::string& user, users::Role role);
  // The live session of `token`, its idle time restarted; nullopt when unknown or expired.
  std::optional<LoginSession> Find(const std::string& token);
  void Remove(const std::string& token);

  // For tests: the clock the store reads.
  void SetClockForTest(std::function<Clock::time_point()> now);

 private:
  struct Entry {
    LoginSession session;
    Clock::time_point last_use;
  };
  void DropExpired(Clock::time_point now);

  std::chrono::seconds idle_limit_;
  size_t max_sessions_;
  std::function<Clock::time_point()> now_;
  std::mutex mutex_;
  std::map<std::string, Entry> sessions_;  // by token
};

}  // namespace orv::http
