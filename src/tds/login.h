// The two messages of a connection's start: PRELOGIN (version and encryption exchange) and
// LOGIN7 (client names, credentials, database), parsed defensively from client bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv::tds {

namespace encryption {
inline constexpr uint8_t kOff = 0;
inline constexpr uint8_t kOn = 1;
inline constexpr uint8_t kNotSupported = 2;
inline constexpr uint8_t kRequired = 3;
}  // namespace encryption

struct Prelogin {
  uint8_t encryption = encryption::kOff;
  bool mars = false;
};

Prelogin ParsePrelogin(const std::vector<uint8_t>& payload);
// Our answer: server version, the encryption we agree to, no instance name, MARS off.
std::vector<uint8_t> BuildPreloginResponse(uint8_t encryption, uint32_t server_version);

// Fields of a login longer than this (characters) are refused; SQL Server's names are 128.
inline constexpr size_t kMaxLoginField = 128;

struct Login7 {
  uint32_t tds_version = 0;
  uint32_t packet_size = 0;
  uint32_t client_pid = 0;
  uint8_t option_flags2 = 0;
  uint8_t type_flags = 0;
  std::string host;
  std::string user;
  std::string password;
  std::string app;
  std::string server;
  std::string library;
  std::string language;
  std::string database;
  bool integrated_security = false;  // SSPI requested (not supported)
};

// Parses a LOGIN7 record (de-obfuscating the password). ProtocolError when malformed, or when
// a field is longer than kMaxLoginField.
Login7 ParseLogin7(const std::vector<uint8_t>& payload);

// The password bytes as a client sends them (used by tests and fuzz seeds).
std::vector<uint8_t> ObfuscatePassword(const std::u16string& password);

}  // namespace orv::tds
