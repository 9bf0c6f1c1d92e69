// Packet headers, message assembly and response framing.
#include "tds/packet.h"

#include <algorithm>

namespace orv::tds {

PacketHeader ParseHeader(const uint8_t* bytes) {
  PacketHeader h;
  h.type = bytes[0];
  h.status = bytes[1];
  h.length = static_cast<uint16_t>((bytes[2] << 8) | bytes[3]);
  h.spid = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  h.id = bytes[6];
  if (h.length < kHeaderSize || h.length > kMaxPacketSize) {
    throw ProtocolError("bad packet length");
  }
  return h;
}

bool MessageAssembler::Add(const PacketHeader& header, const uint8_t* payload, size_t size,
                           size_t limit) {
  if (!started_) {
    started_ = true;
    type_ = header.type;
    first_status_ = header.status;
  } else if (header.type != type_) {
    throw ProtocolError("packet of another type inside a message");
  }
  if (size > limit - std::min(limit, data_.size())) throw ProtocolError("message too large");
  data_.insert(data_.end(), payload, payload + size);
  return (header.status & packet::kEndOfMessage) != 0;
}

std::vector<uint8_t> MessageAssembler::Take() {
  started_ = false;
  return std::move(data_);
}

std::vector<uint8_t> FramePackets(uint8_t type, const std::vector<uint8_t>& payload,
                                  size_t packet_size, uint16_t spid) {
  const size_t chunk = std::clamp(packet_size, kMinPacketSize, kMaxPacketSize) - kHeaderSize;
  std::vector<uint8_t> out;
  out.reserve(payload.size() + (payload.size() / chunk + 1) * kHeaderSize);
  size_t at = 0;
  uint8_t id = 1;
  do {
    const size_t n = std::min(chunk, payload.size() - at);
    const bool last = at + n == payload.size();
    const auto length = static_cast<uint16_t>(n + kHeaderSize);
    const uint8_t header[kHeaderSize] = {type,
                                         static_cast<uint8_t>(last ? packet::kEndOfMessage : 0),
                                         static_cast<uint8_t>(length >> 8),
                                         static_cast<uint8_t>(length),
                                         static_cast<uint8_t>(spid >> 8),
                                         static_cast<uint8_t>(spid),
                                         id++,
                                         0};
    out.insert(out.end(), header, header + kHeaderSize);
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
               payload.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < payload.size());
  return out;
}

}  // namespace orv::tds
