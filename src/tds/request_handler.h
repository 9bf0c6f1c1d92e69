// What one connection's requests do on its engine session: a SQL batch runs as it is; an RPC
// runs sp_executesql, sp_prepare / sp_execute / sp_prepexec / sp_unprepare (with a handle
// table of this connection) or a procedure by name; a transaction-manager request begins,
// commits, rolls back or saves the session's transaction. A request that begins or ends a
// transaction is answered with the ENVCHANGE that tells the client its new descriptor. Work is split in two steps so that the
// connection can answer ATTENTION while the engine runs: Execute (engine work, no output) and
// Write (tokens to the client).
#pragma once

#include <cstdint>
#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tds/param_binding.h"
#include "tds/response.h"
#include "tds/rpc.h"
#include "tsql/engine.h"

namespace orv::tds {

struct ReturnValue {
  uint16_t ordinal = 0;
  std::string name;
  TypeInfo type;
  WireValue value;
};

// The outcome of one SQL batch or one RPC call.
struct CallOutcome {
  bool rpc = false;
  std::vector<tsql::StatementResult> results;
  std::optional<Message> error;  // raised before anything ran (bad parameters, ...)
  std::vector<ReturnValue> return_values;
  // A stored procedure's call: its return code, none when it did not run to its end (no
  // RETURNSTATUS is sent then). Other RPCs report 0, or -6 after an error.
  bool procedure_call = false;
  std::optional<int32_t> return_status;
};

struct Outcome {
  std::vector<CallOutcome> calls;
  bool reset_acknowledged = false;  // a reset-connection request was honoured
  // The session's transaction descriptor before and after the request (0: none open), and
  // whether the transaction that ended meanwhile, if any, was rolled back.
  uint64_t transaction_before = 0;
  uint64_t transaction_after = 0;
  bool rolled_back = false;
};

// The reset-connection bits of a request's first packet: a fresh session, or a fresh one
// unless a transaction is open (then the session is kept as it is).
enum class Reset { kNone, kSession, kKeepTransaction };

class RequestHandler {
 public:
  // `read_only`: the login may not change permanent tables (tsql::Session::SetReadOnly).
  RequestHandler(std::shared_ptr<tsql::Database> database, uint32_t tds_version,
                 std::string server_name, bool read_only);

  // Runs a SQL batch (packet type 1), RPC (3) or transaction-manager (14) message. `reset`
  // asks for a fresh session first. ProtocolError when malformed.
  Outcome Execute(uint8_t packet_type, const std::vector<uint8_t>& payload, Reset reset);
  // Writes the outcome's tokens, ending with the final DONE or DONEPROC.
  void Write(Outcome& outcome, ResponseStream& out);

  // From another thread: stops the request being executed (the engine ends its batch at the
  // next check, the calls after it do not run).
  void Cancel();

 private:
  CallOutcome RunBatch(const std::string& text);
  CallOutcome RunCall(RpcCall& call);
  CallOutcome RunStatement(const std::string& statement, const std::string& declarations,
                           const std::vector<const RpcParam*>& values);
  CallOutcome RunProcedure(const RpcCall& call);
  CallOutcome RunTransactionRequest(ByteReader& in);
  // The open transaction's 8-byte descriptor as clients see it: unique on the connection
  // (the session's transaction number, with a count of sessions made since it opened in the
  // high half), 0 when none is open.
  uint64_t TransactionDescriptor() const;

  struct Prepared {
    std::string declarations;
    std::string statement;
  };

  void NewSession();

  std::shared_ptr<tsql::Database> database_;
  bool read_only_;
  std::mutex session_mutex_;  // guards session_ against Cancel while it is replaced
  std::unique_ptr<tsql::Session> session_;
  uint64_t sessions_made_ = 0;
  std::atomic<bool> cancelled_{false};
  uint32_t tds_version_;
  std::string server_name_;
  std::map<int32_t, Prepared> prepared_;
  int32_t next_handle_ = 1;
};

}  // namespace orv::tds
