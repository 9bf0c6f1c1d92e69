// Settings of the HTTP front end (`orvdata serve --http`), and the log it writes to.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace orv::http {

struct HttpOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 8080;  // 0: any free port (tests)
  std::string users_file;
  std::string dsn;           // the data source's connection text, as the service takes it
  std::string source_label;  // how to name it to people (no password)
  // A report or query that runs longer is cancelled (504).
  std::chrono::seconds run_timeout{600};
  // A login session unused for this long ends.
  std::chrono::seconds session_idle{8 * 3600};
  // Requests served at once (each keeps a thread while its connection is open).
  size_t threads = 16;
  // Largest request body accepted (413 beyond).
  size_t max_body = 1 << 20;
  // One line per login, failed login, report run and failure (stderr by default).
  std::function<void(const std::string&)> log;
};

}  // namespace orv::http
