// Packets out as they fill, and engine results as tokens.
#include "tds/response.h"

#include "tds/engine_types.h"
#include "tds/packet.h"

namespace orv::tds {

ResponseStream::ResponseStream(std::function<void(const std::vector<uint8_t>&)> send,
                               size_t packet_size, uint16_t spid,
                               std::function<bool()> cancelled)
    : send_(std::move(send)),
      payload_per_packet_(packet_size - kHeaderSize),
      spid_(spid),
      poll_cancel_(std::move(cancelled)) {}

void ResponseStream::MaybeFlush() {
  std::vector<uint8_t>& bytes = tokens_.bytes();
  if (bytes.size() <= payload_per_packet_ * 4) return;
  // Whole packets only; the rest stays for the next flush or the last packet.
  const size_t whole = (bytes.size() - 1) / payload_per_packet_ * payload_per_packet_;
  std::vector<uint8_t> chunk(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole));
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole));
  std::vector<uint8_t> framed = FramePackets(packet::kReply, chunk, payload_per_packet_ + kHeaderSize, spid_);
  // FramePackets marks its last packet as the end of the message; these are not the end.
  for (size_t at = 0; at < framed.size();) {
    framed[at + 1] = 0;
    at += static_cast<size_t>((framed[at + 2] << 8) | framed[at + 3]);
  }
  send_(framed);
  if (poll_cancel_ && !cancelled_ && poll_cancel_()) cancelled_ = true;
}

void ResponseStream::Finish() {
  send_(FramePackets(packet::kReply, tokens_.bytes(), payload_per_packet_ + kHeaderSize, spid_));
  tokens_.bytes().clear();
}

ResultWriter::ResultWriter(ResponseStream& out, uint32_t tds_version, std::string server_name,
                           bool in_proc)
    : out_(out), tds_version_(tds_version), server_name_(std::move(server_name)), in_proc_(in_proc) {}

void ResultWriter::FlushHeldDone(bool more) {
  if (!held_) return;
  held_ = false;
  const uint16_t status = static_cast<uint16_t>(held_status_ | (more ? done::kMore : 0));
  WriteDone(out_.tokens(), in_proc_ ? token::kDoneInProc : token::kDone, status, held_command_,
            held_rows_);
}

void ResultWriter::Done(uint16_t status, uint16_t command, uint64_t rows) {
  FlushHeldDone(true);
  held_ = true;
  held_status_ = status;
  held_command_ = command;
  held_rows_ = rows;
}

void ResultWriter::FinishStatements(bool more) {
  if (held_) {
    FlushHeldDone(more || in_proc_);
  } else if (!more && !in_proc_) {
    WriteDone(out_.tokens(), token::kDone, had_error_ ? done::kError : done::kFinal, 0, 0);
  }
}

void ResultWriter::WriteMessage(const Message& message) {
  FlushHeldDone(true);
  Message m = message;
  if (m.server.empty()) m.server = server_name_;
  if (m.severity > 10) had_error_ = true;
  tds::WriteMessage(out_.tokens(), m);
}

void ResultWriter::WriteRows(tsql::StatementResult& result) {
  std::vector<ColumnMeta> columns;
  columns.reserve(result.columns.size());
  for (const tsql::ResultColumn& c : result.columns) {
    columns.push_back(ColumnMeta{c.name, WireTypeOf(c.type, tds_version_), c.nullable});
  }
  FlushHeldDone(true);
  WriteColMetadata(out_.tokens(), columns);
  const bool nbc_allowed = tds_version_ >= kTds73A;
  std::vector<WireValue> values(columns.size());
  const size_t rows = result.row_count();
  size_t sent = 0;
  for (; sent < rows; ++sent) {
    bool any_null = false;
    for (size_t c = 0; c < columns.size(); ++c) {
      values[c] = WireValueOf(result.at(sent, c), result.columns[c].type);
      any_null = any_null || values[c].is_null();
    }
    WriteRow(out_.tokens(), columns, values, nbc_allowed && any_null);
    out_.MaybeFlush();
    if (out_.cancelled()) return;
  }
  Done(result.counted ? done::kCount : 0, command::kSelect, rows);
}

void ResultWriter::Write(std::vector<tsql::StatementResult>& results) {
  for (tsql::StatementResult& r : results) {
    if (out_.cancelled()) return;
    switch (r.kind) {
      case tsql::StatementResult::Kind::Rows:
        WriteRows(r);
        break;
      case tsql::StatementResult::Kind::RowCount:
        Done(done::kCount, command::kExecute, static_cast<uint64_t>(r.count));
        break;
      case tsql::StatementResult::Kind::Error:
      case tsql::StatementResult::Kind::Message: {
        Message m;
        m.number = r.error.number;
        m.state = static_cast<uint8_t>(std::clamp(r.error.state, 0, 255));
        m.severity = static_cast<uint8_t>(std::clamp(r.error.severity, 0, 25));
        if (r.kind == tsql::StatementResult::Kind::Message && m.severity > 10) m.severity = 10;
        if (r.kind == tsql::StatementResult::Kind::Error && m.severity <= 10) m.severity = 16;
        m.text = r.error.message;
        m.line = r.error.line;
        m.procedure = r.error.procedure;
        WriteMessage(m);
        if (r.kind == tsql::StatementResult::Kind::Error) Done(done::kError, 0, 0);
        break;
      }
    }
    out_.MaybeFlush();
  }
}

}  // namespace orv::tds
