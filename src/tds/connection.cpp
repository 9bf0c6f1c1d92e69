// The connection state machine.
#include "tds/connection.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

#include "tds/login.h"
#include "tds/packet.h"
#include "tds/request_handler.h"
#include "tds/tls.h"
#include "tds/tokens.h"

namespace orv::tds {
namespace {

// Announced as 16.0.1000: clients read the major number to choose what they may send.
constexpr uint32_t kServerVersion = 0x100003E8;
constexpr auto kLoginWait = std::chrono::seconds(30);

uint32_t NegotiatedVersion(uint32_t requested) {
  for (uint32_t v : {kTds74, kTds73B, kTds73A, kTds72, kTds71}) {
    if (requested >= v) return v;
  }
  return 0;
}

// An eventfd the worker signals when its request is done.
class Signal {
 public:
  Signal() : fd_(::eventfd(0, EFD_CLOEXEC)) {}
  ~Signal() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  void Raise() const {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
};

}  // namespace

Connection::Connection(int fd, std::string peer, uint16_t spid,
                       std::shared_ptr<tsql::Database> database, const ServerOptions& options,
                       users::Authenticator& authenticator, int stop_fd, SSL_CTX* tls)
    : socket_(fd),
      peer_(std::move(peer)),
      spid_(spid),
      database_(std::move(database)),
      options_(options),
      authenticator_(authenticator),
      stop_fd_(stop_fd),
      tls_(tls) {}

void Connection::Log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

void Connection::Send(const std::vector<uint8_t>& framed) {
  if (broken_) throw ProtocolError("connection lost");
  if (!socket_.WriteAll(framed, options_.io_timeout)) {
    broken_ = true;
    throw ProtocolError("connection lost while sending");
  }
}

Connection::Wait Connection::ReadMessage(Message& out, size_t limit,
                                         std::chrono::milliseconds idle) {
  MessageAssembler assembler;
  bool first = true;
  while (true) {
    if (first && !socket_.HasBuffered()) {
      const int ready = WaitReadable({socket_.fd(), stop_fd_},
                                     idle.count() > 0 ? static_cast<int>(idle.count()) : -1);
      if (ready < 0) return Wait::Idle;
      if (ready == 1) return Wait::Stop;
    }
    uint8_t header_bytes[kHeaderSize];
    if (!socket_.ReadExact(header_bytes, kHeaderSize, options_.io_timeout)) return Wait::Closed;
    const PacketHeader header = ParseHeader(header_bytes);
    std::vector<uint8_t> payload(header.length - kHeaderSize);
    if (!payload.empty() && !socket_.ReadExact(payload.data(), payload.size(), options_.io_timeout)) {
      return Wait::Closed;
    }
    if (first && header.type == packet::kAttention) {
      out.type = header.type;
      out.status = header.status;
      out.payload.clear();
      return Wait::Message;
    }
    first = false;
    if (assembler.Add(header, payload.data(), payload.size(), limit)) {
      out.type = assembler.type();
      out.status = assembler.first_status();
      out.payload = assembler.Take();
      return Wait::Message;
    }
  }
}

void Connection::Run() {
  try {
    Message message;
    if (ReadMessage(message, kMaxLoginMessage, kLoginWait) != Wait::Message) return;
    if (!Login(message)) return;
    Log("connection " + std::to_string(spid_) + " from " + peer_ + ": user " + user_ +
        (read_only_ ? " (read-only)" : ""));
    Serve();
    Log("connection " + std::to_string(spid_) + " closed");
  } catch (const ProtocolError& e) {
    Log("connection " + std::to_string(spid_) + " from " + peer_ + " closed: " + e.what());
  } catch (const std::exception& e) {
    Log("connection " + std::to_string(spid_) + " from " + peer_ + " failed: " + e.what());
  }
}

bool Connection::Negotiate(Message& message) {
  const Prelogin prelogin = ParsePrelogin(message.payload);
  // Without a certificate nothing is encrypted: a client that insists on encryption ends the
  // connection itself after this answer. With one, the client's wish decides: the whole
  // connection (ON), only the login (OFF), or nothing (a client without TLS), unless the
  // server requires encryption.
  uint8_t answer = encryption::kNotSupported;
  if (tls_) {
    switch (prelogin.encryption & 0x0F) {
      case encryption::kOff:
        answer = options_.require_encryption ? encryption::kRequired : encryption::kOff;
        break;
      case encryption::kOn:
      case encryption::kRequired:
        answer = encryption::kOn;
        break;
      default:
        answer = encryption::kNotSupported;
    }
  }
  Send(FramePackets(packet::kReply, BuildPreloginResponse(answer, kServerVersion),
                    kDefaultPacketSize, spid_));
  if (answer == encryption::kNotSupported && options_.require_encryption) {
    Log("connection " + std::to_string(spid_) + " from " + peer_ + " refused: no encryption");
    return false;
  }
  if (ReadMessage(message, kMaxLoginMessage, kLoginWait) != Wait::Message) return false;
  if (answer == encryption::kNotSupported || message.type != packet::kPrelogin) {
    if (answer == encryption::kOn || answer == encryption::kRequired) {
      throw ProtocolError("expected a TLS handshake");
    }
    return true;  // a plain login
  }
  SSL* ssl = AcceptWrappedHandshake(
      tls_, message.payload,
      [&] {
        Message next;
        if (ReadMessage(next, kMaxLoginMessage, kLoginWait) != Wait::Message ||
            next.type != packet::kPrelogin) {
          throw ProtocolError("TLS handshake interrupted");
        }
        return next.payload;
      },
      [&](const std::vector<uint8_t>& bytes) {
        Send(FramePackets(packet::kPrelogin, bytes, kDefaultPacketSize, spid_));
      });
  socket_.StartTls(ssl);
  if (ReadMessage(message, kMaxLoginMessage, kLoginWait) != Wait::Message) return false;
  // Encryption of the login only: the rest of the connection is plain again.
  if (answer == encryption::kOff) socket_.StopTls();
  return true;
}

bool Connection::Login(Message& message) {
  if (message.type == packet::kPrelogin && !Negotiate(message)) return false;
  if (message.type != packet::kLogin7) throw ProtocolError("expected a login");
  const Login7 login = ParseLogin7(message.payload);
  tds_version_ = NegotiatedVersion(login.tds_version);
  if (tds_version_ == 0) throw ProtocolError("TDS version older than 7.1");
  packet_size_ = login.packet_size == 0 ? kDefaultPacketSize
                                        : std::clamp<size_t>(login.packet_size, kMinPacketSize, kMaxPacketSize);
  ByteWriter out;
  std::optional<users::Role> role;
  if (!login.integrated_security) role = authenticator_.Check(login.user, login.password);
  if (!role) {
    Log("login failed for user '" + login.user + "' from " + peer_);
    tds::Message failed;
    failed.number = 18456;
    failed.state = 1;
    failed.severity = 14;
    failed.text = "Login failed for user '" + login.user + "'.";
    failed.server = options_.server_name;
    failed.line = 1;
    WriteMessage(out, failed);
    WriteDone(out, token::kDone, done::kError, 0, 0);
    Send(FramePackets(packet::kReply, out.bytes(), kDefaultPacketSize, spid_));
    return false;
  }
  user_ = login.user;
  read_only_ = *role == users::Role::ReadOnly;
  const std::string database = options_.database_name;
  WriteEnvChange(out, 1, database, "master");
  tds::Message changed_db;
  changed_db.number = 5701;
  changed_db.state = 2;
  changed_db.text = "Changed database context to '" + database + "'.";
  changed_db.server = options_.server_name;
  changed_db.line = 1;
  WriteMessage(out, changed_db);
  WriteCollationChange(out, kServerCollation);
  WriteEnvChange(out, 2, "us_english", "");
  tds::Message changed_language = changed_db;
  changed_language.number = 5703;
  changed_language.state = 1;
  changed_language.text = "Changed language setting to us_english.";
  WriteMessage(out, changed_language);
  WriteLoginAck(out, tds_version_, "orvdata", kServerVersion);
  WriteEnvChange(out, 4, std::to_string(packet_size_), std::to_string(kDefaultPacketSize));
  WriteDone(out, token::kDone, done::kFinal, 0, 0);
  Send(FramePackets(packet::kReply, out.bytes(), kDefaultPacketSize, spid_));
  return true;
}

void Connection::SendAttentionAck() {
  ByteWriter out;
  WriteDone(out, token::kDone, done::kAttention, 0, 0);
  Send(FramePackets(packet::kReply, out.bytes(), packet_size_, spid_));
}

void Connection::Serve() {
  RequestHandler handler(database_, tds_version_, options_.server_name, read_only_);
  const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(options_.idle_timeout);
  while (true) {
    Message request;
    switch (ReadMessage(request, kMaxRequestMessage, idle)) {
      case Wait::Message:
        break;
      case Wait::Idle:
        Log("connection " + std::to_string(spid_) + " idle too long");
        return;
      case Wait::Closed:
      case Wait::Stop:
        return;
    }
    switch (request.type) {
      case packet::kAttention:
        SendAttentionAck();  // nothing was running
        continue;
      case packet::kSqlBatch:
      case packet::kRpc:
      case packet::kTransaction:
        break;
      default:
        throw ProtocolError("unexpected message type " + std::to_string(request.type));
    }

    // The worker runs the engine and, unless the client cancelled meanwhile, writes the
    // response; this thread watches the socket for ATTENTION.
    Signal finished;
    std::mutex send_mutex;
    enum class Phase { Executing, Writing } phase = Phase::Executing;
    bool abandoned = false;
    std::atomic<bool> attention{false};
    bool attention_asked = false;  // an ATTENTION packet arrived while writing
    bool attention_answered = false;
    std::exception_ptr failure;
    const Reset reset = (request.status & packet::kResetConnection) != 0 ? Reset::kSession
                        : (request.status & packet::kResetConnectionKeepTransaction) != 0
                            ? Reset::kKeepTransaction
                            : Reset::kNone;
    std::thread worker([&] {
      try {
        Outcome outcome = handler.Execute(request.type, request.payload, reset);
        {
          std::lock_guard lock(send_mutex);
          if (abandoned) {
            finished.Raise();
            return;
          }
          phase = Phase::Writing;
        }
        ResponseStream stream([&](const std::vector<uint8_t>& bytes) { Send(bytes); },
                              packet_size_, spid_, [&] { return attention.load(); });
        handler.Write(outcome, stream);
        if (stream.cancelled()) {
          // The rest of the response is dropped: the tokens already buffered are whole, so
          // the message ends cleanly, and the acknowledgement follows as its own message.
          WriteDone(stream.tokens(), token::kDone, done::kFinal, 0, 0);
          stream.Finish();
          SendAttentionAck();
          attention_answered = true;
        } else {
          stream.Finish();
        }
      } catch (...) {
        failure = std::current_exception();
      }
      finished.Raise();
    });

    bool client_gone = false;
    bool watch_socket = true;
    while (true) {
      const bool buffered = watch_socket && socket_.HasBuffered();
      const int ready =
          buffered ? 1 : WaitReadable({finished.fd(), watch_socket ? socket_.fd() : finished.fd()}, -1);
      if (ready == 0) break;
      // Only ATTENTION may come while a request runs. Anything else is left unread: it is the
      // client's next request, sent as soon as our last packet reached it.
      uint8_t type = 0;
      if (!socket_.PeekByte(type, options_.io_timeout)) {
        handler.Cancel();  // no one is waiting for the answer
        client_gone = true;
        broken_ = true;
        attention = true;
        watch_socket = false;
        continue;
      }
      if (type != packet::kAttention) {
        watch_socket = false;
        continue;
      }
      uint8_t header_bytes[kHeaderSize];
      if (!socket_.ReadExact(header_bytes, kHeaderSize, options_.io_timeout)) {
        client_gone = true;
        broken_ = true;
        attention = true;
        watch_socket = false;
        continue;
      }
      std::lock_guard lock(send_mutex);
      if (phase == Phase::Executing && !abandoned) {
        abandoned = true;
        try {
          // The request's response (empty) ends first; clients read the acknowledgement as
          // the message after it.
          ByteWriter empty;
          WriteDone(empty, token::kDone, done::kFinal, 0, 0);
          Send(FramePackets(packet::kReply, empty.bytes(), packet_size_, spid_));
          SendAttentionAck();
        } catch (const ProtocolError&) {
          client_gone = true;
        }
        // The engine stops at its next check; its results are dropped.
        handler.Cancel();
        break;
      }
      attention_asked = true;
      attention = true;
    }
    worker.join();
    // An ATTENTION that came after the last packet was written still needs its answer.
    if (attention_asked && !attention_answered && !client_gone && !failure) SendAttentionAck();
    if (failure) {
      try {
        std::rethrow_exception(failure);
      } catch (const ProtocolError&) {
        if (!broken_) throw;
        return;
      }
    }
    if (client_gone || broken_) return;
  }
}

}  // namespace orv::tds
