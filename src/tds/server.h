// The TDS listener: accepts clients on one address, serves each on its own thread (at most
// max_connections at once), and on RequestStop closes the listener, lets running requests
// finish and waits for every connection to end.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "tds/server_options.h"
#include "tds/tls.h"
#include "tsql/engine.h"
#include "users/authenticator.h"

namespace orv::tds {

class Server {
 public:
  Server(std::shared_ptr<tsql::Database> database, ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens; returns the port (the chosen one when options.port is 0). Raises
  // std::runtime_error with the reason when the address cannot be used.
  uint16_t Listen();
  // Accepts clients until RequestStop, then waits for the connections to end.
  void Run();
  // Safe to call from a signal handler.
  void RequestStop();

 private:
  void Serve(int fd, std::string peer);

  std::shared_ptr<tsql::Database> database_;
  ServerOptions options_;
  users::Authenticator authenticator_;
  std::unique_ptr<TlsContext> tls_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::mutex mutex_;
  std::condition_variable all_done_;
  size_t active_ = 0;
  uint16_t next_spid_ = 51;
};

// Splits "host:port" ("[::1]:1433" for IPv6); raises std::invalid_argument when malformed.
std::pair<std::string, uint16_t> ParseListenAddress(const std::string& text);
// Whether a host name or address is the loopback interface.
bool IsLoopback(const std::string& host);

}  // namespace orv::tds
