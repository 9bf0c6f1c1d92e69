// Little helpers for TDS byte streams: a growing little-endian writer and a bounded reader that
// raises ProtocolError instead of reading past its end. Every parser of client data goes
// through ByteReader, so a truncated or lying message ends that connection, never the server.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orv::tds {

// A client sent something that does not follow the protocol; the connection is closed.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteWriter {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) { Little(v, 2); }
  void U16BE(uint16_t v) {
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
  }
  void U32(uint32_t v) { Little(v, 4); }
  void U32BE(uint32_t v) {
    U16BE(static_cast<uint16_t>(v >> 16));
    U16BE(static_cast<uint16_t>(v));
  }
  void U64(uint64_t v) { Little(v, 8); }
  void Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  void Bytes(std::string_view s) { Bytes(s.data(), s.size()); }
  // UTF-16LE text with a one-byte character count (B_VARCHAR); cut at 255 code units.
  void BVarChar(std::u16string_view s);
  // UTF-16LE text with a two-byte character count (US_VARCHAR); cut at 65535 code units.
  void UsVarChar(std::u16string_view s);
  void Utf16(std::u16string_view s);

  size_t size() const { return bytes_.size(); }
  // Overwrites a two-byte little-endian value written earlier (lengths known only later).
  void PatchU16(size_t at, uint16_t v) {
    bytes_[at] = static_cast<uint8_t>(v);
    bytes_[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  void Little(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

  size_t remaining() const { return size_ - pos_; }
  size_t position() const { return pos_; }
  bool empty() const { return pos_ == size_; }

  uint8_t U8() { return static_cast<uint8_t>(Little(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Little(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Little(4)); }
  uint64_t U64() { return Little(8); }
  uint16_t U16BE() {
    Need(2);
    uint16_t v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  uint8_t Peek() const {
    if (empty()) throw ProtocolError("message ends early");
    return data_[pos_];
  }
  const uint8_t* Take(size_t n) {
    Need(n);
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  void Skip(size_t n) { Take(n); }
  // n UTF-16LE code units.
  std::u16string Utf16(size_t units);
  std::u16string BVarChar() { return Utf16(U8()); }
  std::u16string UsVarChar() { return Utf16(U16()); }

 private:
  void Need(size_t n) const {
    if (n > remaining()) throw ProtocolError("message ends early");
  }
  uint64_t Little(int n) {
    Need(static_cast<size_t>(n));
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += static_cast<size_t>(n);
    return v;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace orv::tds
