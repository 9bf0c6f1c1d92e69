// Users file, reloaded on change.
#include "users/authenticator.h"

#include <sys/stat.h>

namespace orv::users {

Authenticator::Authenticator(std::string path) : path_(std::move(path)) {}

UsersFile Authenticator::Current() {
  std::lock_guard lock(mutex_);
  struct stat st {};
  const bool exists = ::stat(path_.c_str(), &st) == 0;
  const bool changed = !loaded_ || !exists || st.st_mtim.tv_sec != mtime_.tv_sec ||
                       st.st_mtim.tv_nsec != mtime_.tv_nsec || st.st_size != size_;
  if (changed) {
    file_ = UsersFile::Load(path_);
    loaded_ = true;
    mtime_ = exists ? st.st_mtim : timespec{};
    size_ = exists ? st.st_size : -1;
  }
  return file_;
}

std::optional<Role> Authenticator::Check(const std::string& name, const std::string& password) {
  UsersFile file;
  try {
    file = Current();
  } catch (const UsersFileError&) {
    return std::nullopt;
  }
  return file.Authenticate(name, password);
}

size_t Authenticator::UserCount() { return Current().users().size(); }

}  // namespace orv::users
