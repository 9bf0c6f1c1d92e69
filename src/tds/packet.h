// TDS packets: the eight-byte header, the assembly of a client's packets into one message
// (bounded in size), and the framing of a response into packets of the negotiated size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tds/wire.h"

namespace orv::tds {

namespace packet {
inline constexpr uint8_t kSqlBatch = 0x01;
inline constexpr uint8_t kRpc = 0x03;
inline constexpr uint8_t kReply = 0x04;
inline constexpr uint8_t kAttention = 0x06;
inline constexpr uint8_t kBulkLoad = 0x07;
inline constexpr uint8_t kTransaction = 0x0E;
inline constexpr uint8_t kLogin7 = 0x10;
inline constexpr uint8_t kSspi = 0x11;
inline constexpr uint8_t kPrelogin = 0x12;

inline constexpr uint8_t kEndOfMessage = 0x01;
inline constexpr uint8_t kResetConnection = 0x08;
inline constexpr uint8_t kResetConnectionKeepTransaction = 0x10;
}  // namespace packet

inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kMinPacketSize = 512;
inline constexpr size_t kMaxPacketSize = 32767;
inline constexpr size_t kDefaultPacketSize = 4096;
// The largest client message we assemble: a login is small; a batch or RPC may carry a long
// report text or large parameters, but not more than this.
inline constexpr size_t kMaxLoginMessage = 64 * 1024;
inline constexpr size_t kMaxRequestMessage = 16 * 1024 * 1024;

struct PacketHeader {
  uint8_t type = 0;
  uint8_t status = 0;
  uint16_t length = 0;  // header included
  uint16_t spid = 0;
  uint8_t id = 0;
};

// Reads and checks a header: length at least the header and at most kMaxPacketSize.
PacketHeader ParseHeader(const uint8_t* bytes);

// Collects the packets of one message. The first packet sets its type; later packets of
// another type, or a message growing past `limit`, are a ProtocolError.
class MessageAssembler {
 public:
  // Adds one packet's payload; true when the message is complete (end-of-message status).
  bool Add(const PacketHeader& header, const uint8_t* payload, size_t size, size_t limit);
  uint8_t type() const { return type_; }
  uint8_t first_status() const { return first_status_; }
  std::vector<uint8_t> Take();

 private:
  bool started_ = false;
  uint8_t type_ = 0;
  uint8_t first_status_ = 0;
  std::vector<uint8_t> data_;
};

// Frames `payload` as packets of at most `packet_size` bytes (header included) of `type`,
// the last one marked end-of-message.
std::vector<uint8_t> FramePackets(uint8_t type, const std::vector<uint8_t>& payload,
                                  size_t packet_size, uint16_t spid);

}  // namespace orv::tds
