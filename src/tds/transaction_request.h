// Transaction-manager requests (packet type 14): begin, commit, roll back or save a
// transaction of the connection's session, parsed from client bytes and turned into the
// T-SQL statements that carry them out. Distributed-transaction requests are recognised so
// that they can be refused with a clear error.
#pragma once

#include <cstdint>
#include <string>

#include "tds/wire.h"

namespace orv::tds {

namespace transaction_request {
inline constexpr uint16_t kGetDtcAddress = 0;
inline constexpr uint16_t kPropagate = 1;
inline constexpr uint16_t kBegin = 5;
inline constexpr uint16_t kPromote = 6;
inline constexpr uint16_t kCommit = 7;
inline constexpr uint16_t kRollback = 8;
inline constexpr uint16_t kSave = 9;
}  // namespace transaction_request

struct TransactionRequest {
  uint16_t type = 0;
  // Begin: the isolation level (0 keeps the session's) and the transaction's name. Commit and
  // rollback: the name, then, when `begin_new` is set, those of the transaction to begin at
  // once. Save: the savepoint's name.
  std::string name;
  bool begin_new = false;
  uint8_t isolation = 0;
  std::string new_name;
};

// The request after ALL_HEADERS. ProtocolError when malformed or of an unknown type.
TransactionRequest ParseTransactionRequest(ByteReader& in);

// Whether the request asks for a distributed transaction (not offered by this server).
bool IsDistributed(const TransactionRequest& request);

// The T-SQL batch that carries out a begin, commit, rollback or save request.
std::string TransactionBatch(const TransactionRequest& request);

}  // namespace orv::tds
