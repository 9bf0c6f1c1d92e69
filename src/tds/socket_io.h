// A connected TCP socket with the few operations a connection needs: reading exactly n bytes
// within a time limit, writing all bytes, and waiting until the socket or another descriptor
// (a wake-up or shutdown signal) becomes readable.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace orv::tds {

class Socket {
 public:
  explicit Socket(int fd);
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  // Reads exactly n bytes; false when the peer closed, failed or took longer than `limit`.
  bool ReadExact(uint8_t* out, size_t n, std::chrono::milliseconds limit);
  // Writes all bytes; false when the peer is gone or stopped reading for `limit`.
  bool WriteAll(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit);

 private:
  int fd_;
};

// Waits until one of `fds` is readable (or closed) or `timeout` passes (negative: no limit).
// Returns the index of a ready descriptor, or -1 on time-out.
int WaitReadable(std::initializer_list<int> fds, int timeout_ms);

}  // namespace orv::tds
