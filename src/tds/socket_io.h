// A connected TCP socket with the few operations a connection needs: reading exactly n bytes
// within a time limit, writing all bytes, looking at the next byte without taking it, and,
// once TLS is set up, the same through the TLS session. Also waiting until one of several
// descriptors (the socket, a wake-up or shutdown signal) becomes readable.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace orv::tds {

class Socket {
 public:
  // Takes the descriptor (made non-blocking; closed with the Socket).
  explicit Socket(int fd);
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  // Reads exactly n bytes; false when the peer closed, failed or took longer than `limit`.
  bool ReadExact(uint8_t* out, size_t n, std::chrono::milliseconds limit);
  // Writes all bytes; false when the peer is gone or stopped reading for `limit`.
  bool WriteAll(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit);
  // The next byte without taking it; false when the peer closed or failed.
  bool PeekByte(uint8_t& out, std::chrono::milliseconds limit);
  // Bytes already read from the network but not yet taken (waiting on fd() would miss them).
  bool HasBuffered() const;

  // From now on bytes go through `ssl` (its handshake done; the Socket owns it).
  void StartTls(SSL* ssl);
  // Back to plain bytes (after a login-only encryption).
  void StopTls();

 private:
  // Reads up to n bytes (at least one) before `deadline`; 0 when closed, failed or late.
  size_t ReadSome(uint8_t* out, size_t n, std::chrono::steady_clock::time_point deadline);
  bool Wait(short events, std::chrono::steady_clock::time_point deadline) const;

  int fd_;
  SSL* ssl_ = nullptr;
  // One thread reads while another writes; an SSL session takes one call at a time.
  mutable std::mutex ssl_mutex_;
  std::vector<uint8_t> peeked_;  // read ahead by PeekByte
};

// Waits until one of `fds` is readable (or closed) or `timeout` passes (negative: no limit).
// Returns the index of a ready descriptor, or -1 on time-out.
int WaitReadable(std::initializer_list<int> fds, int timeout_ms);

}  // namespace orv::tds
