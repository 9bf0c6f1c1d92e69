// The users file of the server front ends: one login a line, "name:role:hash", where role is
// "admin" or "read-only" and hash is a salted password hash (users/password_hash.h). Lines
// starting with '#' and blank lines are ignored. The file is written whole to a temporary file
// in the same folder, with mode 0600, and renamed over the old one, so a reader never sees
// half a file and other users of the machine cannot read the hashes.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orv::users {

enum class Role { Admin, ReadOnly };

std::string_view RoleName(Role role);

struct User {
  std::string name;
  Role role = Role::Admin;
  std::string password_hash;
};

// A users file that cannot be read, parsed or written, or a bad name.
class UsersFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class UsersFile {
 public:
  // Reads `path`; a missing file is an empty list. Raises UsersFileError naming the file and
  // line for a malformed one.
  static UsersFile Load(const std::string& path);
  // Writes atomically with mode 0600 (see the header comment).
  void Save(const std::string& path) const;

  const std::vector<User>& users() const { return users_; }
  // Login names compare case-insensitively (ASCII), as SQL logins do.
  const User* Find(std::string_view name) const;
  // Adds or replaces the user of that name. Raises UsersFileError for an invalid name.
  void Put(User user);
  // False when there is no such user.
  bool Remove(std::string_view name);

  // The role of `name` when `password` is right; nullopt for an unknown name or a wrong
  // password alike (callers must not tell them apart).
  std::optional<Role> Authenticate(std::string_view name, std::string_view password) const;

 private:
  std::vector<User> users_;
};

// Letters, digits and "_.-@", 1 to 128 characters.
bool IsValidUserName(std::string_view name);

}  // namespace orv::users
