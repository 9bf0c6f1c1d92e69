// Settings of the TDS server (`orvdata serve`), and the log it writes to.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace orv::tds {

struct ServerOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 1433;  // 0: any free port (tests)
  std::string users_file;
  // PEM certificate and key: with them, clients may (or with require_encryption must) use TLS.
  std::string tls_certificate;
  std::string tls_key;
  bool require_encryption = false;
  size_t max_connections = 64;
  std::chrono::seconds idle_timeout{1800};  // 0: none
  // How long a client may take to send the rest of a message it started, and to read ours.
  std::chrono::seconds io_timeout{60};
  std::string server_name = "orvdata";
  std::string database_name = "orvdata";
  // One line per connection, failed login and protocol error (stderr by default).
  std::function<void(const std::string&)> log;
};

}  // namespace orv::tds
