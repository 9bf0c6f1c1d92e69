// Reading, changing and atomically writing the users file.
#include "users/users_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "users/password_hash.h"

namespace orv::users {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::optional<Role> ParseRole(std::string_view text) {
  if (text == "admin") return Role::Admin;
  if (text == "read-only") return Role::ReadOnly;
  return std::nullopt;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

void WriteAll(int fd, const std::string& data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw UsersFileError(SystemError("cannot write the users file", path));
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string_view RoleName(Role role) { return role == Role::Admin ? "admin" : "read-only"; }

bool IsValidUserName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '.' || c == '-' || c == '@';
  });
}

UsersFile UsersFile::Load(const std::string& path) {
  UsersFile file;
  std::ifstream in(path);
  if (!in) {
    if (errno == ENOENT) return file;
    throw UsersFileError(SystemError("cannot read the users file", path));
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    auto bad = [&](const std::string& why) {
      return UsersFileError("users file '" + path + "' line " + std::to_string(number) + ": " +
                            why);
    };
    if (second == std::string::npos) throw bad("expected name:role:hash");
    User user;
    user.name = line.substr(0, first);
    auto role = ParseRole(std::string_view(line).substr(first + 1, second - first - 1));
    if (!role) throw bad("the role must be admin or read-only");
    if (!IsValidUserName(user.name)) throw bad("invalid user name");
    user.role = *role;
    user.password_hash = line.substr(second + 1);
    file.Put(std::move(user));
  }
  return file;
}

void UsersFile::Save(const std::string& path) const {
  std::ostringstream text;
  text << "# orvdata users: name:role:password hash (edit with `orvdata users`)\n";
  for (const User& user : users_) {
    text << user.name << ':' << RoleName(user.role) << ':' << user.password_hash << '\n';
  }
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw UsersFileError(SystemError("cannot create", temp));
  try {
    ::fchmod(fd, 0600);  // also when the temporary file was left over with other bits
    WriteAll(fd, text.str(), temp);
    if (::fsync(fd) != 0) throw UsersFileError(SystemError("cannot write the users file", temp));
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  ::close(fd);
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::string message = SystemError("cannot replace the users file", path);
    ::unlink(temp.c_str());
    throw UsersFileError(message);
  }
}

const User* UsersFile::Find(std::string_view name) const {
  for (const User& user : users_) {
    if (EqualsIgnoreCase(user.name, name)) return &user;
  }
  return nullptr;
}

void UsersFile::Put(User user) {
  if (!IsValidUserName(user.name)) {
    throw UsersFileError("invalid user name '" + user.name +
                         "': use 1 to 128 letters, digits or _ . - @");
  }
  for (User& existing : users_) {
    if (EqualsIgnoreCase(existing.name, user.name)) {
      existing = std::move(user);
      return;
    }
  }
  users_.push_back(std::move(user));
}

bool UsersFile::Remove(std::string_view name) {
  auto it = std::find_if(users_.begin(), users_.end(),
                         [&](const User& u) { return EqualsIgnoreCase(u.name, name); });
  if (it == users_.end()) return false;
  users_.erase(it);
  return true;
}

std::optional<Role> UsersFile::Authenticate(std::string_view name,
                                            std::string_view password) const {
  const User* user = Find(name);
  if (!user) {
    // Spend the same time as a real check, so that timing does not reveal unknown names.
    static const std::string kDummy = HashPassword("");
    VerifyPassword(password, kDummy);
    return std::nullopt;
  }
  if (!VerifyPassword(password, user->password_hash)) return std::nullopt;
  return user->role;
}

}  // namespace orv::users
