// Certificate loading and the wrapped handshake, on OpenSSL memory BIOs.
#include "tds/tls.h"

#include <openssl/err.h>

#include <stdexcept>

#include "tds/wire.h"

namespace orv::tds {

std::string TlsError() {
  std::string out;
  while (unsigned long e = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(e, buffer, sizeof buffer);
    if (!out.empty()) out += "; ";
    out += buffer;
  }
  return out;
}

TlsContext::TlsContext(const std::string& certificate_file, const std::string& key_file) {
  ctx_ = SSL_CTX_new(TLS_server_method());
  if (!ctx_) throw std::runtime_error("cannot set up TLS: " + TlsError());
  // TLS 1.2 only, as TDS 7.x clients expect: in the wrapped handshake a client sends its
  // last flight and then reads the server's, which TLS 1.3 does not do (FreeTDS would keep its
  // Finished message buffered and wait).
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
  // No session tickets: after the wrapped handshake nothing may be left to send.
  SSL_CTX_set_options(ctx_, SSL_OP_NO_TICKET);
  SSL_CTX_set_num_tickets(ctx_, 0);
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_use_certificate_chain_file(ctx_, certificate_file.c_str()) != 1) {
    std::string why = TlsError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error("cannot use the certificate '" + certificate_file + "': " + why);
  }
  if (SSL_CTX_use_PrivateKey_file(ctx_, key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx_) != 1) {
    std::string why = TlsError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error("cannot use the key '" + key_file + "': " + why);
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

SSL* AcceptWrappedHandshake(SSL_CTX* ctx, const std::vector<uint8_t>& first,
                            const std::function<std::vector<uint8_t>()>& receive,
                            const std::function<void(const std::vector<uint8_t>&)>& send) {
  SSL* ssl = SSL_new(ctx);
  if (!ssl) throw ProtocolError("TLS: " + TlsError());
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  SSL_set_bio(ssl, in, out);  // the session owns both now
  SSL_set_accept_state(ssl);
  try {
    std::vector<uint8_t> message = first;
    // A handshake takes a few round trips; a client that keeps it going longer is refused.
    for (int round = 0; round < 16; ++round) {
      if (!message.empty() && BIO_write(in, message.data(), static_cast<int>(message.size())) <= 0) {
        throw ProtocolError("TLS: cannot buffer handshake data");
      }
      const int r = SSL_do_handshake(ssl);
      std::vector<uint8_t> reply(static_cast<size_t>(BIO_ctrl_pending(out)));
      if (!reply.empty()) {
        BIO_read(out, reply.data(), static_cast<int>(reply.size()));
        send(reply);
      }
      if (r == 1) {
        if (BIO_ctrl_pending(in) != 0) throw ProtocolError("TLS: data after the handshake");
        return ssl;
      }
      if (SSL_get_error(ssl, r) != SSL_ERROR_WANT_READ) {
        throw ProtocolError("TLS handshake failed: " + TlsError());
      }
      message = receive();
    }
    throw ProtocolError("TLS handshake too long");
  } catch (...) {
    SSL_free(ssl);
    throw;
  }
}

}  // namespace orv::tds
