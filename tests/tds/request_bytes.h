// Request bodies for tests that drive a RequestHandler directly: the ALL_HEADERS block a
// client puts before a batch or transaction request (one transaction descriptor header), and a
// SQL batch after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tds/wire.h"
#include "tds/text_encoding.h"

namespace orv::tds::testing {

inline std::vector<uint8_t> WithAllHeaders(const std::vector<uint8_t>& body) {
  ByteWriter w;
  w.U32(22);  // total length of the headers
  w.U32(18);  // this header's length
  w.U16(2);   // transaction descriptor
  w.U64(0);
  w.U32(1);   // outstanding requests
  w.Bytes(body.data(), body.size());
  return w.bytes();
}

inline std::vector<uint8_t> Batch(const std::string& sql) {
  ByteWriter w;
  w.Utf16(Utf8ToUtf16(sql));
  return WithAllHeaders(w.bytes());
}

}  // namespace orv::tds::testing
