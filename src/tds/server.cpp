// Listening socket, accept loop, one thread per connection, graceful stop.
#include "tds/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tds/connection.h"
#include "tds/socket_io.h"

namespace orv::tds {
namespace {

std::string PeerName(const sockaddr_storage& addr) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (addr.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
  }
  return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

std::pair<std::string, uint16_t> ParseListenAddress(const std::string& text) {
  std::string host;
  std::string port;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      throw std::invalid_argument("expected [address]:port");
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) throw std::invalid_argument("expected host:port");
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty() || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535) {
    throw std::invalid_argument("expected host:port with a port from 0 to 65535");
  }
  return {host, static_cast<uint16_t>(std::stoi(port))};
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr a{};
  if (inet_pton(AF_INET, host.c_str(), &a) == 1) return (ntohl(a.s_addr) >> 24) == 127;
  return false;
}

Server::Server(std::shared_ptr<tsql::Database> database, ServerOptions options)
    : database_(std::move(database)),
      options_(std::move(options)),
      authenticator_(options_.users_file) {
  if (!options_.tls_certificate.empty()) {
    tls_ = std::make_unique<TlsContext>(options_.tls_certificate, options_.tls_key);
  } else if (options_.require_encryption) {
    throw std::runtime_error("encryption cannot be required without a certificate");
  }
  if (::pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
  }
}

Server::~Server() {
  if (listen_fd_ >= 0) ::close(listen_fd_);
  for (int fd : stop_pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

uint16_t Server::Listen() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(options_.port);
  if (int rc = ::getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    throw std::runtime_error("cannot resolve '" + options_.host + "': " + gai_strerror(rc));
  }
  std::string error = "no address";
  for (addrinfo* ai = found; ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 128) == 0) {
      listen_fd_ = fd;
      break;
    }
    error = std::strerror(errno);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  if (listen_fd_ < 0) {
    throw std::runtime_error("cannot listen on " + options_.host + ":" + port + ": " + error);
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &length);
  return bound.ss_family == AF_INET6
             ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
             : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

void Server::RequestStop() {
  const char byte = 1;
  [[maybe_unused]] ssize_t r = ::write(stop_pipe_[1], &byte, 1);
}

void Server::Run() {
  while (true) {
    const int ready = WaitReadable({listen_fd_, stop_pipe_[0]}, -1);
    if (ready != 0) break;
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string peer = PeerName(addr);
    {
      std::lock_guard lock(mutex_);
      if (active_ >= options_.max_connections) {
        if (options_.log) options_.log("refused " + peer + ": too many connections");
        ::close(fd);
        continue;
      }
      ++active_;
    }
    std::thread([this, fd, peer] { Serve(fd, peer); }).detach();
  }
  ::close(listen_fd_);
  listen_fd_ = -1;
  std::unique_lock lock(mutex_);
  all_done_.wait(lock, [&] { return active_ == 0; });
}

void Server::Serve(int fd, std::string peer) {
  uint16_t spid;
  {
    std::lock_guard lock(mutex_);
    spid = next_spid_++;
    if (next_spid_ == 0) next_spid_ = 51;
  }
  {
    Connection connection(fd, std::move(peer), spid, database_, options_, authenticator_,
                          stop_pipe_[0], tls_ ? tls_->get() : nullptr);
    connection.Run();
  }
  std::lock_guard lock(mutex_);
  if (--active_ == 0) all_done_.notify_all();
}

}  // namespace orv::tds
