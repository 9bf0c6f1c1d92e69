// libFuzzer target for the T-SQL front end: any byte string fed to ParseBatch must either
// parse or raise SqlException; nothing else may escape, and the statement spans must lie
// inside the text. SplitScriptOnGo gets the same input. Seed it with tests/tsql/data.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    orv::tsql::ast::Batch batch = orv::tsql::ParseBatch(text);
    uint32_t last = 0;
    for (const auto& stmt : batch.statements) {
      if (stmt->pos.offset < last || stmt->end_offset < stmt->pos.offset ||
          stmt->end_offset > size) {
        __builtin_trap();
      }
      last = stmt->end_offset;
    }
  } catch (const orv::tsql::SqlException&) {
    // A rejected batch is a valid outcome.
  }
  size_t total = 0;
  for (const auto& part : orv::tsql::SplitScriptOnGo(text)) total += part.size();
  if (total > size * 100000 + 1) __builtin_trap();  // GO n repeats, but boundedly
  return 0;
}
