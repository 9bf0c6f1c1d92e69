// PRELOGIN option lists and the LOGIN7 record (MS-TDS 2.2.6.4, 2.2.6.5).
#include "tds/login.h"

#include "tds/text_encoding.h"
#include "tds/wire.h"

namespace orv::tds {
namespace {

constexpr uint8_t kOptVersion = 0x00;
constexpr uint8_t kOptEncryption = 0x01;
constexpr uint8_t kOptInstance = 0x02;
constexpr uint8_t kOptThreadId = 0x03;
constexpr uint8_t kOptMars = 0x04;
constexpr uint8_t kOptTerminator = 0xFF;

constexpr size_t kLoginFixedPart = 94;  // through cbSSPILong (TDS 7.2 and later)
constexpr uint8_t kIntegratedSecurity = 0x80;  // OptionFlags2: fIntSecurity

}  // namespace

Prelogin ParsePrelogin(const std::vector<uint8_t>& payload) {
  Prelogin result;
  ByteReader options(payload);
  for (int count = 0;; ++count) {
    if (count > 64) throw ProtocolError("too many PRELOGIN options");
    const uint8_t option = options.U8();
    if (option == kOptTerminator) break;
    const uint16_t offset = options.U16BE();
    const uint16_t length = options.U16BE();
    if (size_t{offset} + length > payload.size()) throw ProtocolError("PRELOGIN option out of range");
    if (option == kOptEncryption && length >= 1) result.encryption = payload[offset];
    if (option == kOptMars && length >= 1) result.mars = payload[offset] != 0;
  }
  return result;
}

std::vector<uint8_t> BuildPreloginResponse(uint8_t encryption, uint32_t server_version) {
  // Option list (5 entries of 5 bytes and the terminator), then their data.
  constexpr uint16_t kData = 5 * 5 + 1;
  ByteWriter out;
  auto option = [&](uint8_t id, uint16_t offset, uint16_t length) {
    out.U8(id);
    out.U16BE(offset);
    out.U16BE(length);
  };
  option(kOptVersion, kData, 6);
  option(kOptEncryption, kData + 6, 1);
  option(kOptInstance, kData + 7, 1);
  option(kOptThreadId, kData + 8, 0);
  option(kOptMars, kData + 8, 1);
  out.U8(kOptTerminator);
  out.U32BE(server_version);
  out.U16BE(0);  // sub-build
  out.U8(encryption);
  out.U8(0);  // instance name: empty, terminated
  out.U8(0);  // MARS off
  return std::move(out.bytes());
}

Login7 ParseLogin7(const std::vector<uint8_t>& payload) {
  ByteReader in(payload);
  const uint32_t length = in.U32();
  if (length != payload.size()) throw ProtocolError("LOGIN7 length does not match its message");
  // TDS 7.1 clients end the fixed part before ChangePassword; we read no further than SSPI.
  if (length < kLoginFixedPart - 8) throw ProtocolError("LOGIN7 too short");
  Login7 login;
  login.tds_version = in.U32();  // little-endian here, e.g. 0x74000004 for 7.4
  login.packet_size = in.U32();
  in.U32();  // client program version
  login.client_pid = in.U32();
  in.U32();  // connection id
  in.U8();   // option flags 1
  login.option_flags2 = in.U8();
  login.type_flags = in.U8();
  in.U8();   // option flags 3
  in.U32();  // client time zone
  in.U32();  // client LCID
  login.integrated_security = (login.option_flags2 & kIntegratedSecurity) != 0;

  // Each field: offset and length (characters) from the start of the record.
  auto field = [&](bool obfuscated = false) {
    const uint16_t offset = in.U16();
    const uint16_t chars = in.U16();
    if (chars > kMaxLoginField) throw ProtocolError("LOGIN7 field too long");
    if (chars == 0) return std::string();
    if (size_t{offset} + size_t{chars} * 2 > payload.size()) {
      throw ProtocolError("LOGIN7 field out of range");
    }
    std::u16string text(chars, u'\0');
    for (size_t i = 0; i < chars; ++i) {
      uint8_t lo = payload[offset + 2 * i];
      uint8_t hi = payload[offset + 2 * i + 1];
      if (obfuscated) {
        auto clear = [](uint8_t b) {
          b ^= 0xA5;
          return static_cast<uint8_t>((b << 4) | (b >> 4));
        };
        lo = clear(lo);
        hi = clear(hi);
      }
      text[i] = static_cast<char16_t>(lo | (hi << 8));
    }
    return Utf16ToUtf8(text);
  };
  login.host = field();
  login.user = field();
  login.password = field(true);
  login.app = field();
  login.server = field();
  in.U16();  // extension offset
  in.U16();  // extension length
  login.library = field();
  login.language = field();
  login.database = field();
  in.Skip(6);  // client MAC address
  in.U16();    // SSPI offset
  const uint16_t sspi = in.U16();
  if (sspi != 0) login.integrated_security = true;
  return login;
}

std::vector<uint8_t> ObfuscatePassword(const std::u16string& password) {
  std::vector<uint8_t> out;
  for (char16_t c : password) {
    for (uint8_t b : {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)}) {
      out.push_back(static_cast<uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5));
    }
  }
  return out;
}

}  // namespace orv::tds
