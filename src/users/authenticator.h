// Checks the logins of the server front ends (TDS and HTTP) against the users file, re-reading
// the file when it changes so that `orvdata users add` takes effect without a restart.
#pragma once

#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "users/users_file.h"

namespace orv::users {

class Authenticator {
 public:
  explicit Authenticator(std::string path);
  // The user's role when name and password match; nullopt otherwise (also when the file
  // cannot be read: no one gets in then).
  std::optional<Role> Check(const std::string& name, const std::string& password);
  // The number of users now (reads the file if needed); raises UsersFileError when unreadable.
  size_t UserCount();

 private:
  UsersFile Current();

  std::string path_;
  std::mutex mutex_;
  UsersFile file_;
  bool loaded_ = false;
  timespec mtime_{};
  off_t size_ = -1;
};

}  // namespace orv::users
