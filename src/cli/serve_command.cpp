// "orvdata serve": the server front ends. The TDS front end serves the data source's engine
// database to SQL Server clients (--listen; the default when --http is not given); the HTTP
// front end serves the report service's API and web pages (--http). Either runs alone, or both
// at once. Each prints one line on stderr once it accepts connections ("listening on
// HOST:PORT", "http on HOST:PORT"), and a line per connection, login and failed login; SIGTERM
// or SIGINT stops both after the work under way.
#include <csignal>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/exit_status.h"
#include "cli/source_choice.h"
#include "http/server.h"
#include "tds/server.h"
#include "tsql/engine.h"
#include "users/authenticator.h"

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
  std::string http;
  int http_timeout = 600;
  bool listen_given = false;  // --listen was on the command line
};

tds::Server* g_tds = nullptr;
http::HttpServer* g_http = nullptr;

extern "C" void StopOnSignal(int) {
  if (g_tds) g_tds->RequestStop();
  if (g_http) g_http->RequestStop();
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

// "host:port" checked: loopback unless --allow-remote.
std::pair<std::string, uint16_t> Address(const char* option, const std::string& text,
                                         bool allow_remote) {
  std::pair<std::string, uint16_t> address;
  try {
    address = tds::ParseListenAddress(text);
  } catch (const std::invalid_argument& e) {
    throw UsageError(std::string(option) + " " + text + ": " + e.what());
  }
  if (!tds::IsLoopback(address.first) && !allow_remote) {
    throw UsageError(std::string(option) + " " + text +
                     " is reachable from other machines; add --allow-remote to mean it");
  }
  return address;
}

void Serve(const ServeOptions& o) {
  // A server outlives its requests: what a large report frees goes back to the system.
  tsql::GiveFreedMemoryBack();
  tsql::LetSnapshotRowsGoAfterEachStatement(false);  // sessions read the tables side by side
  const tsql::IdleHeapTrimmer trimmer;
  const bool run_http = !o.http.empty();
  const bool run_tds = !run_http || o.listen_given;
  tds::ServerOptions options;
  if (run_tds) std::tie(options.host, options.port) = Address("--listen", o.listen, o.allow_remote);
  http::HttpOptions web;
  if (run_http) std::tie(web.host, web.port) = Address("--http", o.http, o.allow_remote);
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
  if (run_tds && source.file.empty()) {
    throw UsageError("the TDS front end needs an embedded data source (a data-source file), not " +
                     source.label);
  }
  // The engine database stays open while the server runs, so its tables are loaded once for
  // every connection and report.
  std::shared_ptr<tsql::Database> database;
  if (!source.file.empty()) database = tsql::OpenDatabase(source.file);

  std::unique_ptr<tds::Server> tds_server;
  uint16_t tds_port = 0;
  if (run_tds) {
    options.database_name = DatabaseName(source.file);
    tds_server = std::make_unique<tds::Server>(database, options);
    tds_port = tds_server->Listen();
  }
  std::unique_ptr<http::HttpServer> http_server;
  uint16_t http_port = 0;
  if (run_http) {
    web.users_file = options.users_file;
    web.dsn = source.text;
    web.source_label = source.label;
    web.run_timeout = std::chrono::seconds(o.http_timeout);
    web.threads = o.max_connections;
    web.log = Log;
    http_server = std::make_unique<http::HttpServer>(web);
    try {
      http_port = http_server->Listen();
    } catch (const std::runtime_error& e) {
      throw CommandError(std::string("--http: ") + e.what());
    }
  }
  g_tds = tds_server.get();
  g_http = http_server.get();
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  if (tds_server) std::cerr << "listening on " << options.host << ":" << tds_port << std::endl;
  if (http_server) std::cerr << "http on " << web.host << ":" << http_port << std::endl;

  // Each front end serves on a thread of its own; when one ends (a signal, or a failure), the
  // other is asked to end too.
  std::thread http_thread;
  if (http_server) {
    http_thread = std::thread([&] {
      http_server->Run();
      if (tds_server) tds_server->RequestStop();
    });
  }
  if (tds_server) {
    tds_server->Run();
    if (http_server) http_server->RequestStop();
  }
  if (http_thread.joinable()) http_thread.join();
  g_tds = nullptr;
  g_http = nullptr;
  Log("server stopped");
}

}  // namespace

void AddServeCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand(
      "serve",
      "Serve a data source to SQL Server clients (TDS 7.4: sqlcmd, ODBC, Node, ...) and to "
      "browsers (--http: the reports' API and web pages)");
  auto o = std::make_shared<ServeOptions>();
  AddDsnOption(cmd, o->dsn);
  cmd->add_option("--listen", o->listen,
                  "Address and port of the TDS front end (runs unless only --http is given)")
      ->capture_default_str()
      ->each([o](const std::string&) { o->listen_given = true; });
  cmd->add_option(
      "--http", o->http,
      "Address and port of the HTTP front end, e.g. 127.0.0.1:8080 (API and web pages)");
  cmd->add_option("--http-timeout", o->http_timeout,
                  "Seconds a report or query of the HTTP front end may run before it is cancelled")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  cmd->add_option("--users", o->users, "Users file (default: ~/.config/orvdata/users)");
  cmd->add_flag("--allow-remote", o->allow_remote,
                "Allow a --listen or --http address other than loopback");
  cmd->add_option("--tls-cert", o->tls_certificate, "PEM certificate (chain) for TLS");
  cmd->add_option("--tls-key", o->tls_key, "PEM private key of the certificate");
  cmd->add_flag("--require-encryption", o->require_encryption,
                "Refuse clients that do not encrypt the whole connection");
  cmd->add_option("--max-connections", o->max_connections,
                  "Clients served at once (by each front end)")
      ->capture_default_str()
      ->check(CLI::Range(1, 10000));
  cmd->add_option("--idle-timeout", o->idle_timeout,
                  "Seconds a client may stay idle before it is disconnected (0: never)")
      ->capture_default_str()
      ->check(CLI::Range(0, 86400 * 7));
  cmd->footer(
      "\nLogins come from the users file (see `orvdata users add`); read-only users run reports\n"
      "and look-ups but not the HTTP query door. SIGTERM or SIGINT stops the server after the\n"
      "running batches and requests finish.");
  cmd->callback([o, &exit_status] { exit_status = Guarded([&] { Serve(*o); }); });
}

}  // namespace orv::cli
