// The functions that read the catalog: OBJECT_NAME, OBJECT_SCHEMA_NAME, OBJECT_DEFINITION,
// COL_LENGTH, COL_NAME, SCHEMA_NAME, SCHEMA_ID, DB_NAME, DB_ID, TYPE_NAME, COLUMNPROPERTY,
// OBJECTPROPERTY, IDENT_SEED, IDENT_INCR and IDENT_CURRENT.
#include <algorithm>
#include <optional>
#include <vector>

#include "tsql/catalog/session_state.h"
#include "tsql/catalog/system_views.h"
#include "tsql/exec/exec.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

std::shared_ptr<Table> TableNamed(SessionState& s, std::string_view text) {
  std::string name = ObjectNamePart(text, s.database->name());
  if (IsTempName(name)) return s.FindTempTable(name);
  return s.database->FindTable(name);
}

// The columns of a table, without reading a stored table's rows; nothing when there is none.
std::optional<std::vector<ColumnDef>> ColumnsNamed(SessionState& s, std::string_view text) {
  std::string name = ObjectNamePart(text, s.database->name());
  if (IsTempName(name)) {
    auto table = s.FindTempTable(name);
    if (!table) return std::nullopt;
    return table->columns;
  }
  auto description = s.database->DescribeTable(name);
  if (!description) return std::nullopt;
  return std::move(description->columns);
}

}  // namespace

Value EvalCatalogFunction(const BExpr& e, const EvalCtx& ctx) {
  SessionState& s = *ctx.env->session;
  std::vector<Value> a;
  for (const auto& arg : e.args) a.push_back(Eval(*arg, ctx));
  auto text = [&](size_t i) { return ToText(a[i], e.args[i]->type); };
  auto number = [&](size_t i) {
    return Convert(a[i], e.args[i]->type, SqlType::BigInt(), CastMode::Implicit).int_value();
  };
  for (const Value& v : a) {
    if (v.is_null()) return Value();
  }
  const std::string& f = e.name;
  if (f == "DB_NAME") {
    if (!a.empty() && number(0) != 5) {
      static constexpr const char* kSystem[] = {"master", "tempdb", "model", "msdb"};
      int64_t id = number(0);
      return id >= 1 && id <= 4 ? Value::String(kSystem[id - 1]) : Value();
    }
    return Value::String(s.database->name());
  }
  if (f == "DB_ID") {
    if (a.empty()) return Value::Int(5);
    std::string name = FoldName(text(0));
    static constexpr const char* kSystem[] = {"MASTER", "TEMPDB", "MODEL", "MSDB"};
    for (int i = 0; i < 4; ++i) {
      if (name == kSystem[i]) return Value::Int(i + 1);
    }
    return name == FoldName(s.database->name()) ? Value::Int(5) : Value();
  }
  if (f == "SCHEMA_NAME") {
    int64_t id = a.empty() ? 1 : number(0);
    static constexpr const char* kSchemas[] = {"dbo", "guest", "INFORMATION_SCHEMA", "sys"};
    return id >= 1 && id <= 4 ? Value::String(kSchemas[id - 1]) : Value();
  }
  if (f == "SCHEMA_ID") {
    if (a.empty()) return Value::Int(1);
    std::string name = FoldName(text(0));
    if (name == "DBO") return Value::Int(1);
    if (name == "GUEST") return Value::Int(2);
    if (name == "INFORMATION_SCHEMA") return Value::Int(3);
    if (name == "SYS") return Value::Int(4);
    return Value();
  }
  if (f == "SCOPE_IDENTITY") {
    if (!a.empty()) ThrowError(174, {"scope_identity", "0"});
    return s.scope_identity ? Value::Decimal(*s.scope_identity, 0) : Value();
  }
  if (f == "OBJECT_NAME") {
    if (a.empty()) ThrowError(174, {"object_name", "1"});
    const auto id = static_cast<int32_t>(number(0));
    // OBJECT_NAME(id, DB_ID('tempdb')) names the session's #tables as tempdb lists them.
    constexpr int64_t kTempdbId = 2, kDataSourceId = 5;
    const int64_t database = a.size() > 1 ? number(1) : kDataSourceId;
    if (database == kTempdbId) {
      for (const auto& [key, table] : s.temp_tables) {
        if (table->object_id == id) return Value::String(table->tempdb_name);
      }
      return Value();
    }
    if (database != kDataSourceId) return Value();
    auto name = ObjectNameOf(*s.database, id);
    return name ? Value::String(*name) : Value();
  }
  if (f == "OBJECT_SCHEMA_NAME") {
    // Every object of the data source is in dbo (other databases' objects are not seen).
    if (a.empty() || a.size() > 2) ThrowError(174, {"object_schema_name", "1"});
    if (a.size() > 1 && number(1) != 5) return Value();
    return ObjectNameOf(*s.database, static_cast<int32_t>(number(0))) ? Value::String("dbo") : Value();
  }
  if (f == "OBJECT_DEFINITION") {
    // A procedure's text as written, a view's as stored ("CREATE VIEW v AS", a line break,
    // its query as written); NULL for tables and unknown ids.
    if (a.size() != 1) ThrowError(174, {"object_definition", "1"});
    auto name = ObjectNameOf(*s.database, static_cast<int32_t>(number(0)));
    if (!name) return Value();
    if (auto view = s.database->FindView(*name)) return Value::String(ViewDefinition(*view));
    if (auto procedure = s.database->FindProcedure(*name)) return Value::String(procedure->text);
    return Value();
  }
  if (f == "COL_LENGTH") {
    if (a.size() != 2) ThrowError(174, {"col_length", "2"});
    auto columns = ColumnsNamed(s, text(0));
    const int c = columns ? FindColumnIn(*columns, text(1)) : -1;
    if (c < 0) return Value();
    return Value::Int(MaxLength((*columns)[static_cast<size_t>(c)].type));
  }
  if (f == "COL_NAME") {
    if (a.size() != 2) ThrowError(174, {"col_name", "2"});
    auto name = ObjectNameOf(*s.database, static_cast<int32_t>(number(0)));
    auto table = name ? s.database->DescribeTable(*name) : std::nullopt;
    const int64_t column = number(1);
    if (!table || column < 1 || column > static_cast<int64_t>(table->columns.size())) return Value();
    return Value::String(table->columns[static_cast<size_t>(column - 1)].name);
  }
  if (f == "TYPE_NAME") {
    if (a.empty()) ThrowError(174, {"type_name", "1"});
    int64_t id = number(0);
    for (TypeId t : {TypeId::Bit, TypeId::TinyInt, TypeId::SmallInt, TypeId::Int,
                     TypeId::BigInt, TypeId::Decimal, TypeId::Money, TypeId::Float,
                     TypeId::Real, TypeId::DateTime, TypeId::SmallDateTime, TypeId::Date,
                     TypeId::Time, TypeId::DateTime2, TypeId::DateTimeOffset, TypeId::Char,
                     TypeId::VarChar, TypeId::NChar, TypeId::NVarChar, TypeId::Text,
                     TypeId::NText, TypeId::Binary, TypeId::VarBinary,
                     TypeId::UniqueIdentifier, TypeId::SqlVariant}) {
      SqlType type{t};
      if (SystemTypeId(type) == id) return Value::String(type.MessageName());
    }
    if (id == 108) return Value::String("numeric");
    if (id == 256) return Value::String("sysname");
    return Value();
  }
  if (f == "COLUMNPROPERTY") {
    if (a.size() != 3) ThrowError(174, {"columnproperty", "3"});
    auto name = ObjectNameOf(*s.database, static_cast<int32_t>(number(0)));
    auto table = name ? s.database->DescribeTable(*name) : std::nullopt;
    if (!table) return Value();
    const int c = FindColumnIn(table->columns, text(1));
    if (c < 0) return Value();
    const ColumnDef& col = table->columns[static_cast<size_t>(c)];
    std::string p = FoldName(text(2));
    if (p == "ALLOWSNULL") return Value::Int(col.nullable ? 1 : 0);
    if (p == "ISIDENTITY") return Value::Int(col.identity ? 1 : 0);
    if (p == "PRECISION") return Value::Int(col.type.id == TypeId::Decimal ? col.type.precision : col.type.length);
    if (p == "SCALE") return Value::Int(col.type.scale);
    if (p == "ISCOMPUTED") return Value::Int(col.computed ? 1 : 0);
    if (p == "COLUMNID") return Value::Int(c + 1);
    return Value();
  }
  if (f == "IDENT_SEED" || f == "IDENT_INCR") {
    if (a.size() != 1) ThrowError(174, {f, "1"});
    auto columns = ColumnsNamed(s, text(0));
    if (!columns) return Value();
    for (const ColumnDef& col : *columns) {
      if (col.identity) return Value::Decimal(f == "IDENT_SEED" ? col.identity_seed : col.identity_increment, 0);
    }
    return Value();
  }
  if (f == "IDENT_CURRENT") {
    if (a.size() != 1) ThrowError(174, {f, "1"});
    auto table = TableNamed(s, text(0));  // the value handed out last lives with the rows
    if (!table) return Value();
    for (const ColumnDef& col : table->columns) {
      if (!col.identity) continue;
      // The last value handed out; the seed while none was.
      return Value::Decimal(table->next_identity ? *table->next_identity - col.identity_increment
                                                 : col.identity_seed,
                            0);
    }
    return Value();
  }
  if (f == "OBJECTPROPERTY") {
    if (a.size() != 2) ThrowError(174, {"objectproperty", "2"});
    auto name = ObjectNameOf(*s.database, static_cast<int32_t>(number(0)));
    if (!name) return Value();
    const auto table = s.database->DescribeTable(*name);
    const bool is_view = !table && s.database->FindView(*name) != nullptr;
    const std::string p = FoldName(text(1));
    if (p == "ISUSERTABLE" || p == "ISTABLE") return Value::Int(table ? 1 : 0);
    if (p == "ISVIEW") return Value::Int(is_view ? 1 : 0);
    if (p == "ISPROCEDURE") return Value::Int(!table && !is_view ? 1 : 0);
    if (p == "ISMSSHIPPED") return Value::Int(0);
    // What a table has (NULL for other objects, as in SQL Server).
    if (!p.starts_with("TABLEHAS")) return Value();
    if (!table) return Value();
    auto any_key = [&](auto test) { return std::any_of(table->keys.begin(), table->keys.end(), test) ? 1 : 0; };
    if (p == "TABLEHASPRIMARYKEY" || p == "TABLEHASCLUSTINDEX") {
      return Value::Int(any_key([](const TableKey& k) { return k.primary; }));
    }
    if (p == "TABLEHASINDEX") return Value::Int(table->keys.empty() ? 0 : 1);
    if (p == "TABLEHASNONCLUSTINDEX") return Value::Int(any_key([](const TableKey& k) { return !k.primary; }));
    if (p == "TABLEHASUNIQUECNST") return Value::Int(any_key([](const TableKey& k) { return !k.primary && !k.index; }));
    if (p == "TABLEHASCHECKCNST") return Value::Int(table->checks.empty() ? 0 : 1);
    if (p == "TABLEHASDEFAULTCNST" || p == "TABLEHASIDENTITY") {
      const bool identity = p == "TABLEHASIDENTITY";
      return Value::Int(std::any_of(table->columns.begin(), table->columns.end(), [&](const ColumnDef& c) {
                          return identity ? c.identity : c.default_expr != nullptr;
                        })
                            ? 1
                            : 0);
    }
    if (p == "TABLEHASFOREIGNKEY" || p == "TABLEHASFOREIGNREF") return Value::Int(0);
    return Value();
  }
  return Value();
}

}  // namespace orv::tsql
