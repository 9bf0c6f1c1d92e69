// A response on its way to the client: tokens are appended to a buffer that is sent as
// packets of the negotiated size as soon as it fills, so a large result is never held twice.
// Also the writing of an engine batch's results as tokens, with SQL Server's DONE rules: one
// DONE (DONEINPROC inside an RPC) per statement result, the MORE bit on all but the last.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tds/tokens.h"
#include "tds/wire.h"
#include "tsql/engine.h"

namespace orv::tds {

class ResponseStream {
 public:
  // `send` writes framed bytes to the client (raising on failure); `cancelled` is asked
  // between packets whether the client sent ATTENTION, so that a long result stops early.
  ResponseStream(std::function<void(const std::vector<uint8_t>&)> send, size_t packet_size,
                 uint16_t spid, std::function<bool()> cancelled = {});

  ByteWriter& tokens() { return tokens_; }
  // Sends whole packets once the buffer holds more than a packet.
  void MaybeFlush();
  // Sends the rest as the message's last packet.
  void Finish();
  // Whether the client cancelled while the response was being sent (checked in MaybeFlush).
  bool cancelled() const { return cancelled_; }

 private:
  std::function<void(const std::vector<uint8_t>&)> send_;
  size_t payload_per_packet_;
  uint16_t spid_;
  std::function<bool()> poll_cancel_;
  bool cancelled_ = false;
  ByteWriter tokens_;
};

// Writes statement results as tokens; DONE tokens are held back one step so that the last
// one can go out without the MORE bit.
class ResultWriter {
 public:
  ResultWriter(ResponseStream& out, uint32_t tds_version, std::string server_name, bool in_proc);

  // The statement results of one batch. `hidden_tail` results at the end are not written
  // (they carry output parameters back to the server).
  void Write(std::vector<tsql::StatementResult>& results);
  void WriteMessage(const Message& message);
  // Whether an error (severity >= 11) was written.
  bool had_error() const { return had_error_; }
  // Ends the statements' part: writes the held DONE with MORE set when `more` follows (or
  // clears it), or a bare final DONE when there was none and `more` is false.
  void FinishStatements(bool more);

 private:
  void Done(uint16_t status, uint16_t command, uint64_t rows);
  void FlushHeldDone(bool more);
  void WriteRows(tsql::StatementResult& result);

  ResponseStream& out_;
  uint32_t tds_version_;
  std::string server_name_;
  bool in_proc_;
  bool had_error_ = false;
  bool held_ = false;
  uint16_t held_status_ = 0;
  uint16_t held_command_ = 0;
  uint64_t held_rows_ = 0;
};

}  // namespace orv::tds
