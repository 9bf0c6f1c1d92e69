// The per-connection state that statements read and change: temporary tables, SET options,
// the clock behind GETDATE(), @@ROWCOUNT and declared variables.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/catalog/catalog.h"
#include "tsql/types/datetime.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

struct Variable {
  SqlType type;
  Value value;
};

struct SessionState {
  explicit SessionState(std::shared_ptr<Database> db) : database(std::move(db)) {}

  std::shared_ptr<Database> database;
  std::map<std::string, std::shared_ptr<Table>> temp_tables;  // folded name -> table
  std::map<std::string, Variable> variables;                  // folded name without '@'
  bool nocount = false;
  int64_t rowcount = 0;
  // SET options a client sends when it connects; those that change results are honoured.
  bool ansi_nulls = true;
  bool ansi_warnings = true;               // 8153 warnings; overflow and truncation errors
  bool concat_null_yields_null = true;     // NULL + 'x' is NULL (else 'x')
  bool quoted_identifier = true;
  bool arithabort = true;
  bool ansi_padding = true;
  bool xact_abort = false;
  int64_t textsize = -1;                   // -1: the server default
  int64_t lock_timeout = -1;               // milliseconds, -1: wait for ever
  std::string isolation_level = "READ COMMITTED";
  dt::DateSettings date_settings;          // SET DATEFORMAT, LANGUAGE, DATEFIRST
  int32_t spid = 51;                       // @@SPID
  std::optional<int64_t> fixed_clock;
  // Results may pass table rows on without copying them (Session::SetShareResultRows).
  bool share_result_rows = false;
  // Permanent tables may be read but not changed (Session::SetReadOnly).
  bool read_only = false;
  // Set from another thread to stop the running batch (Session::Cancel); cleared when a batch
  // starts.
  std::atomic<bool> cancel_requested{false};

  std::shared_ptr<Table> FindTempTable(std::string_view name) const;
  // The current time as datetime ticks: the fixed clock, the database's demo clock, the
  // ORV_FIXED_NOW environment variable, or the local time.
  int64_t Now() const;
};

// True for "#x" (and "##x") names.
inline bool IsTempName(std::string_view name) { return !name.empty() && name[0] == '#'; }

}  // namespace orv::tsql
