// TLS for the TDS front end with OpenSSL: the server's certificate and key, and the handshake,
// which TDS carries inside PRELOGIN packets before the connection switches to TLS records on
// the socket itself (for the whole connection, or only for the login message).
#pragma once

#include <openssl/ssl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::tds {

class TlsContext {
 public:
  // Loads a PEM certificate (chain) and its private key; raises std::runtime_error naming the
  // file and OpenSSL's reason when they cannot be used.
  TlsContext(const std::string& certificate_file, const std::string& key_file);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* get() const { return ctx_; }

 private:
  SSL_CTX* ctx_ = nullptr;
};

// Runs the server side of a handshake whose records travel inside TDS messages: `first` is
// the payload of the client's first handshake message; `receive` returns the next one (or
// raises), `send` wraps ours. Returns the session, ready to be moved onto the socket.
// Raises ProtocolError when the handshake fails.
SSL* AcceptWrappedHandshake(SSL_CTX* ctx, const std::vector<uint8_t>& first,
                            const std::function<std::vector<uint8_t>()>& receive,
                            const std::function<void(const std::vector<uint8_t>&)>& send);

// OpenSSL's reason for the last failure on this thread ("" when none).
std::string TlsError();

}  // namespace orv::tds
