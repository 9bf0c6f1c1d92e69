// CREATE / ALTER / DROP PROCEDURE, and the message text of RAISERROR.
#include <cinttypes>
#include <cstdio>

#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

void ExecCreateProcedure(ast::CreateProcStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  Database& db = *cx.session.database;
  const std::string& name = stmt.name.back();
  std::shared_ptr<Procedure> existing = db.FindProcedure(name);
  if (stmt.alter && !existing) ThrowError(208, {name});
  if (existing && !stmt.alter && !stmt.or_alter) ThrowError(2714, {name});
  if (!existing && db.ObjectId(name)) ThrowError(2714, {name});
  std::shared_ptr<Procedure> procedure = ProcedureFromText(stmt.text);
  if (!procedure) ThrowError(102, {name});
  if (existing) procedure->object_id = existing->object_id;
  std::shared_ptr<Procedure> replaced = db.PutProcedure(procedure);
  cx.log().PutProcedure(procedure, std::move(replaced));
}

void ExecDropProcedure(ast::DropProcStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  Database& db = *cx.session.database;
  for (const ast::Name& name : stmt.names) {
    std::shared_ptr<Procedure> procedure = db.DetachProcedure(name.back());
    if (!procedure) {
      if (stmt.if_exists) continue;
      ThrowError(3701, {"procedure", name.back()});
    }
    cx.log().DroppedProcedure(procedure);
  }
}

std::string FormatRaiseErrorMessage(std::string_view format,
                                    const std::vector<std::pair<Value, SqlType>>& args) {
  std::string out;
  size_t next = 0;
  auto take_int = [&]() -> int64_t {
    if (next >= args.size()) return 0;
    const auto& [v, type] = args[next++];
    if (v.is_null()) return 0;
    Value i = Convert(v, type, SqlType::BigInt(), CastMode::Explicit);
    return i.int_value();
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // %[flags][width][.precision][h|l|I64]type
    size_t j = i + 1;
    std::string spec = "%";
    while (j < format.size() && std::string_view("-+ 0#").find(format[j]) != std::string_view::npos) {
      spec.push_back(format[j++]);
    }
    auto number_or_star = [&] {
      if (j < format.size() && format[j] == '*') {
        spec += std::to_string(take_int());
        ++j;
        return;
      }
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') spec.push_back(format[j++]);
    };
    number_or_star();
    if (j < format.size() && format[j] == '.') {
      spec.push_back(format[j++]);
      number_or_star();
    }
    if (format.substr(j, 3) == "I64") {
      j += 3;
    } else if (j < format.size() && (format[j] == 'h' || format[j] == 'l')) {
      ++j;
    }
    if (j >= format.size()) ThrowError(2787, {std::string(format.substr(i))});
    const char type = format[j];
    char buffer[512];
    switch (type) {
      case 'd':
      case 'i': {
        spec += PRId64;
        std::snprintf(buffer, sizeof buffer, spec.c_str(), take_int());
        out += buffer;
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        spec += type == 'u' ? PRIu64 : type == 'x' ? PRIx64 : type == 'X' ? PRIX64 : PRIo64;
        std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<uint64_t>(take_int()));
        out += buffer;
        break;
      }
      case 's': {
        std::string text = "(null)";
        if (next < args.size()) {
          const auto& [v, t] = args[next++];
          if (!v.is_null()) text = ToText(v, t);
        }
        spec += 's';
        std::snprintf(buffer, sizeof buffer, spec.c_str(), text.c_str());
        out += buffer;
        break;
      }
      default:
        ThrowError(2787, {std::string(format.substr(i, j - i + 1))});
    }
    i = j;
  }
  return out;
}

}  // namespace orv::tsql
