// RPC requests: the ALL_HEADERS prefix of batches and RPCs, and the calls of an RPC message
// (procedure name or well-known id, and typed parameters), parsed from client bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tds/type_info.h"
#include "tds/wire.h"

namespace orv::tds {

// Well-known procedure ids (ProcID instead of a name).
namespace proc {
inline constexpr uint16_t kExecuteSql = 10;
inline constexpr uint16_t kPrepare = 11;
inline constexpr uint16_t kExecute = 12;
inline constexpr uint16_t kPrepExec = 13;
inline constexpr uint16_t kUnprepare = 15;
}  // namespace proc

struct RpcParam {
  std::string name;  // with its '@', or "" for a positional parameter
  bool output = false;
  TypeInfo type;
  WireValue value;
};

struct RpcCall {
  std::string name;      // "" when called by id
  uint16_t proc_id = 0;  // 0 when called by name
  std::vector<RpcParam> params;
};

// Skips ALL_HEADERS (TDS 7.2 and later) at the start of a batch or RPC message.
void SkipAllHeaders(ByteReader& in);

// The calls of an RPC message (after ALL_HEADERS). ProtocolError when malformed.
std::vector<RpcCall> ParseRpc(ByteReader& in, size_t max_value_bytes);

// The well-known id of a procedure name ("sp_executesql", "sys.sp_prepare", ...), 0 if none.
uint16_t WellKnownProcId(const std::string& name);

}  // namespace orv::tds
