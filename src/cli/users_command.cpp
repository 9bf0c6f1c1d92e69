// "orvdata users add|list|remove": the logins of the server front ends, kept in a users file
// (default ~/.config/orvdata/users) with salted password hashes.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "users/password_hash.h"
#include "users/users_file.h"

namespace orv::cli {

std::string DefaultUsersFile() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    return std::string(config) + "/orvdata/users";
  }
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/orvdata/users";
}

namespace {

struct UsersOptions {
  std::string file;
  std::string name;
  bool password_stdin = false;
  bool read_only = false;
};

std::string ReadLine(std::istream& in) {
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Asks on the terminal without echo.
std::string Prompt(const std::string& question) {
  std::cerr << question << std::flush;
  termios old{};
  const bool tty = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string answer = ReadLine(std::cin);
  if (tty) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cerr << "\n";
  }
  return answer;
}

void EnsureFolder(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  std::string folder = file.substr(0, slash);
  // Creates missing parents one by one, private to the user.
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at == folder.size() || folder[at] == '/') ::mkdir(folder.substr(0, at).c_str(), 0700);
  }
}

void Add(const UsersOptions& o) {
  if (!users::IsValidUserName(o.name)) {
    throw UsageError("invalid user name '" + o.name + "': use 1 to 128 letters, digits or _ . - @");
  }
  std::string password;
  if (o.password_stdin) {
    password = ReadLine(std::cin);
  } else {
    password = Prompt("Password for " + o.name + ": ");
    if (Prompt("Again: ") != password) throw UsageError("the passwords differ");
  }
  if (password.empty()) throw UsageError("the password is empty");
  users::UsersFile file = users::UsersFile::Load(o.file);
  const bool replaced = file.Find(o.name) != nullptr;
  file.Put(users::User{o.name, o.read_only ? users::Role::ReadOnly : users::Role::Admin,
                       users::HashPassword(password)});
  EnsureFolder(o.file);
  file.Save(o.file);
  std::cerr << (replaced ? "updated " : "added ") << o.name << " ("
            << users::RoleName(o.read_only ? users::Role::ReadOnly : users::Role::Admin) << ") in "
            << o.file << "\n";
}

}  // namespace

void AddUsersCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("users", "Manage the logins of `orvdata serve` (a users file)");
  cmd->require_subcommand(1);
  auto o = std::make_shared<UsersOptions>();
  o->file = DefaultUsersFile();
  auto file_option = [&](CLI::App* sub) {
    sub->add_option("--users", o->file, "The users file")->capture_default_str();
  };

  auto* add = cmd->add_subcommand("add", "Add a login, or set its password and role");
  add->add_option("name", o->name, "Login name")->required();
  add->add_flag("--password-stdin", o->password_stdin,
                "Read the password from the first line of standard input");
  add->add_flag("--read-only", o->read_only,
                "Report user: may read and use temporary tables, not change permanent tables");
  file_option(add);
  add->callback([o, &exit_status] { exit_status = Guarded([&] { Add(*o); }); });

  auto* list = cmd->add_subcommand("list", "List the logins and their roles");
  file_option(list);
  list->callback([o, &exit_status] {
    exit_status = Guarded([&] {
      const users::UsersFile file = users::UsersFile::Load(o->file);
      for (const users::User& u : file.users()) {
        std::cout << u.name << "\t" << users::RoleName(u.role) << "\n";
      }
    });
  });

  auto* remove = cmd->add_subcommand("remove", "Remove a login");
  remove->add_option("name", o->name, "Login name")->required();
  file_option(remove);
  remove->callback([o, &exit_status] {
    exit_status = Guarded([&] {
      users::UsersFile file = users::UsersFile::Load(o->file);
      if (!file.Remove(o->name)) throw UsageError("no user '" + o->name + "' in " + o->file);
      file.Save(o->file);
    });
  });
}

}  // namespace orv::cli
