// One client connection from PRELOGIN to close: login against the users file, then requests
// (SQL batches, RPCs, transaction-manager requests, ATTENTION) until the client leaves, idles
// too long, breaks the protocol or the server shuts down. The engine runs a request on a
// worker thread while this thread watches the socket, so that ATTENTION is answered at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tds/server_options.h"
#include "tds/socket_io.h"
#include "tsql/engine.h"
#include "users/authenticator.h"

namespace orv::tds {

class Connection {
 public:
  // `tls`: the server's TLS settings, or null when it has no certificate.
  Connection(int fd, std::string peer, uint16_t spid, std::shared_ptr<tsql::Database> database,
             const ServerOptions& options, users::Authenticator& authenticator, int stop_fd,
             SSL_CTX* tls);
  // Serves the connection to its end; never throws.
  void Run();

 private:
  struct Message {
    uint8_t type = 0;
    uint8_t status = 0;
    std::vector<uint8_t> payload;
  };
  enum class Wait { Message, Closed, Idle, Stop };

  // Waits for the next message (up to `idle` for its first byte, then io_timeout per read).
  Wait ReadMessage(Message& out, size_t limit, std::chrono::milliseconds idle);
  bool Login(Message& first);
  // The PRELOGIN exchange and, when agreed, the TLS handshake; leaves the LOGIN7 in `message`.
  bool Negotiate(Message& message);
  void Serve();
  void RunRequest(Message& request);
  void Send(const std::vector<uint8_t>& framed);
  void SendAttentionAck();
  void Log(const std::string& line) const;

  Socket socket_;
  std::string peer_;
  uint16_t spid_;
  std::shared_ptr<tsql::Database> database_;
  const ServerOptions& options_;
  users::Authenticator& authenticator_;
  int stop_fd_;
  SSL_CTX* tls_;
  uint32_t tds_version_ = 0;
  size_t packet_size_ = 4096;
  std::string user_;
  bool read_only_ = false;
  bool broken_ = false;  // the socket failed: stop at the next chance
};

}  // namespace orv::tds
