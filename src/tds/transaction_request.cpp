// Transaction-manager request layout (MS-TDS 2.2.6.9).
#include "tds/transaction_request.h"

#include <optional>

#include "tds/text_encoding.h"

namespace orv::tds {
namespace {

// A name's length byte counts bytes for most clients and UTF-16 characters for some: `unit`
// says which reading to try (1: bytes, 2: characters).
std::optional<std::string> ReadName(ByteReader& in, int unit) {
  const size_t length = static_cast<size_t>(in.U8()) * static_cast<size_t>(unit);
  if (length % 2 != 0 || length > in.remaining()) return std::nullopt;
  return Utf16ToUtf8(in.Utf16(length / 2));
}

std::optional<uint8_t> ReadIsolation(ByteReader& in) {
  const uint8_t level = in.U8();
  if (level > 5) return std::nullopt;
  return level;
}

// The request's fields read with one reading of name lengths; nullopt when they do not fill
// the message exactly.
std::optional<TransactionRequest> ReadFields(ByteReader in, uint16_t type, int unit) {
  namespace tr = transaction_request;
  TransactionRequest r;
  r.type = type;
  try {
    switch (type) {
      case tr::kBegin: {
        std::optional<uint8_t> level = ReadIsolation(in);
        std::optional<std::string> name = level ? ReadName(in, unit) : std::nullopt;
        if (!name) return std::nullopt;
        r.isolation = *level;
        r.new_name = *name;
        r.begin_new = true;
        break;
      }
      case tr::kCommit:
      case tr::kRollback: {
        std::optional<std::string> name = ReadName(in, unit);
        if (!name) return std::nullopt;
        r.name = *name;
        // The flags byte: bit 0 begins a new transaction, whose isolation level and name follow.
        const uint8_t flags = in.empty() ? 0 : in.U8();
        if ((flags & 0x01) != 0) {
          std::optional<uint8_t> level = ReadIsolation(in);
          std::optional<std::string> next = level ? ReadName(in, unit) : std::nullopt;
          if (!next) return std::nullopt;
          r.begin_new = true;
          r.isolation = *level;
          r.new_name = *next;
        }
        break;
      }
      case tr::kSave: {
        std::optional<std::string> name = ReadName(in, unit);
        if (!name) return std::nullopt;
        r.name = *name;
        break;
      }
      default:
        // Distributed-transaction requests carry DTC data that is not read.
        return r;
    }
  } catch (const ProtocolError&) {
    return std::nullopt;
  }
  if (!in.empty()) return std::nullopt;
  return r;
}

// N'text' with quotes doubled.
std::string Unicode(const std::string& text) {
  std::string out = "N'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

const char* IsolationName(uint8_t level) {
  switch (level) {
    case 1: return "READ UNCOMMITTED";
    case 2: return "READ COMMITTED";
    case 3: return "REPEATABLE READ";
    case 4: return "SERIALIZABLE";
    case 5: return "SNAPSHOT";
    default: return nullptr;
  }
}

// A statement on a transaction name, given through a variable so that any text is safe.
std::string Named(const std::string& statement, const std::string& name, const char* variable) {
  if (name.empty()) return statement + ";";
  return std::string("DECLARE ") + variable + " nvarchar(32) = " + Unicode(name) + "; " +
         statement + " " + variable + ";";
}

}  // namespace

TransactionRequest ParseTransactionRequest(ByteReader& in) {
  namespace tr = transaction_request;
  const uint16_t type = in.U16();
  switch (type) {
    case tr::kGetDtcAddress:
    case tr::kPropagate:
    case tr::kPromote:
    case tr::kBegin:
    case tr::kCommit:
    case tr::kRollback:
    case tr::kSave:
      break;
    default:
      throw ProtocolError("unknown transaction request " + std::to_string(type));
  }
  for (int unit : {1, 2}) {
    if (std::optional<TransactionRequest> r = ReadFields(in, type, unit)) return *r;
  }
  throw ProtocolError("malformed transaction request");
}

bool IsDistributed(const TransactionRequest& request) {
  namespace tr = transaction_request;
  return request.type == tr::kGetDtcAddress || request.type == tr::kPropagate ||
         request.type == tr::kPromote;
}

std::string TransactionBatch(const TransactionRequest& request) {
  namespace tr = transaction_request;
  std::string batch;
  switch (request.type) {
    case tr::kCommit:
      batch = "COMMIT TRANSACTION;";
      break;
    case tr::kRollback:
      batch = Named("ROLLBACK TRANSACTION", request.name, "@orv_xact_name");
      break;
    case tr::kSave:
      return Named("SAVE TRANSACTION", request.name, "@orv_xact_name");
    default:
      break;
  }
  if (!request.begin_new) return batch;
  // The isolation level stays the session's after the transaction, as SET would leave it.
  if (const char* level = IsolationName(request.isolation)) {
    if (!batch.empty()) batch += ' ';
    batch += std::string("SET TRANSACTION ISOLATION LEVEL ") + level + ";";
  }
  if (!batch.empty()) batch += ' ';
  return batch + Named("BEGIN TRANSACTION", request.new_name, "@orv_new_xact_name");
}

}  // namespace orv::tds
