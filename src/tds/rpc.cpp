// RPC message layout (MS-TDS 2.2.6.6).
#include "tds/rpc.h"

#include <algorithm>
#include <cctype>

#include "tds/text_encoding.h"
#include "tds/type_codec.h"

namespace orv::tds {
namespace {

constexpr size_t kMaxParams = 2100;  // SQL Server's own limit

bool IsSeparator(uint8_t b) { return b == 0xFF || b == 0xFE || b == 0x80; }

}  // namespace

void SkipAllHeaders(ByteReader& in) {
  const uint32_t total = in.U32();
  if (total < 4 || total - 4 > in.remaining()) throw ProtocolError("bad ALL_HEADERS length");
  in.Skip(total - 4);
}

std::vector<RpcCall> ParseRpc(ByteReader& in, size_t max_value_bytes) {
  std::vector<RpcCall> calls;
  while (!in.empty()) {
    RpcCall call;
    const uint16_t name_length = in.U16();
    if (name_length == 0xFFFF) {
      call.proc_id = in.U16();
    } else {
      if (name_length == 0 || name_length > 1000) throw ProtocolError("bad procedure name");
      call.name = Utf16ToUtf8(in.Utf16(name_length));
      call.proc_id = WellKnownProcId(call.name);
      if (call.proc_id != 0) call.name.clear();
    }
    in.U16();  // option flags (recompile, no metadata): nothing to do for us
    while (!in.empty() && !IsSeparator(in.Peek())) {
      if (call.params.size() >= kMaxParams) throw ProtocolError("too many parameters");
      RpcParam param;
      param.name = Utf16ToUtf8(in.BVarChar());
      const uint8_t status = in.U8();
      param.output = (status & 0x01) != 0;
      param.type = ReadTypeInfo(in);
      param.value = ReadValue(in, param.type, max_value_bytes);
      call.params.push_back(std::move(param));
    }
    calls.push_back(std::move(call));
    if (!in.empty()) in.U8();  // the separator
  }
  if (calls.empty()) throw ProtocolError("RPC without a call");
  return calls;
}

uint16_t WellKnownProcId(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::string_view prefix : {"master.sys.", "master..", "sys."}) {
    if (lower.rfind(prefix, 0) == 0) {
      lower.erase(0, prefix.size());
      break;
    }
  }
  if (lower == "sp_executesql") return proc::kExecuteSql;
  if (lower == "sp_prepare") return proc::kPrepare;
  if (lower == "sp_execute") return proc::kExecute;
  if (lower == "sp_prepexec") return proc::kPrepExec;
  if (lower == "sp_unprepare") return proc::kUnprepare;
  return 0;
}

}  // namespace orv::tds
