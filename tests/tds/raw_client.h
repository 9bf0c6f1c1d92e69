// A bare TDS client for tests: builds PRELOGIN, LOGIN7 and SQL batch messages byte by byte and
// reads whole responses, so that tests can also send what no real client would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tds/login.h"
#include "tds/packet.h"
#include "tds/text_encoding.h"
#include "tds/wire.h"

namespace orv::tds::testing {

inline std::vector<uint8_t> PreloginMessage() {
  ByteWriter w;
  // VERSION and ENCRYPTION options, then the terminator and their data.
  w.U8(0x00);
  w.U16BE(11);
  w.U16BE(6);
  w.U8(0x01);
  w.U16BE(17);
  w.U16BE(1);
  w.U8(0xFF);
  w.U32BE(0x0B000000);
  w.U16BE(0);
  w.U8(0x00);  // encryption off
  return w.bytes();
}

// A LOGIN7 record; `pad` adds that many characters to the host name (to build oversized ones).
inline std::vector<uint8_t> Login7Message(const std::string& user, const std::string& password,
                                          size_t pad = 0, uint32_t version = 0x74000004) {
  const std::u16string fields[] = {Utf8ToUtf16("host" + std::string(pad, 'h')),
                                   Utf8ToUtf16(user),
                                   Utf8ToUtf16(password),
                                   u"test",
                                   u"server",
                                   u"lib",
                                   u"",
                                   u"db"};
  ByteWriter w;
  w.U32(0);  // length, patched below
  w.U32(version);
  w.U32(4096);
  w.U32(7);
  w.U32(1234);
  w.U32(0);
  w.U8(0xE0);
  w.U8(0x03);
  w.U8(0);
  w.U8(0);
  w.U32(0);
  w.U32(0x0409);
  uint16_t offset = 94;
  auto entry = [&](size_t i) {
    w.U16(offset);
    w.U16(static_cast<uint16_t>(fields[i].size()));
    offset = static_cast<uint16_t>(offset + fields[i].size() * 2);
  };
  for (size_t i = 0; i < 5; ++i) entry(i);  // host, user, password, app, server
  w.U16(0);
  w.U16(0);                                 // extension
  for (size_t i = 5; i < 8; ++i) entry(i);  // library, language, database
  for (int i = 0; i < 6; ++i) w.U8(0);      // client id
  w.U16(offset);
  w.U16(0);  // SSPI
  w.U16(offset);
  w.U16(0);  // attach file
  w.U16(offset);
  w.U16(0);  // change password
  w.U32(0);  // long SSPI
  for (size_t i = 0; i < 8; ++i) {
    if (i == 2) {
      for (uint8_t b : ObfuscatePassword(fields[i])) w.U8(b);
    } else {
      w.Utf16(fields[i]);
    }
  }
  std::vector<uint8_t> bytes = w.bytes();
  const auto n = static_cast<uint32_t>(bytes.size());
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
  return bytes;
}

inline std::vector<uint8_t> AllHeaders() {
  ByteWriter w;
  w.U32(22);  // total
  w.U32(18);  // transaction descriptor header
  w.U16(2);
  w.U64(0);
  w.U32(1);
  return w.bytes();
}

inline std::vector<uint8_t> SqlBatchMessage(const std::string& sql) {
  ByteWriter w;
  w.Bytes(AllHeaders().data(), AllHeaders().size());
  w.Utf16(Utf8ToUtf16(sql));
  return w.bytes();
}

class RawClient {
 public:
  explicit RawClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool connected() const { return connected_; }

  bool SendRaw(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  bool Send(uint8_t type, const std::vector<uint8_t>& payload, size_t packet_size = 4096) {
    return SendRaw(FramePackets(type, payload, packet_size, 0));
  }
  // The payload of the next whole response message, or nullopt when the server closed the
  // connection (or said nothing for `timeout_ms`).
  std::optional<std::vector<uint8_t>> Receive(int timeout_ms = 5000) {
    std::vector<uint8_t> payload;
    while (true) {
      uint8_t header[8];
      if (!Read(header, 8, timeout_ms)) return std::nullopt;
      const size_t length = static_cast<size_t>((header[2] << 8) | header[3]);
      if (length < 8) return std::nullopt;
      std::vector<uint8_t> body(length - 8);
      if (!body.empty() && !Read(body.data(), body.size(), timeout_ms)) return std::nullopt;
      payload.insert(payload.end(), body.begin(), body.end());
      if (header[1] & 0x01) return payload;
    }
  }
  // Whether the server closed the connection within `timeout_ms` (reading and dropping data).
  bool ClosedByServer(int timeout_ms = 5000) {
    uint8_t buffer[4096];
    while (true) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeout_ms) <= 0) return false;
      ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return true;
    }
  }
  bool Login(const std::string& user, const std::string& password) {
    if (!Send(packet::kPrelogin, PreloginMessage()) || !Receive()) return false;
    if (!Send(packet::kLogin7, Login7Message(user, password))) return false;
    auto reply = Receive();
    // LOGINACK (0xAD) is in the reply only on success.
    return reply && std::find(reply->begin(), reply->end(), 0xAD) != reply->end() &&
           std::find(reply->begin(), reply->end(), 0xAA) == reply->end();
  }
  // Runs a batch; with `reset`, on a fresh session (the reset-connection bit), as a pooled
  // client does when it reuses a connection.
  std::optional<std::vector<uint8_t>> Query(const std::string& sql, bool reset = false,
                                            int timeout_ms = 5000) {
    std::vector<uint8_t> framed = FramePackets(packet::kSqlBatch, SqlBatchMessage(sql), 4096, 0);
    if (reset) framed[1] |= packet::kResetConnection;
    if (!SendRaw(framed)) return std::nullopt;
    return Receive(timeout_ms);
  }

 private:
  bool Read(uint8_t* out, size_t n, int timeout_ms) {
    size_t done = 0;
    while (done < n) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeout_ms) <= 0) return false;
      ssize_t got = ::recv(fd_, out + done, n - done, 0);
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }
  int fd_ = -1;
  bool connected_ = false;
};

}  // namespace orv::tds::testing
