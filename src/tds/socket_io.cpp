// Non-blocking socket I/O with poll-based time limits, plain or through OpenSSL.
#include "tds/socket_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orv::tds {

Socket::Socket(int fd) : fd_(fd) {
  const int flags = ::fcntl(fd_, F_GETFL, 0);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

Socket::~Socket() {
  if (ssl_) SSL_free(ssl_);
  if (fd_ >= 0) ::close(fd_);
}

void Socket::StartTls(SSL* ssl) {
  BIO* bio = BIO_new_socket(fd_, BIO_NOCLOSE);
  SSL_set_bio(ssl, bio, bio);
  ssl_ = ssl;
}

void Socket::StopTls() {
  if (ssl_) SSL_free(ssl_);
  ssl_ = nullptr;
}

bool Socket::HasBuffered() const {
  if (!peeked_.empty()) return true;
  std::lock_guard lock(ssl_mutex_);
  return ssl_ && SSL_pending(ssl_) > 0;
}

bool Socket::Wait(short events, std::chrono::steady_clock::time_point deadline) const {
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

size_t Socket::ReadSome(uint8_t* out, size_t n, std::chrono::steady_clock::time_point deadline) {
  if (!peeked_.empty()) {
    const size_t k = std::min(n, peeked_.size());
    std::memcpy(out, peeked_.data(), k);
    peeked_.erase(peeked_.begin(), peeked_.begin() + static_cast<std::ptrdiff_t>(k));
    return k;
  }
  while (true) {
    if (ssl_) {
      int got;
      int error;
      {
        std::lock_guard lock(ssl_mutex_);
        got = SSL_read(ssl_, out, static_cast<int>(std::min<size_t>(n, 1 << 30)));
        error = got > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, got);
      }
      if (got > 0) return static_cast<size_t>(got);
      if (error == SSL_ERROR_WANT_READ) {
        if (!Wait(POLLIN, deadline)) return 0;
      } else if (error == SSL_ERROR_WANT_WRITE) {
        if (!Wait(POLLOUT, deadline)) return 0;
      } else {
        return 0;
      }
      continue;
    }
    const ssize_t got = ::recv(fd_, out, n, 0);
    if (got > 0) return static_cast<size_t>(got);
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return 0;
    if (!Wait(POLLIN, deadline)) return 0;
  }
}

bool Socket::ReadExact(uint8_t* out, size_t n, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  size_t done = 0;
  while (done < n) {
    const size_t got = ReadSome(out + done, n - done, deadline);
    if (got == 0) return false;
    done += got;
  }
  return true;
}

bool Socket::PeekByte(uint8_t& out, std::chrono::milliseconds limit) {
  if (peeked_.empty()) {
    uint8_t byte;
    if (ReadSome(&byte, 1, std::chrono::steady_clock::now() + limit) == 0) return false;
    peeked_.push_back(byte);
  }
  out = peeked_.front();
  return true;
}

bool Socket::WriteAll(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t want = bytes.size() - done;
    if (ssl_) {
      int sent;
      int error;
      {
        std::lock_guard lock(ssl_mutex_);
        sent = SSL_write(ssl_, bytes.data() + done, static_cast<int>(std::min<size_t>(want, 1 << 30)));
        error = sent > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, sent);
      }
      if (sent > 0) {
        done += static_cast<size_t>(sent);
        continue;
      }
      if (error == SSL_ERROR_WANT_WRITE) {
        if (!Wait(POLLOUT, deadline)) return false;
      } else if (error == SSL_ERROR_WANT_READ) {
        if (!Wait(POLLIN, deadline)) return false;
      } else {
        return false;
      }
      continue;
    }
    const ssize_t sent = ::send(fd_, bytes.data() + done, want, MSG_NOSIGNAL);
    if (sent > 0) {
      done += static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    if (!Wait(POLLOUT, deadline)) return false;
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
