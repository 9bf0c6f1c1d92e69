// Rows of the catalog views, computed from the Database's tables and views.
#include "tsql/catalog/system_views.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

// A view under construction: its columns, then rows of values in column order.
struct Builder {
  std::shared_ptr<Table> table = std::make_shared<Table>();
  std::vector<Row> rows;

  Builder& Col(const char* name, SqlType type, bool nullable = false) {
    ColumnDef c;
    c.name = name;
    c.type = type;
    c.nullable = nullable;
    table->columns.push_back(std::move(c));
    return *this;
  }
  void Add(Row row) { rows.push_back(std::move(row)); }
  std::shared_ptr<Table> Done(std::string name) {
    table->name = std::move(name);
    table->temporary = true;  // never saved
    table->mutable_rows() = std::move(rows);
    return table;
  }
};

SqlType Sysname() { return SqlType::NVarChar(128); }
Value Str(std::string_view s) { return Value::String(s); }
Value Int(int64_t v) { return Value::Int(v); }

constexpr int kDbo = 1;

// The permanent tables (described, not loaded) and views, by name.
struct Objects {
  std::vector<Database::TableDescription> tables;
  std::vector<std::shared_ptr<View>> views;
};

// Which database a catalog view describes: the data source's, or tempdb, where a session
// finds its own #tables and table variables under the names tempdb gives them.
struct Scope {
  SessionState& session;
  bool tempdb = false;
  std::string CatalogName() const { return tempdb ? "tempdb" : session.database->name(); }
};

Objects DataSourceObjects(Database& db) {
  Objects o;
  for (const std::string& name : db.TableNames()) {
    if (auto t = db.DescribeTable(name)) o.tables.push_back(std::move(*t));
  }
  db.ForEachView([&](const std::shared_ptr<View>& v) { o.views.push_back(v); });
  return o;
}

Objects AllObjects(const Scope& scope) {
  if (!scope.tempdb) return DataSourceObjects(*scope.session.database);
  Objects o;
  for (const auto& [key, t] : scope.session.temp_tables) {
    o.tables.push_back({t->tempdb_name, t->object_id, t->columns, t->keys, t->checks});
  }
  std::sort(o.tables.begin(), o.tables.end(),
            [](const auto& a, const auto& b) { return a.object_id < b.object_id; });
  return o;
}

// The stored procedures the catalog views list: tempdb has none of the data source's.
void ForEachProcedure(const Scope& scope,
                      const std::function<void(const std::shared_ptr<Procedure>&)>& fn) {
  if (!scope.tempdb) scope.session.database->ForEachProcedure(fn);
}

// The tables and then the views whose columns the column views list (views only when their
// columns can be had).
std::vector<Database::TableDescription> ColumnOwners(const Scope& scope,
                                                     const ViewColumns& view_columns) {
  Objects o = AllObjects(scope);
  std::vector<Database::TableDescription> owners = std::move(o.tables);
  if (!view_columns) return owners;
  for (const auto& v : o.views) {
    Database::TableDescription d{v->name, v->object_id, {}, {}, {}};
    for (const ResultColumn& c : view_columns(*v)) {
      ColumnDef column;
      column.name = c.name;
      column.type = c.type;
      column.nullable = c.nullable;
      d.columns.push_back(std::move(column));
    }
    owners.push_back(std::move(d));
  }
  return owners;
}

// A procedure's parameters with their types and places (from 1); one whose type does not
// resolve is left out (a definition read from a file this engine did not write).
struct Parameter {
  std::string name;  // with its '@'
  SqlType type;
  bool output = false;
  int position = 0;
};
std::vector<Parameter> ParametersOf(const Procedure& p) {
  std::vector<Parameter> out;
  if (!p.definition) return out;
  int position = 0;
  for (const ast::ProcParam& param : p.definition->params) {
    ++position;
    try {
      out.push_back({"@" + param.name, TypeFromName(param.type, false), param.output, position});
    } catch (const SqlException&) {
    }
  }
  return out;
}

// Precision and scale as the catalog views show them (0 where a type has none).
int PrecisionOf(const SqlType& t) {
  if (t.id == TypeId::Decimal) return t.precision;
  if (t.id == TypeId::Float) return 53;
  if (t.id == TypeId::Real) return 24;
  return t.IsNumeric() ? util::ShapeOf(t).precision : 0;
}
int ScaleOf(const SqlType& t) {
  if (t.id == TypeId::Decimal || t.IsPreciseTime()) return t.scale;
  return t.id == TypeId::Money ? 4 : 0;
}

std::string DataTypeName(const SqlType& t) {
  return std::string(t.id == TypeId::Decimal ? "decimal" : t.MessageName());
}

Value NullableInt(bool has, int64_t v) { return has ? Int(v) : Value(); }

// What INFORMATION_SCHEMA shows of a type: lengths of text and binary types, precision, radix
// and scale of numbers (not bit), the fractional digits of dates and times; NULL where none.
struct TypeFacets {
  Value chars, octets, precision, radix, scale, datetime_precision;
};
TypeFacets FacetsOf(const SqlType& ty) {
  const bool text = ty.IsString() || ty.IsBinary();
  const bool numeric = ty.IsNumeric() && ty.id != TypeId::Bit;
  const bool floating = ty.id == TypeId::Float || ty.id == TypeId::Real;
  const int64_t chars = ty.length == SqlType::kMaxLength ? -1 : ty.length;
  const int64_t octets = ty.length == SqlType::kMaxLength ? -1 : (ty.IsUnicode() ? 2 * chars : chars);
  return {NullableInt(text, chars),
          NullableInt(text, octets),
          NullableInt(numeric, PrecisionOf(ty)),
          NullableInt(numeric, floating ? 2 : 10),
          NullableInt(numeric && !floating, ScaleOf(ty)),
          NullableInt(ty.IsDateTime(), ty.IsPreciseTime() ? ty.scale : ty.id == TypeId::DateTime ? 3 : 0)};
}

std::shared_ptr<Table> InformationSchema(const Scope& scope, const std::string& view,
                                         const ViewColumns& view_columns) {
  const std::string catalog = scope.CatalogName();
  Builder b;
  if (view == "TABLES") {
    b.Col("TABLE_CATALOG", Sysname(), true).Col("TABLE_SCHEMA", Sysname(), true);
    b.Col("TABLE_NAME", Sysname()).Col("TABLE_TYPE", SqlType::VarChar(10), true);
    Objects o = AllObjects(scope);
    for (auto& t : o.tables) b.Add({Str(catalog), Str("dbo"), Str(t.name), Str("BASE TABLE")});
    for (auto& v : o.views) b.Add({Str(catalog), Str("dbo"), Str(v->name), Str("VIEW")});
    return b.Done("TABLES");
  }
  if (view == "COLUMNS") {
    b.Col("TABLE_CATALOG", Sysname(), true).Col("TABLE_SCHEMA", Sysname(), true);
    b.Col("TABLE_NAME", Sysname()).Col("COLUMN_NAME", Sysname(), true);
    b.Col("ORDINAL_POSITION", SqlType::Int(), true).Col("COLUMN_DEFAULT", SqlType::NVarChar(4000), true);
    b.Col("IS_NULLABLE", SqlType::VarChar(3), true).Col("DATA_TYPE", Sysname(), true);
    b.Col("CHARACTER_MAXIMUM_LENGTH", SqlType::Int(), true);
    b.Col("CHARACTER_OCTET_LENGTH", SqlType::Int(), true);
    b.Col("NUMERIC_PRECISION", SqlType::TinyInt(), true);
    b.Col("NUMERIC_PRECISION_RADIX", SqlType::SmallInt(), true);
    b.Col("NUMERIC_SCALE", SqlType::Int(), true).Col("DATETIME_PRECISION", SqlType::SmallInt(), true);
    b.Col("CHARACTER_SET_NAME", Sysname(), true).Col("COLLATION_NAME", Sysname(), true);
    for (auto& t : ColumnOwners(scope, view_columns)) {
      int ordinal = 0;
      for (const ColumnDef& c : t.columns) {
        const SqlType& ty = c.type;
        const TypeFacets f = FacetsOf(ty);
        b.Add({Str(catalog), Str("dbo"), Str(t.name), Str(c.name), Int(++ordinal),
               c.default_sql.empty() ? Value() : Str("(" + c.default_sql + ")"),
               Str(c.nullable ? "YES" : "NO"), Str(DataTypeName(ty)), f.chars, f.octets, f.precision,
               f.radix, f.scale, f.datetime_precision,
               ty.IsString() ? Str(ty.IsUnicode() ? "UNICODE" : "cp936") : Value(),
               ty.IsString() ? Str(CollationName(ty.collation)) : Value()});
      }
    }
    return b.Done("COLUMNS");
  }
  if (view == "VIEWS") {
    b.Col("TABLE_CATALOG", Sysname(), true).Col("TABLE_SCHEMA", Sysname(), true);
    b.Col("TABLE_NAME", Sysname()).Col("VIEW_DEFINITION", SqlType::NVarChar(4000), true);
    b.Col("CHECK_OPTION", SqlType::VarChar(7), true).Col("IS_UPDATABLE", SqlType::VarChar(2), true);
    for (auto& v : AllObjects(scope).views) {
      b.Add({Str(catalog), Str("dbo"), Str(v->name), Str(v->query_text), Str("NONE"), Str("NO")});
    }
    return b.Done("VIEWS");
  }
  if (view == "PARAMETERS") {
    for (const char* c : {"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME"}) b.Col(c, Sysname(), true);
    b.Col("ORDINAL_POSITION", SqlType::Int()).Col("PARAMETER_MODE", SqlType::NVarChar(10), true);
    b.Col("IS_RESULT", SqlType::NVarChar(10), true).Col("AS_LOCATOR", SqlType::NVarChar(10), true);
    b.Col("PARAMETER_NAME", Sysname(), true).Col("DATA_TYPE", Sysname(), true);
    b.Col("CHARACTER_MAXIMUM_LENGTH", SqlType::Int(), true);
    b.Col("CHARACTER_OCTET_LENGTH", SqlType::Int(), true);
    b.Col("COLLATION_NAME", Sysname(), true).Col("NUMERIC_PRECISION", SqlType::TinyInt(), true);
    b.Col("NUMERIC_PRECISION_RADIX", SqlType::SmallInt(), true);
    b.Col("NUMERIC_SCALE", SqlType::Int(), true).Col("DATETIME_PRECISION", SqlType::SmallInt(), true);
    ForEachProcedure(scope, [&](const std::shared_ptr<Procedure>& p) {
      for (const Parameter& param : ParametersOf(*p)) {
        const SqlType& ty = param.type;
        const TypeFacets f = FacetsOf(ty);
        b.Add({Str(catalog), Str("dbo"), Str(p->name), Int(param.position), Str(param.output ? "INOUT" : "IN"),
               Str("NO"), Str("NO"), Str(param.name), Str(DataTypeName(ty)), f.chars, f.octets,
               ty.IsString() ? Str(CollationName(ty.collation)) : Value(), f.precision, f.radix, f.scale,
               f.datetime_precision});
      }
    });
    return b.Done("PARAMETERS");
  }
  if (view == "TABLE_CONSTRAINTS" || view == "KEY_COLUMN_USAGE") {
    for (const char* c : {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
                          "TABLE_SCHEMA", "TABLE_NAME"}) {
      b.Col(c, Sysname(), true);
    }
    const bool usage = view == "KEY_COLUMN_USAGE";
    if (usage) {
      b.Col("COLUMN_NAME", Sysname(), true).Col("ORDINAL_POSITION", SqlType::Int());
    } else {
      b.Col("CONSTRAINT_TYPE", SqlType::VarChar(11), true).Col("IS_DEFERRABLE", SqlType::VarChar(2));
      b.Col("INITIALLY_DEFERRED", SqlType::VarChar(2));
    }
    for (auto& t : AllObjects(scope).tables) {
      for (size_t i = 0; !usage && i < t.checks.size(); ++i) {
        b.Add({Str(catalog), Str("dbo"), Str(t.checks[i].name), Str(catalog), Str("dbo"), Str(t.name),
               Str("CHECK"), Str("NO"), Str("NO")});
      }
      for (const TableKey& k : t.keys) {
        if (k.index) continue;
        if (!usage) {
          b.Add({Str(catalog), Str("dbo"), Str(k.name), Str(catalog), Str("dbo"), Str(t.name),
                 Str(k.primary ? "PRIMARY KEY" : "UNIQUE"), Str("NO"), Str("NO")});
          continue;
        }
        for (size_t i = 0; i < k.columns.size(); ++i) {
          b.Add({Str(catalog), Str("dbo"), Str(k.name), Str(catalog), Str("dbo"), Str(t.name),
                 Str(t.columns[static_cast<size_t>(k.columns[i])].name), Int(static_cast<int64_t>(i + 1))});
        }
      }
    }
    return b.Done(usage ? "KEY_COLUMN_USAGE" : "TABLE_CONSTRAINTS");
  }
  if (view == "CHECK_CONSTRAINTS") {
    for (const char* c : {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME"}) b.Col(c, Sysname(), true);
    b.Col("CHECK_CLAUSE", SqlType::NVarChar(4000), true);
    for (auto& t : AllObjects(scope).tables) {
      for (const TableCheck& c : t.checks) {
        b.Add({Str(catalog), Str("dbo"), Str(c.name), Str("(" + c.text + ")")});
      }
    }
    return b.Done("CHECK_CONSTRAINTS");
  }
  if (view == "ROUTINES") {
    for (const char* c : {"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "ROUTINE_CATALOG",
                          "ROUTINE_SCHEMA", "ROUTINE_NAME"}) {
      b.Col(c, Sysname(), true);
    }
    b.Col("ROUTINE_TYPE", SqlType::NVarChar(20), true).Col("DATA_TYPE", Sysname(), true);
    b.Col("ROUTINE_DEFINITION", SqlType::NVarChar(4000), true);
    b.Col("CREATED", SqlType::DateTime()).Col("LAST_ALTERED", SqlType::DateTime());
    const Value now = Value::DateTime(scope.session.Now());
    ForEachProcedure(scope, [&](const std::shared_ptr<Procedure>& p) {
      b.Add({Str(catalog), Str("dbo"), Str(p->name), Str(catalog), Str("dbo"), Str(p->name),
             Str("PROCEDURE"), Value(), Str(p->text.substr(0, 4000)), now, now});
    });
    return b.Done("ROUTINES");
  }
  return nullptr;
}

// The columns sys.objects, sys.tables, sys.views and sys.procedures share.
void ObjectColumns(Builder& b) {
  b.Col("name", Sysname()).Col("object_id", SqlType::Int()).Col("principal_id", SqlType::Int(), true);
  b.Col("schema_id", SqlType::Int()).Col("parent_object_id", SqlType::Int());
  b.Col("type", SqlType::Char(2), true).Col("type_desc", SqlType::NVarChar(60), true);
  b.Col("create_date", SqlType::DateTime()).Col("modify_date", SqlType::DateTime());
  b.Col("is_ms_shipped", SqlType::Bit()).Col("is_published", SqlType::Bit());
  b.Col("is_schema_published", SqlType::Bit());
}

Row ObjectRow(const std::string& name, int32_t id, const char* type, const char* desc,
              int64_t now, int32_t parent = 0) {
  return {Str(name), Int(id), Value(), Int(kDbo), Int(parent), Str(type), Str(desc),
          Value::DateTime(now), Value::DateTime(now), Int(0), Int(0), Int(0)};
}

// A key as an object of the table's: PRIMARY KEY or UNIQUE constraint.
Row KeyObjectRow(const Database::TableDescription& t, const TableKey& k, int64_t now) {
  return ObjectRow(k.name, k.object_id, k.primary ? "PK" : "UQ",
                   k.primary ? "PRIMARY_KEY_CONSTRAINT" : "UNIQUE_CONSTRAINT", now, t.object_id);
}

Row CheckObjectRow(const Database::TableDescription& t, const TableCheck& c, int64_t now) {
  return ObjectRow(c.name, c.object_id, "C ", "CHECK_CONSTRAINT", now, t.object_id);
}

Row DefaultObjectRow(const Database::TableDescription& t, const ColumnDef& c, int64_t now) {
  return ObjectRow(c.default_name, c.default_object_id, "D ", "DEFAULT_CONSTRAINT", now, t.object_id);
}

// Whether a constraint's name is one CREATE or ALTER TABLE made up: the prefix ("PK__", "UQ__",
// "CK__"), the table's (and column's) name, "__" and `digits` hex digits.
bool MadeUpName(std::string_view name, std::string_view prefix, size_t digits) {
  return name.size() > prefix.size() + digits + 2 && name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - digits - 2, 2) == "__";
}

// The index that stands for each key of a table: the primary key's is clustered (index 1, in
// place of the heap), the others follow from 2.
std::vector<int> KeyIndexIds(const Database::TableDescription& t) {
  std::vector<int> ids;
  int next = 2;
  for (const TableKey& k : t.keys) ids.push_back(k.primary ? 1 : next++);
  return ids;
}

// Every system type: name, the SqlType it stands for.
struct TypeEntry {
  const char* name;
  SqlType type;
};
std::vector<TypeEntry> SystemTypes() {
  return {{"image", SqlType::VarBinary(SqlType::kMaxLength)},
          {"text", {TypeId::Text, 0, 0, SqlType::kMaxLength}},
          {"uniqueidentifier", SqlType::UniqueIdentifier()},
          {"date", SqlType::Date()},
          {"time", SqlType::Time(7)},
          {"datetime2", SqlType::DateTime2(7)},
          {"datetimeoffset", SqlType::DateTimeOffset(7)},
          {"tinyint", SqlType::TinyInt()},
          {"smallint", SqlType::SmallInt()},
          {"int", SqlType::Int()},
          {"smalldatetime", SqlType::SmallDateTime()},
          {"real", SqlType::Real()},
          {"money", SqlType::Money()},
          {"datetime", SqlType::DateTime()},
          {"float", SqlType::Float()},
          {"sql_variant", SqlType::SqlVariant()},
          {"ntext", {TypeId::NText, 0, 0, SqlType::kMaxLength}},
          {"bit", SqlType::Bit()},
          {"decimal", SqlType::Decimal(38, 38)},
          {"numeric", SqlType::Decimal(38, 38)},
          {"bigint", SqlType::BigInt()},
          {"varbinary", SqlType::VarBinary(8000)},
          {"varchar", SqlType::VarChar(8000)},
          {"binary", SqlType::Binary(8000)},
          {"char", SqlType::Char(8000)},
          {"nvarchar", SqlType::NVarChar(4000)},
          {"nchar", SqlType::NChar(4000)},
          {"sysname", SqlType::NVarChar(128)}};
}

std::shared_ptr<Table> Sys(const Scope& scope, const std::string& view,
                           const ViewColumns& view_columns) {
  Database& db = *scope.session.database;
  const int64_t now = scope.session.Now();
  Builder b;
  if (view == "OBJECTS" || view == "TABLES" || view == "VIEWS" || view == "PROCEDURES" ||
      view == "ALL_OBJECTS") {
    ObjectColumns(b);
    if (view == "PROCEDURES" || view == "OBJECTS" || view == "ALL_OBJECTS") {
      ForEachProcedure(scope, [&](const std::shared_ptr<Procedure>& p) {
        b.Add(ObjectRow(p->name, p->object_id, "P ", "SQL_STORED_PROCEDURE", now));
      });
    }
    if (view == "PROCEDURES") return b.Done("procedures");
    Objects o = AllObjects(scope);
    if (view != "VIEWS") {
      for (auto& t : o.tables) b.Add(ObjectRow(t.name, t.object_id, "U ", "USER_TABLE", now));
    }
    if (view == "OBJECTS" || view == "ALL_OBJECTS") {
      for (auto& t : o.tables) {
        for (const TableKey& k : t.keys) {
          if (!k.index) b.Add(KeyObjectRow(t, k, now));
        }
        for (const TableCheck& c : t.checks) b.Add(CheckObjectRow(t, c, now));
        for (const ColumnDef& c : t.columns) {
          if (c.default_expr) b.Add(DefaultObjectRow(t, c, now));
        }
      }
    }
    if (view != "TABLES") {
      for (auto& v : o.views) b.Add(ObjectRow(v->name, v->object_id, "V ", "VIEW", now));
    }
    return b.Done(FoldName(view) == "TABLES" ? "tables" : "objects");
  }
  if (view == "COLUMNS" || view == "ALL_COLUMNS") {
    b.Col("object_id", SqlType::Int()).Col("name", Sysname(), true).Col("column_id", SqlType::Int());
    b.Col("system_type_id", SqlType::TinyInt()).Col("user_type_id", SqlType::Int());
    b.Col("max_length", SqlType::SmallInt()).Col("precision", SqlType::TinyInt());
    b.Col("scale", SqlType::TinyInt()).Col("collation_name", Sysname(), true);
    b.Col("is_nullable", SqlType::Bit(), true).Col("is_identity", SqlType::Bit());
    b.Col("is_computed", SqlType::Bit()).Col("default_object_id", SqlType::Int());
    for (auto& t : ColumnOwners(scope, view_columns)) {
      int id = 0;
      for (const ColumnDef& c : t.columns) {
        int type_id = SystemTypeId(c.type);
        b.Add({Int(t.object_id), Str(c.name), Int(++id), Int(type_id), Int(type_id),
               Int(MaxLength(c.type)), Int(PrecisionOf(c.type)), Int(ScaleOf(c.type)),
               c.type.IsString() ? Str(CollationName(c.type.collation)) : Value(),
               Int(c.nullable ? 1 : 0), Int(c.identity ? 1 : 0), Int(c.computed ? 1 : 0),
               Int(c.default_expr ? c.default_object_id : 0)});
      }
    }
    return b.Done("columns");
  }
  if (view == "PARAMETERS" || view == "ALL_PARAMETERS") {
    b.Col("object_id", SqlType::Int()).Col("name", Sysname(), true).Col("parameter_id", SqlType::Int());
    b.Col("system_type_id", SqlType::TinyInt()).Col("user_type_id", SqlType::Int());
    b.Col("max_length", SqlType::SmallInt()).Col("precision", SqlType::TinyInt());
    b.Col("scale", SqlType::TinyInt()).Col("is_output", SqlType::Bit());
    b.Col("is_cursor_ref", SqlType::Bit()).Col("has_default_value", SqlType::Bit());
    b.Col("is_xml_document", SqlType::Bit()).Col("default_value", SqlType::SqlVariant(), true);
    b.Col("xml_collection_id", SqlType::Int()).Col("is_readonly", SqlType::Bit());
    b.Col("is_nullable", SqlType::Bit(), true);
    // As in SQL Server, a T-SQL procedure's defaults are not kept here (has_default_value 0).
    ForEachProcedure(scope, [&](const std::shared_ptr<Procedure>& p) {
      for (const Parameter& param : ParametersOf(*p)) {
        const int type_id = SystemTypeId(param.type);
        b.Add({Int(p->object_id), Str(param.name), Int(param.position), Int(type_id), Int(type_id),
               Int(MaxLength(param.type)), Int(PrecisionOf(param.type)), Int(ScaleOf(param.type)),
               Int(param.output ? 1 : 0), Int(0), Int(0), Int(0), Value(), Int(0), Int(0), Int(1)});
      }
    });
    return b.Done("parameters");
  }
  if (view == "TYPES") {
    b.Col("name", Sysname()).Col("system_type_id", SqlType::TinyInt());
    b.Col("user_type_id", SqlType::Int()).Col("schema_id", SqlType::Int());
    b.Col("principal_id", SqlType::Int(), true).Col("max_length", SqlType::SmallInt());
    b.Col("precision", SqlType::TinyInt()).Col("scale", SqlType::TinyInt());
    b.Col("collation_name", Sysname(), true).Col("is_nullable", SqlType::Bit(), true);
    b.Col("is_user_defined", SqlType::Bit()).Col("is_assembly_type", SqlType::Bit());
    for (const TypeEntry& e : SystemTypes()) {
      int id = SystemTypeId(e.type);
      int user_id = std::string_view(e.name) == "sysname" ? 256
                    : std::string_view(e.name) == "numeric" ? 108
                                                             : id;
      int system_id = std::string_view(e.name) == "numeric" ? 108 : id;
      b.Add({Str(e.name), Int(system_id), Int(user_id), Int(4), Value(),
             Int(MaxLength(e.type)), Int(PrecisionOf(e.type)),
             Int(e.type.IsPreciseTime() ? 7 : 0),
             e.type.IsString() ? Str("Chinese_PRC_CI_AS") : Value(),
             Int(std::string_view(e.name) == "sysname" ? 0 : 1), Int(0), Int(0)});
    }
    return b.Done("types");
  }
  if (view == "SCHEMAS") {
    b.Col("name", Sysname()).Col("schema_id", SqlType::Int()).Col("principal_id", SqlType::Int(), true);
    b.Add({Str("dbo"), Int(1), Int(1)});
    b.Add({Str("guest"), Int(2), Int(2)});
    b.Add({Str("INFORMATION_SCHEMA"), Int(3), Int(3)});
    b.Add({Str("sys"), Int(4), Int(4)});
    return b.Done("schemas");
  }
  if (view == "INDEXES") {
    // A table is a heap unless it has a primary key; each key has its index (CREATE INDEX keeps
    // none).
    b.Col("object_id", SqlType::Int()).Col("name", Sysname(), true).Col("index_id", SqlType::Int());
    b.Col("type", SqlType::TinyInt()).Col("type_desc", SqlType::NVarChar(60), true);
    b.Col("is_unique", SqlType::Bit(), true).Col("data_space_id", SqlType::Int(), true);
    b.Col("ignore_dup_key", SqlType::Bit(), true).Col("is_primary_key", SqlType::Bit(), true);
    b.Col("is_unique_constraint", SqlType::Bit(), true).Col("fill_factor", SqlType::TinyInt());
    b.Col("is_padded", SqlType::Bit(), true).Col("is_disabled", SqlType::Bit(), true);
    b.Col("is_hypothetical", SqlType::Bit(), true).Col("allow_row_locks", SqlType::Bit(), true);
    b.Col("allow_page_locks", SqlType::Bit(), true).Col("has_filter", SqlType::Bit(), true);
    b.Col("filter_definition", SqlType::NVarChar(SqlType::kMaxLength), true);
    for (auto& t : AllObjects(scope).tables) {
      const bool heap = std::none_of(t.keys.begin(), t.keys.end(), [](const TableKey& k) { return k.primary; });
      if (heap) {
        b.Add({Int(t.object_id), Value(), Int(0), Int(0), Str("HEAP"), Int(0), Int(1), Int(0), Int(0), Int(0),
               Int(0), Int(0), Int(0), Int(0), Int(1), Int(1), Int(0), Value()});
      }
      const std::vector<int> ids = KeyIndexIds(t);
      for (size_t i = 0; i < t.keys.size(); ++i) {
        const TableKey& k = t.keys[i];
        b.Add({Int(t.object_id), Str(k.name), Int(ids[i]), Int(k.primary ? 1 : 2),
               Str(k.primary ? "CLUSTERED" : "NONCLUSTERED"), Int(k.unique ? 1 : 0), Int(1), Int(0),
               Int(k.primary ? 1 : 0), Int(k.primary || k.index ? 0 : 1), Int(0), Int(0), Int(0), Int(0), Int(1),
               Int(1), Int(k.filter ? 1 : 0), k.filter ? Str("(" + k.filter_sql + ")") : Value()});
      }
    }
    return b.Done("indexes");
  }
  if (view == "INDEX_COLUMNS") {
    b.Col("object_id", SqlType::Int()).Col("index_id", SqlType::Int()).Col("index_column_id", SqlType::Int());
    b.Col("column_id", SqlType::Int()).Col("key_ordinal", SqlType::TinyInt());
    b.Col("partition_ordinal", SqlType::TinyInt()).Col("is_descending_key", SqlType::Bit(), true);
    b.Col("is_included_column", SqlType::Bit(), true);
    for (auto& t : AllObjects(scope).tables) {
      const std::vector<int> ids = KeyIndexIds(t);
      for (size_t i = 0; i < t.keys.size(); ++i) {
        const std::vector<int>& columns = t.keys[i].columns;
        for (size_t c = 0; c < columns.size(); ++c) {
          b.Add({Int(t.object_id), Int(ids[i]), Int(static_cast<int64_t>(c + 1)), Int(columns[c] + 1),
                 Int(static_cast<int64_t>(c + 1)), Int(0), Int(0), Int(0)});
        }
      }
    }
    return b.Done("index_columns");
  }
  if (view == "KEY_CONSTRAINTS") {
    ObjectColumns(b);
    b.Col("unique_index_id", SqlType::Int(), true).Col("is_system_named", SqlType::Bit());
    for (auto& t : AllObjects(scope).tables) {
      const std::vector<int> ids = KeyIndexIds(t);
      for (size_t i = 0; i < t.keys.size(); ++i) {
        const TableKey& k = t.keys[i];
        if (k.index) continue;
        Row row = KeyObjectRow(t, k, now);
        const bool made = MadeUpName(k.name, k.primary ? "PK__" : "UQ__", 16);
        row.push_back(Int(ids[i]));
        row.push_back(Int(made ? 1 : 0));
        b.Add(std::move(row));
      }
    }
    return b.Done("key_constraints");
  }
  if (view == "CHECK_CONSTRAINTS") {
    ObjectColumns(b);
    b.Col("is_disabled", SqlType::Bit()).Col("is_not_trusted", SqlType::Bit());
    b.Col("parent_column_id", SqlType::Int()).Col("definition", SqlType::NVarChar(SqlType::kMaxLength), true);
    b.Col("is_system_named", SqlType::Bit());
    for (auto& t : AllObjects(scope).tables) {
      for (const TableCheck& c : t.checks) {
        Row row = CheckObjectRow(t, c, now);
        const int column = c.column.empty() ? -1 : FindColumnIn(t.columns, c.column);
        const bool made = MadeUpName(c.name, "CK__", 8);
        for (Value v : {Int(c.disabled ? 1 : 0), Int(c.not_trusted ? 1 : 0), Int(column + 1),
                        Str("(" + c.text + ")"), Int(made ? 1 : 0)}) {
          row.push_back(std::move(v));
        }
        b.Add(std::move(row));
      }
    }
    return b.Done("check_constraints");
  }
  if (view == "DEFAULT_CONSTRAINTS") {
    ObjectColumns(b);
    b.Col("parent_column_id", SqlType::Int()).Col("definition", SqlType::NVarChar(SqlType::kMaxLength), true);
    b.Col("is_system_named", SqlType::Bit());
    for (auto& t : AllObjects(scope).tables) {
      for (size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnDef& c = t.columns[i];
        if (!c.default_expr) continue;
        Row row = DefaultObjectRow(t, c, now);
        const bool made = MadeUpName(c.default_name, "DF__", 8);
        for (Value v : {Int(static_cast<int64_t>(i + 1)), Str("(" + c.default_sql + ")"), Int(made ? 1 : 0)}) {
          row.push_back(std::move(v));
        }
        b.Add(std::move(row));
      }
    }
    return b.Done("default_constraints");
  }
  // FOREIGN KEY constraints are not kept: this view has its columns and no rows.
  if (view == "FOREIGN_KEYS") {
    ObjectColumns(b);
    b.Col("referenced_object_id", SqlType::Int(), true).Col("key_index_id", SqlType::Int(), true);
    b.Col("is_disabled", SqlType::Bit()).Col("is_not_trusted", SqlType::Bit());
    b.Col("delete_referential_action", SqlType::TinyInt(), true);
    b.Col("update_referential_action", SqlType::TinyInt(), true);
    b.Col("is_system_named", SqlType::Bit());
    return b.Done("foreign_keys");
  }
  if (view == "COMPUTED_COLUMNS") {
    // sys.columns' computed columns, with their expression (computed whenever a row is added
    // or changed: persisted).
    b.Col("object_id", SqlType::Int()).Col("name", Sysname(), true).Col("column_id", SqlType::Int());
    b.Col("system_type_id", SqlType::TinyInt()).Col("max_length", SqlType::SmallInt());
    b.Col("is_nullable", SqlType::Bit(), true).Col("is_computed", SqlType::Bit());
    b.Col("definition", SqlType::NVarChar(SqlType::kMaxLength), true).Col("uses_database_collation", SqlType::Bit());
    b.Col("is_persisted", SqlType::Bit());
    for (auto& t : AllObjects(scope).tables) {
      int id = 0;
      for (const ColumnDef& c : t.columns) {
        ++id;
        if (!c.computed) continue;
        b.Add({Int(t.object_id), Str(c.name), Int(id), Int(SystemTypeId(c.type)), Int(MaxLength(c.type)),
               Int(c.nullable ? 1 : 0), Int(1), Str("(" + c.computed_sql + ")"), Int(1), Int(1)});
      }
    }
    return b.Done("computed_columns");
  }
  if (view == "IDENTITY_COLUMNS") {
    // sys.columns' identity columns, with their seed, increment and the last value handed out
    // (NULL while none was).
    b.Col("object_id", SqlType::Int()).Col("name", Sysname(), true).Col("column_id", SqlType::Int());
    b.Col("system_type_id", SqlType::TinyInt()).Col("max_length", SqlType::SmallInt());
    b.Col("is_nullable", SqlType::Bit(), true).Col("is_identity", SqlType::Bit());
    b.Col("seed_value", SqlType::SqlVariant(), true).Col("increment_value", SqlType::SqlVariant(), true);
    b.Col("last_value", SqlType::SqlVariant(), true).Col("is_not_for_replication", SqlType::Bit(), true);
    for (auto& t : AllObjects(scope).tables) {
      int id = 0;
      for (const ColumnDef& c : t.columns) {
        ++id;
        if (!c.identity) continue;
        // The last value lives with the rows: the table is read for it.
        std::shared_ptr<Table> table;
        if (scope.tempdb) {
          for (const auto& [key, temp] : scope.session.temp_tables) {
            if (temp->object_id == t.object_id) table = temp;
          }
        } else {
          table = db.FindTable(t.name);
        }
        Value last;
        if (table && table->next_identity) {
          last = Convert(Value::Int(*table->next_identity - c.identity_increment), SqlType::BigInt(), c.type,
                         CastMode::Implicit);
        }
        b.Add({Int(t.object_id), Str(c.name), Int(id), Int(SystemTypeId(c.type)), Int(MaxLength(c.type)), Int(0),
               Int(1), Convert(Value::Int(c.identity_seed), SqlType::BigInt(), c.type, CastMode::Implicit),
               Convert(Value::Int(c.identity_increment), SqlType::BigInt(), c.type, CastMode::Implicit),
               std::move(last), Int(0)});
      }
    }
    return b.Done("identity_columns");
  }
  if (view == "DATABASES") {
    b.Col("name", Sysname()).Col("database_id", SqlType::Int());
    b.Col("source_database_id", SqlType::Int(), true).Col("owner_sid", SqlType::VarBinary(85), true);
    b.Col("create_date", SqlType::DateTime()).Col("compatibility_level", SqlType::TinyInt());
    b.Col("collation_name", Sysname(), true).Col("user_access_desc", SqlType::NVarChar(60), true);
    b.Col("is_read_only", SqlType::Bit(), true).Col("state_desc", SqlType::NVarChar(60), true);
    b.Col("recovery_model_desc", SqlType::NVarChar(60), true);
    int id = 0;
    for (std::string name : {std::string("master"), std::string("tempdb"), std::string("model"),
                             std::string("msdb"), db.name()}) {
      b.Add({Str(name), Int(++id), Value(), Str(std::string(1, '\x01')), Value::DateTime(now),
             Int(160), Str("Chinese_PRC_CI_AS"), Str("MULTI_USER"), Int(0), Str("ONLINE"),
             Str(id == 2 ? "SIMPLE" : "FULL")});
    }
    return b.Done("databases");
  }
  return nullptr;
}

}  // namespace

int SystemTypeId(const SqlType& t) {
  switch (t.id) {
    case TypeId::Bit: return 104;
    case TypeId::TinyInt: return 48;
    case TypeId::SmallInt: return 52;
    case TypeId::Int: return 56;
    case TypeId::BigInt: return 127;
    case TypeId::Decimal: return 106;
    case TypeId::Money: return 60;
    case TypeId::Float: return 62;
    case TypeId::Real: return 59;
    case TypeId::DateTime: return 61;
    case TypeId::SmallDateTime: return 58;
    case TypeId::Date: return 40;
    case TypeId::Time: return 41;
    case TypeId::DateTime2: return 42;
    case TypeId::DateTimeOffset: return 43;
    case TypeId::Char: return 175;
    case TypeId::VarChar: return 167;
    case TypeId::NChar: return 239;
    case TypeId::NVarChar: return 231;
    case TypeId::Text: return 35;
    case TypeId::NText: return 99;
    case TypeId::Binary: return 173;
    case TypeId::VarBinary: return t.length == SqlType::kMaxLength ? 34 : 165;
    case TypeId::UniqueIdentifier: return 36;
    case TypeId::SqlVariant: return 98;
    case TypeId::Null: return 0;
  }
  return 0;
}

int MaxLength(const SqlType& t) {
  switch (t.id) {
    case TypeId::Bit:
    case TypeId::TinyInt: return 1;
    case TypeId::SmallInt: return 2;
    case TypeId::Int:
    case TypeId::Real:
    case TypeId::SmallDateTime: return 4;
    case TypeId::BigInt:
    case TypeId::Money:
    case TypeId::Float:
    case TypeId::DateTime: return 8;
    case TypeId::Decimal: return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
    case TypeId::Date: return 3;
    case TypeId::Time: return 5;
    case TypeId::DateTime2: return 8;
    case TypeId::DateTimeOffset: return 10;
    case TypeId::UniqueIdentifier: return 16;
    case TypeId::SqlVariant: return 8016;
    case TypeId::Text:
    case TypeId::NText: return 16;
    default:
      if (t.length == SqlType::kMaxLength) return -1;
      return t.IsUnicode() ? 2 * t.length : t.length;
  }
}

std::shared_ptr<Table> BuildSystemView(SessionState& session, std::string_view database,
                                       std::string_view schema, std::string_view name,
                                       const ViewColumns& view_columns) {
  std::string s = FoldName(schema), v = FoldName(name);
  const Scope scope{session, NamesEqual(database, "tempdb")};
  if (s == "INFORMATION_SCHEMA") return InformationSchema(scope, v, view_columns);
  if (s == "SYS") return Sys(scope, v, view_columns);
  return nullptr;
}

std::optional<std::string> ObjectNameOf(Database& db, int32_t object_id) {
  Objects o = DataSourceObjects(db);
  for (auto& t : o.tables) {
    if (t.object_id == object_id) return t.name;
  }
  for (auto& v : o.views) {
    if (v->object_id == object_id) return v->name;
  }
  std::optional<std::string> procedure;
  db.ForEachProcedure([&](const std::shared_ptr<Procedure>& p) {
    if (p->object_id == object_id) procedure = p->name;
  });
  return procedure;
}

}  // namespace orv::tsql
