// "orvdata serve": the TDS front end. Opens the data source's engine database and serves it to
// SQL Server clients until SIGTERM or SIGINT; prints "listening on HOST:PORT" on stderr once
// it accepts connections, and a line per connection and failed login.
#include <csignal>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "cli/source_choice.h"
#include "tds/server.h"
#include "tsql/engine.h"

namespace orv::cli {

std::string DefaultUsersFile();

namespace {

struct ServeOptions {
  std::string dsn;
  std::string listen = "127.0.0.1:1433";
  std::string users;
  bool allow_remote = false;
  std::string tls_certificate;
  std::string tls_key;
  bool require_encryption = false;
  size_t max_connections = 64;
  int idle_timeout = 1800;
};

tds::Server* g_server = nullptr;

extern "C" void StopOnSignal(int) {
  if (g_server) g_server->RequestStop();
}

void Log(const std::string& line) {
  static std::mutex mutex;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::lock_guard lock(mutex);
  std::cerr << stamp << " " << line << std::endl;
}

// The file name without folder and extension, as the database name clients see.
std::string DatabaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  if (size_t dot = name.find('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() || name == ":memory:" ? "orvdata" : name;
}

void Serve(const ServeOptions& o) {
  tds::ServerOptions options;
  try {
    std::tie(options.host, options.port) = tds::ParseListenAddress(o.listen);
  } catch (const std::invalid_argument& e) {
    throw UsageError("--listen " + o.listen + ": " + e.what());
  }
  if (!tds::IsLoopback(options.host) && !o.allow_remote) {
    throw UsageError("--listen " + o.listen +
                     " is reachable from other machines; add --allow-remote to mean it");
  }
  options.users_file = o.users.empty() ? DefaultUsersFile() : o.users;
  options.max_connections = o.max_connections;
  options.idle_timeout = std::chrono::seconds(o.idle_timeout);
  options.log = Log;
  if (o.tls_certificate.empty() != o.tls_key.empty()) {
    throw UsageError("--tls-cert and --tls-key go together");
  }
  if (o.require_encryption && o.tls_certificate.empty()) {
    throw UsageError("--require-encryption needs --tls-cert and --tls-key");
  }
  options.tls_certificate = o.tls_certificate;
  options.tls_key = o.tls_key;
  options.require_encryption = o.require_encryption;

  users::Authenticator check(options.users_file);
  if (check.UserCount() == 0) {
    throw UsageError("no users in " + options.users_file +
                     "; add one with `orvdata users add NAME --users " + options.users_file + "`");
  }

  const ChosenSource source = ChooseSource(o.dsn);
  if (source.file.empty()) {
    throw UsageError("serve needs an embedded data source (a data-source file), not " + source.label);
  }
  const std::string& path = source.file;
  options.database_name = DatabaseName(path);
  std::shared_ptr<tsql::Database> database = tsql::OpenDatabase(path);

  tds::UseServerHeapPolicy();
  tds::Server server(database, options);
  const uint16_t port = server.Listen();
  g_server = &server;
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::cerr << "listening on " << options.host << ":" << port << std::endl;
  server.Run();
  g_server = nullptr;
  Log("server stopped");
}

}  // namespace

void AddServeCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "serve", "Serve a data source to SQL Server clients (TDS 7.4: sqlcmd, ODBC, Node, ...)");
  auto o = std::make_shared<ServeOptions>();
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("--listen", o->listen, "Address and port to listen on")->capture_default_str();
  cmd->add_option("--users", o->users, "Users file (default: ~/.config/orvdata/users)");
  cmd->add_flag("--allow-remote", o->allow_remote, "Allow a --listen address other than loopback");
  cmd->add_option("--tls-cert", o->tls_certificate, "PEM certificate (chain) for TLS");
  cmd->add_option("--tls-key", o->tls_key, "PEM private key of the certificate");
  cmd->add_flag("--require-encryption", o->require_encryption,
                "Refuse clients that do not encrypt the whole connection");
  cmd->add_option("--max-connections", o->max_connections, "Clients served at once")
      ->capture_default_str()
      ->check(CLI::Range(1, 10000));
  cmd->add_option("--idle-timeout", o->idle_timeout,
                  "Seconds a client may stay idle before it is disconnected (0: never)")
      ->capture_default_str()
      ->check(CLI::Range(0, 86400 * 7));
  cmd->footer(
      "\nLogins come from the users file (see `orvdata users add`). SIGTERM or SIGINT stops\n"
      "the server after the running batches finish.");
  cmd->callback([o, &exit_status] { exit_status = Guarded([&] { Serve(*o); }); });
}

}  // namespace orv::cli
