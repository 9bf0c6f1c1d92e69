// SET options. Those that change results are kept in the session (NOCOUNT, DATEFORMAT,
// LANGUAGE, DATEFIRST, CONCAT_NULL_YIELDS_NULL, ANSI_WARNINGS, ...); the others a client sends
// when it connects (ANSI_NULLS, QUOTED_IDENTIFIER, TEXTSIZE, ARITHABORT, LOCK_TIMEOUT,
// TRANSACTION ISOLATION LEVEL, ...) are kept for @@OPTIONS and the like, or accepted.
#include <algorithm>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

void Message(std::vector<StatementResult>& results, int number, const std::string& text) {
  StatementResult r;
  r.kind = StatementResult::Kind::Message;
  r.error.number = number;
  r.error.severity = 10;
  r.error.message = text;
  results.push_back(std::move(r));
}

int64_t Number(const std::string& value) {
  try {
    return std::stoll(value);
  } catch (const std::exception&) {
    ThrowError(102, {value});
  }
}

}  // namespace

void ApplySetOption(SessionState& session, const ast::SetStmt& stmt,
                    std::vector<StatementResult>& results) {
  const std::string option = FoldName(stmt.option);
  const std::string value = FoldName(stmt.value);
  const bool on = value == "ON";
  if (option == "NOCOUNT") {
    session.nocount = on;
  } else if (option == "ANSI_NULLS") {
    session.ansi_nulls = on;
  } else if (option == "ANSI_WARNINGS") {
    session.ansi_warnings = on;
  } else if (option == "ANSI_PADDING") {
    session.ansi_padding = on;
  } else if (option == "CONCAT_NULL_YIELDS_NULL") {
    session.concat_null_yields_null = on;
    ConcatNullYieldsNull() = on;
  } else if (option == "QUOTED_IDENTIFIER") {
    session.quoted_identifier = on;
  } else if (option == "ARITHABORT") {
    session.arithabort = on;
  } else if (option == "XACT_ABORT") {
    session.xact_abort = on;
  } else if (option == "IMPLICIT_TRANSACTIONS") {
    session.implicit_transactions = on;
  } else if (option == "TEXTSIZE") {
    int64_t n = Number(stmt.value);
    session.textsize = n <= 0 ? -1 : n;
  } else if (option == "LOCK_TIMEOUT") {
    const int64_t ms = Number(stmt.value);
    session.lock_timeout_ms = ms < 0 ? -1 : ms;
  } else if (option == "MEMORY_LIMIT_MB") {
    // How much one statement may grow the heap; 0 leaves the engine's own limit.
    const int64_t mb = Number(stmt.value);
    session.memory_limit_bytes = mb > 0 ? mb << 20 : 0;
  } else if (option == "TRANSACTION ISOLATION LEVEL") {
    session.isolation_level = value;
  } else if (option == "DATEFORMAT") {
    static const std::pair<const char*, dt::DateOrder> kOrders[] = {
        {"MDY", dt::DateOrder::kMdy}, {"DMY", dt::DateOrder::kDmy}, {"YMD", dt::DateOrder::kYmd},
        {"YDM", dt::DateOrder::kYdm}, {"MYD", dt::DateOrder::kMyd}, {"DYM", dt::DateOrder::kDym}};
    bool found = false;
    for (const auto& [name, order] : kOrders) {
      if (value == name) {
        session.date_settings.order = order;
        found = true;
      }
    }
    if (!found) ThrowError(2741, {stmt.value});
    dt::CurrentDateSettings() = session.date_settings;
  } else if (option == "DATEFIRST") {
    int64_t n = Number(stmt.value);
    if (n < 1 || n > 7) {
      ThrowError(1005, {"The DATEFIRST SET option value " + std::to_string(n) +
                        " is out of range: it must be between 1 and 7."});
    }
    session.date_settings.datefirst = static_cast<int>(n);
    dt::CurrentDateSettings() = session.date_settings;
  } else if (option == "LANGUAGE") {
    // A language brings its date names, its date order and its first day of the week.
    if (value == "US_ENGLISH" || value == "ENGLISH") {
      session.date_settings.language = dt::Language::kUsEnglish;
      session.date_settings.order = dt::DateOrder::kMdy;
      session.date_settings.datefirst = 7;
      Message(results, 5703, "Changed language setting to us_english.");
    } else if (value == "DEUTSCH" || value == "GERMAN") {
      session.date_settings.language = dt::Language::kDeutsch;
      session.date_settings.order = dt::DateOrder::kDmy;
      session.date_settings.datefirst = 1;
      Message(results, 5703, "Changed language setting to Deutsch.");
    } else {
      ThrowError(2732, {"Error: Language " + stmt.value + " is not supported."});
    }
    dt::CurrentDateSettings() = session.date_settings;
  }
  // Other options (ANSI_NULL_DFLT_ON, CURSOR_CLOSE_ON_COMMIT,
  // NUMERIC_ROUNDABORT, DEADLOCK_PRIORITY, STATISTICS ..., ROWCOUNT 0) are accepted.
}

void ExecSetIdentityInsert(const ast::SetStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  std::shared_ptr<Table> table = binder.FindTable(stmt.table);
  cx.BindDone();
  if (!table) ThrowError(1088, {ast::JoinName(stmt.table)});
  const bool has_identity = std::any_of(table->columns.begin(), table->columns.end(),
                                        [](const ColumnDef& c) { return c.identity; });
  if (!has_identity) ThrowError(8106, {table->name});
  SessionState& session = cx.session;
  if (stmt.value == "OFF") {
    if (session.identity_insert_id == table->object_id) session.identity_insert_id = 0;
    return;
  }
  // One table of the session at a time.
  if (session.identity_insert_id != 0 && session.identity_insert_id != table->object_id) {
    ThrowError(8107, {session.identity_insert_name, table->name});
  }
  session.identity_insert_id = table->object_id;
  session.identity_insert_name = QualifiedTableName(*table, session);
}

bool IdentityInsertIsOn(const SessionState& session, const Table& table) {
  return session.identity_insert_id != 0 && session.identity_insert_id == table.object_id;
}

}  // namespace orv::tsql
