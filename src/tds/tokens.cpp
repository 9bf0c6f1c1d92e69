// Token layouts of the server's responses (MS-TDS 2.2.7), TDS 7.2 and later: eight-byte row
// counts in DONE tokens, four-byte line numbers in messages, four-byte user types.
#include "tds/tokens.h"

#include "tds/text_encoding.h"
#include "tds/type_codec.h"

namespace orv::tds {
namespace {

// Writes a token whose body is preceded by its two-byte length.
template <typename Body>
void WithLength(ByteWriter& out, uint8_t token, Body body) {
  out.U8(token);
  const size_t at = out.size();
  out.U16(0);
  body();
  out.PatchU16(at, static_cast<uint16_t>(out.size() - at - 2));
}

}  // namespace

void WriteLoginAck(ByteWriter& out, uint32_t tds_version, std::string_view program,
                   uint32_t program_version) {
  WithLength(out, token::kLoginAck, [&] {
    out.U8(1);  // SQL_TSQL
    out.U32BE(tds_version);
    out.BVarChar(Utf8ToUtf16(program));
    out.U32BE(program_version);
  });
}

void WriteEnvChange(ByteWriter& out, uint8_t kind, std::string_view new_value,
                    std::string_view old_value) {
  WithLength(out, token::kEnvChange, [&] {
    out.U8(kind);
    out.BVarChar(Utf8ToUtf16(new_value));
    out.BVarChar(Utf8ToUtf16(old_value));
  });
}

void WriteTransactionChange(ByteWriter& out, uint8_t kind, uint64_t new_descriptor,
                            uint64_t old_descriptor) {
  WithLength(out, token::kEnvChange, [&] {
    out.U8(kind);
    for (const uint64_t descriptor : {new_descriptor, old_descriptor}) {
      if (descriptor == 0) {
        out.U8(0);
      } else {
        out.U8(8);
        out.U64(descriptor);
      }
    }
  });
}

void WriteCollationChange(ByteWriter& out, const Collation& collation) {
  WithLength(out, token::kEnvChange, [&] {
    out.U8(7);
    out.U8(5);
    out.U32(collation.info);
    out.U8(collation.sort_id);
    out.U8(0);
  });
}

void WriteMessage(ByteWriter& out, const Message& m) {
  // A message text longer than the two-byte length allows is cut; none of ours comes close.
  WithLength(out, m.severity > 10 ? token::kError : token::kInfo, [&] {
    out.U32(static_cast<uint32_t>(m.number));
    out.U8(m.state);
    out.U8(m.severity);
    std::u16string text = Utf8ToUtf16(m.text);
    if (text.size() > 16000) text.resize(16000);
    out.UsVarChar(text);
    out.BVarChar(Utf8ToUtf16(m.server));
    out.BVarChar(Utf8ToUtf16(m.procedure));
    out.U32(static_cast<uint32_t>(m.line));
  });
}

void WriteColMetadata(ByteWriter& out, const std::vector<ColumnMeta>& columns) {
  out.U8(token::kColMetadata);
  out.U16(static_cast<uint16_t>(columns.size()));
  for (const ColumnMeta& c : columns) {
    out.U32(0);  // user type
    // fNullable, and fUpdateable = "unknown" (2 in bits 2-3).
    out.U16(static_cast<uint16_t>((c.nullable ? 0x01 : 0x00) | 0x08));
    WriteTypeInfo(out, c.type);
    out.BVarChar(Utf8ToUtf16(c.name));
  }
}

void WriteRow(ByteWriter& out, const std::vector<ColumnMeta>& columns,
              const std::vector<WireValue>& values, bool nbc) {
  if (!nbc) {
    out.U8(token::kRow);
    for (size_t i = 0; i < columns.size(); ++i) WriteValue(out, columns[i].type, values[i]);
    return;
  }
  out.U8(token::kNbcRow);
  const size_t bitmap_at = out.size();
  for (size_t i = 0; i < (columns.size() + 7) / 8; ++i) out.U8(0);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (IsNullValue(values[i])) {
      out.bytes()[bitmap_at + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    } else {
      WriteValue(out, columns[i].type, values[i]);
    }
  }
}

void WriteDone(ByteWriter& out, uint8_t kind, uint16_t status, uint16_t command, uint64_t rows) {
  out.U8(kind);
  out.U16(status);
  out.U16(command);
  out.U64(rows);
}

void WriteReturnStatus(ByteWriter& out, int32_t status) {
  out.U8(token::kReturnStatus);
  out.U32(static_cast<uint32_t>(status));
}

void WriteReturnValue(ByteWriter& out, uint16_t ordinal, std::string_view name,
                      const TypeInfo& type, const WireValue& value) {
  out.U8(token::kReturnValue);
  out.U16(ordinal);
  out.BVarChar(Utf8ToUtf16(name));
  out.U8(0x01);  // an output parameter
  out.U32(0);    // user type
  out.U16(0x01 | 0x08);
  WriteTypeInfo(out, type);
  WriteValue(out, type, value);
}

}  // namespace orv::tds
