// Blocking socket I/O with poll-based time limits.
#include "tds/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace orv::tds {

Socket::Socket(int fd) : fd_(fd) {}

Socket::~Socket() {
  if (fd_ >= 0) ::close(fd_);
}

bool Socket::ReadExact(uint8_t* out, size_t n, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  size_t done = 0;
  while (done < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    ssize_t got = ::recv(fd_, out + done, n - done, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool Socket::WriteAll(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  size_t done = 0;
  while (done < bytes.size()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

int WaitReadable(std::initializer_list<int> fds, int timeout_ms) {
  pollfd polls[4];
  nfds_t n = 0;
  for (int fd : fds) {
    if (n < 4) polls[n++] = pollfd{fd, POLLIN, 0};
  }
  while (true) {
    int r = ::poll(polls, n, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    for (nfds_t i = 0; i < n; ++i) {
      if (polls[i].revents != 0) return static_cast<int>(i);
    }
  }
}

}  // namespace orv::tds
