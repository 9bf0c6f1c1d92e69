// What a session knows about itself and its server: @@VERSION, @@SPID, @@SERVERNAME and the
// other global variables clients read at connect time, and DB_NAME(), USER_NAME(),
// SERVERPROPERTY(...) and their kin, bound as constants of the statement.
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/catalog/session_state.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

constexpr const char* kProductVersion = "16.0.1000.6";
constexpr const char* kServerName = "ORVDATA";
constexpr const char* kVersion =
    "Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n"
    "\tCompatible engine of orvdata (embedded T-SQL engine) \n"
    "\tDeveloper Edition (64-bit) on Linux \n";

BExprPtr Constant(Value v, SqlType type) {
  auto e = std::make_unique<BExpr>();
  e->kind = BKind::Literal;
  e->type = type;
  e->nullable = v.is_null();
  e->value = std::move(v);
  return e;
}

BExprPtr Text(std::string_view s, int32_t length = 128) {
  return Constant(Value::String(s), SqlType::NVarChar(length));
}

BExprPtr Int(int64_t v) { return Constant(Value::Int(v), SqlType::Int()); }

std::string LanguageName(dt::Language language) {
  return language == dt::Language::kDeutsch ? "Deutsch" : "us_english";
}

// CURSOR_STATUS('local' | 'global' | 'variable', name): 1 open with rows (or dynamic), 0 open
// without rows, -1 closed, -2 a cursor variable that holds no cursor, -3 no such cursor or
// variable.
int64_t CursorStatus(const SessionState& session, std::string_view scope, std::string_view name) {
  const std::string kind = FoldName(scope);
  const std::map<std::string, std::shared_ptr<Cursor>>* cursors =
      kind == "LOCAL"      ? &session.local_cursors
      : kind == "GLOBAL"   ? &session.global_cursors
      : kind == "VARIABLE" ? &session.cursor_variables
                           : nullptr;
  if (!cursors) ThrowError(16902, {"cursor_status", "scope"});
  if (kind == "VARIABLE" && name.starts_with('@')) name.remove_prefix(1);
  const auto it = cursors->find(FoldName(name));
  if (it == cursors->end()) return -3;
  const Cursor* cursor = it->second.get();
  if (!cursor) return -2;
  if (!cursor->open) return -1;
  return cursor->dynamic || !cursor->rows.empty() ? 1 : 0;
}

}  // namespace

BExprPtr Binder::BindGlobalVariable(const std::string& upper) {
  if (upper == "VERSION") return Text(kVersion, 300);
  if (upper == "SPID") return Constant(Value::Int(session_.session_id), SqlType::SmallInt());
  if (upper == "SERVERNAME") return Text(kServerName);
  if (upper == "SERVICENAME") return Text("MSSQLSERVER");
  if (upper == "LANGUAGE") return Text(LanguageName(session_.date_settings.language));
  if (upper == "LANGID") return Int(session_.date_settings.language == dt::Language::kDeutsch ? 1 : 0);
  if (upper == "DATEFIRST") return Constant(Value::Int(session_.date_settings.datefirst), SqlType::TinyInt());
  if (upper == "TEXTSIZE") return Int(session_.textsize < 0 ? 4096 : session_.textsize);
  if (upper == "LOCK_TIMEOUT") return Int(session_.lock_timeout_ms);
  if (upper == "MAX_PRECISION") return Constant(Value::Int(38), SqlType::TinyInt());
  if (upper == "MICROSOFTVERSION") return Int(0x10000000 + 1000);
  if (upper == "NESTLEVEL") return Int(session_.nest_level);
  if (upper == "ERROR") return Int(session_.last_error);
  if (upper == "PROCID") return Int(0);
  if (upper == "FETCH_STATUS") return Int(session_.fetch_status);
  if (upper == "CURSOR_ROWS") {
    const std::shared_ptr<Cursor> cursor = session_.last_opened.lock();
    if (!cursor || !cursor->open) return Int(0);
    return Int(cursor->counted ? static_cast<int64_t>(cursor->rows.size()) : -1);
  }
  if (upper == "OPTIONS") {
    // The bits of the SET options that are ON (as @@OPTIONS numbers them).
    int64_t bits = 0;
    if (session_.implicit_transactions) bits |= 2;
    if (session_.ansi_warnings) bits |= 8;
    if (session_.ansi_padding) bits |= 16;
    if (session_.ansi_nulls) bits |= 32;
    if (session_.arithabort) bits |= 64;
    if (session_.quoted_identifier) bits |= 256;
    if (session_.nocount) bits |= 512;
    if (session_.concat_null_yields_null) bits |= 4096;
    if (session_.xact_abort) bits |= 16384;
    return Int(bits);
  }
  return nullptr;
}

BExprPtr Binder::BindSessionFunction(const std::string& upper, const ast::Expr& expr) {
  auto arg_text = [&](size_t i) -> std::string {
    if (i >= expr.args.size()) return "";
    const ast::Expr& a = *expr.args[i];
    if (a.kind != ast::ExprKind::Literal) return "";
    return a.text;
  };
  if ((upper == "USER_NAME" || upper == "CURRENT_USER" || upper == "SESSION_USER" ||
       upper == "USER") && expr.args.empty()) {
    return Text("dbo");
  }
  if ((upper == "SUSER_SNAME" || upper == "SUSER_NAME" || upper == "SYSTEM_USER" ||
       upper == "ORIGINAL_LOGIN") && expr.args.empty()) {
    return Text("sa");
  }
  if (upper.starts_with("ERROR_") && expr.args.empty()) {
    // The error the innermost running CATCH block handles; NULL outside CATCH.
    const SqlError* e = session_.caught_errors.empty() ? nullptr : &session_.caught_errors.back();
    auto int_or_null = [&](int32_t v) {
      return e ? Int(v) : Constant(Value::Null(), SqlType::Int());
    };
    if (upper == "ERROR_NUMBER") return int_or_null(e ? e->number : 0);
    if (upper == "ERROR_SEVERITY") return int_or_null(e ? e->severity : 0);
    if (upper == "ERROR_STATE") return int_or_null(e ? e->state : 0);
    if (upper == "ERROR_LINE") return int_or_null(e ? e->line : 0);
    if (upper == "ERROR_MESSAGE") {
      return e ? Text(e->message, 4000) : Constant(Value::Null(), SqlType::NVarChar(4000));
    }
    if (upper == "ERROR_PROCEDURE") {
      return e && !e->procedure.empty() ? Text(e->procedure)
                                        : Constant(Value::Null(), SqlType::NVarChar(128));
    }
  }
  if (upper == "XACT_STATE" && expr.args.empty()) {
    const TransactionState& t = session_.transaction;
    return Constant(Value::Int(t.count == 0 ? 0 : t.doomed ? -1 : 1), SqlType::SmallInt());
  }
  if (upper == "CURSOR_STATUS") {
    if (expr.args.size() != 2) ThrowError(174, {"cursor_status", "2"});
    return Constant(Value::Int(CursorStatus(session_, arg_text(0), arg_text(1))),
                    SqlType::SmallInt());
  }
  if (upper == "HOST_NAME" && expr.args.empty()) return Text("localhost");
  if (upper == "APP_NAME" && expr.args.empty()) return Text("orvdata");
  if (upper == "@@SPID") return Constant(Value::Int(session_.session_id), SqlType::SmallInt());
  if (upper == "SERVERPROPERTY") {
    if (expr.args.size() != 1) ThrowError(174, {"serverproperty", "1"});
    std::string p;
    for (char c : arg_text(0)) p.push_back(util::AsciiUpper(c));
    auto variant = [](Value v) { return Constant(std::move(v), SqlType::SqlVariant()); };
    if (p == "PRODUCTVERSION") return variant(Value::String(kProductVersion));
    if (p == "PRODUCTMAJORVERSION") return variant(Value::String("16"));
    if (p == "PRODUCTMINORVERSION") return variant(Value::String("0"));
    if (p == "PRODUCTLEVEL") return variant(Value::String("RTM"));
    if (p == "EDITION") return variant(Value::String("Developer Edition (64-bit)"));
    if (p == "ENGINEEDITION") return variant(Value::Int(3));
    if (p == "SERVERNAME" || p == "MACHINENAME") return variant(Value::String(kServerName));
    if (p == "INSTANCENAME") return Constant(Value::Null(), SqlType::SqlVariant());
    if (p == "COLLATION") return variant(Value::String("Chinese_PRC_CI_AS"));
    if (p == "ISCASESENSITIVE" || p == "ISCLUSTERED" || p == "ISFULLTEXTINSTALLED" ||
        p == "ISHADRENABLED" || p == "ISSINGLEUSER") {
      return variant(Value::Int(0));
    }
    if (p == "ISINTEGRATEDSECURITYONLY") return variant(Value::Int(0));
    if (p == "PROCESSID") return variant(Value::Int(1));
    return Constant(Value::Null(), SqlType::SqlVariant());
  }
  if (upper == "DATABASEPROPERTYEX") {
    // The data source's properties (its name or DB_NAME() as the first argument); NULL for
    // other databases and properties it has no value for.
    if (expr.args.size() != 2) ThrowError(174, {"databasepropertyex", "2"});
    const std::string database = arg_text(0);
    const std::string p = [&] {
      std::string text;
      for (char c : arg_text(1)) text.push_back(util::AsciiUpper(c));
      return text;
    }();
    auto variant = [](Value v) { return Constant(std::move(v), SqlType::SqlVariant()); };
    if (!database.empty() && !NamesEqual(database, session_.database->name())) {
      return Constant(Value::Null(), SqlType::SqlVariant());
    }
    if (p == "COLLATION") return variant(Value::String("Chinese_PRC_CI_AS"));
    if (p == "STATUS") return variant(Value::String("ONLINE"));
    if (p == "UPDATEABILITY") return variant(Value::String(session_.read_only ? "READ_ONLY" : "READ_WRITE"));
    if (p == "USERACCESS") return variant(Value::String("MULTI_USER"));
    if (p == "RECOVERY") return variant(Value::String("FULL"));
    if (p == "VERSION") return variant(Value::Int(957));
    if (p == "LCID") return variant(Value::Int(2052));
    if (p == "COMPARISONSTYLE") return variant(Value::Int(196609));
    if (p == "SQLSORTORDER") return variant(Value::Int(0));
    if (p == "ISAUTOCREATESTATISTICS" || p == "ISAUTOUPDATESTATISTICS") return variant(Value::Int(1));
    for (std::string_view off :
         {"ISAUTOCLOSE", "ISAUTOSHRINK", "ISINSTANDBY", "ISANSINULLDEFAULT", "ISANSINULLSENABLED",
          "ISANSIPADDINGENABLED", "ISANSIWARNINGSENABLED", "ISARITHMETICABORTENABLED", "ISFULLTEXTENABLED",
          "ISPUBLISHED", "ISSUBSCRIBED", "ISMERGEPUBLISHED", "ISRECURSIVETRIGGERSENABLED", "ISNULLCONCAT",
          "ISNUMERICROUNDABORTENABLED", "ISQUOTEDIDENTIFIERSENABLED", "ISCLOSECURSORSONCOMMITENABLED",
          "ISLOCALCURSORSDEFAULT", "ISSYNCWITHBACKUP", "ISTORNPAGEDETECTIONENABLED"}) {
      if (p == off) return variant(Value::Int(0));
    }
    return Constant(Value::Null(), SqlType::SqlVariant());
  }
  // Role and permission questions tools ask on connect. A session that may change the data
  // source is its owner (db_owner, sysadmin, every permission); a read-only one (a report user)
  // reads and runs, nothing more. Roles it does not know are NULL, as for a name that is none.
  auto upper_arg = [&](size_t i) {
    std::string text;
    for (char c : arg_text(i)) text.push_back(util::AsciiUpper(c));
    return text;
  };
  const bool owner = !session_.read_only;
  auto answer = [](std::optional<bool> yes) {
    return yes ? Constant(Value::Int(*yes ? 1 : 0), SqlType::Int()) : Constant(Value::Null(), SqlType::Int());
  };
  if (upper == "IS_MEMBER") {
    if (expr.args.size() != 1) ThrowError(174, {"is_member", "1"});
    const std::string role = upper_arg(0);
    if (role == "PUBLIC" || role == "DB_DATAREADER") return answer(true);
    if (role == "DB_OWNER" || role == "DB_DATAWRITER" || role == "DB_DDLADMIN") return answer(owner);
    if (role == "DB_SECURITYADMIN" || role == "DB_ACCESSADMIN" || role == "DB_BACKUPOPERATOR" ||
        role == "DB_DENYDATAREADER" || role == "DB_DENYDATAWRITER") {
      return answer(false);
    }
    return answer(std::nullopt);
  }
  if (upper == "IS_SRVROLEMEMBER") {
    if (expr.args.empty() || expr.args.size() > 2) ThrowError(174, {"is_srvrolemember", "1"});
    const std::string role = upper_arg(0);
    if (role == "PUBLIC") return answer(true);
    if (role == "SYSADMIN") return answer(owner);
    if (role == "SERVERADMIN" || role == "DBCREATOR" || role == "SETUPADMIN" || role == "SECURITYADMIN" ||
        role == "PROCESSADMIN" || role == "DISKADMIN" || role == "BULKADMIN") {
      return answer(false);
    }
    return answer(std::nullopt);
  }
  if (upper == "HAS_PERMS_BY_NAME") {
    if (expr.args.size() < 3 || expr.args.size() > 5) ThrowError(174, {"has_perms_by_name", "3"});
    const std::string permission = upper_arg(2);
    const bool reads = permission == "SELECT" || permission == "EXECUTE" || permission == "CONNECT" ||
                       permission.starts_with("VIEW ");
    return answer(reads || owner);
  }
  return nullptr;
}

}  // namespace orv::tsql
