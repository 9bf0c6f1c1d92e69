// Writers of the server's response tokens: LOGINACK, ENVCHANGE, INFO/ERROR, COLMETADATA,
// ROW/NBCROW, DONE/DONEPROC/DONEINPROC, RETURNVALUE and RETURNSTATUS. Each appends one token
// to a ByteWriter that becomes the payload of a tabular-result message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tds/type_info.h"
#include "tds/wire.h"

namespace orv::tds {

namespace token {
inline constexpr uint8_t kReturnStatus = 0x79;
inline constexpr uint8_t kColMetadata = 0x81;
inline constexpr uint8_t kError = 0xAA;
inline constexpr uint8_t kInfo = 0xAB;
inline constexpr uint8_t kReturnValue = 0xAC;
inline constexpr uint8_t kLoginAck = 0xAD;
inline constexpr uint8_t kRow = 0xD1;
inline constexpr uint8_t kNbcRow = 0xD2;
inline constexpr uint8_t kEnvChange = 0xE3;
inline constexpr uint8_t kDone = 0xFD;
inline constexpr uint8_t kDoneProc = 0xFE;
inline constexpr uint8_t kDoneInProc = 0xFF;
}  // namespace token

namespace done {
inline constexpr uint16_t kFinal = 0x00;
inline constexpr uint16_t kMore = 0x01;
inline constexpr uint16_t kError = 0x02;
inline constexpr uint16_t kCount = 0x10;
inline constexpr uint16_t kAttention = 0x20;
inline constexpr uint16_t kServerError = 0x100;
}  // namespace done

// TDS versions as the LOGIN7 and LOGINACK records spell them.
inline constexpr uint32_t kTds71 = 0x71000001;
inline constexpr uint32_t kTds72 = 0x72090002;
inline constexpr uint32_t kTds73A = 0x730A0003;
inline constexpr uint32_t kTds73B = 0x730B0003;
inline constexpr uint32_t kTds74 = 0x74000004;

struct Message {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 0;  // "class": 0..10 informational, 11 and up errors
  std::string text;      // UTF-8
  std::string server;
  std::string procedure;
  int32_t line = 0;
};

struct ColumnMeta {
  std::string name;  // UTF-8
  TypeInfo type;
  bool nullable = true;
};

void WriteLoginAck(ByteWriter& out, uint32_t tds_version, std::string_view program,
                   uint32_t program_version);
// ENVCHANGE with text values: database (1), language (2), packet size (4).
void WriteEnvChange(ByteWriter& out, uint8_t kind, std::string_view new_value,
                    std::string_view old_value);
// ENVCHANGE 8 (a transaction began), 9 (committed) or 10 (rolled back): 8-byte transaction
// descriptors, 0 for none (sent as an empty value).
void WriteTransactionChange(ByteWriter& out, uint8_t kind, uint64_t new_descriptor,
                            uint64_t old_descriptor);
// ENVCHANGE 7: the SQL collation.
void WriteCollationChange(ByteWriter& out, const Collation& collation);
// ERROR when severity > 10, else INFO.
void WriteMessage(ByteWriter& out, const Message& message);
void WriteColMetadata(ByteWriter& out, const std::vector<ColumnMeta>& columns);
// ROW; with `nbc`, an NBCROW (null bitmap, then the non-null values; TDS 7.3 and later).
void WriteRow(ByteWriter& out, const std::vector<ColumnMeta>& columns,
              const std::vector<WireValue>& values, bool nbc);
// DONE, DONEPROC or DONEINPROC (`kind` is the token).
void WriteDone(ByteWriter& out, uint8_t kind, uint16_t status, uint16_t command, uint64_t rows);
void WriteReturnStatus(ByteWriter& out, int32_t status);
void WriteReturnValue(ByteWriter& out, uint16_t ordinal, std::string_view name,
                      const TypeInfo& type, const WireValue& value);

// SQL Server's command codes in DONE tokens (for clients that show them).
namespace command {
inline constexpr uint16_t kSelect = 0xC1;
inline constexpr uint16_t kInsert = 0xC3;
inline constexpr uint16_t kDelete = 0xC4;
inline constexpr uint16_t kUpdate = 0xC5;
inline constexpr uint16_t kExecute = 0xE0;
}  // namespace command

}  // namespace orv::tds
