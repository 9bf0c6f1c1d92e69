// Declaring PRIMARY KEY and UNIQUE constraints (and naming them and DEFAULT constraints), and
// checking keys after a change.
#include "tsql/exec/table_keys.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_checks.h"
#include "tsql/types/hash_index.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

std::vector<TableKey> KeysOfDefinition(const ast::CreateTableStmt& stmt, const Table& table) {
  std::vector<ast::KeyDef> defs;
  for (const ast::ColumnDef& c : stmt.columns) {
    if (c.primary_key) defs.push_back({c.key_name, true, {c.name}});
    if (c.unique) defs.push_back({c.primary_key ? std::string() : c.key_name, false, {c.name}});
  }
  defs.insert(defs.end(), stmt.keys.begin(), stmt.keys.end());
  std::vector<TableKey> keys;
  bool has_primary = false;
  for (const ast::KeyDef& def : defs) {
    if (def.primary && std::exchange(has_primary, true)) ThrowError(8110, {table.name});
    TableKey key;
    key.name = def.name;
    key.primary = def.primary;
    for (const std::string& name : def.columns) {
      const int at = table.FindColumn(name);
      if (at < 0) ThrowError(1911, {name});
      if (def.primary && table.columns[static_cast<size_t>(at)].nullable) ThrowError(8111, {table.name});
      key.columns.push_back(at);
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

void NameKeys(Table& table) {
  // As SQL Server names them: the kind, up to 8 characters of the table's name and 16 hex
  // digits (here the key's object id, so that no two names are the same).
  for (TableKey& key : table.keys) {
    if (key.object_id == 0) key.object_id = NewObjectId();
    if (!key.name.empty()) continue;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016X", static_cast<uint32_t>(key.object_id));
    key.name = std::string(key.primary ? "PK__" : "UQ__") + table.name.substr(0, 8) + "__" + digits;
  }
}

void NameDefaults(Table& table) {
  // As SQL Server names them: "DF__", up to 9 characters of the table's name, 5 of the column's
  // and 8 hex digits (here the constraint's object id).
  for (ColumnDef& c : table.columns) {
    if (!c.default_expr) continue;
    if (c.default_object_id == 0) c.default_object_id = NewObjectId();
    if (!c.default_name.empty()) continue;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<uint32_t>(c.default_object_id));
    c.default_name = "DF__" + table.name.substr(0, 9) + "__" + c.name.substr(0, 5) + "__" + digits;
  }
}

bool ChangesKeyColumns(const Table& table, const std::vector<int>& columns) {
  for (const TableKey& key : table.keys) {
    if (!key.unique) continue;
    for (int c : columns) {
      if (key.filter && ExprReadsColumn(*key.filter, table.columns[static_cast<size_t>(c)].name)) return true;
    }
    for (int c : key.columns) {
      if (std::find(columns.begin(), columns.end(), c) != columns.end()) return true;
    }
  }
  return false;
}

namespace {

[[noreturn]] void RaiseDuplicate(const Table& table, const TableKey& key, const Value* values,
                                 const std::vector<SqlType>& types, bool adding) {
  std::string shown = "(";
  for (size_t i = 0; i < types.size(); ++i) {
    if (i) shown += ", ";
    shown += values[i].is_null() ? "<NULL>" : ToText(values[i], types[i]);
  }
  shown += ")";
  const std::string& object = table.temporary && !table.table_variable ? table.tempdb_name : table.name;
  if (adding) ThrowError(1505, {"dbo." + object, key.name, shown});
  if (key.index) ThrowError(2601, {"dbo." + object, key.name, shown});
  ThrowError(2627, {key.primary ? "PRIMARY KEY" : "UNIQUE KEY", key.name, "dbo." + object, shown});
}

// One key: the index of its values is extended over the rows it does not cover yet (those a
// statement appended, or all of them after another change to the key's columns), each row
// looked up before it is added. A filtered key's index holds the rows its filter covers.
void CheckKey(const Table& table, size_t k, bool adding, StatementContext& cx) {
  const TableKey& key = table.keys[k];
  Table::KeyIndex& cache = table.key_index(k);
  const std::vector<Row>& rows = table.rows();
  if (cache.rows == rows.size()) return;
  const size_t width = key.columns.size();
  std::vector<SqlType> types;
  for (int c : key.columns) types.push_back(table.columns[static_cast<size_t>(c)].type);
  std::vector<Value> probe(width), other(width);
  auto key_of = [&](size_t r, std::vector<Value>& out) {
    for (size_t i = 0; i < width; ++i) out[i] = rows[r][static_cast<size_t>(key.columns[i])];
  };
  BoundSpec spec;
  BExprPtr filter;
  EvalCtx ctx;
  const Row* source[1] = {nullptr};
  if (key.filter) {
    filter = BindRowCondition(table, *key.filter, spec, cx);
    ctx.env = &cx.env;
    ctx.srcs = source;
  }
  if (cache.rows == 0) {
    cache.index.Reset(rows.size());
    cache.positions.clear();
  }
  for (size_t r = cache.rows; r < rows.size(); ++r) {
    if (filter) {
      source[0] = &rows[r];
      if (EvalPred(*filter, ctx) != Tri::True) continue;
    }
    key_of(r, probe);
    const size_t h = HashKey(probe.data(), types.data(), width);
    bool duplicate = false;
    cache.index.ForEach(h, [&](uint32_t id) {
      key_of(filter ? cache.positions[id] : id, other);
      duplicate = KeyEqual(probe.data(), other.data(), types.data(), width);
      return !duplicate;
    });
    if (duplicate) {
      // Not kept half-extended: the failing statement's change is undone, and the index is
      // made again when next needed.
      cache = Table::KeyIndex{};
      RaiseDuplicate(table, key, probe.data(), types, adding);
    }
    cache.index.Insert(h);
    if (filter) cache.positions.push_back(r);
  }
  cache.rows = rows.size();
}

}  // namespace

void CheckKeys(const Table& table, StatementContext& cx, bool adding) {
  for (size_t k = 0; k < table.keys.size(); ++k) {
    if (table.keys[k].unique) CheckKey(table, k, adding, cx);
  }
}

}  // namespace orv::tsql
