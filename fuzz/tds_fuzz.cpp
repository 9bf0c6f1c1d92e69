// libFuzzer target for everything the TDS server parses from client bytes: packet headers and
// message assembly, PRELOGIN, LOGIN7, ALL_HEADERS and RPC calls with their typed parameters,
// parameter declaration lists and transaction-manager requests. A ProtocolError or
// BindingError is the expected way to refuse input; anything else (a crash, a sanitizer
// report, another exception) is a bug.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tds/login.h"
#include "tds/packet.h"
#include "tds/param_binding.h"
#include "tds/rpc.h"
#include "tds/transaction_request.h"
#include "tds/type_codec.h"

using namespace orv::tds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  const std::vector<uint8_t> payload(data + 1, data + size);
  try {
    switch (selector % 7) {
      case 0: {
        // A stream of packets assembled into messages, as a connection reads them.
        MessageAssembler assembler;
        size_t at = 0;
        while (at + kHeaderSize <= payload.size()) {
          const PacketHeader header = ParseHeader(payload.data() + at);
          const size_t body = std::min<size_t>(header.length - kHeaderSize, payload.size() - at - kHeaderSize);
          if (assembler.Add(header, payload.data() + at + kHeaderSize, body, kMaxLoginMessage)) {
            assembler.Take();
          }
          at += kHeaderSize + body;
        }
        break;
      }
      case 1:
        ParsePrelogin(payload);
        break;
      case 2:
        ParseLogin7(payload);
        break;
      case 3: {
        ByteReader in(payload);
        SkipAllHeaders(in);
        ParseRpc(in, 1 << 16);
        break;
      }
      case 4: {
        ByteReader in(payload);
        const TypeInfo type = ReadTypeInfo(in);
        const WireValue value = ReadValue(in, type, 1 << 16);
        SqlLiteral(value);
        break;
      }
      case 5:
        ParseParamDecls(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
        break;
      case 6: {
        ByteReader in(payload);
        const TransactionRequest request = ParseTransactionRequest(in);
        if (!IsDistributed(request)) TransactionBatch(request);
        break;
      }
    }
  } catch (const ProtocolError&) {
  } catch (const BindingError&) {
  }
  return 0;
}
